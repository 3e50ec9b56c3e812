// The writers of the timed formats, one file each (srt_writer.cpp, vtt_writer.cpp,
// tsv_writer.cpp, json_writer.cpp), behind one small table the cue path drives, and the styles
// SubRip and WebVTT keep (cue_styles.cpp). UTF-8 with '\n' line ends that the output stream
// makes the platform's.
#pragma once

#include "conversion_state.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// What one format puts where. A unit is what opens with a head holding the times: a cue in
// SubRip and WebVTT, each paragraph of a cue (a row) in TSV and JSON Lines.
struct CueWriter {
    bool rows;     // a unit is a paragraph: else a cue, whose paragraphs are lines
    bool styles;   // italic, bold and underline are written
    bool colours;  // and colour
    bool numbered; // each cue opens with its number, counted from 1 in the order written
    // Before the first cue, straight into the write buffer: WEBVTT, the TSV header.
    void (*put_file_head)();
    // Puts a unit's head at out, its end left as room of *end_length bytes at *end_at: the
    // length the end takes when it is written as the start is. head_room bytes at most.
    std::size_t head_room;
    unsigned char *(*put_head)(unsigned char *out, std::uint32_t start, const char *class_name,
                               std::size_t class_length, unsigned char **end_at,
                               std::size_t *end_length);
    // Puts a unit's end time at out; returns its length, at most 20.
    std::size_t (*put_end)(std::uint64_t end, unsigned char *out);
    // Puts text at out as the format writes it, each byte taking text_room bytes at most.
    std::size_t text_room;
    unsigned char *(*put_text)(unsigned char *out, const unsigned char *bytes, std::size_t count);
    // Between two lines of a unit, and after the unit's last text.
    const char *line_separator;
    const char *unit_end;
};

extern const CueWriter SRT_WRITER;
extern const CueWriter VTT_WRITER;
extern const CueWriter TSV_WRITER;
extern const CueWriter JSON_WRITER;

// Shared by the writers: a decimal number and a time as «HH:MM:SS», separator and «mmm».
constexpr std::size_t NUMBER_SIZE = 20;
constexpr std::size_t CUE_TIME_SIZE = 20;
std::size_t PutNumber(std::uint64_t value, unsigned char *out);
std::size_t PutCueTime(std::uint64_t ms, char separator, unsigned char *out);

// The styles of SubRip and WebVTT: what the style tags of a paragraph put in force, and the
// tags written for it, always well nested.
constexpr std::size_t STYLE_ROOM = 4 * (sizeof "<font color=\"#rrggbb\">" + sizeof "</font>");
// A conversion begins: colours are written or not.
void StartStyles(bool colours);
// A cue or a paragraph begins: no style is in force.
void ForgetStyleTags();
// A style tag of the paragraph, opening or closing.
void TakeStyleTag(StyleTag tag, bool closing, std::uint32_t colour);
// Puts what goes before text at out: the closing tags of the styles no longer in force, the
// separator, then the opening tags of those in force and not open. STYLE_ROOM and the
// separator at most.
unsigned char *PutStylesBeforeText(unsigned char *out, const char *separator);
// Puts the closing tags of every open style at out: the cue's text is over.
unsigned char *PutClosingStyles(unsigned char *out);

// The escaping writers look at eight bytes at once for one to escape; the first such word
// they meet is then read a byte at a time.
constexpr std::uint64_t EVERY_BYTE = 0x0101010101010101ull;
inline std::uint64_t LoadEightBytes(const unsigned char *p)
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}
// Whether a byte of word is c.
inline bool HasByte(std::uint64_t word, unsigned char c)
{
    std::uint64_t zero_where_c = word ^ (EVERY_BYTE * c);
    return ((zero_where_c - EVERY_BYTE) & ~zero_where_c & (EVERY_BYTE * 0x80)) != 0;
}
// Whether a byte of word is below limit (at most 0x80).
inline bool HasByteBelow(std::uint64_t word, unsigned char limit)
{
    return ((word - EVERY_BYTE * limit) & ~word & (EVERY_BYTE * 0x80)) != 0;
}

inline unsigned char *PutBytes(unsigned char *out, const char *text, std::size_t length)
{
    std::memcpy(out, text, length);
    return out + length;
}
