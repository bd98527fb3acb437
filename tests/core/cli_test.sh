#!/usr/bin/env bash
# Drives nubika-sitemap-cli as scripts do: exit codes, stdout, stderr and
# the files it leaves. Needs CLI (the program) and optionally SCHEMA_DIR.
set -u
: "${CLI:?path of nubika-sitemap-cli}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}
run() {  # run ARGS... ; sets rc, out, err
  "$CLI" --settings "$work/base.ini" "$@" >"$work/out" 2>"$work/err"
  rc=$?; out=$(cat "$work/out"); err=$(cat "$work/err")
}
only_sitemap_and() { [ "$(ls -A "$1" | tr '\n' ' ')" = "$2" ]; }

printf '[SETTING]\nBASE_URL=https://example.jp/\n' >"$work/base.ini"
site=$work/site
mkdir -p "$site/sub dir" "$site/empty"
echo hi >"$site/index.html"; echo x >"$site/sub dir/a&b.html"; echo c >"$site/style.css"

# Success: the path and the URL count on stdout, the last progress on stderr.
run "$site" --base-url https://example.jp --ext html --priority
check "success exits 0" [ "$rc" = 0 ]
check "success line: path, URLs, parts" [ "$out" = "$site/nubika_sitemap.xml 2 0" ]
check "progress without a terminal is only the last text" [ "$err" = "100.00%" ]
check "escaped and encoded loc" grep -q "<loc>https://example.jp/sub%20dir/a&amp;b.html</loc>" "$site/nubika_sitemap.xml"
check "sitemap parses" xmllint --noout --nonet "$site/nubika_sitemap.xml"
if [ -n "${SCHEMA_DIR:-}" ] && [ -f "$SCHEMA_DIR/sitemap.xsd" ]; then
  check "sitemap validates" xmllint --noout --nonet --schema "$SCHEMA_DIR/sitemap.xsd" "$site/nubika_sitemap.xml" 2>/dev/null
  run "$site" --base-url https://example.jp --ext html --mobile --lastmod --changefreq
  check "mobile sitemap validates" xmllint --noout --nonet --schema "$SCHEMA_DIR/sitemap-with-mobile.xsd" "$site/nubika_sitemap.xml" 2>/dev/null
fi

run "$site" --base-url https://example.jp --ext html --quiet
check "quiet prints nothing" [ "$rc:$out:$err" = "0::" ]

# The last of --x / --no-x wins.
run "$site" --ext html --priority --no-priority --quiet
check "--no-x after --x" bash -c "! grep -q '<priority>' '$site/nubika_sitemap.xml'"
run "$site" --ext html --no-changefreq --changefreq --quiet
check "--x after --no-x" grep -q "<changefreq>" "$site/nubika_sitemap.xml"

# Nothing selected: an empty urlset fails the schema, so nothing is written.
cp "$site/nubika_sitemap.xml" "$work/before.xml"
for ext in "" ".html" "php"; do
  run "$site" --ext "$ext"
  check "--ext '$ext' selects nothing: exit 1" [ "$rc" = 1 ]
  check "--ext '$ext' says so" grep -q "no file matched the extension list" "$work/err"
  check "--ext '$ext' keeps the previous sitemap" cmp -s "$site/nubika_sitemap.xml" "$work/before.xml"
done

# A base URL that cannot stand before every page is a usage error.
for base in "" "/docs" "example.jp" "ftp://example.jp/" "https://" "https://example.jp/?a=1" "https://example.jp/#x" \
            "http://h:99999/" "http://h:/" "http://[zz]/" "http://[::1]junk/" "http://a\\b/" "http://u:p@h/"; do
  run "$site" --ext html --base-url "$base"
  check "base URL '$base' refused with exit 2" [ "$rc" = 2 ]
  check "base URL '$base' names the problem" grep -qF -- "--base-url \"$base\": the base URL" "$work/err"
done
check "refused base URLs changed nothing" cmp -s "$site/nubika_sitemap.xml" "$work/before.xml"
run "$site" --ext html --base-url "HTTPS://Example.JP/a/./b/../c" --quiet
check "the base URL normalised: case, dot segments" grep -q "<loc>https://example.jp/a/c/index.html</loc>" "$site/nubika_sitemap.xml"
run "$site" --ext html --base-url "https://example.jp/100%/[x]/"
check "stray % and brackets encoded" grep -q "<loc>https://example.jp/100%25/%5Bx%5D/index.html</loc>" "$site/nubika_sitemap.xml"

