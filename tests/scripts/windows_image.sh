#!/usr/bin/env bash
# The shipped updater: PE32, GUI subsystem, within its budget, and importing
# only from the system DLLs that every Windows has.
set -euo pipefail
exe=$WINDOWS_BUILD_DIR/updater.exe
[ -f "$exe" ] || { echo "missing $exe (build the windows preset)"; exit 1; }
dump=$(i686-w64-mingw32-objdump -p "$exe")
grep -q 'Magic.*010b' <<<"$dump" || { echo "not PE32"; exit 1; }
grep -q 'Subsystem.*Windows GUI' <<<"$dump" || { echo "not a GUI program"; exit 1; }
size=$(stat -c %s "$exe")
[ "$size" -le 65536 ] || { echo "image is $size bytes, more than 65536"; exit 1; }
bad=$(grep 'DLL Name' <<<"$dump" | awk '{print toupper($3)}' | grep -vxE 'KERNEL32.DLL|USER32.DLL|ADVAPI32.DLL|MSVCRT.DLL' || true)
[ -z "$bad" ] || { echo "unexpected imports: $bad"; exit 1; }
echo "updater.exe: $size bytes, imports ok"
