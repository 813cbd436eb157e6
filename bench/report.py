#!/usr/bin/env python3
"""Turns the raw figures of scripts/bench.sh into one table: each figure next
to its baseline from the same run, the ratio, the goal, and whether it is met.
Prints the table and writes it as CSV for bench/chart.gp.

Raw lines (tab-separated): group item run seconds peak_bytes exit_status.
Timed pairs are compared run by run (both were measured side by side), so a
drift of the machine's speed between runs cancels out of the ratio.
"""
import argparse
import csv
import os
import re
import statistics
import sys
from collections import defaultdict

MIB = 1 << 20
KIB = 1 << 10


def load_raw(path):
    runs = defaultdict(dict)  # (group, item) -> run -> (seconds, peak)
    with open(path) as raw:
        for line in raw:
            group, item, run, seconds, peak, _ = line.split("\t")
            runs[(group, item)][int(run)] = (float(seconds), int(peak))
    return runs


def pair_ratios(runs, group, a, b):
    """A/B for each run where both ran."""
    first, second = runs.get((group, a), {}), runs.get((group, b), {})
    return [first[r][0] / second[r][0] for r in sorted(first) if r in second and second[r][0] > 0]


def times(runs, group, item):
    return [seconds for seconds, _ in runs.get((group, item), {}).values()]


def peaks(runs, group, item):
    return [peak for _, peak in runs.get((group, item), {}).values()]


def load_checksum(path):
    """Throughputs in bytes per second by (build, path) from what
    scripts/bench_checksum.sh prints: sections headed "== ...", and lines
    "<path> <n> MB/s" for the paths plain, sse2, avx2 and memcpy. Only the
    64 MiB buffer counts where a section has several. Builds: "native",
    "x86" (32-bit code) and "x86-8" (x86-64 held to 8 vector registers,
    which stands in where 32-bit code cannot run natively)."""
    figures = {}
    if not path or not os.path.exists(path):
        return figures
    build, buffer = None, None
    with open(path) as text:
        for line in text:
            if line.startswith("=="):
                header = line.lower()
                build = ("x86-8" if "8 vector registers" in header else
                         "x86" if "32-bit" in header else "native" if "native" in header else None)
                buffer = None
                continue
            size = re.match(r"^\s*(\d+ [KM]iB) buffer\s*$", line)
            if size:
                buffer = size.group(1)
                continue
            figure = re.match(r"^\s*(plain|sse2|avx2|memcpy)\s+([0-9.]+)\s*MB/s", line)
            if figure and build and buffer in (None, "64 MiB"):
                figures[(build, figure.group(1))] = float(figure.group(2)) * 1e6
    return figures


class Table:
    def __init__(self):
        self.rows = []

    def add(self, figure, value, unit, baseline_name, baseline, ratio, goal, met, note="", chart=None,
            chart_goal=None):
        """chart: the bar's label, for a judged ratio; chart_goal: the goal
        for that ratio when it is not the number in goal."""
        if chart_goal is None and re.search(r"[0-9.]+", goal):
            chart_goal = float(re.search(r"[0-9.]+", goal).group(0))
        self.rows.append(dict(figure=figure, value=value, unit=unit, baseline_name=baseline_name,
                              baseline=baseline, ratio=ratio, goal=goal, met=met, note=note,
                              chart=chart, chart_goal=chart_goal))


