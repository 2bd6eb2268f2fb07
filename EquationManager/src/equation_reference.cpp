// "Equation" parameters: references to other equations by name, evaluated when read.
#include "internal/equation_reference.h"

#include "internal/evaluation.h"
#include "internal/memory.h"
#include "internal/text.h"
#include "internal/value.h"
#include "ztequationmanager/manager.h"
#include "ztequationmanager/parameter.h"
#include "ztequationmanager/value.h"

namespace {

constexpr int32_t kEquationTypeId = 6;

EquationParameter *as_reference(Parameter *parameter) {
    return parameter != nullptr && parameter->typeId == kEquationTypeId
               ? reinterpret_cast<EquationParameter *>(parameter)
               : nullptr;
}

// The slot of the referenced equation. The cached pointer is trusted only while it still
// addresses a slot of a palette that exists; a pointer left behind by a slot array that moved
// or a palette that was deleted is dropped and the name looked up again. With `resolve`, an
// unresolved reference is looked up by name as well.
bool referenced_slot(EquationParameter *reference, bool resolve, zteqm::SlotRef *slot) {
    if (reference->equation != nullptr) {
        if (zteqm::locate_equation(reference->equation, slot)) return true;
        reference->equation = nullptr;
        resolve = true;
    }
    if (!resolve) return false;
    reference->equation = KVAEQM_FindEquationByName(reference->referenceName);
    return zteqm::locate_equation(reference->equation, slot);
}

// The referenced equation's result variable without evaluating it, or null.
Variable *referenced_result(EquationParameter *reference) {
    zteqm::SlotRef slot;
    if (!referenced_slot(reference, false, &slot)) return nullptr;
    return slot.palette->slots[slot.index].variable;
}

Parameter *construct(int32_t typeId) {
    auto *reference = zteqm::new_zeroed<EquationParameter>();
    if (reference == nullptr) return nullptr;
    reference->typeId = typeId;
    if (const char *typeName = KVAP_NameOfID(typeId))
        zteqm::copy_text(reference->typeName, typeName);
    return reinterpret_cast<Parameter *>(reference);
}

void destruct(Parameter *parameter) {
    if (parameter != nullptr) KVAMEM_Free(parameter);
}

// Reading evaluates the referenced equation afresh, with its subscribers' notifications; a
// read that would re-enter an equation being evaluated, or nest too deep, gives no value.
Value *get_value(Parameter *parameter) {
    EquationParameter *reference = as_reference(parameter);
    zteqm::SlotRef slot;
    if (reference == nullptr || !referenced_slot(reference, true, &slot)) return nullptr;
    Variable *result = zteqm::run_equation(slot);
    return result != nullptr ? &result->value : nullptr;
}

void set_value(Parameter *parameter, Value *value) {
    EquationParameter *reference = as_reference(parameter);
    if (reference == nullptr || value == nullptr) return;
    Variable *result = referenced_result(reference);
    if (result == nullptr || &result->value == value) return;
    // The result variable gets its own copy of separately stored data, never a shared block.
    zteqm::release_value_storage(&result->value);
    zteqm::copy_value(&result->value, value);
}

void get_string(Parameter *parameter, char **outText, int32_t asValue) {
    EquationParameter *reference = as_reference(parameter);
    if (reference == nullptr || outText == nullptr) return;
    if (asValue == 0) {
        *outText = reference->referenceName;
        return;
    }
    Variable *result = referenced_result(reference);
    if (result == nullptr) {
        *outText = nullptr;
        return;
    }
    Value *value = KVAP_GetValue(reinterpret_cast<Parameter *>(result));
    if (value == nullptr) return;
    KVAV_ToString(value, result->valueText, ZTEQM_NAME_SIZE);
    *outText = result->valueText;
}

void set_string(Parameter *parameter, const char *text, int32_t asValue) {
    EquationParameter *reference = as_reference(parameter);
    if (reference == nullptr || text == nullptr) return;
    if (asValue == 0) {
        zteqm::copy_text(reference->referenceName, text);
        reference->equation = KVAEQM_FindEquationByName(reference->referenceName);
        return;
    }
    Variable *result = referenced_result(reference);
    if (result == nullptr) return;
    if (Value *value = KVAP_GetValue(reinterpret_cast<Parameter *>(result))) {
        KVAV_FromString(value, text);
    }
}

}  // namespace

namespace zteqm {

void register_equation_parameter_type() {
    KVAP_RegisterParameterType(kEquationTypeId, "Equation", 0, construct, destruct, get_value,
                               set_value, get_string, set_string);
}

}  // namespace zteqm

extern "C" {

void KVAP_SetEquationReference(Parameter *parameter, Equation *equation) {
    if (EquationParameter *reference = as_reference(parameter)) reference->equation = equation;
}

void KVAP_FixEquationReference(Parameter *parameter) {
    if (EquationParameter *reference = as_reference(parameter)) {
        reference->equation = KVAEQM_FindEquationByName(reference->referenceName);
    }
}

const char *KVAP_GetEquationReferenceName(Parameter *parameter) {
    EquationParameter *reference = as_reference(parameter);
    return reference != nullptr ? reference->referenceName : nullptr;
}

void KVAP_SetEquationReferenceName(Parameter *parameter, const char *name) {
    if (EquationParameter *reference = as_reference(parameter)) {
        zteqm::copy_text(reference->referenceName, name);
    }
}

int32_t KVAP_CheckRecursion(Equation *equation, Parameter *parameter) {
    if (equation == nullptr || parameter == nullptr) return 0;
    if (!zteqm::same_text(parameter->typeName, "Equation")) return 0;
    auto *reference = reinterpret_cast<EquationParameter *>(parameter);
    const bool refersToItself = reference->equation == equation ||
                                zteqm::same_text(KVAEQ_GetName(equation), reference->referenceName);
    if (!refersToItself) return 0;
    reference->equation = nullptr;
    zteqm::copy_text(reference->referenceName, "Recursive");
    return 1;
}

}  // extern "C"
