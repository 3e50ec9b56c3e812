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

#if defined(__GNUC__)
#define VELMORA_RARELY(condition) __builtin_expect(static_cast<long>(condition), 0L)
#else
#define VELMORA_RARELY(condition) (condition)
#endif

constexpr int CTRL_Z = 0x1A;

/* ReadHeldByte
 *     The pushed-back byte, read once, or EOF, which is held for good once the input ended. */
inline int ReadHeldByte()
{
    ConversionState &state = conversion_state;
    if (state.pending_char != EOF)
        state.has_pending_char = false;
    return state.pending_char;
}

/* ReadControlByte
 *     Finishes a read that met EOF or a control byte: outside Windows CR LF reads as LF and a
 *     byte 0x1A ends the input, as the Windows text mode does. */
inline int ReadControlByte(int c)
{
    ConversionState &state = conversion_state;
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
    // The end is held like a pushed-back byte: the stream is never read past a 0x1A, and the
    // common path tests a single flag.
    if (c == EOF) {
        state.input_ended = true;
        state.pending_char = EOF;
        state.has_pending_char = true;
    }
    return c;
}

/* ReadByte
 *     Next byte of the input (0..255) or EOF, which then stays EOF. A byte above 0x1A needs no
 *     more than the buffer read, so one test sends EOF and the control bytes the long way. */
inline int ReadByte()
{
    ConversionState &state = conversion_state;
    if (VELMORA_RARELY(state.has_pending_char))
        return ReadHeldByte();
    int c = VELMORA_GETC(state.input_stream);
    if (VELMORA_RARELY(c <= CTRL_Z))
        return ReadControlByte(c);
    return c;
}

/* PushBackChar
 *     Makes the next ReadByte return c again (one byte, never EOF). Nothing comes back after
 *     the end of the input. */
inline void PushBackChar(int c)
{
    if (conversion_state.input_ended)
        return;
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