# Only what a server can send, and never the program's own files.
mkfifo "$site/fifo.html"; ln -s nowhere.html "$site/dangling.html"
leftover=.nubika_sitemap.tmp-4242-0a1b2c3d
lookalikes=(.nubika_sitemap.xml.backup .nubika_sitemap.xml.AbC123 .nubika_sitemap.tmp-4242-0A1B2C3D
            .nubika_sitemap.tmp-4242-0a1b2c3 .nubika_sitemap.tmp-4242-0a1b2c3d.bak .nubika_sitemap.tmp--0a1b2c3d)
touch "$site/$leftover"; for name in "${lookalikes[@]}"; do echo mine >"$site/$name"; done
run "$site" --ext html,xml --quiet
check "FIFO and dangling link warned" bash -c "grep -q 'not a regular file, left out: fifo.html' '$work/err' && grep -q 'left out: dangling.html' '$work/err'"
check "no FIFO, link or own file in the sitemap" bash -c "! grep -Eq 'fifo|dangling|nubika_sitemap' '$site/nubika_sitemap.xml'"
check "a killed run's temporary file is removed" [ ! -e "$site/$leftover" ]
for name in "${lookalikes[@]}"; do
  check "a user's $name that only looks alike stays" grep -qx mine "$site/$name"
  rm -f "$site/$name"
done
rm -f "$site/fifo.html" "$site/dangling.html"

# One run per folder: a second one fails at once while the lock is held.
flock -o "$site" sleep 3 & holder=$!
sleep 0.3
run "$site" --ext html
check "a locked folder fails at once" [ "$rc" = 1 ]
check "the lock is named" grep -q "another run is writing the sitemap of" "$work/err"
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null

# A reader that went away costs the success line, not the status: stdout
# is a pipe whose reading end is already closed.
ERR=$work/err python3 -c 'import os, subprocess, sys
r, w = os.pipe(); os.close(r)
sys.exit(subprocess.run(sys.argv[1:], stdout=w, stderr=open(os.environ["ERR"], "w")).returncode)' \
  "$CLI" --settings "$work/base.ini" "$site" --ext html
rc=$?
check "a closed stdout still exits 0" [ "$rc" = 0 ]
check "the lost line is reported" grep -q "could not write to stdout" "$work/err"

run "" --ext html
check "an empty FOLDER is a usage error" [ "$rc:$err" = "2:nubika-sitemap-cli: FOLDER: the folder name is empty" ]

# Inputs not on the command line come from the settings file.
printf '[SETTING]\nLOCAL_FOLDER=%s\nBASE_URL=https://stored.example/\nPRIORITY_AUTO=1\nKAKUCHO=css,\n' "$site" >"$work/stored.ini"
"$CLI" --settings "$work/stored.ini" >"$work/out" 2>/dev/null; rc=$?
check "FOLDER from LOCAL_FOLDER" [ "$rc" = 0 ]
check "inputs from the settings" grep -q "<loc>https://stored.example/style.css</loc>" "$site/nubika_sitemap.xml"
check "settings never written" [ "$(cat "$work/stored.ini" | wc -l)" = 5 ]
"$CLI" --settings "$work/stored.ini" --ext html --no-priority --quiet; rc=$?
check "command line over settings" bash -c "grep -q 'stored.example/index.html' '$site/nubika_sitemap.xml' && ! grep -q '<priority>' '$site/nubika_sitemap.xml'"

