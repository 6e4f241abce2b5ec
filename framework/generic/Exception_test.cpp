#include "generic/Exception.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>

using Generic::Exception;

namespace {

// Derives the way the system model's exceptions do: the base carries the
// message, the derived constructor records the class name.
class SampleException : public Exception {
public:
    explicit SampleException(std::string const& message) : Exception(message) {
        setExceptionName("SampleException");
    }
};

}  // namespace

TEST(Exception, ConstructorsSetMessageAndName) {
    struct Case {
        Exception exception;
        char const* text;
    };
    Case const cases[] = {
        {Exception(), "Exception: "},
        {Exception(static_cast<char const*>(nullptr)), "Exception: "},
        {Exception(""), "Exception: "},
        {Exception("bad chip"), "Exception: bad chip"},
        {Exception(std::string("bad node")), "Exception: bad node"},
    };
    for (auto const& c : cases) EXPECT_EQ(c.text, c.exception.toString());
}

TEST(Exception, SetMessageReplacesTheMessage) {
    Exception exception("old");
    exception.setMessage("new");
    EXPECT_EQ("new", exception.getMessage());
    EXPECT_EQ("Exception: new", exception.toString());
}

TEST(Exception, CopyKeepsTheDerivedName) {
    SampleException derived("lost");
    Exception copy(derived);
    EXPECT_EQ("SampleException: lost", copy.toString());
    EXPECT_EQ("lost", copy.getMessage());
}

TEST(Exception, DerivedPointerIsCaughtAsBasePointer) {
    try {
        throw new SampleException("no such node");
    } catch (Exception* caught) {
        std::unique_ptr<Exception> owned(caught);
        EXPECT_EQ(typeid(SampleException), typeid(*caught));
        EXPECT_EQ("SampleException: no such node", caught->toString());
        EXPECT_EQ("SampleException", caught->getExceptionName());
    }
}
