#!/usr/bin/env bash
# Installs what is missing, checks that no include goes against the layer
# order, builds every target (warnings are errors) and runs every test: the unit
# tests (native, with sanitizers, and the Windows builds under Wine), the
# end-to-end suites against the native program and the Windows programs under
# Wine, the FTP library against real FTP servers, the demo site, and the
# release packages (their contents, and the demo month played by the program
# taken out of each Windows package).
#
# The Windows x86 build runs only where the kernel runs 32-bit programs
# (Wine's 32-bit loader is one); elsewhere it is built, packaged and checked
# but not run, and the run says so.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
/usr/bin/python3 scripts/check_layers.py
scripts/build.sh
scripts/package.sh >/dev/null

step() { printf '\n== %s\n' "$*"; }
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

step "unit tests, native"
build/quarvel_tests --gtest_brief=1
step "unit tests, AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 build-asan/quarvel_tests --gtest_brief=1

. scripts/wine_env.sh
step "unit tests, Windows x64 build under Wine"
"$QUARVEL_WINE" build-win/quarvel_tests.exe --gtest_brief=1
windows_builds=(build-win)
if [ "$QUARVEL_WINE32" = 1 ]; then
  windows_builds+=(build-win32)
  step "unit tests, Windows x86 build under Wine"
  "$QUARVEL_WINE" build-win32/quarvel_tests.exe --gtest_brief=1
  export QUARVEL_RELEASE_DEMO=win64,win32
else
  step "Windows x86 build: NOT RUN here (this kernel does not run 32-bit programs," \
    "so neither does Wine's 32-bit loader); its files and package are checked below"
  export QUARVEL_RELEASE_DEMO=win64
fi

step "fuzzing the configuration, store, FTP reply and user database parsers, 30 s each"
scripts/fuzz.sh 30

step "demo: one month on the sample site, native"
demo/run_demo.sh --program build/quarvel >"$scratch/demo-native.txt" || {
  cat "$scratch/demo-native.txt"; exit 1; }
tail -n 1 "$scratch/demo-native.txt"
step "demo: one month on the sample site, Windows x64 build under Wine"
demo/run_demo.sh --program build-win/quarvel.exe >"$scratch/demo-windows.txt" || {
  cat "$scratch/demo-windows.txt"; exit 1; }
tail -n 1 "$scratch/demo-windows.txt"

step "end-to-end, integration and package tests, native and Windows under Wine"
programs=build/quarvel drivers=build/ftp_api_test examples=build/ftp_example
for dir in "${windows_builds[@]}"; do
  programs+=":$dir/quarvel.exe"
  drivers+=":$dir/ftp_api_test.exe"
  examples+=":$dir/ftp_example.exe"
done
export QUARVEL_PROGRAM=$programs QUARVEL_FTP_DRIVER=$drivers QUARVEL_FTP_EXAMPLE=$examples
if [ $# -eq 0 ]; then
  # A pytest process per core, a file at a time: the tests mostly wait for the programs.
  /usr/bin/python3 scripts/pytest_jobs.py tests
else
  /usr/bin/python3 -m pytest -q -p no:cacheprovider tests "$@"
fi
