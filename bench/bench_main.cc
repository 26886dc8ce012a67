// The benchmark program of the module against the in-memory store.
#include "bench.h"

int main(int argc, char **argv) {
    return bench::run(
        argc, argv,
        [] {
            bench::add_model_benchmarks();
            bench::add_ports_benchmarks();
            bench::add_dcbx_benchmarks();
            bench::add_full_model_benchmarks();
        },
        bench::release_kept_lists);
}
