#!/bin/bash
# session.sh ARCH BUILD_DIR
# A scripted installer session: plays the installer engine through
# EngineHost.exe, calling every export of Tarvish.dll under Wine, and shows
# what each returned and changed. The steps live in parts/*.sh, run in the
# order of their names; each part may use the helpers defined here.
set -euo pipefail
export DEMO_ARCH=$1
export DEMO_BUILD=$2
DEMO_TOOLS=$(cd "$(dirname "$0")/.." && pwd)
export DEMO_TOOLS
export DEMO_PREFIX="$DEMO_BUILD/wineprefix"
export DEMO_BIN="$DEMO_BUILD/bin"
# The prefix's C: drive as a Linux path.
export DEMO_DRIVE_C="$DEMO_PREFIX/drive_c"

# wine PROGRAM [ARG ...]: runs a Windows program of the build, CRs stripped.
wine() {
  "$DEMO_TOOLS/wine/winerun" "$DEMO_ARCH" "$DEMO_PREFIX" "$@" 2>/dev/null | tr -d '\r'
}

# engine EXPORT [ARG ...]: one call through the engine host, shown indented.
engine() {
  echo "> $*"
  wine "$DEMO_BIN/EngineHost.exe" "$@" | sed 's/^/  /'
}

section() {
  echo
  echo "-- $*"
}

echo "Installer session, ${DEMO_ARCH}-bit Tarvish.dll under Wine"
for part in "$(dirname "$0")"/parts/*.sh; do
  # shellcheck disable=SC1090
  . "$part"
done
