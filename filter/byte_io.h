// The filter's only reads and writes of the streams, inline because they run once a byte.
#pragma once

#include "conversion_state.h"

#include <cstdio>

#if defined(_WIN32)
#define VELMORA_GETC _getc_nolock
#define VELMORA_PUTC _putc_nolock
#elif defined(__unix__) || defined(__APPLE__)
#define VELMORA_GETC getc_unlocked
#define VELMORA_PUTC putc_unlocked
#else
#define VELMORA_GETC getc
#define VELMORA_PUTC putc
#endif

constexpr int CTRL_Z = 0x1A;

/* ReadByte
 *     Next byte of the input (0..255) or EOF, which then stays EOF. Outside Windows it does what
 *     the Windows text mode does: CR LF reads as LF and a byte 0x1A ends the input. */
inline int ReadByte()
{
    ConversionState &state = conversion_state;
    if (state.has_pending_char) {
        state.has_pending_char = false;
        return state.pending_char;
    }
    if (state.input_ended)
        return EOF;
    int c = VELMORA_GETC(state.input_stream);
#if !defined(_WIN32)
    if (c == '\r') {
        int next = VELMORA_GETC(state.input_stream);
        if (next == '\n')
            return '\n';
        ungetc(next, state.input_stream); // a lone CR stays; ungetc(EOF) keeps the end
        return '\r';
    }
    if (c == CTRL_Z)
        c = EOF;
#endif
    if (c == EOF)
        state.input_ended = true;
    return c;
}

/* PushBackChar
 *     Makes the next ReadByte return c again (one byte, never EOF). */
inline void PushBackChar(int c)
{
    conversion_state.pending_char = c;
    conversion_state.has_pending_char = true;
}

/* WriteByte
 *     Writes one byte and remembers whether the output now stands at the start of a line. */
inline void WriteByte(int c)
{
    VELMORA_PUTC(c, conversion_state.output_stream);
    conversion_state.mid_line = c != '\n';
}
