#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the screenshots
# need, when any is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev libcli11-dev libsimpleini-dev libgtest-dev
          libxml2-utils fonts-ipafont-gothic xvfb xauth imagemagick)
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