# The further options come from [OPTIONS]; a list on the command line
# replaces the stored one (files of --exclude-from first, then --exclude).
mkdir -p "$site/drafts"; echo d >"$site/drafts/d.html"
printf '[SETTING]\nBASE_URL=https://example.jp/\nKAKUCHO=html,\n[OPTIONS]\nEXCLUDE="drafts/\\nsub dir/"\nFOLDER_URLS=1\n' >"$work/options.ini"
"$CLI" --settings "$work/options.ini" "$site" -q; rc=$?
check "stored exclusions and folder URLs apply" bash -c "[ $rc = 0 ] && grep -q '<loc>https://example.jp/</loc>' '$site/nubika_sitemap.xml' && ! grep -Eq 'drafts|sub%20dir' '$site/nubika_sitemap.xml'"
printf 'drafts/\n# a comment\n' >"$work/ignore"
"$CLI" --settings "$work/options.ini" "$site" --exclude-from "$work/ignore" --exclude index.html --no-folder-urls -q
check "a command-line list replaces the stored one" bash -c "grep -q 'sub%20dir/a&amp;b.html' '$site/nubika_sitemap.xml' && ! grep -Eq 'drafts|index.html' '$site/nubika_sitemap.xml'"
run "$site" --exclude-from "$work/missing-list"
check "a missing --exclude-from file is a usage error" [ "$rc" = 2 ]
printf '\xef\xbb\xbfdrafts/\r\nsub dir/\r\n' >"$work/ignore"
run "$site" --ext html --exclude-from "$work/ignore" -q
check "--exclude-from skips a byte order mark, takes CR LF" bash -c "[ $rc = 0 ] && grep -q 'index.html' '$site/nubika_sitemap.xml' && ! grep -Eq 'drafts|sub%20dir' '$site/nubika_sitemap.xml'"
cp "$site/nubika_sitemap.xml" "$work/before.xml"
run "$site" --exclude-from /proc/self/mem
check "a read error part way is a usage error with the cause" [ "$rc:$err" = "2:nubika-sitemap-cli: --exclude-from: /proc/self/mem: Input/output error" ]
printf 'drafts/\n\n[abc\n' >"$work/ignore"
run "$site" --exclude-from "$work/ignore"
check "a malformed line of a file: exit 2, file and line" bash -c "[ $rc = 2 ] && grep -qF '\"[abc\" (line 3 of $work/ignore): the \"[\" at column 1 has no closing' '$work/err'"
run "$site" --exclude '*.bak' --exclude 'x[[:nope:]]'
check "a malformed --exclude: exit 2, which one" bash -c "[ $rc = 2 ] && grep -qF '\"x[[:nope:]]\" (--exclude number 2): \"[:nope:]\" at column 3 is no character class' '$work/err'"
printf '[SETTING]\nBASE_URL=https://example.jp/\n[OPTIONS]\nEXCLUDE="drafts/\\ntail\\\\"\n' >"$work/badlist.ini"
"$CLI" --settings "$work/badlist.ini" "$site" --ext html 2>"$work/err"; rc=$?
check "a malformed stored EXCLUDE entry: exit 2, which entry" bash -c "[ $rc = 2 ] && grep -qF 'EXCLUDE entry 2 in $work/badlist.ini' '$work/err'"
check "malformed patterns write nothing" cmp -s "$site/nubika_sitemap.xml" "$work/before.xml"
run "$site" --ext html --exclude '*.html' --exclude 'sub dir'
check "exclusions that leave no page say so" bash -c "[ $rc = 1 ] && grep -q 'every page is excluded: the exclusion patterns left out 2 pages and 1 folder' '$work/err'"
run "$site" --ext "html, css" --index-names "default.html, index.html" --folder-urls -q
check "command-line lists trimmed as the window trims an entry" bash -c "[ $rc = 0 ] && grep -q '<loc>https://example.jp/style.css</loc>' '$site/nubika_sitemap.xml' && grep -q '<loc>https://example.jp/</loc>' '$site/nubika_sitemap.xml'"
run "$site" --lastmod-from yesterday
check "--lastmod-from takes run or file only" [ "$rc" = 2 ]
rm -r "$site/drafts"

# A file stands for its folder.
rm -f "$site/nubika_sitemap.xml"
run "$site/index.html" --ext html --quiet
check "file stands for its folder" [ -f "$site/nubika_sitemap.xml" ]
(cd "$site" && "$CLI" --settings "$work/base.ini" index.html --ext html --quiet >/dev/null 2>&1); rc=$?
check "bare file name stands for the current folder" [ "$rc" = 0 ]

