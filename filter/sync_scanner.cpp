// The sync-aware tag step: a SYNC tag opens a stamped output line, a 'b' 'r' joins lines.
#include "byte_io.h"
#include "conversion_state.h"

#include <cstdio>
#include <cstring>

/* SkipTagSync
 *     Discards a tag like SkipTag, watching for the letters S Y N C and b r inside it. A letter
 *     that breaks a sequence is not looked at as the start of another. */
void SkipTagSync()
{
    ConversionState &state = conversion_state;
    if (state.current_char != '<')
        return;
    // Look for the tag's '>'; the steps called here may end the tag early by setting it.
    while (state.current_char != '>' && state.current_char != EOF) {
        state.current_char = ReadByte();
        if (state.current_char == 'S') {
            state.current_char = ReadByte();
            if (state.current_char == 'Y') {
                state.current_char = ReadByte();
                if (state.current_char == 'N') {
                    state.current_char = ReadByte();
                    if (state.current_char == 'C')
                        ReadSyncValue();
                }
            }
        } else if (state.current_char == 'b') {
            state.current_char = ReadByte();
            if (state.current_char == 'r')
                SkipLineBreak();
        }
    }
}

/* CaptureSyncValue
 *     Reads a value up to its '>' into sync_value, keeping the first 19 bytes and dropping the
 *     rest. Returns false when the input ends before the '>'. */
static bool CaptureSyncValue()
{
    ConversionState &state = conversion_state;
    std::int32_t length = 0;
    int c = ReadByte();
    // Look for the '>' that ends the SYNC tag.
    while (c != '>' && c != EOF) {
        if (length < SYNC_VALUE_SIZE - 1)
            state.sync_value[length++] = static_cast<char>(c);
        c = ReadByte();
    }
    if (c == EOF)
        return false;
    state.sync_value[length] = '>';
    state.sync_value_length = length;
    return true;
}

/* ReadSyncValue
 *     Captures the SYNC tag's value, skips the paragraph tag after it and, unless the subtitle is
 *     blank (an entity first), writes the stamp and ends the tag. */
void ReadSyncValue()
{
    ConversionState &state = conversion_state;
    std::memset(state.sync_value, 0, sizeof state.sync_value);
    // Look for the '=' of the Start attribute, however far on it is.
    do {
        state.current_char = ReadByte();
    } while (state.current_char != '=' && state.current_char != EOF);
    if (state.current_char == EOF || !CaptureSyncValue()) {
        state.current_char = EOF; // a value cut off by the end of the input gets no stamp
        return;
    }

    // The first byte after the tag: a tag of its own is skipped plainly, anything else is
    // looked at as ReadChar would look at it, so text on the tag's line keeps its first letter.
    state.current_char = ReadByte();
    bool blank;
    if (state.current_char == '<') {
        SkipTag();
        blank = ReadChar();
    } else {
        blank = SkipEntity();
    }
    if (blank)
        return;

    WriteTimeStamp();
    // The line end after the tags is dropped so the text follows the stamp; anything else is
    // the subtitle's own and is read again by the next cycle.
    if (state.current_char != '\n' && state.current_char != EOF)
        PushBackChar(state.current_char);
    state.current_char = '>';
}

/* SkipLineBreak
 *     Drops the two bytes after 'b' 'r' (normally the '>' and the line end) and ends the tag,
 *     so the lines of a subtitle join. */
void SkipLineBreak()
{
    int first = ReadByte();
    int second = ReadByte();
    // Most files go on with the text right after «<br>»: only a line end there is dropped,
    // anything else is read again, so no letter (or half of a double-byte one) is lost.
    if (first == '>' && second != '\n' && second != EOF)
        PushBackChar(second);
    conversion_state.current_char = '>';
}
