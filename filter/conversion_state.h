// The subtitle filter: one forward pass over a SAMI byte stream, one character of state.
// Every step works on the process-wide conversion_state and takes no arguments.
//
// A byte goes from input_stream into read_buffer (stream_buffers.cpp; utf16.cpp decodes UTF-16
// into UTF-8 there), through the steps (conversion.cpp, tag_scanner.cpp, entity.cpp,
// paragraph.cpp, time_stamp.cpp) or the fast path beside them (text_run.cpp, text_walk.cpp),
// into write_buffer and out to output_stream (stream_buffers.cpp; utf16.cpp encodes it back).
// The parts of conversion_state and the files that write them:
//   options     the callers (smi2txt, output/, the tests); RunConversion sets the mode
//   reading     stream_buffers.cpp and ReadByte; whatever reads input moves read_position
//               (ReadEntity, the fast path), and utf16.cpp ends the input at a U+001A
//   utf16       utf16.cpp
//   writing     stream_buffers.cpp and WriteByte; the walks hand back where they wrote to
//   text        the steps (conversion.cpp, tag_scanner.cpp, entity.cpp, time_stamp.cpp); the
//               fast path hands back what it did in their stead
//   paragraphs  paragraph.cpp
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "subtitle_events.h"

constexpr int SYNC_VALUE_SIZE = 20;
constexpr int ENTITY_NAME_SIZE = 31;   // the longest name (or number) an entity may have
constexpr int CLASS_NAME_SIZE = 64;    // a paragraph's class kept, with a terminating zero
constexpr int CLASS_LIST_SIZE = 256;   // distinct classes a file's list holds; more are left out
constexpr int CLASS_SAMPLE_SIZE = 128; // 30 characters of UTF-8 and a terminating zero
constexpr int TAG_NAME_SIZE = 10;      // the longest name that means something, and one byte more
// What of a font's colour is kept: 128 characters of UTF-8, all the colour rules look at.
constexpr int COLOUR_VALUE_SIZE = 512;

enum class ConversionMode { Plain, Sync };

// The timed formats: Sync Save's subtitles as cues with start and end, written by cues/.
enum class CueFormat { None, Srt, Vtt, Tsv, Json };

// What the input's first bytes say it is: bytes kept as they are, or UTF-16 text.
enum class TextEncoding { Bytes, Utf16Le, Utf16Be };

// The tags that mean something; every other tag is just removed. A parameter block (STYLE,
// SAMIPARAM, SCRIPT) is markup up to its own end tag, </HEAD>, <BODY> or a SYNC tag.
enum class TagKind {
    Other,
    Sync,
    LineBreak,
    Paragraph,
    ParagraphEnd,
    Style,
    StyleEnd,
    SamiParam,
    SamiParamEnd,
    Script,
    ScriptEnd,
    HeadEnd,
    Body,
    // The tags that style a subtitle's text in the timed formats; removed like any other.
    Italic,
    ItalicEnd,
    Emphasis,
    EmphasisEnd,
    Bold,
    BoldEnd,
    Strong,
    StrongEnd,
    Underline,
    UnderlineEnd,
    Font,
    FontEnd,
};

// One class the P tags of a file use, as first written, and how many P tags use it.
struct ParagraphClass {
    char name[CLASS_NAME_SIZE];
    long count;
    // The first words (at most 30 characters, cut at a blank) of the first subtitle in which
    // the class has text, as Sync Save with that class writes it; empty when it has none.
    char sample[CLASS_SAMPLE_SIZE];
};

struct ConversionState {
    FILE *input_stream;               // the subtitle being read; opened "r" by the caller
    FILE *output_stream;              // the text being written; opened "w" by the caller
    int current_char;                 // the byte under examination (0..255) or EOF
    char sync_value[SYNC_VALUE_SIZE]; // a SYNC tag's value and its closing '>'
    std::int32_t sync_value_length;   // value characters before that '>'

