#!/usr/bin/env bash
# Builds the Debian packages in build/package (the "package" preset: shared
# libraries and the tool, optimised, without tests, benchmarks or examples):
#   libvarnelvst<major>.<minor>_<version>_<arch>.deb  the shared libraries
#   libvarnelvst-dev_<version>_<arch>.deb             headers, CMake package, pkg-config file
#   varnelvst-tool_<version>_<arch>.deb               varnel-vst and its man page
# Install them with: sudo apt install ./build/package/*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --packaging
cmake --preset package >/dev/null
cmake --build --preset package -j "$(nproc)" >/dev/null
rm -f build/package/*.deb
if ! cpack --preset package >build/package/cpack.log 2>&1; then
  cat build/package/cpack.log >&2
  exit 1
fi
for deb in build/package/*.deb; do
  echo "package: $deb ($(stat -c %s "$deb") bytes)"
done
