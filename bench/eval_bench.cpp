// Per-frame evaluation: the library against a hand-written loop and against muparser.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "bench_host.h"

#ifdef ZTEQM_HAVE_MUPARSER
#include <muParser.h>
#endif

namespace {

enum class Mix { LiteralSum, BoundSum, BoundSine, ReferenceChain };

// CPU time of the process, in nanoseconds.
double cpu_now() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// A frame of a real host walks far more memory than one palette: walking a buffer larger than
// the last-level cache between two evaluations leaves the palette cold.
void evict_caches() {
    static std::vector<unsigned char> buffer(64u << 20);
    for (size_t at = 0; at < buffer.size(); at += 64) buffer[at] = static_cast<unsigned char>(at);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
}

// CPU nanoseconds per equation of `frame`, which evaluates `count` equations, over about a
// fifth of a second; the eviction, when asked for, is left out of the time.
template <typename Frame>
double cpu_ns_per_equation(int32_t count, bool cold, Frame frame) {
    double total = 0.0;
    int runs = 0;
    while (total < 2e8 || runs < 3) {
        if (cold) evict_caches();
        const double start = cpu_now();
        frame();
        total += cpu_now() - start;
        ++runs;
    }
    return total / runs / count;
}

void report_per_equation(benchmark::State &state, int32_t count) {
    state.counters["ns_per_equation"] = benchmark::Counter(
        static_cast<double>(count) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The inputs of the hand-written and muparser loops, and where they store their results.
struct Peer {
    std::vector<double> inputs, sinks;
    SubscriberNotifyFunc notify;
    Variable result{};
    explicit Peer(int32_t count) : inputs(count), sinks(count) {
        for (int32_t i = 0; i < count; ++i) inputs[i] = 0.001 * i;
        SubscriberNotifyFunc volatile notifyPointer = bench::store_double;
        notify = notifyPointer;
    }
};

// The same arithmetic written by hand, with the same notify call through a pointer.
void native_frame(Peer &peer, Mix mix) {
    const auto count = static_cast<int32_t>(peer.inputs.size());
    for (int32_t i = 0; i < count; ++i) {
        peer.result.value.data.d =
            mix == Mix::BoundSine ? std::sin(peer.inputs[i]) : peer.inputs[i] + 1.5;
        peer.notify(&peer.result, &peer.sinks[i]);
    }
    benchmark::DoNotOptimize(peer.sinks.data());
    benchmark::ClobberMemory();
}

#ifdef ZTEQM_HAVE_MUPARSER
// The same expressions with muparser: one parser per equation, its variable bound, parsed once
// as a host would before the first frame.
std::vector<std::unique_ptr<mu::Parser>> make_parsers(Peer &peer, Mix mix) {
    const auto count = static_cast<int32_t>(peer.inputs.size());
    std::vector<std::unique_ptr<mu::Parser>> parsers;
    parsers.reserve(count);
    for (int32_t i = 0; i < count; ++i) {
        auto parser = std::make_unique<mu::Parser>();
        if (mix == Mix::LiteralSum) {
            char expression[64];
            std::snprintf(expression, sizeof expression, "%.17g + 1.5", peer.inputs[i]);
            parser->SetExpr(expression);
        } else {
            parser->DefineVar("x", &peer.inputs[i]);
            parser->SetExpr(mix == Mix::BoundSine ? "sin(x)" : "x + 1.5");
        }
        parser->Eval();
        parsers.push_back(std::move(parser));
    }
    return parsers;
}

void muparser_frame(Peer &peer, std::vector<std::unique_ptr<mu::Parser>> &parsers) {
    const auto count = static_cast<int32_t>(parsers.size());
    for (int32_t i = 0; i < count; ++i) {
        peer.result.value.data.d = parsers[i]->Eval();
        peer.notify(&peer.result, &peer.sinks[i]);
    }
    benchmark::DoNotOptimize(peer.sinks.data());
    benchmark::ClobberMemory();
}
#endif

// Builds a palette of `count` equations of one mix and evaluates "New Frame" per iteration.
// Besides its own time it reports, from CPU times taken in the same run under the same
// conditions, its ratio to the hand-written loop (x_native) and to muparser (x_muparser).
void evaluate_palette(benchmark::State &state, Mix mix, bool cold) {
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
    auto frame = [&] {
        KVAEQM_EvaluateTriggerName("New Frame");
        benchmark::DoNotOptimize(sinks.data());
        benchmark::ClobberMemory();
    };
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            evict_caches();
            state.ResumeTiming();
        }
        frame();
    }
    report_per_equation(state, count);

    if (mix != Mix::ReferenceChain) {
        const double library = cpu_ns_per_equation(count, cold, frame);
        Peer peer(count);
        const double native = cpu_ns_per_equation(count, cold, [&] { native_frame(peer, mix); });
        state.counters["x_native"] = library / native;
#ifdef ZTEQM_HAVE_MUPARSER
        auto parsers = make_parsers(peer, mix);
        const double muparser =
            cpu_ns_per_equation(count, cold, [&] { muparser_frame(peer, parsers); });
        state.counters["x_muparser"] = library / muparser;
#endif
    }
    bench::delete_palette(userData);
}

void native_loop(benchmark::State &state, Mix mix, bool cold) {
    const auto count = static_cast<int32_t>(state.range(0));
    Peer peer(count);
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            evict_caches();
            state.ResumeTiming();
        }
        native_frame(peer, mix);
    }
    report_per_equation(state, count);
}

