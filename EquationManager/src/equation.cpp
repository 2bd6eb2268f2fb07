// Equations: the record's fields, its parameter and subscriber lists, and one evaluation step.
// Invariant: the evaluation stack holds at most kMaxEvaluationDepth frames, and what a callback
// releases from an equation on it is kept by the outermost frame using it until that ends.
#include "ztequationmanager/equation.h"

#include <cstring>

#include "internal/equation.h"
#include "internal/equation_owner.h"
#include "internal/equation_reference.h"
#include "internal/evaluation.h"
#include "internal/invariants.h"
#include "internal/memory.h"
#include "internal/parameters.h"
#include "internal/reference_index.h"
#include "internal/text.h"
#include "ztequationmanager/operator.h"
#include "ztequationmanager/palette.h"
#include "ztequationmanager/subscriber.h"
#include "ztequationmanager/trigger.h"

namespace {

// A parameter list a callback replaced while its equation was in use: the parameters from
// `from` to `to` left the equation, and the list itself is released with them.
struct RetiredList {
    Parameter **list;
    int32_t from;
    int32_t to;
};

// One equation being evaluated (or held by a read by name, with no slot): its slot, its result
// variable, the objects its slot held if a callback released them meanwhile, and the parameter
// lists callbacks replaced meanwhile.
struct Frame {
    zteqm::SlotRef slot;
    Variable *result;
    uint32_t seen;  // the palette deletions and slot moves the walk's step has seen
    uint32_t storage;
    Equation deferred;
    bool hasDeferred;
    RetiredList *retired;
    int32_t numRetired;
    int32_t retiredCapacity;
};

// The equations being evaluated, innermost last: a read that would enter one of them again is
// refused, and so is one that would nest deeper than the stack.
struct EvaluationState {
    Frame frames[zteqm::kMaxEvaluationDepth];
    int32_t depth = 0;
    int32_t keeping = 0;  // how many frames keep something to release when they end
};

EvaluationState evaluation;

bool is_running(zteqm::SlotRef slot) {
    for (int32_t level = evaluation.depth - 1; level >= 0; --level) {
        const zteqm::SlotRef &entry = evaluation.frames[level].slot;
        if (entry.index == slot.index && entry.palette == slot.palette) return true;
    }
    return false;
}

// The outermost frame that uses the equation whose result variable is `result`, or null.
Frame *frame_using(const Variable *result) {
    if (result == nullptr) return nullptr;
    for (int32_t level = 0; level < evaluation.depth; ++level) {
        if (evaluation.frames[level].result == result) return &evaluation.frames[level];
    }
    return nullptr;
}

// A frame keeps nothing between uses: release_what_the_frame_kept, which every use that kept
// something ends with, empties it again. So a use starts by naming its equation only.
void start_frame(Frame &frame, zteqm::SlotRef slot, Variable *result) {
    ZTEQM_ASSERT(!frame.hasDeferred && frame.retired == nullptr && frame.numRetired == 0 &&
                 frame.retiredCapacity == 0);
    frame.slot = slot;
    frame.result = result;
}

// Releases what callbacks took from the equation while the frame used it, now that nothing
// does. The frame is cleared first: the destructors that run here may start frames of their
// own at the same level. True when the equation itself was released meanwhile.
[[gnu::noinline]] bool release_what_the_frame_kept(Frame &frame) {
    const bool hadDeferred = frame.hasDeferred;
    Equation leftovers = frame.deferred;
    RetiredList *retired = frame.retired;
    if (hadDeferred || retired != nullptr) --evaluation.keeping;
    const int32_t numRetired = frame.numRetired;
    frame.hasDeferred = false;
    frame.retired = nullptr;
    frame.numRetired = 0;
    frame.retiredCapacity = 0;
    for (int32_t entry = 0; entry < numRetired; ++entry) {
        for (int32_t position = retired[entry].from; position < retired[entry].to; ++position) {
            KVAP_Delete(retired[entry].list[position]);
        }
        if (retired[entry].list != nullptr) KVAMEM_Free(retired[entry].list);
    }
    if (retired != nullptr) KVAMEM_Free(retired);
    if (hadDeferred) zteqm::release_equation_contents(&leftovers);
    return hadDeferred;
}

// Notifies the subscribers once the operator has run, each taken again by position since a
// callback may change the list or move the slot: the first `counted` positions, or with a
// negative count those present now. Stops when a callback deleted the palette or put another
// equation (another result variable) into the slot.
bool notify_subscribers(zteqm::SlotRef slot, Variable *result, uint32_t *seen, int32_t counted) {
    Equation *equation = zteqm::slot_after_callback(slot, seen);
    if (equation == nullptr || equation->variable != result) return false;
    const int32_t count = counted >= 0 ? counted : equation->numSubscribers;
    for (int32_t position = 0; position < count; ++position) {
        equation = zteqm::slot_after_callback(slot, seen);
        if (equation == nullptr || equation->variable != result) return false;
        if (Subscriber *subscriber = KVAEQ_GetSubscriberN(equation, position)) {
            KVAS_Notify(subscriber, result);
        }
    }
    equation = zteqm::slot_after_callback(slot, seen);
    return equation != nullptr && equation->variable == result;
}

// KVAS_Notify, in line, for a subscriber that may be null.
inline void notify_subscriber(Subscriber *subscriber, Variable *result) {
    if (subscriber == nullptr) return;
    SubscriberNotifyFunc notify = subscriber->notifyFunc;
    if (notify == nullptr) notify = KVAS_GetSubscriberTypeNotifyFunc(subscriber->typeId);
    if (notify != nullptr) notify(result, subscriber->userData);
}

}  // namespace

