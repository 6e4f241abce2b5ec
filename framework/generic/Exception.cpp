#include "generic/Exception.h"

namespace Generic {

namespace {
char const* const s_exception_name = "Exception";
}

Exception::Exception() : m_exception_name(s_exception_name) {}

Exception::Exception(char const* message)
    : m_message(message == nullptr ? "" : message), m_exception_name(s_exception_name) {}

Exception::Exception(std::string const& message) : m_message(message), m_exception_name(s_exception_name) {}

Exception::Exception(Exception const& other) = default;

std::string Exception::toString() const {
    return m_exception_name + ": " + m_message;
}

}  // namespace Generic
