#!/usr/bin/env bash
# Checksum throughput, each path next to the plain loop and memcpy of the same
# 64 MiB buffer, in one run per build:
#   native x86-64   Google Benchmark (build/native/bench/checksum_bench)
#   32-bit          bench/checksum_timing.cpp built with g++ -m32 -msse2 -Os,
#                   the updater's flags; it checks every path against the plain
#                   loop and skips the timings under an emulator
#   8 registers     the same program for x86-64 with xmm8-15 reserved, which
#                   gives the 32-bit build's register pressure on a machine
#                   that cannot run 32-bit code natively
# Prints MB/s and the ratios fast/plain and fast/memcpy for SSE2 and AVX2.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=$ROOT/build/bench-checksum
mkdir -p "$OUT"

echo "== native x86-64, Google Benchmark (CPU time, median of 5)"
cmake --preset native >/dev/null
cmake --build --preset native --target checksum_bench >/dev/null
"$ROOT/build/native/bench/checksum_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$OUT/native.json" --benchmark_out_format=json >/dev/null 2>"$OUT/native.log"
python3 - "$OUT/native.json" <<'EOF'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
rate = {}
for r in runs:
    if r.get("aggregate_name") != "median" or "error_occurred" in r:
        continue
    parts = r["run_name"].split("/")  # BM_Checksum/sse2/67108864 or BM_Memcpy/67108864
    path = "memcpy" if parts[0] == "BM_Memcpy" else parts[1]
    rate[(int(parts[-1]), path)] = r["bytes_per_second"] / 1e6
for size in sorted({s for s, _ in rate}, reverse=True):
    label = "%d MiB" % (size >> 20) if size >= 1 << 20 else "%d KiB" % (size >> 10)
    print("  %s buffer" % label)
    plain, memcpy = rate.get((size, "plain")), rate.get((size, "memcpy"))
    for path in ("plain", "sse2", "avx2", "memcpy"):
        value = rate.get((size, path))
        if value is None:
            print("    %-7s not available on this machine" % path)
        elif path in ("sse2", "avx2"):
            print("    %-7s %8.0f MB/s  %5.2fx plain  %5.2fx memcpy" % (path, value, value / plain, value / memcpy))
        else:
            print("    %-7s %8.0f MB/s" % (path, value))
EOF

SOURCES=(bench/checksum_timing.cpp package/checksum.cpp package/checksum_x86.cpp)
FLAGS=(-std=c++17 -Os -Wall -Wextra -Werror -I"$ROOT")

echo "== 32-bit (g++ -m32 -msse2 -Os)"
if ! g++ -m32 -msse2 "${FLAGS[@]}" "${SOURCES[@]}" -o "$OUT/timing32" 2>"$OUT/timing32.log"; then
  echo "  cannot build 32-bit code here (g++-multilib missing?); see $OUT/timing32.log"
elif ! "$OUT/timing32" 2>>"$OUT/timing32.log"; then
  echo "  this machine cannot run 32-bit code; see $OUT/timing32.log"
fi

echo "== x86-64 limited to 8 vector registers, like the 32-bit build (-Os)"
RESERVED=()
for r in 8 9 10 11 12 13 14 15; do RESERVED+=(-ffixed-xmm$r); done
g++ "${RESERVED[@]}" "${FLAGS[@]}" "${SOURCES[@]}" -o "$OUT/timing8"
"$OUT/timing8"
