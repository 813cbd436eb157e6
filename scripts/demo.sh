#!/usr/bin/env bash
# The main job on built-in sample data: a sample game install registered in
# the native layer's registry, an updater packed from the sample files, and
# the native updater run on it, answering Yes.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/build/demo
updpack=$ROOT/build/native/updpack
rm -rf "$OUT/game" "$OUT/registry"
mkdir -p "$OUT/game"

echo "== A sample install: $OUT/game"
printf 'old data\n' > "$OUT/game/data01.pak"
printf 'game.exe\nconfig.ini\ndata01.pak\n\0' > "$OUT/game/uninst.lst"
export QUENLITH_POSIX_REGISTRY=$OUT/registry
export QUENLITH_POSIX_MUTEX_DIR=$OUT
# As on 64-bit Windows, the 32-bit updater reads the WOW6432Node view.
"$ROOT/scripts/posix_registry.sh" set 'HKLM\Software\WOW6432Node\Ormica\Quenlith' InstalledFolder REG_SZ "$OUT/game"
ls -l "$OUT/game"

echo "== Packing the sample files into an updater"
# The Windows updater for the same package, for Windows or Wine.
"$updpack" create -q -o "$OUT/Update.exe" --stub "$ROOT/build/windows/updater.exe" "$ROOT/samples/files"
"$updpack" list "$OUT/Update.exe"

echo "== Running the native updater on it, answering Yes"
status=0
echo y | QUENLITH_POSIX_MODULE_PATH=$OUT/Update.exe "$ROOT/build/native/updater" || status=$?
echo "exit status: $status"

echo "== The install folder afterwards"
ls -l "$OUT/game"
echo "== uninst.lst afterwards (lines added at the end)"
tr '\0' '@' < "$OUT/game/uninst.lst" | sed 's/@$/  <- closing NUL/'
[ "$status" -eq 0 ]
