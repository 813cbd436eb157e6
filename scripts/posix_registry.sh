#!/usr/bin/env bash
# Writes values into the registry store of the native build's POSIX layer,
# the folder that $QUENLITH_POSIX_REGISTRY names.
#
#   posix_registry.sh set KEY NAME TYPE DATA    REG_SZ / REG_EXPAND_SZ: DATA is
#                                               UTF-8 text, stored as Shift_JIS
#                                               and a NUL; REG_DWORD: a number
#   posix_registry.sh set-bytes KEY NAME TYPE   the data, exactly, from stdin
#   posix_registry.sh delete KEY [NAME]         a value, or a key and all below
#
# KEY is a registry path, 'HKEY_LOCAL_MACHINE\Software\...' (or HKLM\...).
# A 32-bit program such as the updater reads HKLM\Software\X from
# HKLM\Software\WOW6432Node\X, as on 64-bit Windows.
#
# Store layout: one folder per key, <root>/HKEY_LOCAL_MACHINE/Software/...;
# one file per value in its key's folder, named "<value name>.<TYPE>" and
# holding the value's bytes exactly as a query returns them (a string's NUL
# included). Names are Shift_JIS bytes and match regardless of ASCII case.
set -euo pipefail
export LC_ALL=C

die() { echo "posix_registry.sh: $*" >&2; exit 2; }
[ -n "${QUENLITH_POSIX_REGISTRY:-}" ] || die "QUENLITH_POSIX_REGISTRY is not set"
root=$QUENLITH_POSIX_REGISTRY

to_sjis() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }

# Prints the folder of key (Shift_JIS), reusing folders whose names differ
# only in letter case; creates it when create is 1.
key_folder() {
  local key=$1 create=$2 path=$root part entry found first=1
  local -a parts
  IFS='\' read -ra parts <<<"$key"
  [ ${#parts[@]} -gt 0 ] || die "empty key"
  for part in "${parts[@]}"; do
    [ -n "$part" ] && [ "$part" != . ] && [ "$part" != .. ] && [[ $part != */* ]] || die "bad key name in $key"
    if [ $first = 1 ]; then
      [ "${part^^}" = HKLM ] && part=HKEY_LOCAL_MACHINE
      [ "$part" = HKEY_LOCAL_MACHINE ] || die "only HKEY_LOCAL_MACHINE is modelled"
      first=0
    fi
    found=
    if [ -d "$path" ]; then
      for entry in "$path"/*/; do
        [ -d "$entry" ] || continue
        entry=${entry%/}; entry=${entry##*/}
        if [ "${entry,,}" = "${part,,}" ]; then found=$entry; break; fi
      done
    fi
    path=$path/${found:-$part}
  done
  if [ "$create" = 1 ]; then mkdir -p "$path"; fi
  printf '%s' "$path"
}

# Removes every file of value name in folder, whatever its type.
remove_value() {
  local folder=$1 name=$2 entry base
  [ -d "$folder" ] || return 0
  for entry in "$folder"/* "$folder"/.*; do
    [ -f "$entry" ] || continue
    base=${entry##*/}; base=${base%.*}
    if [ "${base,,}" = "${name,,}" ]; then rm -f "$entry"; fi
  done
}

check_type() {
  case $1 in
    REG_NONE|REG_SZ|REG_EXPAND_SZ|REG_BINARY|REG_DWORD|REG_MULTI_SZ) ;;
    *) die "unknown type $1" ;;
  esac
}

command=${1:-}
case $command in
  set)
    [ $# -eq 5 ] || die "usage: set KEY NAME TYPE DATA"
    check_type "$4"
    name=$(to_sjis "$3")
    folder=$(key_folder "$(to_sjis "$2")" 1)
    remove_value "$folder" "$name"
    file=$folder/$name.$4
    case $4 in
      REG_SZ|REG_EXPAND_SZ) { to_sjis "$5"; printf '\0'; } >"$file" ;;
      REG_DWORD)
        [[ $5 =~ ^[0-9]+$ ]] && [ "$5" -le 4294967295 ] || die "not a DWORD: $5"
        printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($5 & 255)) $(($5 >> 8 & 255)) $(($5 >> 16 & 255)) $(($5 >> 24 & 255)))" >"$file" ;;
      *) die "set takes REG_SZ, REG_EXPAND_SZ or REG_DWORD; use set-bytes" ;;
    esac ;;
  set-bytes)
    [ $# -eq 4 ] || die "usage: set-bytes KEY NAME TYPE <DATA"
    check_type "$4"
    name=$(to_sjis "$3")
    folder=$(key_folder "$(to_sjis "$2")" 1)
    remove_value "$folder" "$name"
    cat >"$folder/$name.$4" ;;
  delete)
    [ $# -eq 2 ] || [ $# -eq 3 ] || die "usage: delete KEY [NAME]"
    folder=$(key_folder "$(to_sjis "$2")" 0)
    if [ $# -eq 3 ]; then remove_value "$folder" "$(to_sjis "$3")"; else rm -rf "$folder"; fi ;;
  *) die "usage: set | set-bytes | delete (see the top of this script)" ;;
esac
