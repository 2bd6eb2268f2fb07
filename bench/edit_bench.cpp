// Editing: making equations that refer to each other by name, remaking some, finding by name.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_host.h"

namespace {

// Makes `count` equations, each with an "Equation" parameter naming the previous one.
void make_chain(EquationPalette *palette, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        int32_t index = -1;
        Equation *equation = KVAEP_NewEquation(palette, &index);
        KVAEQ_SetOperatorName(equation, "+");
        KVAEQ_SetNumParameters(equation, 2);
        if (i > 0) {
            const std::string previous = "Equation " + std::to_string(i - 1);
            KVAP_SetString(bench::replace_parameter(equation, 0, "Equation"), previous.c_str(), 0);
        }
    }
}

void per_equation(benchmark::State &state, int64_t equationsPerIteration) {
    state.counters["ns_per_equation"] = benchmark::Counter(
        static_cast<double>(equationsPerIteration) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void make_equations(benchmark::State &state) {
    bench::start_library();
    const auto count = static_cast<int32_t>(state.range(0));
    static int tag = 0;
    for (auto _ : state) {
        void *userData = &++tag;
        EquationPalette *palette = KVAEQM_NewEquationPalette(userData);
        make_chain(palette, count);
        state.PauseTiming();
        bench::delete_palette(userData);
        state.ResumeTiming();
    }
    per_equation(state, count);
}

void remake_every_tenth(benchmark::State &state) {
    bench::start_library();
    const auto count = static_cast<int32_t>(state.range(0));
    static int tag = 0;
    void *userData = &++tag;
    EquationPalette *palette = KVAEQM_NewEquationPalette(userData);
    make_chain(palette, count);
    for (auto _ : state) {
        for (int32_t index = 0; index < count; index += 10) {
            Equation *equation = KVAEP_GetEquation(palette, index);
            KVAEP_DeleteEquation(palette, equation);
            int32_t again = index;
            KVAEP_NewEquation(palette, &again);
        }
    }
    per_equation(state, (count + 9) / 10);
    bench::delete_palette(userData);
}

void find_by_name(benchmark::State &state) {
    bench::start_library();
    const auto count = static_cast<int32_t>(state.range(0));
    static int tag = 0;
    void *userData = &++tag;
    EquationPalette *palette = KVAEQM_NewEquationPalette(userData);
    make_chain(palette, count);
    std::string name;
    int32_t next = 0;
    for (auto _ : state) {
        name = "Equation " + std::to_string(next);
        next = (next + 7919) % count;
        benchmark::DoNotOptimize(KVAEQM_FindEquationByName(name.c_str()));
    }
    bench::delete_palette(userData);
}

void edit_sizes(benchmark::internal::Benchmark *benchmark) {
    benchmark->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);
}

BENCHMARK(make_equations)->Apply(edit_sizes);
BENCHMARK(remake_every_tenth)->Apply(edit_sizes);
BENCHMARK(find_by_name)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kNanosecond);

}  // namespace