# Folders that give nothing: one line on stderr, exit 1, nothing written.
for bad in "$work/missing" "$site/missing/deeper" /dev/null "$site/empty"; do
  run "$bad" --ext html
  check "$bad fails" [ "$rc" = 1 ]
  check "$bad says why in one line, naming it" [ "$(printf '%s\n' "$err" | wc -l):$(grep -cF "$bad" "$work/err")" = 1:1 ]
done
check "nothing written beside /dev/null" [ ! -e /dev/nubika_sitemap.xml ]
check "empty folder left empty" [ -z "$(ls -A "$site/empty")" ]

# Usage errors exit 2; --help exits 0.
run --ext html;                       check "no FOLDER anywhere" [ "$rc" = 2 ]
run "$site" --bogus;                  check "unknown option" [ "$rc" = 2 ]
run "$site" --base-url;               check "missing value" [ "$rc" = 2 ]
"$CLI" "$site" --settings "$work/nope.ini" >/dev/null 2>&1; rc=$?
check "missing settings file" [ "$rc" = 2 ]
# A named settings file that cannot be read is an error with its cause,
# never the defaults; a value none of its key's values is a warning.
"$CLI" "$site" --settings /proc/self/mem --ext html >/dev/null 2>"$work/err"; rc=$?
check "unreadable settings file exits 2" [ "$rc" = 2 ]
check "unreadable settings file says why" grep -q "^nubika-sitemap-cli: --settings: /proc/self/mem: Input/output error" "$work/err"
printf '[SETTING]\nBASE_URL=https://example.jp/\n[OPTIONS]\nGZIP=true\nLASTMOD_FROM=File\n' >"$work/odd.ini"
"$CLI" "$site" --settings "$work/odd.ini" --ext html -q 2>"$work/err"; rc=$?
check "odd values still run" [ "$rc" = 0 ]
check "odd values are warnings naming file and key" \
  grep -qx "warning: $work/odd.ini: GZIP: true is not 1 or 0; read as 0" "$work/err"
check "every odd value is named" grep -q "LASTMOD_FROM: File is not run or file or content or git; read as run" "$work/err"
"$CLI" --help >"$work/out" 2>&1; rc=$?
check "--help exits 0" [ "$rc" = 0 ]
check "--help lists the options" grep -q -- "--base-url" "$work/out"

# The sitemap cannot be written: path and reason, previous one intact.
echo previous >"$site/nubika_sitemap.xml"; chmod 0444 "$site/nubika_sitemap.xml"
run "$site" --ext html
check "unwritable exits 1" [ "$rc" = 1 ]
check "unwritable names the path" grep -q "$site/nubika_sitemap.xml" "$work/err"
check "previous sitemap intact" [ "$(cat "$site/nubika_sitemap.xml")" = previous ]
check "no temporary file left" only_sitemap_and "$site" "empty index.html nubika_sitemap.xml style.css sub dir "
chmod 0644 "$site/nubika_sitemap.xml"

# A tree deeper than a path can be long is listed whole; its deepest page's
# URL is over the protocol's limit, so it is left out and counted.
deep=$work/deep; mkdir -p "$deep"; echo x >"$deep/top.html"
long=$(printf 'd%.0s' $(seq 1 250))
(cd "$deep" && for i in $(seq 1 18); do mkdir "$long" && cd "$long" || exit 1; done && echo y >deepest.html)
run "$deep" --ext html --quiet
check "deep tree still succeeds" [ "$rc" = 0 ]
check "the page past PATH_MAX was found and its long URL warned" grep -q "warning: 1 URL longer than 2048 characters left out" "$work/err"
check "the page at the top is listed" grep -q "<loc>https://example.jp/top.html</loc>" "$deep/nubika_sitemap.xml"
rm -rf "$deep"

# A tree 3,000 folders deep is listed whole with 16 descriptors at most:
# folders are opened through their parents, a few at a time.
chain=$(mktemp -d "${TMPDIR:-/tmp}/nubika-chain-XXXXXX"); echo t >"$chain/top.html"
python3 -c 'import os, sys
os.chdir(sys.argv[1])
for level in range(3000):
    os.mkdir("d"); os.chdir("d")
    if level % 500 == 499: open("p.html", "w").close()' "$chain"