    // What the caller chose; kept from one conversion to the next.
    struct Options {
        ConversionMode mode;                // set by RunConversion
        char chosen_class[CLASS_NAME_SIZE]; // «A» or «A,B»; empty: every paragraph is written
        bool input_binary;      // the input stream is binary on Windows: the filter applies the
                                // text-mode line-end rules itself
        bool byte_at_a_time;    // no fast path: the steps alone, the model of the rules
        std::size_t fill_limit; // bytes one fill of the read buffer reads at most, from 64;
                                // 0 for all it holds: tests cut the input anywhere with it
        bool utf8_output; // the text is written as UTF-8 without a byte order mark, whatever the
                          // input's encoding
        CueFormat cue_format;     // None: stamps; else the subtitle listener writes cues
        char source_encoding[32]; // the input's encoding as the user named it; empty: guessed
        // Writes the text where output_stream cannot (a Windows console); null for the stream.
        void (*text_writer)(const unsigned char *bytes, std::size_t count, bool final);
        bool holds_every_cue; // the cue buffer writes nothing before the input's end, so that
                              // starts may go back anywhere
        bool drops_styles;    // SubRip and WebVTT without italic, bold, underline or colour
        bool merges_classes;  // Sync Save and the timed formats: one cue per moment, holding
                              // every class kept (cues/cue_merge.h), in UTF-8
        // Who takes Sync Save's subtitles: the cue path of the timed formats, or null for the
        // stamps.
        const SubtitleListener *subtitle_listener;
    } options;

    // The filter's own buffer of the input and what the input's first bytes said.
    struct Reading {
        TextEncoding encoding;       // set by DetectTextEncoding
        std::size_t read_position;   // next unread byte of read_buffer
        std::size_t read_length;     // bytes read_buffer holds
        bool input_ended;            // a read has met the end of the input
        bool source_ended;           // input_stream has nothing more to give
        unsigned char raw_prefix[2]; // bytes read before the next fill's, first the mark's
        int raw_prefix_length;
        bool joins_line_ends; // read_buffer holds the bytes as read: a CR before an LF is not
                              // read
        bool text_is_unicode; // UTF-16, or UTF-8 by its mark or its first bytes: entities may
                              // stand for any character
    } reading;

    // What a block boundary leaves undecided in decoding and encoding UTF-16.
    struct Utf16 {
        bool has_held_byte; // an odd byte waits for the other half of its unit
        unsigned char held_byte;
        std::uint32_t held_surrogate; // a high surrogate waits for its low one; 0 for none
        bool held_cr;                 // a CR waits to see whether an LF follows
        bool mark_written;            // the output's byte order mark is out
        unsigned char utf8_held[4];   // the start of a UTF-8 sequence the last flush cut
        std::size_t utf8_held_length;
    } utf16;

    // A byte file read through the decoder into UTF-8 (legacy_text.cpp): the undecoded bytes
    // wait in a buffer of their own.
    struct Decoding {
        bool active;              // the input is decoded, or checked when it is UTF-8
        bool utf8;                // the input is UTF-8: only its invalid sequences are replaced
        bool windows_1252;        // its five unassigned bytes read as the C1 controls
        bool raw_ended;           // the byte file has nothing more to give
        std::size_t raw_position; // next undecoded byte
        std::size_t raw_length;   // undecoded bytes held
    } decoding;

    // The filter's own buffer of the output and where the output's line stands.
    struct Writing {
        std::size_t write_length;   // bytes waiting in write_buffer
        bool mid_line;              // the last byte written was not a line end
        std::size_t line_floor;     // write_buffer holds no text of its line below this (a mark)
        bool line_text_written_out; // the current line's text began before the last flush
    } writing;

    // Where the text stands between steps.
    struct Text {
        bool current_is_text;          // current_char stands for an entity: text, never markup
        bool current_is_markup;        // current_char is the '>' that ended a tag
        unsigned char entity_text[16]; // the UTF-8 bytes of that entity's one or two
                                       // characters, and room to read a chunk
        int entity_length;
        TagKind tag_kind;             // what the name of the tag being read says it is
        bool line_break_pending;      // a line-break tag whose next byte decides on a line end
        bool paragraph_break_pending; // Save: the next text byte starts a line of its own
        bool in_subtitle;             // sync mode: a SYNC tag has started the subtitles
        bool first_text_pending;      // sync mode: the subtitle's first text byte is still to come
        bool blank_pending;           // sync mode: white space between two text bytes of a subtitle
        TagKind parameter_block;      // the start tag of the parameter block being read, or Other
        const SubtitleListener *listener; // the caller's, or Sync Save's stamps
    } text;

