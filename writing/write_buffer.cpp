// The write buffer: blocks of output handed to output_stream (or the caller's writer), encoded
// back into UTF-16 for a UTF-16 input.
#include "write_buffer.h"

#include "conversion_state.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

unsigned char write_buffer[WRITE_BUFFER_SIZE + BUFFER_SLACK];

void DiscardOutput()
{
    conversion_state.writing.write_length = 0;
}

/* LineHoldsText
 *     Looks back from the last byte written to the line's start for a byte other than a blank
 *     or a tab; what the last flush took out of view is remembered. */
bool LineHoldsText()
{
    const ConversionState &state = conversion_state;
    for (std::size_t k = state.writing.write_length; k > state.writing.line_floor; k--) {
        unsigned char c = write_buffer[k - 1];
        if (c == '\n' || c == '\r')
            return false;
        if (c != ' ' && c != '\t')
            return true;
    }
    return state.writing.line_text_written_out;
}

/* WriteOut
 *     Hands what write_buffer holds to output_stream, encoded for a UTF-16 output, which keeps
 *     a sequence cut by the buffer's end for the next time unless final. */
static void WriteOut(bool final)
{
    ConversionState &state = conversion_state;
    state.writing.line_text_written_out = LineHoldsText();
    state.writing.line_floor = 0;
    if (state.options.text_writer != nullptr)
        state.options.text_writer(write_buffer, state.writing.write_length, final);
    else if (state.output_stream == nullptr)
        state.writing.write_length = 0; // the input is only read, for its classes
    else if (state.reading.encoding != TextEncoding::Bytes && !state.options.utf8_output)
        WriteAsUtf16(write_buffer, state.writing.write_length, final);
    else if (state.writing.write_length > 0)
        fwrite(write_buffer, 1, state.writing.write_length, state.output_stream);
    state.writing.write_length = 0;
}

void FlushWriteBuffer()
{
    WriteOut(false);
}

void FinishWriting()
{
    WriteOut(true);
}

void FlushWriteBufferBefore(std::size_t keep_from)
{
    ConversionState &state = conversion_state;
    std::size_t kept = state.writing.write_length - keep_from;
    state.writing.write_length = keep_from;
    WriteOut(false);
    std::memmove(write_buffer, write_buffer + keep_from, kept);
    state.writing.write_length = kept;
}

void WriteBytesAround(const unsigned char *bytes, std::size_t count)
{
    ConversionState &state = conversion_state;
    state.writing.mid_line = bytes[count - 1] != '\n';
    while (count > 0) {
        if (state.writing.write_length == WRITE_BUFFER_SIZE)
            FlushWriteBuffer();
        std::size_t room = WRITE_BUFFER_SIZE - state.writing.write_length;
        std::size_t part = count < room ? count : room;
        std::memcpy(write_buffer + state.writing.write_length, bytes, part);
        state.writing.write_length += part;
        bytes += part;
        count -= part;
    }
}
