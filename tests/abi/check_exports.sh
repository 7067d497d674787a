#!/bin/bash
# check_exports.sh LIBRARY EXPECTED_LIST...
# The dynamic symbol table defines exactly the listed names, and the library
# runs no initialiser of its own (no static constructors).
set -eu
lib=$1; shift
# ASan builds add one __odr_asan.<name> marker per exported global.
actual=$(nm -D --defined-only --format=posix "$lib" | awk '{print $1}' | grep -v '^__odr_asan\.' | sort -u)
expected=$(cat "$@" | grep -v '^#' | grep -v '^$' | sort -u)
if [ "$actual" != "$expected" ]; then
  echo "exported symbols of $lib differ from the export list:"
  diff <(echo "$expected") <(echo "$actual") 2>/dev/null || { echo "expected:"; echo "$expected"; echo "actual:"; echo "$actual"; }
  exit 1
fi
if nm "$lib" | grep -q '_GLOBAL__sub_I'; then
  echo "$lib has static initialisers:"; nm "$lib" | grep '_GLOBAL__sub_I'; exit 1
fi
echo "exports of $(basename "$lib") match ($(echo "$actual" | wc -l) symbols)"
