// The functions the package's JavaScript (velmora_api.js) calls: one conversion, or one listing
// of classes, of a subtitle read through JavaScript callbacks, by the conversion routine smi2txt
// calls, and what it found. Each call is synchronous and alone: the module holds one.
#include "byte_io.h"
#include "conversion.h"
#include "convert_file.h"
#include "cue_path.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>
#include <wasm_simd128.h>

// The filter's scans are its SSE2 ones, which -msimd128 -msse2 make WebAssembly SIMD.
#if !defined(VELMORA_SSE2_SCANS)
#error "the WebAssembly build must take the SSE2 scans: compile with -msimd128 -msse2"
#endif

// The callbacks of the call being made, in velmora_io.js. A piece read is at most size bytes,
// 0 at the end, -1 when the caller's function threw; the others give 0, or -1 when it threw or
// (restart) cannot go back.
extern "C" int velmora_read_piece(unsigned char *buffer, int size);
extern "C" int velmora_write_piece(const unsigned char *bytes, int size);
extern "C" int velmora_restart_input();
extern "C" int velmora_restart_output();

namespace
{

constexpr std::size_t ERROR_SIZE = 512;

// What the format option takes: smi2txt's --format.
struct OutputFormat {
    const char *name;
    ConversionMode mode;
    CueFormat cue_format;
};
const OutputFormat OUTPUT_FORMATS[] = {
    {"txt", ConversionMode::Plain, CueFormat::None},
    {"sync", ConversionMode::Sync, CueFormat::None},
    {"srt", ConversionMode::Sync, CueFormat::Srt},
    {"vtt", ConversionMode::Sync, CueFormat::Vtt},
    {"tsv", ConversionMode::Sync, CueFormat::Tsv},
    {"json", ConversionMode::Sync, CueFormat::Json},
};

// The process-wide record of the call being made.
struct WebCall {
    const OutputFormat *format;
    TextEncoding input_encoding; // what the input's first bytes said
    bool utf16_output;           // the text goes out as UTF-16, as the input came
    // What the output holds so far, to count its cues: line ends (UTF-16 units when it is
    // UTF-16), empty lines, and where the last piece left off.
    long long line_ends;
    long long empty_lines;
    bool after_line_end;
    unsigned long long output_length;
    unsigned char held_unit_byte; // the first byte of a UTF-16 unit a piece cut
    // The input's first bytes, for its encoding when the conversion did not decode it.
    unsigned char first_bytes[READ_BUFFER_SIZE];
    std::size_t first_length;
    std::size_t probe_position;
    char encoding[sizeof(DecodingReport::encoding_name)];
    char error[ERROR_SIZE];
    long long invalid_bytes;
    long long cues;
};
WebCall web_call;

/* ReadInput
 *     The input stream's read: a piece from the caller's read, its first bytes kept. */
ssize_t ReadInput(void *, char *buffer, size_t size)
{
    WebCall &call = web_call;
    int count = velmora_read_piece(reinterpret_cast<unsigned char *>(buffer),
                                   static_cast<int>(std::min<size_t>(size, 1u << 30)));
    if (count <= 0)
        return count;
    std::size_t kept =
        std::min(static_cast<std::size_t>(count), sizeof call.first_bytes - call.first_length);
    std::memcpy(call.first_bytes + call.first_length, buffer, kept);
    call.first_length += kept;
    return count;
}

/* CountCues
 *     Counts the line ends and empty lines of count bytes of output, which are all the cues of
 *     the timed formats and the lines of Sync Save say. */
void CountCues(const unsigned char *bytes, std::size_t count)
{
    WebCall &call = web_call;
    if (call.format->mode == ConversionMode::Plain)
        return;
    if (call.utf16_output) {
        bool little_endian = call.input_encoding == TextEncoding::Utf16Le;
        for (std::size_t k = 0; k < count; k++, call.output_length++) {
            if (call.output_length % 2 == 0) {
                call.held_unit_byte = bytes[k];
                continue;
            }
            unsigned char low = little_endian ? call.held_unit_byte : bytes[k];
            unsigned char high = little_endian ? bytes[k] : call.held_unit_byte;
            call.line_ends += low == '\n' && high == 0 ? 1 : 0;
        }
        return;
    }
    // Sixteen bytes at a time, a bit a line end; one that follows a line end (the last of the
    // sixteen before, carried) ends an empty line, as SubRip and WebVTT end each cue.
    const v128_t line_end = wasm_i8x16_splat('\n');
    unsigned carry = call.after_line_end ? 1 : 0;
    std::size_t k = 0;
    for (; k + 16 <= count; k += 16) {
        auto ends = static_cast<unsigned>(
            wasm_i8x16_bitmask(wasm_i8x16_eq(wasm_v128_load(bytes + k), line_end)));
        call.line_ends += __builtin_popcount(ends);
        call.empty_lines += __builtin_popcount(ends & ((ends << 1) | carry));
        carry = ends >> 15;
    }
    for (; k < count; k++) {
        unsigned end = bytes[k] == '\n' ? 1 : 0;
        call.line_ends += end;
        call.empty_lines += end & carry;
        carry = end;
    }
    call.after_line_end = carry != 0;
}

/* WriteOutput
 *     The output stream's write: each piece to the caller's write as it comes, counted. */
ssize_t WriteOutput(void *, const char *bytes, size_t size)
{
    if (size == 0)
        return 0;
    const auto *piece = reinterpret_cast<const unsigned char *>(bytes);
    CountCues(piece, size);
    if (velmora_write_piece(piece, static_cast<int>(size)) != 0) {
        errno = EIO;
        return -1;
    }
    return static_cast<ssize_t>(size);
}

/* RestartInput, RestartOutput
 *     The streams' seek: only back to the start, which the caller's restart does. */
int RestartInput(void *, off_t *offset, int whence)
{
    if (*offset != 0 || whence != SEEK_SET || velmora_restart_input() != 0) {
        errno = ESPIPE;
        return -1;
    }
    web_call.first_length = 0;
    return 0;
}

int RestartOutput(void *, off_t *offset, int whence)
{
    WebCall &call = web_call;
    if (*offset != 0 || whence != SEEK_SET || velmora_restart_output() != 0) {
        errno = ESPIPE;
        return -1;
    }
    call.line_ends = 0;
    call.empty_lines = 0;
    call.after_line_end = false;
    call.output_length = 0;
    return 0;
}

/* ReadFirstBytes, DiscardOutput
 *     The streams of the probe of the input's encoding: its first bytes again, and nowhere. */
ssize_t ReadFirstBytes(void *, char *buffer, size_t size)
{
    WebCall &call = web_call;
    std::size_t count = std::min(size, call.first_length - call.probe_position);
    std::memcpy(buffer, call.first_bytes + call.probe_position, count);
    call.probe_position += count;
    return static_cast<ssize_t>(count);
}

ssize_t DiscardOutput(void *, const char *, size_t size)
{
    return static_cast<ssize_t>(size);
}

/* Fail
 *     Keeps the reason, what and the name after it, of a call that failed; returns 0. */
int Fail(const char *what, const char *name)
{
    std::snprintf(web_call.error, sizeof web_call.error, "%s%s", what, name);
    return 0;
}

/* CompareNames
 *     qsort's order of two class names, as smi2txt sorts them. */
int CompareNames(const void *a, const void *b)
{
    return std::strcmp(*static_cast<const char *const *>(a), *static_cast<const char *const *>(b));
}

/* FailForClass
 *     «no paragraph of class JPCC (classes: ENCC, KRCC)», the classes of the file just read in
 *     alphabetical order, or «(no classes)». */
int FailForClass()
{
    static const char *names[CLASS_LIST_SIZE];
    for (int k = 0; k < class_list.length; k++)
        names[k] = class_list.classes[k].name;
    std::qsort(names, static_cast<std::size_t>(class_list.length), sizeof names[0], CompareNames);
    char *out = web_call.error;
    const char *end = web_call.error + sizeof web_call.error;
    char missed[CLASS_NAME_SIZE];
    if (!MissedClassName(missed))
        std::strcpy(missed, conversion_state.options.chosen_class);
    out += std::snprintf(out, static_cast<std::size_t>(end - out), "no paragraph of class %s (%s",
                         missed, class_list.length == 0 ? "no classes" : "classes: ");
    for (int k = 0; k < class_list.length && out < end; k++)
        out += std::snprintf(out, static_cast<std::size_t>(end - out), "%s%s", k == 0 ? "" : ", ",
                             names[k]);
    if (out < end)
        std::snprintf(out, static_cast<std::size_t>(end - out), ")");
    return 0;
}

/* FailForCues
 *     Why the cues of the file just read were not written, in smi2txt's words; for starts
 *     that go back late, what the caller can do instead. */
int FailForCues()
{
    switch (FailedCues()) {
    case CueFailure::CueTooLong: return Fail("a subtitle holds more than 64 KiB of text", "");
    case CueFailure::TooManyHeld:
        return Fail("its starts go back, and its subtitles hold more than 64 MiB of text to put "
                    "in order",
                    "");
    case CueFailure::StartsWentBack:
        return Fail("a start goes back behind subtitles already written (after 1 MiB of them); "
                    "convert the whole subtitle, or give convertPieces a restart, to put them in "
                    "order",
                    "");
    case CueFailure::ClassesFirst:
        return Fail("merged tsv names every class before its first row, so the input is read "
                    "twice: give convertPieces a restart",
                    "");
    default: return Fail("the subtitles could not be written", "");
    }
}

/* FailFor
 *     Keeps the reason the conversion failed; returns 0. */
int FailFor(ConversionOutcome outcome)
{
    switch (outcome) {
    case ConversionOutcome::NoSyncTag: return Fail("no SYNC tag: not a SAMI subtitle", "");
    case ConversionOutcome::NoParagraphOfClass: return FailForClass();
    case ConversionOutcome::CuesFailed: return FailForCues();
    case ConversionOutcome::ReadFailed: return Fail("the subtitle could not be read", "");
    case ConversionOutcome::WriteFailed: return Fail("the text could not be written", "");
    default: return Fail("the subtitle could not be converted: ", std::strerror(errno));
    }
}

/* NameEncoding
 *     Keeps name, the encoding as the decoder names it, in lower case. */
void NameEncoding(const char *name)
{
    WebCall &call = web_call;
    std::size_t k = 0;
    for (; name[k] != '\0' && k + 1 < sizeof call.encoding; k++)
        call.encoding[k] =
            static_cast<char>(name[k] >= 'A' && name[k] <= 'Z' ? name[k] - 'A' + 'a' : name[k]);
    call.encoding[k] = '\0';
}

/* ProbeEncoding
 *     The encoding of an input read as bytes: what a conversion to UTF-8 of its first bytes,
 *     all that decides it, finds. */
void ProbeEncoding()
{
    WebCall &call = web_call;
    ConversionState::Options chosen = conversion_state.options;
    ConversionState::Options &options = conversion_state.options;
    options.chosen_class[0] = '\0';
    options.cue_format = CueFormat::None;
    options.merges_classes = false;
    options.utf8_output = true;
    call.probe_position = 0;
    FILE *input = fopencookie(nullptr, "rb", {ReadFirstBytes, nullptr, nullptr, nullptr});
    FILE *output = fopencookie(nullptr, "wb", {nullptr, DiscardOutput, nullptr, nullptr});
    if (input != nullptr && output != nullptr) {
        setvbuf(input, nullptr, _IONBF, 0);
        OpenSubtitleStream(input);
        input = nullptr; // the conversion's to close
        ConvertIntoStream(output, ConversionMode::Plain);
    }
    if (input != nullptr)
        fclose(input);
    if (output != nullptr)
        fclose(output);
    NameEncoding(decoding_report.encoding_name);
    options = chosen;
}

/* FindFormat
 *     The format of that name, or none. */
const OutputFormat *FindFormat(const char *name)
{
    for (const OutputFormat &format : OUTPUT_FORMATS)
        if (std::strcmp(name, format.name) == 0)
            return &format;
    return nullptr;
}

/* ChooseOptions
 *     Hands the filter what the caller chose, as smi2txt does for the same options. Returns 0,
 *     the reason kept, when an option makes no sense. */
/* CheckClassList
 *     A class, or classes separated by commas: none empty or given twice, as smi2txt has them.
 *     Returns 0, the reason kept, when the list makes no sense. */
int CheckClassList(const char *list)
{
    char names[CLASS_NAME_SIZE];
    std::strcpy(names, list);
    const char *seen[CLASS_NAME_SIZE];
    int count = 0;
    for (char *name = names; list[0] != '\0'; count++) {
        char *comma = std::strchr(name, ',');
        if (comma != nullptr)
            *comma = '\0';
        if (name[0] == '\0')
            return Fail("the class name is empty", "");
        for (int k = 0; k < count; k++)
            if (SameClassName(seen[k], name))
                return Fail("a class is listed twice: ", name);
        seen[count] = name;
        if (comma == nullptr)
            break;
        name = comma + 1;
    }
    return 1;
}

int ChooseOptions(const char *format_name, const char *class_name, int utf8, const char *from,
                  int styles, int merge)
{
    ConversionState::Options &options = conversion_state.options;
    web_call.format = FindFormat(format_name);
    if (web_call.format == nullptr)
        return Fail("unknown format (txt, sync, srt, vtt, tsv or json): ", format_name);
    if (std::strlen(class_name) >= CLASS_NAME_SIZE)
        return Fail("the class name is too long: ", class_name);
    if (CheckClassList(class_name) == 0)
        return 0;
    if (merge != 0 && web_call.format->mode == ConversionMode::Plain)
        return Fail("--merge-classes needs times: txt has none; use --sync or --format=srt, vtt, "
                    "tsv or json",
                    "");
    if (from[0] != '\0' && !IsReadableEncoding(from))
        return Fail("unknown encoding: ", from);
    std::strcpy(options.chosen_class, class_name);
    options.cue_format = web_call.format->cue_format;
    // -u or --from ask for UTF-8; the timed formats are UTF-8 always.
    options.utf8_output =
        utf8 != 0 || from[0] != '\0' || options.cue_format != CueFormat::None || merge != 0;
    options.merges_classes = merge != 0;
    std::snprintf(options.source_encoding, sizeof options.source_encoding, "%s", from);
    options.drops_styles = styles == 0;
    return 1;
}

/* StartCall
 *     Forgets the last call; the input, a stream over the caller's read, is opened. */
FILE *StartCall()
{
    WebCall &call = web_call;
    call.line_ends = 0;
    call.empty_lines = 0;
    call.after_line_end = false;
    call.output_length = 0;
    call.first_length = 0;
    call.encoding[0] = '\0';
    call.error[0] = '\0';
    call.invalid_bytes = 0;
    call.cues = 0;
    FILE *input = fopencookie(nullptr, "rb", {ReadInput, nullptr, RestartInput, nullptr});
    if (input != nullptr)
        setvbuf(input, nullptr, _IONBF, 0); // the filter reads blocks of its own
    return input;
}

/* CountOutputCues
 *     What the output holds: the cues of SubRip and WebVTT, the rows of the table (its header
 *     left out) and of JSON Lines, the stamped lines of Sync Save. */
long long CountOutputCues()
{
    const WebCall &call = web_call;
    if (call.format->mode == ConversionMode::Plain)
        return 0;
    switch (call.format->cue_format) {
    case CueFormat::Srt: return call.empty_lines;
    case CueFormat::Vtt: return std::max(call.empty_lines - 1, 0LL); // the head's empty line
    case CueFormat::Tsv: return std::max(call.line_ends - 1, 0LL);   // the header
    default: return call.line_ends;
    }
}

} // namespace