#ifdef ZTEQM_HAVE_MUPARSER
void muparser_loop(benchmark::State &state, Mix mix, bool cold) {
    const auto count = static_cast<int32_t>(state.range(0));
    Peer peer(count);
    auto parsers = make_parsers(peer, mix);
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            evict_caches();
            state.ResumeTiming();
        }
        muparser_frame(peer, parsers);
    }
    report_per_equation(state, count);
}
#endif

void sizes(benchmark::internal::Benchmark *benchmark) {
    benchmark->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
}

void cold_size(benchmark::internal::Benchmark *benchmark) {
    benchmark->Arg(100000)->Unit(benchmark::kMicrosecond);
}

BENCHMARK_CAPTURE(evaluate_palette, a_literal_sum, Mix::LiteralSum, false)->Apply(sizes);
BENCHMARK_CAPTURE(evaluate_palette, b_bound_sum, Mix::BoundSum, false)->Apply(sizes);
BENCHMARK_CAPTURE(evaluate_palette, c_bound_sine, Mix::BoundSine, false)->Apply(sizes);
BENCHMARK_CAPTURE(evaluate_palette, d_reference_chain, Mix::ReferenceChain, false)->Apply(sizes);
BENCHMARK_CAPTURE(evaluate_palette, a_literal_sum_cold, Mix::LiteralSum, true)->Apply(cold_size);
BENCHMARK_CAPTURE(evaluate_palette, b_bound_sum_cold, Mix::BoundSum, true)->Apply(cold_size);
BENCHMARK_CAPTURE(evaluate_palette, c_bound_sine_cold, Mix::BoundSine, true)->Apply(cold_size);
BENCHMARK_CAPTURE(native_loop, a_literal_sum, Mix::LiteralSum, false)->Apply(sizes);
BENCHMARK_CAPTURE(native_loop, b_bound_sum, Mix::BoundSum, false)->Apply(sizes);
BENCHMARK_CAPTURE(native_loop, c_bound_sine, Mix::BoundSine, false)->Apply(sizes);
BENCHMARK_CAPTURE(native_loop, a_literal_sum_cold, Mix::LiteralSum, true)->Apply(cold_size);
#ifdef ZTEQM_HAVE_MUPARSER
BENCHMARK_CAPTURE(muparser_loop, a_literal_sum, Mix::LiteralSum, false)->Apply(sizes);
BENCHMARK_CAPTURE(muparser_loop, b_bound_sum, Mix::BoundSum, false)->Apply(sizes);
BENCHMARK_CAPTURE(muparser_loop, c_bound_sine, Mix::BoundSine, false)->Apply(sizes);
BENCHMARK_CAPTURE(muparser_loop, a_literal_sum_cold, Mix::LiteralSum, true)->Apply(cold_size);
#endif

}  // namespace
