#!/usr/bin/env bash
# Installs what is missing, builds Ravlin and starts it on its built-in
# keyboard simulator. Without a display it shows the keyboard's list through
# the command-line tool instead.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh --window
# A fresh build tree leaves the tests out, which need what ./test.sh
# installs; one made by ./test.sh keeps them.
tests=()
[ -f build/CMakeCache.txt ] || tests=(-DRAVLIN_BUILD_TESTS=OFF)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${tests[@]}" >/dev/null
cmake --build build -j "$(nproc)" --target ravlin ravlin-cli

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/src/app/ravlin --simulator "$@"
fi
echo "No display found: the keyboard's list from the built-in simulator, by ravlin-cli:"
exec build/src/cli/ravlin-cli list
