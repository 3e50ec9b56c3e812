// The writers of the timed formats, one file each (srt_writer.cpp, vtt_writer.cpp,
// tsv_writer.cpp, json_writer.cpp), behind one small table the cue path drives, and the styles
// SubRip and WebVTT keep (cue_styles.cpp). UTF-8 with '\n' line ends that the output stream
// makes the platform's.
#pragma once

#include "conversion_state.h"
#include "subtitle_events.h"
#include "time_stamp.h"

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
    // Puts a row's head at out, its end left as room of *end_length bytes at *end_at: the
    // length the end takes when it is written as the start is. head_room bytes at most. A
    // cue's head is its times, PutTimesHead (null here).
    std::size_t head_room;
    unsigned char *(*put_head)(unsigned char *out, std::uint32_t start, const char *class_name,
                               std::size_t class_length, unsigned char **end_at,
                               std::size_t *end_length);
    // How the end goes in the room left for it: a time whose milliseconds follow this, or,
    // when it is 0, milliseconds in decimal.
    char time_separator;
    // Puts text at out as the format writes it, each byte taking text_room bytes at most; a
    // subtitle's text holds no tab or line end, so where text_room is 1 it is copied as it is.
    std::size_t text_room;
    unsigned char *(*put_text)(unsigned char *out, const unsigned char *bytes, std::size_t count);
    // Between two lines of a unit, and after the unit's last text; SEPARATOR_ROOM and
    // UNIT_END_ROOM bytes may be read of them.
    const char *line_separator;
    std::size_t separator_length;
    const char *unit_end;
    std::size_t unit_end_length;
};
constexpr std::size_t SEPARATOR_ROOM = 2;
constexpr std::size_t UNIT_END_ROOM = 4;

extern const CueWriter SRT_WRITER;
extern const CueWriter VTT_WRITER;
extern const CueWriter TSV_WRITER;
extern const CueWriter JSON_WRITER;

// Shared by the writers: a decimal number and a time as «HH:MM:SS», separator and «mmm».
constexpr std::size_t NUMBER_SIZE = 20;
constexpr std::size_t CUE_TIME_SIZE = 20;
constexpr std::size_t SHORT_CUE_TIME = 12;            // «HH:MM:SS,mmm»
constexpr std::uint64_t HUNDRED_HOURS = 360000000ull; // ms from which hours take more digits
std::size_t PutCueTime(std::uint64_t ms, char separator, unsigned char *out);

// «:MM:SS» for each second of an hour, and «mmm» for each millisecond of a second: a time
// put together from them needs two divisions.
struct CueTimeParts {
    char minutes_seconds[3600][8];
    char milliseconds[1000][4];
};
constexpr CueTimeParts CUE_TIME_PARTS = [] {
    CueTimeParts parts{};
    for (int k = 0; k < 3600; k++) {
        char *part = parts.minutes_seconds[k];
        part[0] = ':';
        part[1] = static_cast<char>('0' + k / 600);
        part[2] = static_cast<char>('0' + k / 60 % 10);
        part[3] = ':';
        part[4] = static_cast<char>('0' + k % 60 / 10);
        part[5] = static_cast<char>('0' + k % 10);
    }
    for (int k = 0; k < 1000; k++) {
        parts.milliseconds[k][0] = static_cast<char>('0' + k / 100);
        parts.milliseconds[k][1] = static_cast<char>('0' + k / 10 % 10);
        parts.milliseconds[k][2] = static_cast<char>('0' + k % 10);
    }
    return parts;
}();

/* PutShortCueTime
 *     PutCueTime for ms below HUNDRED_HOURS, as nearly every time is: twelve bytes, with
 *     divisions of 32 bits. */
inline void PutShortCueTime(std::uint32_t ms, char separator, unsigned char *out)
{
    std::uint32_t seconds = ms / 1000u;
    std::uint32_t hours = seconds / 3600u;
    PutTwoDigits(hours, out);
    std::memcpy(out + 2, CUE_TIME_PARTS.minutes_seconds[seconds - hours * 3600u], 8);
    out[8] = static_cast<unsigned char>(separator);
    std::memcpy(out + 9, CUE_TIME_PARTS.milliseconds[ms - seconds * 1000u], 3);
}

