#!/usr/bin/env bash
# Installs what building, packaging and testing Velmora needs on Debian 12 (uchardet guesses a
# file's encoding for UTF-8 output and pkg-config finds it; man and groff check the manual
# page, dpkg-dev gives the .deb its Depends line, lintian checks the .deb, wixl builds the
# Windows installers and msitools reads them back), and the Korean
# locale that Wine needs to use code page 949; ffmpeg and the W3C validator's WebVTT parser
# (npm's webvtt-parser, kept in build/readers) read the timed formats back; emscripten (whose
# JavaScript optimizer needs node-acorn) builds the npm package, with uchardet's sources from
# Debian's source package (scripts/fetch-uchardet.sh). Safe to run again: it installs only what
# is missing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest libbenchmark-dev
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
  xvfb xauth xdotool x11-utils imagemagick icoutils
  locales fonts-nanum fonts-baekmuk zip unzip python3 time valgrind clang-format
  man-db groff-base dpkg-dev lintian libuchardet-dev pkg-config ffmpeg
  emscripten node-acorn msitools wixl
)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
# Node.js may come with its own npm from another package source, which Debian's npm conflicts
# with: ask for Debian's only when there is no npm at all.
command -v npm >/dev/null 2>&1 || missing+=(nodejs npm)
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO localedef -i ko_KR -f UTF-8 ko_KR.UTF-8
fi

READERS="$(cd "$(dirname "$0")/.." && pwd)/build/readers"
if [ ! -f "$READERS/node_modules/webvtt-parser/parser.js" ]; then
  mkdir -p "$READERS"
  npm install --no-audit --no-fund --prefix "$READERS" webvtt-parser@2.2.0
fi

"$(dirname "$0")/fetch-uchardet.sh"

# ---- the browser page: fflate is bundled into it at build time and makes its zips; its tests
# drive Debian's chromium (never a browser download) headless with puppeteer-core and check it
# with axe-core; the npm packages are kept in build/page-deps ----
if ! dpkg-query -W -f='${Status}' chromium 2>/dev/null | grep -q 'install ok installed'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends chromium
fi
PAGE_DEPS="$(cd "$(dirname "$0")/.." && pwd)/build/page-deps"
if [ ! -f "$PAGE_DEPS/node_modules/fflate/esm/browser.js" ] ||
  [ ! -f "$PAGE_DEPS/node_modules/puppeteer-core/package.json" ] ||
  [ ! -f "$PAGE_DEPS/node_modules/axe-core/axe.min.js" ]; then
  mkdir -p "$PAGE_DEPS"
  PUPPETEER_SKIP_DOWNLOAD=1 npm install --no-audit --no-fund --prefix "$PAGE_DEPS" \
    fflate@0.8.3 puppeteer-core@24.43.1 axe-core@4.14.1
fi
