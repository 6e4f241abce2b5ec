// The exception type of the tool framework. Code that cannot go on creates
// one with new and throws the pointer; the handler owns the object. Derived
// exceptions differ only in the type name they record, so one handler for
// Generic::Exception* catches them all and toString() still tells them
// apart.
#ifndef GENERIC_EXCEPTION_H
#define GENERIC_EXCEPTION_H

#include <string>

#include "generic/Export.h"

namespace Generic {

class QX_FRAMEWORK_API Exception {
public:
    Exception();
    // A null or empty text leaves the message empty.
    explicit Exception(char const* message);
    explicit Exception(std::string const& message);
    Exception(Exception const& other);
    Exception& operator=(Exception const& other) = default;

    // Type name, ": " and the message.
    virtual std::string toString() const;
    // Virtual so that a handler may delete a derived exception through the
    // pointer it caught.
    virtual ~Exception() = default;

    std::string const& getMessage() const { return m_message; }
    void setMessage(std::string const& message) { m_message = message; }
    std::string const& getExceptionName() const { return m_exception_name; }

protected:
    // Derived classes record their own class name after constructing the
    // base with the message.
    void setExceptionName(std::string const& name) { m_exception_name = name; }

private:
    std::string m_message;
    std::string m_exception_name;
};

}  // namespace Generic

#endif  // GENERIC_EXCEPTION_H
