#!/usr/bin/env bash
# ./dev bench: performance against the physical limits, measured in one run.
# Every figure stands next to a baseline taken in the same run, interleaved
# with it, and the verdict is on the ratio: these machines are shared and
# their absolute speed drifts.
#
#   scripts/bench.sh [RUNS]      RUNS counted runs of each command on the 1 GiB
#                                set, three times as many on the small one
#                                (default 5, at least 5)
#
# Builds the Release preset "bench" and the Windows image, makes the inputs
# once under build/bench/data, and leaves build/bench/bench.csv and
# build/bench/bench.png beside the table that it prints.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${1:-5}
[ "$RUNS" -ge 5 ] 2>/dev/null || { echo "usage: scripts/bench.sh [RUNS >= 5]" >&2; exit 2; }
BUILD=$ROOT/build/bench-release
OUT=$ROOT/build/bench
DATA=$OUT/data
WORK=$OUT/work
RAW=$OUT/raw.tsv
mkdir -p "$OUT" "$DATA" "$WORK"

say() { printf '%s\n' "$*" >&2; }
trap 'say "bench.sh: stopped by a failure at line $LINENO"' ERR

# --- build -------------------------------------------------------------------
say "building the bench preset (Release) and the Windows image..."
cmake --preset bench >/dev/null
targets=(bench_floor bench_run bench_no_flush updpack updater)
cmake --build --preset bench --target "${targets[@]}" >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
HELPERS=$BUILD/bench/install
RUN=$HELPERS/bench_run
FLOOR=$HELPERS/bench_floor
UPDPACK=$BUILD/updpack
UPDATER=$BUILD/updater
STUB=$ROOT/build/windows/updater.exe

# --- inputs ------------------------------------------------------------------
# (a) like the shipped package: 16 data files, about 14 MiB, the largest
#     about 7 MiB (the verification list makes 17 entries);
# (b) about 1 GiB in four entries.
SET_A=(data01.pak:7340033 data02.pak:2097000 data03.pak:1500000 data04.pak:1048579
  data05.pak:700001 data06.pak:500000 data07.pak:400000 data08.pak:300000
  data09.pak:250000 data10.pak:200000 data11.pak:150000 data12.pak:100000
  data13.pak:60000 data14.pak:30000 data15.pak:10000 script.pak:3000)
SET_B=(big1.pak:402653191 big2.pak:268435459 big3.pak:268435451 big4.pak:134217729)

