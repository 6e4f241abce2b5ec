#include "tests/support/BackgroundServer.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace TestSupport {

BackgroundServer::BackgroundServer(std::string const& server, std::string const& home,
                                   std::vector<std::string> const& arguments) {
    std::vector<std::string> words = {"qxsim", "--port", "0"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::string const log = home + "/qxsim.log";
    m_log = log;
    int out[2];
    if (::pipe(out) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(out[1], 1);
        int const err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, 2);
        ::close(out[0]);
        ::close(out[1]);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("QXPATH", home.c_str(), 1);
        ::execv(server.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    m_out = out[0];
    readPort();
}

BackgroundServer::~BackgroundServer() {
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) ::close(m_out);
}

void BackgroundServer::signal(int number) const {
    if (m_pid > 0) ::kill(m_pid, number);
}

int BackgroundServer::waitForExit(std::chrono::milliseconds limit) {
    auto const deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_reaped = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

bool BackgroundServer::waitForLog(std::string const& text, std::chrono::milliseconds limit) const {
    auto const deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::ifstream file(m_log);
        std::string line;
        while (std::getline(file, line))
            if (line.find(text) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void BackgroundServer::readPort() {
    char c = 0;
    while (::read(m_out, &c, 1) == 1 && c != '\n') m_line += c;
    std::string const prefix = "qxsim: listening on 127.0.0.1:";
    if (m_line.rfind(prefix, 0) == 0)
        m_port = static_cast<uint16_t>(std::atoi(m_line.c_str() + prefix.size()));
}

}  // namespace TestSupport
