#!/usr/bin/env bash
# Debian's build of the Python documentation names a file: URL as the
# canonical of every page. Under --canonical every page stays, the sitemap
# is the one written without it, and the ignored canonicals are one line.
#   DOCS   the documentation's HTML tree (python3-doc); absent: skipped
set -euo pipefail
: "${CLI:?path of nubika-sitemap-cli}"
docs=${DOCS:-/usr/share/doc/python3/html}
if [ ! -f "$docs/index.html" ]; then
  echo "SKIPPED: no Python documentation at $docs (install python3-doc: scripts/install-deps.sh)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy: the program writes its sitemap into the folder.
cp -rL "$docs" "$work/site"
: >"$work/empty.ini"
pages=$(find "$work/site" -name '*.html' -type f | wc -l)
run() {
  "$CLI" "$work/site" --settings "$work/empty.ini" --base-url https://docs.example/ --ext html "$@" \
    >"$work/out" 2>"$work/err"
}
run
cp "$work/site/nubika_sitemap.xml" "$work/plain.xml"
run --canonical
fail=0
expect() {  # expect NAME COMMAND...
  if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi
}
expect "every page listed" grep -qx "$work/site/nubika_sitemap.xml $pages 0" "$work/out"
expect "the sitemap is the one written without --canonical" cmp -s "$work/plain.xml" "$work/site/nubika_sitemap.xml"
expect "one line for the ignored canonicals" \
  [ "$(grep -c 'canonical' "$work/err")" = 1 ]
expect "which counts every page and shows a file: URL" \
  grep -q "^warning: canonical ignored (not an http or https URL) on $pages pages, kept: .* -> file:///" "$work/err"
[ "$fail" = 0 ] || { cat "$work/err"; exit 1; }
echo "$pages pages kept under --canonical; their file: canonicals reported once"
