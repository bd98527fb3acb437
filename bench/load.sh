#!/usr/bin/env bash
# Load: RUNS (20) runs in a row over a tree of 100,000 pages, from the
# command line (one process per run) and from the window (one process,
# one window, run after run). Passes when every sitemap is byte-identical
# to the first and memory comes back to the level of the first run: each
# later command-line run peaks within 5 % of the first, and the window
# process holds, after every later run, within 5 % of what it held after
# its first (see window_pass for glibc's one-time step). Not part of CI:
# it takes a few minutes.
#   bash bench/load.sh [BUILD]    (BUILD defaults to build, as make uses)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-20}
cli=$build/bin/nubika-sitemap-cli
window=$build/bin/window_load
[ -x "$cli" ] && [ -x "$window" ] || cmake --build "$build" -j 2 --target nubika-sitemap-cli window_load

base=${TMPDIR:-/tmp}; [ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/nubika-load-XXXXXX")
trap 'rm -rf "$work"' EXIT
site=$work/site
echo "making 100,000 pages in 100 folders under $site"
for f in $(seq -w 1 100); do
  mkdir -p "$site/section $f"
  (cd "$site/section $f" && touch page{0001..1000}.html)
done
: >"$work/Setting.ini"

failed=0
within() {  # within VALUE FIRST: VALUE <= FIRST * 1.05
  [ $(( $1 * 100 )) -le $(( $2 * 105 )) ]
}

echo "--- command line, $runs runs"
first_digest=""; first_rss=0
for run in $(seq 1 "$runs"); do
  /usr/bin/time -f "%M" -o "$work/rss" "$cli" "$site" --settings "$work/Setting.ini" \
    --base-url https://example.jp/ --ext html -q 2>/dev/null
  rss=$(tail -n 1 "$work/rss")
  digest=$(sha256sum "$site/nubika_sitemap.xml" | cut -d' ' -f1)
  if [ "$run" -eq 1 ]; then first_digest=$digest; first_rss=$rss; fi
  note=""
  [ "$digest" = "$first_digest" ] || { note=" OUTPUT DIFFERS"; failed=1; }
  within "$rss" "$first_rss" || { note="$note MEMORY ABOVE THE FIRST RUN"; failed=1; }
  echo "cli run $run: peak ${rss} KiB, sha256 ${digest:0:16}$note"
done
cli_digest=$first_digest

# window_pass NAME REFERENCE_RUN [ENV...]: runs the window and holds the
# memory after every run from REFERENCE_RUN on to the level after it.
window_pass() {
  local name=$1 reference=$2 level=0 done_runs=0
  shift 2
  echo "--- window, $runs runs in one process ($name)"
  while read -r _ run _ rss _ digest; do
    done_runs=$run
    [ "$run" -eq "$reference" ] && level=$rss
    note=""
    [ "$digest" = "$cli_digest" ] || { note=" OUTPUT DIFFERS FROM THE COMMAND LINE'S"; failed=1; }
    if [ "$run" -ge "$reference" ] && ! within "$rss" "$level"; then note="$note MEMORY ABOVE RUN $reference"; failed=1; fi
    echo "window run $run: resident ${rss} KiB, sha256 ${digest:0:16}$note"
  done < <(env "$@" "$window" "$site" "$runs" 2>/dev/null)
  [ "$done_runs" -eq "$runs" ] || { echo "the window made $done_runs of $runs runs"; failed=1; }
}
# glibc raises its mmap threshold the first time a large block is freed, so
# from the second run on the large lists come from the heap and their pages
# stay with the process after they are freed: a one-time step, not growth.
# With the threshold fixed, memory must come back to the first run's level;
# with glibc's default it must stay at the second run's.
window_pass "mmap threshold fixed at 128 KiB" 1 MALLOC_MMAP_THRESHOLD_=131072
window_pass "glibc default allocator" 2 QT_QPA_PLATFORM=offscreen

if [ "$failed" -ne 0 ]; then
  echo "FAIL"
  exit 1
fi
echo "PASS: $runs + $runs runs, one sitemap byte for byte; memory back at the first run's level"
