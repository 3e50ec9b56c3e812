'use strict';
// The page's worker: reads each chosen File in pieces, converts it with the package, and
// gathers the output as Blobs of a few MiB, so memory follows the output and no string of it
// is ever made; zips several results with fflate. Made from the page's own text.

const READ_PIECE_SIZE = 1 << 20;       // bytes read from a File at a time
const OUTPUT_BLOCK_SIZE = 4 << 20;     // output gathered into a Blob at a time
const PREVIEW_BYTES = 64 << 10;        // output kept for the preview
const PREVIEW_LINES = 30;
const PROGRESS_INTERVAL_MS = 50;

// The extension of each format's file, as smi2txt names them.
const EXTENSIONS = {txt: '.txt', sync: '.txt', srt: '.srt', vtt: '.vtt', tsv: '.tsv', json: '.jsonl'};

// TextDecoder's names of the encodings the package reports, where they differ.
const DECODER_LABELS = {cp949: 'euc-kr'};

// The worker's one record: the modules, and the queue that keeps messages in order.
const worker_state = {
    velmora: null,
    fflate: null,
    queue: Promise.resolve(),
    reader: new FileReaderSync(),
};

/* LoadModules
 *     Imports the package and fflate from the data: URLs the page gave. */
async function LoadModules(message)
{
    try {
        worker_state.velmora = await import(message.package_url);
        worker_state.fflate = await import(message.fflate_url);
    } catch (error) {
        self.postMessage({kind: 'failed', error: String(error && error.message || error)});
        throw error;
    }
}

/* NameOutput
 *     The file a subtitle is written to, as smi2txt names it: its extension replaced by the
 *     format's, the chosen class in lower case before it («movie.encc.srt»). */
function NameOutput(name, options)
{
    const dot = name.lastIndexOf('.');
    let stem = dot > 0 ? name.slice(0, dot) : name;
    // smi2txt lowers ASCII letters only, and a class names no folder.
    const tag = options.className.replace(/[A-Z]/g, (c) => c.toLowerCase()).replace(/[/\\:]/g, '_');
    if (tag)
        stem += '.' + tag;
    return stem + EXTENSIONS[options.format];
}

/* ReadWholeFile
 *     A File's bytes, or null when it cannot be read. */
function ReadWholeFile(file)
{
    try {
        return new Uint8Array(worker_state.reader.readAsArrayBuffer(file));
    } catch (error) {
        return null;
    }
}

/* ListClasses
 *     The classes of every file, each once (by its name in any case) in order of first
 *     appearance, with the first sample that is not empty. The package lists a whole file at
 *     once, so the page does this in a worker of its own that it ends afterwards: the memory
 *     of the whole file is given back, and the converting worker's follows the output. */
function ListClasses(files)
{
    const classes = [];
    for (const file of files) {
        const bytes = ReadWholeFile(file);
        if (bytes === null)
            continue;
        for (const item of worker_state.velmora.listClasses(bytes)) {
            const known = classes.find((c) => c.name.toUpperCase() === item.name.toUpperCase());
            if (!known)
                classes.push({name: item.name, sample: item.sample});
            else if (!known.sample)
                known.sample = item.sample;
        }
    }
    return classes;
}

/* MakeCollector
 *     Gathers pieces of bytes into Blobs of OUTPUT_BLOCK_SIZE, copying each piece once. */
function MakeCollector()
{
    return {block: new Uint8Array(OUTPUT_BLOCK_SIZE), used: 0, blobs: [], size: 0};
}

/* CollectPiece
 *     Copies a piece into the collector; the piece's memory may be reused afterwards. */
function CollectPiece(collector, piece)
{
    let at = 0;
    while (at < piece.length) {
        const count = Math.min(piece.length - at, collector.block.length - collector.used);
        collector.block.set(piece.subarray(at, at + count), collector.used);
        collector.used += count;
        at += count;
        if (collector.used === collector.block.length)
            FlushCollector(collector);
    }
    collector.size += piece.length;
}

/* FlushCollector
 *     Turns what the block holds into a Blob (which copies it), so the block can be refilled. */
function FlushCollector(collector)
{
    if (collector.used === 0)
        return;
    collector.blobs.push(new Blob([collector.block.subarray(0, collector.used)]));
    collector.used = 0;
}

/* FinishCollector
 *     The whole output as one Blob. */
function FinishCollector(collector)
{
    FlushCollector(collector);
    collector.block = null;
    return new Blob(collector.blobs, {type: 'application/octet-stream'});
}

/* MakePreview
 *     The first lines of the output as text, decoded in the encoding it was written in; a line
 *     cut by the end of the bytes kept is left out. */
function MakePreview(head, head_size, output_size, encoding)
{
    const bytes = new Uint8Array(head_size);
    let at = 0;
    for (const piece of head) {
        bytes.set(piece, at);
        at += piece.length;
    }
    let decoder;
    try {
        decoder = new TextDecoder(DECODER_LABELS[encoding] || encoding);
    } catch (error) {
        decoder = new TextDecoder('utf-8');
    }
    const lines = decoder.decode(bytes).split('\n');
    if (output_size > head_size)
        lines.pop();
    else if (lines[lines.length - 1] === '')
        lines.pop();
    return lines.slice(0, PREVIEW_LINES).join('\n');
}

/* OutputEncoding
 *     What the output is written in: the subtitle's own encoding for Save and Sync Save
 *     without UTF-8, UTF-8 otherwise. */
function OutputEncoding(options, input_encoding)
{
    const keeps = !options.utf8 && (options.format === 'txt' || options.format === 'sync');
    return keeps ? input_encoding : 'utf-8';
}

