#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite in the
# normal, the ASan+UBSan and the TSan builds, and in the 64-bit Windows
# cross-build under Wine. After the normal build's tests come the checks of what
# users get: the installed static library, the API reference (no doxygen
# warning), and the Debian packages of the shared build. Pass preset names to
# run fewer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --tests
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
# Wine shows windows (a plug-in editor's HWND) only with an X display: an Xvfb of
# the run's own, on a free display number, for the Windows tests.
start_wine_display() {
  local display_file=build/windows/xvfb.display
  rm -f "$display_file"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$display_file" >build/windows/xvfb.log 2>&1 &
  xvfb_pid=$!
  # Also when a test fails and the script stops there.
  trap stop_wine_display EXIT
  for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
  if [ -s "$display_file" ]; then
    VARNELVST_WINE_DISPLAY=":$(head -n 1 "$display_file")"
    export VARNELVST_WINE_DISPLAY
  else
    echo "== windows: no Xvfb, so the editor test under Wine skips (see build/windows/xvfb.log)"
  fi
}
stop_wine_display() {
  [ -z "${xvfb_pid:-}" ] || kill "$xvfb_pid" 2>&- || true
  xvfb_pid=
  unset VARNELVST_WINE_DISPLAY
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
  [ "$preset" != windows ] || { start_wine_display; start_wine_server; }
  ctest --preset "$preset" -j "$jobs"
  [ "$preset" != windows ] || { stop_wine_server; stop_wine_display; }
  if [ "$preset" = release ]; then
    ./scripts/check-consumer.sh build/release
    echo "== release: API reference"
    cmake --build --preset release --target docs
    ./scripts/check-package.sh
  fi
  echo "== $preset: done in $((SECONDS - started)) s"
done
echo "== all tests passed: ${presets[*]}"
