#!/usr/bin/env bash
# The main job: installs what is missing, builds varnel-vst in the release
# preset and runs its demo, which sends a test signal through ZamCompX2 and
# writes out/demo-input.wav and out/demo-output.wav. Arguments go to the demo
# (an output file name instead of out/demo-output.wav).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
# Without the tests and benchmarks, which need what only scripts/test.sh installs;
# it switches them on again in the same build folder.
cmake --preset release -DVARNELVST_BUILD_TESTS=OFF -DVARNELVST_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build --preset release -j"$(nproc)" --target varnel-vst
echo
build/release/bin/varnel-vst demo "$@"
