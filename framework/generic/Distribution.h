// The kit's distribution version, written once: the framework's version
// banners and the host-API binding's QXAPI_version (kind 1) both show it.
// Header only, so that the binding uses it without linking the framework.
#ifndef GENERIC_DISTRIBUTION_H
#define GENERIC_DISTRIBUTION_H

namespace Generic {

inline constexpr char k_distribution[] = "2.24";

}  // namespace Generic

#endif  // GENERIC_DISTRIBUTION_H
