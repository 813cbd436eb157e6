#!/usr/bin/env bash
# updpack list: lists a hand-made package, refuses damaged ones with one line.
set -euo pipefail
updpack=$BUILD_DIR/updpack
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

python3 - "$tmp" <<'PY'
import struct, sys
d = sys.argv[1]
def updater(count, entries, data=b""):
    table = b"".join(struct.pack("<16sII8x", n, o, s) for n, o, s in entries)
    return b"\0" * 65536 + b"PackFile    " + struct.pack("<I", count) + table + data
open(d + "/good.exe", "wb").write(updater(2, [(b"a.txt", 0, 3), ("表.dat".encode("cp932"), 3, 2)], b"abcde"))
open(d + "/short.exe", "wb").write(b"\0" * 100)
open(d + "/many.exe", "wb").write(updater(25, []))
open(d + "/cut.exe", "wb").write(updater(2, [(b"a.txt", 0, 3)]))
open(d + "/unsafe.exe", "wb").write(updater(1, [(b"..\\x.dll", 0, 0)]))
PY

out=$("$updpack" list "$tmp/good.exe")
grep -q '^entries: 2$' <<<"$out"
grep -q '^data area base: 65616$' <<<"$out"
grep -qE '^ +1  表\.dat +3 +2 +65619$' <<<"$out" || { echo "$out"; exit 1; }

expect_refusal() {
  local file=$1 pattern=$2 err status=0
  err=$("$updpack" list "$tmp/$file" 2>&1 >/dev/null) || status=$?
  [ "$status" -ne 0 ] || { echo "$file: accepted"; exit 1; }
  [ "$(wc -l <<<"$err")" -eq 1 ] || { echo "$file: more than one line: $err"; exit 1; }
  grep -q "$file: .*$pattern" <<<"$err" || { echo "$file: unexpected message: $err"; exit 1; }
}
expect_refusal missing.exe "cannot be opened"
expect_refusal short.exe "shorter than 65536"
expect_refusal many.exe "more than 24 entries"
expect_refusal cut.exe "entry table is cut short"
expect_refusal unsafe.exe "entry 0: .*unsafe"
echo ok