namespace zteqm {

bool defer_release_while_running(Equation *leftovers) {
    if (leftovers->variable == nullptr) return false;
    // The outermost user keeps them, so they outlast every use nested inside it.
    for (int32_t level = 0; level < evaluation.depth; ++level) {
        Frame &frame = evaluation.frames[level];
        if (frame.result != leftovers->variable || frame.hasDeferred) continue;
        if (frame.retired == nullptr) ++evaluation.keeping;
        frame.deferred = *leftovers;
        frame.hasDeferred = true;
        detach_objects(leftovers);
        return true;
    }
    return false;
}

int32_t evaluation_depth() { return evaluation.depth; }

bool evaluation_keeps_objects() {
    if (evaluation.keeping != 0) return true;
    for (const Frame &frame : evaluation.frames) {
        if (frame.hasDeferred || frame.retired != nullptr) return true;
    }
    return false;
}

int32_t hold_equation(Variable *result) {
    if (result == nullptr || evaluation.depth >= kMaxEvaluationDepth) return -1;
    const int32_t level = evaluation.depth++;
    start_frame(evaluation.frames[level], SlotRef{}, result);
    return level;
}

bool end_hold(int32_t level) {
    ZTEQM_ASSERT(level < 0 || level == evaluation.depth - 1);
    if (level < 0 || level != evaluation.depth - 1) return false;
    --evaluation.depth;
    Frame &frame = evaluation.frames[level];
    if (!frame.hasDeferred && frame.retired == nullptr) return false;  // the usual case
    return release_what_the_frame_kept(frame);
}

// Reading an "Equation" parameter runs the equation it refers to, and notifies only as many
// subscribers as it had before its operator ran.
Variable *run_referenced_equation(SlotRef slot) {
    Equation *equation = &slot.palette->slots[slot.index];
    const OperatorFunc operation = KVAOP_GetFunc(equation->operatorId);
    if (operation == nullptr) return nullptr;
    if (evaluation.depth >= kMaxEvaluationDepth || is_running(slot)) return nullptr;
    Variable *result = KVAEQ_GetVariable(equation);
    if (result == nullptr) return nullptr;

    Frame &frame = evaluation.frames[evaluation.depth++];
    start_frame(frame, slot, result);
    uint32_t seen = palette_deletions();
    const int32_t counted = equation->numSubscribers;
    operation(result, equation->numParameters, equation->parameters);
    const bool intact = notify_subscribers(slot, result, &seen, counted);
    --evaluation.depth;
    // What callbacks released or replaced while it ran goes now that nothing uses it.
    if (frame.hasDeferred || frame.retired != nullptr) [[unlikely]] {
        if (release_what_the_frame_kept(frame)) return nullptr;  // deleted under it
    }
    return intact ? result : nullptr;
}

// The step of the trigger walk: a run with the subscriber count taken after the
// operator and its result unused, and with the re-check after each callback reduced to one
// comparison while no slot array has moved and no palette has gone (the equation's address
// then still names its slot; whether a callback put another equation there is still asked).
// What it needs after the callbacks is kept in its frame, so few values are held across them.
void run_triggered_equation(SlotRef slot) {
    Equation *equation = &slot.palette->slots[slot.index];
    const OperatorFunc operation = KVAOP_GetFunc(equation->operatorId);
    if (operation == nullptr) return;
    const int32_t depth = evaluation.depth;
    if (depth >= kMaxEvaluationDepth || (depth > 0 && is_running(slot))) return;
    // A result variable is made only when the equation has none yet.
    Variable *result =
        equation->variable != nullptr ? equation->variable : KVAEQ_GetVariable(equation);
    if (result == nullptr) return;

    Frame &frame = evaluation.frames[depth];
    evaluation.depth = depth + 1;
    start_frame(frame, slot, result);
    frame.seen = palette_deletions();
    frame.storage = slot_storage_generation();
    operation(result, equation->numParameters, equation->parameters);

    // The equation again after a callback: null when its palette went or another equation
    // took its slot. What it needs is read from the frame, so little is held across the calls.
    auto again = [&frame, equation]() -> Equation * {
        Equation *current = slot_storage_generation() == frame.storage
                                ? equation
                                : zteqm::slot_after_callback(frame.slot, &frame.seen);
        return current != nullptr && current->variable == frame.result ? current : nullptr;
    };
    // The count is taken once the operator has run; each later subscriber is taken again by
    // position after the callback before it.
    Equation *current = again();
    const int32_t count = current != nullptr ? current->numSubscribers : 0;
    if (count > 0) {
        notify_subscriber(current->subscribers[0], frame.result);
        for (int32_t position = 1; position < count && (current = again()) != nullptr; ++position) {
            notify_subscriber(KVAEQ_GetSubscriberN(current, position), frame.result);
        }
    }
    --evaluation.depth;
    // What callbacks released or replaced while it ran goes now that nothing uses it.
    if (evaluation.keeping != 0 && (frame.hasDeferred || frame.retired != nullptr)) [[unlikely]] {
        release_what_the_frame_kept(frame);
    }
}

}  // namespace zteqm

