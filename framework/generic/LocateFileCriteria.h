// What locateFile searches for, pass by pass: the extension to add to the
// name and the environment variable that holds a ":"-separated list of
// directories.
#ifndef GENERIC_LOCATEFILECRITERIA_H
#define GENERIC_LOCATEFILECRITERIA_H

#include "generic/Export.h"

namespace Generic {

class QX_FRAMEWORK_API LocateFileCriteria {
public:
    virtual ~LocateFileCriteria() = default;
    // Moves to the first pass; false when there is none.
    virtual bool toFirst() = 0;
    // Moves to the next pass; false when there is none.
    virtual bool toNext() = 0;
    // Told that the file has been found in the current pass.
    virtual void found() = 0;
    // Extension to try in the current pass, with or without its leading
    // ".", or null.
    virtual char const* extension() = 0;
    // Name of the environment variable holding directories for the current
    // pass, or null.
    virtual char const* pathEnvVar() = 0;
    // A search path for the current pass, or null; locateFile does not use it.
    virtual char const* prefixSearchPath() = 0;
};

// One set of criteria, giving two passes: the first with the extension and
// the environment variable, the second with neither. Both texts are
// borrowed and must outlive the object.
class QX_FRAMEWORK_API SingleSetOfFileCriteria : public LocateFileCriteria {
public:
    SingleSetOfFileCriteria(char const* extension, char const* pathEnvVar);

    bool toFirst() override;
    bool toNext() override;
    void found() override {}
    char const* extension() override;
    char const* pathEnvVar() override;
    char const* prefixSearchPath() override { return nullptr; }

private:
    bool m_current = false;
    char const* m_extension;
    char const* m_path_env_var;
};

}  // namespace Generic

#endif  // GENERIC_LOCATEFILECRITERIA_H
