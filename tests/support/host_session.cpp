// A host session over every family, tolerant of failed allocations.
#include "host_session.h"

#include <filesystem>
#include <fstream>
#include <random>

#include "equation_host.h"

namespace testhost {
namespace {

int databases[3];
SubscriberCounts subscribers;
double boundNumber = 1.5;
int32_t frame = 7;

void destroyed(void *) { ++subscribers.destroyed; }
void notify_nothing(Variable *, void *) {}

void subscribe_counted(Equation *equation, int32_t type) {
    if (KVAEQ_RegisterSubscriber(equation, type, nullptr, nullptr) >= 0) ++subscribers.made;
}

// The interest callback subscribes its type to every equation it is asked about.
int32_t counted = -1;
void interested(Equation *equation, void *) { subscribe_counted(equation, counted); }

void refresh(Parameter *parameter, void *) { KVAP_SetDouble(parameter, 0.25); }

int32_t twice(Variable *result, int32_t numParameters, Parameter **parameters) {
    if (numParameters < 1 || parameters == nullptr || parameters[0] == nullptr) return 0;
    KVAP_SetDouble(reinterpret_cast<Parameter *>(result), 2 * KVAP_GetDouble(parameters[0]));
    return 1;
}

int32_t host_get_integer(Value *value) { return value->data.i; }
void host_set_integer(Value *value, int32_t integer) { value->data.i = integer; }

Parameter *new_var(int32_t typeId) {
    auto *variable = static_cast<Variable *>(_KVAMEM_AllocZ(sizeof(Variable), nullptr, 0));
    if (variable != nullptr) variable->typeId = typeId;
    return reinterpret_cast<Parameter *>(variable);
}
void free_var(Parameter *parameter) { KVAP_FreeVariable(reinterpret_cast<Variable *>(parameter)); }
Value *value_of(Parameter *parameter) { return &reinterpret_cast<Variable *>(parameter)->value; }

void register_host_entries() {
    KVAT_RegisterTrigger("Frame End");
    KVAT_EnableByName("Frame End", 0);
    // The counted type is registered once, so that every subscriber made has its destructor;
    // a second type comes with every session.
    if (counted < 0)
        counted = KVAS_RegisterSubscriberType("Counted", destroyed, notify_nothing, interested);
    KVAS_RegisterSubscriberType("Quiet", nullptr, nullptr, nullptr);
    KVAV_RegisterValueType(12, "hostint", host_get_integer, host_set_integer, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr);
    KVAP_RegisterParameterType(9, "HostVar", 1, new_var, free_var, value_of, nullptr, nullptr,
                               nullptr);
    if (KVAOP_IDOfName("Twice") == 0) KVAOP_RegisterOperator(1, "Twice", twice);
    KVAEQM_RegisterAppVariable("frame", "int", &frame);
}

// Replaces the first parameter of the equation by a variable of the type holding a double, and
// releases the old one.
Variable *var(EquationPalette *palette, int32_t index, const char *type) {
    Equation *equation = equation_at(palette, index);
    Parameter *old = KVAEQ_GetParameterN(equation, 0);
    if (old == nullptr) return nullptr;
    Parameter *made = KVAEQ_NewParameterN(equation, 0, KVAP_IDOfName(type));
    KVAP_Delete(old);
    KVAP_SetDataTypeName(made, "double");
    return reinterpret_cast<Variable *>(made);
}

void literal(EquationPalette *a, int32_t index, int32_t at, const char *type, const char *text) {
    Parameter *literal = KVAEQ_GetParameterN(equation_at(a, index), at);
    KVAP_SetDataTypeName(literal, type);
    KVAP_SetString(literal, text, 1);
}

void build_first(EquationPalette *a, const std::string &dataFile) {
    const int32_t speed = add_equation(a, "Speed", "+");
    set_number(a, speed, 0, 2);
    set_number(a, speed, 1, 3);
    KVAEP_SetLVariableTypeName(a, equation_at(a, speed), "Node Attribute");

    refer(a, add_equation(a, "Angle", "sin"), 0, "Speed");
    const int32_t limited = add_equation(a, "Limited", "Clamp");
    refer(a, limited, 0, "Angle");
    set_number(a, limited, 1, -0.5);
    set_number(a, limited, 2, 0.5);

    const int32_t vector = add_equation(a, "Vector", "Move Value");
    literal(a, vector, 0, "float4", "1 2 3 4");
    KVAP_SetDataTypeName(reinterpret_cast<Parameter *>(KVAEQ_GetVariable(equation_at(a, vector))),
                         "float4");

    KVAP_SetVariableName(var(a, add_equation(a, "Doubled", "Twice"), "Node Attribute"), "bound");
    KVAP_SetVariableGetFunc(var(a, add_equation(a, "Called", "+"), "HostVar"), refresh);

    const int32_t playback = add_equation(a, "Playback", "AsciiFile");
    set_number(a, playback, 0, 1);
    literal(a, playback, 1, "string", dataFile.c_str());
    set_number(a, playback, 2, 2);
    literal(a, playback, 3, "address", "0");
}

void evaluate_and_access(EquationPalette *a) {
    KVAEQM_RefreshAllSubscribers();
    KVAEQM_Evaluate(KVAT_IDOfName("New Frame"));
    KVAEQM_EvaluateTriggerName("New Frame");
    KVAEQM_EvaluateTriggerName("Frame End");

    KVAEQM_SetValueDouble(&databases[0], "Speed", 4);
    (void)KVAEQM_GetValueDouble(nullptr, "Remote");
    const double components[4] = {5, 6, 7, 8};
    KVAEQM_SetValueArray(&databases[0], "Vector", const_cast<double *>(components));
    KVAEQM_SetAddress(&databases[0], "bound", &boundNumber);
    (void)KVAEQM_GetValueInt(&databases[0], "bound");
    (void)KVAEQM_GetAddress(&databases[0], "bound");
    const char *type = nullptr;
    void *address = nullptr;
    KVAEQM_GetAppVariableByName("frame", &type, &address);
    (void)KVAEP_FindEquationByName(a, "Limited");
}

void edit(EquationPalette *a) {
    Equation *copy = KVAEP_CopyEquation(a, KVAEQM_FindEquationByName("Speed"), 14);
    (void)KVAEP_MoveEquationDownOne(a, KVAEP_MoveEquationUpOne(a, KVAEP_MoveEquation(a, copy, 9)));
    KVAEP_CopyEqToEq(a, equation_at(a, 0), equation_at(a, 2));
    KVAEP_DeleteEquation(a, equation_at(a, 1));
    int32_t reused = -1;
    (void)KVAEP_NewEquation(a, &reused);  // the deleted equation's slot, its leftovers released

    KVAP_Delete(KVAP_CopyParameter(KVAEQ_GetParameterN(equation_at(a, 3), 0)));
    Value text{};
    KVAV_SetTypeName(&text, "string");
    KVAV_FromString(&text, "a text of some length");
    KVAV_SetTypeName(&text, "float4x4");
    char buffer[ZTEQM_NAME_SIZE];
    KVAV_ToString(&text, buffer, sizeof buffer);
    KVAV_SetTypeName(&text, "double");  // releases the block
}

// Playback keeps its file open between evaluations; disabling it closes the file.
void stop_playback(EquationPalette *a) {
    KVAP_SetDouble(KVAEQ_GetParameterN(KVAEP_FindEquationByName(a, "Playback"), 0), 0);
    KVAEQM_EvaluateTriggerName("New Frame");
}

}  // namespace

void release_objects(EquationPalette *palette) {
    if (palette == nullptr) return;
    for (int32_t index = 0; index < palette->capacity; ++index) {
        Equation *slot = &palette->slots[index];
        KVAEQ_UnregisterAllSubscribers(slot);
        if (slot->subscribers != nullptr) KVAMEM_Free(slot->subscribers);
        slot->subscribers = nullptr;
        slot->subscriberCapacity = 0;
        KVAEQ_SetNumParameters(slot, 0);
        if (slot->variable != nullptr) KVAP_FreeVariable(slot->variable);
        slot->variable = nullptr;
    }
}

SubscriberCounts &subscriber_counts() { return subscribers; }

std::string write_playback_file() {
    // In the system's temporary directory, whose short path fits the 79 characters a file name
    // parameter keeps.
    const auto path = std::filesystem::temp_directory_path() /
                      ("zteqm-playback-" + std::to_string(std::random_device{}()) + ".txt");
    std::ofstream file(path, std::ios::binary);
    return (file << "1 2 3\n4 5 6\n7 8 9\n").flush() ? path.string() : "";
}

void run_host_session(const std::string &dataFile) {
    register_host_entries();
    EquationPalette *a = KVAEQM_NewEquationPalette(&databases[0]);
    EquationPalette *b = KVAEQM_NewEquationPalette(&databases[1]);
    build_first(a, dataFile);
    const int32_t remote = add_equation(b, "Remote", "+");
    refer(b, remote, 0, "Speed");
    set_number(b, remote, 1, 1);

    evaluate_and_access(a);
    edit(a);
    evaluate_and_access(a);
    stop_playback(a);

    // Copying a palette over another: the host releases the target's objects first.
    release_objects(KVAEQM_GetEquationPalette(&databases[1]));
    KVAEP_CopyEPalette(&databases[1], &databases[0]);
    KVAEQM_EvaluateTriggerName("New Frame");
    stop_playback(KVAEQM_GetEquationPalette(&databases[1]));

    for (int &database : databases) {
        release_objects(KVAEQM_GetEquationPalette(&database));
        KVAEQM_DeleteEquationPalette(&database);
    }
}

bool library_still_computes() {
    EquationPalette *p = KVAEQM_NewEquationPalette(&databases[2]);
    const int32_t sum = add_equation(p, "Sum", "+");
    set_number(p, sum, 0, 2);
    set_number(p, sum, 1, 3);
    const long made = subscribers.made;
    subscribe_counted(equation_at(p, sum), counted);
    KVAEQM_EvaluateTriggerName("New Frame");
    const bool ok = p != nullptr && result_of(p, sum) == 5.0 && subscribers.made == made + 1;
    release_objects(p);
    KVAEQM_DeleteEquationPalette(&databases[2]);
    return ok;
}

}  // namespace testhost
