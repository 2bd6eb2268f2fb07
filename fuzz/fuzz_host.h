// Fuzzing host: a checking allocator pair, the library started once per process, and a reader
// that turns the input into numbers and texts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <unordered_set>

#include <sanitizer/lsan_interface.h>

#include "ztequationmanager/ztequationmanager.h"

namespace fuzzhost {

// Aborts the run with a finding, saying which check failed; the fuzzer reports the input that
// led here.
[[noreturn]] inline void fault(const char *check = "a check") {
    std::fprintf(stderr, "fuzz host: %s failed\n", check);
    __builtin_trap();
}

inline std::unordered_set<void *> &live() {
    static std::unordered_set<void *> blocks;
    return blocks;
}

// Allocations still allowed before the allocator refuses; negative: never refuses.
inline long &allocations_left() {
    static long left = -1;
    return left;
}

inline void *alloc(uint64_t size) {
    if (size > (uint64_t{1} << 30)) return nullptr;  // a host refuses absurd requests
    long &left = allocations_left();
    if (left == 0) return nullptr;
    if (left > 0) --left;
    void *block = std::malloc(size == 0 ? 1 : static_cast<size_t>(size));
    if (block != nullptr) live().insert(block);
    return block;
}

// A free of anything the allocator did not hand out (null included) is a fault of the library.
inline void release(void *block) {
    if (live().erase(block) == 0) fault("free of a block the host did not hand out");
    std::free(block);
}

inline bool is_live(const void *block) { return live().count(const_cast<void *>(block)) != 0; }

// Starts the library once per process; true on the first call.
inline bool start() {
    static bool started = false;
    if (started) return false;
    started = true;
    KVAEQM_Init(alloc, release, nullptr);
    return true;
}

// Blocks held once the target has set itself up: each input must end with exactly these, or
// memory would grow from input to input.
inline std::unordered_set<void *> &baseline() {
    static std::unordered_set<void *> blocks;
    return blocks;
}

inline void take_baseline() { baseline() = live(); }

inline void expect_no_growth() {
    if (live().size() == baseline().size()) return;
    // The blocks left behind are dropped from the host's set, so that the leak checker reports
    // each with the place it was allocated.
    for (auto block = live().begin(); block != live().end();) {
        block = baseline().count(*block) != 0 ? std::next(block) : live().erase(block);
    }
    __lsan_do_recoverable_leak_check();
    fault("no block left behind");
}

// Reads bytes off the front of the input; past its end every read gives zeros.
struct Input {
    const uint8_t *data;
    size_t size;

    bool empty() const { return size == 0; }
    uint8_t byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    // A number in 0 .. bound - 1.
    int32_t small(int32_t bound) { return bound <= 0 ? 0 : byte() % bound; }
    bool chance(int32_t oneIn) { return small(oneIn) == 0; }
    int32_t integer() {
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits = bits << 8 | byte();
        return static_cast<int32_t>(bits);
    }
    double number() {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | byte();
        double d;
        __builtin_memcpy(&d, &bits, sizeof d);
        return d;
    }
    // A text of at most `limit` (at most 255) bytes taken from the input; NULs become spaces.
    std::string text(size_t limit) {
        size_t length = small(static_cast<int32_t>(limit > 255 ? 255 : limit) + 1);
        if (length > size) length = size;
        std::string out(reinterpret_cast<const char *>(data), length);
        data += length;
        size -= length;
        for (char &c : out) {
            if (c == '\0') c = ' ';
        }
        return out;
    }
};

}  // namespace fuzzhost
