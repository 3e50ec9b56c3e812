// The scans of the read buffer that the fast path and the steps share: a byte found sixteen at a
// time, a SYNC tag's value captured in place, the rest of a tag skipped.
#include "fast_scans.h"

#include <cstddef>
#include <cstring>

const unsigned char *FindByte(const unsigned char *p, const unsigned char *end, unsigned char c)
{
#if defined(VELMORA_SSE2_SCANS)
    for (; end - p >= CHUNK; p += CHUNK) {
        unsigned mask = MatchMask(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), c);
        if (mask != 0)
            return p + __builtin_ctz(mask);
    }
#endif
    while (p < end && *p != c)
        p++;
    return p;
}

bool CaptureSyncValue(const unsigned char *name_end, const unsigned char *gt)
{
    ConversionState &state = conversion_state;
    const unsigned char *value = gt;
    bool cr = false;
#if defined(VELMORA_SSE2_SCANS)
    if (gt - name_end <= CHUNK) { // « Start=1234567»: one look finds the '=' and any CR
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(name_end));
        unsigned inside = (1u << (gt - name_end)) - 1;
        unsigned equals = MatchMask(v, '=') & inside;
        if (equals != 0)
            value = name_end + __builtin_ctz(equals) + 1;
        unsigned after_equals = inside & ~((1u << (value - name_end)) - 1);
        cr = (MatchMask(v, '\r') & after_equals) != 0;
    } else
#endif
    {
        const unsigned char *equals = FindByte(name_end, gt, '=');
        value = equals == gt ? gt : equals + 1;
        cr = FindByte(value, gt, '\r') != gt;
    }
    if (cr && state.reading.joins_line_ends)
        return false;
    std::size_t length = static_cast<std::size_t>(gt - value);
    if (length > SYNC_VALUE_SIZE - 1)
        length = SYNC_VALUE_SIZE - 1;
    std::memset(state.sync_value, 0, sizeof state.sync_value);
#if defined(VELMORA_SSE2_SCANS)
    if (length <= CHUNK) { // the value's bytes and zeros after them, in one store
        const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        __m128i keep = _mm_cmplt_epi8(index, _mm_set1_epi8(static_cast<char>(length)));
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(value));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(state.sync_value), _mm_and_si128(v, keep));
        state.sync_value_length = static_cast<std::int32_t>(length);
        return true;
    }
#endif
    for (std::size_t k = 0; k < length; k++)
        state.sync_value[k] = static_cast<char>(value[k]);
    state.sync_value_length = static_cast<std::int32_t>(length);
    return true;
}

/* SkipTagRest
 *     Discards the rest of a tag up to its '>', left in current_char. */
void SkipTagRest()
{
    ConversionState &state = conversion_state;
    if (state.options.byte_at_a_time) {
        // Look for the '>' that ends the tag, whatever stands before it.
        while (state.current_char != '>' && state.current_char != EOF)
            state.current_char = ReadByte();
        return;
    }
    // The same look, a block at a time.
    while (state.current_char != '>' && state.current_char != EOF) {
        const unsigned char *start = read_buffer + state.reading.read_position;
        const unsigned char *end = read_buffer + state.reading.read_length;
        const unsigned char *found = FindByte(start, end, '>');
        state.reading.read_position = static_cast<std::size_t>(found - read_buffer);
        state.current_char = ReadByte();
    }
}
