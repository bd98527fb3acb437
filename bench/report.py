"""Turns the measured rows into bench/results.md: the table and the targets.

Run on its own (report.py results.json results.md) it rewrites the file
from saved figures without timing anything again.
"""

import datetime
import json
import os
import re
import sys

CLI = "nubika-sitemap-cli"
WINDOW = "nubika-sitemap (window)"
PEERS = ("static-sitemap-cli", "sitemap-static")


def row_of(table, size, name):
    for block in table:
        if block["size"] == size:
            for row in block["rows"]:
                if row["name"] == name and "median" in row:
                    return row
    return None


def block_of(table, size):
    return next((b for b in table if b["size"] == size), None)


def table_lines(table):
    lines = ["| Files | Folders | Program | Median (s) | Min (s) | Max (s) | Runs | Peak memory (MB) | Median per file (µs) |",
             "| ---: | ---: | --- | ---: | ---: | ---: | ---: | ---: | ---: |"]
    for block in table:
        for row in block["rows"]:
            head = f"| {block['files']:,} | {block['folders']:,} | {row['name']} |"
            if row.get("missing"):
                why = row.get("why", "the program is not built")
                lines.append(head + f" not measured: {why} | | | | | |")
            elif "failed" in row:
                lines.append(head + f" failed with exit status {row['failed']} | | | | | |")
            elif row.get("timed_out"):
                lines.append(head + " did not finish in 5 min | | | | | |")
            else:
                peak = "" if row.get("peak_kb") is None else f"{row['peak_kb'] / 1024:.1f}"
                lines.append(head + f" {row['median']:.3f} | {row['min']:.3f} | {row['max']:.3f} | {row['runs']} |"
                             f" {peak} | {row['median'] / block['files'] * 1e6:.2f} |")
    return lines


def verdict(value, limit, at_most=True):
    met = value <= limit if at_most else value >= limit
    return "met" if met else "**missed**"


def ratio(table, size_a, name_a, size_b, name_b, key, per_file=False):
    a, b = row_of(table, size_a, name_a), row_of(table, size_b, name_b)
    # Measured in turns with what it is compared with: the ratio of those runs.
    if a and size_a == size_b and a.get("against") == name_b:
        return a["ratio"] if key == "median" else a["ratio_min"]
    if b and size_a == size_b and b.get("against") == name_a:
        return 1 / (b["ratio"] if key == "median" else b["ratio_min"])
    if not a or not b:
        return None
    if per_file:
        return (a[key] / block_of(table, size_a)["files"]) / (b[key] / block_of(table, size_b)["files"])
    return a[key] / b[key]


