// The nine built-in value types: numeric rules, text forms and block management.
// Invariant: "char" to "double" hold their number inline in the first bytes of the datum;
// "float4", "float4x4" and "string" keep theirs in a block of their own.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "internal/builtins.h"
#include "internal/numeric.h"
#include "internal/value_types.h"
#include "ztequationmanager/memory.h"
#include "ztequationmanager/value.h"

namespace {

// Inline data sits at the start of the 8 bytes; memcpy keeps every reinterpretation defined.
template <typename T>
T load(const Value *value) {
    static_assert(sizeof(T) <= sizeof(ValueData));
    T datum;
    std::memcpy(&datum, value->data.bytes, sizeof(T));
    return datum;
}

template <typename T>
void store(Value *value, T datum) {
    static_assert(sizeof(T) <= sizeof(ValueData));
    std::memcpy(value->data.bytes, &datum, sizeof(T));
}

// Calls act with the C++ type of the value's inline number ("char" to "double") and returns
// its result; for any other type, act is not called and the result is zero (or nothing).
template <typename Act>
auto on_inline_number(const Value *value, Act act) {
    using Result = decltype(act(std::type_identity<double>{}));
    switch (value->typeId) {
        case zteqm::kCharType:
            return act(std::type_identity<int8_t>{});
        case zteqm::kShortType:
            return act(std::type_identity<int16_t>{});
        case zteqm::kIntType:
            return act(std::type_identity<int32_t>{});
        case zteqm::kFloatType:
            return act(std::type_identity<float>{});
        case zteqm::kDoubleType:
            return act(std::type_identity<double>{});
        default:
            return Result();
    }
}

// Rounds to single precision; beyond the float range the result is the infinity of that
// sign (a plain conversion would be undefined there).
float round_to_float(double number) {
    // Half a unit in the last place above FLT_MAX: from there on rounding gives infinity.
    constexpr double kOverflow = 340282356779733661637539395458142568448.0;
    if (number >= kOverflow) return HUGE_VALF;
    if (number <= -kOverflow) return -HUGE_VALF;
    return static_cast<float>(number);
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A decimal integer: leading white space, an optional sign, then digits up to the first other
// character; 0 when there are none. Numbers beyond the signed 32-bit range saturate.
int32_t parse_decimal_integer(const char *text) {
    while (is_space(*text)) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (magnitude <= INT64_C(2147483648)) magnitude = magnitude * 10 + (*text - '0');
    }
    const int64_t number = negative ? -magnitude : magnitude;
    if (number > INT32_MAX) return INT32_MAX;
    if (number < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(number);
}

}  // namespace

// The numeric callbacks are reachable by name too: the value functions call them directly
// while a type's registry slot still holds them.
namespace zteqm {

// ---- shared numeric callbacks, "char" to "double" ----

int32_t numeric_get_integer(Value *value) {
    if (value == nullptr) return 0;
    return on_inline_number(value, [value]<typename T>(std::type_identity<T>) -> int32_t {
        if constexpr (std::is_floating_point_v<T>) {
            return zteqm::saturate_to_int32(load<T>(value));
        } else {
            return load<T>(value);
        }
    });
}

void numeric_set_integer(Value *value, int32_t integer) {
    if (value == nullptr) return;
    on_inline_number(value, [value, integer]<typename T>(std::type_identity<T>) {
        store(value, static_cast<T>(integer));
    });
}

double numeric_get_double(Value *value) {
    if (value == nullptr) return 0.0;
    return on_inline_number(
        value, [value]<typename T>(std::type_identity<T>) -> double { return load<T>(value); });
}

void numeric_set_double(Value *value, double number) {
    if (value == nullptr) return;
    // Integers take the number truncated toward zero (saturated, NaN as 0), then its low bits.
    on_inline_number(value, [value, number]<typename T>(std::type_identity<T>) {
        if constexpr (std::is_same_v<T, float>) {
            store(value, round_to_float(number));
        } else if constexpr (std::is_same_v<T, double>) {
            store(value, number);
        } else {
            store(value, static_cast<T>(zteqm::saturate_to_int32(number)));
        }
    });
}

}  // namespace zteqm

namespace {

// ---- shared raw address callbacks, "char" to "address" ----

void *raw_get_address(Value *value) { return value != nullptr ? load<void *>(value) : nullptr; }

void raw_set_address(Value *value, void *address) {
    if (value != nullptr) store(value, address);
}

// ---- text forms of the inline types ----

// Every to-string callback may also be called directly through the type record.
bool can_write(const Value *value, const char *buffer, int32_t size) {
    return value != nullptr && buffer != nullptr && size > 0;
}

// snprintf forms the full text and keeps its first size - 1 characters, terminated.
#define ZTEQM_FORMAT_INTO(buffer, size, ...) \
    std::snprintf(buffer, static_cast<size_t>(size), __VA_ARGS__)

void char_to_string(Value *value, char *buffer, int32_t size) {
    if (can_write(value, buffer, size)) ZTEQM_FORMAT_INTO(buffer, size, "%c", load<int8_t>(value));
}

void short_to_string(Value *value, char *buffer, int32_t size) {
    if (can_write(value, buffer, size)) {
        ZTEQM_FORMAT_INTO(buffer, size, "%hd", load<int16_t>(value));
    }
}

void int_to_string(Value *value, char *buffer, int32_t size) {
    if (can_write(value, buffer, size)) ZTEQM_FORMAT_INTO(buffer, size, "%d", load<int32_t>(value));
}

void float_to_string(Value *value, char *buffer, int32_t size) {
    if (can_write(value, buffer, size)) {
        ZTEQM_FORMAT_INTO(buffer, size, "%f", static_cast<double>(load<float>(value)));
    }
}

void double_to_string(Value *value, char *buffer, int32_t size) {
    if (can_write(value, buffer, size)) ZTEQM_FORMAT_INTO(buffer, size, "%lf", load<double>(value));
}

// "%0p" is the historical form of this text, but the 0 flag with %p is undefined in C; the
// platform's own pointer format "%p" gives the same text wherever "%0p" is accepted.
void address_to_string(Value *value, char *buffer, int32_t size) {
    if (can_write(value, buffer, size)) ZTEQM_FORMAT_INTO(buffer, size, "%p", load<void *>(value));
}

#undef ZTEQM_FORMAT_INTO

void char_from_string(Value *value, const char *text) {
    if (value != nullptr && text != nullptr) store(value, static_cast<int8_t>(text[0]));
}

void short_from_string(Value *value, const char *text) {
    if (value != nullptr && text != nullptr) {
        store(value, static_cast<int16_t>(parse_decimal_integer(text)));
    }
}

void int_from_string(Value *value, const char *text) {
    if (value != nullptr && text != nullptr) store(value, parse_decimal_integer(text));
}

void float_from_string(Value *value, const char *text) {
    if (value != nullptr && text != nullptr) {
        store(value, round_to_float(std::strtod(text, nullptr)));
    }
}

void double_from_string(Value *value, const char *text) {
    if (value != nullptr && text != nullptr) store(value, std::strtod(text, nullptr));
}

// The hexadecimal text of an address does not read back: the text is read as a decimal
// integer and sign-extended.
void address_from_string(Value *value, const char *text) {
    if (value == nullptr || text == nullptr) return;
    const int64_t extended = parse_decimal_integer(text);
    std::memcpy(value->data.bytes, &extended, sizeof extended);
}

// ---- blocks ----

// Gives the value a fresh block of `bytes` bytes, first filled from `source` (which may lie
// inside the old block) or cleared, then releases the old one. On allocation failure the
// value has no block.
void *replace_block(Value *value, size_t bytes, const void *source) {
    void *fresh = _KVAMEM_Alloc(bytes, nullptr, 0);
    if (fresh != nullptr) {
        if (source != nullptr) {
            std::memcpy(fresh, source, bytes);
        } else {
            std::memset(fresh, 0, bytes);
        }
    }
    if (value->data.p != nullptr) KVAMEM_Free(value->data.p);
    value->data.bits = 0;
    value->data.p = fresh;
    value->size = fresh != nullptr ? static_cast<int32_t>(bytes) : 0;
    return fresh;
}

void *block_get_address(Value *value) { return value != nullptr ? value->data.p : nullptr; }

// ---- "float4" and "float4x4": Components doubles in index order ----

template <int32_t Components>
constexpr size_t kVectorBytes = Components * sizeof(double);

// The block when it is large enough to hold every component (a block resized by the host may
// not be), otherwise null.
template <int32_t Components>
unsigned char *vector_block(Value *value) {
    if (value->data.p == nullptr || value->size < static_cast<int32_t>(kVectorBytes<Components>)) {
        return nullptr;
    }
    return static_cast<unsigned char *>(value->data.p);
}

// A fresh block starts cleared, so components never written read 0.0.
template <int32_t Components>
unsigned char *vector_block_for_writing(Value *value) {
    unsigned char *block = vector_block<Components>(value);
    if (block != nullptr) return block;
    return static_cast<unsigned char *>(replace_block(value, kVectorBytes<Components>, nullptr));
}

template <int32_t Components>
void vector_set_address(Value *value, void *address) {
    if (value == nullptr) return;
    unsigned char *block = vector_block<Components>(value);
    if (block == nullptr) {
        replace_block(value, kVectorBytes<Components>, address);
    } else if (address != nullptr) {
        std::memmove(block, address, kVectorBytes<Components>);
    }
}

// Appends a piece of text to the part of the buffer still free, cut at size - 1 characters.
void append_cut(char *buffer, int32_t size, int32_t &length, const char *piece) {
    const size_t room = static_cast<size_t>(size - 1 - length);
    const size_t taken = strnlen(piece, room);
    std::memcpy(buffer + length, piece, taken);
    length += static_cast<int32_t>(taken);
}

// The text is formed one component at a time (one component can take over 300 characters)
// and cut to the buffer; the rest of the buffer is NUL-filled.
template <int32_t Components>
void vector_to_string(Value *value, char *buffer, int32_t size) {
    if (!can_write(value, buffer, size)) return;
    const unsigned char *block = vector_block<Components>(value);
    if (block == nullptr) {
        buffer[0] = '\0';  // no block, or one too small for every component: no text
        return;
    }
    int32_t length = 0;
    for (int32_t i = 0; i < Components && length < size - 1; ++i) {
        double component;
        std::memcpy(&component, block + i * sizeof(double), sizeof component);
        // "-" and 309 digits before the point, 3 after: a double never needs more than 316.
        char piece[400];
        std::snprintf(piece, sizeof piece, i == 0 ? "%10.3lf" : " %10.3lf", component);
        append_cut(buffer, size, length, piece);
    }
    std::memset(buffer + length, 0, static_cast<size_t>(size - length));
}

// Reads up to Components numbers separated by white space; parsing stops at the first that
// cannot be read, and the components from there on keep their contents.
template <int32_t Components>
void vector_from_string(Value *value, const char *text) {
    if (value == nullptr || text == nullptr) return;
    unsigned char *block = vector_block_for_writing<Components>(value);
    if (block == nullptr) return;
    for (int32_t i = 0; i < Components; ++i) {
        char *end = nullptr;
        const double component = std::strtod(text, &end);
        if (end == text) return;
        std::memcpy(block + i * sizeof(double), &component, sizeof component);
        text = end;
    }
}

// ---- "string": NUL-terminated text in a block ----

// The length of the stored text, never read beyond the block (whose contents may be
// uninitialised after the host resized it).
size_t stored_length(const Value *value) {
    if (value->data.p == nullptr || value->size <= 0) return 0;
    return strnlen(static_cast<const char *>(value->data.p), static_cast<size_t>(value->size));
}

// Length of text plus its terminator, or 0 when that does not fit a block size.
size_t block_bytes_for(const char *text) {
    const size_t bytes = std::strlen(text) + 1;
    return bytes <= static_cast<size_t>(INT32_MAX) ? bytes : 0;
}

// Setting by address keeps a block whose recorded size suffices.
void string_set_address(Value *value, void *address) {
    if (value == nullptr || address == nullptr) return;
    const char *text = static_cast<const char *>(address);
    const size_t bytes = block_bytes_for(text);
    if (bytes == 0) return;
    if (value->data.p != nullptr && value->size > 0 && static_cast<size_t>(value->size) >= bytes) {
        std::memmove(value->data.p, text, bytes);
    } else {
        replace_block(value, bytes, text);
    }
}

// Setting from text replaces the block whenever the new text is at least as long as the
// stored one.
void string_from_string(Value *value, const char *text) {
    if (value == nullptr || text == nullptr) return;
    const size_t bytes = block_bytes_for(text);
    if (bytes == 0) return;
    if (value->data.p != nullptr && stored_length(value) >= bytes) {
        std::memmove(value->data.p, text, bytes);
    } else {
        replace_block(value, bytes, text);
    }
}

void string_to_string(Value *value, char *buffer, int32_t size) {
    if (!can_write(value, buffer, size)) return;
    size_t length = value->data.p != nullptr ? stored_length(value) : 0;
    if (length > static_cast<size_t>(size - 1)) length = static_cast<size_t>(size - 1);
    if (length > 0) std::memmove(buffer, value->data.p, length);
    buffer[length] = '\0';
}

// The five number types share every callback but their text forms.
void register_number(int32_t typeId, const char *name, ValueToStringFunc toStringFunc,
                     ValueFromStringFunc fromStringFunc) {
    KVAV_RegisterValueType(typeId, name, zteqm::numeric_get_integer, zteqm::numeric_set_integer,
                           zteqm::numeric_get_double, zteqm::numeric_set_double, raw_get_address,
                           raw_set_address, toStringFunc, fromStringFunc);
}

}  // namespace

namespace zteqm {

void register_built_in_value_types() {
    register_number(kCharType, "char", char_to_string, char_from_string);
    register_number(kShortType, "short", short_to_string, short_from_string);
    register_number(kIntType, "int", int_to_string, int_from_string);
    register_number(kFloatType, "float", float_to_string, float_from_string);
    register_number(kDoubleType, "double", double_to_string, double_from_string);
    KVAV_RegisterValueType(kAddressType, "address", nullptr, nullptr, nullptr, nullptr,
                           raw_get_address, raw_set_address, address_to_string,
                           address_from_string);
    KVAV_RegisterValueType(kFloat4Type, "float4", nullptr, nullptr, nullptr, nullptr,
                           block_get_address, vector_set_address<4>, vector_to_string<4>,
                           vector_from_string<4>);
    KVAV_RegisterValueType(kFloat4x4Type, "float4x4", nullptr, nullptr, nullptr, nullptr,
                           block_get_address, vector_set_address<16>, vector_to_string<16>,
                           vector_from_string<16>);
    KVAV_RegisterValueType(kStringType, "string", nullptr, nullptr, nullptr, nullptr,
                           block_get_address, string_set_address, string_to_string,
                           string_from_string);
}

}  // namespace zteqm
