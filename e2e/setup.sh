#!/usr/bin/env bash
# Fixture set-up for the Wine end-to-end scenarios: makes sure 32-bit Wine
# can run, starts a virtual X server, creates a fresh 32-bit prefix under the
# build tree with a persistent wineserver, and checks the harness itself on
# the stand-in updater. e2e/cleanup.sh undoes the running parts.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

for tool in wine wineserver Xvfb timeout; do
  command -v "$tool" >/dev/null || die "$tool is missing (./dev setup installs it)"
done
locale -a 2>/dev/null | grep -qix 'ja_JP\.utf8' || die "the ja_JP.UTF-8 locale is missing (./dev setup generates it)"
for f in "$DRIVER" "$FAKE_UPDATER" "$UPDATER_STUB" "$UPDPACK"; do
  [ -f "$f" ] || die "missing $f (build the windows and native presets)"
done
mkdir -p "$E2E_WORK"

# 32-bit Wine needs a kernel that runs 32-bit code. Where it does not (ia32
# emulation switched off), qemu-i386 runs it, registered for i386 ELF files.
if ! wine --version >/dev/null 2>&1; then
  qemu=$(command -v qemu-i386-static || true)
  [ -n "$qemu" ] || die "this kernel runs no 32-bit programs and qemu-i386-static is missing (./dev setup installs it)"
  log "this kernel runs no 32-bit programs: registering $qemu for i386 ELF files"
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt || die "cannot mount binfmt_misc"
  if [ ! -e $binfmt/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
      >$binfmt/register || die "cannot register qemu-i386 with binfmt_misc"
  fi
  wine --version >/dev/null 2>&1 || die "32-bit Wine still does not start under qemu-i386"
fi
log "$(wine --version)"

# A virtual X server on a free display number.
if [ -s "$E2E_WORK/xvfb.pid" ] && kill -0 "$(cat "$E2E_WORK/xvfb.pid")" 2>/dev/null; then
  log "reusing the X server of an earlier set-up"
else
  rm -f "$(display_file)"
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$(display_file)" </dev/null >"$E2E_WORK/xvfb.log" 2>&1 &
  echo $! >"$E2E_WORK/xvfb.pid"
  for _ in $(seq 100); do [ -s "$(display_file)" ] && break; sleep 0.1; done
  [ -s "$(display_file)" ] || die "Xvfb did not start: $(cat "$E2E_WORK/xvfb.log")"
fi
use_display
log "X server on $DISPLAY"

# A fresh prefix for each run; E2E_REUSE_PREFIX=1 keeps a complete one, to
# save the minute or two it takes to make under emulation.
out=$E2E_WORK/wine-setup.log
: >"$out"
stop_wine
if [ "${E2E_REUSE_PREFIX:-0}" = 1 ] && [ -f "$WINEPREFIX/.e2e-complete" ]; then
  log "reusing the prefix $WINEPREFIX"
fi
# Under qemu a Wine start-up now and then crashes or hangs; one more try
# from scratch gets past that.
for attempt in 1 2; do
  start=$SECONDS
  [ "${E2E_REUSE_PREFIX:-0}" = 1 ] && [ -f "$WINEPREFIX/.e2e-complete" ] || rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # A persistent wineserver keeps services and the desktop process alive
  # between scenarios; starting them again each time would cost a minute.
  wineserver -p </dev/null >>"$out" 2>&1
  if wine_run 420 "$out" wineboot -i && [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
    touch "$WINEPREFIX/.e2e-complete"
    log "prefix ready in $((SECONDS - start)) s: $WINEPREFIX"
    break
  fi
  log "wineboot failed (try $attempt): $(tail -3 "$out")"
  stop_wine
  [ $attempt = 1 ] || die "could not make the prefix; see $out"
done

# The harness itself, on the stand-in updater: its confirmation must read
# exactly as written (code page 932 works, the box is found and read), and
# Enter must end it with -3. This also starts the desktop process once.
start=$SECONDS
log_file=$E2E_WORK/harness.log
rm -f "$log_file"
wine_run 300 "$out" "$DRIVER" --log "$(winpath "$log_file")" --answer enter "$(winpath "$FAKE_UPDATER")" ||
  die "the driver failed on the stand-in updater: $(cat "$log_file" 2>/dev/null) $(tail -5 "$out")"
expected="box 1 caption=$CAPTION text=$Q1 buttons=yes,no default=no
answer 1 enter
exit 0xFFFFFFFD"
[ "$(cat "$log_file")" = "$expected" ] || die "the harness reads the stand-in's box wrongly:
$(cat "$log_file")
expected:
$expected"
log "harness checked on the stand-in updater in $((SECONDS - start)) s"
