#!/usr/bin/env bash
# Throughput, instructions and peak memory of smi2txt, measured side by side with cat in one
# run.
#
#   bench/run_benchmark.sh [BUILD_DIR]     (default build/native, a Release build)
#   RUNS=21 bench/run_benchmark.sh         (more runs; the medians are printed)
#
# Generates the subtitles in a temporary folder (removed at the end): 50 MB for the speed,
# 5 MB and 500 MB for the memory, the 50 MB one as UTF-16 (about 100 MB), and a 50 MB Korean
# one in CP949 for UTF-8 output (-u), beside the iconv pipeline it spares. Every timed run
# reads its file from the page cache and writes to /dev/null, so both sides measure the program
# and not the disk; smi2txt still formats every byte into its buffer and writes it out. Each
# run is timed by time_command from just before its process starts to just after it ends, so
# no fork of the script falls inside a measurement. Instructions are counted by callgrind on
# the first 5 MB of the 50 MB file: unlike times, they do not move with the machine or its load.
set -euo pipefail
cd "$(dirname "$0")/.."
# The rows without -u keep the subtitle's bytes, as under any locale but a UTF-8 one.
export LC_ALL=C

build_dir=${1:-build/native}
runs=${RUNS:-11}
smi2txt=$build_dir/cli/smi2txt
make_sami=$build_dir/bench/make_sami
time_command=$build_dir/bench/time_command
if [[ ! -x $smi2txt || ! -x $make_sami || ! -x $time_command ]]; then
  echo "run_benchmark.sh: build first: cmake --preset native && cmake --build --preset native" >&2
  exit 2
fi
if ! command -v valgrind >/dev/null; then
  echo "run_benchmark.sh: valgrind is missing (apt-get install valgrind)" >&2
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
head -c $((5 * mb)) "$work/50mb.smi" >"$work/first5mb.smi"
# The 50 MB file again as UTF-16, which the filter decodes and encodes as it goes.
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$work/50mb.smi"; } >"$work/utf16.smi"
file=$work/50mb.smi
bytes=$(stat -c %s "$file")
utf16_bytes=$(stat -c %s "$work/utf16.smi")
# Korean text in CP949, as most Korean subtitles are: 56.5 MB of UTF-8 give about 50 MB.
"$make_sami" --korean 56500000 "$work/korean_utf8.smi"
iconv -f UTF-8 -t CP949 "$work/korean_utf8.smi" >"$work/korean.smi"
rm "$work/korean_utf8.smi"
head -c $((5 * mb)) "$work/korean.smi" >"$work/first5mb_korean.smi"
korean_bytes=$(stat -c %s "$work/korean.smi")

# The wall-clock nanoseconds of one run, its output to /dev/null.
wall_ns() {
  "$time_command" /dev/null -- "$@" | cut -d' ' -f1
}

