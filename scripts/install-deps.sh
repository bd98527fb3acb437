#!/usr/bin/env bash
# Installs the Debian packages that are missing.
#   install-deps.sh programs   what building the two programs needs
#   install-deps.sh            that, and what the tests, the sanitizers, the
#                              screenshots, the package and the benchmark's
#                              plot need
set -euo pipefail
scope=${1:-all}
# The compiler, CMake, Qt (with its Japanese translations, which the window
# loads) and the libraries the programs link.
packages=(cmake g++ make pkg-config qt6-base-dev qt6-translations-l10n libcli11-dev libsimpleini-dev
          zlib1g-dev libgumbo-dev libidn2-dev liburiparser-dev libsqlite3-dev libxxhash-dev libgit2-dev
          libcurl4-openssl-dev)
case $scope in
  programs) ;;
  all)
    packages+=(libgtest-dev libdeflate-dev libxml2-utils libxml2-dev fonts-ipafont-gothic xvfb xauth imagemagick git
               clang-14 libclang-rt-14-dev python3 libssl3 libpcre2-8-0 libcrypt1 zlib1g
               dpkg-dev file lintian help2man man-db desktop-file-utils appstream gnuplot-nox python3-doc)
    ;;
  *)
    echo "usage: install-deps.sh [programs|all]" >&2
    exit 2
    ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi

[ "$scope" = programs ] && exit 0

# Locales the tests switch to, to show that no locale changes a byte, and
# Japanese, in which the manual pages must read without a warning.
missing_locale=false
for wanted in tr_TR de_DE ja_JP; do
  locale -a 2>/dev/null | grep -qi "^$wanted.utf8\$" || missing_locale=true
done
if $missing_locale; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  dpkg-query -W -f='${Status}' locales 2>/dev/null | grep -q "install ok installed" || {
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq locales
  }
  $sudo_cmd sed -i -E 's/^# *(tr_TR.UTF-8|de_DE.UTF-8|ja_JP.UTF-8)/\1/' /etc/locale.gen
  $sudo_cmd locale-gen >/dev/null
fi

# nginx for the web test, unpacked into .cache/; the libraries it links are
# in the list above.
bash "$(dirname "$0")/fetch-nginx.sh"
