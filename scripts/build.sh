#!/usr/bin/env bash
# Builds the native program and unit tests (build/), the same with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/), and the
# Windows builds, x64 (build-win/) and x86 (build-win32/); compiler warnings
# are errors in all of them.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARVEL_WERROR=ON >/dev/null
cmake --build build -j"$jobs"

if [ "${QUARVEL_SKIP_ASAN:-0}" != 1 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUARVEL_SANITIZE=ON -DQUARVEL_WERROR=ON >/dev/null
  cmake --build build-asan -j"$jobs" --target quarvel_tests
fi

if [ "${QUARVEL_SKIP_WINDOWS:-0}" != 1 ]; then
  cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARVEL_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
  cmake --build build-win -j"$jobs"
  cmake -S . -B build-win32 -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARVEL_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake >/dev/null
  cmake --build build-win32 -j"$jobs"
fi