(ulimit -n 16; "$CLI" --settings "$work/base.ini" "$chain" --ext html -q 2>"$work/err"); rc=$?
check "3,000 levels under ulimit -n 16" [ "$rc" = 0 ]
check "every level's page was found: 3 listed, 4 too long" bash -c "grep -q 'warning: 4 URLs longer than 2048' '$work/err' && [ \$(grep -c '<loc>' '$chain/nubika_sitemap.xml') = 3 ]"
rm -rf "$chain"

# Under a tight descriptor limit fewer folders are read at once, never
# fewer folders listed: eight readers asked for write what one writes.
bushy=$work/bushy
python3 -c 'import os, sys
for a in range(30):
    for b in range(8):
        os.makedirs(f"{sys.argv[1]}/a{a}/b{b}/c")
        open(f"{sys.argv[1]}/a{a}/b{b}/c/p.html", "w").close()' "$bushy"
for pair in "1024 1" "40 8" "16 8"; do
  read -r limit readers <<<"$pair"
  (ulimit -n "$limit"; "$CLI" --settings "$work/base.ini" "$bushy" --ext html -q --jobs "$readers" 2>"$work/err") ||
    check "$readers readers under ulimit -n $limit write the sitemap" false
  check "$readers readers under ulimit -n $limit list every folder" [ ! -s "$work/err" ]
  grep '<loc>' "$bushy/nubika_sitemap.xml" >"$work/locs-$limit"
done
check "every limit and number of readers gives the same URLs" bash -c "[ \$(grep -c . '$work/locs-40') = 240 ] && cmp -s '$work/locs-1024' '$work/locs-40' && cmp -s '$work/locs-1024' '$work/locs-16'"

# Running out of descriptors is no folder that cannot be listed: a chain
# 200 folders deep, each needed till its last subfolder, is listed whole,
# or the run fails and keeps the previous sitemap; never fewer URLs with
# exit 0.
chain=$work/chain200
python3 -c 'import os, sys
os.makedirs(sys.argv[1]); os.chdir(sys.argv[1])
for level in range(200):
    for page in range(4): open(f"p{page}.html", "w").close()
    os.mkdir("c"); os.mkdir("last"); os.chdir("c")' "$chain"
"$CLI" --settings "$work/base.ini" "$chain" --ext html -q || check "the 200-deep chain without a limit" false
# A sanitizer's runtime takes descriptors and threads of its own, so these
# tight limits measure the program only in a plain build.
sanitized=${ASAN_OPTIONS:-}${TSAN_OPTIONS:-}
[ -z "$sanitized" ] || echo "skipped under a sanitizer: the descriptor and thread limits"
for limit in $([ -z "$sanitized" ] && echo 5 6 8); do
  cp "$chain/nubika_sitemap.xml" "$work/before.xml"
  (ulimit -n "$limit"; "$CLI" --settings "$work/base.ini" "$chain" --ext html -q --jobs 4 2>"$work/err"); rc=$?
  if [ "$rc" = 0 ]; then
    check "ulimit -n $limit: exit 0 with all 800 URLs" [ "$(grep -c '<loc>' "$chain/nubika_sitemap.xml"):$(cat "$work/err")" = "800:" ]
  else
    check "ulimit -n $limit: exit 1 says why and keeps the previous sitemap" bash -c "[ $rc = 1 ] && grep -q 'Too many open files' '$work/err' && cmp -s '$chain/nubika_sitemap.xml' '$work/before.xml'"
  fi
done
rm -rf "$chain"

