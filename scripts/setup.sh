#!/usr/bin/env bash
# Installs the build dependencies on a Debian machine (skipped when present).
set -euo pipefail
pkgs="cmake ninja-build g++ g++-multilib binutils googletest libgtest-dev libbenchmark-dev libeigen3-dev libsuitesparse-dev g++-mingw-w64-i686 clang libclang-rt-dev qemu-user"
missing=""
for p in $pkgs; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  if [ "$(id -u)" = 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null
fi

# The 32-bit wine for the Windows smoke test (tests/windows/run_smoke.sh) where
# the machine is not Windows: Debian's wine32 and libwine for i386 and MinGW's
# zlib1.dll, fetched with a private apt state (the machine's architectures
# and package lists stay as they are) and unpacked, not installed. Skipped
# where a wine is installed, or the unpacked one is already there.
wine_dir=${VXR_WINE32_DIR:-${HOME:-/root}/.cache/vxr-wine32}
if ! command -v wine >/dev/null 2>&1 && [ ! -x "$wine_dir/root/usr/lib/wine/wine" ]; then
  echo "fetching the 32-bit wine into $wine_dir"
  apt_dir=$(mktemp -d)
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/deb" "$wine_dir"
  chmod -R a+rwx "$apt_dir"
  apt_opts=(-o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir" -o APT::Architectures::=i386
            -o Debug::NoLocking=1 -qq)
  if apt-get "${apt_opts[@]}" update && (cd "$apt_dir/deb" && apt-get "${apt_opts[@]}" download wine32:i386 libwine:i386 libz-mingw-w64); then
    rm -rf "$wine_dir/root.new"
    for deb in "$apt_dir"/deb/*.deb; do dpkg-deb -x "$deb" "$wine_dir/root.new"; done
    r=$wine_dir/root.new
    # The packaged wineserver is a script that names /usr/lib/wine/wineserver32.
    ln -sf wineserver32 "$r/usr/lib/wine/wineserver"
    cp "$r/usr/i686-w64-mingw32/lib/zlib1.dll" "$r/usr/lib/i386-linux-gnu/wine/i386-windows/"
    rm -rf "$wine_dir/root" && mv "$r" "$wine_dir/root"
  else
    echo "could not fetch the 32-bit wine: the Windows smoke test will not run"
  fi
  rm -rf "$apt_dir"
fi
