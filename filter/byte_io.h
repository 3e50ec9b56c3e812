// The filter's one read, inline because it runs once a byte, and the buffers it reads and
// writes.
#pragma once

#include "conversion_state.h"
#include "read_buffer.h"
#include "write_buffer.h"

#include <cstddef>
#include <cstdio>

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
