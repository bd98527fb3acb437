#!/usr/bin/env bash
# --indexnow against an endpoint the test starts on 127.0.0.1: what is
# sent, in how many requests, and what a refusal and a missing key file
# give. Needs CLI (the program) and python3.
set -u
: "${CLI:?path of nubika-sitemap-cli}"
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
export NO_PROXY='*' no_proxy='*' XDG_STATE_HOME=$work/state
passed=0 failed=0
check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

mkdir -p "$work/endpoint"
python3 "$here/indexnow_server.py" "$work/endpoint" & server=$!
for _ in $(seq 100); do [ -f "$work/endpoint/port" ] && break; sleep 0.1; done
endpoint=http://127.0.0.1:$(cat "$work/endpoint/port")/indexnow
key=0123abcd-KEY
printf '[SETTING]\nBASE_URL=https://example.jp/\n' >"$work/base.ini"
run() {  # run FOLDER ARGS... ; sets rc; stdout and stderr in out and err
  timeout 60 "$CLI" "$1" --settings "$work/base.ini" --ext html --lastmod --lastmod-from content \
    --ledger "$work/$(basename "$1").sqlite" --indexnow-endpoint "$endpoint" "${@:2}" >"$work/out" 2>"$work/err"
  rc=$?
}
requests() { ls "$work/endpoint" | grep -c '^request-.*\.json$'; }
forget_requests() { rm -f "$work/endpoint"/request-* "$work/endpoint/statuses"; }
# The URLs of request N, one a line, and whether the body is the protocol's.
urls_of() {
  python3 - "$work/endpoint/request-$1.json" "$key" <<'PY'
import json, sys
body = json.load(open(sys.argv[1]))
assert set(body) == {"host", "key", "keyLocation", "urlList"}, body.keys()
assert body["host"] == "example.jp" and body["key"] == sys.argv[2], body
assert body["keyLocation"] == "https://example.jp/" + sys.argv[2] + ".txt", body["keyLocation"]
print("\n".join(body["urlList"]))
PY
}

site=$work/site
mkdir -p "$site/docs"
echo a >"$site/a.html"; echo b >"$site/docs/b.html"; echo '"q"' >"$site/q\"uote.html"
echo x >"$site/keep.html"

# No key file: exit 2 before anything is written, saying how to make it.
run "$site" --indexnow "$key"
check "no key file: exit 2" [ "$rc" = 2 ]
check "and how to create it" grep -q "there is no key file $site/$key.txt.*printf '%s\\\\n' $key > '$site/$key.txt'" "$work/err"
check "and nothing written or sent" [ "$(ls "$site" | grep -c nubika_sitemap):$(ls "$work" | grep -c '^site.sqlite'):$(requests)" = 0:0:0 ]
echo other >"$site/$key.txt"
run "$site" --indexnow "$key"
check "a key file with another key: exit 2" [ "$rc:$(requests):$(grep -c "does not hold the key" "$work/err")" = 2:0:1 ]
for bad in short77 "has space-in-it" "$(printf 'k%.0s' $(seq 129))"; do
  run "$site" --indexnow "$bad"
  check "bad key '${bad:0:12}': exit 2" [ "$rc:$(requests):$(grep -c "a key is 8 to 128 characters" "$work/err")" = 2:0:1 ]
done
timeout 60 "$CLI" "$site" --settings "$work/base.ini" --ext html --indexnow "$key" >"$work/out" 2>"$work/err"
check "no ledger: exit 2 saying what it needs" [ "$?:$(grep -c -- "--indexnow needs --lastmod-from content or git" "$work/err")" = 2:1 ]

# The first run sends every URL, once, in one request of the protocol's form.
printf '%s\n' "$key" >"$site/$key.txt"
run "$site" --indexnow "$key" --changes "$work/changes"
check "first run: exit 0" [ "$rc" = 0 ]
check "one request, of JSON" [ "$(requests):$(grep -c "^application/json; charset=utf-8$" "$work/endpoint/request-1.head")" = 1:1 ]
check "the body holds exactly the changed URLs" [ "$(urls_of 1 | sort)" = "$(cut -f2 "$work/changes" | sort)" ]
check "four of them, the quote escaped" [ "$(urls_of 1 | wc -l):$(urls_of 1 | grep -c 'q%22uote')" = "4:1" ]
forget_requests
run "$site" --indexnow "$key"
check "nothing changed: nothing sent" [ "$rc:$(requests)" = "0:0" ]
echo a2 >"$site/a.html"; rm "$site/docs/b.html"
run "$site" --indexnow "$key"
check "a change and a removal: exactly those" [ "$rc:$(urls_of 1 | sort | tr '\n' ' ')" = "0:https://example.jp/a.html https://example.jp/docs/b.html " ]

