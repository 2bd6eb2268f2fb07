// Bounded text helpers for the fixed-width name fields of every record.
#pragma once

#include <cstddef>
#include <cstring>

namespace zteqm {

// Copies text into a field of `width` bytes: at most width - 1 characters, the rest of the
// field NUL-filled, so the field is always terminated. Refuses a null text (false, field
// unchanged). Source and field may overlap.
inline bool copy_text(char *field, std::size_t width, const char *text) {
    if (text == nullptr || width == 0) return false;
    const std::size_t length = strnlen(text, width - 1);
    std::memmove(field, text, length);
    std::memset(field + length, 0, width - length);
    return true;
}

template <std::size_t N>
bool copy_text(char (&field)[N], const char *text) {
    return copy_text(field, N, text);
}

// Exact, case-sensitive comparison; a null text matches nothing.
inline bool same_text(const char *a, const char *b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

}  // namespace zteqm
