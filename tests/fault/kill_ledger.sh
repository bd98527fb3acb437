#!/usr/bin/env bash
# Kills nubika-sitemap-cli --lastmod-from content with SIGKILL at random
# moments of a run, ROUNDS times (10 unless set). The ledger before each
# killed run is the first run's; the killed run would record a tree in which
# every file was rewritten (new times, same bytes), a few pages changed, one
# was removed and one added. After every kill the ledger must open and hold
# exactly the first run's pages or exactly the uncut run's, never a mix; and
# a run afterwards must give the dates of the uncut run.
# Needs CLI; prints one line per round and a summary.
set -euo pipefail
: "${CLI:?path of nubika-sitemap-cli}"
ROUNDS=${ROUNDS:-10}
base=${TMPDIR:-/tmp}; [ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/nubika-kill-ledger-XXXXXX")
trap 'rm -rf "$work"' EXIT
site=$work/site
ledger=$work/ledger.sqlite
: >"$work/Setting.ini"
args=("$site" --settings "$work/Setting.ini" --base-url https://example.jp/ --ext html -q
      --lastmod --lastmod-from content --ledger "$ledger")

# 20,000 pages of about 2 KB, written on 2026-01-01.
python3 - "$site" <<'PY'
import os, sys
site = sys.argv[1]
for f in range(40):
    os.makedirs(f"{site}/s{f:02}")
    for p in range(500):
        with open(f"{site}/s{f:02}/p{p:03}.html", "w") as out:
            out.write(f"<html><body><main>page {f} {p}</main>" + "x" * 2000 + "</body></html>\n")
PY
find "$site" -type f -exec touch -d '2026-01-01 12:00' {} +
"$CLI" "${args[@]}"
cp "$ledger" "$work/first.sqlite"

# The next state of the tree: rewritten, three pages changed, one gone, one new.
find "$site" -type f -exec touch {} +
sleep 1
for p in s01/p001 s17/p250 s39/p499; do echo changed >>"$site/$p.html"; done
rm "$site/s20/p100.html"
echo '<p>new</p>' >"$site/s05/new.html"

pages() {  # the ledger's pages, as path, digest and date; fails on a broken ledger
  python3 - "$1" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
assert db.execute("PRAGMA integrity_check").fetchone()[0] == "ok"
for row in db.execute("SELECT path, hex(digest), changed FROM pages ORDER BY path"):
    print(*row)
PY
}
first=$(pages "$work/first.sqlite")
start=$(date +%s%N)
"$CLI" "${args[@]}"
duration_ms=$(( ($(date +%s%N) - start) / 1000000 + 1 ))
uncut=$(pages "$ledger")
dates=$(grep -o '<lastmod>[^<]*' "$site/nubika_sitemap.xml" | md5sum)
[ "$first" != "$uncut" ] || { echo "FAIL: the two runs should record different pages"; exit 1; }
echo "a run takes about ${duration_ms} ms"

kept=0; replaced=0
for round in $(seq 1 "$ROUNDS"); do
  rm -f "$ledger-journal"
  cp "$work/first.sqlite" "$ledger"
  delay_ms=$(( RANDOM % (duration_ms * 3 / 2 + 20) ))
  "$CLI" "${args[@]}" 2>/dev/null &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  now=$(pages "$ledger") || { echo "FAIL round $round (kill after ${delay_ms} ms): the ledger is broken"; exit 1; }
  if [ "$now" = "$first" ]; then
    kept=$((kept + 1)); outcome="the first run's"
  elif [ "$now" = "$uncut" ]; then
    replaced=$((replaced + 1)); outcome="the uncut run's"
  else
    echo "FAIL round $round (kill after ${delay_ms} ms): the ledger holds neither run's pages"; exit 1
  fi
  "$CLI" "${args[@]}"
  [ "$(grep -o '<lastmod>[^<]*' "$site/nubika_sitemap.xml" | md5sum)" = "$dates" ] ||
    { echo "FAIL round $round: the run after the kill gave other dates"; exit 1; }
  echo "round $round: killed after ${delay_ms} ms, the ledger was $outcome; the next run gave the same dates"
done
echo "PASS: $ROUNDS kills, $kept left the first run's ledger, $replaced the uncut run's"
