#!/usr/bin/env bash
# Quarvel's main job, shown on a sample site: installs what is missing,
# builds the program and plays one month of an FTP site that runs it.
#   scripts/demo.sh            the native build
#   scripts/demo.sh --windows  the Windows build, under Wine
set -euo pipefail
cd "$(dirname "$0")/.."

windows=0
for arg in "$@"; do
  case "$arg" in
    --windows) windows=1 ;;
    *) echo "demo: unknown option $arg (use --windows or nothing)" >&2; exit 2 ;;
  esac
done

scripts/setup.sh
if [ "$windows" = 1 ]; then
  cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
  cmake --build build-win -j"$(nproc)" --target quarvel rawrun >/dev/null
  . scripts/wine_env.sh
  exec demo/run_demo.sh --program build-win/quarvel.exe
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target quarvel >/dev/null
exec demo/run_demo.sh --program build/quarvel
