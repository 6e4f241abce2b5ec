#include "hostlib/HandleRegistry.h"

#include <map>
#include <mutex>

namespace HostLib {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<QXAPI_handle, std::shared_ptr<QXAPI_handle_s>> handles;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

void HandleRegistry::add(std::shared_ptr<QXAPI_handle_s> handle) {
    Registry& live = registry();
    std::lock_guard<std::mutex> lock(live.mutex);
    QXAPI_handle const key = handle.get();
    live.handles[key] = std::move(handle);
}

std::shared_ptr<QXAPI_handle_s> HandleRegistry::find(QXAPI_handle handle) {
    Registry& live = registry();
    std::lock_guard<std::mutex> lock(live.mutex);
    auto const found = live.handles.find(handle);
    return found != live.handles.end() ? found->second : nullptr;
}

std::shared_ptr<QXAPI_handle_s> HandleRegistry::remove(QXAPI_handle handle) {
    Registry& live = registry();
    std::lock_guard<std::mutex> lock(live.mutex);
    auto const found = live.handles.find(handle);
    if (found == live.handles.end()) return nullptr;
    std::shared_ptr<QXAPI_handle_s> removed = std::move(found->second);
    live.handles.erase(found);
    return removed;
}

}  // namespace HostLib
