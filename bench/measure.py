#!/usr/bin/env python3
"""Measures commands side by side and prints one Markdown table.

For each command: user-space instructions (callgrind, exact and repeatable),
wall time (hyperfine: median and interquartile range), and peak resident
memory (GNU time). Each figure is also given as a ratio to `uname -a`.

usage: measure.py RUNS LABEL=COMMAND... [--skip LABEL=REASON...] [--compare LABEL|LABEL...]
"""
import json
import os
import re
import shlex
import statistics
import subprocess
import sys
import tempfile


def instructions(command, workdir):
    with tempfile.NamedTemporaryFile(dir=workdir, suffix=".callgrind") as out:
        run = subprocess.run(
            ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out.name] + command,
            cwd=workdir, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    found = re.search(r"Collected : (\d+)", run.stderr)
    if not found:
        sys.exit("callgrind gave no count for %s:\n%s" % (command, run.stderr[-2000:]))
    return int(found.group(1))


ROUNDS = 5


def timed_runs(command, runs, workdir):
    with tempfile.NamedTemporaryFile(dir=workdir, suffix=".json") as out:
        subprocess.run(
            ["hyperfine", "-N", "--style", "none", "--warmup", str(max(5, runs // 10)),
             "--runs", str(runs), "--export-json", out.name, shlex.join(command)],
            cwd=workdir, stdout=subprocess.DEVNULL, check=True)
        return json.load(open(out.name))["results"][0]["times"]


def wall_times(commands, runs, workdir):
    """Median and interquartile range of each command's wall time. The runs
    are taken in rounds, every command in each round, so that a drift in the
    machine's load falls on all of them alike."""
    times = {label: [] for label, _ in commands}
    for _ in range(ROUNDS):
        for label, command in commands:
            times[label] += timed_runs(command, max(2, runs // ROUNDS), workdir)
    result = {}
    for label, values in times.items():
        quartiles = statistics.quantiles(values, n=4)
        result[label] = (statistics.median(values), quartiles[2] - quartiles[0])
    return result


def peak_memory_kib(command, workdir, repeats=15):
    peaks = []
    for _ in range(repeats):
        run = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, cwd=workdir,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        peaks.append(int(run.stderr.strip().splitlines()[-1]))
    return int(statistics.median(peaks))


def main():
    runs = int(sys.argv[1])
    measured, skipped, compared = [], [], []
    arguments = sys.argv[2:]
    while arguments:
        argument = arguments.pop(0)
        if argument == "--skip":
            label, reason = arguments.pop(0).split("=", 1)
            skipped.append((label, reason))
            continue
        if argument == "--compare":
            compared.append(tuple(arguments.pop(0).split("|", 1)))
            continue
        label, command = argument.split("=", 1)
        measured.append((label, shlex.split(command)))

    rows = {}
    with tempfile.TemporaryDirectory(prefix="orbelle-bench.") as workdir:
        print("timing, in %d rounds" % ROUNDS, file=sys.stderr)
        timings = wall_times(measured, runs, workdir)
        for label, command in measured:
            print("counting and weighing %s" % label, file=sys.stderr)
            median, spread = timings[label]
            rows[label] = (instructions(command, workdir), median, spread,
                           peak_memory_kib(command, workdir))

    base = rows["`uname -a`"]
    print("| Command | Instructions | × uname | Median wall time | Spread (IQR) | × uname "
          "| Peak RSS | × uname |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for label, _ in measured:
        count, median, spread, rss = rows[label]
        print("| %s | %s | %.2f | %.3f ms | %.3f ms | %.2f | %s KiB | %.2f |" % (
            label, format(count, ","), count / base[0], median * 1000, spread * 1000,
            median / base[1], format(rss, ","), rss / base[3]))
    for label, reason in skipped:
        print("| %s | not measured: %s | | | | | | |" % (label, reason))
    for label, other in compared:
        (count, median, _, rss), (count0, median0, _, rss0) = rows[label], rows[other]
        print("\n%s against %s: instructions %+.1f %%, median wall time %+.1f %%, peak RSS %+.1f %%."
              % (label, other, 100.0 * (count - count0) / count0, 100.0 * (median - median0) / median0,
                 100.0 * (rss - rss0) / rss0))


if __name__ == "__main__":
    main()
