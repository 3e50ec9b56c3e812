#!/usr/bin/env bash
# Makes the Wine prefix the Windows tests run in: created once, Korean locale, Wine drawing no
# caption bars of its own. Usage: prepare-wine.sh PREFIX
set -euo pipefail
export WINEPREFIX=$(realpath -m "$1")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8
WINE=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 300 "$WINE" wineboot --init
  timeout 120 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f
  timeout 60 /usr/lib/wine/wineserver -w
  touch "$WINEPREFIX/.velmora-ready"
fi
