#!/bin/sh
# tools/setup.sh: installs everything the build and the tests need on a
# Debian 12 machine, as root. Idempotent and quiet: on a ready machine it
# only checks, in well under two seconds.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

packages="cmake ninja-build g++ make clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 fonts-wine
  python3 python3-fonttools util-linux binutils xz-utils"

missing=""
for p in $packages; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing="$missing $p"
done

if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# 32-bit Windows programs: qemu-i386, binfmt_misc and the trap-number fix.
sh "$here/qemu/setup-qemu.sh"
