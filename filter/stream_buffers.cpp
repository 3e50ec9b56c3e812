// The filter's buffers between it and the streams: blocks read from input_stream as the filter
// is to see them, and blocks of output written to output_stream.
#include "byte_io.h"
#include "conversion_state.h"

#include <cstdio>
#include <cstring>

unsigned char read_buffer[READ_BUFFER_SIZE];
unsigned char write_buffer[WRITE_BUFFER_SIZE];

/* EndAtCtrlZ
 *     Applies the Windows text-mode rule that a byte 0x1A ends the input to a block read in
 *     binary. Returns the block's new length. */
static std::size_t EndAtCtrlZ(unsigned char *bytes, std::size_t length)
{
    auto *ctrl_z = static_cast<unsigned char *>(std::memchr(bytes, CTRL_Z, length));
    if (ctrl_z == nullptr)
        return length;
    conversion_state.source_ended = true; // nothing after a 0x1A is ever read
    return static_cast<std::size_t>(ctrl_z - bytes);
}

/* ReadFromBytes
 *     Reads up to capacity bytes of a byte file into destination, the bytes DetectTextEncoding
 *     took first. Returns how many, 0 only when the stream has nothing more. */
static std::size_t ReadFromBytes(unsigned char *destination, std::size_t capacity)
{
    ConversionState &state = conversion_state;
    // Only a block that starts with a 0x1A gives nothing.
    while (!state.source_ended) {
        std::size_t length = static_cast<std::size_t>(state.raw_prefix_length);
        std::memcpy(destination, state.raw_prefix, length);
        state.raw_prefix_length = 0;
        length += fread(destination + length, 1, capacity - length, state.input_stream);
        if (length == 0) {
            state.source_ended = true;
            return 0;
        }
        if (TranslatesLineEnds())
            length = EndAtCtrlZ(destination, length);
        if (length > 0)
            return length;
    }
    return 0;
}

bool FillReadBuffer()
{
    ConversionState &state = conversion_state;
    if (state.source_ended)
        return false;
    std::size_t kept = state.read_length - state.read_position;
    std::memmove(read_buffer, read_buffer + state.read_position, kept);
    state.read_position = 0;
    state.read_length = kept;
    std::size_t added = state.encoding == TextEncoding::Bytes
                            ? ReadFromBytes(read_buffer + kept, READ_BUFFER_SIZE - kept)
                            : ReadFromUtf16(read_buffer + kept, READ_BUFFER_SIZE - kept);
    state.read_length += added;
    return added > 0;
}

int ReadCarriageReturn()
{
    ConversionState &state = conversion_state;
    if (TranslatesLineEnds() && EnsureLookAhead(1) > 0 &&
        read_buffer[state.read_position] == '\n') {
        state.read_position++;
        return '\n';
    }
    return '\r';
}

std::size_t EnsureLookAhead(std::size_t count)
{
    ConversionState &state = conversion_state;
    while (state.read_length - state.read_position < count && FillReadBuffer()) {
    }
    return state.read_length - state.read_position;
}

void FlushWriteBuffer()
{
    ConversionState &state = conversion_state;
    if (state.encoding != TextEncoding::Bytes)
        WriteAsUtf16(write_buffer, state.write_length, false);
    else if (state.write_length > 0)
        fwrite(write_buffer, 1, state.write_length, state.output_stream);
    state.write_length = 0;
}

void FinishWriting()
{
    ConversionState &state = conversion_state;
    if (state.encoding != TextEncoding::Bytes)
        WriteAsUtf16(write_buffer, state.write_length, true);
    else if (state.write_length > 0)
        fwrite(write_buffer, 1, state.write_length, state.output_stream);
    state.write_length = 0;
}

void WriteBytes(const unsigned char *bytes, std::size_t count)
{
    ConversionState &state = conversion_state;
    if (count == 0)
        return;
    state.mid_line = bytes[count - 1] != '\n';
    while (count > 0) {
        if (state.write_length == WRITE_BUFFER_SIZE)
            FlushWriteBuffer();
        std::size_t room = WRITE_BUFFER_SIZE - state.write_length;
        std::size_t part = count < room ? count : room;
        std::memcpy(write_buffer + state.write_length, bytes, part);
        state.write_length += part;
        bytes += part;
        count -= part;
    }
}

TextEncoding DetectTextEncoding()
{
    ConversionState &state = conversion_state;
    state.encoding = TextEncoding::Bytes;
    state.raw_prefix_length = 0;
    int first = getc(state.input_stream);
    if (first == EOF)
        return state.encoding;
    state.raw_prefix[state.raw_prefix_length++] = static_cast<unsigned char>(first);
    if (first != 0xFF && first != 0xFE)
        return state.encoding;
    int second = getc(state.input_stream);
    if (second == EOF)
        return state.encoding;
    if (second == (first ^ 0x01)) { // FF FE or FE FF: the mark is not part of the text
        state.raw_prefix_length = 0;
        state.encoding = first == 0xFF ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
        return state.encoding;
    }
    state.raw_prefix[state.raw_prefix_length++] = static_cast<unsigned char>(second);
    return state.encoding;
}
