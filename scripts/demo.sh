#!/usr/bin/env bash
# The main job on built-in sample data: build an updater file around the
# Windows stub from the sample files, and list it.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/build/demo
mkdir -p "$OUT"
python3 "$ROOT/scripts/make_sample_package.py" "$ROOT/build/windows/updater.exe" "$ROOT/samples/files" "$OUT/Update.exe"
"$ROOT/build/native/updpack" list "$OUT/Update.exe"
