#!/bin/sh
# One month of Quarvel on a sample ioFTPD site (see demo/README.md).
#   demo/run_demo.sh                                  the native build, build/quarvel
#   demo/run_demo.sh --program build-win/quarvel.exe  the Windows build under Wine
# QUARVEL_PROGRAM may name the program instead of --program.
# Debian's own Python has pyftpdlib; the first python3 on PATH may not.
exec /usr/bin/python3 "$(dirname "$0")/run_demo.py" "$@"
