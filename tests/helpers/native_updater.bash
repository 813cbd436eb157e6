# Shared by the script tests of the native updater (tests/scripts/native_updater_*.sh).
# Each test gets its own registry store, mutex folder and game folder.
updater=$BUILD_DIR/updater
holder=$BUILD_DIR/mutex_holder
registry=$SOURCE_DIR/scripts/posix_registry.sh
tmp=$(mktemp -d)
holders=()
cleanup() {
  release_holders
  rm -rf "$tmp"
}
trap cleanup EXIT

export QUENLITH_POSIX_REGISTRY=$tmp/registry
export QUENLITH_POSIX_MUTEX_DIR=$tmp/mutexes
mkdir -p "$QUENLITH_POSIX_REGISTRY" "$QUENLITH_POSIX_MUTEX_DIR"
game=$tmp/game
game_key='HKLM\Software\WOW6432Node\Ormica\Quenlith'

caption='「Quenlith」 Updater ver 1.00'
W1="$caption [warning] ゲーム、ランチャー、アンインストーラーのいずれかが実行中なのでアップデートを行えません"
W2="$caption [warning] ゲームがインストールされていません　　　　　　　　　"
Q1="$caption [question] アップデートを行いますか？　　　　　　　　　　　　　 [y/N]"
I1="$caption [information] アップデートが完了しました　　　　　　　　　　　　　"
W3="$caption [warning] アップデートプログラムが破損している可能性があります"
W4="$caption [warning] 何らかの要因によりアップデートが行えません　　　　　"
W5="$caption [warning] アンインストレーションファイルの更新に失敗しました　"

fail() { echo "FAIL: $*" >&2; exit 1; }

# The game as its installer leaves it: the folder in the registry and an
# uninstall list holding only its terminating NUL.
install_game() {
  mkdir -p "$game"
  printf '\0' >"$game/uninst.lst"
  "$registry" set "$game_key" InstalledFolder REG_SZ "$game"
}

# run_updater INPUT: runs the updater with INPUT on standard input; sets
# status (low 8 bits of the exit status) and shown (standard error).
run_updater() {
  status=0
  printf '%s' "$1" | "$updater" 2>"$tmp/shown" || status=$?
  shown=$(cat "$tmp/shown")
}

# expect LABEL STATUS LINE...: the last run ended with STATUS and showed
# exactly these lines (none when no LINE is given).
expect() {
  local label=$1 want_status=$2 want
  shift 2
  want=$(printf '%s\n' "$@")
  [ $# -gt 0 ] || want=
  [ "$status" = "$want_status" ] || fail "$label: exit status $status, expected $want_status; shown: $shown"
  [ "$shown" = "$want" ] || fail "$label: shown
$shown
expected
$want"
}

# hold NAME: a helper process holds the named mutex until the test ends.
hold() {
  "$holder" "$1" >"$tmp/held" &
  holders+=($!)
  wait_for_line "$tmp/held" 0 || fail "the helper did not take $1"
}

# Ends every helper process: the mutexes they held are gone.
release_holders() {
  local pid
  for pid in "${holders[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  holders=()
}

# wait_for_line FILE LINE: waits until FILE holds LINE (at most 20 s).
wait_for_line() {
  local i
  for i in $(seq 400); do
    grep -qxF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}
