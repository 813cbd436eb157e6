# The end-to-end scenarios: each function scenario_NAME is one CTest test
# (e2e.NAME), run by e2e/run_scenario.sh with lib.sh loaded and $SCENARIO_DIR
# empty. A scenario lays out the install folder, packs an updater with
# updpack, lets the driver play the user around one run of it under Wine,
# and checks the boxes, the exit status and the files.

# --- building blocks -------------------------------------------------------

OLD_LIST=$'Quenlith.exe\ndata01.pak\n'

# The files of an update, in package order after fwn.hvl: data01.pak is
# already in the uninstall list, the others are new to it.
make_payload() {
  local dir=$SCENARIO_DIR/files
  mkdir -p "$dir"
  python3 - "$dir" <<'PY'
import sys
d = sys.argv[1]
open(d + "/data01.pak", "wb").write(bytes((i * 7 + 3) % 256 for i in range(70000)))
open(d + "/script.pak", "wb").write(bytes((i * 13 + 1) % 251 for i in range(5000)))
open(d + "/readme.txt", "wb").write(b"Quenlith update\r\n")
PY
  PAYLOAD=("$dir/data01.pak" "$dir/script.pak" "$dir/readme.txt")
}

# The install folder of an installed game: an old data01.pak and script.pak
# and the uninstall list. Pass the Linux folder to use another one.
fresh_install() {
  local dir=${1:-$INSTALL_DIR}
  rm -rf "$dir"
  mkdir -p "$dir"
  printf 'old data\n' >"$dir/data01.pak"
  printf 'old script\n' >"$dir/script.pak"
  write_list "$dir/uninst.lst" "$OLD_LIST"
}

pack() {
  local out=$1
  shift
  "$UPDPACK" create -q -o "$out" --stub "$UPDATER_STUB" "$@" || die "updpack create failed"
}

# File position and size of an entry, from updpack list.
entry_field() {
  local exe=$1 name=$2 column=$3
  "$UPDPACK" list "$exe" | awk -v n="$name" -v c="$column" '$2 == n { print $c }'
}

# Runs the driver around the updater EXE; the driver's log ends in
# $SCENARIO_DIR/driver.log. Driver options go before EXE. Under qemu a Wine
# process now and then crashes on its own; a run that failed before any box
# was answered has changed nothing yet, so it is tried once more.
drive() {
  local args=("$@")
  local exe=${args[-1]} attempt start
  unset 'args[-1]'
  DRIVER_LOG=$SCENARIO_DIR/driver.log
  for attempt in 1 2; do
    rm -f "$DRIVER_LOG"
    log "running $(basename "$exe") under Wine"
    start=$SECONDS
    if wine_run 300 "$SCENARIO_DIR/wine.log" "$DRIVER" --log "$(winpath "$DRIVER_LOG")" "${args[@]}" "$(winpath "$exe")"; then
      log "driver done in $((SECONDS - start)) s; what it saw:"
      sed 's/^/    /' "$DRIVER_LOG"
      return 0
    fi
    log "the driver failed after $((SECONDS - start)) s: $(cat "$DRIVER_LOG" 2>/dev/null) / $(tail -3 "$SCENARIO_DIR/wine.log")"
    reset_wine
    grep -q '^answer ' "$DRIVER_LOG" 2>/dev/null && break
  done
  die "the driver failed"
}

# A box as the driver reports it: index, text, and kind (ok or yesno).
box() {
  local buttons=ok default=ok
  [ "$3" = yesno ] && { buttons=yes,no; default=no; }
  printf 'box %s caption=%s text=%s buttons=%s default=%s\n' "$1" "$CAPTION" "$2" "$buttons" "$default"
}

# Compares the driver's log (all of it, or the lines matching a pattern)
# with the expected lines.
expect_log() {
  local expected=$1 actual
  actual=$(grep -v '^attrs ' "$DRIVER_LOG" || true)
  [ "$actual" = "${expected%$'\n'}" ] || die "the run went otherwise. Seen:
$actual
Expected:
${expected%$'\n'}"
}

expect_same() {
  cmp -s "$1" "$2" || die "$2 does not hold the content of $1"
}

