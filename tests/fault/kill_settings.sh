#!/usr/bin/env bash
# Kills a program that saves the settings file in a loop with SIGKILL at
# random moments, ROUNDS times (20 unless set). After every kill the file
# must load as one of the two settings that were being saved and hold
# exactly the bytes of one complete save; a save afterwards must work.
set -euo pipefail
: "${SAVER:?path of settings_saver}"
ROUNDS=${ROUNDS:-20}
# Memory when there is some: the tree is large, and a kill tests the
# program, not the disk.
base=${TMPDIR:-/tmp}; [ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/nubika-kill-settings-XXXXXX")
trap 'rm -rf "$work"' EXIT
file=$work/Setting.ini

"$SAVER" save a "$work/a.ini"; "$SAVER" save b "$work/a.ini"; "$SAVER" save a "$work/a.ini"
"$SAVER" save b "$work/b.ini"; "$SAVER" save a "$work/b.ini"; "$SAVER" save b "$work/b.ini"
cp "$work/a.ini" "$file"

declare -A seen=([a]=0 [b]=0)
for round in $(seq 1 "$ROUNDS"); do
  "$SAVER" loop "$file" &
  pid=$!
  delay_ms=$(( 5 + RANDOM % 400 ))
  sleep "$(printf '0.%03d' "$delay_ms")"
  kill -KILL "$pid"
  wait "$pid" 2>/dev/null || true
  if ! which=$("$SAVER" check "$file"); then
    echo "FAIL round $round (kill after ${delay_ms} ms): the settings file does not load as either settings"
    exit 1
  fi
  cmp -s "$file" "$work/$which.ini" || { echo "FAIL round $round: the file is not a complete save of $which"; exit 1; }
  seen[$which]=$((seen[$which] + 1))
  echo "round $round: killed after ${delay_ms} ms, the file holds settings $which"
done

"$SAVER" save a "$file"
cmp "$file" "$work/a.ini" || { echo "FAIL: the save after the kills wrote different bytes"; exit 1; }
echo "PASS: $ROUNDS kills, file held a ${seen[a]} times and b ${seen[b]} times," \
     "$(find "$work" -maxdepth 1 -name '.Setting.ini.*' | wc -l) temporary files left by the kills"
