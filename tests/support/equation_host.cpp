// Test support for equations and palettes: builders, the tracing operator, recorders.
#include "equation_host.h"

#include <cstdio>

namespace testhost {
namespace {

std::vector<std::string> eventLog;

int32_t trace(Variable *result, int32_t numParameters, Parameter **parameters) {
    eventLog.push_back("run " + std::string(KVAP_GetVariableName(result)));
    double sum = 0.0;
    for (int32_t position = 0; position < numParameters; ++position) {
        sum += KVAP_GetDouble(parameters[position]);
    }
    KVAP_SetDouble(reinterpret_cast<Parameter *>(result), sum);
    return 1;
}

void record(Variable *result, void *userData) {
    char text[64];
    std::snprintf(text, sizeof text, "%s=%g", static_cast<const char *>(userData),
                  KVAV_GetDouble(KVAP_GetVariableValue(result)));
    eventLog.push_back(text);
}

}  // namespace

std::vector<std::string> &events() { return eventLog; }

const char *register_trace_operator(int32_t numParameters) {
    static const char *const names[] = {"Trace0", "Trace1", "Trace2", "Trace3"};
    const char *name = names[numParameters];
    if (KVAOP_IDOfName(name) == 0) KVAOP_RegisterOperator(numParameters, name, trace);
    return name;
}

int32_t register_recorder(const char *typeName, SubscriberInterestFunc interest) {
    return KVAS_RegisterSubscriberType(typeName, nullptr, record, interest);
}

void subscribe(Equation *equation, int32_t recorderType, const char *label) {
    KVAEQ_RegisterSubscriber(equation, recorderType, nullptr, const_cast<char *>(label));
}

int32_t add_equation(EquationPalette *palette, const char *name, const char *op,
                     const char *trigger) {
    int32_t index = -1;
    Equation *equation = KVAEP_NewEquation(palette, &index);
    if (equation == nullptr) return -1;
    KVAEQ_SetName(equation, name);
    KVAEQ_SetOperatorName(equation, op);
    KVAEQ_SetNumParameters(equation, KVAOP_GetNumParameters(KVAEQ_GetOperatorID(equation)));
    KVAEQ_SetTriggerName(equation, trigger);
    KVAP_SetVariableName(KVAEQ_GetVariable(equation), name);
    return index;
}

Equation *equation_at(EquationPalette *palette, int32_t index) {
    return KVAEP_GetEquation(palette, index);
}

void set_number(EquationPalette *palette, int32_t index, int32_t position, double number) {
    KVAP_SetDouble(KVAEQ_GetParameterN(equation_at(palette, index), position), number);
}

Parameter *refer(EquationPalette *palette, int32_t index, int32_t position, const char *name) {
    Equation *equation = equation_at(palette, index);
    Parameter *old = KVAEQ_GetParameterN(equation, position);
    Parameter *reference = KVAEQ_NewParameterN(equation, position, KVAP_IDOfName("Equation"));
    KVAP_Delete(old);
    KVAP_SetString(reference, name, 0);
    return reference;
}

double result_of(EquationPalette *palette, int32_t index) {
    return KVAV_GetDouble(KVAP_GetVariableValue(KVAEQ_GetVariable(equation_at(palette, index))));
}

Equation *cached_reference(Parameter *parameter) {
    return reinterpret_cast<EquationParameter *>(parameter)->equation;
}

}  // namespace testhost
