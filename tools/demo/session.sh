#!/bin/bash
# session.sh ARCH BUILD_DIR
# A scripted installer session: plays the installer engine through
# EngineHost.exe, calling every export of Tarvish.dll under Wine, and shows
# what each returned and changed.
set -euo pipefail
arch=$1
build=$2
here=$(cd "$(dirname "$0")" && pwd)
prefix="$build/wineprefix"
bin="$build/bin"

engine() {
  echo "> $*"
  "$here/../wine/winerun" "$arch" "$prefix" "$bin/EngineHost.exe" "$@" | tr -d '\r' | sed 's/^/  /'
}

echo "Installer session, ${arch}-bit Tarvish.dll under Wine"
echo
echo "-- module and date/code-page queries"
engine ViseEntry '#1' '#2' '#3'
today=$(date +%-d.%-m.%Y)
IFS=. read -r d m y <<<"$today"
engine IsAfter "#$d" "#$m" "#$y"
engine IsAfter '#1' '#1' "#$((y + 1))"
engine GetACP
engine _GetActiveCP@0
