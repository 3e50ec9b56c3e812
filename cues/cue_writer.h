// The writers of the timed formats, one file each (srt_writer.cpp, vtt_writer.cpp,
// tsv_writer.cpp, json_writer.cpp), chosen by options.cue_format. They write through the
// filter's write buffer, UTF-8 with '\n' line ends that the output stream makes the platform's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// One cue as the buffer hands it over: its times and its paragraphs. Each paragraph is a
// record: its class's length (one byte), the class, its text's length (four bytes, the
// machine's order), the text, its lines separated by '\n'.
struct Cue {
    std::uint32_t start; // ms
    std::uint64_t end;   // ms; past 2^32 when the last duration is added to a late start
    std::size_t offset;  // where its paragraphs begin in the buffer
    std::size_t length;  // bytes of its paragraphs
};

// One paragraph of a cue, read from its record.
struct CueParagraph {
    const unsigned char *class_name;
    std::size_t class_length;
    const unsigned char *text;
    std::size_t text_length;
};

// Reads the paragraph record at *at (below end) and moves *at past it.
CueParagraph ReadCueParagraph(const unsigned char **at);

// Before the first cue: the format's head (WEBVTT, the TSV header).
void WriteCueHead();

// One cue, its paragraphs the length bytes at paragraphs.
void WriteCue(const Cue &cue, const unsigned char *paragraphs);

// The writers, one a format.
void WriteSrtHead();
void WriteSrtCue(const Cue &cue, const unsigned char *paragraphs);
void WriteVttHead();
void WriteVttCue(const Cue &cue, const unsigned char *paragraphs);
void WriteTsvHead();
void WriteTsvCue(const Cue &cue, const unsigned char *paragraphs);
void WriteJsonCue(const Cue &cue, const unsigned char *paragraphs);

// Where the writer that got to out goes on, with room there for count bytes, at most
// WRITE_BUFFER_SIZE: what the write buffer holds is written out first when it lacks the room.
// The writers put a cue's pieces straight into the buffer, one look for room each.
unsigned char *MakeOutputRoom(unsigned char *out, std::size_t count);

// The writer is done at out, after a line end.
void EndOutputAt(unsigned char *out);

// Shared by the writers, which put a cue's head together before writing it at once: a decimal
// number, a time as «HH:MM:SS», separator and «mmm», and «start --> end».
constexpr std::size_t NUMBER_SIZE = 20;
constexpr std::size_t CUE_TIME_SIZE = 20;
std::size_t PutNumber(std::uint64_t value, unsigned char *out);
std::size_t PutCueTime(std::uint64_t ms, char separator, unsigned char *out);
std::size_t PutCueTimes(const Cue &cue, char separator, unsigned char *out);

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
