#!/usr/bin/env bash
# Installs what building and testing Quarvel needs on Debian, when missing.
#
# The Windows x86 build runs under Wine's 32-bit part (wine32, with a 32-bit
# faketime), from Debian's i386 architecture (added here once). Some kernels
# run 64-bit programs only; there a 32-bit Wine cannot start, and having it
# installed would only slow down every Wine prefix made afterwards, so it is
# installed only where a 32-bit program runs.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64
  faketime python3 python3-pyftpdlib python3-pytest vsftpd time
  clang libclang-rt-dev
  libssl-dev openssl python3-openssl
  eggdrop ngircd
)

# The smallest i386 Linux program: exit(0).
kernel_runs_32bit() {
  local probe
  probe=$(mktemp)
  printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\000\000\000\000\315\200' >"$probe"
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=1
  rm -f "$probe"
  return $status
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

added_architecture=0
if kernel_runs_32bit; then
  packages+=(wine32:i386 libfaketime:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture (for Wine's 32-bit part)"
    $sudo dpkg --add-architecture i386
    added_architecture=1
  fi
else
  echo "setup: this kernel does not run 32-bit programs: the Windows x86 build" \
    "is built and packaged but cannot run under Wine here"
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ "$added_architecture" = 1 ]; then
  $sudo apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
