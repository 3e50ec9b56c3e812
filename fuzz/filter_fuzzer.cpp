// libFuzzer entry: runs both conversions and a timed format over arbitrary bytes, read from a
// memory stream, with and without a chosen class, as bytes, as UTF-8 output and read as CP949,
// each with the fast scans and with the byte-at-a-time steps that model the rules. The two must
// write the same bytes, and what must hold for every input must hold. A broken rule aborts with
// the input saved.
#include "byte_io.h"
#include "conversion.h"
#include "cue_merge.h"
#include "cue_path.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

// The bytes a stamp may add: its digits, blanks and colons, and the line end before it.
static const char STAMP_BYTES[] = "0123456789 :\n";
// The names that write more bytes than «&name;» holds: six of their five.
static const char *const GROWING_NAMES[] = {"&nGt;", "&nLt;"};

// The input as the filter sees it outside Windows: CR LF as LF, nothing from a 0x1A on.
static unsigned char *seen_input;
static size_t seen_length;

/* Fail
 *     Reports which rule an input broke and aborts, so libFuzzer keeps the input. */
[[noreturn]] static void Fail(const char *rule, int mode)
{
    static const char *const MODE_NAMES[] = {"plain", "sync", "cues", "merged"};
    std::fprintf(stderr, "filter rule broken (%s mode): %s\n", MODE_NAMES[mode], rule);
    std::abort();
}

/* PrepareSeenInput
 *     Fills seen_input from data with the line-end and 0x1A rules applied. */
static void PrepareSeenInput(const std::uint8_t *data, size_t size)
{
    std::free(seen_input);
    seen_input = static_cast<unsigned char *>(std::malloc(size + 1));
    seen_length = 0;
    for (size_t k = 0; k < size && data[k] != CTRL_Z; k++) {
        if (data[k] == '\r' && k + 1 < size && data[k + 1] == '\n')
            continue; // the LF that follows stands for the pair
        seen_input[seen_length++] = data[k];
    }
}

static size_t SeenInputCount(const char *text)
{
    size_t length = std::strlen(text);
    size_t count = 0;
    for (size_t k = 0; k + length <= seen_length; k++) {
        if (std::memcmp(seen_input + k, text, length) == 0)
            count++;
    }
    return count;
}

static bool SeenInputHolds(const char *text)
{
    return SeenInputCount(text) > 0;
}

/* StampLength
 *     The length of the stamp «HH :MM :SS  » (hours of two digits or more) line starts with,
 *     or 0 when it starts with none. */
static size_t StampLength(const char *line, size_t length)
{
    size_t k = 0;
    while (k < length && line[k] >= '0' && line[k] <= '9')
        k++;
    if (k < 2 || k + 10 > length)
        return 0;
    static const char SHAPE[] = " :dd :dd  ";
    for (size_t j = 0; j < 10; j++) {
        char c = line[k + j];
        bool fits = SHAPE[j] == 'd' ? c >= '0' && c <= '9' : c == SHAPE[j];
        if (!fits)
            return 0;
    }
    return k + 10;
}

/* CheckSubtitleLines
 *     Every line is one subtitle: a stamp, then text that neither starts nor ends with white
 *     space and holds no run of it; the output ends with a line end. A UTF-8 byte order mark
 *     may open it. Only checked when no stamp-like text can come from the input itself. */
static void CheckSubtitleLines(const char *text, size_t length)
{
    if (std::memchr(seen_input, ':', seen_length) != nullptr || SeenInputHolds("&#"))
        return;
    size_t start = length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    while (start < length) {
        const char *end =
            static_cast<const char *>(std::memchr(text + start, '\n', length - start));
        size_t line_length = (end == nullptr ? length : static_cast<size_t>(end - text)) - start;
        const char *line = text + start;
        size_t stamp = StampLength(line, line_length);
        if (stamp == 0)
            Fail("a line without a stamp", 1);
        if (stamp == line_length)
            Fail("a bare stamp", 1);
        if (end == nullptr)
            Fail("the last subtitle has no line end", 1);
        for (size_t k = stamp; k < line_length; k++) {
            char c = line[k];
            bool blank = c == ' ';
            if (c == '\t' || c == '\r')
                Fail("a tab or CR in a subtitle line", 1);
            if (blank && (k == stamp || k + 1 == line_length || line[k + 1] == ' '))
                Fail("white space at an end of a subtitle or a run of it", 1);
        }
        start += line_length + 1;
    }
}

