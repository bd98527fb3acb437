#!/usr/bin/env bash
# Serves a site of awkward names with a real nginx and checks that every
# URL of the sitemap nubika-sitemap-cli writes for it is served with the
# page's own bytes, and that every page is listed once.
#   usage: served_urls.sh [ARGUMENT...]   (passed on to the program)
#   CLI    the program
#   NGINX_BIN  the nginx binary (scripts/fetch-nginx.sh unpacks Debian's)
#   SERVED_URLS_REGULAR_ONLY=1 leaves out the dangling link and the FIFO
#          named like pages
#   SERVED_URLS_SEARCH=1 adds a robots.txt, a language cluster and pages
#          the search engine options leave out; the program is to be run
#          with those options, and robots.txt must name the sitemap after
set -euo pipefail
: "${CLI:?path of nubika-sitemap-cli}"
: "${NGINX_BIN:?path of the nginx binary}"
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -x "$NGINX_BIN" ]; then
  echo "no nginx at $NGINX_BIN: run scripts/install-deps.sh (or scripts/fetch-nginx.sh)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/nubika-web-XXXXXX")
site=$work/site
server=$work/server
server_pid=""
stop_server() {
  [ -n "$server_pid" ] || return 0
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
}
trap 'stop_server; rm -rf "$work"' EXIT

write_config() {  # write_config PORT
  cat >"$server/nginx.conf" <<EOF
daemon off;
master_process off;
pid "$server/nginx.pid";
error_log "$server/error.log";
events { worker_connections 64; }
http {
  access_log "$server/access.log";
  client_body_temp_path "$server/client_body";
  proxy_temp_path "$server/proxy";
  fastcgi_temp_path "$server/fastcgi";
  uwsgi_temp_path "$server/uwsgi";
  scgi_temp_path "$server/scgi";
  server {
    listen 127.0.0.1:$1;
    root "$site";
    index index.html index.htm;
  }
}
EOF
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Sets port. Another process may take the free port before nginx binds it,
# so a taken port means another try. nginx writes its pid file only once it
# holds the port, which a mere connection could not tell from someone else
# listening there.
start_server() {
  local wait
  mkdir -p "$server"
  for _ in 1 2 3 4 5; do
    port=$(free_port)
    write_config "$port"
    rm -f "$server/nginx.pid" "$server/error.log"
    # nginx takes listening sockets from a variable named NGINX, if set.
    env -u NGINX "$NGINX_BIN" -p "$server" -c "$server/nginx.conf" -e stderr 2>"$server/stderr" &
    server_pid=$!
    for ((wait = 0; wait < 100; wait++)); do
      [ -s "$server/nginx.pid" ] && return 0
      kill -0 "$server_pid" 2>/dev/null || break
      sleep 0.05
    done
    stop_server
    cat "$server"/error.log "$server"/stderr 2>/dev/null | grep -q "Address already in use" || break
    echo "port $port was taken, trying another"
  done
  echo "nginx did not start:" >&2
  cat "$server"/stderr "$server"/error.log >&2 2>/dev/null || true
  return 1
}

regular_only=()
[ "${SERVED_URLS_REGULAR_ONLY:-0}" = 1 ] && regular_only=(--regular-only)
search=()
[ "${SERVED_URLS_SEARCH:-0}" = 1 ] && search=(--search "$work/left-out")
python3 "$here/make_site.py" "$site" "${regular_only[@]}" "${search[@]}"
start_server
base=http://127.0.0.1:$port/
: >"$work/empty.ini"
status=0
"$CLI" "$site" --settings "$work/empty.ini" --base-url "$base" --ext html,htm "$@" \
  >"$work/out" 2>"$work/err" || status=$?
if [ "$status" != 0 ]; then
  echo "nubika-sitemap-cli exited with $status:" >&2
  cat "$work/err" >&2
  exit 1
fi
xmllint --noout --nonet "$site/nubika_sitemap.xml"
if [ ${#search[@]} -gt 0 ]; then
  cat "$work/err"
  # The line that --robots-sitemap-line adds ends as the file's lines do.
  if ! tail -n 1 "$site/robots.txt" | grep -qx "Sitemap: ${base}nubika_sitemap.xml"$'\r'; then
    echo "robots.txt does not end in the sitemap's line:" >&2
    cat -A "$site/robots.txt" >&2
    exit 1
  fi
  python3 "$here/check_served.py" "$site/nubika_sitemap.xml" "$site" "$base" "$work/left-out"
else
  python3 "$here/check_served.py" "$site/nubika_sitemap.xml" "$site" "$base"
fi
