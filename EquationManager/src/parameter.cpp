// Parameters: the parameter type registry and the generic parameter functions.
// Invariant: a parameter's type identifier alone tells its layout (literal, equation reference
// or variable), and every function reads only the fields of that layout.
#include <cstring>

#include "internal/equation_reference.h"
#include "internal/parameters.h"
#include "internal/reference_index.h"
#include "internal/registry.h"
#include "internal/value.h"

namespace {

zteqm::Table<ParameterTypeRecord> parameterTypes;

constexpr int32_t kInitialCapacity = 64;

// The types whose record the host was never given, one bit per identifier, and among them
// those whose get-value slot holds the built-in literal or variable function: such a slot
// changes only by registration here, so the direct paths test a bit instead of reading it.
struct TrustedSlots {
    uint64_t literalValue = 0;
    uint64_t variableValue = 0;
    uint64_t settled = 0;    // every registered type whose record the host was never given
    bool literal = false;    // "Literal" holds the literal function
    bool temporary = false;  // "Temporary" holds the variable function
};
TrustedSlots trusted;

void refresh_trusted_slots() {
    trusted = {};
    for (int32_t id = 0; id < 64; ++id) {
        if (!parameterTypes.kept_inside(id)) continue;
        trusted.settled |= uint64_t{1} << id;
        const ParameterGetValueFunc getValue = parameterTypes.records[id].getValueFunc;
        if (getValue == zteqm::literal_value) trusted.literalValue |= uint64_t{1} << id;
        if (getValue == zteqm::variable_value) trusted.variableValue |= uint64_t{1} << id;
    }
    trusted.literal = ((trusted.literalValue >> zteqm::kLiteralTypeId) & 1u) != 0;
    trusted.temporary = ((trusted.variableValue >> zteqm::kTemporaryTypeId) & 1u) != 0;
}

// One field of a type's record; zero or null outside the registry.
template <typename Field>
Field field_of(int32_t typeId, Field ParameterTypeRecord::*field) {
    return parameterTypes.field(typeId, field);
}

// A head may name only types of the layout its object was made with: a literal's block is far
// smaller than a variable's, so a literal labelled as a variable would be read past its end.
void relabel(Parameter *parameter, int32_t typeId, const char *name) {
    if (zteqm::layout_of(typeId) != zteqm::layout_of(parameter->typeId)) return;
    zteqm::copy_text(parameter->typeName, name);
    parameter->typeId = typeId;
}

// The fast path reads the datum as stored, without conversion through the value's type.
int32_t raw_integer(const Value &value) {
    int32_t integer;
    std::memcpy(&integer, value.data.bytes, sizeof integer);
    return integer;
}

double raw_double(const Value &value) {
    double number;
    std::memcpy(&number, value.data.bytes, sizeof number);
    return number;
}

void *raw_address(const Value &value) {
    void *address;
    std::memcpy(&address, value.data.bytes, sizeof address);
    return address;
}

void read_bound_memory(Variable *variable) {
    KVAV_GetDataFromAddress(&variable->value, variable->address);
}

// Brings a variable's datum up to date from the host: true when bound memory or the get
// callback served the read (the bound address wins; the callback is not called then).
bool refresh_from_host(Variable *variable) {
    if (variable->address != nullptr) {
        read_bound_memory(variable);
        return true;
    }
    if (variable->getFunc != nullptr) {
        variable->getFunc(reinterpret_cast<Parameter *>(variable), variable->userData);
        return true;
    }
    return false;
}

// The value of a parameter whose type's registry slot still holds a built-in get-value
// function (which only hands out the embedded value), found without calling it; null otherwise.
Value *built_in_value(Parameter *parameter) {
    const auto typeId = static_cast<uint32_t>(parameter->typeId);
    // The most common operand and the usual result first: a literal and a "Temporary".
    if (typeId == zteqm::kLiteralTypeId && trusted.literal) {
        return &reinterpret_cast<LiteralParameter *>(parameter)->value;
    }
    if (typeId == zteqm::kTemporaryTypeId && trusted.temporary) {
        return &reinterpret_cast<Variable *>(parameter)->value;
    }
    if (typeId < 64) {
        if (((trusted.literalValue >> typeId) & 1u) != 0) {
            return &reinterpret_cast<LiteralParameter *>(parameter)->value;
        }
        if (((trusted.variableValue >> typeId) & 1u) != 0) {
            return &reinterpret_cast<Variable *>(parameter)->value;
        }
        // Any other function in a record kept inside stays until a registration here.
        if (((trusted.settled >> typeId) & 1u) != 0) return nullptr;
    }
    // The count is 0 while there is no table, so one unsigned comparison bounds the identifier.
    if (typeId >= static_cast<uint32_t>(parameterTypes.count)) return nullptr;
    const ParameterTypeRecord *record = &parameterTypes.records[typeId];
    if (record->getValueFunc == zteqm::literal_value) {
        return &reinterpret_cast<LiteralParameter *>(parameter)->value;
    }
    if (record->getValueFunc == zteqm::variable_value) {
        return &reinterpret_cast<Variable *>(parameter)->value;
    }
    return nullptr;
}

// The reads and writes as the registries dispatch them, for whatever the direct paths leave.
// Kept out of line so that the direct paths need no stack frame.
[[gnu::noinline]] double read_double_dispatched(Parameter *parameter) {
    Variable *variable = zteqm::as_variable(parameter);
    if (variable != nullptr && variable->address != nullptr) {
        read_bound_memory(variable);
        return raw_double(variable->value);
    }
    // Unlike the integer and address reads, the double read after a get callback goes
    // through the value's type.
    Value *value = KVAP_GetValue(parameter);
    if (variable != nullptr && variable->getFunc != nullptr) {
        variable->getFunc(parameter, variable->userData);
    }
    return KVAV_GetDouble(value);
}

[[gnu::noinline]] void write_double_dispatched(Parameter *parameter, double number) {
    if (Value *value = KVAP_GetValue(parameter)) KVAV_SetDouble(value, number);
}

}  // namespace

