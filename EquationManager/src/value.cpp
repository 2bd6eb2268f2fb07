// Values: the value type registry, the Value functions and the ownership of value blocks.
// Invariant: a value of a block-keeping type owns its block alone; no two values share one.
#include "ztequationmanager/value.h"

#include <cstring>

#include "internal/registry.h"
#include "internal/value.h"
#include "internal/value_types.h"

namespace {

zteqm::Table<ValueTypeRecord> valueTypes;

constexpr int32_t kInitialCapacity = 64;

// Whether the "double" record holds the built-in get and set callbacks and was never given to
// the host: it then changes only by registration here, so the direct paths test a flag
// instead of reading the slot.
struct TrustedDouble {
    bool get = false;
    bool set = false;
};
TrustedDouble trustedDouble;

void refresh_trusted_double() {
    const bool inside = valueTypes.kept_inside(zteqm::kDoubleType);
    const ValueTypeRecord *record = valueTypes.at(zteqm::kDoubleType);
    trustedDouble.get = inside && record->getDoubleFunc == zteqm::numeric_get_double;
    trustedDouble.set = inside && record->setDoubleFunc == zteqm::numeric_set_double;
}

// Storage is keyed to the built-in identifiers, whatever type is registered under them.
using zteqm::holds_inline_number;
using zteqm::kAddressType;
using zteqm::kDoubleType;

const ValueTypeRecord *type_of(const Value *value) {
    return value != nullptr ? valueTypes.at(value->typeId) : nullptr;
}

// Releases what the old type kept: numbers are cleared, blocks freed; "address" and host
// types keep their bits.
void release_storage_of_old_type(Value *value) {
    if (holds_inline_number(value->typeId)) {
        value->data.bits = 0;
    } else {
        zteqm::release_value_storage(value);
    }
}

void prepare_storage_of_new_type(Value *value) {
    if (!zteqm::keeps_block(value->typeId)) return;
    // An "address" or a host type leaves foreign bits in data; they must never be taken for
    // a block that the new type writes through or frees.
    value->data.bits = 0;
    value->size = 0;
    KVAV_SetAddress(value, nullptr);
}

void change_value_type(Value *value, int32_t typeId) {
    if (value == nullptr || valueTypes.at(typeId) == nullptr || value->typeId == typeId) return;
    release_storage_of_old_type(value);
    value->typeId = typeId;
    prepare_storage_of_new_type(value);
    // The set-address callback of a host type may have grown the table: look the slot up anew.
    const ValueTypeRecord *slot = valueTypes.at(typeId);
    zteqm::copy_text(value->typeName, slot != nullptr ? slot->name : "");
}

}  // namespace

namespace zteqm {

void release_value_storage(Value *value) {
    if (value == nullptr || !keeps_block(value->typeId)) return;
    if (value->data.p != nullptr) KVAMEM_Free(value->data.p);
    value->data.p = nullptr;
    value->size = 0;
}

void copy_value(Value *target, const Value *source) {
    if (target == nullptr || source == nullptr || target == source) return;
    std::memcpy(target, source, sizeof(Value));
    if (!keeps_block(source->typeId) || source->data.p == nullptr) return;
    void *block =
        source->size > 0 ? _KVAMEM_Alloc(static_cast<uint64_t>(source->size), nullptr, 0) : nullptr;
    if (block != nullptr) std::memcpy(block, source->data.p, static_cast<size_t>(source->size));
    target->data.bits = 0;
    target->data.p = block;
    target->size = block != nullptr ? source->size : 0;
}

bool trusted_double_holds_built_ins() {
    const bool inside = valueTypes.kept_inside(kDoubleType);
    const ValueTypeRecord *record = valueTypes.at(kDoubleType);
    return (!trustedDouble.get || (inside && record->getDoubleFunc == numeric_get_double)) &&
           (!trustedDouble.set || (inside && record->setDoubleFunc == numeric_set_double));
}

// Whether a double of this value is read or written as its 8 bytes: a "double" value whose
// registry slot holds the built-in callback, which does exactly that (trusted as noted, or
// compared as it is now).
bool reads_double_directly(const Value *value) {
    // The count is 0 while there is no table.
    return value->typeId == kDoubleType &&
           (trustedDouble.get ||
            (valueTypes.count > kDoubleType &&
             valueTypes.records[kDoubleType].getDoubleFunc == numeric_get_double));
}

bool writes_double_directly(const Value *value) {
    return value->typeId == kDoubleType &&
           (trustedDouble.set ||
            (valueTypes.count > kDoubleType &&
             valueTypes.records[kDoubleType].setDoubleFunc == numeric_set_double));
}

}  // namespace zteqm

