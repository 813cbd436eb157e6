#!/usr/bin/env bash
# updpack verify decides every entry with the updater's own code: a flipped
# byte fails and names its entry, a cut file is Unreadable, an unlisted entry
# or a missing list is only a warning.
set -euo pipefail
updpack=$BUILD_DIR/updpack
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cd "$tmp"
printf 'MZ' >stub.bin
printf 'first entry' >a.txt
printf 'abc' >表.dat
head -c 100000 /dev/urandom >c.pak
"$updpack" create -q -o Update.exe --stub stub.bin a.txt 表.dat c.pak

# Edits one copy of Update.exe with a Python statement on `data` (a bytearray)
# and `pos(i)`, the file position of entry i's data.
edit() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
data = bytearray(open("Update.exe", "rb").read())
count = struct.unpack_from("<I", data, 65548)[0]
base = 65552 + 32 * count
def pos(i): return base + struct.unpack_from("<I", data, 65552 + 32 * i + 16)[0]
exec(sys.argv[2])
open(sys.argv[1], "wb").write(data)
PY
}

# label | edit | status | stdout lines (patterns joined by " && ") | stderr line, or "-" for none
cases=(
  "flipped byte|data[pos(2) + 1] ^= 0x01|1|^ +2  Mismatch +表\.dat  && would stop at entry 2 with status 0x80000003|entry 2 \"表\.dat\": its checksum differs"
  "two flipped, the first stops|data[pos(3) + 9] ^= 0x80; data[pos(1)] ^= 0x20|1|^ +1  Mismatch +a\.txt  && ^ +3  Mismatch && would stop at entry 1 with status 0x80000003|entry 3 \"c\.pak\": its checksum differs"
  "cut short|del data[-1]|1|^ +3  Unreadable c\.pak +-$ && entries reach 1 bytes past the end && would stop at entry 3 with status 0x80000001|entry 3 \"c\.pak\": its data cannot be read whole"
  "unlisted entry|data[65552 + 32 * 1 + 4] = ord('u')|0|^ +1  NotListed +a\.txu  && would install every entry|warning: .*entry 1 \"a\.txu\": not in the verification list"
  "list magic in lower case|data[pos(0):pos(0) + 3] = b'qsm'|0|^verification list: none && ^ +2  NotListed +表\.dat |warning: .*no verification list"
  "case differs from the record|data[65552 + 32 * 3] = ord('C')|0|^ +3  Verified +C\.pak |-"
)
for c in "${cases[@]}"; do
  IFS='|' read -r label change expected outPatterns errPattern <<<"$c"
  edit edited.exe "$change"
  status=0
  "$updpack" verify edited.exe >out.txt 2>err.txt || status=$?
  [ "$status" -eq "$expected" ] || fail "$label: status $status: $(cat out.txt err.txt)"
  while read -r pattern; do
    grep -qE "$pattern" out.txt || fail "$label: no line like '$pattern': $(cat out.txt)"
  done < <(sed 's/ && /\n/g' <<<"$outPatterns")
  if [ "$errPattern" = - ]; then
    [ ! -s err.txt ] || fail "$label: stderr: $(cat err.txt)"
  else
    grep -qE "$errPattern" err.txt || fail "$label: stderr: $(cat err.txt)"
  fi
done

# The untouched file passes without a word on standard error.
"$updpack" verify Update.exe >out.txt 2>err.txt || fail "untouched: $(cat out.txt err.txt)"
[ ! -s err.txt ] || fail "untouched: $(cat err.txt)"

# A file the updater would refuse before installing anything.
head -c 65540 /dev/zero >noheader.exe
status=0; "$updpack" verify noheader.exe >/dev/null 2>err.txt || status=$?
[ "$status" -eq 1 ] && grep -q 'package header is cut short' err.txt || fail "noheader: $status $(cat err.txt)"
echo ok
