#!/usr/bin/env bash
# Kills nubika-sitemap-cli with SIGKILL at random moments of a run over a
# site of 200,000 pages (an index and four parts), ROUNDS times (20 unless
# set). Before each kill the previous set is written with --priority; the
# killed run writes one without. After every kill the index and every part
# it names must exist and parse, and their <url> blocks in order must be
# exactly those of one of the two runs. A run afterwards must write exactly
# the new set, and the one after it leave no part of the killed runs behind.
# Needs CLI; prints one line per round and a summary.
set -euo pipefail
: "${CLI:?path of nubika-sitemap-cli}"
ROUNDS=${ROUNDS:-20}
here=$(cd "$(dirname "$0")" && pwd)
# Memory when there is some: the tree is large, and a kill tests the
# program, not the disk.
base=${TMPDIR:-/tmp}; [ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/nubika-kill-XXXXXX")
trap 'rm -rf "$work"' EXIT
site=$work/site
settings=$work/Setting.ini
: >"$settings"

# 100 folders of 2,000 pages.
for f in $(seq -w 1 100); do
  mkdir -p "$site/section $f/お知らせ"
  (cd "$site/section $f" && touch page{0001..1500}.html && cd お知らせ && touch 記事{001..500}.html)
done

args=("$site" --settings "$settings" --base-url https://example.jp/ --ext html -q)
digest() { python3 "$here/set_digest.py" "$site"; }
"$CLI" "${args[@]}" --priority
previous=$(digest)
start=$(date +%s%N)
"$CLI" "${args[@]}" --no-priority
duration_ms=$(( ($(date +%s%N) - start) / 1000000 + 1 ))
new=$(digest)
[ "$previous" != "$new" ] || { echo "FAIL: the two sets should differ"; exit 1; }
parts=$(ls "$site" | grep -c '^nubika_sitemap-' || true)
echo "a full run takes about ${duration_ms} ms and writes $parts parts"

kept=0; replaced=0
for round in $(seq 1 "$ROUNDS"); do
  "$CLI" "${args[@]}" --priority
  delay_ms=$(( RANDOM % (duration_ms * 3 / 2 + 20) ))
  "$CLI" "${args[@]}" --no-priority 2>/dev/null &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  now=$(digest) || { echo "FAIL round $round (kill after ${delay_ms} ms): $now"; exit 1; }
  if [ "$now" = "$previous" ]; then
    kept=$((kept + 1)); outcome=previous
  elif [ "$now" = "$new" ]; then
    replaced=$((replaced + 1)); outcome=new
  else
    echo "FAIL round $round (kill after ${delay_ms} ms): the set is neither the previous nor the new one"
    exit 1
  fi
  echo "round $round: killed after ${delay_ms} ms, the set is the $outcome one"
done

leftovers=$(ls -A "$site" | grep -c '^\.nubika_sitemap\|^nubika_sitemap-' || true)
"$CLI" "${args[@]}" --no-priority
[ "$(digest)" = "$new" ] || { echo "FAIL: the run after the kills wrote a different set"; exit 1; }
# The parts of the set it replaced live one run longer.
"$CLI" "${args[@]}" --no-priority
named=$(grep -o 'nubika_sitemap-[0-9a-f]*\.xml' "$site/nubika_sitemap.xml" | sort)
present=$(ls -A "$site" | grep '^nubika_sitemap-\|^\.nubika_sitemap' | sort)
[ "$named" = "$present" ] || { echo "FAIL: files of killed runs are left: $present"; exit 1; }
echo "PASS: $ROUNDS kills, $kept kept the previous set, $replaced had the new one;" \
     "the next run cleared the $leftovers files of the set and killed runs"
