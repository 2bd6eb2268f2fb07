// Shared set-up for the benchmarks.
#include "bench_host.h"

#include <cstdlib>

namespace bench {

namespace {

void *host_alloc(uint64_t size) { return std::malloc(size == 0 ? 1 : static_cast<size_t>(size)); }
void host_free(void *block) { std::free(block); }

}  // namespace

void start_library() {
    static bool started = false;
    if (started) return;
    started = true;
    KVAEQM_Init(host_alloc, host_free, nullptr);
}

void store_double(Variable *result, void *userData) {
    *static_cast<double *>(userData) = result->value.data.d;
}

int32_t subscriber_type() {
    static int32_t type = KVAS_RegisterSubscriberType("Benchmark", nullptr, store_double, nullptr);
    return type;
}

void delete_palette(void *userData) {
    EquationPalette *palette = KVAEQM_GetEquationPalette(userData);
    if (palette == nullptr) return;
    for (int32_t index = 0; index < KVAEP_GetNumEquations(palette); ++index) {
        Equation *equation = KVAEP_GetEquation(palette, index);
        if (equation == nullptr) continue;
        KVAEQ_UnregisterAllSubscribers(equation);
        KVAMEM_Free(equation->subscribers);
        equation->subscribers = nullptr;
        KVAEQ_SetNumParameters(equation, 0);
        KVAP_FreeVariable(equation->variable);
        equation->variable = nullptr;
    }
    KVAEQM_DeleteEquationPalette(userData);
}

Parameter *replace_parameter(Equation *equation, int32_t position, const char *typeName) {
    KVAP_Delete(KVAEQ_GetParameterN(equation, position));
    return KVAEQ_NewParameterN(equation, position, KVAP_IDOfName(typeName));
}

Equation *make_equation(EquationPalette *palette, const char *operatorName, int32_t numParameters,
                        double *sink) {
    int32_t index = -1;
    Equation *equation = KVAEP_NewEquation(palette, &index);
    KVAEQ_SetOperatorName(equation, operatorName);
    KVAEQ_SetTriggerName(equation, "New Frame");
    KVAEQ_SetNumParameters(equation, numParameters);
    KVAEQ_RegisterSubscriber(equation, subscriber_type(), nullptr, sink);
    return equation;
}

}  // namespace bench
