// The record of a conversion: what every stage of the filter works on, process-wide. Each stage
// writes its own part and reads the others'; the records below it keep what the last file met
// for the caller to report. The steps take no arguments: this record is how they meet.
//   options     the callers (smi2txt, output/, the tests); RunConversion sets the mode
//   reading     reading/ (the read buffer, UTF-16, legacy text); whatever reads input moves
//               read_position (ReadEntity, the fast path), and utf16_input.cpp ends the input at
//               a U+001A
//   utf16       reading/utf16_input.cpp and writing/utf16_output.cpp
//   decoding    reading/legacy_text.cpp
//   writing     writing/ (the write buffer); the walks hand back where they wrote to
//   text        the filter's steps; the fast path hands back what it did in their stead
//   paragraphs  filter/paragraph.cpp
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct SubtitleListener;

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
