// The exceptions of the system model. Each is a Generic::Exception that
// differs only in the type name it records, so that one handler for
// Generic::Exception* catches them all while toString() still tells them
// apart. Like every framework exception they are created with new and
// thrown as pointers.
#ifndef SYSTEMDEFINITION_SYSTEMDEFINITIONEXCEPTIONS_H
#define SYSTEMDEFINITION_SYSTEMDEFINITIONEXCEPTIONS_H

#include <string>

#include "generic/Exception.h"
#include "generic/Export.h"

namespace SystemDefinition {

#define SD_DECLARE_EXCEPTION(ClassName)                            \
    class QX_FRAMEWORK_API ClassName : public Generic::Exception { \
    public:                                                        \
        explicit ClassName(char const* message);                   \
        explicit ClassName(std::string const& message);            \
    };

// Required configuration is missing or inconsistent.
SD_DECLARE_EXCEPTION(InvalidSystemConfigurationException)
// No default chip or node is configured.
SD_DECLARE_EXCEPTION(UnknownAttributeException)
// A chip or node ID that the system does not have.
SD_DECLARE_EXCEPTION(InvalidAttributeException)
// The common option set does not exist.
SD_DECLARE_EXCEPTION(CommandOptionNotFoundException)

#undef SD_DECLARE_EXCEPTION

}  // namespace SystemDefinition

#endif  // SYSTEMDEFINITION_SYSTEMDEFINITIONEXCEPTIONS_H
