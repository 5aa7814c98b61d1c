#!/usr/bin/env bash
# Installs the Debian packages Ravlin needs; only what is missing, so it is
# quick on a prepared machine. Without an argument: everything to build, run
# and test it (the tests, the page and its tools, the packaging). With
# --window: only what building and running the window and ravlin-cli need.
set -euo pipefail

mode=all
case "${1:-}" in
  "") ;;
  --window) mode=window ;;
  *)
    echo "usage: $0 [--window]" >&2
    exit 2
    ;;
esac

packages=(
  build-essential cmake ninja-build pkg-config
  librtmidi-dev libjack-jackd2-dev libsqlite3-dev
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-svg-dev qt6-l10n-tools libgl1-mesa-dev
  qt6-translations-l10n fonts-ipafont-gothic librsvg2-bin
)
if [ "$mode" = all ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    jackd2 xvfb xauth
    clang libclang-rt-14-dev
    emscripten
    nodejs chromium qt6-websockets-dev
    dpkg-dev desktop-file-utils appstream lintian groff-base
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# A node that brings its own npm (as some builds of nodejs do) must not get
# Debian's beside it.
if [ "$mode" = all ]; then
  command -v npm >/dev/null || missing+=(npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "$mode" = all ] || exit 0

# The page's build and test tools, as the lock file has them.
cd "$(dirname "$0")/.."
if [ ! -d node_modules ] || [ package-lock.json -nt node_modules ]; then
  npm ci --no-audit --no-fund
fi
