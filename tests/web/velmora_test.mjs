// The npm package against smi2txt, whose bytes it must give: every real file in every format,
// with and without UTF-8 and with each class of the bilingual ones; encodings; the class lists;
// the errors; the input in pieces cut anywhere; starts that go back late; callbacks that throw;
// and memory that stays flat over many conversions.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';

const { SMI2TXT, VELMORA_PACKAGE, VELMORA_CORPUS_DIR } = process.env;

// The module's memory, seen as it is made: the package itself shows none.
let memory = null;
const instantiate = WebAssembly.instantiate;
WebAssembly.instantiate = async (...args) => {
  const made = await instantiate(...args);
  memory = Object.values(made.instance.exports).find((value) => value instanceof WebAssembly.Memory);
  return made;
};
const velmora = await import(VELMORA_PACKAGE);
WebAssembly.instantiate = instantiate;

const work = mkdtempSync(join(tmpdir(), 'velmora-test-'));
process.on('exit', () => rmSync(work, { recursive: true, force: true }));

const FORMATS = ['txt', 'sync', 'srt', 'vtt', 'tsv', 'json'];
const TIMED = new Set(['srt', 'vtt', 'tsv', 'json']);
const HAS_NO_STYLES = runSmi2txt(['--help']).stdout.includes('--no-styles');
const REAL_FILES = readdirSync(VELMORA_CORPUS_DIR)
  .filter((name) => /\.(smi|sami)$/.test(name))
  .map((name) => ({ name, path: join(VELMORA_CORPUS_DIR, name) }));

function runSmi2txt(args) {
  const run = spawnSync(SMI2TXT, args, { env: { LC_ALL: 'C' }, timeout: 60000 });
  return { status: run.status, stdout: run.stdout.toString(), stderr: run.stderr.toString() };
}

/* smi2txt
 *     What smi2txt writes into a file for input (bytes, or the path of a file) with the
 *     package's options: its bytes and what it reported, or the reason it failed. */
function smi2txt(input, { format = 'txt', className = '', utf8 = false, from = '', styles = true, mergeClasses = false } = {}) {
  const path = typeof input === 'string' ? input : join(work, 'in.smi');
  if (typeof input !== 'string') writeFileSync(path, input);
  const output = join(work, 'out');
  rmSync(output, { force: true });
  const args = [`--format=${format}`];
  if (className) args.push(`--class=${className}`);
  if (mergeClasses) args.push('--merge-classes');
  if (from) args.push(`--from=${from}`);
  else if (!TIMED.has(format) && !mergeClasses) args.push(utf8 ? '-u' : '--keep-encoding');
  if (!styles) args.push('--no-styles');
  const run = runSmi2txt([...args, path, '-o', output]);
  // A usage error is «smi2txt: reason», a file's «smi2txt: NAME: reason».
  if (run.status === 2) return { ok: false, error: run.stderr.split('\n')[0].replace(/^smi2txt: /, '') };
  if (run.status !== 0) return { ok: false, error: run.stderr.trim().slice(`smi2txt: ${path}: `.length) };
  const invalid = run.stderr.match(/: (\d+) bytes? (?:is|are) not valid (\S+);/);
  return {
    ok: true,
    bytes: readFileSync(output),
    invalidBytes: invalid ? Number(invalid[1]) : 0,
    encoding: invalid?.[2].toLowerCase(),
  };
}

/* cuesOf
 *     The cues smi2txt's output holds, counted its own way: the stamped lines of sync, the
 *     lines with times of srt and vtt, the rows of tsv and json. */
function cuesOf(format, bytes) {
  const utf16 = { 0xfffe: 'utf-16le', 0xfeff: 'utf-16be' }[bytes.length >= 2 ? bytes.readUInt16BE(0) : 0];
  const lines = new TextDecoder(utf16 ?? 'latin1').decode(bytes).split('\n').slice(0, -1);
  switch (format) {
    case 'txt': return 0;
    case 'srt': case 'vtt': return lines.filter((line) => line.includes(' --> ')).length;
    case 'tsv': return Math.max(lines.length - 1, 0);
    default: return lines.length;
  }
}

