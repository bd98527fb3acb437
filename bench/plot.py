#!/usr/bin/env python3
"""Draws bench/speed.svg from the table of bench/results.md: time against
number of files for every program, both axes logarithmic.

It reads the table rather than the raw measurements so that the picture
always shows the figures beside it, and can be drawn again from the
committed results alone:

    python3 bench/plot.py bench/results.md bench/speed.svg

Each program is a line through its medians, with a bar from its fastest to
its slowest run; a size where a program did not finish has no point.
Drawn by gnuplot (Debian package gnuplot-nox).
"""

import re
import subprocess
import sys


def measured_rows(markdown):
    """{program: [(files, median, min, max)]} from the results table."""
    programs = {}
    in_table = False
    for line in markdown.splitlines():
        if line.startswith("| Files |"):
            in_table = True
            continue
        if in_table and not line.startswith("|"):
            break
        cells = [cell.strip() for cell in line.strip("|").split("|")]
        if not in_table or len(cells) < 6 or not re.fullmatch(r"[\d.]+", cells[3]):
            continue
        # The options' variants and the noindex sites are targets of their
        # own, not points of the same curves.
        if " --" in cells[2] or "(" in cells[2] and "window" not in cells[2] or cells[2].startswith("find -printf"):
            continue
        files = int(cells[0].replace(",", ""))
        programs.setdefault(cells[2], []).append((files, float(cells[3]), float(cells[4]), float(cells[5])))
    return programs


def gnuplot_script(programs, output):
    data = []
    plots = []
    for index, (name, rows) in enumerate(programs.items()):
        data.append(f"$p{index} << EOD")
        data += [f"{files} {median} {low} {high}" for files, median, low, high in sorted(rows)]
        data.append("EOD")
        # A program measured at one size only is a point, not a line.
        style = "yerrorlines" if len(rows) > 1 else "yerrorbars"
        plots.append(f"$p{index} using 1:2:3:4 with {style} linestyle {index + 1} title '{name}'")
    return "\n".join(data + [
        f"set terminal svg size 760,480 dynamic font 'sans,12' background '#ffffff'",
        f"set output '{output}'",
        "set logscale xy",
        "set format x '%.0s%c'",
        "set format y '%g'",
        "set xlabel 'files in the site'",
        "set ylabel 'wall-clock time (s), median; bars: fastest to slowest run'",
        "set grid xtics ytics mxtics mytics linecolor '#dddddd'",
        "set key top left box opaque",
        "set xrange [7000:1400000]",
        "set style line 1 linecolor '#777777' pointtype 1 pointsize 0.8 linewidth 1.5",
        "set style line 2 linecolor '#c0392b' pointtype 7 pointsize 0.8 linewidth 2.5",
        "set style line 3 linecolor '#2e86c1' pointtype 5 pointsize 0.8 linewidth 1.5",
        "set style line 4 linecolor '#28b463' pointtype 9 pointsize 0.8 linewidth 1.5",
        "set style line 5 linecolor '#8e44ad' pointtype 13 pointsize 1.2 linewidth 1.5",
        "plot " + ", \\\n     ".join(plots),
    ]) + "\n"


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: plot.py RESULTS.md SPEED.svg")
    with open(sys.argv[1], encoding="utf-8") as results:
        programs = measured_rows(results.read())
    if not programs:
        sys.exit(f"plot.py: no measured rows in {sys.argv[1]}")
    subprocess.run(["gnuplot"], input=gnuplot_script(programs, sys.argv[2]), text=True, check=True)


if __name__ == "__main__":
    main()
