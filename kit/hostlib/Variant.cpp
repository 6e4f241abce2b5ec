#include "hostlib/Variant.h"

#include <atomic>

namespace HostLib {

namespace {

std::atomic<Variant> s_variant{Variant::Direct};

}  // namespace

char const* variantName(Variant variant) {
    switch (variant) {
        case Variant::Trace: return "trace";
        case Variant::Debugger: return "debugger";
        case Variant::Direct: break;
    }
    return "direct";
}

Variant libraryVariant() {
    return s_variant.load();
}

void setLibraryVariant(Variant variant) {
    s_variant.store(variant);
}

}  // namespace HostLib