/* assertSame
 *     convert gives what smi2txt gives for input with options. */
function assertSame(what, input, options, path) {
  const expected = smi2txt(path ?? input, options);
  const result = velmora.convert(input, options);
  if (!expected.ok) {
    assert.deepEqual(result, expected, what);
    return result;
  }
  assert.equal(result.ok, true, `${what}: ${result.error}`);
  assert.ok(Buffer.from(result.bytes).equals(expected.bytes), `${what}: the bytes differ`);
  assert.equal(result.invalidBytes, expected.invalidBytes, `${what}: invalid bytes`);
  // smi2txt names UTF-16 without its byte order.
  if (expected.encoding) assert.equal(result.encoding.replace(/^utf-16[lb]e$/, 'utf-16'), expected.encoding, `${what}: encoding`);
  assert.equal(result.cues, cuesOf(options.format ?? 'txt', expected.bytes), `${what}: cues`);
  return result;
}

/* everyOptions
 *     Each format with and without UTF-8 (which the timed formats are always), srt and vtt
 *     without styles too. */
function* everyOptions(className = '') {
  for (const format of FORMATS) {
    for (const utf8 of [false, true]) yield { format, className, utf8 };
    if ((format === 'srt' || format === 'vtt') && HAS_NO_STYLES) yield { format, className, styles: false };
  }
}

/* piecesOf
 *     A read that gives input in pieces of the sizes size() says, and a restart for it. */
function piecesOf(input, size) {
  let position = 0;
  return {
    read: (maxBytes) => {
      const count = Math.min(size(), maxBytes, input.length - position);
      position += count;
      return input.subarray(position - count, position);
    },
    restart: () => { position = 0; },
  };
}

/* convertInPieces
 *     convertPieces over input cut by size, its output put together: the result with bytes. */
function convertInPieces(input, options, size, withRestart = true) {
  const pieces = piecesOf(input, size);
  let output = [];
  const result = velmora.convertPieces(pieces.read, (piece) => output.push(Buffer.from(piece)), options,
    withRestart ? () => { pieces.restart(); output = []; } : undefined);
  return result.ok ? { ...result, bytes: Buffer.concat(output) } : result;
}

// The same numbers every run: a small generator of pseudo-random piece sizes.
function randomSizes(seed) {
  return () => {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return 1 + (seed % 5000);
  };
}

// A subtitle whose starts go back after its first MiB of cues, past what is held in order.
function startsGoingBackLate() {
  let text = '<SAMI><BODY>\n';
  for (let k = 0; k < 25000; k++) text += `<SYNC Start=${1000 + 100 * k}><P Class=ENCC>Line ${k}, in order so far.\n`;
  return Buffer.from(text + '<SYNC Start=500><P Class=ENCC>Back near the start.\n');
}

test('every real file in every format gives smi2txt\'s bytes', { timeout: 240000 }, () => {
  assert.ok(REAL_FILES.length >= 20);
  for (const { name, path } of REAL_FILES) {
    const input = readFileSync(path);
    const classes = velmora.listClasses(input).map((paragraphClass) => paragraphClass.name);
    for (const className of ['', ...(classes.length > 1 ? classes : [])])
      for (const options of everyOptions(className)) assertSame(`${name} ${JSON.stringify(options)}`, input, options, path);
  }
});

// A class's sample: the line smi2txt --sync --class writes first, without its stamp, cut at
// a blank to 30 characters at most (a longer first word at 30).
function sampleOf(line) {
  const characters = Array.from(line);
  if (characters.length <= 30 || characters[30] === ' ') return characters.slice(0, 30).join('');
  const blank = characters.slice(0, 30).lastIndexOf(' ');
  return characters.slice(0, blank > 0 ? blank : 30).join('');
}