    // Paragraphs of the chosen class: with one chosen, only their text is written.
    struct Paragraphs {
        bool listing_classes;                  // classes are read even with none chosen
        bool text_hidden;                      // outside a paragraph of the chosen class
        bool chosen_class_found;               // a P tag of the chosen class was read
        char paragraph_class[CLASS_NAME_SIZE]; // the class of the P tag being read
        char font_colour[COLOUR_VALUE_SIZE];   // the color value of the font tag being read
        int font_colour_length;                // -1 when the tag has none
        bool font_colour_cut;                  // more than font_colour holds stands in the value
    } paragraphs;
};

extern ConversionState conversion_state;

// The classes the P tags of the last file read use, in order of first use. Kept when the
// streams close, for the caller to report.
struct ClassList {
    ParagraphClass classes[CLASS_LIST_SIZE];
    int length;
};

extern ClassList class_list;

// What decoding the last file met, kept when the streams close for the caller to report.
struct DecodingReport {
    char encoding_name[32];  // the input's encoding as the message names it
    long long invalid_bytes; // bytes written as U+FFFD, one for each invalid sequence
};

extern DecodingReport decoding_report;

// Plain and sync steps, in the order one cycle runs them.
void CopyTextRun();
bool ReadChar();
void SkipTag();
void SkipTagSync();
void WriteChar();
void RunConversion(ConversionMode mode);
void CloseStreams();
void ForgetConversion();

// What a byte is to the reading rules, one table look a byte: the scans run on every byte.
enum ByteClass : unsigned char {
    ENDS_TAG_NAME = 1,   // blank, tab, line end, '/' or '>'
    WHITE_SPACE = 2,     // blank, tab, line end
    KEEPS_LESS_THAN = 4, // white space or a digit: a '<' before it is text
};
constexpr unsigned char ClassOf(int c)
{
    unsigned char bits = 0;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
        bits |= ENDS_TAG_NAME | WHITE_SPACE | KEEPS_LESS_THAN;
    if (c == '/' || c == '>')
        bits |= ENDS_TAG_NAME;
    if (c >= '0' && c <= '9')
        bits |= KEEPS_LESS_THAN;
    return bits;
}
struct ByteClasses {
    unsigned char of[256];
};
constexpr ByteClasses BYTE_CLASSES = [] {
    ByteClasses table{};
    for (int c = 0; c < 256; c++)
        table.of[c] = ClassOf(c);
    return table;
}();

// Blanks, tabs and line ends: what a subtitle writes one blank for.
inline bool IsWhiteSpace(int c)
{
    return c != EOF && (BYTE_CLASSES.of[c] & WHITE_SPACE) != 0;
}

// White space as HTML's attribute values know it: tab, line feed, form feed, CR and blank.
inline bool IsAsciiWhiteSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Tag steps shared by both modes, and what a complete tag does.
inline bool EndsTagName(int c)
{
    return c == EOF || (BYTE_CLASSES.of[c] & ENDS_TAG_NAME) != 0;
}
// A '<' followed by white space, a digit or the end of the input is text, not a tag.
inline bool KeepsLessThan(int next)
{
    return next == EOF || (BYTE_CLASSES.of[next] & KEEPS_LESS_THAN) != 0;
}
inline bool OpensParameterBlock(TagKind kind)
{
    return kind == TagKind::Style || kind == TagKind::SamiParam || kind == TagKind::Script;
}

/* ClassifyTagName
 *     What the name at name says a tag is, without regard to case, a style tag only when styles
 *     are read; length is set to the name's length when it is one that means something. Reads
 *     up to eight bytes and the one after a name that means something, which must end it. Told
 *     by the first letter, then a word at a time. */
