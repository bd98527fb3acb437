#!/usr/bin/env python3
"""Times the sitemap programs side by side on the generated trees and writes
bench/results.md.

Each command first runs once under /usr/bin/time -v (which warms the tree
and gives the peak memory), then several times under hyperfine. A command
whose first run passes the time limit is recorded as not finishing, and a
very slow one is timed on that one run only, so that a full run stays
within reach on a small machine.

Called by run.sh, which installs what this needs; see there for the
environment it reads.
"""

import argparse
import datetime
import json
import os
import re
import shutil
import shlex
import subprocess
import sys
import tempfile
import time

LIMIT_SECONDS = 300
FEW_RUNS_AFTER = 10.0    # a first run longer than this gets 3 timed runs
ONE_RUN_AFTER = 60.0     # and longer than this, none beyond the first


class RunFailed(Exception):
    pass


def first_run(argv, env, out_path):
    """(seconds, peak kB) of one run, or (None, None) past the limit."""
    with open(out_path, "wb") as out, tempfile.NamedTemporaryFile("r") as report:
        try:
            done = subprocess.run(["/usr/bin/time", "-v", "-o", report.name] + argv, env=env,
                                  stdout=out, stderr=subprocess.PIPE, timeout=LIMIT_SECONDS)
        except subprocess.TimeoutExpired:
            return None, None
        text = report.read()
    if done.returncode != 0:
        print(f"{argv[0]} failed ({done.returncode}): {done.stderr.decode(errors='replace')[-2000:]}",
              file=sys.stderr)
        raise RunFailed(done.returncode)
    peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1))
    wall = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): (?:(\d+):)?(\d+):([\d.]+)", text)
    seconds = int(wall.group(1) or 0) * 3600 + int(wall.group(2)) * 60 + float(wall.group(3))
    return seconds, peak


def timed_runs(argv, env, runs):
    with tempfile.NamedTemporaryFile("r", suffix=".json") as export:
        subprocess.run(["hyperfine", "--shell=none", "--style", "basic", "--runs", str(runs),
                        "--export-json", export.name, shlex.join(argv)],
                       env=env, check=True, stdout=subprocess.DEVNULL)
        return json.load(export)["results"][0]["times"]