// The script a letter is of, Han and kana as one; null for a character that is no letter.
const SCRIPTS = ['Latin', 'Greek', 'Cyrillic', 'Armenian', 'Hebrew', 'Arabic', 'Thai', 'Hangul', 'Han|Hiragana|Katakana'];
const SCRIPT_PATTERNS = SCRIPTS.map((names) =>
  new RegExp(names.split('|').map((script) => `\\p{Script=${script}}`).join('|'), 'u'));
function scriptOf(character) {
  if (!/\p{L}/u.test(character)) return null;
  const index = SCRIPT_PATTERNS.findIndex((pattern) => pattern.test(character));
  return index < 0 ? null : index;
}

// A class's sample line: its first with a letter of the script of more than half of its
// letters, else its first.
function ownScriptLine(texts) {
  const counts = new Map();
  let letters = 0;
  for (const text of texts) {
    for (const character of text) {
      const script = scriptOf(character);
      if (script === null) continue;
      counts.set(script, (counts.get(script) || 0) + 1);
      letters++;
    }
  }
  const own = [...counts].find(([, count]) => 2 * count > letters);
  if (own === undefined) return texts[0] || '';
  return texts.find((text) => Array.from(text).some((character) => scriptOf(character) === own[0]));
}

test('listClasses gives the lines of --classes and the first words of each class', { timeout: 60000 }, () => {
  for (const { name, path } of REAL_FILES) {
    const classes = velmora.listClasses(readFileSync(path));
    const lines = classes.map((paragraphClass) => `${paragraphClass.name}\t${paragraphClass.count}\n`);
    assert.equal(lines.join(''), runSmi2txt(['--classes', path]).stdout, name);
    for (const paragraphClass of classes) {
      const run = runSmi2txt(['--sync', '-u', `--class=${paragraphClass.name}`, path]);
      const texts = run.status === 0
        ? run.stdout.split('\n').filter(Boolean).map((line) => line.replace(/^\d+ :\d\d :\d\d  /, ''))
        : [];
      assert.equal(paragraphClass.sample, sampleOf(ownScriptLine(texts)), `${name} ${paragraphClass.name}`);
    }
  }
});

test('encodings decode as smi2txt decodes them', { timeout: 60000 }, () => {
  const CASES = [
    ['CP949 with a UHC syllable', 'cp949', 'a\xB0\xA1\x9F\xE5 b'],
    ['EUC-KR is CP949', 'euc-kr', 'a\xB0\xA1\x9F\xE5 b'],
    ['a trail byte that is ASCII', 'cp949', '\x81\x41<b>\x81\x41</b>'],
    ['an invalid pair is one replacement', 'cp949', 'x\xC9\xA1y\xC8\xFFz'],
    ['a lead before ASCII', 'cp949', 'x\xB0<i>y</i>\x80'],
    ['a lead the end cuts', 'cp949', 'x\xB0'],
    ['CP949 rows past the last syllable', 'cp949', '\xC7\x41 \xC8\x52 \xDD\x41 \xC6\x52'],
    ['Windows-1252 unassigned bytes', 'windows-1252', '\x80\x81\x9D\xE9'],
    ['Latin-1 entities are Unicode', 'latin1', 'caf\xE9 &eacute;'],
    ['UTF-8 maximal subparts', 'utf-8', 'a\xE0\x80b\xF0\x9F\x98c\xC0\xAF\xED\xA0\x80'],
    ['a UTF-8 mark', 'cp949', '\xEF\xBB\xBFx\xEA\xB0\x80'],
    ['UTF-16 without a mark', 'utf-16', 'a\0b\0c'],
    ['Shift_JIS keeps ASCII', 'shift_jis', '<SYNC Start=1000>\x93\xFA\x96\x7B a\\b~c\n'],
    ['IBM866, musl\'s CP866', 'ibm866', '<SYNC Start=1000>\x8F\xE0\xA8\xA2\xA5\xE2 \xF0\xFF\n'],
    // 0xFF, ¤ to glibc, is € to TextDecoder.
    ['Mac Cyrillic, read through TextDecoder', 'mac-cyrillic', '<SYNC Start=1000>\x8F\xF0\xE8\xE2\xE5\xF2 \xDD\n'],
  ];
  for (const [what, from, text] of CASES)
    for (const format of ['txt', 'sync']) assertSame(what, Buffer.from(text, 'latin1'), { format, from });
  // The guess: a Cyrillic subtitle in IBM866, and one in Windows-1251.
  const russian = '<SYNC Start=1000><P Class=RUCC>Привет, как дела? Это русский текст, и его довольно много.\n'.repeat(40);
  for (const [encoding, label] of [['ibm866', 'ibm866'], ['windows-1251', 'windows-1251']]) {
    const bytes = Buffer.from(encodeWith(russian, label));
    const result = assertSame(`guessed ${encoding}`, bytes, { format: 'sync', utf8: true });
    assert.equal(result.encoding, encoding);
  }
});

