// Position lookup used by the chip and node lookups of the system model.
#ifndef SYSTEMDEFINITION_GETINDEX_H
#define SYSTEMDEFINITION_GETINDEX_H

#include <vector>

namespace SystemDefinition {

// The index of the first element equal to value, or -1 when there is none.
template <typename T>
int getIndex(std::vector<T> const& values, T const& value) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] == value) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace SystemDefinition

#endif  // SYSTEMDEFINITION_GETINDEX_H