#if defined(__GNUC__)
[[gnu::always_inline]] // called at every tag, from the steps and the fast path alike
#endif
inline TagKind
ClassifyTagName(const unsigned char *name, bool closing, int *length, bool styles)
{
    // Clearing 0x20 makes a letter upper case and nothing else a letter. The first eight
    // bytes are one word, least significant first, however the machine orders them.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t first_eight;
    std::memcpy(&first_eight, name, 8);
    first_eight &= 0xDFDFDFDFDFDFDFDFull;
    auto word = [first_eight](int count) {
        return count == 8 ? first_eight : first_eight & ((std::uint64_t{1} << (8 * count)) - 1);
    };
#else
    auto word = [name](int count) {
        std::uint64_t value = 0;
        for (int k = 0; k < count; k++)
            value |= std::uint64_t{name[k] & 0xDFu} << (8 * k);
        return value;
    };
#endif
    auto spelled = [](const char *upper, int count) {
        std::uint64_t value = 0;
        for (int k = 0; k < count; k++)
            value |= std::uint64_t{static_cast<unsigned char>(upper[k])} << (8 * k);
        return value;
    };
    // Whether the name is upper (its first count bytes, at most eight, and then last) alone.
    auto is = [&](const char *upper, int count, int whole) {
        bool same = word(count) == spelled(upper, count) &&
                    (whole == count || (name[count] & 0xDF) == upper[count]) &&
                    (BYTE_CLASSES.of[name[whole]] & ENDS_TAG_NAME) != 0;
        *length = whole;
        return same;
    };
    // A style tag's closing kind follows its opening one.
    auto styled = [closing](TagKind opening) {
        return static_cast<TagKind>(static_cast<int>(opening) + (closing ? 1 : 0));
    };
    switch (name[0] & 0xDF) {
    case 'P':
        if (is("P", 1, 1))
            return closing ? TagKind::ParagraphEnd : TagKind::Paragraph;
        break;
    case 'B':
        if (styles && is("B", 1, 1))
            return styled(TagKind::Bold);
        if (!closing && is("BR", 2, 2))
            return TagKind::LineBreak;
        if (!closing && is("BODY", 4, 4))
            return TagKind::Body;
        break;
    case 'I':
        if (styles && is("I", 1, 1))
            return styled(TagKind::Italic);
        break;
    case 'E':
        if (styles && is("EM", 2, 2))
            return styled(TagKind::Emphasis);
        break;
    case 'U':
        if (styles && is("U", 1, 1))
            return styled(TagKind::Underline);
        break;
    case 'F':
        if (styles && is("FONT", 4, 4))
            return styled(TagKind::Font);
        break;
    case 'H':
        if (closing && is("HEAD", 4, 4))
            return TagKind::HeadEnd;
        break;
    case 'S':
        if (!closing && is("SYNC", 4, 4))
            return TagKind::Sync;
        if (is("STYLE", 5, 5))
            return closing ? TagKind::StyleEnd : TagKind::Style;
        if (is("SCRIPT", 6, 6))
            return closing ? TagKind::ScriptEnd : TagKind::Script;
        if (styles && is("STRONG", 6, 6))
            return styled(TagKind::Strong);
        if (is("SAMIPARAM", 8, 9))
            return closing ? TagKind::SamiParamEnd : TagKind::SamiParam;
        break;
    }
    return TagKind::Other;
}

bool EndsParameterBlock(TagKind kind);
bool OpensTag();
bool ReadTagStart();
void ReadTagName();
void SkipMarkedTag();
void SkipTagRest();
void FinishTag(TagKind kind);
void SkipLineBreak();
void MarkLineBreak();
void ResolveLineBreak();
void MarkParagraph(TagKind kind);
void MarkBlank();
void MarkParagraphTag(const char *class_name, bool of_chosen_class);
void MarkStyleTag(TagKind kind);

/* StyleOfTag
 *     The style tag a tag of kind is, and whether it closes; false for any other tag. */
inline bool StyleOfTag(TagKind kind, StyleTag *tag, bool *closing)
{
    int offset = static_cast<int>(kind) - static_cast<int>(TagKind::Italic);
    if (offset < 0)
        return false;
    *tag = static_cast<StyleTag>(offset / 2);
    *closing = offset % 2 == 1;
    return true;
}
bool StartParameterBlock(TagKind kind);
void ResolveParagraphBreak(int c);
void StartSubtitle();

// The listener of this conversion's subtitles.
inline const SubtitleListener &Listener()
{
    return *conversion_state.text.listener;
}

// Whether nothing is written where the text now stands: outside the chosen class, in a
// parameter block, or before the first subtitle of Sync Save.
inline bool TextIsHidden()
{
    const ConversionState &state = conversion_state;
    return state.paragraphs.text_hidden || state.text.parameter_block != TagKind::Other ||
           (state.options.mode == ConversionMode::Sync && !state.text.in_subtitle);
}

// Whether the output's current line holds a byte other than a blank or a tab.
bool LineHoldsText();