# FILE must hold exactly the given bytes; with --list, followed by one NUL
# (an uninstall list; shell strings cannot hold the NUL themselves).
expect_text() {
  local nul= file text expected=$SCENARIO_DIR/expected.bin
  [ "$1" = --list ] && { nul='\0'; shift; }
  file=$1 text=$2
  [ -f "$file" ] || die "$file is missing"
  { printf '%s' "$text"; printf "$nul"; } >"$expected"
  cmp -s "$expected" "$file" || die "$file differs. Seen: $(od -c "$file" | head -20)
Expected: $(od -c "$expected" | head -20)"
}

expect_untouched() {
  local before=$1 dir=${2:-$INSTALL_DIR}
  [ "$(snapshot "$dir")" = "$before" ] || die "the install folder changed:
$(diff <(printf '%s\n' "$before") <(snapshot "$dir"))"
}

expect_installed() {
  local dir=${1:-$INSTALL_DIR} f
  for f in "${PAYLOAD[@]}"; do expect_same "$f" "$dir/$(basename "$f")"; done
  head -c 8 "$dir/fwn.hvl" | grep -q '^QSM_____$' || die "fwn.hvl was not installed"
}

LIST_AFTER_UPDATE=$OLD_LIST$'fwn.hvl\nscript.pak\nreadme.txt\n'

# The log of a run answered Yes that completes: Q1, then I1, exit status 0.
expect_completed_log() {
  expect_log "$(box 1 "$Q1" yesno)
answer 1 yes
$(box 2 "$I1" ok)
answer 2 ok
exit 0x00000000"
}

# --- scenarios -------------------------------------------------------------

scenario_happy_path() {
  make_payload
  fresh_install
  pack "$SCENARIO_DIR/Update.exe" "${PAYLOAD[@]}"
  drive --reg-sz "$INSTALL_WIN" --answer yes --answer ok "$SCENARIO_DIR/Update.exe"
  expect_completed_log
  expect_installed
  expect_text --list "$INSTALL_DIR/uninst.lst" "$LIST_AFTER_UPDATE"
}

scenario_interpreter_running() {
  make_payload
  fresh_install
  pack "$SCENARIO_DIR/Update.exe" "${PAYLOAD[@]}"
  local before
  before=$(snapshot "$INSTALL_DIR")
  drive --reg-sz "$INSTALL_WIN" --hold-mutex "Ferrowin for QUENLITH is executing." --answer ok "$SCENARIO_DIR/Update.exe"
  expect_log "$(box 1 "$W1" ok)
answer 1 ok
exit 0xFFFFFFFE"
  expect_untouched "$before"
}

# Without the key, and with the right folder stored as REG_EXPAND_SZ: the
# game counts as not installed either way.
scenario_not_installed() {
  make_payload
  fresh_install
  pack "$SCENARIO_DIR/Update.exe" "${PAYLOAD[@]}"
  local before registry
  before=$(snapshot "$INSTALL_DIR")
  for registry in --reg-none --reg-expand-sz; do
    if [ $registry = --reg-none ]; then
      drive --reg-none --answer ok "$SCENARIO_DIR/Update.exe"
    else
      drive --reg-expand-sz "$INSTALL_WIN" --answer ok "$SCENARIO_DIR/Update.exe"
    fi
    expect_log "$(box 1 "$W2" ok)
answer 1 ok
exit 0xFFFFFFFF"
  done
  expect_untouched "$before"
}

# No is the default button: Enter declines like a click on No.
scenario_declined() {
  make_payload
  fresh_install
  pack "$SCENARIO_DIR/Update.exe" "${PAYLOAD[@]}"
  local before answer
  before=$(snapshot "$INSTALL_DIR")
  for answer in no enter; do
    drive --reg-sz "$INSTALL_WIN" --answer $answer "$SCENARIO_DIR/Update.exe"
    expect_log "$(box 1 "$Q1" yesno)
answer 1 $answer
exit 0xFFFFFFFD"
  done
  expect_untouched "$before"
}

