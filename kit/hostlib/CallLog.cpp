#include "hostlib/CallLog.h"

#include "hostlib/Diagnostics.h"

#include <cstdio>
#include <cstdlib>

namespace HostLib {

namespace {

// "(handle, host, instance)" to its names.
std::vector<std::string> splitNames(std::string list) {
    std::vector<std::string> names;
    if (list.size() >= 2 && list.front() == '(' && list.back() == ')') list = list.substr(1, list.size() - 2);
    std::string::size_type start = 0;
    while (start <= list.size()) {
        std::string::size_type comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string name = list.substr(start, comma - start);
        name.erase(0, name.find_first_not_of(' '));
        if (!name.empty()) names.push_back(name);
        start = comma + 1;
    }
    return names;
}

}  // namespace

std::string CallLog::line(char const* name, char const* argumentNames, std::vector<std::string> const& values,
                          std::string const& result, long long microseconds) {
    std::vector<std::string> const names = splitNames(argumentNames);
    std::string text = std::string("qxapi: ") + name + "(";
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) text += ", ";
        if (i < names.size()) text += names[i] + "=";
        text += values[i];
    }
    text += ")";
    if (!result.empty()) text += " = " + result;
    return text + " (" + std::to_string(microseconds) + " us)";
}

void CallLog::write(std::string const& line) {
    // Only a user who set QX_QXAPI_TRACE asked for the log: selecting the
    // trace library through the load mode (qxrun --qxtrace) alone writes
    // nothing, so that qxrun's own output stays as it is.
    char const* path = std::getenv("QX_QXAPI_TRACE");
    if (path == nullptr) return;
    if (*path == '\0' || !appendLine(path, line)) writeErrorLine(line);
}

std::string CallLog::value(char const* text) {
    if (text == nullptr) return "(null)";
    return "\"" + std::string(text) + "\"";
}

std::string CallLog::value(void const* pointer) {
    if (pointer == nullptr) return "(null)";
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

}  // namespace HostLib
