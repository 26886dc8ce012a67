#include "bench.h"

#include <cstdarg>
#include <cstdio>
#include <syslog.h>

namespace {

long log_lines;
int failures;

} // namespace

// Silent: a benchmark that makes the module log measures the wrong thing, so
// the lines are only counted and such a run fails.
extern "C" void syslog(int, const char *, ...) { log_lines++; }

namespace bench {

namespace {
bool under_valgrind() { return BENCH_UNDER_VALGRIND(); }
} // namespace

const bool counting = under_valgrind();

void fail(benchmark::State &state, const std::string &what) {
    failures++;
    state.SkipWithError(what.c_str());
}

benchmark::internal::Benchmark *add(const std::string &name,
                                    std::function<void(benchmark::State &)> body,
                                    std::initializer_list<int64_t> lengths) {
    bool with_length = lengths.size() != 0;
    benchmark::internal::Benchmark *b = benchmark::RegisterBenchmark(
        name.c_str(), [name, body, with_length](benchmark::State &state) {
            long logged = log_lines;
            body(state);
            if (log_lines != logged)
                fail(state, "the module logged: the benchmark measures the wrong path");
            if (counting) {
                std::string label = name;
                if (with_length)
                    label += "/" + std::to_string(state.range(0));
                label += " iterations=" + std::to_string(state.iterations());
                BENCH_COUNT_DUMP(label.c_str());
            }
        });
    for (int64_t length : lengths)
        b->Arg(length);
    return b;
}

int run(int argc, char **argv, void (*add_benchmarks)(), void (*finish)()) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // What measured() itself adds to a count, for the report to take off.
    add("measured_overhead", [](benchmark::State &state) {
        for (auto _ : state)
            benchmark::DoNotOptimize(measured([] { return 0; }));
    });
    add_benchmarks();
    benchmark::RunSpecifiedBenchmarks();
    if (finish != nullptr)
        finish();
    benchmark::Shutdown();
    if (failures != 0) {
        fprintf(stderr, "%d benchmark run(s) failed\n", failures);
        return 1;
    }
    return 0;
}

} // namespace bench
