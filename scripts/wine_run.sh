#!/usr/bin/env bash
# Runs a Windows program under Wine, in the prefix that wine_env.sh prepares:
# the emulator through which ctest runs the unit tests of the Windows builds.
#   scripts/wine_run.sh build-win/quarvel_tests.exe --gtest_brief=1
set -eo pipefail
. "$(dirname "$0")/wine_env.sh"
exec "$QUARVEL_WINE" "$@"
