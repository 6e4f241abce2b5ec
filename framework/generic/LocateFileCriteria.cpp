#include "generic/LocateFileCriteria.h"

namespace Generic {

SingleSetOfFileCriteria::SingleSetOfFileCriteria(char const* extension, char const* pathEnvVar)
    : m_extension(extension), m_path_env_var(pathEnvVar) {}

bool SingleSetOfFileCriteria::toFirst() {
    m_current = true;
    return true;
}

// The second pass is the one without criteria; there is no third.
bool SingleSetOfFileCriteria::toNext() {
    if (!m_current) return false;
    m_current = false;
    return true;
}

char const* SingleSetOfFileCriteria::extension() {
    return m_current ? m_extension : nullptr;
}

char const* SingleSetOfFileCriteria::pathEnvVar() {
    return m_current ? m_path_env_var : nullptr;
}

}  // namespace Generic
