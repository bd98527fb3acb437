#!/usr/bin/env bash
# CI: the Debian package as a user gets it. Builds it, installs it with apt
# and checks the installed copy: its version, its manual page, a sitemap of
# examples/site written by a new user, and the window started under Xvfb by
# that user (and by root), ended by SIGTERM, leaving its settings in the
# user's ~/.config and nothing beside the program. Whatever happens, the
# packages it installed, the user and every file it made go again, so the
# machine is left as it was found.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || exec sudo -E bash "$0" "$@"

user=nubika-ci-$$
work=$(mktemp -d)
chmod 0711 "$work"  # the runtime folders inside are the users'
include=/etc/dpkg/dpkg.cfg.d/zz-nubika-ci-man
packages_before=$work/packages-before
pids=()

cleanup() {
  local status=$?
  set +e
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  if [ -f "$packages_before" ]; then
    # Everything the install brought, the package's dependencies too.
    local added
    added=$(comm -13 "$packages_before" <(installed_packages))
    [ -z "$added" ] || DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq $added >/dev/null
  fi
  rm -f "$include"
  id "$user" >/dev/null 2>&1 && userdel -r "$user" 2>/dev/null
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT

installed_packages() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" {print $2}' | sort; }
fail() {
  echo "package.sh: $*" >&2
  exit 1
}

if dpkg-query -W -f='${Status}' nubika-sitemap 2>/dev/null | grep -q "ok installed"; then
  fail "nubika-sitemap is installed already; this stage would remove it"
fi

make package
fields=$(dpkg-deb -f nubika-sitemap_*.deb Depends Recommends)
if ! grep -q '^Depends:.*xdg-utils' <<<"$fields" || ! grep -q '^Recommends:.*bash-completion' <<<"$fields"; then
  fail "the package's relations: $fields"
fi
installed_packages >"$packages_before"
# Slim images leave manual pages out of every package; ours go in.
if grep -rqs '^path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg.d/; then
  echo 'path-include=/usr/share/man/man1/nubika-sitemap*' >"$include"
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./nubika-sitemap_*.deb

version=$(sed -n 's/^project(nubika-sitemap VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(nubika-sitemap-cli --version)" = "nubika-sitemap-cli $version" ] || fail "--version: $(nubika-sitemap-cli --version)"
page=$(MANPAGER=cat MANWIDTH=80 man nubika-sitemap-cli 2>&1) || fail "man nubika-sitemap-cli: $page"
grep -q -- '--base-url' <<<"$page" && grep -q '^EXIT STATUS' <<<"$page" || fail "the manual page is not shown: $page"
MANPAGER=cat man nubika-sitemap >/dev/null || fail "man nubika-sitemap"
for locale in C ja_JP.UTF-8; do
  for name in nubika-sitemap nubika-sitemap-cli; do
    warnings=$(LC_ALL=$locale MANWIDTH=80 man --warnings "$name" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $name in $locale: $warnings"
  done
done

useradd -m "$user"
home=$(getent passwd "$user" | cut -d: -f6)
cp -r examples/site "$home/site"
rm -f "$home/site/nubika_sitemap.xml"
chown -R "$user:" "$home/site"

# as USER COMMAND...: a clean environment, as a login would give.
as() {
  local who=$1 home
  home=$(getent passwd "$who" | cut -d: -f6)
  shift
  setpriv --reuid="$who" --regid="$who" --init-groups \
    env -i HOME="$home" USER="$who" LOGNAME="$who" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"
}

out=$(as "$user" nubika-sitemap-cli "$home/site" --base-url https://example.jp/ --ext html,htm \
  --priority --changefreq --lastmod) || fail "the sitemap run exits $?"
[[ $out == "$home/site/nubika_sitemap.xml "* ]] || fail "the sitemap run says: $out"
check=$(xmllint --nonet --noout --schema tests/schemas/sitemap.xsd "$home/site/nubika_sitemap.xml" 2>&1) ||
  fail "the sitemap is not valid: $check"
grep -q '<loc>https://example.jp/index.html</loc>' "$home/site/nubika_sitemap.xml" || fail "no index.html in the sitemap"

# One X server for the window runs; it names its display when ready.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
display=:$(cat "$work/display")

# window WHO HOME: starts the installed window as WHO with HOME, waits until
# it holds its single-instance lock, ends it by SIGTERM and checks that it
# saved its settings under HOME/.config and nowhere beside the program.
window() {
  local who=$1 home=$2 runtime=$work/runtime-$1
  install -d -m 0700 -o "$who" "$runtime"
  # timeout hands the SIGTERM on to the window, and ends one that hangs.
  timeout -k 5 60 setpriv --reuid="$who" --regid="$who" --init-groups \
    env -i HOME="$home" USER="$who" PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$display" \
    XDG_RUNTIME_DIR="$runtime" nubika-sitemap >"$work/window-$who.log" 2>&1 &
  local pid=$!
  pids+=("$pid")
  for _ in $(seq 200); do [ -e "$runtime/nubika-sitemap.lock" ] && break; sleep 0.1; done
  [ -e "$runtime/nubika-sitemap.lock" ] || fail "the window did not start as $who: $(cat "$work/window-$who.log")"
  kill -TERM "$pid"
  local status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "the window ended with $status as $who: $(cat "$work/window-$who.log")"
  grep -q '^\[SETTING\]' "$home/.config/nubika-sitemap/Setting.ini" ||
    fail "no settings in $home/.config/nubika-sitemap/Setting.ini"
  [ ! -e /usr/bin/Setting.ini ] || fail "the window as $who wrote /usr/bin/Setting.ini"
}
window "$user" "$home"
# Root may write into /usr/bin, and still must not.
mkdir "$work/root-home"
window root "$work/root-home"

echo "package.sh: installed, run as $user and root, and removed again"
