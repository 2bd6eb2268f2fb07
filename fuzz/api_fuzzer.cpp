// Fuzzes the library as a host drives it: the input is decoded into a sequence of actions that
// make, edit, copy, move and delete equations and palettes, register and unregister the host's
// triggers, operators and types, evaluate, and read and write values by name. The host's
// callbacks may call back into the library. After every action the palettes are checked: walks
// visit live equations in index order, the equation count covers every live slot, every name
// field is terminated and every object an equation holds is a live block of the host's
// allocator; in the checking builds the library's own invariant checks run as well. Each input
// ends as a host ends its session (releasing what it owns under the library's ownership rules)
// and must leave no block behind.
//
// Each step takes one byte to choose an action from a table; the action reads its arguments
// from the bytes that follow. Actions are only ever appended to the tables, so that the inputs
// of the seed corpus keep their meaning.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz_host.h"
#if defined(ZTEQM_CHECK_INVARIANTS)
#include "internal/invariants.h"
#endif

namespace {

using fuzzhost::fault;
using fuzzhost::Input;
using fuzzhost::is_live;

// ---- what the host set up once, and restores after every input ----------------------------

constexpr int32_t kDatabases = 4;
int databaseKeys[kDatabases];

constexpr int32_t kLiteral = ZTEQM_PARAMETER_LITERAL;
constexpr int32_t kReference = ZTEQM_PARAMETER_EQUATION;
constexpr int32_t kBuiltInValueTypes = 9;
constexpr int32_t kHostValueType = 10;        // inline integer, registered at start-up
constexpr int32_t kSilentValueType = 11;      // no callbacks at all
constexpr int32_t kLastFuzzedValueType = 13;  // identifiers 12 and 13 come and go
constexpr int32_t kHostParameterType = 8;
constexpr int32_t kLastFuzzedParameterType = 10;
constexpr int32_t kFixedSubscriberTypes = 3;
constexpr int32_t kRegistrationCap = 200;  // appended triggers, operators, types, app variables
constexpr int32_t kReferenceCap = 8;
constexpr size_t kPaletteCap = 6;

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

// ---- reading arguments: each reader takes what it needs off the input --------------------

template <const auto &Pool, size_t Limit = 200>
std::string pick_name(Input &in) {
    const int32_t choice = in.small(static_cast<int32_t>(std::size(Pool)) + 2);
    if (choice < static_cast<int32_t>(std::size(Pool))) return Pool[choice];
    return in.text(Limit);
}

std::string pick_operator_name(Input &in) {
    const int32_t choice = in.small(static_cast<int32_t>(operatorNames.size()) + 1);
    if (choice < static_cast<int32_t>(operatorNames.size())) return operatorNames[choice];
    std::string name = in.text(100);
    return name == "AsciiFile" ? "Move Value" : name;
}

template <int32_t Bound>
int32_t pick_small(Input &in) {
    return in.small(Bound);
}
template <int32_t OneIn>
bool pick_chance(Input &in) {
    return in.chance(OneIn);
}
int32_t pick_integer(Input &in) { return in.integer(); }
double pick_number(Input &in) { return in.number(); }

// An identifier in -1 .. count: the valid ones of a registry and an unknown one on each side.
int32_t pick_id(Input &in, int32_t count) { return in.small(count + 2) - 1; }
int32_t pick_parameter_type(Input &in) { return pick_id(in, kLastFuzzedParameterType + 1); }
int32_t pick_value_type(Input &in) { return pick_id(in, kLastFuzzedValueType + 1); }
int32_t pick_trigger_id(Input &in) { return pick_id(in, KVAT_GetNumTypes()); }
int32_t pick_operator_id(Input &in) { return pick_id(in, KVAOP_GetNumTypes()); }

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

// The index a new equation asks for: the first free slot, or any.
int32_t pick_new_index(Input &in) { return in.chance(2) ? -1 : pick_index(in); }

Equation *pick_equation_in(Input &in, EquationPalette **from) {
    EquationPalette *palette = pick_palette(in);
    if (from != nullptr) *from = palette;
    return palette != nullptr ? KVAEP_GetEquation(palette, pick_index(in)) : nullptr;
}
Equation *pick_equation(Input &in) { return pick_equation_in(in, nullptr); }
Equation *pick_equation_or_null(Input &in) { return in.chance(3) ? nullptr : pick_equation(in); }

Parameter *as_parameter(Variable *variable) { return reinterpret_cast<Parameter *>(variable); }

// A parameter of a live equation, or its result variable.
Parameter *pick_parameter_of(Input &in, bool *isResult) {
    Equation *equation = pick_equation(in);
    if (equation == nullptr) return nullptr;
    const int32_t position = in.small(10);
    if (isResult != nullptr) *isResult = position >= 8;
    if (position >= 8) return as_parameter(KVAEQ_GetVariable(equation));
    return KVAEQ_GetParameterN(equation, position);
}
Parameter *pick_parameter(Input &in) { return pick_parameter_of(in, nullptr); }

Variable *pick_variable_of(Input &in, bool *isResult) {
    Parameter *parameter = pick_parameter_of(in, isResult);
    if (parameter == nullptr || parameter->typeId == kLiteral || parameter->typeId == kReference)
        return nullptr;
    return reinterpret_cast<Variable *>(parameter);
}
Variable *pick_variable(Input &in) { return pick_variable_of(in, nullptr); }
Parameter *pick_variable_parameter(Input &in) { return as_parameter(pick_variable(in)); }

bool holds_block(int32_t valueType) {
    return valueType >= ZTEQM_VALUE_FLOAT4 && valueType <= ZTEQM_VALUE_STRING;
}

// The value of a literal or a variable: reading it evaluates nothing.
Value *pick_value(Input &in) {
    Parameter *parameter = pick_parameter(in);
    if (parameter == nullptr || parameter->typeId == kReference) return nullptr;
    return KVAP_GetValue(parameter);
}

void *pick_host_block(Input &in) { return hostMemory[in.small(4)]; }

// Host memory filled from the input, and one of its blocks (or null).
void *pick_filled_block(Input &in) {
    for (auto &block : hostMemory) {
        for (unsigned char &b : block) b = in.byte();
    }
    return pick_host_block(in);
}
void *pick_filled_block_or_null(Input &in) {
    for (auto &block : hostMemory) {
        for (unsigned char &b : block) b = in.byte();
    }
    return in.chance(3) ? nullptr : pick_host_block(in);
}

// What an array write copies from: a host passes text that is terminated, or the 32 or 128
// bytes of a "float4" or "float4x4", so the source is always the large terminated buffer.
void *fill_array_buffer(Input &in) {
    const std::string text = in.text(127);
    std::memset(arrayBuffer, 0, sizeof arrayBuffer);
    std::memcpy(arrayBuffer, text.data(), text.size());
    return in.small(4) == 0 ? nullptr : arrayBuffer;
}

// ---- actions spelled as a call and the readers of its arguments ----------------------------

template <typename T>
T pass(T argument) {
    return argument;
}
const char *pass(const std::string &text) { return text.c_str(); }

template <auto F, typename Arguments>
void apply(Arguments &arguments) {
    std::apply([](auto &...argument) { (void)F(pass(argument)...); }, arguments);
}

// Calls F with what its readers take off the input, read from left to right.
template <auto F, auto... Read>
void call(Input &in) {
    std::tuple arguments{Read(in)...};
    apply<F>(arguments);
}

// The same, when the first reader picks an object: nothing is read further when it picks none.
template <auto F, auto First, auto... Read>
void on(Input &in) {
    if (auto first = First(in)) {
        std::tuple arguments{first, Read(in)...};
        apply<F>(arguments);
    }
}

// The same for a live equation, passed with its palette.
template <auto F, auto... Read>
void on_slot(Input &in) {
    EquationPalette *palette = nullptr;
    if (Equation *equation = pick_equation_in(in, &palette)) {
        std::tuple arguments{palette, equation, Read(in)...};
        apply<F>(arguments);
    }
}

// ---- what the palettes hold ----------------------------------------------------------------

// Parameters of a type held anywhere. Deleting a parameter whose type has no destructor releases
// nothing, by design, so the library's own deletions (resizing a list, copying over an equation,
// reusing a slot) would lose it: the host unregisters a parameter type only while none of its
// parameters is held. Reading an "Equation" parameter evaluates the equation it names, so a web
// of many would make each evaluation exponential in its depth: their number is capped.
int32_t count_held(int32_t typeId) {
    int32_t count = 0;
    for (EquationPalette *palette : palettes) {
        for (int32_t index = 0; index < palette->capacity; ++index) {
            const Equation &slot = palette->slots[index];
            for (int32_t position = 0; position < slot.numParameters; ++position) {
                const Parameter *parameter = slot.parameters[position];
                if (parameter != nullptr && parameter->typeId == typeId) ++count;
            }
        }
    }
    return count;
}
bool references_allowed() { return count_held(kReference) < kReferenceCap; }

// A type without destructor goes only to result variables, which the host frees itself.
bool may_relabel(bool isResult, int32_t typeId) {
    return isResult || KVAP_GetParameterTypeDestructorFunc(typeId) != nullptr;
}

// The identifier KVAP_SetTypeID ends with: the first one registered under the name of `typeId`.
int32_t relabelled_id(int32_t typeId) {
    const char *name = KVAP_NameOfID(typeId);
    return name != nullptr ? KVAP_IDOfName(name) : typeId;
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

// ---- action tables -------------------------------------------------------------------------

struct Action {
    const char *name;
    int32_t weight;  // how many of the choosing byte's values lead to it
    void (*run)(Input &);
};

template <size_t N>
constexpr int32_t total_weight(const Action (&table)[N]) {
    int32_t total = 0;
    for (const Action &action : table) total += action.weight;
    return total;
}

// With ZTEQM_FUZZ_TRACE set, every action and callback choice is printed: enough to replay a
// finding.
template <size_t N>
const Action &choose(Input &in, const Action (&table)[N], const char *what) {
    static const bool tracing = std::getenv("ZTEQM_FUZZ_TRACE") != nullptr;
    int32_t left = in.small(total_weight(table));
    const Action *action = table;
    while (left >= action->weight) left -= (action++)->weight;
    if (tracing) std::fprintf(stderr, "%s: %s\n", what, action->name);
    return *action;
}

// ---- the host's callbacks ------------------------------------------------------------------

void callback_action();

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

int32_t iterate(void *, Equation *equation, void *context) {
    auto *last = static_cast<int32_t *>(context);
    if (equation == nullptr || equation->inUse == 0 || equation->index <= *last) fault();
    *last = equation->index;
    return current == nullptr || !current->chance(8);
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

// A host releases with a variable its value's block, if its value type keeps one.
void host_delete(Parameter *parameter) {
    Value &value = reinterpret_cast<Variable *>(parameter)->value;
    if (holds_block(value.typeId) && value.data.p != nullptr) KVAMEM_Free(value.data.p);
    KVAMEM_Free(parameter);
}

Value *host_value(Parameter *parameter) { return &reinterpret_cast<Variable *>(parameter)->value; }

void host_set_value(Parameter *parameter, Value *value) {
    if (value == nullptr || holds_block(value->typeId)) return;
    Value &own = reinterpret_cast<Variable *>(parameter)->value;
    if (!holds_block(own.typeId)) own = *value;
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
    for (auto kept = palettes.begin(); kept != palettes.end(); ++kept) {
        if (*kept == palette) {
            palettes.erase(kept);
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

// Starts the value type registry again when a simulated start-up left it without its table,
// as a host completes an incomplete start-up, and gives the host's own types back.
void complete_start_up() {
    if (KVAV_GetNumTypes() != 0) return;
    KVAV_Init();
    if (KVAV_GetNumTypes() == 0) return;  // still no memory
    register_host_value_type(kHostValueType);
    register_host_value_type(kSilentValueType);
}

// ---- what a callback does: usually nothing; sometimes a call that grows a table or a slot
// array, runs equations again, or deletes and clears, perhaps the very equation or palette that
// is being evaluated: the library releases what the slots held, once nothing uses it. ---------

void subscribe_fixed(Equation *equation, int32_t type, bool ownNotify) {
    subscribe(equation, subscriberTypes[type], ownNotify);
}

void read_by_name(int32_t kind, void *database, const char *name) {
    if (kind == 0) (void)KVAEQM_GetValueDouble(database, name);
    if (kind == 1) (void)KVAEQM_GetValueInt(database, name);
    if (kind == 2) (void)KVAEQM_GetValueArray(database, name);
}

template <auto V>
auto constant(Input &) {
    return V;
}

constexpr Action kCallbackActions[] = {
    {"new equation", 1,
     [](Input &in) {
         EquationPalette *palette = pick_palette(in);
         int32_t index = -1;
         Equation *made = palette != nullptr ? KVAEP_NewEquation(palette, &index) : nullptr;
         if (made != nullptr) KVAEQ_SetTriggerName(made, in.chance(2) ? "New Frame" : "T0");
     }},
    {"evaluate trigger", 1, call<KVAEQM_EvaluateTriggerName, pick_name<kTriggerNames>>},
    {"register trigger", 1,
     [](Input &) {
         if (KVAT_GetNumTypes() < kRegistrationCap) KVAT_RegisterTrigger("Late");
     }},
    // Reads by name whose own callbacks may delete, clear or rebuild palettes.
    {"read by name", 1,
     call<read_by_name, pick_small<3>, pick_user_data, pick_name<kVariableNames>>},
    {"refresh subscribers", 1, call<KVAEQM_RefreshAllSubscribers>},
    {"subscribe", 1,
     on<subscribe_fixed, pick_equation, pick_small<kFixedSubscriberTypes>, constant<true>>},
    {"delete palette", 1,
     on<[](EquationPalette *palette) {
         forget_palette(palette);
         KVAEP_DeleteEquationPalette(palette);
     },
        pick_palette>},
    {"delete equation", 1, on_slot<KVAEP_DeleteEquation>},
    {"clear palette", 1, on<KVAEP_ClearPalette, pick_palette>},
    // Cleared, then filled again, so that new objects may take the addresses of those just
    // released.
    {"rebuild palette", 1,
     [](Input &in) {
         EquationPalette *palette = pick_palette(in);
         if (palette == nullptr) return;
         KVAEP_ClearPalette(palette);
         for (int32_t made = in.small(4); made > 0; --made) {
             int32_t index = -1;
             if (Equation *equation = KVAEP_NewEquation(palette, &index)) {
                 KVAEQ_SetName(equation, pick_name<kEquationNames>(in).c_str());
                 KVAP_SetVariableName(KVAEQ_GetVariable(equation),
                                      pick_name<kVariableNames>(in).c_str());
             }
         }
     }},
    // The parameter list of an equation that is running, or of any.
    {"resize parameter list", 2,
     [](Input &in) {
         if (Equation *equation =
                 !running.empty() && in.chance(2)
                     ? equation_of(running[in.small(static_cast<int32_t>(running.size()))])
                     : pick_equation(in)) {
             KVAEQ_SetNumParameters(equation, in.small(6));
         }
     }},
    // A slot deleted and made again under the references that point at it.
    {"remake slot", 1,
     on<[](EquationPalette *palette, int32_t index) {
         if (Equation *equation = KVAEP_GetEquation(palette, index)) {
             KVAEP_DeleteEquation(palette, equation);
             (void)KVAEP_NewEquation(palette, &index);
         }
     },
        pick_palette, pick_index>},
    {"nothing", 7, nullptr},
};

static_assert(total_weight(kCallbackActions) == 20);

void callback_action() {
    if (current == nullptr || callbackBudget <= 0 || callbackDepth > 4) return;
    const Action &action = choose(*current, kCallbackActions, "callback");
    if (action.run == nullptr) return;
    --callbackBudget;
    ++callbackDepth;
    action.run(*current);
    --callbackDepth;
}

// ---- invariants ----------------------------------------------------------------------------

bool terminated(const char *field, size_t width) { return std::memchr(field, '\0', width); }

void check_value(const Value &value) {
    if (!terminated(value.typeName, sizeof value.typeName)) fault();
    if (holds_block(value.typeId) &&
        (value.size < 0 || (value.data.p != nullptr && !is_live(value.data.p)) ||
         (value.data.p == nullptr && value.size != 0))) {
        fault("a value's block");
    }
}

void check_parameter(Parameter *parameter) {
    if (!is_live(parameter) || !terminated(parameter->typeName, sizeof parameter->typeName)) {
        fault();
    }
    if (parameter->typeId == kLiteral) {
        auto *literal = reinterpret_cast<LiteralParameter *>(parameter);
        if (!terminated(literal->text, sizeof literal->text)) fault();
        check_value(literal->value);
    } else if (parameter->typeId == kReference) {
        auto *reference = reinterpret_cast<EquationParameter *>(parameter);
        if (!terminated(reference->referenceName, sizeof reference->referenceName)) fault();
    } else {
        auto *variable = reinterpret_cast<Variable *>(parameter);
        if (!terminated(variable->name, sizeof variable->name) ||
            !terminated(variable->valueText, sizeof variable->valueText)) {
            fault();
        }
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
    for (int32_t index = 0; walked != nullptr && index < walked->numEquations; ++index) {
        if (walked->slots[index].inUse != 0) expected.push_back(&walked->slots[index]);
    }
    size_t seen = 0;
    for (Equation *equation = KVAEP_GetFirstEquation(palette); equation != nullptr;
         equation = KVAEP_GetNextEquation(palette, equation)) {
        if (seen >= expected.size() || expected[seen] != equation) fault("the walk");
        ++seen;
    }
    if (seen != expected.size()) fault("the walk");
}

void check_names(int32_t count, const char *(*nameOf)(int32_t)) {
    for (int32_t id = 0; id < count; ++id) {
        if (!terminated(nameOf(id), ZTEQM_NAME_SIZE)) fault("a registered name");
    }
}

void check_registries(Input &) {
    check_names(KVAT_GetNumTypes(), KVAT_NameOfID);
    check_names(KVAOP_GetNumTypes(), KVAOP_NameOfID);
    check_names(KVAV_GetNumTypes(), KVAV_NameOfID);
    check_names(KVAP_GetNumTypes(), KVAP_NameOfID);
    check_names(KVAS_GetNumTypes(), KVAS_NameOfID);
}

void check_everything() {
    for (EquationPalette *palette : palettes) check_palette(palette);
    if (KVAEQM_GetNumPalettes() < 0) fault();
#if defined(ZTEQM_CHECK_INVARIANTS)
    zteqm::check_invariants();
#endif
}

// The read-only functions agree with the records they read.
void check_getters(Input &in) {
    EquationPalette *palette = nullptr;
    Equation *equation = pick_equation_in(in, &palette);
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
    const char *valueType = type != kReference ? KVAP_GetDataTypeName(parameter) : nullptr;
    if (valueType != nullptr && !terminated(valueType, ZTEQM_NAME_SIZE)) fault("value type name");
}

// ---- the actions a step chooses from -------------------------------------------------------

// Makes an equation the way a host builds one from its scene: named, with an operator, its
// parameter list sized to the operator, a trigger, a named result, and each parameter a
// number or a reference to another equation by name.
void build_equation(Input &in) {
    EquationPalette *into = pick_palette(in);
    if (into == nullptr) return;
    int32_t index = pick_new_index(in);
    // Only a new equation is built: it holds nothing but literals, so nothing below evaluates
    // or calls back, and the handle stays good. (A live one may hold references, whose reads
    // run callbacks that can delete the palette.)
    if (KVAEP_GetEquation(into, index) != nullptr) return;
    Equation *equation = KVAEP_NewEquation(into, &index);
    if (equation == nullptr) return;
    KVAEQ_SetName(equation, pick_name<kEquationNames>(in).c_str());
    KVAEQ_SetOperatorName(equation, pick_operator_name(in).c_str());
    KVAEQ_SetNumParameters(equation, KVAOP_GetNumParameters(KVAEQ_GetOperatorID(equation)));
    KVAEQ_SetTriggerName(equation,
                         in.chance(4) ? pick_name<kTriggerNames>(in).c_str() : "New Frame");
    KVAP_SetVariableName(KVAEQ_GetVariable(equation), pick_name<kVariableNames>(in).c_str());
    for (int32_t position = 0; position < KVAEQ_GetNumParameters(equation); ++position) {
        Parameter *old = KVAEQ_GetParameterN(equation, position);
        if (in.chance(3) && references_allowed()) {
            if (Parameter *reference = KVAEQ_NewParameterN(equation, position, kReference)) {
                KVAP_SetString(reference, pick_name<kEquationNames>(in).c_str(), 0);
            }
            KVAP_Delete(old);
        } else {
            KVAP_SetDouble(old, static_cast<double>(static_cast<int8_t>(in.byte())) / 4);
        }
    }
}

// Replaces a parameter of a live equation by what `make` puts there, releasing the one it
// replaces; `make` returns false when it changed nothing.
template <bool (*Make)(Input &, Equation *, int32_t position, bool valid)>
void replace_parameter(Input &in) {
    Equation *equation = pick_equation(in);
    if (equation == nullptr) return;
    const int32_t position = in.small(KVAEQ_GetNumParameters(equation) + 1);
    Parameter *old = KVAEQ_GetParameterN(equation, position);
    const bool valid = position < KVAEQ_GetNumParameters(equation);
    if (Make(in, equation, position, valid) && valid) KVAP_Delete(old);
}

template <EquationPalette *(*Make)(void *)>
void add_palette(Input &in) {
    if (palettes.size() >= kPaletteCap) return;
    if (EquationPalette *made = Make(pick_user_data(in))) palettes.push_back(made);
}

// Copies and moves would multiply the references.
template <void (*Run)(Input &)>
void unless_many_references(Input &in) {
    if (references_allowed()) Run(in);
}

void clear_palette(EquationPalette *palette) {
    release_objects(palette);
    KVAEP_ClearPalette(palette);
}

void walk(EquationPalette *palette) {
    int32_t last = -1;
    KVAEP_IterateEquations(KVAEP_GetUserData(palette), iterate, &last);
}

void new_equation(EquationPalette *into, int32_t index) { (void)KVAEP_NewEquation(into, &index); }

void move_by_one(EquationPalette *palette, Equation *equation, bool up) {
    (void)(up ? KVAEP_MoveEquationUpOne : KVAEP_MoveEquationDownOne)(palette, equation);
}

void set_operator(Equation *equation, const char *name, bool resize) {
    KVAEQ_SetOperatorName(equation, name);
    if (resize)
        KVAEQ_SetNumParameters(equation, KVAOP_GetNumParameters(KVAEQ_GetOperatorID(equation)));
}

void set_current_parameter(Equation *equation, int32_t choice) {
    KVAEQ_SetCurrentParameterIndex(equation, choice - 1);
    (void)KVAEQ_GetCurrentParameter(equation);
}

void get_text(Parameter *parameter, int32_t asValue) {
    char *text = nullptr;
    KVAP_GetString(parameter, &text, asValue);
    if (text != nullptr && std::strlen(text) >= ZTEQM_LONG_NAME_SIZE) fault("text length");
}

// One read per action: a read evaluates, and a callback may release the parameter.
void read_parameter(Parameter *parameter, int32_t kind) {
    if (kind == 0) (void)KVAP_GetInteger(parameter);
    if (kind == 1) (void)KVAP_GetDouble(parameter);
    if (kind == 2) (void)KVAP_GetAddress(parameter);
    if (kind == 3) (void)KVAP_GetDataTypeID(parameter);
}

void set_get_callback(Variable *variable, bool none, int32_t userData) {
    KVAP_SetVariableGetFunc(variable, none ? nullptr : refresh);
    KVAP_SetVariableUserData(variable, reinterpret_cast<void *>(static_cast<uintptr_t>(userData)));
}

void format_value(Value *value, int32_t choice) {
    char buffer[48];
    std::memset(buffer, 'x', sizeof buffer);
    const int32_t size = 1 + choice;
    KVAV_ToString(value, buffer, size);
    if (std::memchr(buffer, '\0', static_cast<size_t>(size)) == nullptr) {
        fault("text conversion leaves a terminated buffer");
    }
}

constexpr Action kActions[] = {
    // Palettes.
    {"new palette", 4, add_palette<KVAEQM_NewEquationPalette>},
    {"new palette apart", 1, add_palette<KVAEP_NewEquationPalette>},
    {"delete palette", 1, on<delete_palette, pick_palette>},
    {"clear palette", 1, on<clear_palette, pick_palette>},
    {"set palette user data", 1, on<KVAEP_SetUserData, pick_palette, pick_user_data>},
    {"copy palette", 1,
     unless_many_references<[](Input &in) {
         void *target = pick_user_data(in);
         void *source = pick_user_data(in);
         EquationPalette *cleared = KVAEQM_GetEquationPalette(target);
         if (cleared != nullptr && target != source &&
             cleared != KVAEQM_GetEquationPalette(source)) {
             release_objects(cleared);
         }
         KVAEP_CopyEPalette(target, source);
     }>},
    {"set current index", 1, on<KVAEP_SetCurrentEquationIndex, pick_palette, pick_index>},
    {"set current equation", 1, on<KVAEP_SetCurrentEquation, pick_palette, pick_equation>},
    {"get current equation", 1, on<KVAEP_GetCurrentEquation, pick_palette>},
    {"iterate", 1, on<walk, pick_palette>},

    // Equations in their palettes.
    {"new equation", 2, on<new_equation, pick_palette, pick_new_index>},
    {"build equation", 6, build_equation},
    {"delete equation", 1, on_slot<KVAEP_DeleteEquation>},
    {"copy equation", 1, unless_many_references<on_slot<KVAEP_CopyEquation, pick_index>>},
    {"copy equation over another", 1,
     unless_many_references<[](Input &in) {
         EquationPalette *palette = nullptr;
         Equation *source = pick_equation(in);
         Equation *target = pick_equation_in(in, &palette);
         // Both handles are taken before the copy, which moves no slot.
         KVAEP_CopyEqToEq(palette, source, target);
     }>},
    {"move equation", 1, unless_many_references<on_slot<KVAEP_MoveEquation, pick_index>>},
    {"move equation by one", 1, unless_many_references<on_slot<move_by_one, pick_chance<2>>>},
    {"set result type", 1, on_slot<KVAEP_SetLVariableTypeName, pick_name<kParameterTypeNames>>},

    // An equation's own fields.
    {"set equation name", 1, on<KVAEQ_SetName, pick_equation, pick_name<kEquationNames>>},
    {"set operator name", 1, on<set_operator, pick_equation, pick_operator_name, pick_chance<2>>},
    {"set operator id", 1,
     on<[](Equation *equation, int32_t id) {
            if (id != KVAOP_IDOfName("AsciiFile")) KVAEQ_SetOperatorID(equation, id);
        },
        pick_equation, [](Input &in) { return pick_id(in, KVAOP_GetNumTypes() + 1); }>},
    {"set trigger name", 1, on<KVAEQ_SetTriggerName, pick_equation, pick_name<kTriggerNames>>},
    {"set current parameter", 1, on<set_current_parameter, pick_equation, pick_small<10>>},
    {"set number of parameters", 1, on<KVAEQ_SetNumParameters, pick_equation, pick_small<7>>},

    // Parameters replaced, read and written.
    {"new parameter", 1,
     replace_parameter<[](Input &in, Equation *equation, int32_t position, bool) {
         const int32_t type = pick_parameter_type(in);
         if (type == kReference && !references_allowed()) return false;
         (void)KVAEQ_NewParameterN(equation, position, type);
         return true;
     }>},
    {"copy parameter", 1,
     replace_parameter<[](Input &in, Equation *equation, int32_t position, bool valid) {
         Parameter *source = pick_parameter(in);
         if (KVAP_GetTypeID(source) == kReference && !references_allowed()) return false;
         // The copy is made before the equation is taken again: copying runs no callback.
         Parameter *copy = KVAP_CopyParameter(source);
         valid ? KVAEQ_SetParameterN(equation, position, copy) : KVAP_Delete(copy);
         return true;
     }>},
    {"clear parameter", 1,
     replace_parameter<[](Input &, Equation *equation, int32_t position, bool) {
         KVAEQ_SetParameterN(equation, position, nullptr);
         return true;
     }>},
    {"set parameter text", 1,
     [](Input &in) {
         Parameter *parameter = pick_parameter(in);
         const int32_t asValue = in.small(2);
         if (KVAP_GetTypeID(parameter) == kReference && asValue == 0 && !references_allowed())
             return;
         KVAP_SetString(parameter, pick_name<kEquationNames, 120>(in).c_str(), asValue);
     }},
    {"get parameter text", 1, call<get_text, pick_parameter, pick_small<2>>},
    {"set data type", 1,
     [](Input &in) {
         in.chance(2) ? call<KVAP_SetDataTypeName, pick_parameter, pick_name<kValueTypeNames>>(in)
                      : call<KVAP_SetDataTypeID, pick_parameter, pick_value_type>(in);
     }},
    {"set integer", 1, call<KVAP_SetInteger, pick_parameter, pick_integer>},
    {"set double", 1, call<KVAP_SetDouble, pick_parameter, pick_number>},
    {"set address", 1, call<KVAP_SetAddress, pick_parameter, fill_array_buffer>},
    {"read parameter", 1, call<read_parameter, pick_parameter, pick_small<4>>},

    // References to equations.
    {"set reference name", 1,
     [](Input &in) {
         Parameter *parameter = pick_parameter(in);
         if (!references_allowed()) return;
         KVAP_SetEquationReferenceName(parameter, pick_name<kEquationNames>(in).c_str());
     }},
    {"fix reference", 1, call<KVAP_FixEquationReference, pick_parameter>},
    // A handle taken now; it goes stale when its slot array moves.
    {"set reference", 1, call<KVAP_SetEquationReference, pick_parameter, pick_equation_or_null>},
    {"check recursion of a reference", 1,
     call<[](Parameter *parameter, Equation *equation) {
              return KVAP_CheckRecursion(equation, parameter);
          },
          pick_parameter, pick_equation>},
    {"get reference name", 1, call<KVAP_GetEquationReferenceName, pick_parameter>},

    // Variables.
    {"set variable name", 1,
     call<KVAP_SetVariableName, pick_variable, pick_name<kVariableNames, 255>>},
    {"bind variable", 1, call<KVAP_SetVariableAddress, pick_variable, pick_filled_block_or_null>},
    {"set get callback", 1,
     call<set_get_callback, pick_variable, pick_chance<3>, pick_small<256>>},
    {"set variable defaults", 1, call<KVAP_SetVariableDefaults, pick_variable>},
    // A type without destructor goes only to result variables, which the host frees itself.
    {"set variable type", 1,
     [](Input &in) {
         bool isResult = false;
         Variable *variable = pick_variable_of(in, &isResult);
         const int32_t id = pick_parameter_type(in);
         if (may_relabel(isResult, id)) KVAP_SetVariableType(variable, id);
     }},
    {"set variable type name", 1,
     [](Input &in) {
         bool isResult = false;
         Variable *variable = pick_variable_of(in, &isResult);
         const std::string name = pick_name<kParameterTypeNames>(in);
         if (may_relabel(isResult, KVAP_IDOfName(name.c_str()))) {
             KVAP_SetVariableTypeName(variable, name.c_str());
         }
     }},
    {"enable", 1, call<KVAP_SetEnabled, pick_variable_parameter, pick_small<3>>},
    {"resize variable value", 1,
     [](Input &in) {
         Value *value = KVAP_GetVariableValue(pick_variable(in));
         if (value != nullptr && holds_block(value->typeId)) KVAV_SetSize(value, in.small(200));
     }},

    // Parameters relabelled, made apart, read through the registry.
    {"relabel parameter", 1,
     [](Input &in) {
         bool isResult = false;
         Parameter *parameter = pick_parameter_of(in, &isResult);
         if (in.chance(2)) {
             const std::string name = pick_name<kParameterTypeNames>(in);
             if (may_relabel(isResult, KVAP_IDOfName(name.c_str()))) {
                 KVAP_SetTypeName(parameter, name.c_str());
             }
         } else {
             const int32_t id = pick_parameter_type(in);
             if (may_relabel(isResult, relabelled_id(id))) KVAP_SetTypeID(parameter, id);
         }
     }},
    // Made apart from any equation, released at once.
    {"parameter apart", 1,
     [](Input &in) {
         Parameter *made = KVAP_New(pick_parameter_type(in));
         if (made != nullptr && in.chance(2)) KVAP_SetString(made, in.text(60).c_str(), 1);
         Parameter *copy = KVAP_CopyParameter(made);
         KVAP_Delete(copy);
         KVAP_Delete(made);
     }},
    {"result from address", 1,
     on<[](Equation *equation, void *address) {
            KVAV_GetDataFromAddress(KVAP_GetVariableValue(KVAEQ_GetVariable(equation)), address);
        },
        pick_equation, pick_filled_block>},
    {"check recursion", 1, call<KVAP_CheckRecursion, pick_equation, pick_parameter>},
    // A type's set-value function, called as a host may call it through the registry, with
    // the value of a literal or a variable (reading those evaluates nothing).
    {"set value through the registry", 1,
     call<[](Parameter *target, Parameter *source) {
              if (target == nullptr || source == nullptr || source->typeId == kReference) return;
              ParameterSetValueFunc setValue = KVAP_GetParameterTypeSetValueFunc(target->typeId);
              Value *value = KVAP_GetValue(source);
              if (setValue != nullptr && value != nullptr) setValue(target, value);
          },
          pick_parameter, pick_parameter>},
    {"check getters", 1, check_getters},

    // A value taken through type changes, to unknown and host types among others, size
    // changes and text conversions.
    {"set value type name", 1, on<KVAV_SetTypeName, pick_value, pick_name<kValueTypeNames>>},
    {"set value type", 1, on<KVAV_SetTypeID, pick_value, pick_value_type>},
    // An address of the host's own, which no type change may take for a block. (A block type
    // would copy from it: 16 bytes hold no text or vector of its size.)
    {"set value address", 1,
     [](Input &in) {
         Value *value = pick_value(in);
         if (value != nullptr && !holds_block(value->typeId)) {
             KVAV_SetAddress(value, pick_host_block(in));
         }
     }},
    // Resizing is for blocks: the fuzzed host types keep their data inline, so the host leaves
    // them alone. Every other value either has a block replaced or owns none.
    {"resize value", 1,
     [](Input &in) {
         Value *value = pick_value(in);
         if (value != nullptr &&
             (value->typeId < kHostValueType || KVAV_GetValueFactory(value->typeId) == nullptr ||
              KVAV_GetValueFactory(value->typeId)->typeId == 0)) {
             KVAV_SetSize(value, in.small(200));
         }
     }},
    {"format value", 1, on<format_value, pick_value, pick_small<48>>},

    // Subscribers.
    {"subscribe", 1,
     on<subscribe_fixed, pick_equation, pick_small<kFixedSubscriberTypes>, pick_chance<2>>},
    {"unsubscribe all", 1, call<KVAEQ_UnregisterAllSubscribers, pick_equation>},
    {"reinitialize subscribers", 1, on_slot<KVAEP_ReinitializeSubscriberList>},
    {"refresh subscribers", 1, call<KVAEQM_RefreshAllSubscribers>},
    {"subscriber type", 1,
     [](Input &in) {
         if (KVAS_GetNumTypes() >= kRegistrationCap) {
             KVAS_UnregisterSubscriberType(KVAS_GetNumTypes() - 1);
             return;
         }
         const std::string name = in.text(100);
         KVAS_RegisterSubscriberType(name.c_str(), in.chance(2) ? destroy : nullptr, notify,
                                     extra_interest);
     }},

    // The registries.
    {"register trigger", 1,
     [](Input &in) {
         if (KVAT_GetNumTypes() < kRegistrationCap) KVAT_RegisterTrigger(in.text(120).c_str());
     }},
    {"unregister trigger", 1, call<KVAT_UnregisterTrigger, pick_trigger_id>},
    {"enable trigger", 1,
     call<[](const char *name, int32_t enable, int32_t id) {
              KVAT_EnableByName(name, enable);
              (void)KVAT_IsEnabledByID(id);
          },
          pick_name<kTriggerNames>, pick_small<3>, pick_trigger_id>},
    {"register operator", 1,
     [](Input &in) {
         if (KVAOP_GetNumTypes() >= kRegistrationCap) return;
         const int32_t numParameters = in.small(5);
         const std::string name = in.text(120);
         KVAOP_RegisterOperator(numParameters, name.c_str(), in.chance(2) ? host_sum : host_mutate);
     }},
    {"unregister operator", 1, call<KVAOP_UnregisterOperator, pick_operator_id>},
    {"host value type", 1,
     call<[](int32_t choice, bool add) {
              const int32_t id = kSilentValueType - 1 + choice;  // 10 .. 13
              add ? register_host_value_type(id) : KVAV_UnregisterValueType(id);
          },
          pick_small<4>, pick_chance<2>>},
    {"unregister value type", 1,
     call<[](int32_t choice) { KVAV_UnregisterValueType(1 + choice); },
          pick_small<kBuiltInValueTypes>>},
    {"host parameter type", 1,
     call<[](int32_t choice) { register_host_parameter_type(kHostParameterType + 1 + choice); },
          pick_small<2>>},
    // Any type but "Literal" and "Equation", which the library's own objects need.
    {"unregister parameter type", 1,
     [](Input &in) {
         static constexpr int32_t kUnregistrable[] = {2, 3, 4, 5, 7, 8, 9, 10};
         const int32_t id = kUnregistrable[in.small(8)];
         if (count_held(id) == 0) KVAP_UnregisterParameterType(id);
     }},
    {"app variable", 1,
     [](Input &in) {
         if (KVAEQM_GetNumAppVariables() < kRegistrationCap) {
             const std::string name = in.text(255);
             const std::string type = pick_name<kValueTypeNames>(in);
             KVAEQM_RegisterAppVariable(name.c_str(), type.c_str(), pick_host_block(in));
         }
         const char *name = nullptr;
         const char *type = nullptr;
         void *address = nullptr;
         KVAEQM_GetAppVariableN(&name, &type, &address, pick_id(in, KVAEQM_GetNumAppVariables()));
         KVAEQM_GetAppVariableByName(pick_name<kVariableNames>(in).c_str(), &type, &address);
     }},
    // The value types' start as it goes when its table cannot be allocated: the actions that
    // follow meet a library without value types until start-up is completed.
    {"value types start without memory", 1,
     [](Input &) {
         const long left = fuzzhost::allocations_left();
         KVAV_Exit();
         fuzzhost::allocations_left() = 0;
         KVAV_Init();
         fuzzhost::allocations_left() = left;
         if (KVAV_GetNumTypes() != 0) fault("a failed start leaves the count at 0");
     }},
    {"complete start-up", 1, call<complete_start_up>},

    // Reads and writes by name.
    {"get integer by name", 1, call<KVAEQM_GetValueInt, pick_user_data, pick_name<kVariableNames>>},
    {"get double by name", 1,
     call<KVAEQM_GetValueDouble, pick_user_data, pick_name<kVariableNames>>},
    {"get array by name", 1, call<KVAEQM_GetValueArray, pick_user_data, pick_name<kVariableNames>>},
    {"set integer by name", 1,
     call<KVAEQM_SetValueInt, pick_user_data, pick_name<kVariableNames>, pick_integer>},
    {"set double by name", 1,
     call<KVAEQM_SetValueDouble, pick_user_data, pick_name<kVariableNames>, pick_number>},
    {"set array by name", 1,
     call<KVAEQM_SetValueArray, pick_user_data, pick_name<kVariableNames>, fill_array_buffer>},
    {"get address by name", 1, call<KVAEQM_GetAddress, pick_user_data, pick_name<kVariableNames>>},
    {"set address by name", 1,
     call<KVAEQM_SetAddress, pick_user_data, pick_name<kVariableNames>, pick_filled_block_or_null>},

    // Evaluation and look-ups.
    {"evaluate", 3, call<KVAEQM_Evaluate, pick_trigger_id>},
    {"evaluate trigger", 3, call<KVAEQM_EvaluateTriggerName, pick_name<kTriggerNames>>},
    {"find equation", 1, call<KVAEQM_FindEquationByName, pick_name<kEquationNames>>},
    {"find equation in palette", 1,
     on<KVAEP_FindEquationByName, pick_palette, pick_name<kEquationNames>>},

    // From here on the allocator refuses after a few more blocks, or no longer.
    {"allocation failures", 1,
     [](Input &in) { fuzzhost::allocations_left() = in.chance(2) ? -1 : in.small(64); }},
    {"check registries", 1, check_registries},
};

static_assert(total_weight(kActions) <= 256, "every action reachable from one byte");

// ---- the session ---------------------------------------------------------------------------

// Puts the registries back as the host set them up, and takes away what the input added;
// identifiers are never reused, so what was appended stays as cleared slots.
void restore_registries() {
    for (int32_t id = 1; id <= kBuiltInValueTypes; ++id) {
        const ValueTypeRecord &saved = savedValueTypes[id];
        KVAV_RegisterValueType(id, saved.name, saved.getIntegerFunc, saved.setIntegerFunc,
                               saved.getDoubleFunc, saved.setDoubleFunc, saved.getAddressFunc,
                               saved.setAddressFunc, saved.toStringFunc, saved.fromStringFunc);
    }
    register_host_value_type(kHostValueType);
    register_host_value_type(kSilentValueType);
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
    for (int32_t id = 0; id < KVAT_GetNumTypes(); ++id) {
        savedTriggers.push_back(*KVAT_GetTrigger(id));
    }
    subscriberTypes[0] = KVAS_RegisterSubscriberType("S0", destroy, notify, interest<0>);
    subscriberTypes[1] = KVAS_RegisterSubscriberType("S1", destroy, nullptr, interest<1>);
    subscriberTypes[2] = KVAS_RegisterSubscriberType("S2", nullptr, notify, nullptr);
    KVAEQM_RegisterAppVariable("frame", "int", hostMemory[0]);
    fuzzhost::take_baseline();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    set_up();
    Input in{data, size};
    current = &in;
    callbackBudget = 12;
    for (int32_t step = 0; step < 256 && !in.empty(); ++step) {
        choose(in, kActions, "action").run(in);
        check_everything();
    }
    current = nullptr;
    end_session();
    return 0;
}
