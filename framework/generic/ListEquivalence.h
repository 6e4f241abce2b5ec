// Comparison of two lists as multisets: the same elements the same number
// of times, in any order.
#ifndef GENERIC_LISTEQUIVALENCE_H
#define GENERIC_LISTEQUIVALENCE_H

#include <list>
#include <vector>

namespace Generic {

// Appends the elements of in to out, in vector order.
template <typename T>
void copy(std::list<T>& out, std::vector<T>& in) {
    out.insert(out.end(), in.begin(), in.end());
}

// True when a and b hold the same elements the same number of times. Used
// for std::string (byte-wise order) and long long (numeric order).
template <typename T>
bool equivalent(std::vector<T>& a, std::vector<T>& b) {
    if (a.size() != b.size()) return false;
    std::list<T> sortedA;
    std::list<T> sortedB;
    copy(sortedA, a);
    copy(sortedB, b);
    sortedA.sort();
    sortedB.sort();
    return sortedA == sortedB;
}

}  // namespace Generic

#endif  // GENERIC_LISTEQUIVALENCE_H
