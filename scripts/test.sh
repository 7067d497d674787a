#!/usr/bin/env bash
# Builds and runs the whole test suite in three configurations: the normal
# 64-bit build, AddressSanitizer + UndefinedBehaviorSanitizer, and 32-bit
# (natively or under qemu-i386); then cross-builds the 32-bit Windows DLLs,
# checks them and runs them (natively or under wine).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 8)

run_config() {
  local dir=$1; shift
  echo "=== configuration ${dir} ($*)"
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" -j"$jobs" --output-on-failure --timeout 600
}

run_config build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_config build-asan -DCMAKE_BUILD_TYPE=Debug -DVXR_SANITIZE=ON
# 32-bit: natively where the kernel runs 32-bit programs, otherwise under
# qemu-i386 (the build's CMake finds which: cmake/emulator.cmake).
cmake -S . -B build-m32 -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVXR_M32=ON >/dev/null
case "$(sed -n 's/^VXR_M32_RUN:INTERNAL=//p' build-m32/CMakeCache.txt)" in
  native) m32_how="natively" ;;
  none) m32_how="" ;;
  *) m32_how="under $(sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p;s/^VXR_QEMU_I386:[A-Z]*=//p' build-m32/CMakeCache.txt | head -1)" ;;
esac
if [ -n "$m32_how" ]; then
  echo "=== configuration build-m32: the 32-bit tests run ${m32_how}"
  run_config build-m32 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVXR_M32=ON
else
  echo "=== configuration build-m32: built only, this kernel does not run 32-bit programs and qemu-i386 is missing (scripts/setup.sh installs it)"
  cmake --build build-m32 -j"$jobs"
fi
# The 32-bit Windows DLLs, cross-built with MinGW-w64; their tests read the PE headers
# and compare each export table with the dynamic symbol table of the .so built above,
# and the smoke test loads and runs each DLL (under wine here) and compares what it
# loaded with the 32-bit Linux build (tests/windows/run_smoke.sh).
run_config build-win32 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
  -DVXR_LINUX_BUILD="$PWD/build" -DVXR_LINUX32_BUILD="$PWD/build-m32"
grep -h '^windows smoke test' build-win32/Testing/Temporary/LastTest.log 2>/dev/null || true
# libFuzzer over the table-model reader (clang), for a bounded number of inputs.
if command -v clang++ >/dev/null 2>&1; then
  echo "=== libFuzzer (build-fuzz)"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVXR_SANITIZE=ON \
    -DVXR_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs" --target fuzz_table_file
  ctest --test-dir build-fuzz -R libfuzzer --output-on-failure --timeout 600
fi
echo "all configurations passed"
