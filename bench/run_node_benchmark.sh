#!/usr/bin/env bash
# The npm package under Node.js beside the native smi2txt, in one run, on the 50 MB English
# subtitle make_sami writes: Save, Sync Save and SubRip; and subsrt-ts, the JavaScript reader
# most SAMI users pick, converting the same file to SubRip.
#
#   bench/run_node_benchmark.sh [NATIVE_BUILD_DIR] [WASM_BUILD_DIR]   (build/native, build/wasm)
#   RUNS=21 bench/run_node_benchmark.sh                             (more runs)
#
# smi2txt is timed as a whole process, reading the page cache and writing to /dev/null, as
# run_benchmark.sh times it. Under Node.js the conversion is timed inside the process, the
# median of RUNS conversions of the bytes in memory with the module made once: by convert,
# which gathers the output into one array, and by convertPieces into a writer that keeps
# nothing, as /dev/null keeps nothing; and the whole process of one conversion by convert,
# Node.js's start-up and the module's included, with its peak memory.
# subsrt-ts is installed into build/bench-node for this benchmark only, and timed 3 times: it
# takes seconds a run.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C

build_dir=${1:-build/native}
wasm_dir=${2:-build/wasm}
runs=${RUNS:-11}
smi2txt=$build_dir/cli/smi2txt
make_sami=$build_dir/bench/make_sami
time_command=$build_dir/bench/time_command
package=$wasm_dir/npm/velmora.mjs
if [[ ! -x $smi2txt || ! -x $make_sami || ! -x $time_command ]]; then
  echo "run_node_benchmark.sh: build first: cmake --preset native && cmake --build --preset native" >&2
  exit 2
fi
if [[ ! -f $package ]]; then
  echo "run_node_benchmark.sh: build first: cmake --preset wasm && cmake --build --preset wasm" >&2
  exit 2
fi
peer=build/bench-node
if [[ ! -f $peer/node_modules/subsrt-ts/package.json ]]; then
  mkdir -p "$peer"
  npm install --no-audit --no-fund --silent --prefix "$peer" subsrt-ts@2.1.2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-node-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$make_sami" 50000000 "$work/50mb.smi"
file=$work/50mb.smi
bytes=$(stat -c %s "$file")

median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}
milliseconds() { awk -v ns="$1" 'BEGIN { printf "%.1f", ns / 1e6 }'; }
throughput() { awk -v b="$bytes" -v ns="$1" 'BEGIN { printf "%.0f", b / 1e6 / (ns / 1e9) }'; }
of_native() { awk -v ns="$1" -v n="$2" 'BEGIN { printf "%.2f", n / ns }'; }

for _ in 1 2; do cat "$file" >/dev/null; done

echo "Input: $(basename "$file"), $bytes bytes, page cache; median of $runs runs; Node.js $(node --version)"
echo
echo "| converter (50 MB) | format | conversion | MB/s | × smi2txt | whole process | peak memory |"
echo "|---|---|---:|---:|---:|---:|---:|"
for format in txt sync srt; do
  : >"$work/native.ns"
  : >"$work/node.ns"
  for _ in $(seq "$runs"); do
    "$time_command" /dev/null -- "$smi2txt" --format "$format" "$file" | cut -d' ' -f1 >>"$work/native.ns"
    "$time_command" /dev/null -- node bench/node_convert.mjs velmora "$package" "$file" "$format" 1 |
      cut -d' ' -f1 >>"$work/node.ns"
  done
  native_ns=$(median <"$work/native.ns")
  native_kib=$("$time_command" /dev/null -- "$smi2txt" --format "$format" "$file" -o "$work/out" |
    cut -d' ' -f3)
  printf '| smi2txt | %s | %s ms | %s | 1.00 | %s ms | %s KiB |\n' "$format" \
    "$(milliseconds "$native_ns")" "$(throughput "$native_ns")" "$(milliseconds "$native_ns")" \
    "$native_kib"
  read -r node_ns _ _ < <(node bench/node_convert.mjs velmora "$package" "$file" "$format" "$runs")
  read -r _ _ node_kib < <(node bench/node_convert.mjs velmora "$package" "$file" "$format" 1)
  printf '| velmora convert (Node.js) | %s | %s ms | %s | %s | %s ms | %s KiB |\n' "$format" \
    "$(milliseconds "$node_ns")" "$(throughput "$node_ns")" "$(of_native "$node_ns" "$native_ns")" \
    "$(milliseconds "$(median <"$work/node.ns")")" "$node_kib"
  read -r pieces_ns _ pieces_kib < <(node bench/node_convert.mjs velmora-pieces "$package" "$file" \
    "$format" "$runs")
  printf '| velmora convertPieces (Node.js) | %s | %s ms | %s | %s |  | %s KiB |\n' "$format" \
    "$(milliseconds "$pieces_ns")" "$(throughput "$pieces_ns")" \
    "$(of_native "$pieces_ns" "$native_ns")" "$pieces_kib"
done
read -r peer_ns _ peer_kib < <(node bench/node_convert.mjs subsrt-ts "$peer" "$file" srt 3)
printf '| subsrt-ts 2.1.2 (Node.js) | srt | %s ms | %s | %s |  | %s KiB |\n' \
  "$(milliseconds "$peer_ns")" "$(throughput "$peer_ns")" "$(of_native "$peer_ns" "$native_ns")" \
  "$peer_kib"
