# Shared by the Wine end-to-end scripts: where things are, the Wine
# environment, and small helpers. Sourced, never run.
#
# Needs BUILD_DIR (the native build: updpack) and SOURCE_DIR; the Windows
# build defaults to $SOURCE_DIR/build/windows.

: "${SOURCE_DIR:?}" "${BUILD_DIR:?}"
WINDOWS_BUILD_DIR=${WINDOWS_BUILD_DIR:-$SOURCE_DIR/build/windows}
E2E_WORK=${E2E_WORK:-$BUILD_DIR/e2e}
UPDPACK=$BUILD_DIR/updpack
UPDATER_STUB=$WINDOWS_BUILD_DIR/updater.exe
DRIVER=$WINDOWS_BUILD_DIR/e2e/e2e_driver.exe
FAKE_UPDATER=$WINDOWS_BUILD_DIR/e2e/e2e_fake_updater.exe

export WINEPREFIX=$E2E_WORK/prefix
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko install prompts, no menu entries, and no debugger popping
# up on a crash (it would only slow a failing run down).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
# Wine takes its ANSI code page from the locale: ja_JP gives code page 932,
# so the updater's Shift_JIS texts and paths arrive as Japanese.
export LANG=ja_JP.UTF-8
unset LC_ALL LC_CTYPE LC_MESSAGES
# Where the kernel runs no 32-bit code, the 32-bit Wine runs under
# qemu-i386. Wine reserves the whole address space above 2 GiB page by page
# there, which costs a minute per process; a guest space that ends just
# above 2 GiB leaves it almost nothing to reserve. Natively this is unused.
export QEMU_RESERVED_VA=0x81000000

# Per-scenario default install folder, as Windows and as Linux path.
INSTALL_WIN='C:\Quenlith'
INSTALL_DIR=$WINEPREFIX/drive_c/Quenlith

CAPTION="「Quenlith」 Updater ver 1.00"
IDEOGRAPHIC_SPACE="　"
spaces() { local n=$1 s=; while [ "$n" -gt 0 ]; do s+=$IDEOGRAPHIC_SPACE; n=$((n - 1)); done; printf '%s' "$s"; }
W1="ゲーム、ランチャー、アンインストーラーのいずれかが実行中なのでアップデートを行えません"
W2="ゲームがインストールされていません$(spaces 9)"
Q1="アップデートを行いますか？$(spaces 13)"
I1="アップデートが完了しました$(spaces 13)"
W3="アップデートプログラムが破損している可能性があります"
W4="何らかの要因によりアップデートが行えません$(spaces 5)"
W5="アンインストレーションファイルの更新に失敗しました$(spaces 1)"

log() { printf '[e2e] %s\n' "$*"; }
die() { printf '[e2e] FAIL: %s\n' "$*" >&2; exit 1; }

# Z:\... for a Linux path (Wine maps Z: to /).
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

display_file() { printf '%s/display' "$E2E_WORK"; }
use_display() {
  [ -s "$(display_file)" ] || die "no virtual display: the e2e.setup fixture has not run"
  DISPLAY=:$(cat "$(display_file)")
  export DISPLAY
}

# Runs a Wine program with a hard time limit. Output goes to a file: Wine
# may leave helper processes behind that would otherwise hold the test's
# output open.
wine_run() {
  local limit=$1 out=$2
  shift 2
  timeout -k 10 "$limit" wine "$@" </dev/null >>"$out" 2>&1
}

# After a failed or stuck run: end every process of the prefix (an updater
# left with a box open would hold its mutex against the next scenario) and
# start a fresh persistent wineserver.
reset_wine() {
  stop_wine
  wineserver -p </dev/null >/dev/null 2>&1 || true
}

# Ends the wineserver of the prefix and every Wine process of it. Under
# qemu a Wine process can miss its server going away and hang on, so the
# stragglers (Wine or qemu programs started for this prefix) are killed.
stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  sleep 1
  local environ pid exe
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || continue
    case $exe in */wine*|*/qemu-i386*) ;; *) continue ;; esac
    grep -qzx "WINEPREFIX=$WINEPREFIX" "$environ" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  done
  return 0
}

# Writes FILE as the given text followed by one NUL: an uninstall list.
write_list() { printf '%s\0' "$2" >"$1"; }

# A listing of a folder with a digest of each file, to tell "untouched".
snapshot() { (cd "$1" && find . -type f -printf '%P\t%s\t' -exec sh -c 'md5sum <"$1" | cut -d" " -f1' _ {} \; | sort); }
