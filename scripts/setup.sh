#!/usr/bin/env bash
# Installs what building and testing Quarvel needs on Debian, when missing.
# The Windows x86 build runs under Wine's 32-bit part, which comes from
# Debian's i386 architecture (added here once).
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386
  faketime libfaketime:i386 python3 python3-pyftpdlib python3-pytest vsftpd
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

added_architecture=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture (for Wine's 32-bit part)"
  $sudo dpkg --add-architecture i386
  added_architecture=1
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
