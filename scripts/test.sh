#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite in the
# normal, the ASan+UBSan and the TSan builds, and in the 64-bit Windows
# cross-build under Wine. Pass preset names to run fewer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/check-format.sh

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(release asan tsan windows)
jobs=$(nproc)

for preset in "${presets[@]}"; do
  started=$SECONDS
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs"
  [ "$preset" != release ] || ./scripts/check-consumer.sh build/release
  echo "== $preset: done in $((SECONDS - started)) s"
done
echo "== all tests passed: ${presets[*]}"
