// Builds one palette of equations of one mix and evaluates "New Frame" a number of times, for
// counting the instructions of the evaluation under callgrind.
//
//   evaluation_driver MIX COUNT EVALUATIONS
//
// MIX a: "+" of two double literals; b: "+" of a bound double variable and a literal; c: "sin"
// of a bound double variable. Every equation has one subscriber that stores its result.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ztequationmanager/ztequationmanager.h"

namespace {

void *host_alloc(uint64_t size) { return std::malloc(size == 0 ? 1 : static_cast<size_t>(size)); }
void host_free(void *block) { std::free(block); }
void store_double(Variable *result, void *sink) {
    *static_cast<double *>(sink) = result->value.data.d;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4 || argv[1][0] < 'a' || argv[1][0] > 'c' || argv[1][1] != '\0') {
        std::fprintf(stderr, "usage: %s a|b|c COUNT EVALUATIONS\n", argv[0]);
        return 2;
    }
    const char mix = argv[1][0];
    const int count = std::atoi(argv[2]);
    const int evaluations = std::atoi(argv[3]);
    if (count <= 0 || evaluations <= 0) return 2;

    KVAEQM_Init(host_alloc, host_free, nullptr);
    const int32_t subscriberType =
        KVAS_RegisterSubscriberType("Sink", nullptr, store_double, nullptr);
    static int paletteTag;
    EquationPalette *palette = KVAEQM_NewEquationPalette(&paletteTag);
    std::vector<double> inputs(count), sinks(count);
    for (int i = 0; i < count; ++i) {
        inputs[i] = 0.001 * i;
        int32_t index = -1;
        Equation *equation = KVAEP_NewEquation(palette, &index);
        KVAEQ_SetOperatorName(equation, mix == 'c' ? "sin" : "+");
        KVAEQ_SetTriggerName(equation, "New Frame");
        KVAEQ_SetNumParameters(equation, mix == 'c' ? 1 : 2);
        KVAEQ_RegisterSubscriber(equation, subscriberType, nullptr, &sinks[i]);
        if (mix == 'a') {
            KVAP_SetDouble(KVAEQ_GetParameterN(equation, 0), inputs[i]);
        } else {
            KVAP_Delete(KVAEQ_GetParameterN(equation, 0));
            Parameter *bound = KVAEQ_NewParameterN(equation, 0, KVAP_IDOfName("Node Attribute"));
            KVAP_SetDataTypeName(bound, "double");
            KVAP_SetVariableAddress(reinterpret_cast<Variable *>(bound), &inputs[i]);
        }
        if (mix != 'c') KVAP_SetDouble(KVAEQ_GetParameterN(equation, 1), 1.5);
    }
    for (int round = 0; round < evaluations; ++round) KVAEQM_EvaluateTriggerName("New Frame");

    // The results prove the equations ran.
    const double expected = mix == 'c' ? 0.0 : 1.5;
    if (sinks[0] != expected) {
        std::fprintf(stderr, "equation 0 gave %g, expected %g\n", sinks[0], expected);
        return 1;
    }
    std::printf("%d equations, %d evaluations\n", count, evaluations);
    return 0;
}
