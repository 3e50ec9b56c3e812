// The character filter: the three steps of a cycle, the loop that repeats them, and the end.
#include "byte_io.h"
#include "conversion_state.h"

#include <cstdio>

ConversionState conversion_state;

/* SkipEntity
 *     When current_char is '&', discards everything up to the next ';' and reads the byte after
 *     it into current_char (not examined for '&' again). Returns whether it skipped. */
bool SkipEntity()
{
    ConversionState &state = conversion_state;
    if (state.current_char != '&')
        return false;
    // Look for the ';'; the end of the input ends the entity too.
    do {
        state.current_char = ReadByte();
    } while (state.current_char != ';' && state.current_char != EOF);
    state.current_char = ReadByte();
    return true;
}

/* ReadChar
 *     Reads the next byte into current_char, skipping a character entity it starts.
 *     Returns true when it skipped one. */
bool ReadChar()
{
    conversion_state.current_char = ReadByte();
    return SkipEntity();
}

/* SkipTag
 *     Discards a tag up to its '>' (left in current_char for WriteChar to drop). */
void SkipTag()
{
    ConversionState &state = conversion_state;
    if (state.current_char != '<')
        return;
    // Look for the '>' that ends the tag, whatever stands before it.
    do {
        state.current_char = ReadByte();
    } while (state.current_char != '>' && state.current_char != EOF);
}

/* WriteChar
 *     Writes current_char unless it is a tag's '>', an '&' straight after an entity, or EOF. */
void WriteChar()
{
    int c = conversion_state.current_char;
    if (c == '>' || c == '&' || c == EOF)
        return;
    WriteByte(c);
}

/* RunConversion
 *     Runs read, tag step and write until a read meets the end of the input. */
void RunConversion(ConversionMode mode)
{
    ConversionState &state = conversion_state;
    if (mode == ConversionMode::Sync) {
        while (!state.input_ended) {
            ReadChar();
            SkipTagSync();
            WriteChar();
        }
        return;
    }
    while (!state.input_ended) {
        ReadChar();
        SkipTag();
        WriteChar();
    }
}

/* CloseStreams
 *     Closes whichever streams are open and forgets what the last conversion left behind.
 *     The callers check for errors before: a close's own result is theirs to test. */
void CloseStreams()
{
    ConversionState &state = conversion_state;
    if (state.input_stream != nullptr)
        fclose(state.input_stream);
    if (state.output_stream != nullptr)
        fclose(state.output_stream);
    state.input_stream = nullptr;
    state.output_stream = nullptr;
    state.input_ended = false;
    state.has_pending_char = false;
    state.mid_line = false;
}

/* DetectUtf16Mark
 *     Looks at the first two bytes for FF FE or FE FF; whatever it read is read again. */
bool DetectUtf16Mark()
{
    ConversionState &state = conversion_state;
    int first = getc(state.input_stream);
    if (first != 0xFF && first != 0xFE) {
        ungetc(first, state.input_stream);
        return false;
    }
    int second = getc(state.input_stream);
    if (second == (first ^ 0x01)) // FF FE or FE FF
        return true;
    ungetc(second, state.input_stream);
    PushBackChar(first);
    return false;
}
