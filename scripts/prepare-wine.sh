#!/usr/bin/env bash
# Makes the Wine prefix the Windows tests run in: created once, Korean locale, Wine drawing no
# caption bars of its own, Korean fonts that measure like Windows' own.
# Usage: prepare-wine.sh PREFIX
set -euo pipefail
export WINEPREFIX=$(realpath -m "$1")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8
WINE=/usr/lib/wine/wine64
MARKER=$WINEPREFIX/.velmora-ready
# The marker holds the version of these settings, so a prefix made before a change gets it too.
SETTINGS_VERSION=2

if [ ! -f "$MARKER" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 300 "$WINE" wineboot --init
  timeout 120 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f
fi

if [ "$(cat "$MARKER" 2>/dev/null)" != "$SETTINGS_VERSION" ]; then
  REPLACEMENTS='HKCU\Software\Wine\Fonts\Replacements'
  # The window paints with the stock system font, 16 pixels high and 8 wide on average, to
  # which Wine scales whatever font stands in for "System". Nanum Myeongjo keeps its Hangul
  # about 16 pixels wide there, as Windows draws it; the wider default font cuts the fourth
  # line, and Baekmuk Gulim, averaging a full Hangul width, would shrink to half.
  timeout 120 "$WINE" reg add "$REPLACEMENTS" /v System /t REG_SZ /d NanumMyeongjo /f
  # Dialogs, menus and message boxes ask for "MS Shell Dlg", which the Korean prefix sends on
  # to Gulim.
  for face in Gulim 굴림; do
    timeout 120 "$WINE" reg add "$REPLACEMENTS" /v "$face" /t REG_SZ /d 'Baekmuk Gulim' /f
  done
  timeout 60 /usr/lib/wine/wineserver -w
  echo "$SETTINGS_VERSION" >"$MARKER"
fi
