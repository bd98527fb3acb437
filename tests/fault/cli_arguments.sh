#!/usr/bin/env bash
# FOLDER arguments that are no folder: a file stands for its folder; a
# device or a missing path fails with a message and writes nothing.
set -uo pipefail
: "${CLI:?path of nubika-sitemap-cli}"
work=$(mktemp -d "${TMPDIR:-/tmp}/nubika-args-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/site"
touch "$work/site/index.html" "$work/site/about.html"
: >"$work/Setting.ini"
failures=0
check() { if ! eval "$2"; then echo "FAIL: $1"; failures=$((failures + 1)); else echo "ok: $1"; fi; }

run() { "$CLI" "$1" --settings "$work/Setting.ini" --base-url https://example.jp/ --ext html -q 2>"$work/err"; }

run "$work/site/index.html"; status=$?
check "a file stands for its folder" '[ $status -eq 0 ] && grep -q "https://example.jp/about.html" "$work/site/nubika_sitemap.xml"'

for target in /dev/null "$work/missing" "$work/site/missing/deeper"; do
  run "$target"; status=$?
  check "$target fails" '[ $status -eq 1 ]'
  check "$target is named in the message" 'grep -qF "$target" "$work/err"'
done
check "nothing written beside /dev/null" '[ ! -e /dev/nubika_sitemap.xml ]'

empty=$work/empty; mkdir "$empty"
run "$empty"; status=$?
check "an empty folder fails without a sitemap" '[ $status -eq 1 ] && [ ! -e "$empty/nubika_sitemap.xml" ]'
exit $((failures > 0))
