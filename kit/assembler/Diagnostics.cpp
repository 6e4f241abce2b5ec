#include "assembler/Diagnostics.h"

namespace Assembler {

std::string SourceLocation::format(std::string const& message) const {
    std::string text = file + ":" + std::to_string(line) + ": " + message;
    if (!context.empty()) text += " (" + context + ")";
    return text;
}

void Diagnostics::error(SourceLocation const& location, std::string const& message) {
    add(location.format(message));
}

void Diagnostics::error(std::string const& file, std::string const& message) {
    add(file + ": " + message);
}

void Diagnostics::add(std::string const& text) {
    if (m_messages.size() < k_max_errors)
        m_messages.push_back(text);
    else if (m_messages.size() == k_max_errors)
        m_messages.push_back("too many errors; the rest are not shown");
}

}  // namespace Assembler