/* velmora_convert
 *     Converts the input the caller's read gives into the caller's write, with smi2txt's
 *     options. Returns 1, or 0 with the reason in velmora_error. */
extern "C" int velmora_convert(const char *format_name, const char *class_name, int utf8,
                               const char *from, int styles, int merge)
{
    WebCall &call = web_call;
    FILE *input = StartCall();
    if (input == nullptr)
        return Fail("the subtitle could not be read: ", std::strerror(errno));
    if (ChooseOptions(format_name, class_name, utf8, from, styles, merge) == 0) {
        fclose(input);
        return 0;
    }
    FILE *output = fopencookie(nullptr, "wb", {nullptr, WriteOutput, RestartOutput, nullptr});
    if (output == nullptr) {
        fclose(input);
        return Fail("the text could not be written: ", std::strerror(errno));
    }
    setvbuf(output, nullptr, _IONBF, 0); // the filter writes blocks of its own
    OpenSubtitleStream(input);
    call.input_encoding = conversion_state.reading.encoding;
    call.utf16_output =
        call.input_encoding != TextEncoding::Bytes && !conversion_state.options.utf8_output;
    ConversionOutcome outcome = ConvertIntoStream(output, call.format->mode);
    fclose(output);
    if (outcome != ConversionOutcome::Succeeded)
        return FailFor(outcome);
    call.invalid_bytes = decoding_report.invalid_bytes;
    call.cues = CountOutputCues();
    if (call.input_encoding == TextEncoding::Utf16Le)
        NameEncoding("UTF-16LE");
    else if (call.input_encoding == TextEncoding::Utf16Be)
        NameEncoding("UTF-16BE");
    else if (decoding_report.encoding_name[0] != '\0')
        NameEncoding(decoding_report.encoding_name);
    else
        ProbeEncoding();
    return 1;
}

