// JSON Lines: one object a paragraph that holds text, keys start, end, class and text in that
// order, no blanks between tokens, a paragraph's lines joined by \n.
#include "cue_writer.h"

#include "write_buffer.h"

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

/* PutEscape
 *     Puts the escape of c, one of ESCAPED_BYTES, at out; returns where it ended. */
unsigned char *PutEscape(unsigned char c, unsigned char *out)
{
    static const char HEX_DIGITS[] = "0123456789abcdef";
    *out++ = '\\';
    switch (c) {
    case '\b': *out++ = 'b'; break;
    case '\t': *out++ = 't'; break;
    case '\n': *out++ = 'n'; break;
    case '\f': *out++ = 'f'; break;
    case '\r': *out++ = 'r'; break;
    case '"':
    case '\\': *out++ = c; break;
    default:
        std::memcpy(out, "u00", 3);
        out[3] = static_cast<unsigned char>(HEX_DIGITS[c >> 4]);
        out[4] = static_cast<unsigned char>(HEX_DIGITS[c & 0xF]);
        out += 5;
        break;
    }
    return out;
}

/* PutJsonBytes
 *     Puts bytes at out as a JSON string's inside: '"' and '\\' and the control characters
 *     that have one take their two-character escapes, the other controls \u00XX; the rest
 *     stays as it is. Returns where it ended; out has room for six bytes a byte. */
unsigned char *PutJsonBytes(const unsigned char *bytes, std::size_t length, unsigned char *out)
{
    const unsigned char *end = bytes + length;
#if defined(VELMORA_SSE2_SCANS)
    // Sixteen bytes copied at once, then those before the first to escape kept.
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i last_control = _mm_set1_epi8(0x1F);
    while (end - bytes >= 16) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), chunk);
        __m128i escaped = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)),
            _mm_cmpeq_epi8(_mm_min_epu8(chunk, last_control), chunk));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(escaped));
        if (mask == 0) {
            out += 16;
            bytes += 16;
            continue;
        }
        auto kept = static_cast<std::size_t>(__builtin_ctz(mask));
        out = PutEscape(bytes[kept], out + kept);
        bytes += kept + 1;
    }
#endif
    while (bytes < end) {
        std::uint64_t word;
        if (end - bytes >= 8 && !NeedsEscape(word = LoadEightBytes(bytes))) {
            std::memcpy(out, &word, sizeof word);
            out += 8;
            bytes += 8;
            continue;
        }
        unsigned char c = *bytes++;
        out = ESCAPED_BYTES.of[c] ? PutEscape(c, out) : (*out = c, out + 1);
    }
    return out;
}

void PutNoFileHead()
{
}

unsigned char *PutJsonHead(unsigned char *out, std::uint32_t start, const char *class_name,
                           std::size_t class_length, unsigned char **end_at,
                           std::size_t *end_length)
{
    out = PutBytes(out, "{\"start\":", 9);
    std::size_t length = PutNumber(start, out);
    out = PutBytes(out + length, ",\"end\":", 7);
    *end_at = out;
    *end_length = length;
    out = PutBytes(out + length, ",\"class\":\"", 10);
    out = PutJsonBytes(reinterpret_cast<const unsigned char *>(class_name), class_length, out);
    return PutBytes(out, "\",\"text\":\"", 10);
}

/* PutJsonText
 *     PutJsonBytes for a subtitle's text, which may be read TEXT_SLACK bytes past its end: its
 *     last sixteen bytes and fewer are looked at in one compare too. */
unsigned char *PutJsonText(unsigned char *out, const unsigned char *bytes, std::size_t count)
{
#if defined(VELMORA_SSE2_SCANS)
    static_assert(TEXT_SLACK >= 16, "a chunk may be read past the text");
    const unsigned char *end = bytes + count;
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i last_control = _mm_set1_epi8(0x1F);
    while (bytes < end) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), chunk);
        __m128i escaped = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)),
            _mm_cmpeq_epi8(_mm_min_epu8(chunk, last_control), chunk));
        std::size_t left = static_cast<std::size_t>(end - bytes);
        unsigned inside = left >= 16 ? 0xFFFFu : (1u << left) - 1;
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(escaped)) & inside;
        if (mask == 0) {
            std::size_t step = left >= 16 ? 16 : left;
            out += step;
            bytes += step;
            continue;
        }
        auto kept = static_cast<std::size_t>(__builtin_ctz(mask));
        out = PutEscape(bytes[kept], out + kept);
        bytes += kept + 1;
    }
    return out;
#else
    return PutJsonBytes(bytes, count, out);
#endif
}

} // namespace

const char JSON_LINE_SEPARATOR[SEPARATOR_ROOM + 1] = "\\n";
const char JSON_UNIT_END[UNIT_END_ROOM] = "\"}\n";

const CueWriter JSON_WRITER = {
    true,
    false,
    false,
    false,
    PutNoFileHead,
    2 * NUMBER_SIZE + 6 * CLASS_NAME_SIZE + 40,
    PutJsonHead,
    0,
    6,
    PutJsonText,
    JSON_LINE_SEPARATOR,
    2,
    JSON_UNIT_END,
    3,
};
