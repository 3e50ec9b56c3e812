// The stamp that opens each subtitle line in sync mode: «HH :MM :SS  ».
#include "byte_io.h"
#include "conversion_state.h"

#include <cstdint>
#include <cstdio>

constexpr int TIME_FIELD_SIZE = 11; // the ten digits of 2^32 - 1 and a terminating zero

static bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

/* ReadStartTime
 *     The first run of decimal digits in sync_value, modulo 2^32; 0 when there is none.
 *     Whatever stands before it (quotes, blanks) is ignored. */
static std::uint32_t ReadStartTime()
{
    const ConversionState &state = conversion_state;
    std::int32_t k = 0;
    while (k < state.sync_value_length && !IsDigit(state.sync_value[k]))
        k++;
    std::uint32_t total = 0;
    while (k < state.sync_value_length && IsDigit(state.sync_value[k])) {
        total = total * 10u + static_cast<std::uint32_t>(state.sync_value[k] - '0');
        k++;
    }
    return total;
}

/* PutTimeField
 *     Puts value as decimal digits, at least two, at stamp + length; returns the new length. */
static std::size_t PutTimeField(std::uint32_t value, char *stamp, std::size_t length)
{
    char reversed[TIME_FIELD_SIZE];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + value % 10u);
        value /= 10u;
    } while (value != 0u || count < 2);
    while (count > 0)
        stamp[length++] = reversed[--count];
    return length;
}

/* PutText
 *     Puts the bytes of text at stamp + length; returns the new length. */
static std::size_t PutText(const char *text, char *stamp, std::size_t length)
{
    while (*text != '\0')
        stamp[length++] = *text++;
    return length;
}

/* WriteTimeStamp
 *     Writes the captured start time as whole hours, minutes and seconds, «HH :MM :SS  »,
 *     opening a new line first when the output is in the middle of one. */
void WriteTimeStamp()
{
    std::uint32_t seconds = ReadStartTime() / 1000u; // milliseconds are truncated
    std::uint32_t hours = seconds / 3600u;           // not wrapped at 24, nor at 100
    std::uint32_t rest = seconds % 3600u;
    char stamp[3 * TIME_FIELD_SIZE + 8];
    std::size_t length = PutTimeField(hours, stamp, 0);
    length = PutText(" :", stamp, length);
    length = PutTimeField(rest / 60u, stamp, length);
    length = PutText(" :", stamp, length);
    length = PutTimeField(rest % 60u, stamp, length);
    length = PutText("  ", stamp, length);
    if (conversion_state.mid_line)
        WriteByte('\n');
    WriteBytes(reinterpret_cast<const unsigned char *>(stamp), length);
    conversion_state.stamp_written = true;
}