# make_set NAME SPEC...: random files of the given sizes in $DATA/NAME, made
# only when missing or of another size. Prints nothing.
make_set() {
  local set=$1 spec name size file
  shift
  mkdir -p "$DATA/$set"
  for spec in "$@"; do
    name=${spec%%:*}
    size=${spec##*:}
    file=$DATA/$set/$name
    if [ "$(stat -c %s "$file" 2>/dev/null || echo -1)" != "$size" ]; then
      head -c "$size" /dev/urandom >"$file.tmp"
      mv "$file.tmp" "$file"
    fi
  done
}

files_of() {
  local spec
  for spec in "$@"; do printf '%s\n' "${spec%%:*}"; done
}

say "making the inputs under $DATA (once)..."
make_set a "${SET_A[@]}"
make_set b "${SET_B[@]}"
mapfile -t NAMES_A < <(files_of "${SET_A[@]}")
mapfile -t NAMES_B < <(files_of "${SET_B[@]}")
FILES_A=("${NAMES_A[@]/#/$DATA/a/}")
FILES_B=("${NAMES_B[@]/#/$DATA/b/}")

# pack_command OUT FILE... sets CMD to updpack create of the files around
# the Windows image, with the verification list.
pack_command() {
  local out=$1
  shift
  CMD=("$UPDPACK" create -q -o "$out" --stub "$STUB" "$@")
}
pack() { pack_command "$@"; "${CMD[@]}"; }

# --- the native updater's world ------------------------------------------------
# Its registry names the install folder; its mutexes live in a folder of
# their own; the updater file stands in for its own executable
# (QUENLITH_POSIX_MODULE_PATH), and it answers Yes from standard input.
export QUENLITH_POSIX_REGISTRY=$WORK/registry
export QUENLITH_POSIX_MUTEX_DIR=$WORK/mutexes
rm -rf "$QUENLITH_POSIX_REGISTRY" "$QUENLITH_POSIX_MUTEX_DIR"
mkdir -p "$QUENLITH_POSIX_REGISTRY" "$QUENLITH_POSIX_MUTEX_DIR"
TARGET=$WORK/target
# As on 64-bit Windows, the 32-bit updater reads the WOW6432Node view.
"$ROOT/scripts/posix_registry.sh" set 'HKLM\Software\WOW6432Node\Ormica\Quenlith' InstalledFolder REG_SZ "$TARGET"

# install_command UPDATER_FILE sets CMD to the native updater on that file.
install_command() { CMD=(env "QUENLITH_POSIX_MODULE_PATH=$1" "$UPDATER"); }

# fresh_target: an empty install folder holding only an empty uninstall
# list; what the previous run wrote is dropped before it reaches the disk.
fresh_target() {
  rm -rf "$TARGET"
  mkdir -p "$TARGET"
  printf '\0' >"$TARGET/uninst.lst"
  sync
}

# measure GROUP ITEM RUN COMMAND...: one measured run into $RAW, with "y" on
# standard input. Run 0 is the warm-up: not counted, but what it wrote into
# the install folder is compared with $CHECK_FILES.
measure() {
  local group=$1 item=$2 run=$3 result file
  shift 3
  fresh_target
  result=$(printf 'y\n' | "$RUN" -o "$WORK/output.txt" "$@")
  set -- $result
  if [ "$3" != 0 ]; then
    say "FAILED: $group $item exited with $3:"
    cat "$WORK/output.txt" >&2
    exit 1
  fi
  : >"$WORK/output.txt"
  if [ "$run" = 0 ]; then
    for file in "${CHECK_FILES[@]}"; do
      cmp -s "$file" "$TARGET/$(basename "$file")" || { say "FAILED: $item wrote $(basename "$file") wrong"; exit 1; }
    done
  else
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$group" "$item" "$run" "$1" "$2" "$3" >>"$RAW"
  fi
}

: >"$RAW"

# --- installation and packing ------------------------------------------------
# install_round SET RUN UPDATER_FILE FILE...: the updater, the floor and cp,
# in an order that turns with the run, so that none always goes first. On
# the small set, also the updater with its one flush to disk made free
# (informative: that flush is a fixed cost that the floor does not pay).
install_round() {
  local set=$1 run=$2 updater_file=$3 i item
  shift 3
  local order=(updater floor cp)
  [ "$set" = a ] && order+=(no_flush)
  for i in "${!order[@]}"; do
    item=${order[$(((i + run) % ${#order[@]}))]}
    case $item in
      updater) install_command "$updater_file"; measure "install_$set" updater "$run" "${CMD[@]}" ;;
      no_flush)
        install_command "$updater_file"
        measure "install_$set" no_flush "$run" env "LD_PRELOAD=$HELPERS/libbench_no_flush.so" "${CMD[@]}"
        ;;
      floor) measure "install_$set" floor "$run" "$FLOOR" "$TARGET" "$@" ;;
      cp) measure "install_$set" cp "$run" cp "$@" "$TARGET/" ;;
    esac
  done
}

# pack_round SET RUN FILE...: updpack create against cp of the same files.
pack_round() {
  local set=$1 run=$2
  shift 2
  if [ $((run % 2)) = 0 ]; then
    pack_command "$TARGET/Update.exe" "$@"
    measure "pack_$set" updpack "$run" "${CMD[@]}"
    measure "pack_$set" cp "$run" cp "$@" "$TARGET/"
  else
    pack_command "$TARGET/Update.exe" "$@"
    measure "pack_$set" cp "$run" cp "$@" "$TARGET/"
    measure "pack_$set" updpack "$run" "${CMD[@]}"
  fi
}

for set in a b; do
  if [ $set = a ]; then
    files=("${FILES_A[@]}")
    runs=$((3 * RUNS))
  else
    files=("${FILES_B[@]}")
    runs=$RUNS
  fi
  say "set ($set): packing, then $runs rounds of install and pack..."
  updater_file=$WORK/Update-$set.exe
  pack "$updater_file" "${files[@]}"
  # Read every input once, so that every command finds them in the cache.
  cat "${files[@]}" "$updater_file" >/dev/null
  # A warm-up round, not counted, that also checks what each command wrote.
  CHECK_FILES=("${files[@]}")
  install_round "$set" 0 "$updater_file" "${files[@]}"
  for run in $(seq 1 "$runs"); do
    install_round "$set" "$run" "$updater_file" "${files[@]}"
  done
  for run in $(seq 1 "$runs"); do
    pack_round "$set" "$run" "${files[@]}"
  done
  rm -f "$updater_file"
done
rm -rf "$TARGET"

# --- checksum ------------------------------------------------------------------
CHECKSUM=$OUT/checksum.txt
: >"$CHECKSUM"
if [ -x "$ROOT/scripts/bench_checksum.sh" ]; then
  say "checksum throughput, native and 32-bit..."
  "$ROOT/scripts/bench_checksum.sh" >"$CHECKSUM" 2>"$OUT/checksum.err" || say "the checksum benchmark failed: see $OUT/checksum.err"
fi

# --- report ------------------------------------------------------------------
python3 "$ROOT/bench/report.py" --raw "$RAW" --checksum "$CHECKSUM" --image "$STUB" \
  --largest-a "$(stat -c %s "${FILES_A[0]}")" --largest-b "$(stat -c %s "${FILES_B[0]}")" \
  --csv "$OUT/bench.csv" --chart-data "$OUT/chart.dat"
gnuplot -e "data='$OUT/chart.dat'; png='$OUT/bench.png'" "$ROOT/bench/chart.gp"
say "table: $OUT/bench.csv   chart: $OUT/bench.png"
