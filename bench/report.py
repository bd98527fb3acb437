"""Turns the measured rows into bench/results.md: the table and the targets.

Run on its own (report.py results.json results.md) it rewrites the file
from saved figures without timing anything again.
"""

import datetime
import json
import os
import sys

CLI = "nubika-sitemap-cli"
WINDOW = "nubika-sitemap (window)"
PEERS = ("static-sitemap-cli", "sitemap-static")


def row_of(table, size, name):
    for block in table:
        if block["size"] == size:
            for row in block["rows"]:
                if row["name"] == name and not row.get("missing") and not row.get("timed_out"):
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
                lines.append(head + " not measured: the program is not built | | | | | |")
            elif row.get("timed_out"):
                lines.append(head + " did not finish in 5 min | | | | | |")
            else:
                lines.append(head + f" {row['median']:.3f} | {row['min']:.3f} | {row['max']:.3f} | {row['runs']} |"
                             f" {row['peak_kb'] / 1024:.1f} | {row['median'] / block['files'] * 1e6:.2f} |")
    return lines


def verdict(value, limit, at_most=True):
    met = value <= limit if at_most else value >= limit
    return "met" if met else "**missed**"


def target_lines(table):
    lines = ["| Target | Limit | Measured | |", "| --- | ---: | ---: | --- |"]

    def add(text, limit, value, at_most=True, unit="x"):
        if value is None:
            lines.append(f"| {text} | {limit}{unit} | not measured | |")
        else:
            lines.append(f"| {text} | {limit}{unit} | {value:.2f}{unit} | {verdict(value, limit, at_most)} |")

    for size in (100000, 1000000):
        cli, find = row_of(table, size, CLI), row_of(table, size, "find")
        add(f"CLI time / `find -type f` time, {size:,} files", 1.5,
            cli["median"] / find["median"] if cli and find else None)

    cli = row_of(table, 100000, CLI)
    peers = [row_of(table, 100000, p) for p in PEERS]
    block = block_of(table, 100000)
    if cli and block and any(peers):
        fastest = min(p["median"] for p in peers if p)
        add("faster npm peer time / CLI time, 100,000 files", 5, fastest / cli["median"], at_most=False)
    elif cli and block:
        lines.append("| faster npm peer time / CLI time, 100,000 files | 5x | both peers over 5 min | met |")
    else:
        add("faster npm peer time / CLI time, 100,000 files", 5, None, at_most=False)

    small, large = row_of(table, 100000, CLI), row_of(table, 1000000, CLI)
    if small and large:
        per_small = small["median"] / block_of(table, 100000)["files"]
        per_large = large["median"] / block_of(table, 1000000)["files"]
        add("CLI time per file, 1,000,000 / 100,000 files", 1.3, per_large / per_small)
    else:
        add("CLI time per file, 1,000,000 / 100,000 files", 1.3, None)

    large_block = block_of(table, 1000000)
    if large and large_block:
        entries = large_block["files"] + large_block["folders"]
        add("CLI peak memory per tree entry, 1,000,000 files", 256, large["peak_kb"] * 1024 / entries, unit=" B")
    else:
        add("CLI peak memory per tree entry, 1,000,000 files", 256, None, unit=" B")

    window, cli = row_of(table, 200000, WINDOW), row_of(table, 200000, CLI)
    add("window run / CLI run, 200,000 files", 1.25, window["median"] / cli["median"] if window and cli else None)
    if window:
        lines += ["", "The window's sitemap on 200,000 files is " +
                  ("byte for byte the command line's." if window.get("same_sitemap") else
                   "**not** the same as the command line's.")]
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
        "## Targets",
        "",
        *target_lines(table),
        "",
    ])


if __name__ == "__main__":
    with open(sys.argv[1]) as saved:
        table = json.load(saved)
    with open(sys.argv[2], "w") as out:
        out.write(markdown(table, os.cpu_count(), datetime.date.today().isoformat()))
