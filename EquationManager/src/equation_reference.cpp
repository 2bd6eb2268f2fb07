// "Equation" parameters: references to other equations by name, evaluated when read.
// Invariant: a cached equation pointer is trusted only while its slot's incarnation count is
// the one recorded with it; otherwise the name is resolved afresh.
#include "internal/equation_reference.h"

#include "internal/evaluation.h"
#include "internal/invariants.h"
#include "internal/manager_lookup.h"
#include "internal/name_index.h"
#include "internal/parameters.h"
#include "internal/reference_index.h"
#include "ztequationmanager/equation.h"
#include "ztequationmanager/value.h"

namespace {

// Every "Equation" parameter this type made and has not released, so that a cached pointer
// can be dropped the moment the slots it addresses go away. The links live in a trailer behind
// the public record, in the same block.
struct TrackedReference {
    EquationParameter parameter;  // first, so both share one address
    TrackedReference *previous;
    TrackedReference *next;
    zteqm::ReferenceLinks links;  // its place in the index by name
};

// The names references have borne, in a list of fixed fields with an index over it.
struct ReferencedNames {
    char (*names)[ZTEQM_NAME_SIZE] = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
    zteqm::NameIndex index;
    bool unknown = false;  // memory ran out: any name may be referenced
};

struct ReferenceState {
    TrackedReference *first = nullptr;
    uint64_t generation = 1;
    ReferencedNames referenced;
};

ReferenceState references;

// The parameter as a reference, or null when it is null or has another layout.
EquationParameter *as_reference(Parameter *parameter) {
    return parameter != nullptr && parameter->typeId == zteqm::kEquationTypeId
               ? reinterpret_cast<EquationParameter *>(parameter)
               : nullptr;
}

// Records `equation`, just cached in the reference of `links`, with its slot's incarnation.
void record_cache(zteqm::ReferenceLinks *links, Equation *equation) {
    zteqm::SlotRef slot;
    links->cached = equation;
    links->cachedIncarnation = equation != nullptr && zteqm::locate_equation(equation, &slot)
                                   ? zteqm::slot_incarnation(slot)
                                   : 0;
}

// Caches `equation` as the referenced one, recording the incarnation of its slot with it.
void cache_equation(EquationParameter *reference, Equation *equation) {
    reference->equation = equation;
    zteqm::ReferenceLinks *links = zteqm::tracked_links(reinterpret_cast<Parameter *>(reference));
    if (links != nullptr) record_cache(links, equation);
}

// Whether the cached pointer, which addresses `slot`, still means the equation it was cached
// for: the slot has not been made live again since. A slot never made again needs no record;
// otherwise a pointer the library did not cache itself, or whose record is lost, is not
// trusted.
bool cache_is_current(EquationParameter *reference, const zteqm::SlotRef &slot) {
    const uint32_t incarnation = zteqm::slot_incarnation(slot);
    if (incarnation == 0) return true;
    const zteqm::ReferenceLinks *links =
        zteqm::tracked_links(reinterpret_cast<Parameter *>(reference));
    return links != nullptr && links->cached == reference->equation &&
           links->cachedIncarnation == incarnation;
}

// The slot of the referenced equation. The cached pointer is trusted only while it still
// addresses a slot of a palette that exists and that slot still holds the equation it was
// cached for; a pointer left behind by a slot array that moved, a palette that was deleted or
// a slot made live again is dropped and the name looked up again. With `resolve`, an
// unresolved reference is looked up by name as well.
bool referenced_slot(EquationParameter *reference, bool resolve, zteqm::SlotRef *slot) {
    if (reference->equation != nullptr) {
        if (zteqm::locate_equation(reference->equation, slot) &&
            cache_is_current(reference, *slot)) {
            return true;
        }
        reference->equation = nullptr;
        resolve = true;
    }
    if (!resolve) return false;
    cache_equation(reference, zteqm::find_registered_equation(reference->referenceName));
    return zteqm::locate_equation(reference->equation, slot);
}

// The referenced equation's result variable without evaluating it, or null.
Variable *referenced_result(EquationParameter *reference) {
    zteqm::SlotRef slot;
    if (!referenced_slot(reference, false, &slot)) return nullptr;
    return slot.palette->slots[slot.index].variable;
}

Parameter *new_reference(int32_t typeId) {
    auto *tracked = zteqm::new_zeroed<TrackedReference>();
    if (tracked == nullptr) return nullptr;
    tracked->parameter.typeId = typeId;
    if (const char *name = KVAP_NameOfID(typeId))
        zteqm::copy_text(tracked->parameter.typeName, name);
    tracked->next = references.first;
    if (references.first != nullptr) references.first->previous = tracked;
    references.first = tracked;
    tracked->links.self = &tracked->parameter;
    zteqm::index_reference(&tracked->links);
    // Unresolved under the empty name: that is where it resolves unless an equation bears it.
    zteqm::note_referenced_name("");
    if (zteqm::find_registered_equation("") != nullptr) zteqm::references_may_be_stale();
    return reinterpret_cast<Parameter *>(tracked);
}

void release_reference(Parameter *parameter) {
    if (parameter == nullptr) return;
    auto *tracked = reinterpret_cast<TrackedReference *>(parameter);
    if (tracked->previous != nullptr) tracked->previous->next = tracked->next;
    if (tracked->next != nullptr) tracked->next->previous = tracked->previous;
    if (references.first == tracked) references.first = tracked->next;
    zteqm::unindex_reference(&tracked->links);
    zteqm::release_parameter_object(parameter);
}

// Reading evaluates the referenced equation afresh, with its subscribers' notifications; a
// read that would re-enter an equation being evaluated, or nest too deep, gives no value.
Value *get_value(Parameter *parameter) {
    EquationParameter *reference = as_reference(parameter);
    zteqm::SlotRef slot;
    if (reference == nullptr || !referenced_slot(reference, true, &slot)) return nullptr;
    Variable *result = zteqm::run_referenced_equation(slot);
    return result != nullptr ? &result->value : nullptr;
}

void set_value(Parameter *parameter, Value *value) {
    EquationParameter *reference = as_reference(parameter);
    if (reference == nullptr || value == nullptr) return;
    // The result variable gets its own copy of separately stored data, never a shared block.
    if (Variable *result = referenced_result(reference))
        zteqm::replace_value(&result->value, value);
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
        zteqm::rename_reference(reference, text);
        zteqm::note_referenced_name(reference->referenceName);
        cache_equation(reference, zteqm::find_registered_equation(reference->referenceName));
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
    KVAP_RegisterParameterType(zteqm::kEquationTypeId, "Equation", 0, new_reference,
                               release_reference, get_value, set_value, get_string, set_string);
}

void forget_references_into(const Equation *slots, int32_t capacity) {
    if (slots == nullptr || capacity <= 0) return;
    references_may_be_stale();
    const auto base = reinterpret_cast<uintptr_t>(slots);
    const auto extent = static_cast<uintptr_t>(capacity) * sizeof(Equation);
    for (TrackedReference *tracked = references.first; tracked != nullptr;
         tracked = tracked->next) {
        const auto address = reinterpret_cast<uintptr_t>(tracked->parameter.equation);
        if (address >= base && address - base < extent) tracked->parameter.equation = nullptr;
    }
}

void copy_cached_equation(EquationParameter *to, EquationParameter *from) {
    to->equation = from->equation;
    ReferenceLinks *target = tracked_links(reinterpret_cast<Parameter *>(to));
    if (target == nullptr) return;
    // Only as current as the source's: a pointer whose record is unknown is recorded as
    // nothing, and trusted only while its slot is never made again.
    const ReferenceLinks *source = tracked_links(reinterpret_cast<Parameter *>(from));
    target->cached = source != nullptr ? source->cached : nullptr;
    target->cachedIncarnation = source != nullptr ? source->cachedIncarnation : 0;
}

bool release_if_tracked_reference(Parameter *parameter) {
    if (tracked_links(parameter) == nullptr) return false;
    release_reference(parameter);
    return true;
}

void fix_tracked_reference(ReferenceLinks *links) {
    EquationParameter *reference = links->self;
    reference->equation = zteqm::find_registered_equation(reference->referenceName);
    record_cache(links, reference->equation);
}

uint64_t reference_generation() { return references.generation; }

void references_may_be_stale() { log_any_change(++references.generation); }

void name_may_resolve_anew(const char *name) { log_name_change(++references.generation, name); }

void reference_may_be_stale(Parameter *parameter) {
    ++references.generation;
    if (ReferenceLinks *links = tracked_links(parameter)) {
        log_reference_change(references.generation, links);
    } else {
        log_any_change(references.generation);
    }
}

void note_referenced_name(const char *name) {
    ReferencedNames &referenced = references.referenced;
    if (name == nullptr || referenced.unknown) return;
    auto nameAt = [&](int32_t position) { return referenced.names[position]; };
    if (!referenced.index.broken && name_index_find(referenced.index, name, nameAt) >= 0) return;
    if (referenced.count >= referenced.capacity &&
        !grow_array(referenced.names, referenced.capacity, referenced.capacity * 2 + 16)) {
        referenced.unknown = true;
        return;
    }
    const int32_t position = referenced.count++;
    copy_text(referenced.names[position], name);
    name_index_insert(referenced.index, position, nameAt);
    if (referenced.index.broken) referenced.unknown = true;
}

bool is_referenced_name(const char *name) {
    const ReferencedNames &referenced = references.referenced;
    if (referenced.unknown) return true;
    auto nameAt = [&](int32_t position) { return referenced.names[position]; };
    return name_index_find(referenced.index, name, nameAt) >= 0;
}

void release_referenced_names() {
    ReferencedNames &referenced = references.referenced;
    if (referenced.names != nullptr) KVAMEM_Free(referenced.names);
    name_index_release(referenced.index);
    referenced = ReferencedNames{};
}

void for_each_tracked_reference(void (*visit)(EquationParameter *reference,
                                              const ReferenceLinks &links, void *context),
                                void *context) {
    for (TrackedReference *tracked = references.first; tracked != nullptr;
         tracked = tracked->next) {
        visit(&tracked->parameter, tracked->links, context);
    }
}

}  // namespace zteqm

