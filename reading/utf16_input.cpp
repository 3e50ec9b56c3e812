// UTF-16 input: decoded into UTF-8 for the filter as it is read, a block at a time.
#include "conversion_state.h"
#include "read_buffer.h"
#include "utf8.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace
{

constexpr std::size_t RAW_BLOCK_SIZE = 16 * 1024; // bytes of UTF-16 read at once
constexpr std::uint32_t REPLACEMENT_CHARACTER = 0xFFFD;
constexpr std::uint32_t NO_SURROGATE = 0;

unsigned char raw_block[RAW_BLOCK_SIZE];

// Where decoded UTF-8 goes: the filter's read buffer, from read_length up to its end.
unsigned char *decoded;
std::size_t decoded_length;

bool IsHighSurrogate(std::uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(std::uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

/* AppendUtf8
 *     Appends code point as UTF-8 to what this fill decodes. */
void AppendUtf8(std::uint32_t code_point)
{
    if (code_point < 0x80) { // nearly every one: no length to add up
        decoded[decoded_length++] = static_cast<unsigned char>(code_point);
        return;
    }
    decoded_length += PutUtf8(code_point, decoded + decoded_length);
}

/* PutCodePoint
 *     Appends a decoded character with the text-mode rules: CR LF reads as LF, a lone CR stays,
 *     U+001A ends the input. */
void PutCodePoint(std::uint32_t code_point)
{
    ConversionState &state = conversion_state;
    if (state.reading.source_ended)
        return;
    if (state.utf16.held_cr) {
        state.utf16.held_cr = false;
        if (code_point != '\n')
            AppendUtf8('\r');
    }
    if (code_point == '\r') {
        state.utf16.held_cr = true; // the next character decides
    } else if (code_point == CTRL_Z) {
        state.reading.source_ended = true;
    } else {
        AppendUtf8(code_point);
    }
}

/* PutInvalid
 *     Reads count bytes that are no character as one U+FFFD, and counts them. */
void PutInvalid(long long count)
{
    decoding_report.invalid_bytes += count;
    PutCodePoint(REPLACEMENT_CHARACTER);
}

/* PutUnit
 *     Decodes one UTF-16 code unit, pairing surrogates; an unpaired one reads as U+FFFD. */
void PutUnit(std::uint32_t unit)
{
    ConversionState &state = conversion_state;
    if (state.utf16.held_surrogate != NO_SURROGATE) {
        std::uint32_t high = state.utf16.held_surrogate;
        state.utf16.held_surrogate = NO_SURROGATE;
        if (IsLowSurrogate(unit)) {
            PutCodePoint(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
            return;
        }
        PutInvalid(2);
    }
    if (IsHighSurrogate(unit))
        state.utf16.held_surrogate = unit;
    else if (IsLowSurrogate(unit))
        PutInvalid(2);
    else
        PutCodePoint(unit);
}

/* PutEndOfInput
 *     What the end of the file leaves undecided: a high surrogate and an odd final byte read as
 *     U+FFFD each, a CR stays. */
void PutEndOfInput()
{
    ConversionState &state = conversion_state;
    if (state.utf16.held_surrogate != NO_SURROGATE) {
        state.utf16.held_surrogate = NO_SURROGATE;
        PutInvalid(2);
    }
    if (state.utf16.has_held_byte) {
        state.utf16.has_held_byte = false;
        PutInvalid(1);
    }
    if (state.utf16.held_cr && !state.reading.source_ended)
        AppendUtf8('\r');
    state.utf16.held_cr = false;
    state.reading.source_ended = true;
}

/* PutAsciiUnits
 *     Decodes the units from raw_block + k on while they come eight at a time as ASCII but a
 *     CR and U+001A, with nothing held from before; returns where it stopped. */
std::size_t PutAsciiUnits(std::size_t k, std::size_t length, bool little_endian)
{
    ConversionState &state = conversion_state;
    if (state.utf16.held_cr || state.utf16.held_surrogate != NO_SURROGATE)
        return k;
#if defined(VELMORA_SSE2_SCANS)
    for (; k + 16 <= length; k += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(raw_block + k));
        if (!little_endian)
            v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        __m128i wide = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80)));
        __m128i special = _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('\r')),
                                       _mm_cmpeq_epi16(v, _mm_set1_epi16(CTRL_Z)));
        __m128i stops = _mm_or_si128(
            special, _mm_xor_si128(_mm_cmpeq_epi16(wide, _mm_setzero_si128()), _mm_set1_epi8(-1)));
        if (_mm_movemask_epi8(stops) != 0)
            break;
        _mm_storel_epi64(reinterpret_cast<__m128i *>(decoded + decoded_length),
                         _mm_packus_epi16(v, v));
        decoded_length += 8;
    }
#else
    (void)length;
    (void)little_endian;
#endif
    return k;
}

/* DecodeRawBlock
 *     Decodes length bytes of raw_block, after the byte a previous block left over. */
void DecodeRawBlock(std::size_t length)
{
    ConversionState &state = conversion_state;
    bool little_endian = state.reading.encoding == TextEncoding::Utf16Le;
    std::size_t k = 0;
    if (state.utf16.has_held_byte && length > 0) {
        std::uint32_t first = state.utf16.held_byte;
        std::uint32_t second = raw_block[k++];
        state.utf16.has_held_byte = false;
        PutUnit(little_endian ? first | (second << 8) : (first << 8) | second);
    }
    for (; k + 1 < length && !state.reading.source_ended; k += 2) {
        // Runs of ASCII go eight units at a time; what stops them goes one at a time.
        if ((k & 15) == 0 && (k = PutAsciiUnits(k, length, little_endian)) + 1 >= length)
            break;
        std::uint32_t first = raw_block[k];
        std::uint32_t second = raw_block[k + 1];
        PutUnit(little_endian ? first | (second << 8) : (first << 8) | second);
    }
    if (k < length && !state.reading.source_ended) {
        state.utf16.held_byte = raw_block[k];
        state.utf16.has_held_byte = true;
    }
}

} // namespace

/* ReadFromUtf16
 *     Reads and decodes the next block of a UTF-16 input into destination as UTF-8. Returns
 *     how many bytes it put there, 0 only when the input has nothing more. */
std::size_t ReadFromUtf16(unsigned char *destination, std::size_t capacity)
{
    ConversionState &state = conversion_state;
    decoded = destination;
    decoded_length = 0;
    // Each two raw bytes give at most three of UTF-8; what a block boundary held adds a few.
    std::size_t raw_capacity = (capacity - 8) / 3 * 2;
    if (raw_capacity > RAW_BLOCK_SIZE)
        raw_capacity = RAW_BLOCK_SIZE;
    while (decoded_length == 0 && !state.reading.source_ended) {
        // Bytes DetectTextEncoding looked at of a file named UTF-16 that has no mark come first.
        std::size_t length = static_cast<std::size_t>(state.reading.raw_prefix_length);
        std::memcpy(raw_block, state.reading.raw_prefix, length);
        state.reading.raw_prefix_length = 0;
        length += fread(raw_block + length, 1, raw_capacity - length, state.input_stream);
        if (length == 0)
            PutEndOfInput();
        else
            DecodeRawBlock(length);
    }
    return decoded_length;
}
