#include "tests/support/ScopedVariable.h"

#include <stdlib.h>

#include <utility>

namespace TestSupport {

namespace {

void setOrUnset(std::string const& name, char const* value) {
    if (value != nullptr)
        setenv(name.c_str(), value, 1);
    else
        unsetenv(name.c_str());
}

}  // namespace

ScopedVariable::ScopedVariable(std::string name, char const* value) : m_name(std::move(name)) {
    if (char const* old = getenv(m_name.c_str())) m_old = old;
    setOrUnset(m_name, value);
}

ScopedVariable::ScopedVariable(std::string name, std::optional<std::string> const& value)
    : ScopedVariable(std::move(name), value ? value->c_str() : nullptr) {}

ScopedVariable::~ScopedVariable() {
    setOrUnset(m_name, m_old ? m_old->c_str() : nullptr);
}

}  // namespace TestSupport
