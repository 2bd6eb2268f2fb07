// Editing: making equations that refer to each other by name, remaking some, finding by name.
#include <benchmark/benchmark.h>

#include <ctime>
#include <map>
#include <string>
#include <vector>

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

// CPU time of the process, in nanoseconds.
double cpu_now() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// Reports the cost per operation, and its ratio to the same benchmark at N = 1 000 taken
// earlier in the same run (x_at_1000): near-linear editing keeps that ratio near 1.
void per_operation(benchmark::State &state, const char *name, int64_t operationsPerIteration,
                   double cpuNanoseconds) {
    state.counters["ns_per_op"] = benchmark::Counter(
        static_cast<double>(operationsPerIteration) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    static std::map<std::string, double> atThousand;
    const double perOperation = cpuNanoseconds / static_cast<double>(state.iterations()) /
                                static_cast<double>(operationsPerIteration);
    if (state.range(0) == 1000) atThousand[name] = perOperation;
    if (auto found = atThousand.find(name); found != atThousand.end()) {
        state.counters["x_at_1000"] = perOperation / found->second;
    }
}

void make_equations(benchmark::State &state) {
    bench::start_library();
    const auto count = static_cast<int32_t>(state.range(0));
    static int tag = 0;
    double spent = 0.0;
    for (auto _ : state) {
        void *userData = &++tag;
        const double start = cpu_now();
        EquationPalette *palette = KVAEQM_NewEquationPalette(userData);
        make_chain(palette, count);
        spent += cpu_now() - start;
        state.PauseTiming();
        bench::delete_palette(userData);
        state.ResumeTiming();
    }
    per_operation(state, "make", count, spent);
}

void remake_every_tenth(benchmark::State &state) {
    bench::start_library();
    const auto count = static_cast<int32_t>(state.range(0));
    static int tag = 0;
    void *userData = &++tag;
    EquationPalette *palette = KVAEQM_NewEquationPalette(userData);
    make_chain(palette, count);
    const double start = cpu_now();
    for (auto _ : state) {
        for (int32_t index = 0; index < count; index += 10) {
            Equation *equation = KVAEP_GetEquation(palette, index);
            KVAEP_DeleteEquation(palette, equation);
            int32_t again = index;
            KVAEP_NewEquation(palette, &again);
        }
    }
    per_operation(state, "remake", (count + 9) / 10, cpu_now() - start);
    bench::delete_palette(userData);
}

// Copies a palette of N chained equations into another palette.
void copy_palette(benchmark::State &state) {
    bench::start_library();
    const auto count = static_cast<int32_t>(state.range(0));
    static int tags[2] = {};
    void *source = &tags[0];
    void *target = &tags[1];
    make_chain(KVAEQM_NewEquationPalette(source), count);
    KVAEQM_NewEquationPalette(target);
    double spent = 0.0;
    for (auto _ : state) {
        const double start = cpu_now();
        KVAEP_CopyEPalette(target, source);
        spent += cpu_now() - start;
        state.PauseTiming();
        bench::delete_palette(target);
        KVAEQM_NewEquationPalette(target);
        state.ResumeTiming();
    }
    per_operation(state, "copy", count, spent);
    bench::delete_palette(target);
    bench::delete_palette(source);
}

// Moves every tenth equation of a chain of N one step down and back up again.
void move_equations(benchmark::State &state) {
    bench::start_library();
    const auto count = static_cast<int32_t>(state.range(0));
    static int tag = 0;
    void *userData = &++tag;
    EquationPalette *palette = KVAEQM_NewEquationPalette(userData);
    make_chain(palette, count);
    const double start = cpu_now();
    for (auto _ : state) {
        for (int32_t index = 0; index + 1 < count; index += 10) {
            Equation *moved = KVAEP_MoveEquationDownOne(palette, KVAEP_GetEquation(palette, index));
            KVAEP_MoveEquationUpOne(palette, moved);
        }
    }
    per_operation(state, "move", 2 * ((count + 8) / 10), cpu_now() - start);
    bench::delete_palette(userData);
}

void find_by_name(benchmark::State &state) {
    bench::start_library();
    const auto count = static_cast<int32_t>(state.range(0));
    static int tag = 0;
    void *userData = &++tag;
    EquationPalette *palette = KVAEQM_NewEquationPalette(userData);
    make_chain(palette, count);
    std::vector<std::string> names(count);
    for (int32_t i = 0; i < count; ++i) names[i] = "Equation " + std::to_string(i);
    int32_t next = 0;
    const double start = cpu_now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(KVAEQM_FindEquationByName(names[next].c_str()));
        next = (next + 7919) % count;
    }
    per_operation(state, "find", 1, cpu_now() - start);
    bench::delete_palette(userData);
}

void edit_sizes(benchmark::internal::Benchmark *benchmark) {
    benchmark->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);
}

BENCHMARK(make_equations)->Apply(edit_sizes);
BENCHMARK(remake_every_tenth)->Apply(edit_sizes);
BENCHMARK(copy_palette)->Apply(edit_sizes);
BENCHMARK(move_equations)->Apply(edit_sizes);
BENCHMARK(find_by_name)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kNanosecond);

}  // namespace