namespace zteqm {

bool read_double_directly(Parameter *parameter, double *number) {
    if (layout_of(parameter->typeId) == Layout::variable) {
        auto *variable = reinterpret_cast<Variable *>(parameter);
        if (variable->address != nullptr) {
            // A bound double refreshes all eight bytes of the datum, which is the result.
            if (variable->value.typeId != zteqm::kDoubleType) return false;
            std::memcpy(variable->value.data.bytes, variable->address, sizeof(double));
            *number = variable->value.data.d;
            return true;
        }
        if (variable->getFunc != nullptr) return false;
    }
    const Value *value = built_in_value(parameter);
    if (value == nullptr || !reads_double_directly(value)) return false;
    *number = value->data.d;
    return true;
}

bool write_double_directly(Parameter *parameter, double number) {
    Value *value = built_in_value(parameter);
    if (value == nullptr || !writes_double_directly(value)) return false;
    value->data.d = number;
    return true;
}

bool trusted_slots_hold_built_ins() {
    for (int32_t id = 0; id < 64; ++id) {
        const bool literal = ((trusted.literalValue >> id) & 1u) != 0;
        const bool variable = ((trusted.variableValue >> id) & 1u) != 0;
        const bool settled = ((trusted.settled >> id) & 1u) != 0;
        if (settled != parameterTypes.kept_inside(id)) return false;
        if (!settled) {
            if (literal || variable) return false;
            continue;
        }
        const ParameterGetValueFunc getValue = parameterTypes.records[id].getValueFunc;
        if (literal != (getValue == literal_value) || variable != (getValue == variable_value)) {
            return false;
        }
    }
    return trusted.literal == (((trusted.literalValue >> kLiteralTypeId) & 1u) != 0) &&
           trusted.temporary == (((trusted.variableValue >> kTemporaryTypeId) & 1u) != 0);
}

Variable *as_variable(Parameter *parameter) {
    if (parameter == nullptr || layout_of(parameter->typeId) != Layout::variable) return nullptr;
    return reinterpret_cast<Variable *>(parameter);
}

Value *embedded_value(Parameter *parameter) {
    if (parameter == nullptr) return nullptr;
    switch (layout_of(parameter->typeId)) {
        case Layout::literal:
            return &reinterpret_cast<LiteralParameter *>(parameter)->value;
        case Layout::variable:
            return &reinterpret_cast<Variable *>(parameter)->value;
        case Layout::equation:
            break;
    }
    return nullptr;
}

bool replace_value(Value *target, const Value *source) {
    if (target == nullptr || source == nullptr) return false;
    if (target == source) return true;
    // Copy before releasing: source may share target's block.
    Value fresh{};
    copy_value(&fresh, source);
    const bool lostBlock =
        keeps_block(source->typeId) && source->data.p != nullptr && fresh.data.p == nullptr;
    if (lostBlock) return false;
    release_value_storage(target);
    *target = fresh;
    return true;
}

void release_parameter_object(Parameter *parameter) {
    if (parameter == nullptr) return;
    if (Value *value = embedded_value(parameter)) release_value_storage(value);
    KVAMEM_Free(parameter);
}

}  // namespace zteqm

