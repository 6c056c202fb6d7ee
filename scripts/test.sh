#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: the unit
# tests (native, with sanitizers, and the Windows build under Wine), the
# end-to-end suites against the native program and the Windows program under
# Wine, the FTP library against real FTP servers, and the demo site.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh

step() { printf '\n== %s\n' "$*"; }

step "unit tests, native"
build/quarvel_tests --gtest_brief=1
step "unit tests, AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 build-asan/quarvel_tests --gtest_brief=1

. scripts/wine_env.sh
step "unit tests, Windows build under Wine"
"$QUARVEL_WINE" build-win/quarvel_tests.exe --gtest_brief=1

step "fuzzing the configuration, store and FTP reply parsers, 30 s each"
scripts/fuzz.sh 30

step "demo: one month on the sample site, native"
demo/run_demo.sh --program build/quarvel >/tmp/quarvel-demo-native.txt || {
  cat /tmp/quarvel-demo-native.txt; exit 1; }
tail -n 1 /tmp/quarvel-demo-native.txt
step "demo: one month on the sample site, Windows build under Wine"
demo/run_demo.sh --program build-win/quarvel.exe >/tmp/quarvel-demo-windows.txt || {
  cat /tmp/quarvel-demo-windows.txt; exit 1; }
tail -n 1 /tmp/quarvel-demo-windows.txt

step "end-to-end and integration tests, native and Windows under Wine"
export QUARVEL_PROGRAM=build/quarvel:build-win/quarvel.exe
export QUARVEL_FTP_DRIVER=build/ftp_api_test:build-win/ftp_api_test.exe
export QUARVEL_FTP_EXAMPLE=build/ftp_example:build-win/ftp_example.exe
/usr/bin/python3 -m pytest -q -p no:cacheprovider tests "$@"