extern "C" {

void KVAV_Init(void) {
    if (!valueTypes.create(kInitialCapacity)) return;
    zteqm::register_built_in_value_types();
    valueTypes.givenOut = 0;  // the records registered here went to the library itself
    refresh_trusted_double();
}

void KVAV_Exit(void) {
    valueTypes.release();
    refresh_trusted_double();
}

ValueTypeRecord *KVAV_RegisterValueType(
    int32_t typeId, const char *name, ValueGetIntegerFunc getIntegerFunc,
    ValueSetIntegerFunc setIntegerFunc, ValueGetDoubleFunc getDoubleFunc,
    ValueSetDoubleFunc setDoubleFunc, ValueGetAddressFunc getAddressFunc,
    ValueSetAddressFunc setAddressFunc, ValueToStringFunc toStringFunc,
    ValueFromStringFunc fromStringFunc) {
    // Without a table the library is not running: a table made here would hide the built-ins
    // from a later start.
    ValueTypeRecord *record = valueTypes.claim(typeId, name);
    if (record == nullptr) return nullptr;
    record->getIntegerFunc = getIntegerFunc;
    record->setIntegerFunc = setIntegerFunc;
    record->getDoubleFunc = getDoubleFunc;
    record->setDoubleFunc = setDoubleFunc;
    record->getAddressFunc = getAddressFunc;
    record->setAddressFunc = setAddressFunc;
    record->toStringFunc = toStringFunc;
    record->fromStringFunc = fromStringFunc;
    valueTypes.give_out(record);
    refresh_trusted_double();
    return record;
}

void KVAV_UnregisterValueType(int32_t typeId) {
    valueTypes.clear(typeId);
    refresh_trusted_double();
}

ValueTypeRecord *KVAV_GetValueFactory(int32_t typeId) {
    // Only the first time a record goes out changes what the direct paths may trust.
    if (!valueTypes.kept_inside(typeId)) return valueTypes.at(typeId);
    ValueTypeRecord *record = valueTypes.give_out(valueTypes.at(typeId));
    refresh_trusted_double();
    return record;
}

int32_t KVAV_GetNumTypes(void) { return valueTypes.count; }

int32_t KVAV_IDOfName(const char *name) { return valueTypes.id_of(name); }

const char *KVAV_NameOfID(int32_t typeId) { return valueTypes.name_of(typeId); }

int32_t KVAV_GetTypeID(Value *value) { return value != nullptr ? value->typeId : 0; }

void KVAV_SetTypeID(Value *value, int32_t typeId) { change_value_type(value, typeId); }

const char *KVAV_GetTypeName(Value *value) { return value != nullptr ? value->typeName : nullptr; }

void KVAV_SetTypeName(Value *value, const char *name) {
    if (value != nullptr) change_value_type(value, KVAV_IDOfName(name));
}

int32_t KVAV_GetSize(Value *value) { return value != nullptr ? value->size : 0; }

void KVAV_SetSize(Value *value, int32_t size) {
    if (value == nullptr || size < 0) return;
    // Only a value of a registered type that keeps a block owns one. Inline types hold a
    // number or an address; a value of no type or of an unknown type may still carry the bits
    // of an address or a number from its former type, never a block of ours.
    const ValueTypeRecord *type = type_of(value);
    if (value->typeId == zteqm::kNoValueType || type == nullptr || type->typeId != value->typeId) {
        return;
    }
    if (holds_inline_number(value->typeId) || value->typeId == kAddressType) return;
    // A block-stored built-in owns whatever block data holds; a host type owns one only
    // once it was given one here, which its size records.
    const bool ownsBlock = zteqm::keeps_block(value->typeId) || value->size > 0;
    if (ownsBlock && value->data.p != nullptr) KVAMEM_Free(value->data.p);
    value->size = 0;
    value->data.bits = 0;
    // A host type's block is known by its size: an empty one is not made, or it would be lost.
    if (size == 0 && !zteqm::keeps_block(value->typeId)) return;
    value->data.p = _KVAMEM_Alloc(static_cast<uint64_t>(size), nullptr, 0);
    value->size = value->data.p != nullptr ? size : 0;
}

int32_t KVAV_GetInteger(Value *value) {
    const ValueTypeRecord *type = type_of(value);
    if (type == nullptr || type->getIntegerFunc == nullptr) return 0;
    // A slot that still holds the built-in callback is served without the indirect call.
    if (type->getIntegerFunc == zteqm::numeric_get_integer)
        return zteqm::numeric_get_integer(value);
    return type->getIntegerFunc(value);
}

void KVAV_SetInteger(Value *value, int32_t integer) {
    const ValueTypeRecord *type = type_of(value);
    if (type == nullptr || type->setIntegerFunc == nullptr) return;
    if (type->setIntegerFunc == zteqm::numeric_set_integer) {
        zteqm::numeric_set_integer(value, integer);
    } else {
        type->setIntegerFunc(value, integer);
    }
}

double KVAV_GetDouble(Value *value) {
    const ValueTypeRecord *type = type_of(value);
    if (type == nullptr || type->getDoubleFunc == nullptr) return 0.0;
    if (type->getDoubleFunc == zteqm::numeric_get_double) return zteqm::numeric_get_double(value);
    return type->getDoubleFunc(value);
}

void KVAV_SetDouble(Value *value, double number) {
    const ValueTypeRecord *type = type_of(value);
    if (type == nullptr || type->setDoubleFunc == nullptr) return;
    if (type->setDoubleFunc == zteqm::numeric_set_double) {
        zteqm::numeric_set_double(value, number);
    } else {
        type->setDoubleFunc(value, number);
    }
}

void *KVAV_GetAddress(Value *value) {
    const ValueTypeRecord *type = type_of(value);
    return type != nullptr && type->getAddressFunc != nullptr ? type->getAddressFunc(value)
                                                              : nullptr;
}

void KVAV_SetAddress(Value *value, void *address) {
    const ValueTypeRecord *type = type_of(value);
    if (type != nullptr && type->setAddressFunc != nullptr) type->setAddressFunc(value, address);
}

void KVAV_ToString(Value *value, char *buffer, int32_t size) {
    if (buffer == nullptr || size <= 0) return;
    // Whatever the type writes, or fails to write, the caller gets a terminated text: empty
    // when there is nothing to format.
    buffer[0] = '\0';
    const ValueTypeRecord *type = type_of(value);
    if (type != nullptr && type->toStringFunc != nullptr) type->toStringFunc(value, buffer, size);
}

void KVAV_FromString(Value *value, const char *text) {
    if (text == nullptr) return;
    const ValueTypeRecord *type = type_of(value);
    if (type != nullptr && type->fromStringFunc != nullptr) type->fromStringFunc(value, text);
}

void KVAV_GetDataFromAddress(Value *value, const void *address) {
    if (value == nullptr || address == nullptr) return;
    // Bytes of the bound datum for types 1 to 5; the rest of data keeps its contents.
    constexpr size_t kBoundWidth[] = {0, 1, 2, 4, 4, 8};
    if (holds_inline_number(value->typeId)) {
        std::memcpy(value->data.bytes, address, kBoundWidth[value->typeId]);
    }
}

}  // extern "C"