scenario_second_copy() {
  make_payload
  fresh_install
  pack "$SCENARIO_DIR/Update.exe" "${PAYLOAD[@]}"
  drive --reg-sz "$INSTALL_WIN" --second-copy-at 1 --answer yes --answer ok "$SCENARIO_DIR/Update.exe"
  expect_log "$(box 1 "$Q1" yesno)
second-copy exit=0xFFFFFFFC windows=0
answer 1 yes
$(box 2 "$I1" ok)
answer 2 ok
exit 0x00000000"
  expect_installed
  expect_text --list "$INSTALL_DIR/uninst.lst" "$LIST_AFTER_UPDATE"
}

# Runs the damaged updater exe, answering Yes: W3 and the given exit status;
# fwn.hvl and data01.pak written, script.pak and readme.txt not, the list
# not touched.
expect_w3_at_script_pak() {
  local exe=$1 status=$2
  drive --reg-sz "$INSTALL_WIN" --answer yes --answer ok "$exe"
  expect_log "$(box 1 "$Q1" yesno)
answer 1 yes
$(box 2 "$W3" ok)
answer 2 ok
exit $status"
  expect_same "${PAYLOAD[0]}" "$INSTALL_DIR/data01.pak"
  [ -f "$INSTALL_DIR/fwn.hvl" ] || die "fwn.hvl, before script.pak, was not written"
  expect_text "$INSTALL_DIR/script.pak" $'old script\n'
  [ ! -e "$INSTALL_DIR/readme.txt" ] || die "readme.txt, after script.pak, was written"
  expect_text --list "$INSTALL_DIR/uninst.lst" "$OLD_LIST"
}

# One flipped byte in script.pak, the third entry: fwn.hvl and data01.pak
# are written, script.pak and readme.txt are not, the list is not touched.
scenario_damaged_entry() {
  make_payload
  fresh_install
  local exe=$SCENARIO_DIR/Update.exe position
  pack "$exe" "${PAYLOAD[@]}"
  position=$(entry_field "$exe" script.pak 5)
  [ -n "$position" ] || die "no script.pak in the package"
  python3 - "$exe" $((position + 100)) <<'PY'
import sys
path, at = sys.argv[1], int(sys.argv[2])
with open(path, "r+b") as f:
    f.seek(at); b = f.read(1); f.seek(at); f.write(bytes([b[0] ^ 0x01]))
PY
  expect_w3_at_script_pak "$exe" 0x80000003
}

# A download that stops in the middle of script.pak's data.
scenario_cut_download() {
  make_payload
  fresh_install
  local exe=$SCENARIO_DIR/Update.exe position size
  pack "$exe" "${PAYLOAD[@]}"
  position=$(entry_field "$exe" script.pak 5)
  size=$(entry_field "$exe" script.pak 4)
  truncate -s $((position + size / 2)) "$exe"
  expect_w3_at_script_pak "$exe" 0x80000001
}

scenario_read_only_target() {
  make_payload
  fresh_install
  pack "$SCENARIO_DIR/Update.exe" "${PAYLOAD[@]}"
  drive --reg-sz "$INSTALL_WIN" --readonly "$INSTALL_WIN\\data01.pak" --attrs "$INSTALL_WIN\\data01.pak" \
    --answer yes --answer ok "$SCENARIO_DIR/Update.exe"
  expect_completed_log
  expect_installed
  local attrs
  attrs=$(awk '$1 == "attrs" { print $3 }' "$DRIVER_LOG")
  [ -n "$attrs" ] && [ $((attrs & 1)) -eq 0 ] || die "data01.pak is still read-only (attributes $attrs)"
}

# script.pak held open without sharing, as a running program would.
scenario_target_in_use() {
  make_payload
  fresh_install
  pack "$SCENARIO_DIR/Update.exe" "${PAYLOAD[@]}"
  drive --reg-sz "$INSTALL_WIN" --hold-file "$INSTALL_WIN\\script.pak" --answer yes --answer ok "$SCENARIO_DIR/Update.exe"
  expect_log "$(box 1 "$Q1" yesno)
answer 1 yes
$(box 2 "$W4" ok)
answer 2 ok
exit 0x80000004"
  expect_same "${PAYLOAD[0]}" "$INSTALL_DIR/data01.pak"
  expect_text "$INSTALL_DIR/script.pak" $'old script\n'
  [ ! -e "$INSTALL_DIR/readme.txt" ] || die "readme.txt, after the held file, was written"
  expect_text --list "$INSTALL_DIR/uninst.lst" "$OLD_LIST"
}

