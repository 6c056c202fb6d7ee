#!/bin/sh
# Cross-compiles the Windows x64 build (MinGW-w64, statically linked) into
# build-win beside the sources, or into $QUARVEL_WIN_BUILD; with --x86 the
# 32-bit build into build-win32.
#   scripts/build_windows.sh               configure and build
#   scripts/build_windows.sh --test        then run the unit tests under Wine
#   scripts/build_windows.sh --x86 [--test]
set -eu

source_dir=$(cd "$(dirname "$0")/.." && pwd)
toolchain=mingw-w64-x86_64
default_dir=build-win
if [ "${1:-}" = "--x86" ]; then
  toolchain=mingw-w64-i686
  default_dir=build-win32
  shift
fi
build_dir=${QUARVEL_WIN_BUILD:-$source_dir/$default_dir}

generator=
if command -v ninja >/dev/null 2>&1; then generator="-G Ninja"; fi

# shellcheck disable=SC2086
cmake -S "$source_dir" -B "$build_dir" $generator \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/$toolchain.cmake"
cmake --build "$build_dir" -j2

if [ "${1:-}" = "--test" ]; then
  . "$source_dir/scripts/wine_env.sh"
  "$QUARVEL_WINE" "$build_dir/quarvel_tests.exe"
fi
