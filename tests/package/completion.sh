#!/usr/bin/env bash
# The bash completion, loaded as bash loads it, completes what --help says:
# every long option after "--", files after an option whose value is a
# FILE, the listed words after one with a {list}, nothing after any other
# value, and folders for the FOLDER.
#   completion.sh CLI COMPLETION_SCRIPT
set -u
source "$(dirname "$0")/long_options.sh"
cli=$1
source "$2"
failed=0
fail() { echo "FAIL: $*"; failed=1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# complete WORD... : the completions of the last word, sorted, one a line.
complete_words() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _nubika_sitemap_cli
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

[ "$(complete -p nubika-sitemap-cli)" = "complete -F _nubika_sitemap_cli nubika-sitemap-cli" ] ||
  fail "the script does not register itself for nubika-sitemap-cli"

offered=$(complete_words "$cli" --)
expected=$("$cli" --help | long_options)
[ "$offered" = "$expected" ] || fail "offered for --: $(echo $offered), --help has: $(echo $expected)"
[ "$(complete_words "$cli" --ve)" = "--version" ] || fail "--ve does not become --version"

mkdir "$work/site" "$work/sub dir"
touch "$work/site.ini" "$work/page.html"
cd "$work"
[ "$(complete_words "$cli" s)" = "$(printf 'site\nsub dir')" ] || fail "FOLDER offers $(complete_words "$cli" s)"

# The real program's values, checked however its options change.
while read -r option value; do
  case $value in
    *\{*\}*)
      choices=${value#*\{}
      [ "$(complete_words "$cli" "$option" "")" = "$(tr , '\n' <<<"${choices%%\}*}" | sort)" ] ||
        fail "$option offers $(complete_words "$cli" "$option" "")" ;;
    *FILE*)
      [ "$(complete_words "$cli" "$option" si)" = "$(printf 'site\nsite.ini')" ] ||
        fail "$option offers $(complete_words "$cli" "$option" si)" ;;
    ?*)
      [ -z "$(complete_words "$cli" "$option" "")" ] || fail "$option offers $(complete_words "$cli" "$option" "")" ;;
  esac
done < <(_nubika_sitemap_cli_options "$cli" | tr '\t' ' ')
[ -n "$(complete_words "$cli" --settings si)" ] || fail "--settings offers no files"

# A list of words after an option, written as CLI11 writes it, also as
# --option=value; a description squeezed against its names is no value.
cat >"$work/fake-cli" <<'HELP'
#!/bin/sh
cat <<'TEXT'
Options:
  -h,--help                   Print this help message and exit
  --lastmod-from TEXT:{run,file}
                              The date --lastmod writes
  --mobile,--no-mobile{false} Mark every URL as a mobile page
TEXT
HELP
chmod +x "$work/fake-cli"
[ "$(complete_words "$work/fake-cli" --lastmod-from "")" = "$(printf 'file\nrun')" ] || fail "--lastmod-from: not run, file"
[ "$(complete_words "$work/fake-cli" --lastmod-from = r)" = "run" ] || fail "--lastmod-from=r: not run"
[ "$(complete_words "$work/fake-cli" --mobile s)" = "$(printf 'site\nsub dir')" ] ||
  fail "--mobile takes a value: $(complete_words "$work/fake-cli" --mobile s)"
exit $failed
