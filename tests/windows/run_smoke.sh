#!/bin/bash
# run_smoke.sh LINUX32_BUILD SECONDS EXE DLL [EXE DLL]...
# Runs each Windows smoke program on its DLL and compares the listing with the
# one the 32-bit Linux build's program (same source, LINUX32_BUILD) makes of
# the same library's .so. The Windows program runs, the first way that works:
#   - natively, on Windows (MSYS or Cygwin shell);
#   - with a wine on PATH that runs 32-bit programs;
#   - with the unpacked 32-bit wine of scripts/setup.sh ($VXR_WINE32_DIR,
#     default $HOME/.cache/vxr-wine32) under qemu-i386, in a private user,
#     mount and PID namespace whose own binfmt_misc hands 32-bit x86 programs
#     to qemu-i386 (the machine's settings are left alone).
# Exit 0: every listing agrees; 1: a value differs, or a program failed after
# it started; 77 (a skipped test) with "not run: <reason>" where no way
# works, the emulation fails before the program starts, or the whole run
# passes SECONDS (less a margin kept for ctest's own time bound).
set -u
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")

# ---- inside the namespace: binfmt_misc of our own, then the command ----
if [ "${1:-}" = --in-namespace ]; then
  shift
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || exit 90
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$QEMU_I386"':F' \
    > /proc/sys/fs/binfmt_misc/register || exit 90
  # The namespace ends with this script: wineserver saves the prefix and exits
  # first (wine's own services stay, so after a while they are ended).
  "$@"
  rc=$?
  if [ -n "${WINE32_SERVER:-}" ]; then
    timeout 60 "$WINE32_SERVER" -w || { "$WINE32_SERVER" -k; timeout 60 "$WINE32_SERVER" -w; }
  fi
  exit $rc
fi

linux32=$1 seconds=$2
shift 2
notrun() { echo "windows smoke test not run: $*"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
deadline=$(( $(date +%s) + seconds - 60 ))

# ---- the references: the 32-bit Linux build's listings ----
m32_prefix=()
[ "$(sed -n 's/^VXR_M32_RUN:INTERNAL=//p' "$linux32/CMakeCache.txt" 2>/dev/null)" != none ] ||
  notrun "the 32-bit Linux programs of $linux32 cannot run here (no qemu-i386)"
if [ "$(sed -n 's/^VXR_M32_RUN:INTERNAL=//p' "$linux32/CMakeCache.txt" 2>/dev/null)" = qemu-i386 ]; then
  m32_prefix=("$(sed -n 's/^VXR_QEMU_I386:[A-Z]*=//p' "$linux32/CMakeCache.txt")")
fi
n=0
args=("$@")
while [ $# -ge 2 ]; do
  exe=$1 dll=$2
  shift 2
  so=$linux32/models/torvex/en/$(basename "$dll" .dll).so
  prog=$linux32/tests/windows/$(basename "$exe" .exe)
  [ -x "$prog" ] && [ -f "$so" ] || { echo "no $prog or $so: build the -m32 configuration first"; exit 1; }
  "${m32_prefix[@]}" "$prog" "$so" > "$work/ref$n.txt" || { echo "$prog failed on $so"; cat "$work/ref$n.txt"; exit 1; }
  n=$((n + 1))
done
set -- "${args[@]}"

# ---- a way to run 32-bit Windows programs ----
runner=()
how=""
case "$(uname -s)" in
  MINGW*|MSYS*|CYGWIN*) how="natively" ;;
esac
if [ -z "$how" ] && command -v wine >/dev/null 2>&1 && timeout 300 wine cmd /c exit 0 >/dev/null 2>&1; then
  runner=(wine) how="with $(command -v wine)"
fi
if [ -z "$how" ]; then
  dir=${VXR_WINE32_DIR:-}
  [ -n "$dir" ] || dir=${HOME:-/root}/.cache/vxr-wine32
  loader=$dir/root/usr/lib/wine/wine
  [ -x "$loader" ] || notrun "no 32-bit wine here (scripts/setup.sh unpacks one into $dir)"
  QEMU_I386=$(command -v qemu-i386) || notrun "no qemu-i386 (Debian qemu-user)"
  export QEMU_I386
  command -v unshare >/dev/null || notrun "no unshare"
  unshare -U -r -m -p -f --mount-proc --kill-child "$self" --in-namespace true 2>/dev/null ||
    notrun "a user namespace with its own binfmt_misc cannot be made here"
  export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
  unset DISPLAY
  export WINE32_SERVER=$dir/root/usr/lib/wine/wineserver
  runner=(unshare -U -r -m -p -f --mount-proc --kill-child "$self" --in-namespace "$loader")
  how="with the 32-bit wine of $dir under $QEMU_I386"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # A new prefix, made before the first program runs (the program must not
    # start while it is still being made).
    start=$(date +%s)
    timeout -k 10 $(( deadline - start )) "${runner[@]}" wineboot.exe --init >/dev/null 2>&1
    rc=$?
    echo "windows smoke test: the wine prefix was made in $(( $(date +%s) - start )) s (exit $rc)"
    [ -f "$WINEPREFIX/system.reg" ] || { rm -rf "$WINEPREFIX"; notrun "wine could not make its prefix"; }
  fi
fi
echo "windows smoke test: the DLLs run $how"

# ---- run and compare ----
n=0
while [ $# -ge 2 ]; do
  exe=$1 dll=$2
  shift 2
  left=$(( deadline - $(date +%s) ))
  [ "$left" -gt 0 ] || notrun "no time left for $(basename "$dll") (bound ${seconds} s)"
  start=$(date +%s)
  # Relative names: wine maps the working directory onto a drive of its own.
  cp "$exe" "$dll" "$work/"
  (cd "$work" && timeout -k 10 "$left" "${runner[@]}" "./$(basename "$exe")" "$(basename "$dll")" "ref$n.txt") \
    > "$work/out$n.txt" 2>&1
  rc=$?
  tr -d '\r' < "$work/out$n.txt" | grep -v '^\(value\|handle\|batch\) ' | head -40
  echo "($(basename "$dll"): exit $rc after $(( $(date +%s) - start )) s)"
  if ! grep -q '^dll_smoke: started' "$work/out$n.txt"; then
    [ "$rc" = 124 ] || [ "$rc" = 137 ] && notrun "$(basename "$exe") did not start within the time bound"
    notrun "the emulation failed before $(basename "$exe") started (exit $rc)"
  fi
  if [ "$rc" = 124 ] || [ "$rc" = 137 ]; then
    notrun "$(basename "$exe") started but did not finish within the time bound"
  fi
  [ "$rc" = 0 ] || { echo "$(basename "$dll"): FAILED"; exit 1; }
  n=$((n + 1))
done
echo "windows smoke test: $n DLLs agree with the 32-bit Linux build"
