#!/usr/bin/env bash
# The page in the browser.
#   scripts/web.sh build         the static site in dist/web/ (relative URLs: any origin serves it)
#   scripts/web.sh serve [PORT]  builds it if needed and serves it on http://localhost:PORT (8080)
set -euo pipefail
cd "$(dirname "$0")/.."

site=dist/web
# The JavaScript optimizer of em++ -O2 needs Debian's acorn.
export NODE_PATH=/usr/share/nodejs

build() {
  [ -d node_modules ] || npm ci --no-audit --no-fund
  [ -f build-wasm/build.ninja ] ||
    emcmake cmake -S . -B build-wasm -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAVLIN_CORE_ONLY=ON
  cmake --build build-wasm --target ravlin_web
  npx tsc -p src/web
  rm -rf "$site"
  mkdir -p "$site"
  npx esbuild src/web/page/app.ts src/web/page/timer.ts --bundle --format=esm --minify \
    --target=es2022 --external:./ravlin.js --outdir="$site" --log-level=warning
  cp src/web/page/index.html src/web/page/style.css src/web/page/manifest.webmanifest \
    build-wasm/src/web/ravlin.js build-wasm/src/web/ravlin.wasm "$site"/
  for size in 192 512; do
    rsvg-convert -w $size -h $size src/app/icons/ravlin.svg -o "$site/icon-$size.png"
  done
  # The service worker keeps every file of the site; its version follows
  # their bytes, so that a changed site replaces the kept one.
  local files version
  files=$(cd "$site" && printf '"%s",' ./ *)
  version=$(cd "$site" && cat -- * | sha256sum | cut -c1-16)
  npx esbuild src/web/page/sw.ts --minify --target=es2022 --outfile="$site/sw.js" \
    --define:SITE_FILES="[${files%,}]" --define:SITE_VERSION="\"$version\"" --log-level=warning
}

case "${1:-}" in
  build)
    build
    ;;
  serve)
    [ -f "$site/index.html" ] || build
    exec node scripts/web-serve.mjs "$site" "${2:-8080}"
    ;;
  *)
    echo "usage: scripts/web.sh build | serve [PORT]" >&2
    exit 2
    ;;
esac
