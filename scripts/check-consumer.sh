#!/usr/bin/env bash
# Installs a configured and built VarnelVST tree (default: build/release) into a
# temporary prefix, then configures, builds and runs tests/consumer against the
# installed package alone, as a project outside this tree would.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build/release}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  echo "check-consumer: $build_dir is not a configured build (run: cmake --preset release && cmake --build --preset release)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== consumer: install $build_dir into $work/prefix"
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null

echo "== consumer: configure and build tests/consumer"
cmake -S tests/consumer -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" -j "$(nproc)" >/dev/null

echo "== consumer: run"
"$work/build/consumer"