# The peak resident memory in KiB of one run, converting into a file as a user would.
peak_kib() {
  "$time_command" /dev/null -- "$@" | cut -d' ' -f3
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

# Instructions per input byte, counted on the first 5 MB (of the Korean file with KOREAN=1).
instructions_per_byte() {
  local first5mb=$work/first5mb.smi
  [[ ${KOREAN:-} == 1 ]] && first5mb=$work/first5mb_korean.smi
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$smi2txt" "$@" "$first5mb" \
    2>"$work/callgrind.err" >/dev/null
  local refs
  refs=$(sed -n 's/.*refs: *\([0-9,]*\).*/\1/p' "$work/callgrind.err" | tr -d ,)
  awk -v r="$refs" -v b=$((5 * mb)) 'BEGIN { printf "%.2f", r / b }'
}

# Warm the page cache and the programs.
for _ in 1 2; do
  cat "$file" >/dev/null
  "$smi2txt" "$file" >/dev/null
  "$smi2txt" --sync "$file" >/dev/null
  "$smi2txt" --format srt "$file" >/dev/null
  "$smi2txt" --format json "$file" >/dev/null
  "$smi2txt" "$work/utf16.smi" >/dev/null
done

# Interleaved, so a busy moment of the machine falls on all of them alike.
rows=(cat plain sync srt json utf8_plain utf8_sync utf16_plain utf16_sync korean_sync korean_utf8 korean_iconv)
for row in "${rows[@]}"; do : >"$work/$row.ns"; done
for _ in $(seq "$runs"); do
  wall_ns cat "$file" >>"$work/cat.ns"
  wall_ns "$smi2txt" "$file" >>"$work/plain.ns"
  wall_ns "$smi2txt" --sync "$file" >>"$work/sync.ns"
  wall_ns "$smi2txt" --format srt "$file" >>"$work/srt.ns"
  wall_ns "$smi2txt" --format json "$file" >>"$work/json.ns"
  wall_ns "$smi2txt" -u "$file" >>"$work/utf8_plain.ns"
  wall_ns "$smi2txt" -u --sync "$file" >>"$work/utf8_sync.ns"
  wall_ns "$smi2txt" "$work/utf16.smi" >>"$work/utf16_plain.ns"
  wall_ns "$smi2txt" --sync "$work/utf16.smi" >>"$work/utf16_sync.ns"
  wall_ns "$smi2txt" --sync "$work/korean.smi" >>"$work/korean_sync.ns"
  wall_ns "$smi2txt" --sync -u "$work/korean.smi" >>"$work/korean_utf8.ns"
  wall_ns bash -c '"$1" --sync "$2" | iconv -f cp949 -t utf-8' _ "$smi2txt" "$work/korean.smi" \
    >>"$work/korean_iconv.ns"
done

cat_ns=$(median <"$work/cat.ns")
throughput() { awk -v b="$2" -v ns="$1" 'BEGIN { printf "%.0f", b / 1e6 / (ns / 1e9) }'; }
ratio() { awk -v ns="$1" -v c="$cat_ns" 'BEGIN { printf "%.2f", c / ns }'; }
milliseconds() { awk -v ns="$1" 'BEGIN { printf "%.1f", ns / 1e6 }'; }

echo "Input: $(basename "$file"), $bytes bytes, page cache; output to /dev/null; median of $runs runs"
echo "Machine: $(nproc) cores, $(uname -sr)"
echo
echo "| command (50 MB, median of $runs) | median time | MB/s | × cat | instructions/byte | × --sync |"
echo "|---|---:|---:|---:|---:|---:|"
sync_ns=$(median <"$work/sync.ns")
for row in cat plain sync srt json utf8_plain utf8_sync; do
  ns=$(median <"$work/$row.ns")
  case $row in
    cat) name='`cat FILE`'; per_byte='' ;;
    plain) name='`smi2txt FILE`'; per_byte=$(instructions_per_byte) ;;
    sync) name='`smi2txt --sync FILE`'; per_byte=$(instructions_per_byte --sync) ;;
    srt) name='`smi2txt --format srt FILE`'; per_byte=$(instructions_per_byte --format srt) ;;
    json) name='`smi2txt --format json FILE`'; per_byte=$(instructions_per_byte --format json) ;;
    utf8_plain) name='`smi2txt -u FILE`'; per_byte=$(instructions_per_byte -u) ;;
    utf8_sync) name='`smi2txt -u --sync FILE`'; per_byte=$(instructions_per_byte -u --sync) ;;
  esac
  # Throughput beside --sync's: the timed formats do the same reading and more writing.
  of_sync=$(awk -v ns="$ns" -v s="$sync_ns" 'BEGIN { printf "%.2f", s / ns }')
  [[ $row == cat ]] && of_sync=""
  printf '| %s | %s ms | %s | %s | %s | %s |\n' "$name" "$(milliseconds "$ns")" \
    "$(throughput "$ns" "$bytes")" "$(ratio "$ns")" "$per_byte" "$of_sync"
done
echo
echo "| the same file as UTF-16 ($((utf16_bytes / mb)) MB) | median time | MB/s of UTF-16 |"
echo "|---|---:|---:|"
for row in utf16_plain utf16_sync; do
  ns=$(median <"$work/$row.ns")
  case $row in
    utf16_plain) name='`smi2txt FILE`' ;;
    utf16_sync) name='`smi2txt --sync FILE`' ;;
  esac
  printf '| %s | %s ms | %s |\n' "$name" "$(milliseconds "$ns")" "$(throughput "$ns" "$utf16_bytes")"
