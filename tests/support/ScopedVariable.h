// An environment variable set (or unset) for one scope: the constructor
// sets it, the destructor puts back the value it had before, or unsets it
// when it had none. Tests use it around code that reads the environment.
#ifndef TESTS_SUPPORT_SCOPEDVARIABLE_H
#define TESTS_SUPPORT_SCOPEDVARIABLE_H

#include <optional>
#include <string>

namespace TestSupport {

class ScopedVariable {
public:
    // A null value unsets the variable for the scope.
    ScopedVariable(std::string name, char const* value);
    // An empty optional unsets the variable for the scope.
    ScopedVariable(std::string name, std::optional<std::string> const& value);
    ~ScopedVariable();
    ScopedVariable(ScopedVariable const&) = delete;
    ScopedVariable& operator=(ScopedVariable const&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

}  // namespace TestSupport

#endif  // TESTS_SUPPORT_SCOPEDVARIABLE_H
