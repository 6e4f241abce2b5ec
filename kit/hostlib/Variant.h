// Which of the three host libraries this is. The implementation is the
// same in all three; the variant decides whether calls are logged (trace)
// and whether device events are written (debugger).
#ifndef HOSTLIB_VARIANT_H
#define HOSTLIB_VARIANT_H

namespace HostLib {

enum class Variant { Direct = 1, Trace = 2, Debugger = 3 };

char const* variantName(Variant variant);

// Set once when the library is loaded, before any handle is made.
Variant libraryVariant();
void setLibraryVariant(Variant variant);

}  // namespace HostLib

#endif
