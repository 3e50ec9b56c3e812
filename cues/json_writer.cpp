// JSON Lines: one object a paragraph that holds text, keys start, end, class and text in that
// order, no blanks between tokens, a paragraph's lines joined by \n.
#include "cue_writer.h"

#include "byte_io.h"

#include <cstring>

namespace
{

// The bytes a JSON string cannot hold as they are: '"', '\\' and the controls below 0x20.
struct EscapedBytes {
    bool of[256];
};
constexpr EscapedBytes ESCAPED_BYTES = [] {
    EscapedBytes table{};
    for (int c = 0; c < 0x20; c++)
        table.of[c] = true;
    table.of[static_cast<unsigned char>('"')] = true;
    table.of[static_cast<unsigned char>('\\')] = true;
    return table;
}();

// Whether one of the eight bytes of word is one of them.
bool NeedsEscape(std::uint64_t word)
{
    return HasByteBelow(word, 0x20) || HasByte(word, '"') || HasByte(word, '\\');
}

/* WriteJsonString
 *     bytes in double quotes: '"' and '\\' and the control characters that have one take their
 *     two-character escapes, the other controls \u00XX; the rest stays as it is. */
void WriteJsonString(const unsigned char *bytes, std::size_t length)
{
    static const char HEX_DIGITS[] = "0123456789abcdef";
    WriteByte('"');
    const unsigned char *end = bytes + length;
    while (bytes < end) {
        const unsigned char *run = bytes;
        while (end - bytes >= 8 && !NeedsEscape(LoadEightBytes(bytes)))
            bytes += 8;
        while (bytes < end && !ESCAPED_BYTES.of[*bytes])
            bytes++;
        WriteBytes(run, static_cast<std::size_t>(bytes - run));
        if (bytes == end)
            break;
        unsigned char c = *bytes++;
        unsigned char escape[6] = {'\\', c, 0, 0, 0, 0};
        std::size_t escape_length = 2;
        switch (c) {
        case '\b': escape[1] = 'b'; break;
        case '\t': escape[1] = 't'; break;
        case '\n': escape[1] = 'n'; break;
        case '\f': escape[1] = 'f'; break;
        case '\r': escape[1] = 'r'; break;
        case '"':
        case '\\': break;
        default:
            escape[1] = 'u';
            escape[2] = '0';
            escape[3] = '0';
            escape[4] = static_cast<unsigned char>(HEX_DIGITS[c >> 4]);
            escape[5] = static_cast<unsigned char>(HEX_DIGITS[c & 0xF]);
            escape_length = 6;
            break;
        }
        WriteBytes(escape, escape_length);
    }
    WriteByte('"');
}

void WriteText(const char *text, std::size_t length)
{
    WriteBytes(reinterpret_cast<const unsigned char *>(text), length);
}

} // namespace

void WriteJsonCue(const Cue &cue, const unsigned char *paragraphs)
{
    // Each object opens with the cue's times.
    unsigned char head[2 * NUMBER_SIZE + 32];
    std::memcpy(head, "{\"start\":", 9);
    std::size_t length = 9 + PutNumber(cue.start, head + 9);
    std::memcpy(head + length, ",\"end\":", 7);
    length += 7;
    length += PutNumber(cue.end, head + length);
    std::memcpy(head + length, ",\"class\":", 9);
    length += 9;
    const unsigned char *at = paragraphs;
    while (at < paragraphs + cue.length) {
        CueParagraph paragraph = ReadCueParagraph(&at);
        WriteBytes(head, length);
        WriteJsonString(paragraph.class_name, paragraph.class_length);
        WriteText(",\"text\":", 8);
        WriteJsonString(paragraph.text, paragraph.text_length);
        WriteText("}\n", 2);
    }
}
