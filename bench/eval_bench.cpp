// Per-frame evaluation: the library against a hand-written loop and against muparser.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_host.h"

#ifdef ZTEQM_HAVE_MUPARSER
#include <muParser.h>
#endif

namespace {

enum class Mix { LiteralSum, BoundSum, BoundSine, ReferenceChain };

// Builds a palette of `count` equations of one mix and evaluates "New Frame" per iteration.
void evaluate_palette(benchmark::State &state, Mix mix) {
    bench::start_library();
    const auto count = static_cast<int32_t>(state.range(0));
    static int paletteTag = 0;
    void *const userData = &++paletteTag;
    EquationPalette *palette = KVAEQM_NewEquationPalette(userData);
    std::vector<double> inputs(count), sinks(count);
    for (int32_t i = 0; i < count; ++i) {
        inputs[i] = 0.001 * i;
        const char *op = mix == Mix::BoundSine ? "sin" : "+";
        Equation *equation =
            bench::make_equation(palette, op, mix == Mix::BoundSine ? 1 : 2, &sinks[i]);
        switch (mix) {
            case Mix::LiteralSum:
                KVAP_SetDouble(KVAEQ_GetParameterN(equation, 0), inputs[i]);
                KVAP_SetDouble(KVAEQ_GetParameterN(equation, 1), 1.5);
                break;
            case Mix::BoundSum:
            case Mix::BoundSine: {
                Parameter *bound = bench::replace_parameter(equation, 0, "Node Attribute");
                KVAP_SetDataTypeName(bound, "double");
                KVAP_SetVariableAddress(reinterpret_cast<Variable *>(bound), &inputs[i]);
                if (mix == Mix::BoundSum) KVAP_SetDouble(KVAEQ_GetParameterN(equation, 1), 1.5);
                break;
            }
            case Mix::ReferenceChain:
                if (i > 0) {
                    const std::string previous = "Equation " + std::to_string(i - 1);
                    KVAP_SetString(bench::replace_parameter(equation, 0, "Equation"),
                                   previous.c_str(), 0);
                }
                KVAP_SetDouble(KVAEQ_GetParameterN(equation, 1), 1.0);
                break;
        }
    }
    for (auto _ : state) {
        KVAEQM_EvaluateTriggerName("New Frame");
        benchmark::DoNotOptimize(sinks.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_equation"] = benchmark::Counter(
        static_cast<double>(count) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    bench::delete_palette(userData);
}

// The same arithmetic written by hand, with the same notify call through a pointer.
void native_loop(benchmark::State &state, Mix mix) {
    const auto count = static_cast<int32_t>(state.range(0));
    std::vector<double> inputs(count), sinks(count);
    for (int32_t i = 0; i < count; ++i) inputs[i] = 0.001 * i;
    SubscriberNotifyFunc volatile notifyPointer = bench::store_double;
    SubscriberNotifyFunc notify = notifyPointer;
    Variable result{};
    for (auto _ : state) {
        for (int32_t i = 0; i < count; ++i) {
            result.value.data.d = mix == Mix::BoundSine ? std::sin(inputs[i]) : inputs[i] + 1.5;
            notify(&result, &sinks[i]);
        }
        benchmark::DoNotOptimize(sinks.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_equation"] = benchmark::Counter(
        static_cast<double>(count) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

#ifdef ZTEQM_HAVE_MUPARSER
// The same expressions with muparser: one parser per equation, its variable bound.
void muparser_loop(benchmark::State &state, Mix mix) {
    const auto count = static_cast<int32_t>(state.range(0));
    std::vector<double> inputs(count), sinks(count);
    std::vector<std::unique_ptr<mu::Parser>> parsers;
    parsers.reserve(count);
    for (int32_t i = 0; i < count; ++i) {
        inputs[i] = 0.001 * i;
        auto parser = std::make_unique<mu::Parser>();
        if (mix == Mix::LiteralSum) {
            char expression[64];
            std::snprintf(expression, sizeof expression, "%.17g + 1.5", inputs[i]);
            parser->SetExpr(expression);
        } else {
            parser->DefineVar("x", &inputs[i]);
            parser->SetExpr(mix == Mix::BoundSine ? "sin(x)" : "x + 1.5");
        }
        parser->Eval();  // parse once, as a host would before the first frame
        parsers.push_back(std::move(parser));
    }
    SubscriberNotifyFunc volatile notifyPointer = bench::store_double;
    SubscriberNotifyFunc notify = notifyPointer;
    Variable result{};
    for (auto _ : state) {
        for (int32_t i = 0; i < count; ++i) {
            result.value.data.d = parsers[i]->Eval();
            notify(&result, &sinks[i]);
        }
        benchmark::DoNotOptimize(sinks.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_equation"] = benchmark::Counter(
        static_cast<double>(count) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
#endif

void sizes(benchmark::internal::Benchmark *benchmark) {
    benchmark->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
}

BENCHMARK_CAPTURE(evaluate_palette, a_literal_sum, Mix::LiteralSum)->Apply(sizes);
BENCHMARK_CAPTURE(native_loop, a_literal_sum, Mix::LiteralSum)->Apply(sizes);
BENCHMARK_CAPTURE(evaluate_palette, b_bound_sum, Mix::BoundSum)->Apply(sizes);
BENCHMARK_CAPTURE(native_loop, b_bound_sum, Mix::BoundSum)->Apply(sizes);
BENCHMARK_CAPTURE(evaluate_palette, c_bound_sine, Mix::BoundSine)->Apply(sizes);
BENCHMARK_CAPTURE(native_loop, c_bound_sine, Mix::BoundSine)->Apply(sizes);
BENCHMARK_CAPTURE(evaluate_palette, d_reference_chain, Mix::ReferenceChain)->Apply(sizes);
#ifdef ZTEQM_HAVE_MUPARSER
BENCHMARK_CAPTURE(muparser_loop, a_literal_sum, Mix::LiteralSum)->Apply(sizes);
BENCHMARK_CAPTURE(muparser_loop, b_bound_sum, Mix::BoundSum)->Apply(sizes);
BENCHMARK_CAPTURE(muparser_loop, c_bound_sine, Mix::BoundSine)->Apply(sizes);
#endif

}  // namespace
