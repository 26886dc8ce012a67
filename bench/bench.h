// What every benchmark shares. The program plays the host: it supplies
// hosk_strdup and syslog, owns the list heads, and links the built library.
//
// Each figure comes in a pair: the module's operation, named after the
// exported function, and its floor, named "floor/..." + the same name, which
// does by hand only the work any implementation must do. Under callgrind only
// what runs inside measured() is counted, and each benchmark run dumps its
// counts labelled with its name and iterations (see bench/report.py).
#ifndef CONFMODEL_BENCH_BENCH_H
#define CONFMODEL_BENCH_BENCH_H

#include "confmodel.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <initializer_list>
#include <string>

// Without valgrind's headers the program still runs; it only cannot count.
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define BENCH_UNDER_VALGRIND() (RUNNING_ON_VALGRIND != 0)
#define BENCH_COUNT_TOGGLE() CALLGRIND_TOGGLE_COLLECT
#define BENCH_COUNT_DUMP(label) CALLGRIND_DUMP_STATS_AT(label)
#else
#define BENCH_UNDER_VALGRIND() false
#define BENCH_COUNT_TOGGLE() ((void)0)
#define BENCH_COUNT_DUMP(label) ((void)(label))
#endif

namespace bench {

// True when running under valgrind: then measured() switches collection.
extern const bool counting;

// Runs op once; only its own work is counted, not the benchmark's loop,
// set-up or clean-up. Costs a predictable branch when not counting.
template <typename Op> inline decltype(auto) measured(Op &&op) {
    if (counting)
        BENCH_COUNT_TOGGLE();
    decltype(auto) result = op();
    if (counting)
        BENCH_COUNT_TOGGLE();
    return result;
}

// Marks the benchmark failed: the program then exits non-zero.
void fail(benchmark::State &state, const std::string &what);

// Registers a benchmark, and returns it for further settings. With lengths,
// it runs once per list length, read from state.range(0). A run that made the
// module log fails.
benchmark::internal::Benchmark *add(const std::string &name,
                                    std::function<void(benchmark::State &)> body,
                                    std::initializer_list<int64_t> lengths = {});

// A program's main: registers the measured() overhead and add_benchmarks'
// benchmarks, runs those the command line selects, then calls finish (when
// not null). Non-zero when an argument is unknown or a run failed.
int run(int argc, char **argv, void (*add_benchmarks)(), void (*finish)());

// Each file's benchmarks.
void add_model_benchmarks();
void add_full_model_benchmarks();
void add_ports_benchmarks();
void add_dcbx_benchmarks();

// Releases the lists the lookups kept, as the host would at the end.
void release_kept_lists();

} // namespace bench

#endif