# Threads the system refuses (a thread limit binds only a user other than
# root): the run ends with every URL and at most the one warning.
limited=$(mktemp -d "${TMPDIR:-/tmp}/nubika-nproc-XXXXXX")
mkdir -p "$limited/a/b"; touch "$limited/x.html" "$limited/a/y.html" "$limited/a/b/z.html"
cp "$work/base.ini" "$limited.ini"
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
if [ -z "$sanitized" ] && [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null && command -v prlimit >/dev/null &&
   chown -R nobody "$limited" "$limited.ini" && as_nobody test -x "$CLI" -a -w "$limited" -a -r "$limited.ini"; then
  for procs in 1 2 3; do
    timeout 60 setpriv --reuid=nobody --regid=nogroup --clear-groups prlimit --nproc="$procs" \
      "$CLI" --settings "$limited.ini" "$limited" --ext html -q --jobs 4 2>"$work/err"; rc=$?
    check "--nproc=$procs: exit 0 with every URL" [ "$rc:$(grep -c '<loc>' "$limited/nubika_sitemap.xml")" = "0:3" ]
    check "--nproc=$procs: at most one warning, on the threads" \
      bash -c "[ \$(grep -c . '$work/err') -le 1 ] && ! grep -qv 'threads that read folders ahead' '$work/err'"
  done
else
  echo "skipped: the thread limit needs root, setpriv, prlimit and a user nobody that may run $CLI"
fi
rm -rf "$limited" "$limited.ini"

many=$work/many; mkdir -p "$many"
(cd "$many" && seq 1 50001 | sed 's/$/.html/' | xargs touch)
run "$many" --ext html
check "over 50,000 URLs: an index of two parts" [ "$rc:${out##* }:$(grep -c '<sitemap>' "$many/nubika_sitemap.xml")" = "0:2:2" ]
check "the parts hold every URL" [ "$(cat "$many"/nubika_sitemap-*.xml | grep -c '<url>')" = 50001 ]
check "the parts are named after their content" [ "$(ls "$many" | grep -cE '^nubika_sitemap-[0-9a-f]{16}\.xml$')" = 2 ]
if [ -n "${SCHEMA_DIR:-}" ]; then
  check "the index validates" xmllint --noout --nonet --schema "$SCHEMA_DIR/siteindex.xsd" "$many/nubika_sitemap.xml" 2>/dev/null
fi
rm "$many"/50001.html "$many"/50000.html
run "$many" --ext html --gzip
# The parts of the index replaced live one run longer.
check "with --gzip, one part under the index" [ "$rc:$(ls "$many" | grep -c '^nubika_sitemap-.*\.xml\.gz$'):$(ls "$many" | grep -c '^nubika_sitemap-.*\.xml$')" = "0:1:2" ]
check "the gzip part decompresses to a sitemap" bash -c "gunzip -c '$many'/nubika_sitemap-*.xml.gz | xmllint --noout --nonet -"
run "$many" --ext html --no-gzip
check "back to one file: the last index's part is left" [ "$rc:$(ls "$many" | grep -c '^nubika_sitemap-.*\.xml\.gz$'):$(ls "$many" | grep -c '^nubika_sitemap-')" = "0:1:1" ]
run "$many" --ext html --no-gzip
check "and gone a run later" [ "$rc:$(ls "$many" | grep -c '^nubika_sitemap-')" = "0:0" ]
check "and that file is the sitemap" [ "$(grep -c '<url>' "$many/nubika_sitemap.xml")" = 49999 ]

# The ledger: dates from content, the success line's three counts, the
# change list, and a ledger that cannot be used.
dated=$work/dated
mkdir -p "$dated"
echo a >"$dated/a.html"; echo b >"$dated/b.html"
touch -d '2026-01-01 12:00' "$dated"/*.html
export XDG_STATE_HOME=$work/state
run "$dated" --ext html --lastmod --lastmod-from content --changes "$work/changes"
check "content: success line gains added, changed, removed" [ "$rc:$out" = "0:$dated/nubika_sitemap.xml 2 0 2 0 0" ]
check "content: dates are the files' on a first run" [ "$(grep -c '<lastmod>2026-01-01</lastmod>' "$dated/nubika_sitemap.xml")" = 2 ]
check "content: the ledger is in its usual place" [ "$(ls "$work/state/nubika-sitemap/ledger" | grep -cE '^[0-9a-f]{16}\.sqlite$')" = 1 ]
check "content: the change list" [ "$(sort "$work/changes")" = "$(printf 'A\thttps://example.jp/a.html\nA\thttps://example.jp/b.html')" ]
echo a >"$dated/a.html"; echo c >"$dated/c.html"; rm "$dated/b.html"
run "$dated" --ext html --lastmod --lastmod-from content --changes "$work/changes"
check "content: same bytes, same date" grep -q '<loc>https://example.jp/a.html</loc>.*<lastmod>2026-01-01</lastmod>' <(tr -d '\r\n' <"$dated/nubika_sitemap.xml")
check "content: counts of the second run" [ "$rc:$out" = "0:$dated/nubika_sitemap.xml 2 0 1 0 1" ]
check "content: added and removed" [ "$(cat "$work/changes")" = "$(printf 'A\thttps://example.jp/c.html\nD\thttps://example.jp/b.html')" ]
run "$dated" --ext html --lastmod --changes "$work/changes"
check "--changes without a ledger is a usage error" [ "$rc" = 2 ]
check "and says what it needs" grep -q -- "--changes needs --lastmod-from content" "$work/err"
cp "$dated/nubika_sitemap.xml" "$work/before.xml"
head -c 3000 /dev/urandom >"$work/corrupt.sqlite"; cp "$work/corrupt.sqlite" "$work/corrupt.copy"
echo d >"$dated/d.html"
run "$dated" --ext html --lastmod --lastmod-from content --ledger "$work/corrupt.sqlite" --changes "$work/changes2"
check "a corrupt ledger exits 1" [ "$rc" = 1 ]
check "naming it and the cause" grep -q "the ledger $work/corrupt.sqlite cannot be read: file is not a database" "$work/err"
check "the previous sitemap stays, the ledger too, no change list" \
  bash -c "cmp -s '$work/before.xml' '$dated/nubika_sitemap.xml' && cmp -s '$work/corrupt.sqlite' '$work/corrupt.copy' && [ ! -e '$work/changes2' ]"

# Dates from git: each tracked page its last commit's day, a modified and
# an untracked page by the content rule (their files' days on a first
# run), and a shallow clone warned of once with its count.
if command -v git >/dev/null; then
  export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@example.jp \
         GIT_COMMITTER_NAME=t GIT_COMMITTER_EMAIL=t@example.jp
  commit() { git -C "$repo" add -A && GIT_COMMITTER_DATE="$1 12:00 +0000" GIT_AUTHOR_DATE="$1 12:00 +0000" git -C "$repo" commit -qm "$1"; }
  lastmod() { tr -d '\r\n\t' <"$1/nubika_sitemap.xml" | grep -o "<loc>https://example.jp/$2</loc><lastmod>[0-9-]*" | sed 's/.*<lastmod>//'; }
  repo=$work/repo
  git init -q -b main "$repo"; mkdir -p "$repo/site/docs"
  echo a >"$repo/site/a.html"; echo b >"$repo/site/docs/b.html"; echo m >"$repo/site/m.html"; commit 2021-02-03
  echo b2 >"$repo/site/docs/b.html"; commit 2022-04-05
  echo m2 >"$repo/site/m.html"; echo u >"$repo/site/u.html"
  touch -d '2025-06-07 12:00' "$repo/site/m.html" "$repo/site/u.html"
  TZ=UTC run "$repo/site" --ext html --lastmod --lastmod-from git --changes "$work/changes"
  check "git: success line with the ledger's counts" [ "$rc:$out" = "0:$repo/site/nubika_sitemap.xml 4 0 4 0 0" ]
  check "git: each tracked page its commit's day" [ "$(lastmod "$repo/site" a.html):$(lastmod "$repo/site" docs/b.html)" = "2021-02-03:2022-04-05" ]
  check "git: modified and untracked pages by content" [ "$(lastmod "$repo/site" m.html):$(lastmod "$repo/site" u.html)" = "2025-06-07:2025-06-07" ]
  check "git: the change list" [ "$(cut -f1 "$work/changes" | sort | uniq -c | tr -s ' ')" = " 4 A" ]
  TZ=UTC run "$repo/site" --ext html --lastmod --lastmod-from git
  check "git: a rerun changes nothing" [ "$rc:$out" = "0:$repo/site/nubika_sitemap.xml 4 0 0 0 0" ]
  git -C "$repo" add -A && git -C "$repo" commit -qm later
  git clone -q --depth 1 "file://$repo" "$work/shallow" 2>/dev/null
  TZ=UTC run "$work/shallow/site" --ext html --lastmod --lastmod-from git --ledger "$work/shallow.sqlite"
  check "git: a shallow clone writes its sitemap" [ "$rc" = 0 ]
  check "git: and warns once, with the count" \
    [ "$(grep -c "shallow git history of $work/shallow does not hold the last change of 4 tracked pages" "$work/err")" = 1 ]
  printf '[OPTIONS]\nLASTMOD_FROM=git\n' >"$work/git.ini"
  "$CLI" "$repo/site" --settings "$work/git.ini" --base-url https://example.jp/ --ext html --lastmod -q --ledger "$work/fromini.sqlite"
  check "git: LASTMOD_FROM=git in the settings" [ "$(lastmod "$repo/site" a.html)" = 2021-02-03 ]
else
  echo "FAIL: git is needed for the tests of --lastmod-from git"; failed=$((failed + 1))
fi
unset XDG_STATE_HOME

# The search engine options: a crawler's name is checked before the run;
# the Sitemap: line is added once; a robots.txt that cannot be read fails
# the run with its cause.
search=$work/search
mkdir -p "$search/private"
echo '<link rel=canonical href=/b.html>' >"$search/a.html"; echo b >"$search/b.html"; echo p >"$search/private/p.html"
printf 'User-agent: *\r\nDisallow: /private/\r\n' >"$search/robots.txt"
run "$search" --base-url https://example.jp/ --ext html --robots-agent Googlebot/2.1
check "a bad crawler's name: usage error" [ "$rc" = 2 ]
check "a bad crawler's name is named" grep -q "Googlebot/2.1" "$work/err"
run "$search" --base-url https://example.jp/ --ext html --canonical --robots-txt
check "search options: exit 0, one URL" [ "$rc:$out" = "0:$search/nubika_sitemap.xml 1 0" ]
check "search options: each kind said" [ "$(grep -c -e 'canonical elsewhere: a.html -> https://example.jp/b.html' \
  -e 'disallowed by robots.txt: private/p.html (Disallow: /private/)' \
  -e 'robots.txt has no Sitemap: line for https://example.jp/nubika_sitemap.xml' "$work/err")" = 3 ]
run "$search" --base-url https://example.jp/ --ext html --robots-txt --robots-sitemap-line
run "$search" --base-url https://example.jp/ --ext html --robots-txt --robots-sitemap-line
check "the Sitemap: line added once, as the file's lines end" \
  [ "$(cat "$search/robots.txt")" = "$(printf 'User-agent: *\r\nDisallow: /private/\r\nSitemap: https://example.jp/nubika_sitemap.xml\r')" ]
check "no Sitemap: warning once robots.txt names the sitemap" [ "$(grep -c 'Sitemap:' "$work/err")" = 0 ]
rm "$search/robots.txt"; mkfifo "$search/robots.txt"
run "$search" --base-url https://example.jp/ --ext html --robots-txt
check "an unreadable robots.txt fails the run" [ "$rc" = 1 ]
check "and is named" grep -q "cannot read $search/robots.txt: not a regular file" "$work/err"

# SIGINT/SIGTERM stop the run: exit 1 and the previous sitemap stays. The
# signal may come after a fast run ended; then the new sitemap is whole.
# On a slow start (a sanitizer build, a loaded machine) it may also come
# before the program has set up its handlers and end it outright: nothing
# has been written then either.
stopped=0
for signal in INT TERM INT TERM INT TERM; do
  echo previous >"$many/nubika_sitemap.xml"
  "$CLI" --settings "$work/base.ini" "$many" --ext html --quiet 2>/dev/null & pid=$!
  sleep 0.02; kill -s "$signal" "$pid" 2>/dev/null; wait "$pid"; rc=$?
  if [ "$rc" = 1 ] || [ "$rc" -gt 128 ]; then
    stopped=$((stopped + 1))
    check "stopped by SIG$signal keeps the previous sitemap" [ "$(cat "$many/nubika_sitemap.xml")" = previous ]
  else
    check "finished before SIG$signal: complete sitemap" grep -q "</urlset>" "$many/nubika_sitemap.xml"
  fi
  check "no temporary file after SIG$signal" [ -z "$(ls -A "$many" | grep '^\.nubika')" ]
done
check "at least one run was stopped by a signal" [ "$stopped" -gt 0 ]

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
