#!/usr/bin/env bash
# Builds the release packages into dist/:
#   quarvel-<version>-linux-x86_64.tar.gz  from build/       (native)
#   quarvel-<version>-win64.zip            from build-win/   (Windows x64)
#   quarvel-<version>-win32.zip            from build-win32/ (Windows x86)
# The version is the one in entry/version.h. Builds what is missing first
# (incrementally: after scripts/build.sh there is nothing left to do).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
  echo "package: takes no arguments (writes every package into dist/)" >&2
  exit 2
fi
jobs=${JOBS:-$(nproc)}

configure_and_build() {
  local dir=$1 type=$2; shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}
configure_and_build build RelWithDebInfo
configure_and_build build-win Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
configure_and_build build-win32 Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake

mkdir -p dist
for dir in build build-win build-win32; do
  cpack --config "$dir/CPackConfig.cmake" -B "$PWD/dist" >/dev/null
done
rm -rf dist/_CPack_Packages
ls -1 dist
