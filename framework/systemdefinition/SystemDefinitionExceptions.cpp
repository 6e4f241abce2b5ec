#include "systemdefinition/SystemDefinitionExceptions.h"

namespace SystemDefinition {

#define SD_DEFINE_EXCEPTION(ClassName)                                               \
    ClassName::ClassName(char const* message) : Generic::Exception(message) {        \
        setExceptionName(#ClassName);                                                \
    }                                                                                \
    ClassName::ClassName(std::string const& message) : Generic::Exception(message) { \
        setExceptionName(#ClassName);                                                \
    }

SD_DEFINE_EXCEPTION(InvalidSystemConfigurationException)
SD_DEFINE_EXCEPTION(UnknownAttributeException)
SD_DEFINE_EXCEPTION(InvalidAttributeException)
SD_DEFINE_EXCEPTION(CommandOptionNotFoundException)

#undef SD_DEFINE_EXCEPTION

}  // namespace SystemDefinition
