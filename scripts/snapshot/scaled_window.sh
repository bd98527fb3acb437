#!/usr/bin/env bash
# scaled_window.sh PROGRAM OUT.png [SCALE]: the desktop program's main window
# as a user sees it at SCALE (default 2) on a 1920x1080 screen under Xvfb
# with the openbox window manager, with sample inputs, cut out of the
# screen with its frame. Not a test; run by hand for the documentation
# (needs xvfb, openbox, x11-utils and imagemagick).
set -euo pipefail
program=$(readlink -f "$1") out=$(readlink -f "$2") scale=${3:-2}
for tool in Xvfb openbox xwininfo xprop import; do
  command -v "$tool" >/dev/null || { echo "scaled_window.sh: $tool is missing (apt-get install xvfb openbox x11-utils imagemagick)" >&2; exit 2; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A copy of the program keeps its settings beside it, away from the build's.
cp "$program" "$work/nubika-sitemap"
cat >"$work/Setting.ini" <<'INI'
[SETTING]
LOCAL_FOLDER=/home/hanako/www/site
BASE_URL=https://example.jp/
PRIORITY_AUTO=1
UPDATE_FREQ_AUTO=0
LAST_UPDATE_AUTO=1
MOBILE=0
KAKUCHO=htm,html,
[OPTIONS]
SKIP_NOINDEX=1
GZIP=1
INI
install -d -m 0700 "$work/runtime"

Xvfb -displayfd 3 -nolisten tcp -screen 0 1920x1080x24 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=:$(cat "$work/display")
export DISPLAY
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1
QT_SCALE_FACTOR=$scale XDG_RUNTIME_DIR="$work/runtime" "$work/nubika-sitemap" >/dev/null 2>&1 &
pids+=($!)
title=ヌビカサイトマップ生成
for _ in $(seq 100); do xwininfo -name "$title" >/dev/null 2>&1 && break; sleep 0.1; done
sleep 2  # drawn and decorated

# The frame openbox put around the window: its client's place less the
# frame's extents.
info=$(xwininfo -name "$title")
field() { sed -n "s/^ *$1: *//p" <<<"$info"; }
id=$(sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p' <<<"$info")
read -r left right top bottom < <(xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
x=$(( $(field 'Absolute upper-left X') - left ))
y=$(( $(field 'Absolute upper-left Y') - top ))
width=$(( $(field Width) + left + right ))
height=$(( $(field Height) + top + bottom ))
import -window root -crop "${width}x${height}+${x}+${y}" +repage "$out"
echo "$out: ${width}x${height} at $x,$y of 1920x1080"
