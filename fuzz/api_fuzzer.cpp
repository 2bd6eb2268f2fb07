// Fuzzes the library as a host drives it: the input is decoded into a sequence of calls that
// make, edit, copy, move and delete equations and palettes, register and unregister the host's
// triggers, operators and types, evaluate, and read and write values by name. The host's
// callbacks may call back into the library. After every call the palettes are checked: walks
// visit live equations in index order, the equation count covers every live slot, every name
// field is terminated and every object an equation holds is a live block of the host's
// allocator; in the checking builds the library's own invariant checks run as well. Each input
// ends as a host ends its session (releasing what it owns under the library's ownership rules)
// and must leave no block behind.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fuzz_host.h"
#if defined(ZTEQM_CHECK_INVARIANTS)
#include "internal/invariants.h"
#endif

namespace {

using fuzzhost::fault;
using fuzzhost::Input;
using fuzzhost::is_live;

// With ZTEQM_FUZZ_TRACE set, every choice of a call is printed: enough to replay a finding.
bool tracing() {
    static const bool on = std::getenv("ZTEQM_FUZZ_TRACE") != nullptr;
    return on;
}

int32_t choose(Input &in, int32_t bound, const char *what) {
    const int32_t choice = in.small(bound);
    if (tracing()) std::fprintf(stderr, "%s %d\n", what, choice);
    return choice;
}

// ---- what the host set up once, and restores after every input ----------------------------

constexpr int32_t kDatabases = 4;
int databaseKeys[kDatabases];

constexpr int32_t kBuiltInValueTypes = 9;
constexpr int32_t kHostValueType = 10;        // inline integer, registered at start-up
constexpr int32_t kSilentValueType = 11;      // no callbacks at all
constexpr int32_t kLastFuzzedValueType = 13;  // identifiers 12 and 13 come and go
constexpr int32_t kHostParameterType = 8;
constexpr int32_t kLastFuzzedParameterType = 10;
constexpr int32_t kFixedSubscriberTypes = 3;
constexpr int32_t kRegistrationCap = 200;  // appended triggers, operators, types, app variables

ValueTypeRecord savedValueTypes[kLastFuzzedValueType + 1];
ParameterTypeRecord savedParameterTypes[kHostParameterType + 1];
std::vector<OperatorRecord> savedOperators;
std::vector<TriggerRecord> savedTriggers;
std::vector<std::string> operatorNames;  // the built-ins (but "AsciiFile") and the host's
int32_t subscriberTypes[kFixedSubscriberTypes];

// ---- per-input state -----------------------------------------------------------------------

std::vector<EquationPalette *> palettes;  // every palette the host made, in order
Input *current = nullptr;                 // the input, for callbacks that act on it
int32_t callbackBudget = 0;               // callbacks that may still call the library
int32_t callbackDepth = 0;
std::vector<Variable *> running;      // result variables of the host operators running
std::set<uintptr_t> liveTokens;       // subscriber user data not yet destroyed
std::set<uintptr_t> unguardedTokens;  // of subscriber types that may lose their destructor
uintptr_t nextToken = 1;

alignas(16) unsigned char hostMemory[4][16];  // memory variables are bound to
alignas(16) char arrayBuffer[256];            // what the array writes copy from

// ---- names ---------------------------------------------------------------------------------

const char *const kEquationNames[] = {
    "A", "B", "C", "Equation 0", "Equation 1", "Equation 2", "Copy of A", "Recursive", ""};
const char *const kTriggerNames[] = {"No Trigger",    "New Frame", "Application", "Initialization",
                                     "New Transform", "T0",        "T1",          ""};
const char *const kParameterTypeNames[] = {"Literal",     "Temporary",      "Cg Shader",
                                           "GLSL Shader", "Node Attribute", "App Variable",
                                           "Equation",    "HostVar",        "literal"};
const char *const kValueTypeNames[] = {"char",   "short",   "int",      "float",
                                       "double", "address", "float4",   "float4x4",
                                       "string", "hostint", "hostnull", ""};
const char *const kVariableNames[] = {"x", "y", "speed", "A", "B", "Equation 0", "10.000000", ""};

template <size_t N>
std::string pick(Input &in, const char *const (&pool)[N], size_t limit = 200) {
    const int32_t choice = in.small(static_cast<int32_t>(N) + 2);
    if (choice < static_cast<int32_t>(N)) return pool[choice];
    return in.text(limit);
}

std::string pick_operator_name(Input &in) {
    const int32_t choice = in.small(static_cast<int32_t>(operatorNames.size()) + 1);
    if (choice < static_cast<int32_t>(operatorNames.size())) return operatorNames[choice];
    std::string name = in.text(100);
    return name == "AsciiFile" ? "Move Value" : name;
}

// ---- choosing palettes, equations and parameters -------------------------------------------

void *pick_user_data(Input &in) {
    const int32_t choice = in.small(kDatabases + 1);
    return choice < kDatabases ? &databaseKeys[choice] : nullptr;
}

EquationPalette *pick_palette(Input &in) {
    if (palettes.empty()) return nullptr;
    return palettes[in.small(static_cast<int32_t>(palettes.size()))];
}

int32_t pick_index(Input &in) {
    const int32_t choice = in.small(40);
    if (choice < 30) return choice - 2;  // -2 .. 27
    if (choice < 38) return choice;      // beyond the first slot array
    return 100 + in.small(100);
}

Equation *pick_equation(Input &in, EquationPalette **from = nullptr) {
    EquationPalette *palette = pick_palette(in);
    if (from != nullptr) *from = palette;
    return palette != nullptr ? KVAEP_GetEquation(palette, pick_index(in)) : nullptr;
}

Parameter *as_parameter(Variable *variable) { return reinterpret_cast<Parameter *>(variable); }

// A parameter of a live equation, or its result variable.
Parameter *pick_parameter(Input &in, bool *isResult = nullptr) {
    Equation *equation = pick_equation(in);
    if (equation == nullptr) return nullptr;
    const int32_t position = in.small(10);
    if (isResult != nullptr) *isResult = position >= 8;
    if (position >= 8) return as_parameter(KVAEQ_GetVariable(equation));
    return KVAEQ_GetParameterN(equation, position);
}

Variable *pick_variable(Input &in, bool *isResult = nullptr) {
    Parameter *parameter = pick_parameter(in, isResult);
    if (parameter == nullptr || parameter->typeId == 1 || parameter->typeId == 6) return nullptr;
    return reinterpret_cast<Variable *>(parameter);
}

// Deleting a parameter whose type has no destructor releases nothing, by design, so the
// library's own deletions (resizing a list, copying over an equation, reusing a slot) would
// lose it. The host therefore unregisters a parameter type only while no parameter of it is
// held, and gives a type without destructor only to result variables, which it frees itself.
bool may_relabel(bool isResult, int32_t typeId) {
    return isResult || KVAP_GetParameterTypeDestructorFunc(typeId) != nullptr;
}

bool parameters_of_type_held(int32_t typeId) {
    for (EquationPalette *palette : palettes) {
        for (int32_t index = 0; index < palette->capacity; ++index) {
            const Equation &slot = palette->slots[index];
            for (int32_t position = 0; position < slot.numParameters; ++position) {
                const Parameter *parameter = slot.parameters[position];
                if (parameter != nullptr && parameter->typeId == typeId) return true;
            }
        }
    }
    return false;
}

// The identifier KVAP_SetTypeID ends with: the first one registered under the name of `typeId`.
int32_t relabelled_id(int32_t typeId) {
    const char *name = KVAP_NameOfID(typeId);
    return name != nullptr ? KVAP_IDOfName(name) : typeId;
}

// Every "Equation" parameter held anywhere: reading one evaluates the equation it names, so a
// web of many would make each evaluation exponential in its depth.
int32_t count_references() {
    int32_t count = 0;
    for (EquationPalette *palette : palettes) {
        for (int32_t index = 0; index < palette->capacity; ++index) {
            const Equation &slot = palette->slots[index];
            for (int32_t position = 0; position < slot.numParameters; ++position) {
                const Parameter *parameter = slot.parameters[position];
                if (parameter != nullptr && parameter->typeId == 6) ++count;
            }
        }
    }
    return count;
}
constexpr int32_t kReferenceCap = 8;
bool references_allowed() { return count_references() < kReferenceCap; }

// ---- the host's callbacks ------------------------------------------------------------------

void callback_action();
void forget_palette(EquationPalette *palette);

void check_result(Variable *result) {
    if (result == nullptr || !is_live(result)) fault();
}

// Sums its parameters as doubles. Each read may run callbacks (get callbacks, references),
// and those may resize this very equation's parameter list: the list it was given must stay
// readable to the end.
int32_t host_sum(Variable *result, int32_t numParameters, Parameter **parameters) {
    check_result(result);
    if (numParameters > 0 && parameters == nullptr) fault();
    running.push_back(result);
    double sum = 0.0;
    for (int32_t position = 0; position < numParameters; ++position) {
        if (parameters[position] != nullptr) sum += KVAP_GetDouble(parameters[position]);
    }
    running.pop_back();
    KVAP_SetDouble(as_parameter(result), sum);
    return 1;
}

// Calls back into the library while it evaluates, then reads what it was given.
int32_t host_mutate(Variable *result, int32_t numParameters, Parameter **parameters) {
    check_result(result);
    running.push_back(result);
    callback_action();
    for (int32_t position = 0; position < numParameters; ++position) {
        if (parameters[position] != nullptr) (void)KVAP_GetTypeID(parameters[position]);
    }
    running.pop_back();
    KVAP_SetInteger(as_parameter(result), callbackBudget);
    return 1;
}

// The equation whose result variable this is, in any palette the host made, or null.
Equation *equation_of(const Variable *result) {
    for (EquationPalette *palette : palettes) {
        for (int32_t index = 0; index < palette->capacity; ++index) {
            if (palette->slots[index].variable == result) return &palette->slots[index];
        }
    }
    return nullptr;
}

void notify(Variable *result, void *) {
    check_result(result);
    callback_action();
}

void destroy(void *userData) {
    const auto token = reinterpret_cast<uintptr_t>(userData);
    if (liveTokens.erase(token) == 0) fault();  // destroyed twice, or never made
    unguardedTokens.erase(token);
}

void subscribe(Equation *equation, int32_t type, bool ownNotify) {
    const uintptr_t token = nextToken++;
    liveTokens.insert(token);
    // Only the fixed types with a destructor are sure to destroy what they are given.
    if (type >= kFixedSubscriberTypes || KVAS_GetSubscriberTypeDestructorFunc(type) == nullptr) {
        unguardedTokens.insert(token);
    }
    if (KVAEQ_RegisterSubscriber(equation, type, ownNotify ? notify : nullptr,
                                 reinterpret_cast<void *>(token)) < 0) {
        liveTokens.erase(token);  // not made: no destructor will come
        unguardedTokens.erase(token);
    }
}

template <int32_t Type>
void interest(Equation *equation, void *) {
    if (equation == nullptr || equation->inUse == 0) return;
    if (current != nullptr && current->chance(2)) subscribe(equation, subscriberTypes[Type], false);
    callback_action();
}

void extra_interest(Equation *equation, void *) {
    if (current != nullptr && current->chance(3)) {
        subscribe(equation, KVAS_GetNumTypes() - 1, current->chance(2));
    }
}

void refresh(Parameter *parameter, void *userData) {
    if (!is_live(parameter)) fault();
    if (current != nullptr && current->chance(2)) {
        KVAP_SetDouble(parameter, static_cast<double>(reinterpret_cast<uintptr_t>(userData)));
    }
    callback_action();
}

// A host value type that keeps an integer inline.
int32_t host_get_integer(Value *value) { return value->data.i; }
void host_set_integer(Value *value, int32_t integer) { value->data.i = integer; }
double host_get_double(Value *value) { return value->data.i; }
void host_set_double(Value *value, double number) {
    value->data.i =
        number == number && number > -1e9 && number < 1e9 ? static_cast<int>(number) : 0;
}
void host_to_string(Value *value, char *buffer, int32_t size) {
    std::snprintf(buffer, static_cast<size_t>(size), "host %d", value->data.i);
}
void host_from_string(Value *value, const char *text) { value->data.i = std::atoi(text); }

void register_host_value_type(int32_t typeId) {
    if (typeId == kSilentValueType) {
        KVAV_RegisterValueType(typeId, "hostnull", nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr);
    } else {
        KVAV_RegisterValueType(typeId, typeId == kHostValueType ? "hostint" : "hostextra",
                               host_get_integer, host_set_integer, host_get_double, host_set_double,
                               nullptr, nullptr, host_to_string, host_from_string);
    }
}

// A host parameter type: variables made and released by the host, values copied inline only.
Parameter *host_new(int32_t typeId) {
    auto *variable = static_cast<Variable *>(_KVAMEM_AllocZ(sizeof(Variable), nullptr, 0));
    if (variable == nullptr) return nullptr;
    variable->typeId = typeId;
    return as_parameter(variable);
}

// What a host releases with a variable: its value's block, if its value type keeps one.
void free_variable_block(Variable *variable) {
    if (variable->value.typeId >= 7 && variable->value.typeId <= 9 && variable->value.data.p) {
        KVAMEM_Free(variable->value.data.p);
    }
    variable->value.data.p = nullptr;
    variable->value.size = 0;
}

void host_delete(Parameter *parameter) {
    auto *variable = reinterpret_cast<Variable *>(parameter);
    free_variable_block(variable);
    KVAMEM_Free(variable);
}

Value *host_value(Parameter *parameter) { return &reinterpret_cast<Variable *>(parameter)->value; }

void host_set_value(Parameter *parameter, Value *value) {
    if (value == nullptr || (value->typeId >= 7 && value->typeId <= 9)) return;
    Value &own = reinterpret_cast<Variable *>(parameter)->value;
    if (own.typeId >= 7 && own.typeId <= 9) return;
    own = *value;
}

void host_get_string(Parameter *parameter, char **outText, int32_t asValue) {
    auto *variable = reinterpret_cast<Variable *>(parameter);
    if (asValue == 0) {
        *outText = variable->name;
        return;
    }
    KVAV_ToString(&variable->value, variable->valueText, ZTEQM_NAME_SIZE);
    *outText = variable->valueText;
}

void host_set_string(Parameter *parameter, const char *text, int32_t asValue) {
    auto *variable = reinterpret_cast<Variable *>(parameter);
    if (asValue == 0) {
        KVAP_SetVariableName(variable, text);
    } else {
        KVAV_FromString(&variable->value, text);
    }
}

void register_host_parameter_type(int32_t typeId) {
    KVAP_RegisterParameterType(typeId, typeId == kHostParameterType ? "HostVar" : "HostExtra", 1,
                               host_new, host_delete, host_value, host_set_value, host_get_string,
                               host_set_string);
}

int32_t iterate(void *, Equation *equation, void *context) {
    auto *last = static_cast<int32_t *>(context);
    if (equation == nullptr || equation->inUse == 0 || equation->index <= *last) fault();
    *last = equation->index;
    return current == nullptr || !current->chance(8);
}

// What a callback does: usually nothing; sometimes a call that grows a table or a slot array,
// or runs equations again.
void callback_action() {
    if (current == nullptr || callbackBudget <= 0 || callbackDepth > 4) return;
    Input &in = *current;
    const int32_t action = choose(in, 20, "callback");
    if (action >= 13) return;
    --callbackBudget;
    ++callbackDepth;
    switch (action) {
        case 0:
            if (EquationPalette *palette = pick_palette(in)) {
                int32_t index = -1;
                if (Equation *made = KVAEP_NewEquation(palette, &index)) {
                    KVAEQ_SetTriggerName(made, in.chance(2) ? "New Frame" : "T0");
                }
            }
            break;
        case 1:
            KVAEQM_EvaluateTriggerName(pick(in, kTriggerNames).c_str());
            break;
        case 2:
            if (KVAT_GetNumTypes() < kRegistrationCap) KVAT_RegisterTrigger("Late");
            break;
        case 3:
            // Reads by name whose own callbacks may delete, clear or rebuild palettes.
            switch (in.small(3)) {
                case 0:
                    (void)KVAEQM_GetValueDouble(pick_user_data(in),
                                                pick(in, kVariableNames).c_str());
                    break;
                case 1:
                    (void)KVAEQM_GetValueInt(pick_user_data(in), pick(in, kVariableNames).c_str());
                    break;
                case 2:
                    (void)KVAEQM_GetValueArray(pick_user_data(in),
                                               pick(in, kVariableNames).c_str());
                    break;
            }
            break;
        case 4:
            KVAEQM_RefreshAllSubscribers();
            break;
        case 5:
            if (Equation *equation = pick_equation(in)) {
                subscribe(equation, subscriberTypes[in.small(kFixedSubscriberTypes)], true);
            }
            break;
        // Deleting and clearing from a callback, perhaps the very equation or palette that is
        // being evaluated: the library releases what the slots held, once nothing uses it.
        case 6:
            if (EquationPalette *palette = pick_palette(in)) {
                forget_palette(palette);
                KVAEP_DeleteEquationPalette(palette);
            }
            break;
        case 7: {
            EquationPalette *palette = nullptr;
            if (Equation *equation = pick_equation(in, &palette)) {
                KVAEP_DeleteEquation(palette, equation);
            }
            break;
        }
        case 8:
            if (EquationPalette *palette = pick_palette(in)) KVAEP_ClearPalette(palette);
            break;
        case 9:
            // Rebuilding: cleared, then filled again, so that new objects may take the
            // addresses of those just released.
            if (EquationPalette *palette = pick_palette(in)) {
                KVAEP_ClearPalette(palette);
                for (int32_t made = in.small(4); made > 0; --made) {
                    int32_t index = -1;
                    if (Equation *equation = KVAEP_NewEquation(palette, &index)) {
                        KVAEQ_SetName(equation, pick(in, kEquationNames).c_str());
                        KVAP_SetVariableName(KVAEQ_GetVariable(equation),
                                             pick(in, kVariableNames).c_str());
                    }
                }
            }
            break;
        case 10:
        case 11:
            // Resizing the parameter list of an equation that is running, or of any.
            if (Equation *equation =
                    !running.empty() && in.chance(2)
                        ? equation_of(running[in.small(static_cast<int32_t>(running.size()))])
                        : pick_equation(in)) {
                KVAEQ_SetNumParameters(equation, in.small(6));
            }
            break;
        case 12:
            // A slot deleted and made again under the references that point at it.
            if (EquationPalette *palette = pick_palette(in)) {
                int32_t index = pick_index(in);
                if (Equation *equation = KVAEP_GetEquation(palette, index)) {
                    KVAEP_DeleteEquation(palette, equation);
                    (void)KVAEP_NewEquation(palette, &index);
                }
            }
            break;
    }
    --callbackDepth;
}

// ---- invariants ----------------------------------------------------------------------------

bool terminated(const char *field, size_t width) { return std::memchr(field, '\0', width); }

void check_value(const Value &value) {
    if (!terminated(value.typeName, sizeof value.typeName)) fault();
    if (value.typeId >= 7 && value.typeId <= 9) {
        if (value.size < 0) fault();
        if (value.data.p != nullptr && !is_live(value.data.p)) fault();
        if (value.data.p == nullptr && value.size != 0) fault();
    }
}

void check_parameter(Parameter *parameter) {
    if (!is_live(parameter)) fault();
    if (!terminated(parameter->typeName, sizeof parameter->typeName)) fault();
    if (parameter->typeId == 1) {
        auto *literal = reinterpret_cast<LiteralParameter *>(parameter);
        if (!terminated(literal->text, sizeof literal->text)) fault();
        check_value(literal->value);
    } else if (parameter->typeId == 6) {
        auto *reference = reinterpret_cast<EquationParameter *>(parameter);
        if (!terminated(reference->referenceName, sizeof reference->referenceName)) fault();
    } else {
        auto *variable = reinterpret_cast<Variable *>(parameter);
        if (!terminated(variable->name, sizeof variable->name)) fault();
        if (!terminated(variable->valueText, sizeof variable->valueText)) fault();
        check_value(variable->value);
    }
}

void check_slot(const Equation &slot) {
    if (!terminated(slot.name, sizeof slot.name) ||
        !terminated(slot.operatorName, sizeof slot.operatorName) ||
        !terminated(slot.triggerName, sizeof slot.triggerName)) {
        fault();
    }
    if (slot.numParameters < 0 || (slot.numParameters > 0) != (slot.parameters != nullptr)) fault();
    if (slot.parameters != nullptr && !is_live(slot.parameters)) fault();
    for (int32_t position = 0; position < slot.numParameters; ++position) {
        if (slot.parameters[position] != nullptr) check_parameter(slot.parameters[position]);
    }
    if (slot.variable != nullptr) check_parameter(as_parameter(slot.variable));
    if (slot.numSubscribers < 0 || slot.numSubscribers > slot.subscriberCapacity) fault();
    if (slot.subscribers != nullptr && !is_live(slot.subscribers)) fault();
    for (int32_t position = 0; position < slot.numSubscribers; ++position) {
        if (slot.subscribers[position] != nullptr && !is_live(slot.subscribers[position])) fault();
    }
}

void check_palette(EquationPalette *palette) {
    if (!is_live(palette) || !is_live(palette->slots)) fault();
    if (palette->numEquations < 0 || palette->numEquations > palette->capacity) fault();
    for (int32_t index = 0; index < palette->capacity; ++index) {
        const Equation &slot = palette->slots[index];
        check_slot(slot);
        if (slot.inUse != 0 && (slot.index != index || index >= palette->numEquations)) fault();
    }
    if (KVAEP_GetNumEquations(palette) != palette->numEquations) fault();

    // The walks visit exactly the live equations of the palette registered first under this
    // palette's user data, in ascending index order.
    EquationPalette *walked = KVAEQM_GetEquationPalette(palette->userData);
    std::vector<const Equation *> expected;
    if (walked != nullptr) {
        for (int32_t index = 0; index < walked->numEquations; ++index) {
            if (walked->slots[index].inUse != 0) expected.push_back(&walked->slots[index]);
        }
    }
    size_t seen = 0;
    for (Equation *equation = KVAEP_GetFirstEquation(palette); equation != nullptr;
         equation = KVAEP_GetNextEquation(palette, equation)) {
        if (seen >= expected.size() || expected[seen] != equation) fault();
        ++seen;
    }
    if (seen != expected.size()) fault();
}

void check_registries() {
    for (int32_t id = 0; id < KVAT_GetNumTypes(); ++id) {
        if (!terminated(KVAT_NameOfID(id), ZTEQM_NAME_SIZE)) fault();
    }
    for (int32_t id = 0; id < KVAOP_GetNumTypes(); ++id) {
        if (!terminated(KVAOP_NameOfID(id), ZTEQM_NAME_SIZE)) fault();
    }
    for (int32_t id = 0; id < KVAV_GetNumTypes(); ++id) {
        if (!terminated(KVAV_NameOfID(id), ZTEQM_NAME_SIZE)) fault();
    }
    for (int32_t id = 0; id < KVAP_GetNumTypes(); ++id) {
        if (!terminated(KVAP_NameOfID(id), ZTEQM_NAME_SIZE)) fault();
    }
    for (int32_t id = 0; id < KVAS_GetNumTypes(); ++id) {
        if (!terminated(KVAS_NameOfID(id), ZTEQM_NAME_SIZE)) fault();
    }
}

void check_everything() {
    for (EquationPalette *palette : palettes) check_palette(palette);
    if (KVAEQM_GetNumPalettes() < 0) fault();
#if defined(ZTEQM_CHECK_INVARIANTS)
    zteqm::check_invariants();
#endif
}

// ---- the host's ownership rules ------------------------------------------------------------

// What a host releases before it deletes or clears a palette, or copies another over it: what
// every slot's equation holds, live and free slots alike, with the fields it freed cleared.
void release_objects(EquationPalette *palette) {
    for (int32_t index = 0; index < palette->capacity; ++index) {
        Equation *slot = &palette->slots[index];
        KVAEQ_UnregisterAllSubscribers(slot);
        if (slot->subscribers != nullptr) KVAMEM_Free(slot->subscribers);
        slot->subscribers = nullptr;
        slot->subscriberCapacity = 0;
        KVAEQ_SetNumParameters(slot, 0);
        KVAP_FreeVariable(slot->variable);
        slot->variable = nullptr;
    }
}

void forget_palette(EquationPalette *palette) {
    for (size_t position = 0; position < palettes.size(); ++position) {
        if (palettes[position] == palette) {
            palettes.erase(palettes.begin() + static_cast<long>(position));
            return;
        }
    }
}

void delete_palette(EquationPalette *palette) {
    release_objects(palette);
    forget_palette(palette);
    void *userData = KVAEP_GetUserData(palette);
    if (userData != nullptr && KVAEQM_GetEquationPalette(userData) == palette) {
        KVAEQM_DeleteEquationPalette(userData);
    } else {
        KVAEP_DeleteEquationPalette(palette);
    }
}

// Puts the registries back as the host set them up.
void restore_registries() {
    for (int32_t id = 1; id <= kLastFuzzedValueType; ++id) {
        const ValueTypeRecord &saved = savedValueTypes[id];
        if (id <= kBuiltInValueTypes) {
            KVAV_RegisterValueType(id, saved.name, saved.getIntegerFunc, saved.setIntegerFunc,
                                   saved.getDoubleFunc, saved.setDoubleFunc, saved.getAddressFunc,
                                   saved.setAddressFunc, saved.toStringFunc, saved.fromStringFunc);
        } else if (id <= kSilentValueType) {
            register_host_value_type(id);
        }
    }
    for (int32_t id = 1; id <= kHostParameterType; ++id) {
        const ParameterTypeRecord &saved = savedParameterTypes[id];
        KVAP_RegisterParameterType(id, saved.name, saved.lvalueEnabled, saved.constructorFunc,
                                   saved.destructorFunc, saved.getValueFunc, saved.setValueFunc,
                                   saved.getStringFunc, saved.setStringFunc);
    }
    for (size_t id = 1; id < savedOperators.size(); ++id) {
        *KVAOP_GetOperator(static_cast<int32_t>(id)) = savedOperators[id];
    }
    for (size_t id = 0; id < savedTriggers.size(); ++id) {
        *KVAT_GetTrigger(static_cast<int32_t>(id)) = savedTriggers[id];
    }
}

// Takes away what the input added to the registries; identifiers are never reused, so what
// was appended stays as cleared slots.
void unregister_additions() {
    for (int32_t id = kSilentValueType + 1; id <= kLastFuzzedValueType; ++id) {
        KVAV_UnregisterValueType(id);
    }
    for (int32_t id = kHostParameterType + 1; id <= kLastFuzzedParameterType; ++id) {
        KVAP_UnregisterParameterType(id);
    }
    for (int32_t id = static_cast<int32_t>(savedOperators.size()); id < KVAOP_GetNumTypes(); ++id) {
        KVAOP_UnregisterOperator(id);
    }
    for (int32_t id = static_cast<int32_t>(savedTriggers.size()); id < KVAT_GetNumTypes(); ++id) {
        KVAT_UnregisterTrigger(id);
    }
    for (int32_t id = kFixedSubscriberTypes; id < KVAS_GetNumTypes(); ++id) {
        KVAS_UnregisterSubscriberType(id);
    }
}

// Starts the value type registry again when a simulated start-up left it without its table,
// as a host completes an incomplete start-up, and gives the host's own types back.
void complete_start_up() {
    if (KVAV_GetNumTypes() != 0) return;
    KVAV_Init();
    if (KVAV_GetNumTypes() == 0) return;  // still no memory
    register_host_value_type(kHostValueType);
    register_host_value_type(kSilentValueType);
}

void end_session() {
    fuzzhost::allocations_left() = -1;
    complete_start_up();
    restore_registries();
    while (!palettes.empty()) delete_palette(palettes.back());
    unregister_additions();
    // Every subscriber of a type that kept its destructor was destroyed exactly once.
    for (uintptr_t token : liveTokens) {
        if (unguardedTokens.count(token) == 0) fault("every subscriber destroyed");
    }
    liveTokens.clear();
    unguardedTokens.clear();
    // The library keeps the names references have borne until its last palette goes; a
    // palette made and deleted gives back what references made apart from palettes noted.
    KVAEQM_NewEquationPalette(&databaseKeys[0]);
    KVAEQM_DeleteEquationPalette(&databaseKeys[0]);
    fuzzhost::expect_no_growth();
}

void set_up() {
    if (!fuzzhost::start()) return;
    for (int32_t id = 1; id <= kBuiltInValueTypes; ++id) {
        savedValueTypes[id] = *KVAV_GetValueFactory(id);
    }
    register_host_value_type(kHostValueType);
    register_host_value_type(kSilentValueType);
    register_host_parameter_type(kHostParameterType);
    for (int32_t id = 1; id <= kHostParameterType; ++id) {
        savedParameterTypes[id] = *KVAP_GetParameterFactory(id);
    }
    KVAOP_RegisterOperator(2, "HostSum", host_sum);
    KVAOP_RegisterOperator(1, "HostMutate", host_mutate);
    KVAOP_RegisterOperator(3, "HostSum3", host_sum);
    for (int32_t id = 0; id < KVAOP_GetNumTypes(); ++id) {
        savedOperators.push_back(*KVAOP_GetOperator(id));
        if (id > 0 && std::strcmp(KVAOP_NameOfID(id), "AsciiFile") != 0) {
            operatorNames.push_back(KVAOP_NameOfID(id));
        }
    }
    KVAT_RegisterTrigger("T0");
    KVAT_RegisterTrigger("T1");
    for (int32_t id = 0; id < KVAT_GetNumTypes(); ++id)
        savedTriggers.push_back(*KVAT_GetTrigger(id));
    subscriberTypes[0] = KVAS_RegisterSubscriberType("S0", destroy, notify, interest<0>);
    subscriberTypes[1] = KVAS_RegisterSubscriberType("S1", destroy, nullptr, interest<1>);
    subscriberTypes[2] = KVAS_RegisterSubscriberType("S2", nullptr, notify, nullptr);
    KVAEQM_RegisterAppVariable("frame", "int", hostMemory[0]);
    fuzzhost::take_baseline();
}

// ---- the calls -----------------------------------------------------------------------------

void fill_host_memory(Input &in) {
    for (auto &block : hostMemory) {
        for (unsigned char &b : block) b = in.byte();
    }
}

void fill_array_buffer(Input &in) {
    const std::string text = in.text(127);
    std::memset(arrayBuffer, 0, sizeof arrayBuffer);
    std::memcpy(arrayBuffer, text.data(), text.size());
}

// What an array write copies from: a host passes text that is terminated, or the 32 or 128
// bytes of a "float4" or "float4x4", so the source is always the large terminated buffer.
void *pick_address(Input &in) { return in.small(4) == 0 ? nullptr : arrayBuffer; }

void palette_call(Input &in) {
    switch (choose(in, 8, "palette_call")) {
        case 0:
        case 1:
            if (palettes.size() < 6) {
                if (EquationPalette *made = KVAEQM_NewEquationPalette(pick_user_data(in))) {
                    palettes.push_back(made);
                }
            }
            break;
        case 2:
            if (palettes.size() < 6) {
                if (EquationPalette *made = KVAEP_NewEquationPalette(pick_user_data(in))) {
                    palettes.push_back(made);
                }
            }
            break;
        case 3:
            if (EquationPalette *palette = pick_palette(in)) delete_palette(palette);
            break;
        case 4:
            if (EquationPalette *palette = pick_palette(in)) {
                release_objects(palette);
                KVAEP_ClearPalette(palette);
            }
            break;
        case 5:
            if (EquationPalette *palette = pick_palette(in)) {
                KVAEP_SetUserData(palette, pick_user_data(in));
            }
            break;
        case 6: {
            if (!references_allowed()) break;
            void *target = pick_user_data(in);
            void *source = pick_user_data(in);
            EquationPalette *cleared = KVAEQM_GetEquationPalette(target);
            if (cleared != nullptr && target != source &&
                cleared != KVAEQM_GetEquationPalette(source)) {
                release_objects(cleared);
            }
            KVAEP_CopyEPalette(target, source);
            break;
        }
        case 7:
            if (EquationPalette *palette = pick_palette(in)) {
                switch (choose(in, 4, "palette_call")) {
                    case 0:
                        KVAEP_SetCurrentEquationIndex(palette, pick_index(in));
                        break;
                    case 1:
                        KVAEP_SetCurrentEquation(palette, pick_equation(in));
                        break;
                    case 2:
                        (void)KVAEP_GetCurrentEquation(palette);
                        break;
                    case 3: {
                        int32_t last = -1;
                        KVAEP_IterateEquations(KVAEP_GetUserData(palette), iterate, &last);
                        break;
                    }
                }
            }
            break;
    }
}

// Makes an equation the way a host builds one from its scene: named, with an operator, its
// parameter list sized to the operator, a trigger, a named result, and each parameter a
// number or a reference to another equation by name.
void build_equation(Input &in) {
    EquationPalette *into = pick_palette(in);
    if (into == nullptr) return;
    int32_t index = in.chance(2) ? -1 : pick_index(in);
    // Only a new equation is built: it holds nothing but literals, so nothing below evaluates
    // or calls back, and the handle stays good. (A live one may hold references, whose reads
    // run callbacks that can delete the palette.)
    if (KVAEP_GetEquation(into, index) != nullptr) return;
    Equation *equation = KVAEP_NewEquation(into, &index);
    if (equation == nullptr) return;
    KVAEQ_SetName(equation, pick(in, kEquationNames).c_str());
    KVAEQ_SetOperatorName(equation, pick_operator_name(in).c_str());
    KVAEQ_SetNumParameters(equation, KVAOP_GetNumParameters(KVAEQ_GetOperatorID(equation)));
    KVAEQ_SetTriggerName(equation, in.chance(4) ? pick(in, kTriggerNames).c_str() : "New Frame");
    KVAP_SetVariableName(KVAEQ_GetVariable(equation), pick(in, kVariableNames).c_str());
    for (int32_t position = 0; position < KVAEQ_GetNumParameters(equation); ++position) {
        Parameter *old = KVAEQ_GetParameterN(equation, position);
        if (in.chance(3) && references_allowed()) {
            if (Parameter *reference =
                    KVAEQ_NewParameterN(equation, position, ZTEQM_PARAMETER_EQUATION)) {
                KVAP_SetString(reference, pick(in, kEquationNames).c_str(), 0);
            }
            KVAP_Delete(old);
        } else {
            KVAP_SetDouble(old, static_cast<double>(static_cast<int8_t>(in.byte())) / 4);
        }
    }
}

void equation_call(Input &in) {
    EquationPalette *palette = nullptr;
    switch (choose(in, 12, "equation_call")) {
        case 0:
            if (EquationPalette *into = pick_palette(in)) {
                int32_t index = in.chance(2) ? -1 : pick_index(in);
                (void)KVAEP_NewEquation(into, &index);
            }
            break;
        case 1:
        case 10:
        case 11:
            build_equation(in);
            break;
        case 2:
            if (Equation *equation = pick_equation(in, &palette)) {
                KVAEP_DeleteEquation(palette, equation);
            }
            break;
        case 3:
            if (!references_allowed()) break;
            if (Equation *equation = pick_equation(in, &palette)) {
                (void)KVAEP_CopyEquation(palette, equation, pick_index(in));
            }
            break;
        case 4: {
            if (!references_allowed()) break;
            Equation *source = pick_equation(in);
            Equation *target = pick_equation(in, &palette);
            // Both handles are taken before the copy, which moves no slot.
            KVAEP_CopyEqToEq(palette, source, target);
            break;
        }
        case 5:
            if (!references_allowed()) break;
            if (Equation *equation = pick_equation(in, &palette)) {
                (void)KVAEP_MoveEquation(palette, equation, pick_index(in));
            }
            break;
        case 6:
            if (!references_allowed()) break;
            if (Equation *equation = pick_equation(in, &palette)) {
                if (in.chance(2)) {
                    (void)KVAEP_MoveEquationUpOne(palette, equation);
                } else {
                    (void)KVAEP_MoveEquationDownOne(palette, equation);
                }
            }
            break;
        case 7:
            if (Equation *equation = pick_equation(in)) {
                switch (choose(in, 5, "equation_call")) {
                    case 0:
                        KVAEQ_SetName(equation, pick(in, kEquationNames).c_str());
                        break;
                    case 1:
                        KVAEQ_SetOperatorName(equation, pick_operator_name(in).c_str());
                        if (in.chance(2)) {
                            const int32_t id = KVAEQ_GetOperatorID(equation);
                            KVAEQ_SetNumParameters(equation, KVAOP_GetNumParameters(id));
                        }
                        break;
                    case 2: {
                        const int32_t id = in.small(KVAOP_GetNumTypes() + 3) - 1;
                        if (id != KVAOP_IDOfName("AsciiFile")) KVAEQ_SetOperatorID(equation, id);
                        break;
                    }
                    case 3:
                        KVAEQ_SetTriggerName(equation, pick(in, kTriggerNames).c_str());
                        break;
                    case 4:
                        KVAEQ_SetCurrentParameterIndex(equation, in.small(10) - 1);
                        (void)KVAEQ_GetCurrentParameter(equation);
                        break;
                }
            }
            break;
        case 8:
            if (Equation *equation = pick_equation(in, &palette)) {
                KVAEP_SetLVariableTypeName(palette, equation,
                                           pick(in, kParameterTypeNames).c_str());
            }
            break;
        case 9:
            if (Equation *equation = pick_equation(in))
                KVAEQ_SetNumParameters(equation, in.small(7));
            break;
    }
}

// Replaces a parameter of a live equation, releasing the one it replaces.
void replace_parameter(Input &in) {
    Equation *equation = pick_equation(in);
    if (equation == nullptr) return;
    const int32_t position = in.small(KVAEQ_GetNumParameters(equation) + 1);
    Parameter *old = KVAEQ_GetParameterN(equation, position);
    const bool valid = position < KVAEQ_GetNumParameters(equation);
    switch (choose(in, 3, "replace_parameter")) {
        case 0: {
            const int32_t type = in.small(kLastFuzzedParameterType + 3) - 1;
            if (type == 6 && !references_allowed()) return;
            (void)KVAEQ_NewParameterN(equation, position, type);
            break;
        }
        case 1: {
            Parameter *source = pick_parameter(in);
            if (KVAP_GetTypeID(source) == 6 && !references_allowed()) return;
            // The copy is made before the equation is taken again: copying runs no callback.
            Parameter *copy = KVAP_CopyParameter(source);
            if (valid) {
                KVAEQ_SetParameterN(equation, position, copy);
            } else {
                KVAP_Delete(copy);
            }
            break;
        }
        case 2:
            KVAEQ_SetParameterN(equation, position, nullptr);
            break;
    }
    if (valid) KVAP_Delete(old);
}

// The read-only functions agree with the records they read.
void check_getters(Input &in) {
    EquationPalette *palette = nullptr;
    Equation *equation = pick_equation(in, &palette);
    if (equation == nullptr) return;
    if (KVAEQ_GetIndex(equation) != equation->index ||
        KVAEQ_GetOperatorName(equation) != equation->operatorName ||
        KVAEQ_GetTriggerName(equation) != equation->triggerName ||
        KVAEQ_GetParameterList(equation) != equation->parameters ||
        KVAEQ_GetCurrentParameterIndex(equation) != equation->currentParameterIndex ||
        KVAEQ_GetNumSubscribers(equation) != equation->numSubscribers ||
        KVAEQ_GetSubscriberList(equation) != equation->subscribers ||
        KVAEP_GetCurrentEquationIndex(palette) != palette->currentIndex) {
        fault("the getters read their records");
    }
    for (int32_t position = 0; position < equation->numSubscribers; ++position) {
        Subscriber *subscriber = KVAEQ_GetSubscriberN(equation, position);
        if (subscriber == nullptr) continue;
        const int32_t type = KVAS_GetTypeID(subscriber);
        (void)KVAS_GetSubscriberTypeNotifyFunc(type);
        (void)KVAS_GetSubscriberTypeInterestFunc(type);
        const char *name = KVAS_NameOfID(type);
        if (name != nullptr && name[0] != '\0') {
            const int32_t found = KVAS_IDOfName(name);  // the first of that name
            if (found < 0 || found > type) fault("a subscriber type found by its name");
        }
    }
    Parameter *parameter = KVAEQ_GetParameterN(equation, in.small(4));
    if (parameter == nullptr) return;
    const int32_t type = KVAP_GetTypeID(parameter);
    const ParameterTypeRecord *record = KVAP_GetParameterFactory(type);
    if (record != nullptr &&
        (KVAP_GetParameterTypeConstructorFunc(type) != record->constructorFunc ||
         KVAP_GetParameterTypeGetValueFunc(type) != record->getValueFunc ||
         KVAP_GetParameterTypeLValueEnabled(type) != record->lvalueEnabled)) {
        fault("the parameter type getters read their record");
    }
    if (type != 6) {
        const char *valueType = KVAP_GetDataTypeName(parameter);
        if (valueType != nullptr && !terminated(valueType, ZTEQM_NAME_SIZE))
            fault("value type name");
    }
}

// The value of a literal or a variable (reading it evaluates nothing) taken through type
// changes, to unknown and host types among others, size changes and text conversions.
void value_call(Input &in) {
    Parameter *parameter = pick_parameter(in);
    if (parameter == nullptr || parameter->typeId == 6) return;
    Value *value = KVAP_GetValue(parameter);
    if (value == nullptr) return;
    switch (choose(in, 5, "value_call")) {
        case 0:
            KVAV_SetTypeName(value, pick(in, kValueTypeNames).c_str());
            break;
        case 1:
            KVAV_SetTypeID(value, in.small(kLastFuzzedValueType + 3) - 1);
            break;
        case 2:
            // An address of the host's own, which no type change may take for a block. (A
            // block type would copy from it: 16 bytes hold no text or vector of its size.)
            if (value->typeId < 7 || value->typeId > 9) {
                KVAV_SetAddress(value, hostMemory[in.small(4)]);
            }
            break;
        case 3:
            // Resizing is for blocks: the fuzzed host types keep their data inline, so the host
            // leaves them alone. Every other value either has a block replaced or owns none.
            if (value->typeId < 10 || KVAV_GetValueFactory(value->typeId) == nullptr ||
                KVAV_GetValueFactory(value->typeId)->typeId == 0) {
                KVAV_SetSize(value, in.small(200));
            }
            break;
        case 4: {
            char buffer[48];
            std::memset(buffer, 'x', sizeof buffer);
            const int32_t size = 1 + in.small(static_cast<int32_t>(sizeof buffer));
            KVAV_ToString(value, buffer, size);
            if (std::memchr(buffer, '\0', static_cast<size_t>(size)) == nullptr) {
                fault("text conversion leaves a terminated buffer");
            }
            break;
        }
    }
}

void parameter_call(Input &in) {
    switch (choose(in, 15, "parameter_call")) {
        case 0:
            replace_parameter(in);
            break;
        case 1: {
            Parameter *parameter = pick_parameter(in);
            const int32_t asValue = in.small(2);
            if (KVAP_GetTypeID(parameter) == 6 && asValue == 0 && !references_allowed()) break;
            KVAP_SetString(parameter, pick(in, kEquationNames, 120).c_str(), asValue);
            break;
        }
        case 2: {
            char *text = nullptr;
            KVAP_GetString(pick_parameter(in), &text, in.small(2));
            if (text != nullptr && std::strlen(text) >= ZTEQM_LONG_NAME_SIZE) fault();
            break;
        }
        case 3:
            if (in.chance(2)) {
                KVAP_SetDataTypeName(pick_parameter(in), pick(in, kValueTypeNames).c_str());
            } else {
                KVAP_SetDataTypeID(pick_parameter(in), in.small(kLastFuzzedValueType + 3) - 1);
            }
            break;
        case 4: {
            Parameter *parameter = pick_parameter(in);
            switch (choose(in, 3, "parameter_call")) {
                case 0:
                    KVAP_SetInteger(parameter, in.integer());
                    break;
                case 1:
                    KVAP_SetDouble(parameter, in.number());
                    break;
                case 2:
                    fill_array_buffer(in);
                    KVAP_SetAddress(parameter, pick_address(in));
                    break;
            }
            break;
        }
        case 5: {
            // One read per call: a read evaluates, and a callback may release the parameter.
            Parameter *parameter = pick_parameter(in);
            switch (in.small(4)) {
                case 0:
                    (void)KVAP_GetInteger(parameter);
                    break;
                case 1:
                    (void)KVAP_GetDouble(parameter);
                    break;
                case 2:
                    (void)KVAP_GetAddress(parameter);
                    break;
                case 3:
                    (void)KVAP_GetDataTypeID(parameter);
                    break;
            }
            break;
        }
        case 6: {
            Parameter *parameter = pick_parameter(in);
            switch (choose(in, 5, "parameter_call")) {
                case 0:
                    if (references_allowed()) {
                        KVAP_SetEquationReferenceName(parameter, pick(in, kEquationNames).c_str());
                    }
                    break;
                case 1:
                    KVAP_FixEquationReference(parameter);
                    break;
                case 2:
                    // A handle taken now; it goes stale when its slot array moves.
                    KVAP_SetEquationReference(parameter,
                                              in.chance(3) ? nullptr : pick_equation(in));
                    break;
                case 3:
                    (void)KVAP_CheckRecursion(pick_equation(in), parameter);
                    break;
                case 4:
                    (void)KVAP_GetEquationReferenceName(parameter);
                    break;
            }
            break;
        }
        case 7: {
            bool isResult = false;
            Variable *variable = pick_variable(in, &isResult);
            switch (choose(in, 8, "parameter_call")) {
                case 0:
                    KVAP_SetVariableName(variable, pick(in, kVariableNames, 255).c_str());
                    break;
                case 1:
                    fill_host_memory(in);
                    KVAP_SetVariableAddress(variable,
                                            in.chance(3) ? nullptr : hostMemory[in.small(4)]);
                    break;
                case 2:
                    KVAP_SetVariableGetFunc(variable, in.chance(3) ? nullptr : refresh);
                    KVAP_SetVariableUserData(variable,
                                             reinterpret_cast<void *>(uintptr_t{in.byte()}));
                    break;
                case 3:
                    KVAP_SetVariableDefaults(variable);
                    break;
                case 4: {
                    const int32_t id = in.small(kLastFuzzedParameterType + 3) - 1;
                    if (may_relabel(isResult, id)) KVAP_SetVariableType(variable, id);
                    break;
                }
                case 5: {
                    const std::string name = pick(in, kParameterTypeNames);
                    if (may_relabel(isResult, KVAP_IDOfName(name.c_str()))) {
                        KVAP_SetVariableTypeName(variable, name.c_str());
                    }
                    break;
                }
                case 6:
                    KVAP_SetEnabled(as_parameter(variable), in.small(3));
                    break;
                case 7:
                    if (Value *value = KVAP_GetVariableValue(variable)) {
                        if (value->typeId >= 7 && value->typeId <= 9)
                            KVAV_SetSize(value, in.small(200));
                    }
                    break;
            }
            break;
        }
        case 8: {
            bool isResult = false;
            Parameter *parameter = pick_parameter(in, &isResult);
            if (in.chance(2)) {
                const std::string name = pick(in, kParameterTypeNames);
                if (may_relabel(isResult, KVAP_IDOfName(name.c_str()))) {
                    KVAP_SetTypeName(parameter, name.c_str());
                }
            } else {
                const int32_t id = in.small(kLastFuzzedParameterType + 3) - 1;
                if (may_relabel(isResult, relabelled_id(id))) KVAP_SetTypeID(parameter, id);
            }
            break;
        }
        case 9: {
            // Parameters made apart from any equation, released at once.
            const int32_t type = in.small(kLastFuzzedParameterType + 3) - 1;
            Parameter *made = KVAP_New(type);
            if (made != nullptr && in.chance(2)) KVAP_SetString(made, in.text(60).c_str(), 1);
            Parameter *copy = KVAP_CopyParameter(made);
            KVAP_Delete(copy);
            KVAP_Delete(made);
            break;
        }
        case 10:
            if (Equation *equation = pick_equation(in)) {
                Value *value = KVAP_GetVariableValue(KVAEQ_GetVariable(equation));
                fill_host_memory(in);
                KVAV_GetDataFromAddress(value, hostMemory[in.small(4)]);
            }
            break;
        case 11:
            (void)KVAP_CheckRecursion(pick_equation(in), pick_parameter(in));
            break;
        case 12: {
            // A type's set-value function, called as a host may call it through the registry,
            // with the value of a literal or a variable (reading those evaluates nothing).
            Parameter *target = pick_parameter(in);
            Parameter *source = pick_parameter(in);
            if (target == nullptr || source == nullptr || source->typeId == 6) break;
            ParameterSetValueFunc setValue = KVAP_GetParameterTypeSetValueFunc(target->typeId);
            Value *value = KVAP_GetValue(source);
            if (setValue != nullptr && value != nullptr) setValue(target, value);
            break;
        }
        case 13:
            check_getters(in);
            break;
        case 14:
            value_call(in);
            break;
    }
}

void subscriber_call(Input &in) {
    EquationPalette *palette = nullptr;
    switch (choose(in, 5, "subscriber_call")) {
        case 0:
            if (Equation *equation = pick_equation(in)) {
                subscribe(equation, subscriberTypes[in.small(kFixedSubscriberTypes)], in.chance(2));
            }
            break;
        case 1:
            KVAEQ_UnregisterAllSubscribers(pick_equation(in));
            break;
        case 2:
            if (Equation *equation = pick_equation(in, &palette)) {
                KVAEP_ReinitializeSubscriberList(palette, equation);
            }
            break;
        case 3:
            KVAEQM_RefreshAllSubscribers();
            break;
        case 4:
            if (KVAS_GetNumTypes() < kRegistrationCap) {
                KVAS_RegisterSubscriberType(in.text(100).c_str(), in.chance(2) ? destroy : nullptr,
                                            notify, extra_interest);
            } else {
                KVAS_UnregisterSubscriberType(KVAS_GetNumTypes() - 1);
            }
            break;
    }
}

void registry_call(Input &in) {
    switch (choose(in, 12, "registry_call")) {
        case 0:
            if (KVAT_GetNumTypes() < kRegistrationCap) KVAT_RegisterTrigger(in.text(120).c_str());
            break;
        case 1:
            KVAT_UnregisterTrigger(in.small(KVAT_GetNumTypes() + 2) - 1);
            break;
        case 2:
            KVAT_EnableByName(pick(in, kTriggerNames).c_str(), in.small(3));
            (void)KVAT_IsEnabledByID(in.small(KVAT_GetNumTypes() + 2) - 1);
            break;
        case 3:
            if (KVAOP_GetNumTypes() < kRegistrationCap) {
                KVAOP_RegisterOperator(in.small(5), in.text(120).c_str(),
                                       in.chance(2) ? host_sum : host_mutate);
            }
            break;
        case 4: {
            const int32_t id = in.small(KVAOP_GetNumTypes() + 2) - 1;
            KVAOP_UnregisterOperator(id);
            break;
        }
        case 5: {
            const int32_t id = kSilentValueType - 1 + in.small(4);  // 10 .. 13
            if (in.chance(2)) {
                register_host_value_type(id);
            } else {
                KVAV_UnregisterValueType(id);
            }
            break;
        }
        case 6:
            KVAV_UnregisterValueType(1 + in.small(kBuiltInValueTypes));
            break;
        case 7:
            register_host_parameter_type(kHostParameterType + 1 + in.small(2));  // 9 or 10
            break;
        case 8: {
            // Any type but "Literal" and "Equation", which the library's own objects need.
            static constexpr int32_t kUnregistrable[] = {2, 3, 4, 5, 7, 8, 9, 10};
            const int32_t id = kUnregistrable[in.small(8)];
            if (!parameters_of_type_held(id)) KVAP_UnregisterParameterType(id);
            break;
        }
        case 9: {
            if (KVAEQM_GetNumAppVariables() < kRegistrationCap) {
                KVAEQM_RegisterAppVariable(in.text(255).c_str(), pick(in, kValueTypeNames).c_str(),
                                           hostMemory[in.small(4)]);
            }
            const char *name = nullptr;
            const char *type = nullptr;
            void *address = nullptr;
            KVAEQM_GetAppVariableN(&name, &type, &address,
                                   in.small(KVAEQM_GetNumAppVariables() + 2) - 1);
            KVAEQM_GetAppVariableByName(pick(in, kVariableNames).c_str(), &type, &address);
            break;
        }
        case 10: {
            // The value types' start as it goes when its table cannot be allocated: the calls
            // that follow meet a library without value types until start-up is completed.
            const long left = fuzzhost::allocations_left();
            KVAV_Exit();
            fuzzhost::allocations_left() = 0;
            KVAV_Init();
            fuzzhost::allocations_left() = left;
            if (KVAV_GetNumTypes() != 0) fault("a failed start leaves the count at 0");
            break;
        }
        case 11:
            complete_start_up();
            break;
    }
}

void by_name_call(Input &in) {
    void *database = pick_user_data(in);
    const std::string name = pick(in, kVariableNames);
    switch (choose(in, 8, "by_name_call")) {
        case 0:
            (void)KVAEQM_GetValueInt(database, name.c_str());
            break;
        case 1:
            (void)KVAEQM_GetValueDouble(database, name.c_str());
            break;
        case 2:
            (void)KVAEQM_GetValueArray(database, name.c_str());
            break;
        case 3:
            KVAEQM_SetValueInt(database, name.c_str(), in.integer());
            break;
        case 4:
            KVAEQM_SetValueDouble(database, name.c_str(), in.number());
            break;
        case 5:
            fill_array_buffer(in);
            KVAEQM_SetValueArray(database, name.c_str(), pick_address(in));
            break;
        case 6:
            (void)KVAEQM_GetAddress(database, name.c_str());
            break;
        case 7:
            fill_host_memory(in);
            KVAEQM_SetAddress(database, name.c_str(),
                              in.chance(3) ? nullptr : hostMemory[in.small(4)]);
            break;
    }
}

void evaluation_call(Input &in) {
    switch (choose(in, 4, "evaluation_call")) {
        case 0:
            KVAEQM_Evaluate(in.small(KVAT_GetNumTypes() + 2) - 1);
            break;
        case 1:
            KVAEQM_EvaluateTriggerName(pick(in, kTriggerNames).c_str());
            break;
        case 2:
            (void)KVAEQM_FindEquationByName(pick(in, kEquationNames).c_str());
            break;
        case 3:
            if (EquationPalette *palette = pick_palette(in)) {
                (void)KVAEP_FindEquationByName(palette, pick(in, kEquationNames).c_str());
            }
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    set_up();
    Input in{data, size};
    current = &in;
    callbackBudget = 12;
    for (int32_t step = 0; step < 256 && !in.empty(); ++step) {
        switch (choose(in, 16, "step")) {
            case 0:
            case 1:
                palette_call(in);
                break;
            case 2:
            case 3:
            case 4:
            case 5:
                equation_call(in);
                break;
            case 6:
            case 7:
            case 8:
                parameter_call(in);
                break;
            case 9:
                subscriber_call(in);
                break;
            case 10:
                registry_call(in);
                break;
            case 11:
                by_name_call(in);
                break;
            case 12:
            case 13:
                evaluation_call(in);
                break;
            case 14:
                // From here on the allocator refuses after a few more blocks, or no longer.
                fuzzhost::allocations_left() = in.chance(2) ? -1 : in.small(64);
                break;
            case 15:
                check_registries();
                break;
        }
        check_everything();
    }
    current = nullptr;
    end_session();
    return 0;
}
