// A byte file's bytes as the filter is to see them, before any decoding: the Windows text-mode
// rules applied where the runtime does not apply them, and UTF-8 sequences told apart.
#include "raw_input.h"

#include "conversion_state.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

/* EndAtCtrlZ
 *     Applies the Windows text-mode rule that a byte 0x1A ends the input to a block read in
 *     binary. Returns the block's new length. */
static std::size_t EndAtCtrlZ(unsigned char *bytes, std::size_t length)
{
    auto *ctrl_z = static_cast<unsigned char *>(std::memchr(bytes, CTRL_Z, length));
    if (ctrl_z == nullptr)
        return length;
    conversion_state.reading.source_ended = true; // nothing after a 0x1A is ever read
    return static_cast<std::size_t>(ctrl_z - bytes);
}

/* TranslatesLineEnds
 *     Whether the filter itself reads a byte file as the Windows text mode would (CR LF as LF,
 *     a 0x1A ending it): always but where the Windows runtime reads it in text mode. */
bool TranslatesLineEnds()
{
#if defined(_WIN32)
    return conversion_state.options.input_binary;
#else
    return true;
#endif
}

/* ReadFromBytes
 *     Reads up to capacity bytes of a byte file into destination as they are, the bytes
 *     DetectTextEncoding took first; a 0x1A ends them, and a CR at their end waits for the
 *     next read, which may give its LF. Returns how many, 0 only when the stream has nothing
 *     more. */
std::size_t ReadFromBytes(unsigned char *destination, std::size_t capacity)
{
    ConversionState &state = conversion_state;
    bool translates = TranslatesLineEnds();
    // Only a block of a lone CR or one that starts with a 0x1A gives nothing.
    while (!state.reading.source_ended) {
        std::size_t length = static_cast<std::size_t>(state.reading.raw_prefix_length);
        std::memcpy(destination, state.reading.raw_prefix, length);
        state.reading.raw_prefix_length = 0;
        std::size_t got = fread(destination + length, 1, capacity - length, state.input_stream);
        state.reading.source_ended = got == 0;
        length += got;
        if (!translates || length == 0)
            return length;
        length = EndAtCtrlZ(destination, length);
        if (length > 0 && destination[length - 1] == '\r' && !state.reading.source_ended) {
            state.reading.raw_prefix[0] = '\r';
            state.reading.raw_prefix_length = 1;
            length--;
        }
        if (length > 0)
            return length;
    }
    return 0;
}

SequenceRead ReadUtf8Sequence(const unsigned char *bytes, std::size_t available,
                              std::size_t *length)
{
    unsigned char lead = bytes[0];
    std::size_t count = 0;
    unsigned char low = 0x80; // the range of the second byte, where the lead limits it
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        *length = 1;
        return SequenceRead::Invalid;
    }
    for (std::size_t j = 1; j < count; j++) {
        *length = j;
        if (j == available)
            return SequenceRead::Cut;
        if (bytes[j] < (j == 1 ? low : 0x80) || bytes[j] > (j == 1 ? high : 0xBF))
            return SequenceRead::Invalid;
    }
    *length = count;
    return SequenceRead::Valid;
}
