#!/usr/bin/env bash
# updpack extract: a '\' makes a subfolder (a Shift_JIS trail byte 0x5C does
# not), names with empty or dots-only parts are refused before anything is
# written, and no symbolic link leads a write outside the folder.
set -euo pipefail
updpack=$BUILD_DIR/updpack
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$tmp"

python3 - <<'PY'
import struct
def updater(path, entries, cut=0):
    table, data = b"", b""
    for name, body in entries:
        table += struct.pack("<16sII8x", name, len(data), len(body))
        data += body
    blob = b"\0" * 65536 + b"PackFile    " + struct.pack("<I", len(entries)) + table + data
    open(path, "wb").write(blob[:len(blob) - cut])
sj = lambda s: s.encode("cp932")
updater("good.exe", [(b"Sub\\x.txt", b"in sub"), (sj("表.dat"), b"abc"), (b"top.txt", b"top")])
updater("empty_part.exe", [(b"ok.txt", b"1"), (b"a\\\\b", b"2")])
updater("dot_part.exe", [(b"ok.txt", b"1"), (b"a\\.\\b", b"2")])
updater("trailing_sep.exe", [(b"ok.txt", b"1"), (b"a/", b"2")])
updater("bad_sjis.exe", [(b"ok.txt", b"1"), (b"\x81\x20.txt", b"2")])
updater("cut.exe", [(b"ok.txt", b"1"), (b"cut.txt", b"22")], cut=1)
PY

"$updpack" extract good.exe x >/dev/null
[ "$(cat x/Sub/x.txt)" = "in sub" ] || fail "Sub\\x.txt"
[ "$(cat x/表.dat)" = abc ] || fail "表.dat"
[ "$(cat x/top.txt)" = top ] || fail "top.txt"
[ "$(find x -type f | wc -l)" -eq 3 ] || fail "extra files: $(find x)"

# label | file | message
cases=(
  "empty part|empty_part.exe|entry 1 \"a..b\": the name has an empty or dots-only part"
  "dot part|dot_part.exe|entry 1 \"a.\\..b\": the name has an empty or dots-only part"
  "trailing separator|trailing_sep.exe|entry 1 \"a/\": the name has an empty"
  "not Shift_JIS|bad_sjis.exe|entry 1 \"\\\\x81 \\.txt\": the name is not valid Shift_JIS"
  "cut short|cut.exe|entry 1 \"cut\\.txt\": its data cannot be read whole"
)
for c in "${cases[@]}"; do
  IFS='|' read -r label file pattern <<<"$c"
  rm -rf y
  status=0
  err=$("$updpack" extract "$file" y 2>&1 >/dev/null) || status=$?
  [ "$status" -eq 1 ] || fail "$label: status $status"
  [ "$(wc -l <<<"$err")" -eq 1 ] || fail "$label: not one line: $err"
  grep -qE "$pattern" <<<"$err" || fail "$label: unexpected message: $err"
  # Names are checked before writing; a cut entry leaves no partial file.
  [ "$(find y -type f 2>/dev/null)" = "$([ "$file" = cut.exe ] && echo y/ok.txt)" ] || fail "$label: wrote $(find y)"
done

# Symbolic links inside the folder are not followed, neither as folders nor as files.
mkdir outside z
ln -s ../outside z/Sub
ln -s ../outside/victim z/top.txt
printf 'keep' >outside/victim
status=0; "$updpack" extract good.exe z >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "followed a link (status $status)"
[ "$(ls outside)" = victim ] && [ "$(cat outside/victim)" = keep ] || fail "wrote outside: $(ls outside)"
rm z/Sub
status=0; "$updpack" extract good.exe z >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ] && [ "$(cat outside/victim)" = keep ] || fail "wrote through a file link"
echo ok