def fmt(value, unit):
    if value is None:
        return "-"
    if unit == "s":
        return f"{value * 1000:.1f} ms" if value < 10 else f"{value:.2f} s"
    if unit == "B/s":
        return f"{value / (1 << 30):.2f} GiB/s"
    if unit == "B":
        return f"{value / MIB:.2f} MiB" if value >= MIB else f"{value / KIB:.1f} KiB"
    return f"{value:g} {unit}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--raw", required=True)
    parser.add_argument("--checksum")
    parser.add_argument("--image", required=True)
    parser.add_argument("--largest-a", type=int, required=True)
    parser.add_argument("--largest-b", type=int, required=True)
    parser.add_argument("--csv", required=True)
    parser.add_argument("--chart-data", required=True)
    args = parser.parse_args()

    runs = load_raw(args.raw)
    table = Table()

    # Checksum throughput on a 64 MiB buffer: the fast paths against the
    # plain loop and against memcpy, natively and in 32-bit code.
    checksum = load_checksum(args.checksum)
    builds = [("native", "64-bit", "")]
    if (("x86", "plain")) in checksum:
        builds.append(("x86", "32-bit", ""))
    elif (("x86-8", "plain")) in checksum:
        builds.append(("x86-8", "32-bit", "32-bit code does not run natively here: x86-64 held to the "
                                          "32-bit build's 8 vector registers stands in"))
    else:
        builds.append(("x86", "32-bit", ""))
    for build, label, note in builds:
        plain, copy = checksum.get((build, "plain")), checksum.get((build, "memcpy"))
        for variant, over_plain, over_copy in (("sse2", 5.0, 0.7), ("avx2", 8.0, 1.0)):
            name = variant.upper()
            fast = checksum.get((build, variant))
            if fast is None or not plain or not copy:
                if variant == "sse2":
                    table.add(f"checksum {name} {label}", None, "B/s", "plain loop", None, None,
                              f">= {over_plain:g}", "n/a", "no figure from scripts/bench_checksum.sh")
                continue
            table.add(f"checksum {name} {label}", fast, "B/s", "plain loop", plain, fast / plain,
                      f">= {over_plain:g}", "yes" if fast / plain >= over_plain else "NO", note,
                      chart=f"checksum {name} {label} / plain")
            note = ""  # said once per build
            table.add(f"checksum {name} {label}", fast, "B/s", "memcpy", copy, fast / copy,
                      f">= {over_copy:g}", "yes" if fast / copy >= over_copy else "NO", note,
                      chart=f"checksum {name} {label} / memcpy")

    # Installation: the updater against the floor (the same files, one read
    # and one write each) and against cp. (a) is judged on the median of the
    # run-by-run ratios; (b), whose fresh memory sometimes faults in slowly,
    # on the ratio of the fastest runs.
    for tag, label in (("a", "(a) 17 entries, 14 MiB"), ("b", "(b) 4 entries, 1 GiB")):
        group = f"install_{tag}"
        mine, floor, cp = (times(runs, group, item) for item in ("updater", "floor", "cp"))
        if not mine:
            continue
        if tag == "a":
            value, base = statistics.median(mine), statistics.median(floor)
            ratio = statistics.median(pair_ratios(runs, group, "updater", "floor"))
            note = f"medians of {len(mine)} runs, ratio: median of run-by-run ratios"
        else:
            value, base = min(mine), min(floor)
            ratio = value / base
            note = (f"minimum of {len(mine)} runs (median {fmt(statistics.median(mine), 's')}, "
                    f"floor {fmt(statistics.median(floor), 's')})")
        table.add(f"install {label}: updater", value, "s", "floor", base, ratio, "<= 1.25",
                  "yes" if ratio <= 1.25 else "NO", note,
                  chart=f"install ({tag}){' min' if tag == 'b' else ''} / floor")
        if tag == "a":
            cp_value = statistics.median(cp)
            cp_ratio = statistics.median(pair_ratios(runs, group, "updater", "cp"))
            floor_cp = statistics.median(pair_ratios(runs, group, "floor", "cp"))
        else:
            cp_value = min(cp)
            cp_ratio = value / cp_value
            floor_cp = base / cp_value
        table.add(f"install {label}: updater", value, "s", "cp", cp_value, cp_ratio, "", "",
                  f"the floor itself is {floor_cp:.2f} x cp")
        if tag == "a" and times(runs, group, "no_flush"):
            table.add(f"install {label}: updater, flush made free", statistics.median(times(runs, group, "no_flush")),
                      "s", "floor", base, statistics.median(pair_ratios(runs, group, "no_flush", "floor")), "", "",
                      "fsync preloaded as a no-op: what the one flush (of uninst.lst) costs is the difference")

    # Packing: updpack create against cp of the same files.
    for tag, label in (("a", "(a) 14 MiB"), ("b", "(b) 1 GiB")):
        group = f"pack_{tag}"
        mine = times(runs, group, "updpack")
        if not mine:
            continue
        value, base = statistics.median(mine), statistics.median(times(runs, group, "cp"))
        ratio = statistics.median(pair_ratios(runs, group, "updpack", "cp"))
        table.add(f"pack {label}: updpack create", value, "s", "cp", base, ratio, "<= 1.5",
                  "yes" if ratio <= 1.5 else "NO", f"medians of {len(mine)} runs",
                  chart=f"pack ({tag}) / cp")

    # Peak memory of the updater against its largest entry.
    for tag, largest in (("a", args.largest_a), ("b", args.largest_b)):
        peak = peaks(runs, f"install_{tag}", "updater")
        if not peak:
            continue
        top = max(peak)
        above = top - largest
        table.add(f"peak memory ({tag}): updater, above its largest entry", above, "B", "largest entry", largest,
                  top / (largest + 2 * MIB), "<= 2 MiB above", "yes" if above <= 2 * MIB else "NO",
                  f"{above} bytes above; peak {top} bytes, the highest of {len(peak)} runs",
                  chart=f"peak memory ({tag}) / (largest + 2 MiB)", chart_goal=1)

    # The size of the shipped image.
    size = os.path.getsize(args.image)
    table.add("updater.exe size", size, "B", "budget", 32 * KIB, size / (32 * KIB), "<= 1 (32 KiB)",
              "yes" if size <= 32 * KIB else "NO", f"{size} bytes; hard limit 65536",
              chart="updater.exe / 32 KiB")

    write_csv(table, args.csv)
    write_chart_data(table, args.chart_data)
    print_table(table)


