#!/usr/bin/env bash
# Times --lastmod-from content beside what bounds it, side by side in one
# run, and prints the rows of bench/results.md's ledger table as ratios.
#
#   bench/ledger.sh [PAGES] [LEDGER_PAGES]
#
# PAGES pages of 4 to 40 KB (default 100,000) for the timings, and
# LEDGER_PAGES pages of 100 bytes (default 1,000,000) for the ledger's
# size. BUILD is the build folder with bin/ (default: build); TREES where
# the pages are kept and reused (default: /tmp/bench-trees); the ledgers
# are written beside them. ROUNDS: how many times each row is measured
# (default 5).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
pages=${1:-100000}
ledger_pages=${2:-1000000}
rounds=${ROUNDS:-5}

make_site() {  # make_site COUNT MIN MAX DEST: pages of MIN to MAX bytes, the same every time
  [ -d "$4" ] && return
  python3 - "$@" <<'PY'
import os, random, sys
count, low, high, dest = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
rng = random.Random(count)
words = "lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod".split()
for n in range(count):
    folder = os.path.join(dest + ".partial", f"s{n // 100:05d}")
    os.makedirs(folder, exist_ok=True)
    head = f"<!DOCTYPE html><html><head><title>Page {n}</title></head><body><main><h1>{n}</h1><p>"
    size = rng.randint(low, high)
    body = " ".join(rng.choice(words) for _ in range(max(0, size - len(head)) // 6 + 1))
    with open(os.path.join(folder, f"p{n:07d}.html"), "w") as out:
        out.write((head + body)[:max(size - 26, 0)] + "</p></main></body></html>\n")
os.rename(dest + ".partial", dest)
PY
}

site=$trees/ledger-pages-$pages
make_site "$pages" 4000 40000 "$site"
run() { "$cli" "$site" --settings "$work/empty.ini" --base-url https://example.jp/ --ext html -q --lastmod "$@"; }
cat_all() { find "$site" -name '*.html' -print0 | xargs -0 cat >/dev/null; }
first_content() { rm -f "$work/l.sqlite"; run --lastmod-from content --ledger "$work/l.sqlite" "$@"; }
touch_all() { find "$site" -name '*.html' -exec touch {} +; }

# The machine is shared: every measure is taken once a round, the rounds
# interleaved, and each row gives the median of its rounds.
declare -A times
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
cat_all
for round in $(seq "$rounds"); do
  times[cat]+="$(ms cat_all) "
  times[first]+="$(ms first_content) "
  times[text]+="$(ms first_content --digest text) "
  first_content
  times[rerun]+="$(ms run --lastmod-from content --ledger "$work/l.sqlite") "
  times[file]+="$(ms run --lastmod-from file) "
  times[touch]+="$(ms touch_all) "
  times[rewritten]+="$(ms run --lastmod-from content --ledger "$work/l.sqlite") "
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
median() { tr ' ' '\n' <<<"${times[$1]}" | grep . | sort -n | awk '{v[NR] = $1} END {printf "%.3f", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) / 1000}'; }

small=$trees/ledger-small-$ledger_pages
make_site "$ledger_pages" 100 100 "$small"
"$cli" "$small" --settings "$work/empty.ini" --base-url https://example.jp/ --ext html -q --lastmod \
  --lastmod-from content --ledger "$work/small.sqlite"
bytes=$(stat -c %s "$work/small.sqlite")

# ratio ROW BASE NAME BOUND: the ratio, the bound and whether it is met.
ratio() { awk -v a="$(median "$1")" -v b="$(median "$2")" -v name="$3" -v bound="$4" \
  'BEGIN { printf "%.2fx of %s | %sx | %s |", a / b, name, bound, a / b <= bound ? "met" : "missed" }'; }
echo "| measured ($pages pages of 4-40 KB in $site, median of $rounds interleaved rounds) | seconds | ratio | bound | |"
echo "|---|---|---|---|---|"
echo "| \`cat\` of every page to /dev/null | $(median cat) | 1 | | |"
echo "| first \`--lastmod-from content\` run (bytes) | $(median first) | $(ratio first cat cat 1.25)"
echo "| \`--lastmod-from file\` run | $(median file) | 1 | | |"
echo "| rerun, nothing changed | $(median rerun) | $(ratio rerun file file 1.3)"
echo "| run after every page was rewritten with the same bytes (touch alone, not counted: $(median touch) s) | $(median rewritten) | $(ratio rewritten cat cat 1.25)"
echo "| first run with \`--digest text\` | $(median text) | $(ratio text first bytes 3)"
echo "| ledger of $ledger_pages pages of 100 bytes | $bytes bytes | $(awk -v a="$bytes" -v n="$ledger_pages" 'BEGIN { printf "%.0f", a / n }') B a page | 200 B | $(awk -v a="$bytes" -v n="$ledger_pages" 'BEGIN { print a / n <= 200 ? "met" : "missed" }') |"
echo
echo "Load average (1, 5, 15 min) before the rounds: $load_before; after: $load_after."
