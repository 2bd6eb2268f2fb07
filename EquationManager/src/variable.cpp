// Variables: named parameters with their own value, bound to host memory or a get callback.
// Invariant: the variable functions act on variables only; a bound address is only read.
#include "internal/equation_reference.h"
#include "internal/parameters.h"
#include "internal/value.h"

namespace {

// The variable functions reach fields far beyond a literal's or an equation reference's
// block, so they act on variables only.
Variable *variable_only(Variable *variable) {
    return zteqm::as_variable(reinterpret_cast<Parameter *>(variable));
}

}  // namespace

extern "C" {

Variable *KVAP_NewVariable(void) { return zteqm::new_zeroed<Variable>(); }

void KVAP_FreeVariable(Variable *variable) {
    // A reference freed this way must leave the library's list of references too, or stopping
    // would read the released block.
    if (zteqm::release_if_tracked_reference(reinterpret_cast<Parameter *>(variable))) return;
    zteqm::release_parameter_object(reinterpret_cast<Parameter *>(variable));
}

void KVAP_SetVariableDefaults(Variable *variable) {
    variable = variable_only(variable);
    if (variable == nullptr) return;
    variable->name[0] = '\0';
    // The type is set directly, without conversion; only a block the old type kept is let go.
    zteqm::release_value_storage(&variable->value);
    variable->value.typeId = zteqm::kDoubleType;
    variable->value.data.d = 0.0;
    zteqm::copy_text(variable->value.typeName, "double");
    variable->address = nullptr;
    variable->getFunc = nullptr;
    variable->userData = nullptr;
}

void KVAP_SetVariableName(Variable *variable, const char *name) {
    if ((variable = variable_only(variable)) != nullptr) zteqm::copy_text(variable->name, name);
}

const char *KVAP_GetVariableName(Variable *variable) {
    variable = variable_only(variable);
    return variable != nullptr ? variable->name : nullptr;
}

int32_t KVAP_GetVariableType(Variable *variable) {
    return variable != nullptr ? variable->typeId : 0;
}

void KVAP_SetVariableType(Variable *variable, int32_t typeId) {
    // Only between variable types: the object keeps the layout it was made with.
    if (variable_only(variable) != nullptr && zteqm::layout_of(typeId) == zteqm::Layout::variable) {
        variable->typeId = typeId;
    }
}

void KVAP_SetVariableTypeName(Variable *variable, const char *name) {
    KVAP_SetTypeName(reinterpret_cast<Parameter *>(variable), name);
}

const char *KVAP_GetVariableTypeName(Variable *variable) {
    return variable != nullptr ? variable->typeName : nullptr;
}

void KVAP_SetVariableAddress(Variable *variable, void *address) {
    if ((variable = variable_only(variable)) != nullptr) variable->address = address;
}

void *KVAP_GetVariableAddress(Variable *variable) {
    variable = variable_only(variable);
    return variable != nullptr ? variable->address : nullptr;
}

void KVAP_SetVariableGetFunc(Variable *variable, VariableGetFunc getFunc) {
    if ((variable = variable_only(variable)) != nullptr) variable->getFunc = getFunc;
}

void KVAP_SetVariableUserData(Variable *variable, void *userData) {
    if ((variable = variable_only(variable)) != nullptr) variable->userData = userData;
}

Value *KVAP_GetVariableValue(Variable *variable) {
    variable = variable_only(variable);
    return variable != nullptr ? &variable->value : nullptr;
}

}  // extern "C"