/* Allow
 *     Marks each byte of bytes as one the output may hold. */
static void Allow(bool *present, const char *bytes)
{
    for (const char *p = bytes; *p != '\0'; p++)
        present[static_cast<unsigned char>(*p)] = true;
}

/* CheckOutput
 *     The rules for one conversion's output. */
static void CheckOutput(size_t size, const char *text, size_t length, int mode)
{
    bool present[256] = {};
    for (size_t k = 0; k < seen_length; k++)
        present[seen_input[k]] = true;
    if (SeenInputHolds("&")) {
        // Any printable ASCII or a tab from a name or a number, any character in UTF-8 text.
        Allow(present, "\t");
        for (int c = 32; c <= 126; c++)
            present[c] = true;
        for (int c = 0x80; c <= 0xFF; c++)
            present[c] = true;
    }
    if (SeenInputHolds("<"))
        Allow(present, "\n"); // a line-break or paragraph tag followed by text
    if (mode == 1)
        Allow(present, STAMP_BYTES);
    for (size_t j = 0; j < length; j++) {
        if (!present[static_cast<unsigned char>(text[j])])
            Fail("a byte appeared that the input did not hold", mode);
    }
    if (mode == 0) {
        size_t growth = 0;
        for (const char *name : GROWING_NAMES)
            growth += SeenInputCount(name);
        if (length > size + growth)
            Fail("plain output longer than the input", mode);
    } else {
        // Each stamped line of at most 15 bytes and a text byte needs at least a 6-byte SYNC tag.
        if (length > 3 * size)
            Fail("sync output grew past three times the input", mode);
        CheckSubtitleLines(text, length);
    }
}

/* CheckState
 *     What must hold of conversion_state after a conversion. */
static void CheckState(int mode)
{
    if (conversion_state.sync_value_length < 0 ||
        conversion_state.sync_value_length >= SYNC_VALUE_SIZE)
        Fail("sync_value_length out of range", mode);
}

// What one conversion wrote.
struct Output {
    char *text;
    size_t length;
    bool utf16;
    bool failed; // a class chosen that no P tag has, or cues that could not be written: every
                 // front end then keeps nothing of it
};

// The timed format mode 2 writes, with its styles or without; the input's first byte chooses.
static CueFormat cue_format;
static bool drops_styles;

// The format mode 3 merges the classes into: Sync Save's lines or a timed format.
static CueFormat merged_format;

// How the input is read: its bytes as they are, decoded for UTF-8 output (-u), or as CP949.
enum class Reading { Bytes, Utf8Output, FromCp949 };

/* IsValidUtf8
 *     Whether length bytes are UTF-8 with no overlong form, surrogate or code point past
 *     U+10FFFF, as every decoded output must be. */
static bool IsValidUtf8(const char *text, size_t length)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    for (size_t k = 0; k < length;) {
        unsigned char lead = bytes[k];
        size_t count = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (count == 0 || lead > 0xF4 || k + count > length)
            return false;
        unsigned char second = count > 1 ? bytes[k + 1] : 0x80;
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
            (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return false;
        for (size_t j = 1; j < count; j++)
            if ((bytes[k + j] & 0xC0) != 0x80)
                return false;
        k += count;
    }
    return true;
}

/* ConvertBytes
 *     One conversion of data in mode (2: Sync Save's subtitles as cue_format), the way smi2txt
 *     runs it: the steps alone when byte_at_a_time, else with the fast scans; a class chosen
 *     when chosen_class is not null. */
