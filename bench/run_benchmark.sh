#!/usr/bin/env bash
# Throughput and peak memory of smi2txt, measured side by side with cat in one run.
#
#   bench/run_benchmark.sh [BUILD_DIR]     (default build/native, a Release build)
#   RUNS=9 bench/run_benchmark.sh          (more runs; the medians are printed)
#
# Generates the subtitles in a temporary folder (removed at the end): 50 MB for the speed,
# 5 MB and 500 MB for the memory, and the 50 MB one as UTF-16 (about 100 MB) for the memory of
# decoding and encoding. Every timed run reads the 50 MB file from the page cache and
# writes to /dev/null, so both sides measure the program and not the disk; smi2txt still
# formats every byte into its stream buffer and writes it out.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build/native}
runs=${RUNS:-7}
smi2txt=$build_dir/cli/smi2txt
make_sami=$build_dir/bench/make_sami
if [[ ! -x $smi2txt || ! -x $make_sami ]]; then
  echo "run_benchmark.sh: build first: cmake --preset native && cmake --build --preset native" >&2
  exit 2
fi
if [[ ! -x /usr/bin/time ]]; then
  echo "run_benchmark.sh: /usr/bin/time is missing (apt-get install time)" >&2
  exit 2
fi
if (( runs < 5 )); then
  echo "run_benchmark.sh: RUNS must be at least 5" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

mb=1000000
"$make_sami" $((5 * mb)) "$work/5mb.smi"
"$make_sami" $((50 * mb)) "$work/50mb.smi"
"$make_sami" $((500 * mb)) "$work/500mb.smi"
# The 50 MB file again as UTF-16, which the filter decodes and encodes as it goes.
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$work/50mb.smi"; } >"$work/utf16.smi"
file=$work/50mb.smi
bytes=$(stat -c %s "$file")

# Nanoseconds one command takes, its output going to /dev/null.
elapsed_ns() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo $((end - start))
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

# Warm the page cache and the programs.
for _ in 1 2; do
  cat "$file" >/dev/null
  "$smi2txt" "$file" >/dev/null
  "$smi2txt" --sync "$file" >/dev/null
done

# Interleaved, so a busy moment of the machine falls on all three alike.
: >"$work/cat.ns"
: >"$work/plain.ns"
: >"$work/sync.ns"
for _ in $(seq "$runs"); do
  elapsed_ns cat "$file" >>"$work/cat.ns"
  elapsed_ns "$smi2txt" "$file" >>"$work/plain.ns"
  elapsed_ns "$smi2txt" --sync "$file" >>"$work/sync.ns"
done

cat_ns=$(median <"$work/cat.ns")
throughput() { awk -v b="$bytes" -v ns="$1" 'BEGIN { printf "%.0f", b / 1e6 / (ns / 1e9) }'; }
ratio() { awk -v ns="$1" -v c="$cat_ns" 'BEGIN { printf "%.2f", c / ns }'; }

# Peak resident memory in KiB, converting into a file as a user would.
peak_kib() {
  /usr/bin/time -f %M -o "$work/time.out" "$@" >/dev/null
  cat "$work/time.out"
}

echo "Input: $(basename "$file"), $bytes bytes, page cache; output to /dev/null; median of $runs runs"
echo "Machine: $(nproc) cores, $(uname -sr)"
echo
echo "| command | median time | MB/s | ratio to cat |"
echo "|---|---:|---:|---:|"
for row in cat plain sync; do
  ns=$(median <"$work/$row.ns")
  case $row in
    cat) name='`cat FILE > /dev/null`' ;;
    plain) name='`smi2txt FILE > /dev/null`' ;;
    sync) name='`smi2txt --sync FILE > /dev/null`' ;;
  esac
  printf '| %s | %d ms | %s | %s |\n' "$name" $((ns / 1000000)) "$(throughput "$ns")" "$(ratio "$ns")"
done
echo
echo "| peak memory (maximum resident set size, /usr/bin/time), to a file | 5 MB | 50 MB | 500 MB |"
echo "|---|---:|---:|---:|"
for mode in "" --sync; do
  line="| \`smi2txt $mode${mode:+ }FILE -o OUT\`"
  for size in 5mb 50mb 500mb; do
    kib=$(peak_kib "$smi2txt" $mode "$work/$size.smi" -o "$work/out.txt")
    line+=" | $kib KiB"
  done
  echo "$line |"
done
echo
utf16_mb=$(( $(stat -c %s "$work/utf16.smi") / mb ))
echo "| peak memory, UTF-16 input of $utf16_mb MB, to a file | KiB |"
echo "|---|---:|"
for mode in "" --sync; do
  kib=$(peak_kib "$smi2txt" $mode "$work/utf16.smi" -o "$work/out.txt")
  echo "| \`smi2txt $mode${mode:+ }FILE -o OUT\` | $kib |"
done
