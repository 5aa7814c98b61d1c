#!/usr/bin/env bash
# Installs what is missing, builds Ravlin twice (normal, and with Address- and
# UndefinedBehaviorSanitizer) and runs every test through CTest. The
# end-to-end tests run over a JACK server on its dummy driver, started here.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# Every test talks to the built-in simulator unless it names a MIDI service
# itself (the end-to-end tests choose JACK for their processes).
export RAVLIN_MIDI_API=none

source scripts/jack-server.sh
jack_server_start
trap jack_server_stop EXIT

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVLIN_BUILD_TESTS=ON
cmake --build build -j "$jobs"

# The core in WebAssembly (Debian's emscripten), its tests under node: the
# engine runs where nothing may block.
emcmake cmake -S . -B build-wasm -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAVLIN_CORE_ONLY=ON
cmake --build build-wasm -j "$jobs"
# The page's site, which the page tests of both trees drive in Chromium.
scripts/web.sh build

ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300 -LE soak
ctest --test-dir build-wasm --output-on-failure -j "$jobs" --timeout 300

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRAVLIN_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600 -LE 'soak|bench'

# A short run of every fuzz target (a few seconds each).
scripts/fuzz.sh

# The Debian package: built, checked as the desktop, AppStream and Debian see
# it, and unpacked into a temporary root to run from there.
deb=$(scripts/package.sh | tail -n 1)
root=$(mktemp -d)
trap 'jack_server_stop; rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error "$deb"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
done
version=$(sed -n 's/^project(Ravlin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$("$root/usr/bin/ravlin-cli" --version)" = "ravlin-cli $version" ]
HOME=$root XDG_CONFIG_HOME=$root/config "$root/usr/bin/ravlin-cli" list >/dev/null
