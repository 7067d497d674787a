#!/usr/bin/env bash
# Builds the model libraries and runs the host on them.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 8)"
libs=$(find build -name '*.so' -path '*tests/fixtures*' | sort)
./build/tests/abi/vxr_libinfo $libs
