// Test support for parameter objects: a stand-in "Equation" type and byte snapshots.
#pragma once

#include <cstring>
#include <vector>

#include "ztequationmanager/ztequationmanager.h"

namespace testhost {

// Registers a type of the equation-reference layout under identifier 6, with only a
// constructor and a destructor, so that tests of the generic functions need no equations.
void register_reference_type();

// The bytes of an object, for checking that a call left it untouched.
template <typename T>
std::vector<unsigned char> snapshot(const T *object) {
    std::vector<unsigned char> bytes(sizeof(T));
    std::memcpy(bytes.data(), object, sizeof(T));
    return bytes;
}

template <typename T>
bool is_all_zero(const T *object) {
    const T zero{};
    return std::memcmp(object, &zero, sizeof(T)) == 0;
}

// The number of blocks the counting allocator has handed out and not taken back.
long live_blocks();

}  // namespace testhost