/* ConvertFile
 *     Converts one File read in pieces; the output of a first reading that had to start again
 *     is thrown away with it, as smi2txt throws away its temporary file. */
function ConvertFile(message, file, done_before)
{
    const conversion = {
        position: 0,
        buffer: null,
        buffer_at: 0,
        collector: MakeCollector(),
        head: [],
        head_size: 0,
        last_report: 0,
        unreadable: false,
    };
    const read = (max_bytes) => {
        if (conversion.buffer === null || conversion.buffer_at >= conversion.buffer.length) {
            if (conversion.position >= file.size || conversion.unreadable)
                return null;
            const end = conversion.position + READ_PIECE_SIZE;
            try {
                conversion.buffer = new Uint8Array(
                    worker_state.reader.readAsArrayBuffer(file.slice(conversion.position, end)));
            } catch (error) {
                conversion.unreadable = true;
                return null;
            }
            conversion.position += conversion.buffer.length;
            conversion.buffer_at = 0;
            ReportProgress(message, conversion, done_before);
        }
        const piece = conversion.buffer.subarray(conversion.buffer_at, conversion.buffer_at + max_bytes);
        conversion.buffer_at += piece.length;
        return piece;
    };
    const write = (piece) => {
        if (conversion.head_size < PREVIEW_BYTES) {
            const kept = piece.slice(0, PREVIEW_BYTES - conversion.head_size);
            conversion.head.push(kept);
            conversion.head_size += kept.length;
        }
        CollectPiece(conversion.collector, piece);
    };
    const restart = () => {
        conversion.position = 0;
        conversion.buffer = null;
        conversion.buffer_at = 0;
        conversion.collector = MakeCollector();
        conversion.head = [];
        conversion.head_size = 0;
    };
    const outcome = worker_state.velmora.convertPieces(read, write, message.options, restart);
    const result = {name: file.name, output_name: NameOutput(file.name, message.options)};
    if (conversion.unreadable)
        return {result: {...result, ok: false, error: 'cannot read the file'}, preview: ''};
    if (!outcome.ok)
        return {result: {...result, ok: false, error: outcome.error}, preview: ''};
    const output_size = conversion.collector.size;
    const preview = MakePreview(conversion.head, conversion.head_size, output_size,
                                OutputEncoding(message.options, outcome.encoding));
    return {
        result: {
            ...result,
            ok: true,
            encoding: outcome.encoding,
            invalidBytes: outcome.invalidBytes,
            cues: outcome.cues,
            blob: FinishCollector(conversion.collector),
        },
        preview,
    };
}

/* ReportProgress
 *     Tells the page how far the reading has come, at most every PROGRESS_INTERVAL_MS. */
function ReportProgress(message, conversion, done_before)
{
    const now = performance.now();
    if (now - conversion.last_report < PROGRESS_INTERVAL_MS)
        return;
    conversion.last_report = now;
    self.postMessage({kind: 'progress', job: message.job, done_bytes: done_before + conversion.position});
}

/* ConvertFiles
 *     Converts each file and sends its result. */
function ConvertFiles(message)
{
    let done_before = 0;
    message.files.forEach((file, index) => {
        const converted = ConvertFile(message, file, done_before);
        done_before += file.size;
        self.postMessage({kind: 'progress', job: message.job, done_bytes: done_before});
        self.postMessage({kind: 'result', job: message.job, index, ...converted});
    });
    self.postMessage({kind: 'finished', job: message.job});
}

/* ZipResults
 *     One zip of several results, each entry streamed from its Blob into the archive. */
function ZipResults(message)
{
    const fflate = worker_state.fflate;
    const collector = MakeCollector();
    let failure = null;
    const zip = new fflate.Zip((error, data) => {
        if (error)
            failure = error;
        else
            CollectPiece(collector, data);
    });
    const names = UniqueNames(message.entries.map((entry) => entry.name));
    message.entries.forEach((entry, index) => {
        const file = new fflate.ZipDeflate(names[index], {level: 6});
        zip.add(file);
        const size = entry.blob.size;
        if (size === 0)
            file.push(new Uint8Array(0), true);
        for (let at = 0; at < size; at += READ_PIECE_SIZE) {
            const piece = worker_state.reader.readAsArrayBuffer(entry.blob.slice(at, at + READ_PIECE_SIZE));
            file.push(new Uint8Array(piece), at + READ_PIECE_SIZE >= size);
        }
    });
    zip.end();
    if (failure)
        self.postMessage({kind: 'failed', error: String(failure.message || failure)});
    else
        self.postMessage({kind: 'zipped', job: message.job, blob: FinishCollector(collector)});
}

/* UniqueNames
 *     Names for the zip's entries: two subtitles of one name (from two folders) get
 *     «name (2).srt» for the second. */
function UniqueNames(names)
{
    const taken = new Set();
    return names.map((original) => {
        let unique = original;
        const dot = original.lastIndexOf('.');
        for (let count = 2; taken.has(unique.toLowerCase()); count++)
            unique = original.slice(0, dot) + ` (${count})` + original.slice(dot);
        taken.add(unique.toLowerCase());
        return unique;
    });
}

self.onmessage = (event) => {
    const message = event.data;
    if (message.kind === 'start') {
        worker_state.queue = LoadModules(message);
        return;
    }
    // A fault here must reach the page as a message, not leave it waiting.
    worker_state.queue = worker_state.queue.then(() => {
        try {
            if (message.kind === 'convert')
                ConvertFiles(message);
            else if (message.kind === 'classes')
                self.postMessage({kind: 'classes', job: message.job, classes: ListClasses(message.files)});
            else if (message.kind === 'zip')
                ZipResults(message);
        } catch (error) {
            self.postMessage({kind: 'failed', error: String(error && error.message || error)});
        }
    });
};
