#!/usr/bin/env bash
# The main job: install what is missing, build smi2txt, the Windows program and the browser
# page, and convert the bundled example in both modes.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target smi2txt
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686

echo "==== smi2txt examples/sample.smi (Save) ===="
build/native/cli/smi2txt examples/sample.smi
echo "==== smi2txt --sync examples/sample.smi (Sync Save) ===="
build/native/cli/smi2txt --sync examples/sample.smi

# ---- the browser page: one file, made by the wasm preset beside the npm package ----
cmake --preset wasm >/dev/null
cmake --build --preset wasm
echo "==== the browser page: $(pwd)/build/wasm/velmora.html (open it in a browser, or copy it anywhere) ===="
