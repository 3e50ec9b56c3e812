// UTF-16 output: the filter's UTF-8 encoded back into UTF-16 of the input's byte order as it
// is written, a block at a time.
#include "conversion_state.h"
#include "write_buffer.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace
{

constexpr std::size_t UNIT_BLOCK_SIZE = 16 * 1024; // bytes of UTF-16 written at once
constexpr std::uint32_t REPLACEMENT_CHARACTER = 0xFFFD;

unsigned char unit_block[UNIT_BLOCK_SIZE];
std::size_t unit_length;

/* PutUnitBytes
 *     Appends one UTF-16 code unit in the output's byte order, writing out a full block. */
void PutUnitBytes(std::uint32_t unit)
{
    ConversionState &state = conversion_state;
    if (unit_length + 2 > UNIT_BLOCK_SIZE) {
        fwrite(unit_block, 1, unit_length, state.output_stream);
        unit_length = 0;
    }
    auto high = static_cast<unsigned char>(unit >> 8);
    auto low = static_cast<unsigned char>(unit & 0xFF);
    bool little_endian = state.reading.encoding == TextEncoding::Utf16Le;
    unit_block[unit_length++] = little_endian ? low : high;
    unit_block[unit_length++] = little_endian ? high : low;
}

/* PutEncoded
 *     Appends a character as UTF-16, a line end as the platform writes it. */
void PutEncoded(std::uint32_t code_point)
{
#if defined(_WIN32)
    if (code_point == '\n')
        PutUnitBytes('\r');
#endif
    if (code_point < 0x10000) {
        PutUnitBytes(code_point);
        return;
    }
    code_point -= 0x10000;
    PutUnitBytes(0xD800 + (code_point >> 10));
    PutUnitBytes(0xDC00 + (code_point & 0x3FF));
}

/* SequenceLength
 *     How many bytes the UTF-8 sequence led by lead takes; 0 for a byte no sequence starts
 *     with. */
std::size_t SequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

/* DecodeSequence
 *     The code point of a complete sequence of length bytes, or U+FFFD when it is not one. */
std::uint32_t DecodeSequence(const unsigned char *bytes, std::size_t length)
{
    static const std::uint32_t LEAD_MASKS[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static const std::uint32_t SMALLEST[] = {0, 0, 0x80, 0x800, 0x10000};
    std::uint32_t code_point = bytes[0] & LEAD_MASKS[length];
    for (std::size_t k = 1; k < length; k++) {
        if ((bytes[k] & 0xC0) != 0x80)
            return REPLACEMENT_CHARACTER;
        code_point = (code_point << 6) | (bytes[k] & 0x3Fu);
    }
    bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
    if (code_point < SMALLEST[length] || code_point > 0x10FFFF || surrogate)
        return REPLACEMENT_CHARACTER;
    return code_point;
}

/* EncodeAscii
 *     Encodes the bytes from bytes + k on while they come sixteen at a time as ASCII (with
 *     no line end where it is written as two units); returns where it stopped. */
std::size_t EncodeAscii(const unsigned char *bytes, std::size_t k, std::size_t count)
{
#if defined(VELMORA_SSE2_SCANS)
    ConversionState &state = conversion_state;
    bool little_endian = state.reading.encoding == TextEncoding::Utf16Le;
    for (; k + 16 <= count && unit_length + 32 <= UNIT_BLOCK_SIZE; k += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + k));
        int stops = _mm_movemask_epi8(v); // the top bit: not ASCII
#if defined(_WIN32)
        stops |= _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
#endif
        if (stops != 0)
            break;
        __m128i zero = _mm_setzero_si128();
        __m128i low = little_endian ? _mm_unpacklo_epi8(v, zero) : _mm_unpacklo_epi8(zero, v);
        __m128i high = little_endian ? _mm_unpackhi_epi8(v, zero) : _mm_unpackhi_epi8(zero, v);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(unit_block + unit_length), low);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(unit_block + unit_length + 16), high);
        unit_length += 32;
    }
#else
    (void)bytes;
    (void)count;
#endif
    return k;
}

/* EncodeSequences
 *     Encodes the whole UTF-8 sequences of bytes and returns how many bytes it used; an
 *     incomplete sequence at the end is left unless final. */
std::size_t EncodeSequences(const unsigned char *bytes, std::size_t count, bool final)
{
    std::size_t k = 0;
    while (k < count) {
        if (bytes[k] < 0x80 && (k = EncodeAscii(bytes, k, count)) == count)
            break;
        std::size_t length = SequenceLength(bytes[k]);
        if (length == 0) {
            PutEncoded(REPLACEMENT_CHARACTER);
            k++;
            continue;
        }
        if (k + length > count) {
            if (!final)
                return k;
            PutEncoded(REPLACEMENT_CHARACTER);
            return count;
        }
        PutEncoded(length == 1 ? bytes[k] : DecodeSequence(bytes + k, length));
        k += length;
    }
    return k;
}

} // namespace

/* WriteAsUtf16
 *     Encodes the filter's UTF-8 output into UTF-16 and writes it, the byte order mark first.
 *     A sequence cut by the end of count waits for the next call, unless final. */
void WriteAsUtf16(const unsigned char *bytes, std::size_t count, bool final)
{
    ConversionState &state = conversion_state;
    if (!state.utf16.mark_written) {
        PutUnitBytes(0xFEFF);
        state.utf16.mark_written = true;
    }
    // First complete the sequence the last call left.
    if (state.utf16.utf8_held_length > 0) {
        std::size_t needed =
            SequenceLength(state.utf16.utf8_held[0]) - state.utf16.utf8_held_length;
        std::size_t taken = needed < count ? needed : count;
        std::memcpy(state.utf16.utf8_held + state.utf16.utf8_held_length, bytes, taken);
        state.utf16.utf8_held_length += taken;
        bytes += taken;
        count -= taken;
        if (taken == needed) {
            EncodeSequences(state.utf16.utf8_held, state.utf16.utf8_held_length, true);
            state.utf16.utf8_held_length = 0;
        }
    }
    std::size_t used = EncodeSequences(bytes, count, final);
    for (std::size_t k = used; k < count; k++)
        state.utf16.utf8_held[state.utf16.utf8_held_length++] = bytes[k];
    if (final && state.utf16.utf8_held_length > 0) {
        EncodeSequences(state.utf16.utf8_held, state.utf16.utf8_held_length, true);
        state.utf16.utf8_held_length = 0;
    }
    fwrite(unit_block, 1, unit_length, state.output_stream);
    unit_length = 0;
}
