// The built-in parameter types: literals and the five variable types, registered at start-up.
// Invariant: each type's functions act only on objects of the layout it was registered with.
#include "internal/equation_reference.h"
#include "internal/parameters.h"

// The get-value functions of the built-in types are reachable by name: KVAP_GetValue serves a
// type whose registry slot still holds one of them without the indirect call.
namespace zteqm {

Value *literal_value(Parameter *parameter) {
    return parameter != nullptr ? &reinterpret_cast<LiteralParameter *>(parameter)->value : nullptr;
}

Value *variable_value(Parameter *parameter) {
    return parameter != nullptr ? &reinterpret_cast<Variable *>(parameter)->value : nullptr;
}

}  // namespace zteqm

namespace {

using zteqm::literal_value;
using zteqm::variable_value;

constexpr int32_t kTextSize = ZTEQM_NAME_SIZE;

// The text functions format and parse the value that the parameter's own type gives
// (KVAP_GetValue): a type without a get-value function has no text.

// Literal ---------------------------------------------------------------------------------

Parameter *new_literal(int32_t typeId) {
    auto *literal = zteqm::new_parameter_object<LiteralParameter>(typeId);
    if (literal == nullptr) return nullptr;
    auto *parameter = reinterpret_cast<Parameter *>(literal);
    KVAP_SetDataTypeName(parameter, "double");
    literal->value.data.d = 10.0;
    return parameter;
}

// A literal has no name: its name text and its value text are both the formatted value.
void literal_get_string(Parameter *parameter, char **outText, int32_t) {
    Value *value = KVAP_GetValue(parameter);
    if (value == nullptr) return;
    auto *literal = reinterpret_cast<LiteralParameter *>(parameter);
    KVAV_ToString(value, literal->text, kTextSize);
    *outText = literal->text;
}

void literal_set_string(Parameter *parameter, const char *text, int32_t) {
    if (text == nullptr) return;
    if (Value *value = KVAP_GetValue(parameter)) KVAV_FromString(value, text);
}

// Variable --------------------------------------------------------------------------------

Parameter *new_variable(int32_t typeId) {
    return reinterpret_cast<Parameter *>(zteqm::new_parameter_object<Variable>(typeId));
}

// The value text is formatted from the value as last stored: bound memory and the get
// callback are not consulted.
void variable_get_string(Parameter *parameter, char **outText, int32_t asValue) {
    auto *variable = reinterpret_cast<Variable *>(parameter);
    if (asValue == 0) {
        *outText = variable->name;
        return;
    }
    Value *value = KVAP_GetValue(parameter);
    if (value == nullptr) return;
    KVAV_ToString(value, variable->valueText, kTextSize);
    *outText = variable->valueText;
}

void variable_set_string(Parameter *parameter, const char *text, int32_t asValue) {
    if (text == nullptr) return;
    if (asValue == 0) {
        zteqm::copy_text(reinterpret_cast<Variable *>(parameter)->name, text);
        return;
    }
    if (Value *value = KVAP_GetValue(parameter)) KVAV_FromString(value, text);
}

// Shared by both sets ---------------------------------------------------------------------

// The parameter's value becomes a copy of the given one, with a block of its own.
void set_embedded_value(Parameter *parameter, Value *value) {
    zteqm::replace_value(zteqm::embedded_value(parameter), value);
}

void register_literal_type() {
    KVAP_RegisterParameterType(zteqm::kLiteralTypeId, "Literal", 0, new_literal,
                               zteqm::release_parameter_object, literal_value, set_embedded_value,
                               literal_get_string, literal_set_string);
}

void register_variable_type(int32_t typeId, const char *name) {
    KVAP_RegisterParameterType(typeId, name, 1, new_variable, zteqm::release_parameter_object,
                               variable_value, set_embedded_value, variable_get_string,
                               variable_set_string);
}

}  // namespace

namespace zteqm {

void register_built_in_parameter_types() {
    register_literal_type();
    register_variable_type(zteqm::kTemporaryTypeId, "Temporary");
    register_variable_type(zteqm::kCgShaderTypeId, "Cg Shader");
    register_variable_type(zteqm::kGlslShaderTypeId, "GLSL Shader");
    register_variable_type(zteqm::kNodeAttributeTypeId, "Node Attribute");
    register_variable_type(zteqm::kAppVariableTypeId, "App Variable");
    zteqm::register_equation_parameter_type();
}

}  // namespace zteqm
