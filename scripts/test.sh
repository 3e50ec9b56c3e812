#!/usr/bin/env bash
# Every test: the native unit, command-line and install tests (prefix, Debian package, manual
# page), the npm package under Node.js against that smi2txt, the native tests again under the
# sanitizers, the Windows build under Wine (unit tests, the program driven on a virtual
# display, its installer installed, upgraded and removed), the resource, zip and installer
# checks of the 32-bit release, and a fuzzing smoke run that
# compares the fast path with the steps. Each test has a time limit.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

run_preset() {
  local preset=$1
  echo "==== $preset ===="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
}

run_preset native
run_preset wasm
run_preset sanitize
run_preset mingw-i686
cmake --preset mingw-x86_64 >/dev/null
scripts/prepare-wine.sh build/mingw-x86_64/wineprefix
run_preset mingw-x86_64
run_preset fuzz
echo "==== all tests passed ===="
