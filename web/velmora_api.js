// The package's interface (velmora.d.ts), over the functions of velmora_exports.cpp: the module
// is made once, here, so every function is synchronous; one call runs at a time. What the
// caller's read, write or restart throws ends the conversion and is thrown again once the module
// is ready for the next call.

const velmora = await VelmoraModule();

// What one read asks the caller's read for at least: the filter asks for a byte or two first.
const PIECE_SIZE = 64 * 1024;

// Whether a call is being made: the module holds one at a time.
let running = false;

/* toBytes
 *     The bytes of value, an ArrayBuffer or a view of one, as a Uint8Array without a copy. */
function toBytes(value, what) {
  if (value instanceof Uint8Array) return value;
  if (ArrayBuffer.isView(value)) return new Uint8Array(value.buffer, value.byteOffset, value.byteLength);
  if (value instanceof ArrayBuffer) return new Uint8Array(value);
  throw new TypeError(`velmora: ${what} must be a Uint8Array`);
}

/* withStrings
 *     Runs run with the strings put in the module's memory, as pointers, and frees them. */
function withStrings(strings, run) {
  const pointers = strings.map((text) => {
    const size = velmora.lengthBytesUTF8(text) + 1;
    const pointer = velmora._malloc(size);
    if (pointer !== 0) velmora.stringToUTF8(text, pointer, size);
    return pointer;
  });
  try {
    if (pointers.includes(0)) throw new RangeError('velmora: no memory for the options');
    return run(...pointers);
  } finally {
    pointers.forEach((pointer) => velmora._free(pointer));
  }
}

/* runCall
 *     Makes call the module's for the length of run, and throws again what the caller's
 *     functions threw. */
function runCall(call, run) {
  if (running) throw new Error('velmora: a conversion is running; call it from outside read and write');
  running = true;
  velmora.velmoraCall = call;
  let result;
  try {
    result = run();
  } finally {
    velmora.velmoraCall = null;
    running = false;
  }
  if (call.thrown) throw call.thrown.error;
  return result;
}

/* pieceCall
 *     The call's side of the caller's read, write and restart: pieces read are handed on in
 *     the sizes the filter asks for, what is left of one kept for the next read. */
function pieceCall(read, write, restart) {
  const call = {
    thrown: null,
    pending: new Uint8Array(0),
    catching(run) {
      try {
        return run();
      } catch (error) {
        call.thrown = call.thrown ?? { error };
        return -1;
      }
    },
    read(buffer, size) {
      return call.catching(() => {
        while (call.pending.length === 0) {
          const piece = read(Math.max(size, PIECE_SIZE));
          if (piece === null || piece === undefined) return 0;
          call.pending = toBytes(piece, 'what read returns');
          if (call.pending.length === 0) return 0;
        }
        const count = Math.min(size, call.pending.length);
        velmora.HEAPU8.set(call.pending.subarray(0, count), buffer);
        call.pending = call.pending.subarray(count);
        return count;
      });
    },
    write(bytes, size) {
      return call.catching(() => {
        write(velmora.HEAPU8.subarray(bytes, bytes + size));
        return 0;
      });
    },
    restartInput() {
      if (typeof restart !== 'function') return -1;
      return call.catching(() => {
        call.pending = new Uint8Array(0);
        restart();
        return 0;
      });
    },
    restartOutput() {
      return typeof restart === 'function' ? 0 : -1; // restart() tells the caller too
    },
  };
  return call;
}

/* bytesCall
 *     The call's side of a subtitle held whole, its output gathered into one array. The array
 *     is made as long as the input, and longer when the output needs it: its pages that no
 *     output reaches are never touched, and so take no memory. */
function bytesCall(input) {
  const call = {
    thrown: null,
    position: 0,
    output: null,
    length: 0,
    read(buffer, size) {
      const count = Math.min(size, input.length - call.position);
      velmora.HEAPU8.set(input.subarray(call.position, call.position + count), buffer);
      call.position += count;
      return count;
    },
    write(bytes, size) {
      if (call.output === null || call.length + size > call.output.length) {
        const capacity = Math.max(2 * (call.output?.length ?? 0), input.length + PIECE_SIZE);
        const grown = new Uint8Array(Math.max(capacity, call.length + size));
        if (call.output !== null) grown.set(call.output.subarray(0, call.length));
        call.output = grown;
      }
      call.output.set(velmora.HEAPU8.subarray(bytes, bytes + size), call.length);
      call.length += size;
      return 0;
    },
    restartInput() {
      call.position = 0;
      return 0;
    },
    restartOutput() {
      call.length = 0;
      return 0;
    },
    bytes() {
      return call.output === null ? new Uint8Array(0) : call.output.subarray(0, call.length);
    },
  };
  return call;
}

/* runConversion
 *     Converts through call with the options, as smi2txt does; the result without bytes. */
function runConversion(call, options) {
  const chosen = options ?? {};
  const strings = [chosen.format ?? 'txt', chosen.className ?? '', chosen.from ?? ''].map(String);
  return runCall(call, () => {
    const converted = withStrings(strings, (format, className, from) =>
      velmora._velmora_convert(format, className, chosen.utf8 ? 1 : 0, from, chosen.styles === false ? 0 : 1,
        chosen.mergeClasses ? 1 : 0));
    if (!converted) return { ok: false, error: velmora.UTF8ToString(velmora._velmora_error()) };
    return {
      ok: true,
      encoding: velmora.UTF8ToString(velmora._velmora_encoding()),
      invalidBytes: velmora._velmora_invalid_bytes(),
      cues: velmora._velmora_cues(),
    };
  });
}

export function convert(bytes, options) {
  const call = bytesCall(toBytes(bytes, 'the subtitle'));
  const result = runConversion(call, options);
  return result.ok ? { ok: true, bytes: call.bytes(), ...result } : result;
}

export function convertPieces(read, write, options, restart) {
  if (typeof read !== 'function' || typeof write !== 'function')
    throw new TypeError('velmora: read and write must be functions');
  return runConversion(pieceCall(read, write, restart), options);
}

export function listClasses(bytes) {
  const call = bytesCall(toBytes(bytes, 'the subtitle'));
  return runCall(call, () => {
    const count = velmora._velmora_list_classes();
    const classes = [];
    for (let k = 0; k < count; k++)
      classes.push({
        name: velmora.UTF8ToString(velmora._velmora_class_name(k)),
        count: velmora._velmora_class_count(k),
        sample: velmora.UTF8ToString(velmora._velmora_class_sample(k)),
      });
    return classes;
  });
}

export const version = velmora.UTF8ToString(velmora._velmora_version());
