#!/usr/bin/env bash
# Times --lastmod-from content beside what bounds it, side by side in one
# run, and prints the rows of bench/results.md's ledger table as ratios.
#
#   bench/ledger.sh [PAGES] [LEDGER_PAGES]
#
# PAGES pages of 4 to 40 KB (default 100,000) for the timings, and
# LEDGER_PAGES pages of 100 bytes (default 1,000,000) for the ledger's
# size. BUILD is the build folder with bin/ (default: build); TREES where
# the pages are kept and reused (default: /tmp/bench-trees).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=$(cd "$repo" && realpath "${BUILD:-build}")
trees=${TREES:-/tmp/bench-trees}
pages=${1:-100000}
ledger_pages=${2:-1000000}
cli=$build/bin/nubika-sitemap-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/empty.ini"

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

source "$here/timed.sh"

site=$trees/ledger-pages-$pages
make_site "$pages" 4000 40000 "$site"
run() { "$cli" "$site" --settings "$work/empty.ini" --base-url https://example.jp/ --ext html -q --lastmod "$@"; }
cat_all() { find "$site" -name '*.html' -print0 | xargs -0 cat >/dev/null; }
first_content() { rm -f "$work/l.sqlite"; run --lastmod-from content --ledger "$work/l.sqlite" "$@"; }

cat_all
t_cat=$(timed cat_all)
t_first=$(timed first_content)
t_first_text=$(timed first_content --digest text)
run --lastmod-from content --ledger "$work/l.sqlite"
t_rerun=$(timed run --lastmod-from content --ledger "$work/l.sqlite")
t_file=$(timed run --lastmod-from file)
rewritten() {  # every page rewritten with the same bytes, then a run
  find "$site" -name '*.html' -exec touch {} +
  run --lastmod-from content --ledger "$work/l.sqlite"
}
t_rewrite=$(timed rewritten)
t_touch=$(timed find "$site" -name '*.html' -exec touch {} +)

small=$trees/ledger-small-$ledger_pages
make_site "$ledger_pages" 100 100 "$small"
"$cli" "$small" --settings "$work/empty.ini" --base-url https://example.jp/ --ext html -q --lastmod \
  --lastmod-from content --ledger "$work/small.sqlite"
bytes=$(stat -c %s "$work/small.sqlite")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", a / b }'; }
echo "| measured ($pages pages of 4-40 KB, warm cache) | seconds | ratio | bound |"
echo "|---|---|---|---|"
echo "| \`cat\` of every page to /dev/null | $t_cat | 1 | |"
echo "| first \`--lastmod-from content\` run (bytes) | $t_first | $(ratio "$t_first" "$t_cat") of cat | 1.25x |"
echo "| \`--lastmod-from file\` run | $t_file | 1 | |"
echo "| rerun, nothing changed | $t_rerun | $(ratio "$t_rerun" "$t_file") of file | 1.3x |"
echo "| every page rewritten with the same bytes (touch, then a run; touch alone $t_touch s) | $t_rewrite | $(ratio "$t_rewrite" "$t_cat") of cat | 1.25x |"
echo "| first run with \`--digest text\` | $t_first_text | $(ratio "$t_first_text" "$t_first") of bytes | 3x |"
echo "| ledger of $ledger_pages pages of 100 bytes | $bytes bytes | $(awk -v a="$bytes" -v n="$ledger_pages" 'BEGIN { printf "%.0f", a / n }') B a page | 200 B |"
