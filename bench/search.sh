#!/usr/bin/env bash
# Times --canonical, --hreflang and --robots-txt on top of --skip-noindex,
# side by side in one run (in turns, the median of five each), on pages of
# about 5 KiB that carry a canonical link and two language versions, and
# prints the row of bench/results.md's table.
#
#   bench/search.sh [PAGES]   (default 100,000)
#
# BUILD is the build folder with bin/ (default: build); TREES where the
# pages are kept and reused (default: /tmp/bench-trees).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
pages=${1:-100000}

site=$trees/link-pages-$pages
[ -d "$site" ] || python3 "$here/make_pages.py" "$pages" "$site" --links
run() { "$cli" "$site" --settings "$work/empty.ini" --base-url https://example.jp/ --ext html -q --skip-noindex "$@"; }

run 2>/dev/null; run --canonical --hreflang --robots-txt 2>/dev/null  # warm the cache
plain=() all=()
for _ in 1 2 3 4 5; do
  plain+=($(ms run))
  all+=($(ms run --canonical --hreflang --robots-txt))
done
median() { printf '%s\n' "$@" | sort -n | sed -n 3p; }
p=$(median "${plain[@]}") a=$(median "${all[@]}")
load=$(cut -d' ' -f1-3 /proc/loadavg)
echo "| measured ($pages pages of 5 KiB with a canonical and two language versions, warm cache, load $load) | median (s) | ratio | bound |"
echo "|---|---:|---:|---:|"
awk -v p="$p" -v a="$a" 'BEGIN {
  printf "| `--skip-noindex` | %.3f | 1 | |\n", p / 1000
  printf "| `--skip-noindex --canonical --hreflang --robots-txt` | %.3f | %.2fx | 1.3x |\n", a / 1000, a / p }'
