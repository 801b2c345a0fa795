#!/bin/sh
# Batch throughput of varnel-vst: 32 ten-second stereo files through ZamCompX2
# with --jobs 1 and --jobs 2, against 32 separate `process` runs of the same
# files. Prints wall times, the speed-up of two jobs and the cost per file.
# Usage: bench/batch-benchmark.sh [path/to/varnel-vst]   (default: build/release/bin)
set -eu
tool=${1:-build/release/bin/varnel-vst}
files=32
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# Ten seconds of decaying tones at 48 kHz, 16-bit stereo, copied: every file
# costs the plug-in the same work.
python3 - "$work/in01.wav" <<'PY'
import math, struct, sys, wave
rate, seconds = 48000, 10
frames = bytearray()
for n in range(rate * seconds):
    t = n / rate
    level = 0.8 * math.exp(-3.0 * (t % 0.5)) + 0.05
    left = int(32767 * level * math.sin(2 * math.pi * 220 * t))
    right = int(32767 * level * math.sin(2 * math.pi * 330 * t))
    frames += struct.pack('<hh', left, right)
with wave.open(sys.argv[1], 'wb') as out:
    out.setnchannels(2); out.setsampwidth(2); out.setframerate(rate)
    out.writeframes(bytes(frames))
PY
i=2
while [ $i -le $files ]; do cp "$work/in01.wav" "$work/in$(printf %02d $i).wav"; i=$((i + 1)); done

settings="--set Threshold=0.5 --set Ratio=0.5"
rounds=3

# The best of $rounds wall times of the command given, in seconds: the machine
# may be shared, and the best round is the one least disturbed.
best_of() {
    python3 - "$rounds" "$@" <<'PY'
import subprocess, sys, time
rounds, command = int(sys.argv[1]), sys.argv[2:]
best = None
for _ in range(rounds):
    start = time.perf_counter()
    subprocess.run(command, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    best = elapsed if best is None else min(best, elapsed)
print(f"{best:.3f}")
PY
}

export tool work settings
single=$(best_of sh -c 'for input in "$work"/in*.wav; do "$tool" process ZamCompX2 "$input" "$work/single.wav" $settings; done')
jobs1=$(best_of "$tool" process ZamCompX2 --output-dir "$work/jobs1" --jobs 1 $settings "$work"/in[0-9]*.wav)
jobs2=$(best_of "$tool" process ZamCompX2 --output-dir "$work/jobs2" --jobs 2 $settings "$work"/in[0-9]*.wav)

# A batch file must equal its single render: the reset between files works.
cmp -s "$work/single.wav" "$work/jobs2/in$(printf %02d $files).wav" && same=yes || same=NO

python3 - "$files" "$single" "$jobs1" "$jobs2" "$same" <<'PY'
import sys
files, single, jobs1, jobs2, same = int(sys.argv[1]), *map(float, sys.argv[2:5]), sys.argv[5]
print(f"{files} files of 10 s through ZamCompX2 ({files * 10} s of audio), best of 3 rounds")
print(f"  {files} separate process runs: {single:7.2f} s  ({1000 * single / files:6.1f} ms per file)")
print(f"  batch --jobs 1:           {jobs1:7.2f} s  ({1000 * jobs1 / files:6.1f} ms per file, "
      f"{jobs1 / single:.2f}x the separate runs)")
print(f"  batch --jobs 2:           {jobs2:7.2f} s  ({1000 * jobs2 / files:6.1f} ms per file)")
print(f"  speed-up of --jobs 2 over --jobs 1: {jobs1 / jobs2:.2f}x")
print(f"  batch output equals the single run's: {same}")
PY
