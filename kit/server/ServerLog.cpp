#include "server/ServerLog.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace SimServer {

ServerLog::ServerLog()
    : m_sink([](std::string const& line) {
          std::fputs(line.c_str(), stderr);
          std::fflush(stderr);
      }) {}

std::string ServerLog::timestamp() {
    using namespace std::chrono;
    system_clock::time_point const now = system_clock::now();
    std::time_t const seconds = system_clock::to_time_t(now);
    auto const millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40] = "";
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    char full[48] = "";
    std::snprintf(full, sizeof full, "%s.%03dZ", text, static_cast<int>(millis));
    return full;
}

void ServerLog::line(std::string const& text) {
    std::string const whole = timestamp() + " qxsim: " + text + "\n";
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sink(whole);
}

}  // namespace SimServer
