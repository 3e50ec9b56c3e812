// velmora: the text and timed cues of SAMI subtitles (.smi), as smi2txt writes them on Linux.
// Every function is synchronous: the module is ready once the import is.

/** What to write, as smi2txt's --format: the text (Save), one stamped line per subtitle (Sync
 *  Save), SubRip, WebVTT, a table or JSON Lines. */
export type Format = 'txt' | 'sync' | 'srt' | 'vtt' | 'tsv' | 'json';

export interface ConvertOptions {
  /** As --format; 'txt' when not given. */
  format?: Format;
  /** As --class: only the text of the paragraphs of this class (in any case); '' for all.
   *  Classes separated by commas ('ENCC,KRCC') keep each of them, in that order when merged. */
  className?: string;
  /** As --merge-classes: one cue per moment holding every class on screen then (both
   *  languages at once), in UTF-8. Not with 'txt', which has no times: that gives
   *  { ok: false } with smi2txt's usage message. Merged 'tsv' reads the subtitle twice, for
   *  the classes of its header: convertPieces needs a restart for it. */
  mergeClasses?: boolean;
  /** As -u: txt and sync in UTF-8. False (the default) keeps the subtitle's bytes, as
   *  --keep-encoding; srt, vtt, tsv and json are UTF-8 always. */
  utf8?: boolean;
  /** As --from: the subtitle's encoding ('cp949', 'shift_jis', ...); the output is then UTF-8. */
  from?: string;
  /** True (the default) keeps italic, bold, underline and colour in srt and vtt; false is
   *  --no-styles. */
  styles?: boolean;
}

/** What a conversion found: the input's encoding as found or given, in lower case ('utf-8',
 *  'utf-16le', 'utf-16be', 'cp949', 'windows-1252', 'shift_jis', ...); the bytes written as
 *  U+FFFD; the cues of srt and vtt, the rows of tsv (without its header) and json, the stamped
 *  lines of sync, 0 for txt. */
export interface Converted {
  ok: true;
  encoding: string;
  invalidBytes: number;
  cues: number;
}

/** Why nothing was converted, in smi2txt's words: "no SYNC tag: not a SAMI subtitle",
 *  "no paragraph of class JPCC (classes: ENCC, KRCC)", "a subtitle holds more than 64 KiB of
 *  text", "unknown encoding: NAME", "unknown format (txt, sync, srt, vtt, tsv or json): NAME". */
export interface Failed {
  ok: false;
  error: string;
}

/** The output, smi2txt's bytes (LF line ends), with what was found. bytes may be a view of a
 *  longer buffer: use bytes, not bytes.buffer. */
export type ConvertResult = (Converted & { bytes: Uint8Array }) | Failed;

/** Converts a subtitle held whole; one whose starts go back late is read again holding every
 *  cue, as smi2txt -o FILE does. */
export function convert(bytes: Uint8Array, options?: ConvertOptions): ConvertResult;

/** Converts a subtitle read in pieces. read(maxBytes) gives the next piece (at most maxBytes),
 *  or null, undefined or an empty array at the end. write(piece) takes each piece of output as
 *  soon as it is ready; its memory is reused after write returns: copy it. restart(), when
 *  given, makes read start again from the first byte, for a subtitle whose starts go back late:
 *  what write was given before it is void, and the whole output comes again. When the result
 *  is not ok, what write was given is void too. What read, write or restart throws ends the
 *  conversion and is thrown again by convertPieces; the module stays ready. */
export function convertPieces(
  read: (maxBytes: number) => Uint8Array | null | undefined,
  write: (piece: Uint8Array) => void,
  options?: ConvertOptions,
  restart?: () => void,
): Converted | Failed;

/** One class of a subtitle's paragraphs (<P Class=NAME>): its name as first written, the
 *  number of P tags of it (smi2txt --classes), and the first words (at most 30 characters) of
 *  the first subtitle in which it has a letter of its own script (that of more than half of
 *  its letters), or has text when none has that many; '' when it has none. */
export interface ParagraphClass {
  name: string;
  count: number;
  sample: string;
}

/** The classes of a subtitle's paragraphs, in order of first appearance. */
export function listClasses(bytes: Uint8Array): ParagraphClass[];

/** The version of Velmora this package is, "1.1". */
export const version: string;
