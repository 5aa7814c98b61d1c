#!/usr/bin/env bash
# Installs the Debian packages Ravlin needs to build, run and test; only what
# is missing, so it is quick on a prepared machine.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  librtmidi-dev
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-svg-dev qt6-l10n-tools libgl1-mesa-dev
  qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  jackd2 libjack-jackd2-dev
  fonts-ipafont-gothic xvfb xauth
  clang libclang-rt-14-dev
  emscripten
  nodejs chromium qt6-websockets-dev
  librsvg2-bin dpkg-dev desktop-file-utils appstream lintian groff-base
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# A node that brings its own npm (as some builds of nodejs do) must not get
# Debian's beside it.
command -v npm >/dev/null || missing+=(npm)

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The page's build and test tools, as the lock file has them.
cd "$(dirname "$0")/.."
if [ ! -d node_modules ] || [ package-lock.json -nt node_modules ]; then
  npm ci --no-audit --no-fund
fi
