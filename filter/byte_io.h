// The filter's only reads and writes: its own buffers, inline because they run once a byte.
#pragma once

#include "conversion_state.h"
#include "write_buffer.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

constexpr int CTRL_Z = 0x1A;
// Room for twice the bytes that decide whether a file is UTF-8, CR LF counting as one.
constexpr std::size_t READ_BUFFER_SIZE = 192 * 1024;

extern unsigned char read_buffer[READ_BUFFER_SIZE + BUFFER_SLACK];

// Moves the unread bytes to the front and appends more; false when nothing more came.
bool FillReadBuffer();

// Makes count bytes (or all that are left) stand unread in read_buffer; returns how many do.
std::size_t EnsureLookAhead(std::size_t count);

// Starts a conversion's reading and writing: nothing read but what DetectTextEncoding looked
// at, nothing written.
void StartBuffers();

// Copies a UTF-8 byte order mark that opens the input.
void CopyByteOrderMark();

// What a UTF-8 sequence is: whole and valid, not valid, or cut by the end of the bytes.
enum class SequenceRead { Valid, Invalid, Cut };

/* ReadUtf8Sequence
 *     Reads the sequence led by bytes[0] (not ASCII) of length available bytes; *length is its
 *     length, or how many bytes one U+FFFD stands for: the longest start of a valid sequence,
 *     at least one byte. */
SequenceRead ReadUtf8Sequence(const unsigned char *bytes, std::size_t available,
                              std::size_t *length);

// A byte file's bytes as they are, and decoded into UTF-8 (legacy_text.cpp).
std::size_t ReadFromBytes(unsigned char *destination, std::size_t capacity);
std::size_t ReadFromLegacyText(unsigned char *destination, std::size_t capacity);

// The UTF-16 side of the buffers.
std::size_t ReadFromUtf16(unsigned char *destination, std::size_t capacity);
void WriteAsUtf16(const unsigned char *bytes, std::size_t count, bool final);

/* ReadByte
 *     Next byte of the input (0..255) or EOF, which then stays EOF; a CR that stands before an
 *     LF is read with it, as the LF. The buffer never ends with such a CR while more follows. */
inline int ReadByte()
{
    ConversionState &state = conversion_state;
    if (VELMORA_RARELY(state.reading.read_position == state.reading.read_length) &&
        !FillReadBuffer()) {
        state.reading.input_ended = true;
        return EOF;
    }
    int c = read_buffer[state.reading.read_position++];
    if (VELMORA_RARELY(c == '\r') && state.reading.joins_line_ends &&
        state.reading.read_position < state.reading.read_length &&
        read_buffer[state.reading.read_position] == '\n')
        c = read_buffer[state.reading.read_position++];
    return c;
}
