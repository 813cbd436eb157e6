#!/usr/bin/env bash
# The native updater under valgrind memcheck, through a whole run: no invalid
# access, no use of uninitialised memory, no definite or indirect leak.
# Each run must also end as it should, so the checked path is the real one.
#
#   valgrind_updater.sh CASE    demo | no_key | answer_no | mismatch |
#                               no_uninstall_list | unreadable
set -euo pipefail
source "$SOURCE_DIR/tests/helpers/native_updater.bash"
case_name=${1:?case}

# Replaces the helper's runner: the same run, under memcheck. Its report goes
# to a file, so standard error still holds only the message boxes.
run_updater() {
  status=0
  printf '%s' "$1" | valgrind --quiet --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
    --log-file="$tmp/memcheck.log" "$updater" 2>"$tmp/shown" || status=$?
  shown=$(cat "$tmp/shown")
  if [ -s "$tmp/memcheck.log" ] || [ "$status" = 99 ]; then
    cat "$tmp/memcheck.log" >&2
    fail "$case_name: memcheck reported errors (exit status $status)"
  fi
}

# The sample files packed with their verification list. The native updater
# reads only the package, so any small image will do as the stub.
export QUENLITH_POSIX_MODULE_PATH=$tmp/Update.exe
printf 'MZ' >"$tmp/stub.exe"
"$BUILD_DIR/updpack" create -q -o "$QUENLITH_POSIX_MODULE_PATH" --stub "$tmp/stub.exe" \
  "$SOURCE_DIR/samples/files"
samples=$(cd "$SOURCE_DIR/samples/files" && ls)

case $case_name in
  demo)
    install_game
    run_updater y
    expect demo 0 "$Q1" "$I1"
    for name in $samples; do
      cmp -s "$SOURCE_DIR/samples/files/$name" "$game/$name" || fail "$name not installed"
      tr '\0' '\n' <"$game/uninst.lst" | grep -qxF "$name" || fail "$name not in uninst.lst"
    done
    ;;
  no_key)
    run_updater y
    expect "no key" 255 "$W2"
    ;;
  answer_no)
    install_game
    run_updater n
    expect "answer No" 253 "$Q1"
    [ "$(ls -A "$game")" = uninst.lst ] || fail "an unconfirmed run wrote into the game folder"
    ;;
  mismatch)
    install_game
    # The last byte of the file is the last entry's: it no longer matches its digest.
    python3 - "$QUENLITH_POSIX_MODULE_PATH" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
data[-1] ^= 0x01
open(path, "wb").write(data)
PY
    run_updater y
    expect mismatch 3 "$Q1" "$W3"
    [ "$(tr -d '\0' <"$game/uninst.lst")" = "" ] || fail "the uninstall list changed after a mismatch"
    ;;
  no_uninstall_list)
    install_game
    rm "$game/uninst.lst"
    run_updater y
    expect "no uninst.lst" 5 "$Q1" "$W5"
    [ ! -e "$game/uninst.lst" ] || fail "uninst.lst was created"
    ;;
  unreadable)
    install_game
    truncate -s 65540 "$QUENLITH_POSIX_MODULE_PATH"
    run_updater y
    expect unreadable 1 "$Q1" "$W3"
    ;;
  *) fail "unknown case $case_name" ;;
esac
echo ok
