#!/bin/bash
# check_dll.sh OBJDUMP DLL
# The DLL is 32-bit x86 code, its export table names exactly getLibraryVersion
# and getLibraryManifest, it imports only system DLLs, and it has no static
# constructors.
set -eu
objdump=$1
dll=$2
headers=$("$objdump" -p "$dll")
fail() { echo "$(basename "$dll"): $*"; exit 1; }

echo "$headers" | grep -q "file format pei-i386" || fail "not a 32-bit x86 PE image"

# Export names: the rows after "[Ordinal/Name Pointer] Table", e.g. "	[   0] getLibraryManifest".
exports=$(echo "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s*\[ *[0-9]+\]' | awk '{print $NF}' | sort)
expected=$(printf '%s\n' getLibraryManifest getLibraryVersion)
[ "$exports" = "$expected" ] || fail "exports differ: got [$(echo $exports)], want [$(echo $expected)]"

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

echo "$(basename "$dll"): exports $(echo $exports); imports $(echo $imports)"