done
echo
echo "| a Korean file in CP949 ($((korean_bytes / mb)) MB) | median time | MB/s | instructions/byte |"
echo "|---|---:|---:|---:|"
for row in korean_sync korean_utf8 korean_iconv; do
  ns=$(median <"$work/$row.ns")
  case $row in
    korean_sync) name='`smi2txt --sync FILE`'; per_byte=$(KOREAN=1 instructions_per_byte --sync) ;;
    korean_utf8) name='`smi2txt --sync -u FILE`'; per_byte=$(KOREAN=1 instructions_per_byte --sync -u) ;;
    korean_iconv) name='`smi2txt --sync FILE \| iconv -f cp949 -t utf-8`'; per_byte='' ;;
  esac
  printf '| %s | %s ms | %s | %s |\n' "$name" "$(milliseconds "$ns")" \
    "$(throughput "$ns" "$korean_bytes")" "$per_byte"
done
echo
echo "| peak memory (maximum resident set size), to a file | 5 MB | 50 MB | 500 MB | UTF-16 | Korean CP949 |"
echo "|---|---:|---:|---:|---:|---:|"
for mode in "" --sync "--sync -u" "--format srt" "--format json"; do
  line="| \`smi2txt $mode${mode:+ }FILE -o OUT\`"
  for size in 5mb 50mb 500mb; do
    line+=" | $(peak_kib "$smi2txt" $mode "$work/$size.smi" -o "$work/out.txt") KiB"
  done
  line+=" | $(peak_kib "$smi2txt" $mode "$work/utf16.smi" -o "$work/out.txt") KiB"
  line+=" | $(peak_kib "$smi2txt" $mode "$work/korean.smi" -o "$work/out.txt") KiB"
  echo "$line |"
done

# Both languages in one cue (--merge-classes) beside SubRip's cues of each language, on a
# bilingual file whose classes stand in SYNC tags of their own, 23 ms apart.
for size in 5 50 500; do
  "$make_sami" --bilingual $((size * mb)) "$work/bi${size}mb.smi"
done
bi_bytes=$(stat -c %s "$work/bi50mb.smi")
: >"$work/bi_srt.ns"
: >"$work/bi_merged.ns"
"$smi2txt" --format srt --merge-classes "$work/bi50mb.smi" >/dev/null
for _ in $(seq "$runs"); do
  wall_ns "$smi2txt" --format srt "$work/bi50mb.smi" >>"$work/bi_srt.ns"
  wall_ns "$smi2txt" --format srt --merge-classes "$work/bi50mb.smi" >>"$work/bi_merged.ns"
done
bi_srt_ns=$(median <"$work/bi_srt.ns")
bi_merged_ns=$(median <"$work/bi_merged.ns")
echo
echo "| a bilingual file (KRCC and ENCC, $((bi_bytes / mb)) MB) | median time | MB/s | × SubRip | peak 5 MB | peak 50 MB | peak 500 MB |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for mode in "--format srt" "--format srt --merge-classes"; do
  ns=$bi_srt_ns
  [[ $mode == *merge* ]] && ns=$bi_merged_ns
  line="| \`smi2txt $mode FILE\` | $(milliseconds "$ns") ms | $(throughput "$ns" "$bi_bytes")"
  line+=" | $(awk -v ns="$ns" -v s="$bi_srt_ns" 'BEGIN { printf "%.2f", s / ns }')"
  for size in 5 50 500; do
    line+=" | $(peak_kib "$smi2txt" $mode "$work/bi${size}mb.smi" -o "$work/out.txt") KiB"
  done
  echo "$line |"
done
rm -f "$work"/bi*mb.smi

# The npm package under Node.js beside smi2txt, when it is built (cmake --preset wasm).
if [[ -f build/wasm/npm/velmora.mjs ]]; then
  echo
  RUNS=$runs bench/run_node_benchmark.sh "$build_dir" build/wasm
fi
