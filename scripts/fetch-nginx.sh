#!/usr/bin/env bash
# Unpacks the nginx binary of Debian's package into .cache/nginx of the
# checkout (or the folder given), for the web test. The package is never
# installed, so no system service starts: the test runs its own nginx as a
# single process. Does nothing when the binary is there already.
set -euo pipefail
dest=${1:-$(cd "$(dirname "$0")/.." && pwd)/.cache/nginx}
[ -x "$dest/usr/sbin/nginx" ] && exit 0

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# apt downloads as its own unprivileged user, which must be able to reach this folder.
chmod 755 "$work"
cd "$work"
# A fresh machine may have no package lists yet.
if ! apt-get download -qq nginx 2>/dev/null; then
  $sudo_cmd apt-get update -qq
  apt-get download -qq nginx
fi
# Unpacked beside the destination and moved into place whole, so that an
# interrupted fetch never looks finished.
mkdir -p "$(dirname "$dest")"
rm -rf "$dest.partial"
dpkg -x nginx_*.deb "$dest.partial"
rm -rf "$dest"
mv "$dest.partial" "$dest"
echo "nginx unpacked into $dest"