# 25,000 changes go in three requests; the second refused with 403: exit
# 3, the sitemap and the ledger written, the URLs not submitted marked.
many=$work/many
mkdir -p "$many"
python3 -c "
import os
for n in range(25000):
    open(os.path.join('$many', f'p{n:05d}.html'), 'w').write('x')
"
printf '%s\n' "$key" >"$many/$key.txt"
forget_requests
run "$many" --indexnow "$key" --changes "$work/many-changes"
check "25,000 changes: three requests of 10,000, 10,000 and 5,000" \
  [ "$rc:$(requests):$(urls_of 1 | wc -l):$(urls_of 2 | wc -l):$(urls_of 3 | wc -l)" = "0:3:10000:10000:5000" ]
check "together exactly the change list, in its order" [ "$(cat <(urls_of 1) <(urls_of 2) <(urls_of 3))" = "$(cut -f2 "$work/many-changes")" ]
forget_requests
printf '200\n403\n' >"$work/endpoint/statuses"
find "$many" -name 'p*.html' -exec sh -c 'for f; do echo y >"$f"; done' _ {} +
cp "$work/many.sqlite" "$work/many-before.sqlite"
run "$many" --indexnow "$key" --changes "$work/many-changes"
check "a 403: exit 3" [ "$rc" = 3 ]
check "after the one refused request" [ "$(requests)" = 2 ]
check "saying what the endpoint answered" \
  grep -q "IndexNow: $endpoint answered HTTP 403: Forbidden: the key is not valid for this host; 15000 of 25000 URLs not submitted (marked with ! in $work/many-changes)" "$work/err"
check "the sitemap is written, with the success line" [ "$(cat "$work/out")" = "$many/nubika_sitemap.xml 25000 0 0 25000 0" ]
check "the ledger is written" bash -c "! cmp -s '$work/many.sqlite' '$work/many-before.sqlite'"
check "the first 10,000 plain, the rest marked" \
  [ "$(head -n 10000 "$work/many-changes" | grep -c '^M	')":"$(tail -n +10001 "$work/many-changes" | grep -c '^!M	')" = "10000:15000" ]

# Stopped while the endpoint keeps silent: within seconds, exit 3, the
# change marked.
forget_requests
echo 0 >"$work/endpoint/statuses"
echo s >"$site/a.html"
"$CLI" "$site" --settings "$work/base.ini" --ext html --lastmod --lastmod-from content --ledger "$work/site.sqlite" \
  --indexnow-endpoint "$endpoint" --indexnow "$key" --changes "$work/changes" >"$work/out" 2>"$work/err" & cli=$!
for _ in $(seq 100); do [ "$(requests)" = 1 ] && break; sleep 0.1; done
start=$(date +%s); kill -INT "$cli"; wait "$cli"; rc=$?
check "stopped during a request: exit 3 at once" [ "$rc:$(( $(date +%s) - start < 10 ))" = 3:1 ]
check "saying so, the change marked" \
  [ "$(grep -c "the submission was stopped; 1 of 1 URL not submitted" "$work/err"):$(cat "$work/changes")" = "1:$(printf '!M\thttps://example.jp/a.html')" ]

# An endpoint that does not answer: exit 3 within the time-out, said so.
kill "$server"; wait "$server" 2>/dev/null; server=
echo z >"$site/a.html"
run "$site" --indexnow "$key" --changes "$work/changes"
check "no endpoint: exit 3, saying so" [ "$rc:$(grep -c "IndexNow: $endpoint could not be reached" "$work/err")" = 3:1 ]
check "and the change marked" [ "$(cat "$work/changes")" = "$(printf '!M\thttps://example.jp/a.html')" ]

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