extern "C" {

/* Registry ----------------------------------------------------------------------------- */

void KVAP_Init(void) {
    if (!parameterTypes.create(kInitialCapacity)) return;
    zteqm::register_built_in_parameter_types();
    parameterTypes.givenOut = 0;  // the records registered here went to the library itself
    refresh_trusted_slots();
}

void KVAP_Exit(void) {
    parameterTypes.release();
    refresh_trusted_slots();
}

ParameterTypeRecord *KVAP_RegisterParameterType(
    int32_t typeId, const char *name, int32_t lvalueEnabled,
    ParameterConstructorFunc constructorFunc, ParameterDestructorFunc destructorFunc,
    ParameterGetValueFunc getValueFunc, ParameterSetValueFunc setValueFunc,
    ParameterGetStringFunc getStringFunc, ParameterSetStringFunc setStringFunc) {
    // Without a registry the library is not running: one made here would keep a later start
    // from registering the built-in types. The highest identifier is refused too: the count,
    // one above it, would not fit.
    ParameterTypeRecord *record = parameterTypes.claim(typeId, name);
    if (record == nullptr) return nullptr;
    record->lvalueEnabled = lvalueEnabled;
    record->constructorFunc = constructorFunc;
    record->destructorFunc = destructorFunc;
    record->getValueFunc = getValueFunc;
    record->setValueFunc = setValueFunc;
    record->getStringFunc = getStringFunc;
    record->setStringFunc = setStringFunc;
    parameterTypes.give_out(record);
    refresh_trusted_slots();
    return record;
}

void KVAP_UnregisterParameterType(int32_t typeId) {
    parameterTypes.clear(typeId);
    refresh_trusted_slots();
}

ParameterTypeRecord *KVAP_GetParameterFactory(int32_t typeId) {
    // Only the first time a record goes out changes what the direct paths may trust.
    if (!parameterTypes.kept_inside(typeId)) return parameterTypes.at(typeId);
    ParameterTypeRecord *record = parameterTypes.give_out(parameterTypes.at(typeId));
    refresh_trusted_slots();
    return record;
}

int32_t KVAP_GetNumTypes(void) { return parameterTypes.count; }

int32_t KVAP_IDOfName(const char *name) { return parameterTypes.id_of(name); }

const char *KVAP_NameOfID(int32_t typeId) { return parameterTypes.name_of(typeId); }

int32_t KVAP_GetParameterTypeLValueEnabled(int32_t typeId) {
    return field_of(typeId, &ParameterTypeRecord::lvalueEnabled);
}

ParameterConstructorFunc KVAP_GetParameterTypeConstructorFunc(int32_t typeId) {
    return field_of(typeId, &ParameterTypeRecord::constructorFunc);
}

ParameterDestructorFunc KVAP_GetParameterTypeDestructorFunc(int32_t typeId) {
    return field_of(typeId, &ParameterTypeRecord::destructorFunc);
}

ParameterGetValueFunc KVAP_GetParameterTypeGetValueFunc(int32_t typeId) {
    return field_of(typeId, &ParameterTypeRecord::getValueFunc);
}

ParameterSetValueFunc KVAP_GetParameterTypeSetValueFunc(int32_t typeId) {
    return field_of(typeId, &ParameterTypeRecord::setValueFunc);
}

/* Parameter objects --------------------------------------------------------------------- */

Parameter *KVAP_New(int32_t typeId) {
    const ParameterConstructorFunc construct = KVAP_GetParameterTypeConstructorFunc(typeId);
    if (construct == nullptr) return nullptr;
    Parameter *parameter = construct(typeId);
    if (parameter == nullptr) return nullptr;
    parameter->typeId = typeId;
    // Looked up again: a constructor may have registered types and moved the registry.
    if (const char *name = KVAP_NameOfID(typeId)) zteqm::copy_text(parameter->typeName, name);
    return parameter;
}

void KVAP_Delete(Parameter *parameter) {
    if (parameter == nullptr) return;
    if (const ParameterDestructorFunc destroy =
            KVAP_GetParameterTypeDestructorFunc(parameter->typeId)) {
        destroy(parameter);
    }
}

Value *KVAP_GetValue(Parameter *parameter) {
    if (parameter == nullptr) return nullptr;
    const ParameterGetValueFunc getValue = KVAP_GetParameterTypeGetValueFunc(parameter->typeId);
    // A slot that still holds a built-in get-value function is served without the indirect call.
    if (getValue == zteqm::literal_value) return zteqm::literal_value(parameter);
    if (getValue == zteqm::variable_value) return zteqm::variable_value(parameter);
    return getValue != nullptr ? getValue(parameter) : nullptr;
}

int32_t KVAP_GetTypeID(Parameter *parameter) {
    return parameter != nullptr ? parameter->typeId : 0;
}

const char *KVAP_GetTypeName(Parameter *parameter) {
    return parameter != nullptr ? parameter->typeName : nullptr;
}

void KVAP_SetTypeName(Parameter *parameter, const char *name) {
    if (parameter == nullptr || name == nullptr) return;
    relabel(parameter, KVAP_IDOfName(name), name);
}

void KVAP_SetTypeID(Parameter *parameter, int32_t typeId) {
    if (parameter == nullptr) return;
    if (const char *name = KVAP_NameOfID(typeId)) {
        // By name, so that the identifier stored is the first one registered under it.
        KVAP_SetTypeName(parameter, name);
    } else {
        // No type bears this identifier, so the head carries no type name either.
        relabel(parameter, typeId, "");
    }
}

void KVAP_SetEnabled(Parameter *parameter, int32_t enabled) {
    if (parameter != nullptr) parameter->enabled = enabled;
}

int32_t KVAP_GetEnabled(Parameter *parameter) {
    return parameter != nullptr ? parameter->enabled : 0;
}

int32_t KVAP_GetInteger(Parameter *parameter) {
    if (parameter == nullptr) return 0;
    if (Variable *variable = zteqm::as_variable(parameter)) {
        if (refresh_from_host(variable)) return raw_integer(variable->value);
    }
    return KVAV_GetInteger(KVAP_GetValue(parameter));
}

double KVAP_GetDouble(Parameter *parameter) {
    if (parameter == nullptr) return 0.0;
    double number;
    if (zteqm::read_double_directly(parameter, &number)) return number;
    return read_double_dispatched(parameter);
}

void *KVAP_GetAddress(Parameter *parameter) {
    if (parameter == nullptr) return nullptr;
    if (Variable *variable = zteqm::as_variable(parameter)) {
        if (refresh_from_host(variable)) return raw_address(variable->value);
    }
    return KVAV_GetAddress(KVAP_GetValue(parameter));
}

void KVAP_SetInteger(Parameter *parameter, int32_t integer) {
    if (Value *value = KVAP_GetValue(parameter)) KVAV_SetInteger(value, integer);
}

void KVAP_SetDouble(Parameter *parameter, double number) {
    if (parameter != nullptr && zteqm::write_double_directly(parameter, number)) return;
    write_double_dispatched(parameter, number);
}

void KVAP_SetAddress(Parameter *parameter, void *address) {
    if (Value *value = KVAP_GetValue(parameter)) KVAV_SetAddress(value, address);
}

int32_t KVAP_GetDataTypeID(Parameter *parameter) {
    Value *value = KVAP_GetValue(parameter);
    return value != nullptr ? KVAV_GetTypeID(value) : 0;
}

const char *KVAP_GetDataTypeName(Parameter *parameter) {
    Value *value = KVAP_GetValue(parameter);
    return value != nullptr ? KVAV_GetTypeName(value) : nullptr;
}

void KVAP_SetDataTypeName(Parameter *parameter, const char *name) {
    if (name == nullptr) return;
    if (Value *value = KVAP_GetValue(parameter)) KVAV_SetTypeName(value, name);
}

void KVAP_SetDataTypeID(Parameter *parameter, int32_t valueTypeId) {
    if (Value *value = KVAP_GetValue(parameter)) KVAV_SetTypeID(value, valueTypeId);
}

void KVAP_GetString(Parameter *parameter, char **outText, int32_t asValue) {
    if (parameter == nullptr || outText == nullptr) return;
    if (const ParameterGetStringFunc getString =
            field_of(parameter->typeId, &ParameterTypeRecord::getStringFunc)) {
        getString(parameter, outText, asValue);
    }
}

void KVAP_SetString(Parameter *parameter, const char *text, int32_t asValue) {
    if (parameter == nullptr) return;
    if (const ParameterSetStringFunc setString =
            field_of(parameter->typeId, &ParameterTypeRecord::setStringFunc)) {
        setString(parameter, text, asValue);
    }
}

Parameter *KVAP_CopyParameter(Parameter *source) {
    if (source == nullptr) return nullptr;
    Parameter *copy = KVAP_New(source->typeId);
    if (copy == nullptr) return nullptr;
    copy->enabled = source->enabled;
    switch (zteqm::layout_of(source->typeId)) {
        case zteqm::Layout::equation: {
            auto *from = reinterpret_cast<EquationParameter *>(source);
            auto *to = reinterpret_cast<EquationParameter *>(copy);
            zteqm::rename_reference(to, from->referenceName);
            zteqm::copy_cached_equation(to, from);
            // The copy is only as well resolved as its source, wherever that one lives.
            zteqm::note_referenced_name(to->referenceName);
            zteqm::reference_may_be_stale(copy);
            return copy;
        }
        case zteqm::Layout::literal:
            zteqm::copy_text(reinterpret_cast<LiteralParameter *>(copy)->text,
                             reinterpret_cast<LiteralParameter *>(source)->text);
            break;
        case zteqm::Layout::variable:
            // Only the name and the value: a copy starts unbound.
            zteqm::copy_text(reinterpret_cast<Variable *>(copy)->name,
                             reinterpret_cast<Variable *>(source)->name);
            break;
    }
    // The copy's value gets the source's type and data, and a block of its own.
    if (!zteqm::replace_value(zteqm::embedded_value(copy), zteqm::embedded_value(source))) {
        KVAP_Delete(copy);
        return nullptr;
    }
    return copy;
}

}  // extern "C"
