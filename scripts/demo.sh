#!/usr/bin/env bash
# The main job on built-in sample data: pack the sample files into an updater
# around the Windows stub, then list and verify it.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/build/demo
mkdir -p "$OUT"
updpack=$ROOT/build/native/updpack
"$updpack" create -q -o "$OUT/Update.exe" --stub "$ROOT/build/windows/updater.exe" "$ROOT/samples/files"
"$updpack" list "$OUT/Update.exe"
"$updpack" verify "$OUT/Update.exe"
