#!/usr/bin/env bash
# Installs the Debian packages Ravlin needs to build, run and test; only what
# is missing, so it is quick on a prepared machine.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  librtmidi-dev
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-svg-dev qt6-l10n-tools libgl1-mesa-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  jackd2 libjack-jackd2-dev
  fonts-ipafont-gothic xvfb xauth
  clang libclang-rt-14-dev
  emscripten
  librsvg2-bin dpkg-dev desktop-file-utils appstream lintian groff-base
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
