#!/usr/bin/env bash
# Builds the model libraries and the host, then runs the host on them: the
# records of every library, and the example circuits.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 8)"

sim=./build/host/vxrsim
libpath=build/models/lambret:build/models/torvex/core:build/models/torvex/en:build/tests/host/fixtures
export VXR_LIBRARY_PATH=$libpath

for lib in build/models/lambret/LAMBRET.so build/models/torvex/core/TORVEX_CORE.so \
           build/models/torvex/en/TORVEX_EN.so build/models/torvex/en/TORVEX.so; do
  echo "=== $lib"
  "$sim" describe "$lib"
done
for net in models/lambret/examples/*.cir models/torvex/examples/*.cir host/examples/*.cir; do
  echo "=== $net"
  "$sim" "$net"
done
# The transistor characterization suite at default parameters: the statistics
# of each analysis (points, Newton iterations, time steps, time) on stderr.
for net in models/torvex/examples/suite/*.cir; do
  echo "=== $net"
  "$sim" -q -s "$net" >/dev/null
done