// True after a Sync Save of an input without a complete SYNC tag: nothing was written.
bool MissedSyncTag();

// Paragraph steps, when a class is chosen or listed.
void StartParagraphs();
void ReadParagraphClass();
bool ReadParagraphClassAt(const unsigned char *p, const unsigned char *gt);
void EndParagraph();

// A font tag's color attribute, read as ReadParagraphClass reads a class: into font_colour.
void ReadFontColour();
bool ReadFontColourAt(const unsigned char *p);

// The colour a font tag's color value stands for, as HTML reads it; NO_COLOUR for none.
std::uint32_t FontColour();
std::uint32_t ParseLegacyColour(const unsigned char *value, std::size_t length, bool cut);

// Whether P tags' classes are read: a class is chosen, the classes are being listed, or the
// listener reads them.
bool ReadsClasses();

// Whether the style tags of a subtitle are read: its listener wants them.
bool ReadsStyles();

// True when a class was chosen and no P tag of the input had it.
bool MissedChosenClass();

// The entry of class_list for class_name, in any case; -1 when it has none.
int FindListedClass(const char *class_name);
// Whether two class names are the same class: in any case.
bool SameClassName(const char *left, const char *right);
// Which name of the chosen list class_name is, from 0; -1 for none.
int ChosenClassIndex(const char *class_name);
// The first name of the chosen list no P tag had, at out; false when none.
bool MissedClassName(char *out);

// Reads the whole input, writing nothing, to fill class_list and each class's sample.
void ListParagraphClasses();

// Sync-mode steps called from SkipTagSync, WriteChar and CopyTextRun.
void WriteSubtitleBytes(const unsigned char *bytes, std::size_t count);
void ReadSyncValue();

// The start time captured in sync_value, in ms.
std::uint32_t ReadStartTime();

/* PutTwoDigits
 *     Puts value (0..99) as two digits at out: one look instead of a division each. */
inline void PutTwoDigits(std::uint32_t value, unsigned char *out)
{
    static constexpr char TWO_DIGITS[] =
        "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243"
        "4445464748495051525354555657585960616263646566676869707172737475767778798081828384858687"
        "888990919293949596979899";
    std::memcpy(out, TWO_DIGITS + 2 * value, 2);
}

// The longest stamp: four digits of hours (2^32 - 1 ms is 1193 hours) and « :MM :SS  ».
constexpr std::size_t TIME_STAMP_SIZE = 16;
std::size_t PutTimeStamp(unsigned char *out);

// Reads the entity whose '&' is current_char; see entity.cpp.
enum class EntityRead { NotAnEntity, Removed, Decoded };
EntityRead ReadEntity();

/* ReadCommonEntity
 *     The entities nearly every file uses, in their usual spelling, told at one look: the
 *     length, ';' included, of the one that the available bytes at name (after the '&') begin
 *     with, its character in character; 0 for any other. */
inline std::size_t ReadCommonEntity(const unsigned char *name, std::size_t available,
                                    unsigned char *character)
{
    if (available >= 5 && std::memcmp(name, "nbsp;", 5) == 0) {
        *character = ' ';
        return 5;
    }
    if (available >= 5 && std::memcmp(name, "quot;", 5) == 0) {
        *character = '"';
        return 5;
    }
    if (available >= 4 && std::memcmp(name, "amp;", 4) == 0) {
        *character = '&';
        return 4;
    }
    return 0;
}

// Looks at the input's first bytes for a UTF-16 byte order mark and sets encoding. Loses
// nothing: the bytes it looked at are read again by the conversion.
TextEncoding DetectTextEncoding();

// Decides from the bytes the read buffer holds, before anything is written, whether the text
// is Unicode; sets text_is_unicode.
void DetectUnicodeText();

// Whether the input is decoded into UTF-8: UTF-8 output was asked for, or an encoding named.
bool DecodesInput();

// The UTF-16 byte order a named encoding stands for, or Bytes when it is not UTF-16.
TextEncoding ChosenUtf16Encoding();

// Decides, before anything is written, what the bytes of a byte file are and reads the rest of
// it through the decoder: UTF-8 by its mark or its first bytes, the encoding named, or the one
// the platform guesses.
void StartDecoding();

// Whether the name is one StartDecoding can read: for the callers to check before converting.
bool IsReadableEncoding(const char *name);
