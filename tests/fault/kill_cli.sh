#!/usr/bin/env bash
# Kills nubika-sitemap-cli with SIGKILL at random moments of a large run,
# ROUNDS times (20 unless set). After every kill the sitemap must be the
# previous one or the complete new one, byte for byte, and a run started
# afterwards must write exactly the new one, whatever the killed runs left.
# Needs CLI; prints one line per round and a summary.
set -euo pipefail
: "${CLI:?path of nubika-sitemap-cli}"
ROUNDS=${ROUNDS:-20}
# Memory when there is some: the tree is large, and a kill tests the
# program, not the disk.
base=${TMPDIR:-/tmp}; [ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/nubika-kill-XXXXXX")
trap 'rm -rf "$work"' EXIT
site=$work/site
settings=$work/Setting.ini
: >"$settings"
sitemap=$site/nubika_sitemap.xml

# 40 folders of 1,500 pages: 60,000 URLs, several MB of sitemap.
for f in $(seq -w 1 40); do
  mkdir -p "$site/section $f/お知らせ"
  (cd "$site/section $f" && touch page{0001..1000}.html && cd お知らせ && touch 記事{001..500}.html)
done

args=("$site" --settings "$settings" --base-url https://example.jp/ --ext html -q)
# The limit warning for 60,000 URLs is expected; everything else is shown.
run() { "$CLI" "${args[@]}" "$@" 2> >(grep -v "a sitemap may hold at most" >&2); }
run --no-priority
cp "$sitemap" "$work/previous.xml"
start=$(date +%s%N)
run --priority --changefreq --mobile
duration_ms=$(( ($(date +%s%N) - start) / 1000000 + 1 ))
cp "$sitemap" "$work/new.xml"
cmp -s "$work/previous.xml" "$work/new.xml" && { echo "FAIL: the two sitemaps should differ"; exit 1; }
echo "a full run takes about ${duration_ms} ms"

kept=0; replaced=0
for round in $(seq 1 "$ROUNDS"); do
  cp "$work/previous.xml" "$sitemap"
  delay_ms=$(( RANDOM % (duration_ms * 3 / 2 + 20) ))
  "$CLI" "${args[@]}" --priority --changefreq --mobile 2>/dev/null &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if cmp -s "$sitemap" "$work/previous.xml"; then
    kept=$((kept + 1)); outcome=previous
  elif cmp -s "$sitemap" "$work/new.xml"; then
    replaced=$((replaced + 1)); outcome=new
  else
    echo "FAIL round $round (kill after ${delay_ms} ms): the sitemap is neither the previous nor the new one"
    exit 1
  fi
  echo "round $round: killed after ${delay_ms} ms, sitemap is the $outcome one"
done

leftovers=$(find "$site" -maxdepth 1 -name '.nubika_sitemap.xml.*' | wc -l)
run --priority --changefreq --mobile
cmp "$sitemap" "$work/new.xml" || { echo "FAIL: the run after the kills wrote a different sitemap"; exit 1; }
echo "PASS: $ROUNDS kills, $kept kept the previous sitemap, $replaced had the new one;" \
     "$leftovers temporary files of killed runs did not disturb the next run"
