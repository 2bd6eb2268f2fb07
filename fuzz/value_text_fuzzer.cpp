// Fuzzes the value types: text in and out with random buffer sizes, numbers, addresses and
// type changes between the built-in types, a host type and unregistered identifiers.
#include <cstring>

#include "fuzz_host.h"

namespace {

constexpr int32_t kHostType = 12;

int32_t host_get_integer(Value *value) { return value->data.i; }
void host_set_integer(Value *value, int32_t integer) { value->data.i = integer; }
void host_to_string(Value *value, char *buffer, int32_t size) {
    std::snprintf(buffer, static_cast<size_t>(size), "host %d", value->data.i);
}
void host_from_string(Value *value, const char *text) { value->data.i = std::atoi(text); }

void set_up() {
    if (!fuzzhost::start()) return;
    KVAV_RegisterValueType(kHostType, "host", host_get_integer, host_set_integer, nullptr, nullptr,
                           nullptr, nullptr, host_to_string, host_from_string);
    fuzzhost::take_baseline();
}

// Formats into a buffer surrounded by guard bytes and checks nothing outside `size` changed
// and that any written text is terminated inside it.
void check_to_string(Value *value, int32_t size) {
    constexpr int32_t kGuard = 32;
    char buffer[512 + 2 * kGuard];
    std::memset(buffer, 0x5a, sizeof buffer);
    char *start = buffer + kGuard;
    KVAV_ToString(value, start, size);
    const int32_t inside = size > 0 ? size : 0;
    for (char *p = start + inside; p < buffer + sizeof buffer; ++p) {
        if (*p != 0x5a) fuzzhost::fault();
    }
    for (char *p = buffer; p < start; ++p) {
        if (*p != 0x5a) fuzzhost::fault();
    }
    bool touched = false;
    for (int32_t i = 0; i < inside; ++i) touched |= start[i] != 0x5a;
    if (touched && std::memchr(start, '\0', static_cast<size_t>(inside)) == nullptr) {
        fuzzhost::fault();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    set_up();
    fuzzhost::Input in{data, size};
    Value value{};
    // Source data for address writes: 128 bytes, text-terminated for "string".
    alignas(8) char source[129] = {};
    while (!in.empty()) {
        switch (in.small(9)) {
            case 0:
                KVAV_SetTypeID(&value, in.small(15) - 1);
                break;
            case 1: {
                const std::string text = in.text(400);
                KVAV_FromString(&value, text.c_str());
                break;
            }
            case 2:
                check_to_string(&value, in.small(520) - 8);
                break;
            case 3:
                KVAV_SetInteger(&value, in.integer());
                break;
            case 4:
                KVAV_SetDouble(&value, in.number());
                break;
            case 5: {
                const std::string text = in.text(128);
                std::memset(source, 0, sizeof source);
                std::memcpy(source, text.data(), text.size());
                KVAV_SetAddress(&value, in.small(4) == 0 ? nullptr : source);
                break;
            }
            case 6:
                (void)KVAV_GetInteger(&value);
                (void)KVAV_GetDouble(&value);
                (void)KVAV_GetAddress(&value);
                if (KVAV_GetSize(&value) < 0) fuzzhost::fault();
                break;
            case 7:
                if (value.typeId >= 7 && value.typeId <= 9) KVAV_SetSize(&value, in.small(300));
                break;
            case 8: {
                // Bound memory refreshes the numbers in their own width and nothing else.
                alignas(8) unsigned char bound[8];
                for (unsigned char &b : bound) b = in.byte();
                const Value before = value;
                KVAV_GetDataFromAddress(&value, bound);
                static constexpr size_t kWidth[] = {0, 1, 2, 4, 4, 8};
                const size_t width =
                    value.typeId >= 1 && value.typeId <= 5 ? kWidth[value.typeId] : 0;
                if (std::memcmp(value.data.bytes, bound, width) != 0 ||
                    std::memcmp(value.data.bytes + width, before.data.bytes + width, 8 - width) !=
                        0) {
                    fuzzhost::fault();
                }
                break;
            }
        }
        if (value.typeName[sizeof value.typeName - 1] != '\0') fuzzhost::fault();
    }
    // Leaving a block-stored type releases its block.
    KVAV_SetTypeID(&value, value.typeId == 5 ? 4 : 5);
    fuzzhost::expect_no_growth();
    return 0;
}