/* PutTimesHead
 *     Puts a cue's head «start --> end» and its line end at out, the end left as room of
 *     *end_length bytes at *end_at: the length the start took. */
inline unsigned char *PutTimesHead(unsigned char *out, std::uint32_t start, char separator,
                                   unsigned char **end_at, std::size_t *end_length)
{
    std::size_t length = SHORT_CUE_TIME;
    if (start < HUNDRED_HOURS)
        PutShortCueTime(start, separator, out);
    else
        length = PutCueTime(start, separator, out);
    std::memcpy(out + length, " --> ", 5);
    *end_at = out + length + 5;
    *end_length = length;
    (*end_at)[length] = '\n';
    return *end_at + length + 1;
}

// How many decimal digits value takes.
inline std::size_t CountDigits(std::uint64_t value)
{
    std::size_t count = 1;
    for (; value >= 10000; value /= 10000)
        count += 4;
    return count + (value >= 10) + (value >= 100) + (value >= 1000);
}

/* PutDigits
 *     Puts value in decimal as the length digits that end at end, two a step. */
inline void PutDigits(std::uint64_t value, unsigned char *end)
{
    for (; value > 0xFFFFFFFFu; value /= 100u) {
        end -= 2;
        PutTwoDigits(static_cast<std::uint32_t>(value % 100u), end);
    }
    auto rest = static_cast<std::uint32_t>(value); // most numbers: cheaper divisions
    for (; rest >= 100; rest /= 100u) {
        end -= 2;
        PutTwoDigits(rest % 100u, end);
    }
    if (rest >= 10)
        PutTwoDigits(rest, end - 2);
    else
        end[-1] = static_cast<unsigned char>('0' + rest);
}

/* PutNumber
 *     Puts value in decimal at out; returns its length, at most 20. */
inline std::size_t PutNumber(std::uint64_t value, unsigned char *out)
{
    std::size_t length = CountDigits(value);
    PutDigits(value, out + length);
    return length;
}

/* PutEndTime
 *     Puts a unit's end as time_separator says; returns its length, at most CUE_TIME_SIZE. */
inline std::size_t PutEndTime(std::uint64_t end, char time_separator, unsigned char *out)
{
    if (time_separator == 0)
        return PutNumber(end, out);
    return PutCueTime(end, time_separator, out);
}

// The styles of SubRip and WebVTT: what the style tags of a paragraph put in force, and the
// tags written for it, always well nested.
constexpr std::size_t STYLE_ROOM = 4 * (sizeof "<font color=\"#rrggbb\">" + sizeof "</font>");
// A conversion begins: colours are written or not.
void StartStyles(bool colours);
// A cue or a paragraph begins: no style is in force. Needed only when styles_open.
void ForgetStyleTags();
// Whether a style tag was taken, or open ones forgotten, since the last text: only then may
// what applies differ, and PutStylesBeforeText be needed.
extern bool styles_changed;
// Whether a style tag or a font is open.
extern bool styles_open;
// Whether a style's tag is open in the output: PutClosingStyles has something to close.
extern bool styles_written;
// A style tag of the paragraph, opening or closing.
void TakeStyleTag(StyleTag tag, bool closing, std::uint32_t colour);
// Puts what goes before text at out: the closing tags of the styles no longer in force, the
// separator, then the opening tags of those in force and not open. STYLE_ROOM and the
// separator at most.
unsigned char *PutStylesBeforeText(unsigned char *out, const char *separator,
                                   std::size_t separator_length);
// Puts the closing tags of every open style at out: the cue's text is over. Needed only when
// styles_written.
unsigned char *PutClosingStyles(unsigned char *out);
// The tags open in the output, kept aside while the text of another cue is made.
struct WrittenStyles {
    int count;
    int styles[4];
    std::uint32_t colours[4];
};
void SaveWrittenStyles(WrittenStyles *saved);
void RestoreWrittenStyles(const WrittenStyles &saved);

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