def write_csv(table, path):
    with open(path, "w", newline="") as out:
        writer = csv.writer(out)
        writer.writerow(["figure", "value", "unit", "baseline", "baseline_value", "ratio", "goal", "met", "note"])
        for row in table.rows:
            writer.writerow([row["figure"], "" if row["value"] is None else f"{row['value']:.6g}", row["unit"],
                             row["baseline_name"], "" if row["baseline"] is None else f"{row['baseline']:.6g}",
                             "" if row["ratio"] is None else f"{row['ratio']:.4f}", row["goal"], row["met"],
                             row["note"]])


def write_chart_data(table, path):
    """One line per judged ratio: label, ratio, goal, 1 when met. Ratios
    that must stay below their goal and those that must reach it share one
    axis; the goal is drawn as a mark on each bar."""
    with open(path, "w") as out:
        out.write("label\tratio\tgoal\tmet\n")
        for row in table.rows:
            goal = row["chart_goal"]
            if row["ratio"] is None or goal is None or row["chart"] is None:
                continue
            out.write(f"\"{row['chart']}\"\t{row['ratio']:.4f}\t{goal:g}\t"
                      f"{1 if row['met'] == 'yes' else 0}\n")


def print_table(table):
    header = ("figure", "value", "baseline", "ratio", "goal", "met")
    lines = []
    for row in table.rows:
        baseline = f"{row['baseline_name']} {fmt(row['baseline'], row['unit'])}"
        ratio = "-" if row["ratio"] is None else f"{row['ratio']:.2f}"
        lines.append((row["figure"], fmt(row["value"], row["unit"]), baseline, ratio, row["goal"], row["met"]))
    widths = [max(len(str(line[i])) for line in lines + [header]) for i in range(len(header))]
    def show(line):
        return "  ".join(str(cell).ljust(width) for cell, width in zip(line, widths)).rstrip()
    print(show(header))
    print(show(tuple("-" * width for width in widths)))
    for line, row in zip(lines, table.rows):
        print(show(line))
        if row["note"]:
            print(" " * (widths[0] + 2) + row["note"])
    missed = [row["figure"] for row in table.rows if row["met"] == "NO"]
    print()
    print("every goal met" if not missed else f"goals missed: {len(missed)}")
    sys.stdout.flush()


if __name__ == "__main__":
    main()
