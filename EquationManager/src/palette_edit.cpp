// Palette editing: copying equations, moving them to an index or one step, copying palettes.
// Invariant: a copied equation shares no object with its source: its parameters and value
// blocks are copies, and it starts with no subscribers.
#include <cstdio>
#include <cstring>

#include "internal/manager.h"
#include "internal/palette.h"
#include "internal/parameters.h"
#include "internal/reference_index.h"
#include "internal/text.h"
#include "ztequationmanager/palette.h"

namespace {

Parameter *as_parameter(Variable *variable) { return reinterpret_cast<Parameter *>(variable); }

// The live or free slot at `index` below numEquations, taken again after anything that may
// have moved the slot array.
Equation *slot_at(EquationPalette *palette, int32_t index) {
    return zteqm::get_equation_slot(palette, index, false);
}

// Deletes the subscribers an equation is about to lose, with their destructors, and gives
// their array back: a copy over an equation would otherwise leave them unreachable.
void drop_subscribers(Equation *equation) {
    KVAEQ_UnregisterAllSubscribers(equation);
    if (equation->subscribers != nullptr) KVAMEM_Free(equation->subscribers);
    equation->subscribers = nullptr;
    equation->numSubscribers = 0;
    equation->subscriberCapacity = 0;
}

// The target's result variable takes the source's name, parameter type, enabled flag and value
// type (not its value), and ends unbound.
void copy_result_settings(Equation *target, Equation *source) {
    Variable *to = KVAEQ_GetVariable(target);
    Variable *from = KVAEQ_GetVariable(source);
    if (to == nullptr || from == nullptr) return;
    KVAP_SetVariableName(to, KVAP_GetVariableName(from));
    KVAP_SetTypeName(as_parameter(to), KVAP_GetTypeName(as_parameter(from)));
    KVAP_SetEnabled(as_parameter(to), KVAP_GetEnabled(as_parameter(from)));
    Value *value = KVAP_GetVariableValue(to);
    KVAV_SetTypeID(value, from->value.typeId);
    KVAV_SetTypeName(value, from->value.typeName);
    KVAP_SetVariableAddress(to, nullptr);
    KVAP_SetVariableGetFunc(to, nullptr);
    KVAP_SetVariableUserData(to, nullptr);
}

// The target's parameter list becomes its own copies of the source's parameters.
void copy_parameters(Equation *target, Equation *source) {
    KVAEQ_SetNumParameters(target, source->numParameters);
    const int32_t count = target->numParameters < source->numParameters ? target->numParameters
                                                                        : source->numParameters;
    for (int32_t position = 0; position < count; ++position) {
        KVAP_Delete(target->parameters[position]);
        target->parameters[position] = KVAP_CopyParameter(source->parameters[position]);
        zteqm::note_placement(target->parameters[position], target, position);
    }
}

// Copies everything but the name, index and liveness from source to target.
void copy_contents(Equation *target, Equation *source) {
    KVAEQ_SetOperatorName(target, source->operatorName);
    KVAEQ_SetTriggerName(target, source->triggerName);
    copy_result_settings(target, source);
    target->currentParameterIndex = source->currentParameterIndex;
    copy_parameters(target, source);
    drop_subscribers(target);
    target->reservedIndex = -1;
}

void name_as_copy(Equation *target, const char *sourceName) {
    // "Copy of " and a long name do not fit the field: the name is cut to 79 characters.
    char name[sizeof "Copy of " + ZTEQM_NAME_SIZE];
    std::snprintf(name, sizeof name, "Copy of %.79s", sourceName);
    KVAEQ_SetName(target, name);
}

// Swaps the contents of the live slots i and j through a scratch record, each keeping its
// own index; the scratch's objects are released afterwards.
Equation *exchange(EquationPalette *palette, int32_t i, int32_t j) {
    Equation scratch{};
    KVAEP_CopyEqToEq(palette, slot_at(palette, i), &scratch);
    KVAEP_CopyEqToEq(palette, slot_at(palette, j), slot_at(palette, i));
    if (Equation *moved = slot_at(palette, i)) moved->index = i;
    KVAEP_CopyEqToEq(palette, &scratch, slot_at(palette, j));
    Equation *result = slot_at(palette, j);
    if (result != nullptr) result->index = j;
    zteqm::release_equation_contents(&scratch);
    return result;
}

// Moves the live slot i into the free slot j (made when needed) and frees slot i.
Equation *move_into_free_slot(EquationPalette *palette, int32_t i, int32_t j) {
    Equation *target = zteqm::get_equation_slot(palette, j, true);
    Equation *source = slot_at(palette, i);
    if (target == nullptr || source == nullptr) return nullptr;
    KVAEP_CopyEqToEq(palette, source, target);
    target = zteqm::get_equation_slot(palette, j, true);
    if (target == nullptr) return nullptr;
    target->index = j;
    // A move past the end keeps the equation inside the range the walks cover.
    if (j >= palette->numEquations) palette->numEquations = j + 1;
    zteqm::mark_slot_live(palette, j);
    zteqm::delete_equation(palette, slot_at(palette, i));
    return slot_at(palette, j);
}

Equation *move_one_step(EquationPalette *palette, Equation *equation, int32_t step) {
    if (palette == nullptr || equation == nullptr) return nullptr;
    const int32_t i = equation->index;
    const int32_t j = i + step;
    if (j < 0 || j == INT32_MAX) return equation;
    const Equation *neighbour = slot_at(palette, j);
    Equation *result = neighbour != nullptr && neighbour->inUse != 0
                           ? exchange(palette, i, j)
                           : move_into_free_slot(palette, i, j);
    zteqm::fix_references_unless_current(palette);
    return slot_at(palette, j) != nullptr ? slot_at(palette, j) : result;
}

// The copied palette's equation at slot k: the source's contents with objects of its own.
void copy_equation_deeply(Equation *target, Equation *source) {
    KVAEQ_SetName(target, source->name);
    copy_contents(target, source);
    target->operatorId = source->operatorId;
    target->triggerId = source->triggerId;
    target->currentParameterIndex = source->currentParameterIndex;
    target->reservedIndex = source->reservedIndex;
    // Unlike a single equation copy, a palette copy keeps the result's value too.
    Variable *to = KVAEQ_GetVariable(target);
    if (to != nullptr && source->variable != nullptr) {
        zteqm::replace_value(KVAP_GetVariableValue(to), &source->variable->value);
        std::memcpy(to->valueText, source->variable->valueText, sizeof to->valueText);
    }
}

}  // namespace

