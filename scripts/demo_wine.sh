#!/usr/bin/env bash
# The demo updater (build/demo/Update.exe, made by scripts/demo.sh) under
# Wine on a virtual screen: answers Yes to the confirmation and OK to the
# completion, and saves a screenshot of each box:
#   build/demo/wine-confirm.png, build/demo/wine-complete.png
# Uses its own prefix under build/demo/wine, kept between runs.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export SOURCE_DIR=$ROOT BUILD_DIR=$ROOT/build/native E2E_WORK=$ROOT/build/demo/wine
OUT=$ROOT/build/demo
. "$ROOT/e2e/lib.sh"

[ -f "$OUT/Update.exe" ] || "$ROOT/scripts/demo.sh"
command -v import >/dev/null || die "ImageMagick's import is missing (./dev setup installs it)"

E2E_REUSE_PREFIX=1 bash "$ROOT/e2e/setup.sh"
trap 'bash "$ROOT/e2e/cleanup.sh"' EXIT
use_display

# Without a window manager Wine draws the title bars itself only when told to.
wine_run 120 "$E2E_WORK/demo-wine.log" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f

echo "== A sample install in the prefix: $INSTALL_WIN"
rm -rf "$INSTALL_DIR"
mkdir -p "$INSTALL_DIR"
printf 'old data\n' >"$INSTALL_DIR/data01.pak"
printf 'game.exe\nconfig.ini\ndata01.pak\n\0' >"$INSTALL_DIR/uninst.lst"

shots=$E2E_WORK/shots
rm -rf "$shots"
mkdir -p "$shots"
echo "== Running Update.exe under Wine on $DISPLAY"
wine_run 300 "$E2E_WORK/demo-wine.log" "$DRIVER" --log "$(winpath "$shots/driver.log")" --reg-sz "$INSTALL_WIN" \
  --answer yes --answer ok --pause-dir "$(winpath "$shots")" "$(winpath "$OUT/Update.exe")" &
driver=$!

take() {
  local n=$1 png=$2 left top width height margin=12
  for _ in $(seq 1200); do [ -f "$shots/box-$n.rect" ] && break; kill -0 $driver 2>/dev/null || break; sleep 0.1; done
  [ -f "$shots/box-$n.rect" ] || die "box $n never showed: $(cat "$shots/driver.log" 2>/dev/null)"
  read -r left top width height <"$shots/box-$n.rect"
  sleep 0.5
  import -window root -crop "$((width + 2 * margin))x$((height + 2 * margin))+$((left - margin))+$((top - margin))" +repage "$png"
  touch "$shots/box-$n.go"
  echo "saved $png (${width}x${height} box)"
}
take 1 "$OUT/wine-confirm.png"
take 2 "$OUT/wine-complete.png"
wait $driver || die "the driver failed: $(cat "$shots/driver.log")"

echo "== What the driver saw"
cat "$shots/driver.log"
echo "== The install folder afterwards"
ls -l "$INSTALL_DIR"
echo "== uninst.lst afterwards"
tr '\0' '@' <"$INSTALL_DIR/uninst.lst" | sed 's/@$/  <- closing NUL/'
grep -q '^exit 0x00000000$' "$shots/driver.log"