extern "C" {

const char *KVAEQ_GetName(Equation *equation) {
    return equation != nullptr ? equation->name : nullptr;
}

void KVAEQ_SetName(Equation *equation, const char *name) {
    zteqm::rename_equation(equation, name);  // keeps the palette's index by name in step
}

int32_t KVAEQ_GetIndex(Equation *equation) { return equation != nullptr ? equation->index : -1; }

const char *KVAEQ_GetOperatorName(Equation *equation) {
    return equation != nullptr ? equation->operatorName : nullptr;
}

void KVAEQ_SetOperatorName(Equation *equation, const char *name) {
    if (equation == nullptr || !zteqm::copy_text(equation->operatorName, name)) return;
    // Looked up by the stored text, so the name and the identifier always agree.
    equation->operatorId = KVAOP_IDOfName(equation->operatorName);
}

int32_t KVAEQ_GetOperatorID(Equation *equation) {
    return equation != nullptr ? equation->operatorId : 0;
}

void KVAEQ_SetOperatorID(Equation *equation, int32_t operatorId) {
    if (equation != nullptr) equation->operatorId = operatorId;
}

const char *KVAEQ_GetTriggerName(Equation *equation) {
    return equation != nullptr ? equation->triggerName : nullptr;
}

void KVAEQ_SetTriggerName(Equation *equation, const char *name) {
    if (equation == nullptr || !zteqm::copy_text(equation->triggerName, name)) return;
    equation->triggerId = KVAT_IDOfName(equation->triggerName);
}

Variable *KVAEQ_GetVariable(Equation *equation) {
    if (equation == nullptr) return nullptr;
    if (equation->variable == nullptr) equation->variable = KVAP_NewVariable();
    return equation->variable;
}

int32_t KVAEQ_GetNumParameters(Equation *equation) {
    return equation != nullptr ? equation->numParameters : 0;
}

Parameter **KVAEQ_GetParameterList(Equation *equation) {
    return equation != nullptr ? equation->parameters : nullptr;
}

void KVAEQ_SetNumParameters(Equation *equation, int32_t count) {
    if (equation == nullptr || count < 0) return;
    const int32_t old = equation->numParameters;
    if (count == old) return;

    Parameter **list = nullptr;
    if (count > 0) {
        list = static_cast<Parameter **>(
            _KVAMEM_AllocZ(static_cast<uint64_t>(count) * sizeof(Parameter *), nullptr, 0));
        if (list == nullptr) return;  // the old list stays as it was
    }
    Parameter **previous = equation->parameters;
    const int32_t kept = count < old ? count : old;
    if (kept > 0) std::memcpy(list, previous, static_cast<size_t>(kept) * sizeof(Parameter *));
    if (count > old) {
        const int32_t literal = KVAP_IDOfName("Literal");
        for (int32_t position = old; position < count; ++position)
            list[position] = KVAP_New(literal);
    }

    // An operator may be reading the old list (and the parameters leaving it): while the
    // equation is in use they are released when that use ends.
    Frame *user = frame_using(equation->variable);
    const bool keptNothing = user != nullptr && !user->hasDeferred && user->retired == nullptr;
    if (user != nullptr && user->numRetired >= user->retiredCapacity &&
        !zteqm::grow_array(user->retired, user->retiredCapacity, user->numRetired + 4)) {
        for (int32_t position = old; position < count; ++position) KVAP_Delete(list[position]);
        if (list != nullptr) KVAMEM_Free(list);
        return;  // the old list stays as it was
    }
    if (keptNothing) ++evaluation.keeping;

    // The new list is in place before any destructor runs, so a callback sees a whole equation.
    equation->parameters = list;
    equation->numParameters = count;
    if (user != nullptr) {
        user->retired[user->numRetired++] = RetiredList{previous, count, old};
        return;
    }
    for (int32_t position = count; position < old; ++position) KVAP_Delete(previous[position]);
    if (previous != nullptr) KVAMEM_Free(previous);
}

Parameter *KVAEQ_GetParameterN(Equation *equation, int32_t position) {
    if (equation == nullptr || position < 0 || position >= equation->numParameters) return nullptr;
    return equation->parameters[position];
}

void KVAEQ_SetParameterN(Equation *equation, int32_t position, Parameter *parameter) {
    if (equation == nullptr || position < 0 || position >= equation->numParameters) return;
    equation->parameters[position] = parameter;
    // A reference placed here is only as well resolved as it was wherever it came from.
    if (KVAP_GetTypeID(parameter) == zteqm::kEquationTypeId) {
        zteqm::note_placement(parameter, equation, position);
        zteqm::note_referenced_name(KVAP_GetEquationReferenceName(parameter));
        zteqm::reference_may_be_stale(parameter);
    }
}

Parameter *KVAEQ_NewParameterN(Equation *equation, int32_t position, int32_t typeId) {
    if (equation == nullptr || position < 0 || position >= equation->numParameters) return nullptr;
    Parameter *parameter = KVAP_New(typeId);
    equation->parameters[position] = parameter;
    equation->currentParameterIndex = position;
    zteqm::note_placement(parameter, equation, position);
    return parameter;
}

int32_t KVAEQ_GetCurrentParameterIndex(Equation *equation) {
    return equation != nullptr ? equation->currentParameterIndex : 0;
}

void KVAEQ_SetCurrentParameterIndex(Equation *equation, int32_t position) {
    if (equation != nullptr) equation->currentParameterIndex = position;
}

Parameter *KVAEQ_GetCurrentParameter(Equation *equation) {
    return equation != nullptr ? KVAEQ_GetParameterN(equation, equation->currentParameterIndex)
                               : nullptr;
}

int32_t KVAEQ_GetNumSubscribers(Equation *equation) {
    return equation != nullptr ? equation->numSubscribers : 0;
}

Subscriber **KVAEQ_GetSubscriberList(Equation *equation) {
    return equation != nullptr ? equation->subscribers : nullptr;
}

Subscriber *KVAEQ_GetSubscriberN(Equation *equation, int32_t position) {
    if (equation == nullptr || position < 0 || position >= equation->numSubscribers) return nullptr;
    return equation->subscribers[position];
}

int32_t KVAEQ_RegisterSubscriber(Equation *equation, int32_t subscriberTypeId,
                                 SubscriberNotifyFunc notifyFunc, void *userData) {
    if (equation == nullptr) return 0;
    const int32_t position = equation->numSubscribers;
    if (position >= equation->subscriberCapacity &&
        !zteqm::grow_array(equation->subscribers, equation->subscriberCapacity, position + 1)) {
        return -1;
    }
    Subscriber *subscriber = KVAS_New(subscriberTypeId, notifyFunc, userData);
    if (subscriber == nullptr) return -1;
    equation->subscribers[position] = subscriber;
    equation->numSubscribers = position + 1;
    return position;
}

void KVAEQ_UnregisterAllSubscribers(Equation *equation) {
    if (equation == nullptr) return;
    // A destructor may make equations and so move the palette's slots: an equation that lives
    // in a palette is taken again by its index after each one.
    zteqm::SlotRef slot;
    const bool inPalette = zteqm::locate_equation(equation, &slot);
    uint32_t seen = zteqm::palette_deletions();
    const int32_t count = equation->numSubscribers;
    for (int32_t position = 0; position < count && position < equation->numSubscribers;
         ++position) {
        // Cleared before the destructor runs, so the callback never meets a released one.
        Subscriber *subscriber = equation->subscribers[position];
        equation->subscribers[position] = nullptr;
        KVAS_Delete(subscriber);
        if (inPalette && (equation = zteqm::slot_after_callback(slot, &seen)) == nullptr) return;
    }
    equation->numSubscribers = 0;
}

}  // extern "C"
