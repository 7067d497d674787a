#!/bin/bash
# check_dll.sh OBJDUMP DLL REFERENCE...
# The DLL is 32-bit x86 code, its export table names exactly the names of the
# reference, it imports only system DLLs, and it has no static constructors.
# REFERENCE is the Linux build of the same library (a .so, whose dynamic symbol
# table is read) or the export lists that the Linux build is checked against.
#
# Names compare as they are. 32-bit Windows puts an underscore in front of
# every __cdecl symbol (_getLibraryVersion), and the linker drops it again in
# the export table, so a host asks GetProcAddress for the same name as dlsym.
# A __stdcall export would keep an @N suffix (name@8) and so would differ from
# its Linux name: every entry point is __cdecl, and such a name is a fault.
set -eu
objdump=$1
dll=$2
shift 2
headers=$("$objdump" -p "$dll")
fail() { echo "$(basename "$dll"): $*"; exit 1; }

echo "$headers" | grep -q "file format pei-i386" || fail "not a 32-bit x86 PE image"

# Export names: the rows after "[Ordinal/Name Pointer] Table", e.g. "	[   0] getLibraryManifest".
exports=$(echo "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s*\[ *[0-9]+\]' | awk '{print $NF}' | sort)
for ref in "$@"; do
  [ -f "$ref" ] || fail "no reference $ref (build the Linux configuration first)"
done
expected=$(for ref in "$@"; do
  case "$ref" in
    *.so) nm -D --defined-only --format=posix "$ref" | awk '{print $1}' ;;
    *) grep -v -e '^#' -e '^$' "$ref" ;;
  esac
done | sort -u)
[ -n "$expected" ] || fail "empty reference: $*"
if [ "$exports" != "$expected" ]; then
  echo "$(basename "$dll"): export table differs from $* (< reference, > DLL):"
  diff <(echo "$expected") <(echo "$exports") || true
  exit 1
fi

# Imported DLLs: the Windows system only.
imports=$(echo "$headers" | grep -E '^\s*DLL Name:' | awk '{print tolower($3)}' | sort -u)
for d in $imports; do
  case "$d" in
    kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|api-ms-win-*) ;;
    *) fail "imports $d" ;;
  esac
done
# Loading runs none of the library's own code: no static constructors.
if "$objdump" -t "$dll" | grep -q '_GLOBAL__sub_I'; then fail "has static initialisers"; fi

refs=$(for ref in "$@"; do basename "$ref"; done)
echo "$(basename "$dll"): exports the $(echo "$exports" | wc -l) names of $(echo $refs); imports $(echo $imports)"
