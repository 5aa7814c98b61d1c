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

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300 -LE soak

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRAVLIN_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600 -LE 'soak|bench'

# A short run of every fuzz target (a few seconds each).
scripts/fuzz.sh
