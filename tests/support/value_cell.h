// Test host: Value cells that give their blocks back, a poisoning allocator and C formatting.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "test_host.h"

namespace testhost {

// A zero-filled Value, as the records that embed one obtain it, whose block (if any) is
// released when the cell goes out of scope.
class ValueCell {
public:
    explicit ValueCell(const char *typeName = nullptr) { KVAV_SetTypeName(&value_, typeName); }
    ValueCell(const ValueCell &) = delete;
    ValueCell &operator=(const ValueCell &) = delete;
    ~ValueCell() {
        // Inline types hold numbers or addresses in data, never a block of ours.
        const bool inlineType = value_.typeId >= 1 && value_.typeId <= 6;
        if (!inlineType && is_live(value_.data.p)) KVAMEM_Free(value_.data.p);
    }
    Value *get() { return &value_; }
    Value *operator->() { return &value_; }

private:
    Value value_{};
};

// While alive, the library allocates through the counting allocator with every new block
// filled with 0xA5, so that reads of uninitialised contents show.
struct PoisonedAllocations {
    static void *alloc(uint64_t size) {
        void *block = counting_alloc(size);
        if (block != nullptr) std::memset(block, 0xA5, static_cast<size_t>(size));
        return block;
    }
    PoisonedAllocations() { KVAMEM_Init(alloc, counting_free); }
    ~PoisonedAllocations() { KVAMEM_Init(counting_alloc, counting_free); }
};

// The C library's own formatting of the arguments (up to 8191 characters).
__attribute__((format(printf, 1, 2))) inline std::string c_format(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vector<char> text(8192);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    return text.data();
}

// The value's text written into a buffer of `size` bytes.
inline std::string value_text(Value *value, int32_t size = 80) {
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    KVAV_ToString(value, buffer.data(), size);
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

}  // namespace testhost
