#!/usr/bin/env bash
# updpack create refuses, with one line and status 1, everything the updater
# could not install, and a refused run leaves no output file behind.
set -euo pipefail
updpack=$BUILD_DIR/updpack
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cd "$tmp"
mkdir out f23 f24 dup1 dup2
printf 'MZ' >stub.bin
head -c 65536 /dev/zero >stub65536.bin
head -c 65537 /dev/zero >stub65537.bin
for i in $(seq -w 1 23); do printf "$i" >"f23/e$i"; done
cp f23/* f24/; printf 24 >f24/e24
printf a >dup1/Data.pak; printf b >dup2/DATA.PAK
for name in 0123456789abcdef 表表表表表表表表 😀.txt ... con.txt 'a?b' 'a\b' ok.txt; do printf x >"$name"; done
truncate -s 4G huge.bin                          # sparse: only its size is looked at
truncate -s 1G one.bin two.bin

# The limits themselves are accepted.
"$updpack" create -q -o out/Update.exe --stub stub65536.bin f23 || fail "23 files refused"
"$updpack" create -q -o out/Update.exe --stub stub.bin 表表表表表表表表 --no-verify 2>/dev/null &&
  fail "16-byte name accepted"
rm -f out/Update.exe

# label | message pattern | arguments after "create -o out/Update.exe"
cases=(
  "24 files|too many entries: 24 files and the verification list|--stub stub.bin f24"
  "25 without the list|too many entries: 25, at most 24|--stub stub.bin --no-verify f24 ok.txt"
  "16-byte name|\"0123456789abcdef\" is 16 bytes long|--stub stub.bin 0123456789abcdef"
  "16 bytes in Shift_JIS|\"表表表表表表表表\" is 16 bytes long|--stub stub.bin 表表表表表表表表"
  "not in Shift_JIS|😀.txt: the name cannot be written in Shift_JIS|--stub stub.bin 😀.txt"
  "same name in another case|\"DATA.PAK\" is used twice|--stub stub.bin dup1 dup2"
  "the list's own name|\"FWN.HVL\" is used twice|--stub stub.bin FWN.HVL"
  "dots only|\\.\\.\\.: the name|--stub stub.bin ..."
  "device name|con.txt: the name is a Windows device name|--stub stub.bin con.txt"
  "forbidden character|a?b: the name holds a character|--stub stub.bin a?b"
  "backslash|a.b: the name holds '.'|--stub stub.bin a\\b"
  "stub too large|stub65537.bin: the stub is 65537 bytes|--stub stub65537.bin ok.txt"
  "missing stub|nostub.bin: the stub cannot be read|--stub nostub.bin ok.txt"
  "missing input|missing.txt: cannot be read|--stub stub.bin missing.txt"
  "4 GiB file|\"huge.bin\" is 4 GiB or larger|--stub stub.bin huge.bin"
  "past the seek limit|\"ok.txt\" would start at file position 2147549536|--stub stub.bin one.bin two.bin ok.txt"
)
printf x >FWN.HVL
for c in "${cases[@]}"; do
  IFS='|' read -r label pattern args <<<"$c"
  read -ra argv <<<"$args"
  status=0
  err=$("$updpack" create -o out/Update.exe "${argv[@]}" 2>&1 >/dev/null) || status=$?
  [ "$status" -eq 1 ] || fail "$label: status $status: $err"
  [ "$(wc -l <<<"$err")" -eq 1 ] || fail "$label: not one line: $err"
  grep -qE "^updpack: .*$pattern" <<<"$err" || fail "$label: unexpected message: $err"
  [ -z "$(ls -A out)" ] || fail "$label: left $(ls -A out)"
done

# A refused run leaves an existing output as it was.
printf 'previous' >out/Update.exe
"$updpack" create -q -o out/Update.exe --stub stub.bin f24 2>/dev/null && fail "24 files accepted"
[ "$(cat out/Update.exe)" = previous ] || fail "the previous output was touched"
[ "$(ls -A out)" = Update.exe ] || fail "left $(ls -A out)"
echo ok
