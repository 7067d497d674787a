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
