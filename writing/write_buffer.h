// The write buffer: the output's one way out, shared by the filter and by whatever listens to
// a subtitle's events (Sync Save's stamps, the cue path of the timed formats), so that it
// stands below both.
#pragma once

#include "conversion_state.h"

#include <cstddef>
#include <cstring>

// The sanitizer build tests the portable scans that builds without SSE2 use.
#if defined(__SSE2__) && !defined(VELMORA_PORTABLE_SCANS)
#define VELMORA_SSE2_SCANS
#include <emmintrin.h>
#endif

#if defined(__GNUC__)
#define VELMORA_RARELY(condition) __builtin_expect(static_cast<long>(condition), 0L)
#else
#define VELMORA_RARELY(condition) (condition)
#endif

constexpr std::size_t WRITE_BUFFER_SIZE = 64 * 1024;
// The fast scans load and store whole chunks: past the last byte that counts, they may read and
// write this much more of either buffer.
constexpr std::size_t BUFFER_SLACK = 64;

extern unsigned char write_buffer[WRITE_BUFFER_SIZE + BUFFER_SLACK];

// Bytes past a subtitle's text that a listener may read (and past its output, write): the
// read buffer's slack, or that of the array the text stands in.
constexpr std::size_t TEXT_SLACK = 16;
static_assert(TEXT_SLACK <= BUFFER_SLACK, "the buffers' slack holds a chunk");

/* CopyChunks
 *     Copies count bytes from from to out sixteen at a time, reading and writing up to 15 bytes
 *     past them. */
inline unsigned char *CopyChunks(unsigned char *out, const unsigned char *from, std::size_t count)
{
    for (std::size_t k = 0; k < count; k += TEXT_SLACK)
        std::memcpy(out + k, from + k, TEXT_SLACK);
    return out + count;
}

// Whether the output's current line holds a byte other than a blank or a tab.
bool LineHoldsText();

// Writes what write_buffer holds to output_stream.
void FlushWriteBuffer();

// Writes the bytes below keep_from and moves the rest to the front: what stays waits for bytes
// that go before it in the output but are not known yet.
void FlushWriteBufferBefore(std::size_t keep_from);

// Forgets what write_buffer holds: none of it is written.
void DiscardOutput();

// Writes the rest at the end of a conversion: a UTF-16 output gets at least its mark.
void FinishWriting();

// The UTF-16 side of the output (utf16_output.cpp).
void WriteAsUtf16(const unsigned char *bytes, std::size_t count, bool final);

// Writes count bytes that do not fit in what write_buffer has left.
void WriteBytesAround(const unsigned char *bytes, std::size_t count);

/* WriteBytes
 *     Writes count bytes at once and remembers whether the output now stands at the start of
 *     a line. */
inline void WriteBytes(const unsigned char *bytes, std::size_t count)
{
    ConversionState &state = conversion_state;
    if (count == 0)
        return;
    if (VELMORA_RARELY(count > WRITE_BUFFER_SIZE - state.writing.write_length)) {
        WriteBytesAround(bytes, count);
        return;
    }
    std::memcpy(write_buffer + state.writing.write_length, bytes, count);
    state.writing.write_length += count;
    state.writing.mid_line = bytes[count - 1] != '\n';
}

/* WriteByte
 *     Writes one byte and remembers whether the output now stands at the start of a line. */
inline void WriteByte(int c)
{
    ConversionState &state = conversion_state;
    if (VELMORA_RARELY(state.writing.write_length == WRITE_BUFFER_SIZE))
        FlushWriteBuffer();
    write_buffer[state.writing.write_length++] = static_cast<unsigned char>(c);
    state.writing.mid_line = c != '\n';
}
