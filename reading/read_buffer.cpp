// The read buffer: blocks read from input_stream as the filter is to see them, the input's
// encoding found from its first bytes.
#include "read_buffer.h"

#include "conversion_state.h"
#include "legacy_text.h"
#include "raw_input.h"
#include "text_decoder.h"
#include "write_buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

unsigned char read_buffer[READ_BUFFER_SIZE + BUFFER_SLACK];

namespace
{
constexpr std::size_t GUESS_SIZE = 64 * 1024; // the start of a file the guess looks at
}

bool FillReadBuffer()
{
    ConversionState &state = conversion_state;
    if (state.reading.source_ended)
        return false;
    std::size_t kept = state.reading.read_length - state.reading.read_position;
    // Callers look ahead a few bytes, or at most twice the UTF-8 probe: room is always left.
    if (state.reading.read_position > 0)
        std::memmove(read_buffer, read_buffer + state.reading.read_position, kept);
    state.reading.read_position = 0;
    state.reading.read_length = kept;
    std::size_t capacity = READ_BUFFER_SIZE - kept;
    if (state.options.fill_limit > 0) // never below 64: a UTF-16 fill needs room for what it holds
        capacity = std::min(capacity, std::max<std::size_t>(state.options.fill_limit, 64));
    std::size_t added = 0;
    if (state.reading.encoding != TextEncoding::Bytes)
        added = ReadFromUtf16(read_buffer + kept, capacity);
    else if (state.decoding.active)
        added = ReadFromLegacyText(read_buffer + kept, capacity);
    else
        added = ReadFromBytes(read_buffer + kept, capacity);
    state.reading.read_length += added;
    return added > 0;
}

std::size_t EnsureLookAhead(std::size_t count)
{
    ConversionState &state = conversion_state;
    while (state.reading.read_length - state.reading.read_position < count && FillReadBuffer()) {
    }
    return state.reading.read_length - state.reading.read_position;
}

void StartBuffers()
{
    ConversionState &state = conversion_state;
    state.reading.input_ended = false;
    state.reading.text_is_unicode = state.reading.encoding != TextEncoding::Bytes;
    state.writing = ConversionState::Writing{};
}

/* CopyByteOrderMark
 *     Copies a UTF-8 byte order mark that opens the input, which says the text is Unicode, but
 *     to a UTF-8 output, which has none; the output still stands at the start of its first
 *     line, so a stamp that follows goes on it. */
void CopyByteOrderMark()
{
    static const unsigned char UTF8_BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};
    ConversionState &state = conversion_state;
    if (EnsureLookAhead(sizeof UTF8_BYTE_ORDER_MARK) < sizeof UTF8_BYTE_ORDER_MARK ||
        std::memcmp(read_buffer + state.reading.read_position, UTF8_BYTE_ORDER_MARK,
                    sizeof UTF8_BYTE_ORDER_MARK) != 0)
        return;
    if (!state.options.utf8_output)
        WriteBytes(UTF8_BYTE_ORDER_MARK, sizeof UTF8_BYTE_ORDER_MARK);
    state.reading.read_position += sizeof UTF8_BYTE_ORDER_MARK;
    state.reading.text_is_unicode = true;
    state.writing.mid_line = false;
    state.writing.line_floor = state.writing.write_length;
}

/* ReadAsChosenUtf16
 *     Without a mark, UTF-16 only when the user named it; the bytes looked at are its first. */
static TextEncoding ReadAsChosenUtf16()
{
    ConversionState &state = conversion_state;
    TextEncoding chosen = ChosenUtf16Encoding();
    if (chosen != TextEncoding::Bytes) {
        state.reading.encoding = chosen;
        state.reading.joins_line_ends = false;
    }
    return state.reading.encoding;
}

TextEncoding DetectTextEncoding()
{
    ConversionState &state = conversion_state;
    state.reading.encoding = TextEncoding::Bytes;
    state.reading.joins_line_ends = TranslatesLineEnds(); // a UTF-16 decoder joins them itself
    state.reading.raw_prefix_length = 0;
    int first = getc(state.input_stream);
    if (first == EOF)
        return ReadAsChosenUtf16();
    state.reading.raw_prefix[state.reading.raw_prefix_length++] = static_cast<unsigned char>(first);
    if (first != 0xFF && first != 0xFE)
        return ReadAsChosenUtf16();
    int second = getc(state.input_stream);
    if (second == EOF)
        return ReadAsChosenUtf16();
    if (second == (first ^ 0x01)) { // FF FE or FE FF: the mark is not part of the text
        state.reading.raw_prefix_length = 0;
        state.reading.encoding = first == 0xFF ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
        state.reading.joins_line_ends = false;
        return state.reading.encoding;
    }
    state.reading.raw_prefix[state.reading.raw_prefix_length++] =
        static_cast<unsigned char>(second);
    return ReadAsChosenUtf16();
}

