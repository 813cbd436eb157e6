#!/usr/bin/env bash
# One updater at a time: a second copy ends at once with -4 (252) and shows
# nothing, and the first copy carries on undisturbed.
set -euo pipefail
source "$SOURCE_DIR/tests/helpers/native_updater.bash"
install_game
export QUENLITH_POSIX_MODULE_PATH=$tmp/Update.exe
python3 "$SOURCE_DIR/tests/helpers/updater_package.py" "$QUENLITH_POSIX_MODULE_PATH" a.txt=alpha

# The first copy waits at its confirmation, its answer still unwritten.
mkfifo "$tmp/answer"
"$updater" <"$tmp/answer" 2>"$tmp/first" &
first=$!
exec 3>"$tmp/answer"
wait_for_line "$tmp/first" "$Q1" || fail "the first copy did not ask"

# The first copy holds the interpreter mutex too: the own interlock comes
# first, so the second copy ends silently instead of warning.
run_updater y
expect "second copy" 252
run_updater n
expect "second copy again" 252

printf 'y\n' >&3
exec 3>&-
status=0
wait "$first" || status=$?
shown=$(cat "$tmp/first")
expect "first copy" 0 "$Q1" "$I1"
[ "$(cat "$game/a.txt")" = alpha ] || fail "the first copy did not install"

# The first copy's handles are gone with it: the next run is not refused.
"$registry" delete "$game_key"
run_updater y
expect "after the first copy" 255 "$W2"
echo ok