static Output ConvertBytes(const std::uint8_t *data, size_t size, int mode, bool byte_at_a_time,
                           const char *chosen_class, size_t fill_limit, Reading reading)
{
    static std::uint8_t empty_input[1];
    FILE *input = fmemopen(size == 0 ? empty_input : const_cast<std::uint8_t *>(data), size, "r");
    Output output = {nullptr, 0, false, false};
    FILE *output_stream = open_memstream(&output.text, &output.length);
    if (input == nullptr || output_stream == nullptr)
        std::abort();

    conversion_state = ConversionState{};
    conversion_state.input_stream = input;
    conversion_state.output_stream = output_stream;
    conversion_state.options.byte_at_a_time = byte_at_a_time;
    conversion_state.options.fill_limit = fill_limit;
    if (chosen_class != nullptr)
        std::strcpy(conversion_state.options.chosen_class, chosen_class);
    conversion_state.options.cue_format = mode == 2   ? cue_format
                                          : mode == 3 ? merged_format
                                                      : CueFormat::None;
    conversion_state.options.subtitle_listener = mode == 2 ? CueListener() : nullptr;
    conversion_state.options.drops_styles = drops_styles;
    conversion_state.options.utf8_output = mode >= 2 || reading != Reading::Bytes;
    conversion_state.options.merges_classes = mode == 3;
    if (reading == Reading::FromCp949)
        std::strcpy(conversion_state.options.source_encoding, "cp949");
    output.utf16 = DetectTextEncoding() != TextEncoding::Bytes;
    if (mode == 3 && MergeNeedsClassesFirst()) {
        // Merged TSV learns the classes of its header in a reading before, as output/ does.
        conversion_state.options.subtitle_listener = MergeClassesListener();
        RunConversion(ConversionMode::Sync);
        if (ftell(output_stream) != 0)
            Fail("the reading for the classes wrote text", mode);
        if (fseek(input, 0, SEEK_SET) != 0)
            std::abort();
        ForgetConversion();
        DetectTextEncoding();
    }
    if (mode == 3)
        conversion_state.options.subtitle_listener = MergeListener();
    RunConversion(mode == 0 ? ConversionMode::Plain : ConversionMode::Sync);
    if (!conversion_state.reading.input_ended)
        Fail("the conversion returned before the end of the input", mode);
    if (ferror(input) || ferror(output_stream))
        Fail("a stream reported an error", mode);
    CheckState(mode);
    bool missed_sync_tag = MissedSyncTag();
    output.failed = MissedChosenClass() || FailedCues() != CueFailure::None;
    CloseStreams(); // flushes open_memstream's text and length
    if (missed_sync_tag && output.length != 0)
        Fail("text written though no SYNC tag was found", mode);
    return output;
}

/* CompareWithModel
 *     Converts data in mode with the fast scans and with the steps alone, which must give the
 *     same bytes; checks the rules on the model's output. The fast scans read the input in
 *     blocks that its last byte sizes, so that the buffer's end falls anywhere. */
static void CompareWithModel(const std::uint8_t *data, size_t size, int mode,
                             const char *chosen_class, Reading reading)
{
    size_t fill_limit = size == 0 ? 0 : 64 + data[size - 1] % 192;
    Output model = ConvertBytes(data, size, mode, true, chosen_class, 0, reading);
    Output fast = ConvertBytes(data, size, mode, false, chosen_class, fill_limit, reading);
    if (fast.length != model.length || std::memcmp(fast.text, model.text, model.length) != 0)
        Fail("the fast scans wrote other bytes than the steps", mode);
    if (reading != Reading::Bytes && !model.failed && !IsValidUtf8(model.text, model.length))
        Fail("UTF-8 output that is not valid UTF-8", mode);
    if (!model.utf16 && mode < 2 && reading == Reading::Bytes)
        CheckOutput(size, model.text, model.length, mode);
    std::free(model.text);
    std::free(fast.text);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    PrepareSeenInput(data, size);
    static const CueFormat CUE_FORMATS[] = {CueFormat::Srt, CueFormat::Vtt, CueFormat::Tsv,
                                            CueFormat::Json};
    cue_format = CUE_FORMATS[size == 0 ? 0 : data[0] % 4];
    drops_styles = size > 0 && data[0] % 8 >= 4;
    static const CueFormat MERGED_FORMATS[] = {CueFormat::None, CueFormat::Srt, CueFormat::Vtt,
                                               CueFormat::Tsv, CueFormat::Json};
    merged_format = MERGED_FORMATS[size == 0 ? 0 : data[0] / 8 % 5];
    for (int mode = 0; mode < 4; mode++) {
        // The timed formats are always UTF-8: as bytes they read as -u does.
        for (Reading reading : {Reading::Bytes, Reading::Utf8Output, Reading::FromCp949}) {
            if (mode >= 2 && reading == Reading::Bytes)
                continue;
            CompareWithModel(data, size, mode, nullptr, reading);
            CompareWithModel(data, size, mode, mode == 3 ? "KRCC,ENCC" : "ENCC", reading);
        }
    }
    return 0;
}
