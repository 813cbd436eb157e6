#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan, UBSan) and runs every fuzz
# target for SECONDS each (default 60), one after the other. Any crash,
# sanitizer report, leak, broken invariant or timeout fails the run; the
# input that caused it is kept in build/fuzz/fuzz-runs/artifacts/.
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[[ $seconds =~ ^[0-9]+$ ]] && [ "$seconds" -gt 0 ] || { echo "usage: fuzz.sh [SECONDS]" >&2; exit 2; }

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
out=$ROOT/build/fuzz/fuzz-runs
bin=$ROOT/build/fuzz/fuzz
mkdir -p "$out/artifacts" "$out/logs"

failed=()
for fuzzer in "$bin"/*_fuzzer; do
  target=$(basename "$fuzzer" _fuzzer)
  mkdir -p "$out/corpus/$target"
  log=$out/logs/$target.log
  echo "== $target: $seconds s (log: $log)"
  status=0
  ASAN_OPTIONS=detect_leaks=1 "$fuzzer" -max_total_time="$seconds" -timeout=20 -malloc_limit_mb=64 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" \
    "$out/corpus/$target" "$out/seeds/$target" >"$log" 2>&1 || status=$?
  grep -E '^stat::number_of_executed_units|^Done ' "$log" || true
  if [ "$status" -ne 0 ]; then
    echo "FINDING in $target (exit status $status):"
    grep -E 'INVARIANT|ERROR|SUMMARY|Test unit written' "$log" || tail -20 "$log"
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}" >&2
  exit 1
fi
echo "no findings"