extern "C" {

Equation *KVAEP_CopyEquation(EquationPalette *palette, Equation *source, int32_t targetIndex) {
    if (palette == nullptr || source == nullptr) return nullptr;
    const int32_t s = source->index;
    if (s < 0 || s >= palette->numEquations) return nullptr;
    // Copying an equation onto itself would read the parameters it has just released.
    if (targetIndex == s) return zteqm::obtain_equation(palette, s);
    Equation *target = zteqm::obtain_equation(palette, targetIndex);
    if (target == nullptr) return nullptr;
    source = zteqm::obtain_equation(palette, s);  // making the target may have moved the slots
    target = slot_at(palette, targetIndex);
    if (source == nullptr || target == nullptr) return target;
    name_as_copy(target, source->name);
    copy_contents(target, source);
    return slot_at(palette, targetIndex);
}

void KVAEP_CopyEqToEq(EquationPalette *, Equation *source, Equation *target) {
    if (source == nullptr || target == nullptr || source == target) return;
    KVAEQ_SetName(target, source->name);
    copy_contents(target, source);
}

Equation *KVAEP_MoveEquation(EquationPalette *palette, Equation *equation, int32_t targetIndex) {
    if (palette == nullptr || equation == nullptr) return nullptr;
    const int32_t from = equation->index;
    if (targetIndex == from) return equation;
    Equation *copy = KVAEP_CopyEquation(palette, equation, targetIndex);
    if (copy == nullptr) return nullptr;
    Equation *old = slot_at(palette, from);
    if (old != nullptr) {
        KVAEQ_SetName(copy, old->name);
        zteqm::delete_equation(palette, old);
    }
    return slot_at(palette, targetIndex);
}

Equation *KVAEP_MoveEquationUpOne(EquationPalette *palette, Equation *equation) {
    return move_one_step(palette, equation, -1);
}

Equation *KVAEP_MoveEquationDownOne(EquationPalette *palette, Equation *equation) {
    return move_one_step(palette, equation, +1);
}

void KVAEP_CopyEPalette(void *targetUserData, void *sourceUserData) {
    // Copying a palette onto itself would clear the very equations it is to copy.
    if (targetUserData == sourceUserData) return;
    EquationPalette *target = zteqm::registered_palette(targetUserData);
    EquationPalette *source = zteqm::registered_palette(sourceUserData);
    if (target == nullptr || target == source) return;
    KVAEP_ClearPalette(target);
    KVAEP_SetUserData(target, targetUserData);
    int32_t k = 0;
    int32_t at = 0;
    while (source != nullptr) {
        Equation *from = zteqm::first_live_equation(source, at, &at);
        if (from == nullptr) break;
        Equation *slot = zteqm::obtain_equation(target, k);
        from = slot_at(source, at);
        if (slot == nullptr || from == nullptr) break;
        copy_equation_deeply(slot, from);
        slot->index = k;
        zteqm::mark_slot_live(target, k);
        target->currentIndex = k;
        ++k;
        ++at;
    }
}

}  // extern "C"