// The bytes of text in a single-byte encoding, from TextDecoder's table of it.
function encodeWith(text, label) {
  const decoder = new TextDecoder(label);
  const table = new Map();
  for (let byte = 0; byte < 256; byte++) table.set(decoder.decode(Uint8Array.of(byte)), byte);
  return Array.from(text, (character) => table.get(character));
}

test('errors are smi2txt\'s', { timeout: 60000 }, () => {
  const bilingual = join(VELMORA_CORPUS_DIR, 'bi_krcc_encc_two_p_per_sync_quoted_tiny.smi');
  const ERRORS = [
    ['no SYNC tag', 'Only a line of text.\n', { format: 'sync' }],
    ['no SYNC tag in a timed format', 'Only a line of text.\n', { format: 'json' }],
    ['an unknown class', readFileSync(bilingual), { format: 'srt', className: 'JPCC' }],
    ['a listed class missing', readFileSync(bilingual), { format: 'srt', className: 'ENCC,JPCC' }],
    ['merged text, which has no times', readFileSync(bilingual), { format: 'txt', mergeClasses: true }],
    ['a cue too long', `<SYNC Start=0><P Class=ENCC>${'word '.repeat(14000)}\n`, { format: 'vtt' }],
    ['an unknown format', '<SYNC Start=0>x\n', { format: 'ass' }],
    ['an unknown encoding', '<SYNC Start=0>x\n', { from: 'klingon' }],
    ['an encoding whose ASCII is not ASCII', '<SYNC Start=0>x\n', { from: 'utf-32' }],
    ['random bytes', Buffer.from(Array.from({ length: 70000 }, (_, k) => (k * 7919 + (k >> 3)) % 256)), { format: 'srt' }],
  ];
  for (const [what, input, options] of ERRORS) {
    const result = assertSame(what, Buffer.from(input), options);
    if (what !== 'random bytes') assert.equal(result.ok, false, what);
  }
});

test('merged classes give smi2txt\'s bytes, whole and in pieces', { timeout: 120000 }, () => {
  for (const { name, path } of REAL_FILES.filter(({ name }) => name.startsWith('bi_'))) {
    const input = readFileSync(path);
    for (const format of FORMATS.filter((format) => format !== 'txt'))
      for (const className of ['', 'ENCC,KRCC']) {
        const options = { format, className, mergeClasses: true };
        const whole = assertSame(`${name} ${JSON.stringify(options)}`, input, options, path);
        assert.deepEqual(convertInPieces(input, options, randomSizes(7)).bytes, Buffer.from(whole.bytes), name);
      }
  }
  // Merged TSV reads the subtitle twice: pieces without a restart cannot.
  const bilingual = readFileSync(REAL_FILES.find(({ name }) => name.startsWith('bi_')).path);
  assert.equal(convertInPieces(bilingual, { format: 'tsv', mergeClasses: true }, () => 100, false).ok, false);
});

test('pieces cut anywhere give the same bytes', { timeout: 240000 }, () => {
  const SIZES = [['1 byte', () => 1], ['7 bytes', () => 7], ['random sizes', randomSizes(29)]];
  REAL_FILES.forEach(({ name, path }, k) => {
    const input = readFileSync(path);
    const options = { format: FORMATS[k % FORMATS.length], utf8: k % 2 === 0 };
    const whole = velmora.convert(input, options);
    for (const [what, size] of SIZES) {
      if (what === '1 byte' && input.length > 100000) continue;
      const result = convertInPieces(input, options, size);
      assert.deepEqual({ ...result, bytes: Buffer.from(result.bytes ?? []) }, { ...whole, bytes: Buffer.from(whole.bytes ?? []) }, `${name} in pieces of ${what}`);
    }
  });
});

