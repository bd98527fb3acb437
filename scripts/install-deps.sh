#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the screenshots, the
# package and the benchmark's plot need, when any is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev libcli11-dev libsimpleini-dev libgtest-dev
          libxml2-utils fonts-ipafont-gothic qt6-translations-l10n xvfb xauth imagemagick
          libxml2-dev clang-14 libclang-rt-14-dev libdeflate-dev zlib1g-dev libgumbo-dev
          python3 libssl3 libpcre2-8-0 libcrypt1 zlib1g
          dpkg-dev file lintian help2man man-db desktop-file-utils appstream gnuplot-nox)
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

# Locales the tests switch to, to show that no locale changes a byte.
if ! locale -a 2>/dev/null | grep -qi '^tr_TR.utf8$' || ! locale -a 2>/dev/null | grep -qi '^de_DE.utf8$'; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  dpkg-query -W -f='${Status}' locales 2>/dev/null | grep -q "install ok installed" || {
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq locales
  }
  $sudo_cmd sed -i -E 's/^# *(tr_TR.UTF-8|de_DE.UTF-8)/\1/' /etc/locale.gen
  $sudo_cmd locale-gen >/dev/null
fi

# nginx for the web test, unpacked into .cache/; the libraries it links are
# in the list above.
bash "$(dirname "$0")/fetch-nginx.sh"
