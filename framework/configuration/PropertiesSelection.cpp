#include "configuration/PropertiesSelection.h"

#include "configuration/Properties.h"

namespace Configuration {

bool PropertiesSelection::addFromFile(Properties& store, char const* fileName, Selection const& select) {
    store.m_ready = store.readFile(fileName, &select);
    return store.m_ready;
}

}  // namespace Configuration