def target_lines(table):
    """Each target on the medians, which decide, and on the fastest runs,
    which show what the programs cost when the shared machine is quiet."""
    lines = ["| Target | Limit | Measured (medians) | Measured (fastest runs) | |",
             "| --- | ---: | ---: | ---: | --- |"]

    def add(text, limit, values, at_most=True, unit="x"):
        median, fastest = values
        if median is None:
            lines.append(f"| {text} | {limit}{unit} | not measured | | |")
        else:
            lines.append(f"| {text} | {limit}{unit} | {median:.2f}{unit} | {fastest:.2f}{unit} |"
                         f" {verdict(median, limit, at_most)} |")

    add("CLI time / `find -type f` time, 100,000 files", 1.5,
        [ratio(table, 100000, CLI, 100000, "find", k) for k in ("median", "min")])
    big = 1000000
    add("CLI time / `find -type f` time, 1,000,000 files, warm cache, in turns", 0.6,
        [ratio(table, big, CLI + ", in turns with find", big, "find", k) for k in ("median", "min")])
    first = [ratio(table, big, CLI + ", first run", big, "find, before a first run", k) for k in ("median", "min")]
    if first[0] is not None:
        # The runs of the row above are reruns, which leave unchanged parts unwritten; a first run writes them all.
        lines.append(f"| CLI time / `find -type f` time, 1,000,000 files, first run (no sitemap yet), in turns | none |"
                     f" {first[0]:.2f}x | {first[1]:.2f}x | figure only |")
    cold = [ratio(table, big, CLI + ", cold cache", big, "find, cold cache", k) for k in ("median", "min")]
    if cold[0] is not None:
        # No target: two cores cannot halve what the kernel spends per folder read from the disk (the notes).
        lines.append(f"| CLI time / `find -type f` time, 1,000,000 files, cold cache, in turns | none |"
                     f" {cold[0]:.2f}x | {cold[1]:.2f}x | figure only |")
    add("CLI time / the previous build's, 10,000 files (no slower)", 1.0,
        [ratio(table, 10000, CLI, 10000, CLI + " (baseline build)", k) for k in ("median", "min")])
    add("CLI time with one reading thread / with one per core, 1,000,000 files (how much the threads give)", 1.0,
        [ratio(table, big, CLI + " --jobs 1", big, CLI, k) for k in ("median", "min")], at_most=False)
    add("`--gzip` time / plain CLI time, 1,000,000 files", 1.6,
        [ratio(table, big, CLI + " --gzip", big, CLI, k) for k in ("median", "min")])
    add("`--lastmod-from file` time / `find -printf` of dates, 1,000,000 files", 1.3,
        [ratio(table, big, CLI + " --lastmod-from file", big, "find -printf date", k) for k in ("median", "min")])
    add("`--exclude` of half the tree / plain CLI time, 1,000,000 files", 0.6,
        [ratio(table, big, CLI + " --exclude half", big, CLI, k) for k in ("median", "min")])
    add("static-sitemap-cli (noindex check) / `--skip-noindex`, 10,000 pages of 5 KiB", 20,
        [ratio(table, 10000, "static-sitemap-cli (noindex check)", 10000, CLI + " --skip-noindex", k)
         for k in ("median", "min")], at_most=False)
    baseline = [ratio(table, big, CLI, big, CLI + " (baseline build)", k) for k in ("median", "min")]
    if baseline[0] is not None:
        add("CLI time / the previous build's, 1,000,000 files", 1.0, baseline)
        add("CLI time on one core / the previous build's on one core (`taskset -c 0`), 1,000,000 files", 1.0,
            [ratio(table, big, CLI + ", one core", big, CLI + " (baseline build), one core", k)
             for k in ("median", "min")])

    peers = [p for p in PEERS if row_of(table, 100000, p)]
    if row_of(table, 100000, CLI) and not peers and block_of(table, 100000):
        lines.append("| faster npm peer time / CLI time, 100,000 files | 5x | both peers over 5 min | | met |")
    else:
        values = [min((ratio(table, 100000, p, 100000, CLI, k) for p in peers), default=None)
                  for k in ("median", "min")]
        add("faster npm peer time / CLI time, 100,000 files", 5, values, at_most=False)

    add("CLI time per file, 1,000,000 / 100,000 files", 1.3,
        [ratio(table, 1000000, CLI, 100000, CLI, k, per_file=True) for k in ("median", "min")])

    large, large_block = row_of(table, 1000000, CLI), block_of(table, 1000000)
    if large and large_block:
        per_entry = large["peak_kb"] * 1024 / (large_block["files"] + large_block["folders"])
        lines.append(f"| CLI peak memory per tree entry (files and folders), 1,000,000 files | 256 B |"
                     f" {per_entry:.0f} B | | {verdict(per_entry, 256)} |")
    else:
        lines.append("| CLI peak memory per tree entry (files and folders), 1,000,000 files | 256 B | not measured | | |")

    add("window run / CLI run, 1,000,000 files", 1.25,
        [ratio(table, big, WINDOW, big, CLI, k) for k in ("median", "min")])
    window = row_of(table, big, WINDOW)
    if window:
        lines += ["", "The window's sitemap on 1,000,000 files is " +
                  ("byte for byte the command line's." if window.get("same_sitemap") else
                   "**not** the same as the command line's.")]
    previous = row_of(table, big, CLI + " (baseline build)")
    if previous and "same_sitemap" in previous:
        lines += ["", "The command line's set on 1,000,000 files is " +
                  ("byte for byte the previous build's." if previous["same_sitemap"] else
                   "**not** the same as the previous build's.")]
    return lines


def markdown(table, cores, date):
    return "\n".join([
        "# Benchmark results",
        "",
        f"Measured on {date} on a machine with {cores} cores, by `make bench` (bench/run.sh).",
        "Every program runs on the same warm tree; time is wall-clock time, the median of the runs",
        "(hyperfine after one warm-up run under `/usr/bin/time -v`, which gives the peak memory, the",
        "maximum resident set size). A program whose first run takes over a minute is timed on that run only.",
        "The trees are synthetic static sites of empty files (bench/make_tree.py, fixed seed).",
        "",
        *table_lines(table),
        "",
        *load_lines(table),
        "## Targets",
        "",
        *target_lines(table),
        "",
        *notes(),
    ])


def load_lines(table):
    loads = [f"{b['load']:.1f} ({b['files']:,} files)" for b in table if "load" in b]
    if not loads:
        return []
    return ["The machine is shared with other work; the load average (1 min) when each size began was " +
            ", ".join(loads) + ".", ""]


TABLE_MARK = re.compile(r"^<!-- bench/out/([a-z_]+)\.md -->$", re.M)


def notes():
    """bench/notes.md, the analysis written by hand, when there is one, with
    the tables that bench/run.sh's feature scripts left in bench/out/ put in
    place of their marks."""
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "notes.md")
    if not os.path.exists(path):
        return []

    def table(mark):
        name = mark.group(1)
        measured = os.path.join(here, "out", name + ".md")
        if not os.path.exists(measured):
            return f"(not measured in this run: bench/{name}.sh writes this table)"
        with open(measured) as text:
            return text.read().rstrip("\n")

    with open(path) as text:
        return [TABLE_MARK.sub(table, text.read())]


if __name__ == "__main__":
    with open(sys.argv[1]) as saved:
        table = json.load(saved)
    with open(sys.argv[2], "w") as out:
        out.write(markdown(table, os.cpu_count(), datetime.date.today().isoformat()))
