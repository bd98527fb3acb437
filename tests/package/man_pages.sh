#!/usr/bin/env bash
# The manual pages as man shows them: every long option that the command
# line's --help lists is in its page, both pages say the version, and groff
# has nothing to warn about in either: as lintian checks them, and as a
# user reads them in the C locale (ASCII) and in Japanese (UTF-8).
#   man_pages.sh CLI VERSION CLI_PAGE [OTHER_PAGE...]
set -u
source "$(dirname "$0")/long_options.sh"
cli=$1 version=$2
shift 2
failed=0
fail() { echo "FAIL: $*"; failed=1; }

shown=$("$cli" --version) || fail "--version exits $?"
[ "$shown" = "nubika-sitemap-cli $version" ] || fail "--version says '$shown'"

# Wide enough that no option is broken across lines.
text=$(MANWIDTH=250 man -l "$1" 2>/dev/null)
options=$("$cli" --help | long_options)
[ "$(wc -l <<<"$options")" -ge 5 ] || fail "too few options read from --help: $options"
for option in $options; do
  grep -qF -- "$option" <<<"$text" || fail "$option of --help is not in $1"
done

locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' ||
  fail "the locale ja_JP.UTF-8 is missing (scripts/install-deps.sh generates it)"
for page in "$@"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
  for locale in C ja_JP.UTF-8; do
    warnings=$(LC_ALL=$locale MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page in $locale: $warnings"
  done
  MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "nubika-sitemap $version" ||
    fail "$page does not say version $version"
done
exit $failed
