#!/usr/bin/env bash
# Builds and runs, against an installed VarnelVST alone, what a project outside
# this tree would: tests/consumer through find_package(VarnelVST), and the
# example host with nothing but the compiler and
# `pkg-config --cflags --libs varnelvst`. Where the install holds the shared
# library, both must link it rather than anything static.
# Usage: check-consumer.sh [<build dir>]  install that configured and built tree
#                                         (default: build/release) into a
#                                         temporary prefix first
#        check-consumer.sh --root <dir>   use the packages unpacked into <dir>
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ "${1:-}" = --root ]; then
  # A package's files name their prefix, /usr; pkg-config prepends the root.
  sysroot=$(realpath "$2")
  prefix=$sysroot/usr
else
  build_dir=${1:-build/release}
  if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    echo "check-consumer: $build_dir is not a configured build (run: cmake --preset release && cmake --build --preset release)" >&2
    exit 1
  fi
  sysroot=
  prefix=$work/prefix
  echo "== consumer: install $build_dir into $prefix"
  cmake --install "$build_dir" --prefix "$prefix" >/dev/null
fi
pc_file=$(find "$prefix" -name varnelvst.pc -path '*/pkgconfig/*' | head -n 1)
if [ -z "$pc_file" ]; then
  echo "check-consumer: no varnelvst.pc under $prefix" >&2
  exit 1
fi
libdir=$(dirname "$(dirname "$pc_file")")
# The libraries' own dependencies are looked up in the system's folders, which
# a temporary prefix is not one of.
export LD_LIBRARY_PATH=$libdir

links_the_shared_library() {
  local soname
  [ -e "$libdir/libvarnelvst.so" ] || return 0
  soname=$(readelf -d "$libdir/libvarnelvst.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  if ! readelf -d "$1" | grep -qF "[$soname]"; then
    echo "check-consumer: $(basename "$1") does not link $soname" >&2
    exit 1
  fi
}

echo "== consumer: tests/consumer through find_package(VarnelVST)"
cmake -S tests/consumer -B "$work/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" -j "$(nproc)" >/dev/null
links_the_shared_library "$work/build/consumer"
"$work/build/consumer"

echo "== consumer: examples/host through pkg-config"
read -ra flags < <(PKG_CONFIG_LIBDIR=$(dirname "$pc_file") PKG_CONFIG_SYSROOT_DIR=$sysroot \
  pkg-config --cflags --libs varnelvst)
g++ -std=c++17 examples/host/main.cpp "${flags[@]}" -o "$work/example_host"
links_the_shared_library "$work/example_host"
"$work/example_host" | tee "$work/example_host.out"
if ! grep -q "in 0\.5, out [0-9]" "$work/example_host.out"; then
  echo "check-consumer: the example host did not process its block" >&2
  exit 1
fi