namespace
{

// How much of a byte file's start says whether it is UTF-8.
constexpr std::size_t UNICODE_PROBE_SIZE = 64 * 1024;

/* IsUtf8
 *     Whether length bytes are UTF-8 in the strict sense: no overlong form, no surrogate,
 *     nothing above U+10FFFF. A sequence the end cuts counts only when cut_is_valid. */
bool IsUtf8(const unsigned char *bytes, std::size_t length, bool cut_is_valid)
{
    std::size_t k = 0;
    while (k < length) {
        // Eight ASCII bytes at once: most of a subtitle's markup is ASCII.
        std::uint64_t word;
        if (k + 8 <= length &&
            (std::memcpy(&word, bytes + k, 8), word & 0x8080808080808080ull) == 0) {
            k += 8;
            continue;
        }
        unsigned char lead = bytes[k];
        if (lead < 0x80) {
            k++;
            continue;
        }
        std::size_t count = 0;
        switch (ReadUtf8Sequence(bytes + k, length - k, &count)) {
        case SequenceRead::Invalid: return false;
        case SequenceRead::Cut: return cut_is_valid;
        case SequenceRead::Valid: break;
        }
        k += count;
    }
    return true;
}

/* ReadLength
 *     How many of the available bytes at bytes it takes to read count of them as the filter
 *     reads them, a CR before an LF not counting; read says how many it found. */
std::size_t ReadLength(const unsigned char *bytes, std::size_t available, std::size_t count,
                       std::size_t *read)
{
    std::size_t length = 0;
    std::size_t found = 0;
    // Look for each CR: only there can a byte go unread.
    while (found < count && length < available) {
        std::size_t span = available - length < count - found ? available - length : count - found;
        const void *cr = conversion_state.reading.joins_line_ends
                             ? std::memchr(bytes + length, '\r', span)
                             : nullptr;
        std::size_t before =
            cr == nullptr
                ? span
                : static_cast<std::size_t>(static_cast<const unsigned char *>(cr) - bytes) - length;
        length += before;
        found += before;
        if (cr == nullptr)
            continue;
        bool joined = length + 1 < available && bytes[length + 1] == '\n';
        length++;
        found += joined ? 0 : 1;
    }
    *read = found;
    return length;
}

} // namespace

void DetectUnicodeText()
{
    ConversionState &state = conversion_state;
    if (state.reading.text_is_unicode)
        return;
    std::size_t available = EnsureLookAhead(2 * UNICODE_PROBE_SIZE);
    const unsigned char *bytes = read_buffer + state.reading.read_position;
    std::size_t read = 0;
    std::size_t length = ReadLength(bytes, available, UNICODE_PROBE_SIZE, &read);
    state.reading.text_is_unicode = IsUtf8(bytes, length, read == UNICODE_PROBE_SIZE);
}

/* StartDecoding
 *     Decides, before anything is written, what the bytes of a byte file are: UTF-8 by its mark
 *     or its first bytes, the encoding named, or the one the platform guesses. */
void StartDecoding()
{
    ConversionState &state = conversion_state;
    if (!DecodesInput())
        return;
    if (state.reading.encoding != TextEncoding::Bytes) {
        std::snprintf(decoding_report.encoding_name, ENCODING_NAME_SIZE, "%s", "UTF-16");
        return;
    }
    // A UTF-8 mark, the name given, the first bytes being UTF-8, the platform's guess.
    char name[ENCODING_NAME_SIZE] = "UTF-8";
    if (!state.reading.text_is_unicode && state.options.source_encoding[0] != '\0') {
        static_assert(sizeof name == sizeof state.options.source_encoding, "one size of name");
        std::memcpy(name, state.options.source_encoding, sizeof name);
        name[sizeof name - 1] = '\0';
    } else if (!state.reading.text_is_unicode) {
        DetectUnicodeText();
        if (!state.reading.text_is_unicode) {
            std::size_t available = EnsureLookAhead(GUESS_SIZE);
            GuessTextEncoding(read_buffer + state.reading.read_position,
                              std::min(available, GUESS_SIZE), name);
        }
    }
    StartLegacyText(name, read_buffer + state.reading.read_position);
}