test('starts that go back late are read again holding every cue', { timeout: 60000 }, () => {
  const input = startsGoingBackLate();
  const whole = assertSame('convert', input, { format: 'srt' });
  assert.equal(whole.ok, true);
  const restarted = convertInPieces(input, { format: 'srt' }, randomSizes(3));
  assert.ok(restarted.ok && restarted.bytes.equals(Buffer.from(whole.bytes)));
  const unrestarted = convertInPieces(input, { format: 'srt' }, randomSizes(3), false);
  assert.equal(unrestarted.ok, false);
  assert.match(unrestarted.error, /^a start goes back behind subtitles already written/);
});

test('what the callbacks throw is thrown again, and the module goes on', { timeout: 60000 }, () => {
  const input = readFileSync(join(VELMORA_CORPUS_DIR, 'en_nova_einstein_full_program_quoted_lowercase.sami'));
  const expected = velmora.convert(input, { format: 'vtt' });
  const failure = new Error('the disk went away');
  const THROWING = [
    ['read', () => { throw failure; }, () => {}, undefined],
    ['write', piecesOf(input, () => 4096).read, () => { throw failure; }, undefined],
    ['restart', piecesOf(startsGoingBackLate(), () => 65536).read, () => {}, () => { throw failure; }],
  ];
  for (const [what, read, write, restart] of THROWING) {
    assert.throws(() => velmora.convertPieces(read, write, { format: 'srt' }, restart), failure, what);
    assert.deepEqual(velmora.convert(input, { format: 'vtt' }), expected, `after ${what} threw`);
  }
  // A conversion asked for from inside a callback is refused, and the outer one goes on.
  const nested = velmora.convertPieces(piecesOf(input, () => 65536).read, () => {
    assert.throws(() => velmora.convert(input), /a conversion is running/);
  }, { format: 'vtt' });
  assert.equal(nested.ok, true);
});

test('memory stays flat over many conversions', { timeout: 120000 }, () => {
  const input = readFileSync(join(VELMORA_CORPUS_DIR, 'bi_krcc_encc_transformers2009_full_film_sequential_blocks.smi'));
  const convertEach = () => {
    for (const options of everyOptions()) velmora.convert(input, options);
    velmora.listClasses(input);
    velmora.convert(Buffer.from('no subtitle'), { format: 'sync' });
  };
  convertEach();
  const size = memory.buffer.byteLength;
  for (let k = 0; k < 30; k++) convertEach();
  assert.equal(memory.buffer.byteLength, size);
  // A large subtitle streams through: memory does not grow with it.
  const large = Buffer.from('<SYNC Start=1000><P Class=ENCC>Hello &amp; goodbye<br>again\n'.repeat(1500000));
  for (const format of ['txt', 'sync']) assert.equal(velmora.convert(large, { format }).ok, true);
  assert.ok(memory.buffer.byteLength <= Math.max(size, 32 * 1024 * 1024), `${memory.buffer.byteLength} bytes`);
  // One whose starts go back at once is held, up to the limit smi2txt has; past it, the error.
  const heldText = '<SYNC Start=5000><P Class=ENCC>Ahead\n<SYNC Start=1000><P Class=ENCC>Back\n' +
    '<SYNC Start=2000><P Class=ENCC>A line of a subtitle held to be put in order, and more of it\n'.repeat(1200000);
  assertSame('more held than the limit', Buffer.from(heldText), { format: 'srt' });
  assert.ok(memory.buffer.byteLength <= 512 * 1024 * 1024, `${memory.buffer.byteLength} bytes`);
  assert.deepEqual(velmora.convert(input, { format: 'vtt' }).ok, true);
});
