#!/bin/sh
# The wrapper's per-block cost in instructions, which a busy machine does not
# disturb: runs vst_process_benchmark under callgrind, once for the direct call and
# once for the module, and prints the instructions per block of each and their
# ratio. Instructions leave out what a clock read or a locked instruction costs
# beyond its count; use the benchmark's own times for those on a quiet machine.
# Usage: bench/callgrind-ratio.sh <plug-in> <frames> [path/to/vst_process_benchmark]
#   e.g. bench/callgrind-ratio.sh ZamCompX2 256   (plug-ins: trivial, ZamCompX2, ZamEQ2-dual)
set -eu
plugin=$1
frames=$2
benchmark=${3:-build/release/bench/vst_process_benchmark}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

for kind in direct VSTModule; do
    valgrind --tool=callgrind --callgrind-out-file="$work/$kind.out" "$benchmark" \
        --benchmark_filter="^$plugin/$kind/$frames\$" --benchmark_min_time=0.5 >/dev/null 2>&1
    callgrind_annotate --inclusive=yes --tree=calling "$work/$kind.out" >"$work/$kind.txt" 2>/dev/null
done

python3 - "$work" "$plugin" "$frames" <<'PY'
import re, sys
work, plugin, frames = sys.argv[1:]
number = lambda text: int(text.replace(",", ""))
calls = lambda line: number(re.search(r"\(([0-9,]+)x\)", line).group(1))

# Direct: the benchmark loop's own cost (inlined into directProcess) per block; a
# block empties the output changes once per instance.
direct, loop = None, None
for line in open(f"{work}/direct.txt"):
    if re.search(r"\*  .*DirectHost\.h:.*directProcess", line):
        loop = number(line.split()[0])
    elif loop is not None and "clearQueue" in line:
        instances = 2 if plugin.endswith("-dual") else 1
        direct = loop / (calls(line) / instances)
        break
# Module: VSTModule::process per call.
module = None
for line in open(f"{work}/VSTModule.txt"):
    if re.search(r">   .*VSTModule::process\(float", line):
        module = number(line.split()[0]) / calls(line)
        break
if direct is None or module is None:
    sys.exit("no blocks found: did the plug-in load?")
print(f"{plugin} {frames}: direct {direct:.0f}, module {module:.0f} instructions per block, "
      f"ratio {module / direct:.4f}")
PY
