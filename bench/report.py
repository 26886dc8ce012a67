#!/usr/bin/env python3
"""Prints the benchmark figures as a markdown table, each module figure beside
its floor and the ratio of the two.

  report.py TIMES.json [CALLGRIND_DIR]

TIMES.json is a benchmark program's --benchmark_out (JSON); with repetitions,
the fastest is used, the one least disturbed by whatever else ran. Times are
CPU time, or wall-clock time for benchmarks that use it (UseRealTime); a
benchmark's calls_per_second counter, where it has one, is listed after the
table, the highest of its repetitions. CALLGRIND_DIR holds the dumps of a
run under `valgrind --tool=callgrind --collect-atstart=no`: one per benchmark run, labelled "<name> iterations=<n>". Each benchmark's
instructions per operation come from its longest run (the short first runs
also pay for lazy binding), less what measured() itself adds.
"""

import json
import os
import re
import sys

FLOOR = "floor/"
OVERHEAD = "measured_overhead"
FULL_MODEL = ("full_model/build", "full_model/find_all")


def load_times(path):
    """time in ns per operation, and calls_per_second, by benchmark name."""
    with open(path) as f:
        data = json.load(f)
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    times, rates = {}, {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate":
            continue
        name = b.get("run_name", b["name"])
        # What waits (for the disk, for another process's lock) is timed by
        # the wall clock, and named without the suffix that says so.
        clock = "real_time" if "/real_time" in b["name"] else "cpu_time"
        name = name.replace("/real_time", "")
        ns = b[clock] * scale[b.get("time_unit", "ns")]
        times[name] = min(ns, times.get(name, ns))
        if "calls_per_second" in b:
            rates[name] = max(b["calls_per_second"], rates.get(name, 0.0))
    return times, rates


LABEL = re.compile(r"^desc: Trigger: Client Request: (.*) iterations=(\d+)$")
TOTALS = re.compile(r"^(?:summary|totals): (\d+)$")


def dump_number(entry):
    """callgrind numbers its dumps out.PID.1, out.PID.2, ... in the order taken."""
    last = entry.rsplit(".", 1)[-1]
    return int(last) if last.isdigit() else 0


def load_counts(directory):
    """instructions per operation, by benchmark name, in the order they ran."""
    longest = {}
    for entry in sorted(os.listdir(directory), key=dump_number):
        name = iterations = total = None
        with open(os.path.join(directory, entry)) as f:
            for line in f:
                m = LABEL.match(line.rstrip("\n"))
                if m:
                    name, iterations = m.group(1), int(m.group(2))
                m = TOTALS.match(line)
                if m:
                    total = int(m.group(1))
        if name is None or total is None or iterations == 0:
            continue
        if name not in longest or iterations > longest[name][0]:
            longest[name] = (iterations, total / iterations)
    counts = {name: per_op for name, (_, per_op) in longest.items()}
    overhead = counts.pop(OVERHEAD, 0.0)
    return {name: max(per_op - overhead, 0.0) for name, per_op in counts.items()}


def add_total(figures):
    """The full model's total: build plus find_all, for the module and its floor."""
    for prefix in ("", FLOOR):
        parts = [figures.get(prefix + name) for name in FULL_MODEL]
        if all(p is not None for p in parts):
            figures[prefix + "full_model/total"] = sum(parts)


def ratio(module, floor):
    if module is None or floor is None or floor == 0:
        return ""
    return f"{module / floor:.2f}"


def time_text(ns):
    if ns is None:
        return ""
    if ns >= 1e6:
        return f"{ns / 1e6:.1f} ms"
    if ns >= 1e4:
        return f"{ns / 1e3:.1f} µs"
    return f"{ns:.0f} ns"


def count_text(n):
    return "" if n is None else f"{n:,.0f}"


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    times, rates = load_times(argv[1])
    counts = load_counts(argv[2]) if len(argv) == 3 else {}
    times.pop(OVERHEAD, None)
    add_total(times)
    add_total(counts)

    # The counting run is not interleaved: its order is the registration order.
    names = [n for n in counts if not n.startswith(FLOOR)]
    names += [n for n in times if not n.startswith(FLOOR) and n not in counts]
    print("| operation | time | floor | ratio | instructions | floor | ratio |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    worst = []
    for name in names:
        t, tf = times.get(name), times.get(FLOOR + name)
        c, cf = counts.get(name), counts.get(FLOOR + name)
        print(f"| {name} | {time_text(t)} | {time_text(tf)} | {ratio(t, tf)} "
              f"| {count_text(c)} | {count_text(cf)} | {ratio(c, cf)} |")
        if c is not None and cf:
            worst.append((c / cf, name))
    if worst:
        r, name = max(worst)
        print(f"\nHighest instruction ratio: {r:.2f} ({name}).")
    if rates:
        print("\n| benchmark | calls per second |\n|---|---:|")
        for name, rate in rates.items():
            print(f"| {name} | {rate:,.0f} |")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