/* velmora_list_classes
 *     Reads the input the caller's read gives for the classes of its P tags and the first
 *     words of each; returns how many, -1 when it could not be read. */
extern "C" int velmora_list_classes()
{
    FILE *input = StartCall();
    if (input == nullptr)
        return -1;
    ConversionState::Options &options = conversion_state.options;
    options.chosen_class[0] = '\0';
    options.cue_format = CueFormat::None;
    options.source_encoding[0] = '\0';
    options.utf8_output = true; // the samples in UTF-8, whatever the input's encoding
    OpenSubtitleStream(input);
    if (ListSubtitleClasses() != ConversionOutcome::Succeeded)
        return -1;
    return class_list.length;
}

extern "C" const char *velmora_class_name(int k)
{
    return class_list.classes[k].name;
}

extern "C" double velmora_class_count(int k)
{
    return static_cast<double>(class_list.classes[k].count);
}

extern "C" const char *velmora_class_sample(int k)
{
    return class_list.classes[k].sample;
}

extern "C" const char *velmora_error()
{
    return web_call.error;
}

extern "C" const char *velmora_encoding()
{
    return web_call.encoding;
}

extern "C" double velmora_invalid_bytes()
{
    return static_cast<double>(web_call.invalid_bytes);
}

extern "C" double velmora_cues()
{
    return static_cast<double>(web_call.cues);
}

extern "C" const char *velmora_version()
{
    return VELMORA_VERSION;
}
