// The subtitle filter: one forward pass over a SAMI byte stream, one character of state.
// Every step works on the process-wide conversion_state and takes no arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int SYNC_VALUE_SIZE = 20;
constexpr int ENTITY_NAME_SIZE = 31; // the longest name (or number) an entity may have
constexpr int CLASS_NAME_SIZE = 64;  // a paragraph's class kept, with a terminating zero
constexpr int CLASS_LIST_SIZE = 256; // distinct classes a file's list holds; more are left out
constexpr int TAG_NAME_SIZE = 10;    // the longest name that means something, and one byte more

enum class ConversionMode { Plain, Sync };

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
};

// One class the P tags of a file use, as first written, and how many P tags use it.
struct ParagraphClass {
    char name[CLASS_NAME_SIZE];
    long count;
};

struct ConversionState {
    FILE *input_stream;           // the subtitle being read; opened "r" by the caller
    FILE *output_stream;          // the text being written; opened "w" by the caller
    bool byte_at_a_time;          // no fast scans: the steps alone, the model of the rules
    ConversionMode mode;          // the conversion's mode, for the fast scans
    int current_char;             // the byte under examination (0..255) or EOF
    bool current_is_text;         // current_char stands for an entity: text, never markup
    unsigned char entity_text[4]; // the UTF-8 bytes of that entity's character
    int entity_length;
    char sync_value[SYNC_VALUE_SIZE]; // a SYNC tag's value and its closing '>'
    std::int32_t sync_value_length;   // value characters before that '>'
    TagKind tag_kind;                 // what the name of the tag being read says it is

    // Reading: the filter's own buffer of the input, refilled from input_stream.
    TextEncoding encoding;       // set by DetectTextEncoding
    std::size_t read_position;   // next unread byte of read_buffer
    std::size_t read_length;     // bytes read_buffer holds
    bool input_ended;            // a read has met the end of the input
    bool source_ended;           // input_stream has nothing more to give
    unsigned char raw_prefix[2]; // bytes DetectTextEncoding took from the stream, read first
    int raw_prefix_length;
    bool input_binary;    // the input stream is binary on Windows: the filter applies the
                          // text-mode line-end rules itself
    bool text_is_unicode; // UTF-16, or UTF-8 by its mark or its first bytes: entities may
                          // stand for any character

    // Writing: the filter's own buffer of the output, flushed to output_stream.
    std::size_t write_length;   // bytes waiting in write_buffer
    bool mid_line;              // the last byte written was not a line end
    std::size_t line_floor;     // write_buffer holds no text of its line below this (a mark)
    bool line_text_written_out; // the current line's text began before the last flush

    // UTF-16: what a block boundary leaves undecided, both ways.
    bool utf16_has_held_byte; // an odd byte waits for the other half of its unit
    unsigned char utf16_held_byte;
    std::uint32_t utf16_held_surrogate; // a high surrogate waits for its low one; 0 for none
    bool utf16_held_cr;                 // a CR waits to see whether an LF follows
    bool utf16_mark_written;            // the output's byte order mark is out
    unsigned char utf8_held[4];         // the start of a UTF-8 sequence the last flush cut
    std::size_t utf8_held_length;

    // Where the text stands.
    bool line_break_pending;      // a line-break tag whose next byte decides on a line end
    bool in_subtitle;             // sync mode: a SYNC tag has started the subtitles
    bool stamp_pending;           // sync mode: the subtitle's stamp waits for its first text byte
    bool blank_pending;           // sync mode: white space between two text bytes of a subtitle
    bool stamp_written;           // sync mode: a subtitle reached the output
    bool paragraph_break_pending; // Save: the next text byte starts a line of its own
    TagKind parameter_block;      // the start tag of the parameter block being read, or Other

    // Paragraphs of one class: with chosen_class set, only their text is written.
    char chosen_class[CLASS_NAME_SIZE];    // set by the caller; empty: every paragraph
    bool listing_classes;                  // paragraph classes are read even with none chosen
    bool text_hidden;                      // outside a paragraph of the chosen class
    bool chosen_class_found;               // a P tag of the chosen class was read
    char paragraph_class[CLASS_NAME_SIZE]; // the class of the P tag being read
};

extern ConversionState conversion_state;

// The classes the P tags of the last file read use, in order of first use. Kept when the
// streams close, for the caller to report.
struct ClassList {
    ParagraphClass classes[CLASS_LIST_SIZE];
    int length;
};

extern ClassList class_list;

// Plain and sync steps, in the order one cycle runs them.
void CopyTextRun();
bool ReadChar();
void SkipTag();
void SkipTagSync();
void WriteChar();
void RunConversion(ConversionMode mode);
void CloseStreams();

// Tag steps shared by both modes, and what a complete tag does.
inline bool EndsTagName(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '/' || c == '>' || c == EOF;
}
// A '<' followed by white space, a digit or the end of the input is text, not a tag.
inline bool KeepsLessThan(int next)
{
    return next == ' ' || next == '\t' || next == '\n' || next == '\r' ||
           (next >= '0' && next <= '9') || next == EOF;
}
inline bool OpensParameterBlock(TagKind kind)
{
    return kind == TagKind::Style || kind == TagKind::SamiParam || kind == TagKind::Script;
}
TagKind ClassifyTagName(const unsigned char *name, int length, bool closing);
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
void MarkParagraph();
void ResolveParagraphBreak(int c);
void StartSubtitle();

// Whether nothing is written where the text now stands: outside the chosen class, in a
// parameter block, or before the first subtitle of Sync Save.
inline bool TextIsHidden()
{
    const ConversionState &state = conversion_state;
    return state.text_hidden || state.parameter_block != TagKind::Other ||
           (state.mode == ConversionMode::Sync && !state.in_subtitle);
}

// Whether the output's current line holds a byte other than a blank or a tab.
bool LineHoldsText();

// True after a Sync Save of an input without a complete SYNC tag: nothing was written.
bool MissedSyncTag();

// Paragraph steps, when a class is chosen or listed.
void ReadParagraphClass();
void EndParagraph();

// Whether P tags' classes are read: a class is chosen, or the classes are being listed.
bool ReadsClasses();

// True when a class was chosen and no P tag of the input had it.
bool MissedChosenClass();

// Reads the whole input, writing nothing, to fill class_list.
void ListParagraphClasses();

// Sync-mode steps called from SkipTagSync, WriteChar and CopyTextRun.
void StartSubtitleText();
void ReadSyncValue();
void WriteTimeStamp();

// Reads the entity whose '&' is current_char; see entity.cpp.
enum class EntityRead { NotAnEntity, Removed, Decoded };
EntityRead ReadEntity();

// Looks at the input's first bytes for a UTF-16 byte order mark and sets encoding. Loses
// nothing: the bytes it looked at are read again by the conversion.
TextEncoding DetectTextEncoding();

// Decides from the bytes the read buffer holds, before anything is written, whether the text
// is Unicode; sets text_is_unicode.
void DetectUnicodeText();
