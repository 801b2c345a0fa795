#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite in the
# normal, the ASan+UBSan and the TSan builds, and in the 64-bit Windows
# cross-build under Wine. After the normal build's tests come the checks of what
# users get: the installed static library, the API reference (no doxygen
# warning), and the Debian packages of the shared build. Pass preset names to
# run fewer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/check-format.sh

# One Wine server, with its services, for the whole Windows test run. Left to
# itself the server quits 3 s after each program and the next one may connect
# while it is quitting ("wine client error ... Connection reset by peer"). The
# services are started here, writing into the build tree, so that they hold no
# pipe of a test's output.
wine_server() {
  if [ -x /usr/lib/wine/wineserver64 ]; then echo /usr/lib/wine/wineserver64; else command -v wineserver; fi
}
start_wine_server() {
  WINEPREFIX="$PWD/build/windows/wineprefix" "$(wine_server)" -p 60 <&- >&- 2>&- || true
  build/windows/wine-run cmd.exe /c exit >build/windows/wine-services.log 2>&1 || true
}
stop_wine_server() {
  WINEPREFIX="$PWD/build/windows/wineprefix" "$(wine_server)" -k <&- >&- 2>&- || true
}

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(release asan tsan windows)
jobs=$(nproc)

for preset in "${presets[@]}"; do
  started=$SECONDS
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  [ "$preset" != windows ] || start_wine_server
  ctest --preset "$preset" -j "$jobs"
  [ "$preset" != windows ] || stop_wine_server
  if [ "$preset" = release ]; then
    ./scripts/check-consumer.sh build/release
    echo "== release: API reference"
    cmake --build --preset release --target docs
    ./scripts/check-package.sh
  fi
  echo "== $preset: done in $((SECONDS - started)) s"
done
echo "== all tests passed: ${presets[*]}"
