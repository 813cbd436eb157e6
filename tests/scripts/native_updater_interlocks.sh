#!/usr/bin/env bash
# The native updater's early exits: the two interlocks, the install location
# and the confirmation, each with its exit status and the one box it shows.
set -euo pipefail
source "$SOURCE_DIR/tests/helpers/native_updater.bash"
# No package is needed before the confirmation; after a Yes the updater
# would read this stand-in and find it too short.
export QUENLITH_POSIX_MODULE_PATH=$tmp/no-package.exe
printf 'MZ' >"$QUENLITH_POSIX_MODULE_PATH"

run_updater y
expect "no key" 255 "$W2"

"$registry" set "$game_key" InstallDir REG_SZ "$tmp/game"
run_updater y
expect "no value" 255 "$W2"

"$registry" set "$game_key" InstalledFolder REG_EXPAND_SZ "$tmp/game"
run_updater y
expect "REG_EXPAND_SZ" 255 "$W2"

# The game's key as a 64-bit program would see it is not the updater's.
"$registry" delete "$game_key"
"$registry" set 'HKLM\Software\Ormica\Quenlith' InstalledFolder REG_SZ "$tmp/game"
run_updater y
expect "64-bit view only" 255 "$W2"

install_game
for answer in n no '' $'\n' $'maybe\n'; do
  run_updater "$answer"
  expect "answer '$answer'" 253 "$Q1"
done
[ "$(ls -A "$game")" = uninst.lst ] || fail "an unconfirmed run wrote into the game folder"

run_updater y
expect "confirmed, package unreadable" 1 "$Q1" "$W3"

# With the interpreter mutex held: W1 at once, no confirmation asked.
hold "Ferrowin for QUENLITH is executing."
run_updater y
expect "interpreter running" 254 "$W1"
"$registry" delete "$game_key"
run_updater y
expect "interpreter running, registry not consulted" 254 "$W1"
echo ok