scenario_no_uninstall_list() {
  make_payload
  fresh_install
  rm "$INSTALL_DIR/uninst.lst"
  pack "$SCENARIO_DIR/Update.exe" "${PAYLOAD[@]}"
  drive --reg-sz "$INSTALL_WIN" --answer yes --answer ok "$SCENARIO_DIR/Update.exe"
  expect_log "$(box 1 "$Q1" yesno)
answer 1 yes
$(box 2 "$W5" ok)
answer 2 ok
exit 0x80000005"
  expect_installed
  [ ! -e "$INSTALL_DIR/uninst.lst" ] || die "uninst.lst was created"
}

# A Japanese install folder, and an entry whose Shift_JIS name holds the
# byte 0x5C ("表" is 95 5C): it must land as one file, not as a subfolder.
scenario_japanese_names() {
  make_payload
  local folder_win='C:\ゲーム\クエンリス' folder=$WINEPREFIX/drive_c/ゲーム/クエンリス
  rm -rf "$WINEPREFIX/drive_c/ゲーム"
  fresh_install "$folder"
  printf 'table data\n' >"$SCENARIO_DIR/files/表.dat"
  PAYLOAD+=("$SCENARIO_DIR/files/表.dat")
  pack "$SCENARIO_DIR/Update.exe" "${PAYLOAD[@]}"
  drive --reg-sz "$folder_win" --answer yes --answer ok "$SCENARIO_DIR/Update.exe"
  expect_completed_log
  expect_installed "$folder"
  [ "$(ls "$folder" | sort | tr '\n' ' ')" = "data01.pak fwn.hvl readme.txt script.pak uninst.lst 表.dat " ] ||
    die "unexpected files: $(ls -R "$WINEPREFIX/drive_c/ゲーム")"
  # The list is Shift_JIS text: the new name goes in as 95 5C 2E 64 61 74.
  expect_text --list "$folder/uninst.lst" "$(printf '%s表.dat' "$LIST_AFTER_UPDATE" | iconv -f UTF-8 -t CP932)"$'\n'
}

# Signed with a throwaway certificate: the signature goes behind the
# package, which neither the updater nor updpack may mind.
scenario_signed_updater() {
  command -v osslsigncode >/dev/null || die "osslsigncode is missing (./dev setup installs it)"
  make_payload
  fresh_install
  local exe=$SCENARIO_DIR/Update.exe signed=$SCENARIO_DIR/SignedUpdate.exe
  pack "$exe" "${PAYLOAD[@]}"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quenlith e2e test" \
    -keyout "$SCENARIO_DIR/key.pem" -out "$SCENARIO_DIR/cert.pem" >/dev/null 2>&1 || die "openssl could not make a certificate"
  osslsigncode sign -certs "$SCENARIO_DIR/cert.pem" -key "$SCENARIO_DIR/key.pem" -h sha256 -n "Quenlith update" \
    -in "$exe" -out "$signed" >"$SCENARIO_DIR/sign.log" 2>&1 || die "osslsigncode failed: $(cat "$SCENARIO_DIR/sign.log")"
  [ "$(stat -c %s "$signed")" -gt "$(stat -c %s "$exe")" ] || die "the signature was not appended"
  osslsigncode extract-signature -in "$signed" -out "$SCENARIO_DIR/sig.der" >/dev/null 2>&1 || die "the signed file carries no signature"
  if "$UPDPACK" --help 2>&1 | grep -qw verify; then
    "$UPDPACK" verify "$signed" >"$SCENARIO_DIR/verify.log" 2>&1 || die "updpack verify refuses the signed updater: $(cat "$SCENARIO_DIR/verify.log")"
  else
    log "SKIPPED: updpack has no verify subcommand yet"
  fi
  drive --reg-sz "$INSTALL_WIN" --answer yes --answer ok "$signed"
  expect_completed_log
  expect_installed
  expect_text --list "$INSTALL_DIR/uninst.lst" "$LIST_AFTER_UPDATE"
}