extern "C" {

void KVAP_SetEquationReference(Parameter *parameter, Equation *equation) {
    if (EquationParameter *reference = as_reference(parameter)) {
        cache_equation(reference, equation);
        zteqm::reference_may_be_stale(parameter);
    }
}

void KVAP_FixEquationReference(Parameter *parameter) {
    if (EquationParameter *reference = as_reference(parameter)) {
        cache_equation(reference, zteqm::find_registered_equation(reference->referenceName));
    }
}

const char *KVAP_GetEquationReferenceName(Parameter *parameter) {
    EquationParameter *reference = as_reference(parameter);
    return reference != nullptr ? reference->referenceName : nullptr;
}

void KVAP_SetEquationReferenceName(Parameter *parameter, const char *name) {
    if (EquationParameter *reference = as_reference(parameter)) {
        if (!zteqm::rename_reference(reference, name)) return;
        zteqm::note_referenced_name(reference->referenceName);
        zteqm::reference_may_be_stale(parameter);
    }
}

int32_t KVAP_CheckRecursion(Equation *equation, Parameter *parameter) {
    if (equation == nullptr || parameter == nullptr) return 0;
    if (!zteqm::same_text(parameter->typeName, "Equation")) return 0;
    auto *reference = reinterpret_cast<EquationParameter *>(parameter);
    // A pointer into a slot made again since it was cached no longer means that slot's equation.
    zteqm::SlotRef slot;
    const bool pointsAtIt =
        reference->equation == equation &&
        (!zteqm::locate_equation(equation, &slot) || cache_is_current(reference, slot));
    const bool refersToItself =
        pointsAtIt || zteqm::same_text(equation->name, reference->referenceName);
    if (!refersToItself) return 0;
    reference->equation = nullptr;
    zteqm::rename_reference(reference, "Recursive");
    zteqm::note_referenced_name("Recursive");
    zteqm::reference_may_be_stale(parameter);
    return 1;
}

}  // extern "C"
