#!/usr/bin/env bash
# updpack create, list, verify, extract and checksum on one round trip, with
# Japanese names; two creates give the same bytes; the stub is found beside
# the tool.
set -euo pipefail
updpack=$BUILD_DIR/updpack
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir "$tmp/in" "$tmp/more"
printf 'MZ tiny stub' >"$tmp/stub.bin"
printf 'hello\n' >"$tmp/in/readme.txt"
printf 'abc' >"$tmp/in/表.dat"                 # Shift_JIS 95 5C: trail byte 0x5C
head -c 300000 /dev/urandom >"$tmp/in/Data01.pak"
: >"$tmp/in/empty.bin"
printf 'fifteen' >"$tmp/in/表表表表表表表x"      # 15 bytes in Shift_JIS, 22 in UTF-8
mkdir "$tmp/in/sub"; printf 'not packed' >"$tmp/in/sub/x"
printf 'last' >"$tmp/more/ソ.txt"              # Shift_JIS 83 5C

"$updpack" create -o "$tmp/Update.exe" --stub "$tmp/stub.bin" "$tmp/in" "$tmp/more/ソ.txt" \
  >"$tmp/create.out" 2>"$tmp/create.err" || fail "create: $(cat "$tmp/create.err")"
grep -q 'sub: skipped' "$tmp/create.err" || fail "no note about the skipped subfolder"
grep -q 'warning: .*Update.exe' "$tmp/create.err" && fail "name warning for Update.exe"

# Layout: stub, zero fill, header, the list first, folder files sorted bytewise, then the file.
python3 - "$tmp/Update.exe" <<'PY' || fail "layout"
import struct, sys
data = open(sys.argv[1], "rb").read()
assert data[:12] == b"MZ tiny stub" and data[12:65536] == bytes(65536 - 12)
sig, count = struct.unpack_from("<12sI", data, 65536)
assert sig == b"PackFile    " and count == 7, (sig, count)
names = [struct.unpack_from("<16s", data, 65552 + 32 * i)[0].rstrip(b"\0") for i in range(count)]
folder = ["readme.txt", "表.dat", "Data01.pak", "empty.bin", "表表表表表表表x"]
# The folder's files in bytewise order of their names on disk (UTF-8).
folder.sort(key=lambda n: n.encode("utf-8"))
expected = [b"fwn.hvl"] + [n.encode("cp932") for n in folder + ["ソ.txt"]]
assert names == expected, names
assert b"\x95\x5c.dat" in names and b"\x83\x5c.txt" in names, names
PY

out=$("$updpack" list "$tmp/Update.exe")
grep -qE '^ +[0-9]+  表\.dat +[0-9]+ +3 ' <<<"$out" || fail "list: $out"
grep -q "^bytes after the last entry: 0$" <<<"$out" || fail "list trailing: $out"
grep -q "^sha256: $(sha256sum "$tmp/Update.exe" | cut -c1-64)$" <<<"$out" || fail "list sha256: $out"

out=$("$updpack" verify "$tmp/Update.exe" 2>"$tmp/verify.err") || fail "verify: $out $(cat "$tmp/verify.err")"
[ ! -s "$tmp/verify.err" ] || fail "verify warned: $(cat "$tmp/verify.err")"
[ "$(grep -c ' Verified ' <<<"$out")" -eq 6 ] || fail "verify: $out"
grep -qE '^ +0  NotListed +fwn\.hvl ' <<<"$out" || fail "verify list entry: $out"
grep -q 'would install every entry' <<<"$out" || fail "verify result: $out"

"$updpack" extract "$tmp/Update.exe" "$tmp/x" >/dev/null
rm -r "$tmp/in/sub"; cp "$tmp/more/ソ.txt" "$tmp/in/"
[ -f "$tmp/x/fwn.hvl" ] || fail "no fwn.hvl extracted"
rm "$tmp/x/fwn.hvl"
diff -r "$tmp/in" "$tmp/x" || fail "extract differs from the inputs"

# Reproducible, and the stub found at ../windows/updater.exe from the tool's folder.
mkdir -p "$tmp/build/native" "$tmp/build/windows"
cp "$updpack" "$tmp/build/native/"
cp "$tmp/stub.bin" "$tmp/build/windows/updater.exe"
"$tmp/build/native/updpack" create -q -o "$tmp/Update2.exe" "$tmp/in/Data01.pak" "$tmp/in/empty.bin" \
  "$tmp/in/readme.txt" "$tmp/in/表.dat" "$tmp/in/表表表表表表表x" "$tmp/in/ソ.txt"
cmp "$tmp/Update.exe" "$tmp/Update2.exe" || fail "two creates differ"
rm "$tmp/build/windows/updater.exe"
cp "$tmp/stub.bin" "$tmp/build/native/updater.exe"
"$tmp/build/native/updpack" create -q -o "$tmp/Update3.exe" "$tmp/in/readme.txt"
cmp -n 12 "$tmp/stub.bin" "$tmp/Update3.exe" || fail "stub beside the tool not used"
rm "$tmp/build/native/updater.exe"
err=$("$tmp/build/native/updpack" create -q -o "$tmp/Update4.exe" "$tmp/in/readme.txt" 2>&1) && fail "no stub accepted"
grep -q -- '--stub' <<<"$err" || fail "no-stub message: $err"

# Bytes after the last entry (a signature, say) are reported and do not fail verify.
printf 'SIGNATURE' >>"$tmp/Update2.exe"
"$updpack" list "$tmp/Update2.exe" | grep -q '^bytes after the last entry: 9 ' || fail "trailing bytes in list"
"$updpack" verify "$tmp/Update2.exe" | grep -q '^bytes after the last entry: 9 ' || fail "trailing bytes in verify"

# Without the list: verify warns, and still passes.
"$updpack" create -q --no-verify -o "$tmp/patch.exe" --stub "$tmp/stub.bin" "$tmp/in/readme.txt"
out=$("$updpack" verify "$tmp/patch.exe" 2>"$tmp/verify.err") || fail "verify without list: $out"
grep -q 'warning: .*no verification list' "$tmp/verify.err" || fail "no warning: $(cat "$tmp/verify.err")"
grep -qE '^ +0  NotListed +readme\.txt ' <<<"$out" || fail "verify without list: $out"

# The name warning, and no progress output when standard error is not a terminal.
head -c 9000000 /dev/zero >"$tmp/big.bin"
"$updpack" create -o "$tmp/game.exe" --stub "$tmp/stub.bin" "$tmp/big.bin" >/dev/null 2>"$tmp/create.err"
[ "$(wc -l <"$tmp/create.err")" -eq 1 ] || fail "stderr: $(cat "$tmp/create.err")"
grep -q 'warning: .*game.exe: .*"update"' "$tmp/create.err" || fail "no name warning: $(cat "$tmp/create.err")"

# checksum: like sha256sum, - reads standard input.
out=$(printf abc | "$updpack" checksum - "$tmp/in/empty.bin")
[ "$out" = "06b4500012cc2660  -
0000000000000000  $tmp/in/empty.bin" ] || fail "checksum: $out"
status=0; "$updpack" checksum "$tmp/missing" 2>/dev/null || status=$?
[ "$status" -eq 1 ] || fail "checksum of a missing file: status $status"
status=0; "$updpack" create -o "$tmp/Update5.exe" 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "usage error: status $status"
echo ok
