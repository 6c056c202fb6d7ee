#!/bin/sh
# Cross-compiles the Windows x64 build (MinGW-w64, statically linked) into
# build-win beside the sources, or into $QUARVEL_WIN_BUILD.
#   scripts/build_windows.sh          configure and build
#   scripts/build_windows.sh --test   then run the unit tests under Wine
set -eu

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${QUARVEL_WIN_BUILD:-$source_dir/build-win}

generator=
if command -v ninja >/dev/null 2>&1; then generator="-G Ninja"; fi

# shellcheck disable=SC2086
cmake -S "$source_dir" -B "$build_dir" $generator \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake"
cmake --build "$build_dir" -j2

if [ "${1:-}" = "--test" ]; then
  . "$source_dir/scripts/wine_env.sh"
  "$QUARVEL_WINE" "$build_dir/quarvel_tests.exe"
fi
