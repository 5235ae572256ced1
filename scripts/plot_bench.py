#!/usr/bin/env python3
"""Plots each benchmark's median time against machine size from Google Benchmark JSON files.

    scripts/plot_bench.py OUT.png BENCH.json...

Writes a data file per benchmark beside OUT.png and draws them with gnuplot (log-log axes, so
a straight line of slope 1 is linear growth)."""
import json
import os
import subprocess
import sys
from collections import defaultdict


def series(paths):
    points = defaultdict(list)
    for path in paths:
        for run in json.load(open(path))["benchmarks"]:
            if run.get("run_type") == "aggregate" and run.get("aggregate_name") != "median":
                continue
            name, _, size = run["run_name"].partition("/")
            if not size.isdigit():
                continue
            scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run.get("time_unit", "ns")]
            points[name].append((int(size), run["real_time"] * scale))
    return points


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out, paths = sys.argv[1], sys.argv[2:]
    folder = os.path.dirname(os.path.abspath(out))
    plots = []
    for name, values in sorted(series(paths).items()):
        data = os.path.join(folder, name + ".dat")
        with open(data, "w") as f:
            for size, ms in sorted(set(values)):
                f.write(f"{size} {ms}\n")
        plots.append(f"'{data}' using 1:2 with linespoints title '{name[3:]}'")
    if not plots:
        sys.exit("no sized benchmarks in the input")
    script = "\n".join([
        "set terminal png size 1200,800",
        f"set output '{out}'",
        "set logscale xy",
        "set xlabel 'size (devices, records or INF copies, as the benchmark names)'",
        "set ylabel 'median time (ms)'",
        "set key outside right",
        "set grid",
        "plot " + ", ".join(plots),
    ])
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


if __name__ == "__main__":
    main()
