// Converts a subtitle under Node.js a number of times in one process, with the npm package
// velmora or, as its peer, subsrt-ts, bytes in and bytes out: prints the median time of one
// conversion (the module's start-up left out) in nanoseconds, the output's length, and the
// process's peak resident memory in KiB. velmora-pieces converts with convertPieces into a
// writer that keeps nothing, as smi2txt writes to /dev/null.
//
//   node bench/node_convert.mjs velmora build/wasm/npm/velmora.mjs FILE FORMAT RUNS
//   node bench/node_convert.mjs velmora-pieces build/wasm/npm/velmora.mjs FILE FORMAT RUNS
//   node bench/node_convert.mjs subsrt-ts build/bench-node FILE srt RUNS
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const [converter, where, file, format, runs] = process.argv.slice(2);

/* loadConverter
 *     A function from the subtitle's bytes to the output's. */
async function loadConverter() {
  if (converter === 'velmora') {
    const { convert } = await import(pathToFileURL(resolve(where)).href);
    return (bytes) => {
      const result = convert(bytes, { format });
      if (!result.ok) throw new Error(result.error);
      return result.bytes;
    };
  }
  if (converter === 'velmora-pieces') {
    const { convertPieces } = await import(pathToFileURL(resolve(where)).href);
    return (bytes) => {
      let position = 0;
      let length = 0;
      const read = (maxBytes) => bytes.subarray(position, (position += maxBytes));
      const result = convertPieces(read, (piece) => (length += piece.length), { format });
      if (!result.ok) throw new Error(result.error);
      return { length };
    };
  }
  const peer = createRequire(join(resolve(where), 'package.json')).resolve('subsrt-ts');
  const subsrt = (await import(pathToFileURL(peer).href)).default;
  const decoder = new TextDecoder();
  const encoder = new TextEncoder();
  return (bytes) => encoder.encode(subsrt.convert(decoder.decode(bytes), { format, eol: '\n' }));
}

const convert = await loadConverter();
const input = readFileSync(file);
const times = [];
let length = 0;
for (let k = 0; k < Number(runs); k++) {
  const start = process.hrtime.bigint();
  length = convert(input).length;
  times.push(Number(process.hrtime.bigint() - start));
}
times.sort((a, b) => a - b);
console.log(times[Math.floor(times.length / 2)], length, process.resourceUsage().maxRSS);