def measure(name, argv, env, out_path, runs):
    try:
        seconds, peak = first_run(argv, env, out_path)
    except RunFailed as failure:
        return {"name": name, "failed": failure.args[0]}
    row = {"name": name, "peak_kb": peak}
    if seconds is None:
        row.update(timed_out=True)
        print(f"  {name}: more than {LIMIT_SECONDS} s", flush=True)
        return row
    if seconds > ONE_RUN_AFTER:
        times = [seconds]
    else:
        times = timed_runs(argv, env, 3 if seconds > FEW_RUNS_AFTER else runs)
    times.sort()
    row.update(timed_out=False, runs=len(times), min=times[0], max=times[-1],
               median=times[len(times) // 2] if len(times) % 2 else
               (times[len(times) // 2 - 1] + times[len(times) // 2]) / 2)
    print(f"  {name}: median {row['median']:.3f} s over {len(times)}, peak {peak} kB", flush=True)
    return row


def timed_once(argv, env):
    started = time.perf_counter()
    subprocess.run(argv, env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - started


def in_turns(name, argv, base_name, base_argv, env, runs, before_each=lambda: None):
    """Times argv and base_argv in turns, so that both see the same load:
    the ratio of the two is what a target asks for, and on a shared machine
    the load changes within minutes."""
    times, base_times = [], []
    for _ in range(runs):
        before_each()
        base_times.append(timed_once(base_argv, env))
        before_each()
        times.append(timed_once(argv, env))
    times.sort()
    base_times.sort()
    median = times[len(times) // 2]
    base_median = base_times[len(base_times) // 2]
    row = {"name": name, "timed_out": False, "runs": runs, "min": times[0], "max": times[-1],
           "median": median, "against": base_name, "ratio": median / base_median,
           "ratio_min": times[0] / base_times[0]}
    print(f"  {name}: median {median:.3f} s over {runs}, {row['ratio']:.2f}x {base_name} "
          f"({base_median:.3f} s) in turns", flush=True)
    return row


def measure_pair(name, argv, base_name, base_argv, env, out_path, runs):
    """argv in turns with base_argv, after a first run for its peak memory."""
    try:
        seconds, peak = first_run(argv, env, out_path)
    except RunFailed as failure:
        return {"name": name, "failed": failure.args[0]}
    if seconds is None:
        return {"name": name, "peak_kb": None, "timed_out": True}
    row = in_turns(name, argv, base_name, base_argv, env, 3 if seconds > FEW_RUNS_AFTER else runs)
    row["peak_kb"] = peak
    return row


def drop_caches():
    """Empties the page cache, so that the next run reads the tree from the
    disk; False when this user may not."""
    try:
        os.sync()
        with open("/proc/sys/vm/drop_caches", "w") as caches:
            caches.write("3\n")
        return True
    except OSError:
        return False


def measure_cold_pair(name, argv, base_name, base_argv, env, runs):
    """In turns with the page cache dropped before every run of either
    program: what a first run after a reboot or a large copy costs."""
    if not drop_caches():
        return {"name": name, "missing": True, "why": "only root may drop the page cache"}
    row = in_turns(name, argv, base_name, base_argv, env, runs, before_each=drop_caches)
    row["peak_kb"] = None
    return row


# The program's own files in a tree's root: the sitemap or index, its parts.
OWN_SET = re.compile(r"nubika_sitemap(-[0-9a-f]{16})?\.xml(\.gz)?")


def tree_entries(tree):
    """Files and folders below the tree's root, the program's set left out."""
    files = folders = 0
    for _, dirs, names in os.walk(tree):
        folders += len(dirs)
        files += sum(1 for n in names if not OWN_SET.fullmatch(n))
    return files, folders


def remove_set(tree):
    """Takes the program's set out of the tree, so that the next run is a first one."""
    for name in os.listdir(tree):
        if OWN_SET.fullmatch(name):
            os.unlink(os.path.join(tree, name))


def commands(args, tree):
    cli = [os.path.join(args.build, "bin", "nubika-sitemap-cli"), tree, "--settings", args.settings,
           "--base-url", "https://example.jp/", "--ext", "html,htm",
           "--priority", "--changefreq", "--lastmod", "--quiet"]
    bins = os.path.join(args.node_modules, ".bin")
    yield "find", ["find", tree, "-type", "f"]
    yield "nubika-sitemap-cli", cli
    yield "static-sitemap-cli", [os.path.join(bins, "sscli"), "-b", "https://example.jp", "-r", tree,
                                 "-f", "xml", "-o", "--no-robots", "--no-clean", "-m", "**/*.{html,htm}"]
    yield "sitemap-static", [os.path.join(bins, "sitemap-static"), "--prefix=https://example.jp/", tree]


def half_of_the_tree(tree):
    """--exclude arguments for top folders that hold about half the files."""
    counts = []
    for name in sorted(os.listdir(tree)):
        path = os.path.join(tree, name)
        if os.path.isdir(path) and not os.path.islink(path):
            counts.append((name, sum(len(files) for _, _, files in os.walk(path))))
    total, taken, patterns = sum(c for _, c in counts), 0, []
    for name, count in counts:
        if taken >= total / 2:
            break
        patterns += ["--exclude", f"/{name}/"]
        taken += count
    return patterns, taken / max(total, 1)


def option_commands(args, tree, cli):
    """Variants of the command line on the largest tree, for the options'
    targets, each with what it is measured against: (name, argv, base name,
    base argv)."""
    plain = "nubika-sitemap-cli"
    find = ["find", tree, "-type", "f"]
    yield "nubika-sitemap-cli, in turns with find", cli, "find", find
    yield "nubika-sitemap-cli --jobs 1", cli + ["--jobs", "1"], plain, cli
    dates = ["find", tree, "-type", "f", "-printf", "%TY-%Tm-%Td %p\\n"]
    yield "nubika-sitemap-cli --lastmod-from file", cli + ["--lastmod-from", "file"], "find -printf date", dates
    yield "nubika-sitemap-cli --gzip", cli + ["--gzip"], plain, cli
    patterns, share = half_of_the_tree(tree)
    print(f"  --exclude leaves out {share:.0%} of the files", flush=True)
    yield "nubika-sitemap-cli --exclude half", cli + patterns, plain, cli
    if os.environ.get("BASELINE_CLI"):
        baseline = [os.environ["BASELINE_CLI"]] + cli[1:]
        yield "nubika-sitemap-cli (baseline build)", baseline, plain, cli
        # One core: no thread of either build runs beside another.
        one_core = ["taskset", "-c", "0"]
        yield "nubika-sitemap-cli, one core", one_core + cli, "nubika-sitemap-cli (baseline build), one core", \
            one_core + baseline


def noindex_commands(args, tree):
    cli = [os.path.join(args.build, "bin", "nubika-sitemap-cli"), tree, "--settings", args.settings,
           "--base-url", "https://example.jp/", "--ext", "html", "--skip-noindex", "--quiet"]
    yield "nubika-sitemap-cli --skip-noindex", cli
    yield "static-sitemap-cli (noindex check)", [os.path.join(args.node_modules, ".bin", "sscli"), "-b",
                                                 "https://example.jp", "-r", tree, "-f", "xml", "-o",
                                                 "--no-clean"]


WINDOW_SETTINGS = """[SETTING]
BASE_URL=https://example.jp/
PRIORITY_AUTO=1
UPDATE_FREQ_AUTO=1
LAST_UPDATE_AUTO=1
MOBILE=0
KAKUCHO=html,htm,
"""


def window_command(args, tree):
    """The desktop program with the command line's options, or None.

    The window takes its options from the Setting.ini beside it, so it runs
    from a copy in the output folder with one that asks what the command
    line asks; the build's own settings stay untouched.
    """
    built = os.path.join(args.build, "bin", "nubika-sitemap")
    if not os.access(built, os.X_OK):
        return None
    folder = os.path.join(args.out, "window")
    os.makedirs(folder, exist_ok=True)
    shutil.copy2(built, os.path.join(folder, "nubika-sitemap"))
    with open(os.path.join(folder, "Setting.ini"), "w") as settings:
        settings.write(WINDOW_SETTINGS)
    return [os.path.join(folder, "nubika-sitemap"), tree]


def keep_sitemap(tree, out_path):
    shutil.copyfile(os.path.join(tree, "nubika_sitemap.xml"), out_path)


def set_digest(tree):
    """A digest of the URL blocks of the tree's sitemap, index and parts."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fault", "set_digest.py")
    return subprocess.run([sys.executable, script, tree], capture_output=True, text=True).stdout.strip()


def same_set(argv, other_argv, tree, env):
    """Whether two programs write the same set of the tree, byte for byte."""
    digests = []
    for command in (argv, other_argv):
        subprocess.run(command, env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        digests.append(set_digest(tree))
    return digests[0] == digests[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--trees", required=True)
    parser.add_argument("--node-modules", required=True)
    parser.add_argument("--settings", required=True, help="an empty settings file")
    parser.add_argument("--out", required=True, help="folder for the programs' output")
    parser.add_argument("--results", required=True)
    parser.add_argument("--sizes", default="10000,100000,200000,1000000")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--window-size", type=int, default=1000000)
    parser.add_argument("--options-size", type=int, default=1000000)
    parser.add_argument("--pages", default="10000,100000", help="sizes of the noindex sites")
    args = parser.parse_args()

    os.makedirs(args.out, exist_ok=True)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    sizes = [int(s) for s in args.sizes.split(",")]
    table = []
    for size in sizes:
        tree = os.path.join(args.trees, f"site-{size}")
        files, folders = tree_entries(tree)
        print(f"{size} files ({folders} folders):", flush=True)
        load = os.getloadavg()[0]
        rows = []
        for name, argv in commands(args, tree):
            rows.append(measure(name, argv, env, os.path.join(args.out, f"{name}-{size}.xml"), args.runs))
            if name == "nubika-sitemap-cli":
                keep_sitemap(tree, os.path.join(args.out, f"{name}-{size}.xml"))
                cli_digest = set_digest(tree)
                cli = argv
        if size == args.options_size:
            for name, argv, base_name, base_argv in option_commands(args, tree, cli):
                rows.append(measure_pair(name, argv, base_name, base_argv, env,
                                         os.path.join(args.out, f"{name}-{size}.out"), args.runs))
                if name.endswith("(baseline build)"):
                    rows[-1]["same_sitemap"] = same_set(argv, cli, tree, env)
            # The runs above are reruns: a part whose content is unchanged is
            # not written again. A first run writes every part.
            rows.append(in_turns("nubika-sitemap-cli, first run", cli, "find, before a first run",
                                 ["find", tree, "-type", "f"], env, args.runs, before_each=lambda: remove_set(tree)))
            rows.append(measure_cold_pair("nubika-sitemap-cli, cold cache", cli, "find, cold cache",
                                          ["find", tree, "-type", "f"], env, args.runs))
        if os.environ.get("BASELINE_CLI") and size != args.options_size:
            rows.append(measure_pair("nubika-sitemap-cli (baseline build)", [os.environ["BASELINE_CLI"]] + cli[1:],
                                     "nubika-sitemap-cli", cli, env, os.path.join(args.out, f"baseline-{size}.out"),
                                     args.runs))
        if size == args.window_size:
            argv = window_command(args, tree)
            if argv:
                row = measure_pair("nubika-sitemap (window)", argv, "nubika-sitemap-cli", cli, env,
                                   os.path.join(args.out, f"window-{size}.txt"), args.runs)
                # The two runs are only comparable if they wrote the same pages.
                row["same_sitemap"] = set_digest(tree) == cli_digest
                rows.append(row)
            else:
                rows.append({"name": "nubika-sitemap (window)", "missing": True})
        table.append({"size": size, "files": files, "folders": folders, "load": load, "rows": rows})
    for pages in [int(p) for p in args.pages.split(",") if p]:
        tree = os.path.join(args.trees, f"pages-{pages}")
        files, folders = tree_entries(tree)
        print(f"{pages} pages of about 5 KiB ({folders} folders):", flush=True)
        ours, peer = list(noindex_commands(args, tree))
        rows = [measure(ours[0], ours[1], env, os.path.join(args.out, f"{ours[0]}-pages-{pages}.out"), args.runs),
                measure_pair(peer[0], peer[1], ours[0], ours[1], env,
                             os.path.join(args.out, f"{peer[0]}-pages-{pages}.out"), args.runs)]
        table.append({"size": pages, "pages": True, "files": files, "folders": folders,
                      "load": os.getloadavg()[0], "rows": rows})
    # Sizes not measured this time keep their figures from the last run,
    # so that one size can be measured again on its own.
    saved_path = os.path.join(args.out, "results.json")
    if os.path.exists(saved_path):
        with open(saved_path) as saved:
            measured = {(b["size"], b.get("pages", False)) for b in table}
            kept = [b for b in json.load(saved) if (b["size"], b.get("pages", False)) not in measured]
        table = sorted(kept + table, key=lambda b: (b.get("pages", False), b["size"]))
    with open(saved_path, "w") as saved:
        json.dump(table, saved, indent=1)
    import report
    with open(args.results, "w") as results:
        results.write(report.markdown(table, os.cpu_count(), datetime.date.today().isoformat()))
    print(f"written {args.results}")


if __name__ == "__main__":
    main()
