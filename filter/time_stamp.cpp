// The stamp that opens each subtitle line in sync mode: «HH :MM :SS  ».
#include "time_stamp.h"
#include "byte_io.h"
#include "conversion_state.h"
#include "stamp_lines.h"
#include "steps.h"

#include <cstdint>
#include <cstring>

namespace
{

std::uint32_t DigitValue(char c)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(c) - '0');
}

/* ReadEightDigits
 *     How many of the eight bytes at p are decimal digits before the first that is not; their
 *     number goes to value. Eight bytes a time in one word (little-endian machines only). */
int ReadEightDigits(const char *p, std::uint32_t *value)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    std::uint64_t digits = word - 0x3030303030303030ull;
    // A byte is a digit when neither it nor it plus 0x76 has its top bit; the borrows and
    // carries a byte that is none spills only reach the bytes after it.
    std::uint64_t not_digits = (digits | (digits + 0x7676767676767676ull)) & 0x8080808080808080ull;
    int count = not_digits == 0 ? 8 : __builtin_ctzll(not_digits) / 8;
    if (count == 0) {
        *value = 0;
        return 0;
    }
    // The digits moved to the top, the first the most significant, then paired, quadrupled and
    // joined into one number.
    digits <<= 8 * (8 - count);
    digits = digits * 10 + (digits >> 8);
    digits = (((digits & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
              (((digits >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
             32;
    *value = static_cast<std::uint32_t>(digits);
    return count;
#else
    std::uint32_t total = 0;
    int count = 0;
    while (count < 8 && DigitValue(p[count]) <= 9)
        total = total * 10u + DigitValue(p[count++]);
    *value = total;
    return count;
#endif
}

} // namespace

/* ReadStartTime
 *     The first run of decimal digits in sync_value, modulo 2^32; 0 when there is none.
 *     Whatever stands before it (quotes, blanks) is ignored. */
std::uint32_t ReadStartTime()
{
    const char *p = conversion_state.sync_value;
    const char *end = p + conversion_state.sync_value_length;
    // Most values begin with their number: eight bytes at once read it, and eight more when it
    // goes on, when something else follows it within them. sync_value holds twenty bytes, and
    // its value ends in '>'.
    std::uint32_t high = 0;
    int count = ReadEightDigits(p, &high);
    if (count > 0 && count < 8)
        return high;
    if (count == 8) {
        static const std::uint64_t POWERS_OF_TEN[8] = {1,     10,     100,     1000,
                                                       10000, 100000, 1000000, 10000000};
        std::uint32_t low = 0;
        int more = ReadEightDigits(p + 8, &low);
        if (more < 8) // modulo 2^32, as digit by digit
            return static_cast<std::uint32_t>(high * POWERS_OF_TEN[more] + low);
    }
    std::uint32_t total = 0;
    while (p < end && DigitValue(*p) > 9)
        p++;
    for (; p < end && DigitValue(*p) <= 9; p++)
        total = total * 10u + DigitValue(*p);
    return total;
}

/* PutTimeStamp
 *     Puts the captured start time at out as whole hours, minutes and seconds, «HH :MM :SS  »,
 *     the hours in full from 100 on. Returns its length, at most TIME_STAMP_SIZE. */
std::size_t PutTimeStamp(unsigned char *out)
{
    std::uint32_t seconds = ReadStartTime() / 1000u; // milliseconds are truncated
    std::uint32_t hours = seconds / 3600u;           // not wrapped at 24, nor at 100
    std::uint32_t rest = seconds - hours * 3600u;
    std::uint32_t minutes = rest / 60u;
    std::size_t length = 0;
    if (hours >= 100) {
        char digits[10];
        int count = 0;
        for (std::uint32_t left = hours; left != 0; left /= 10u)
            digits[count++] = static_cast<char>('0' + left % 10u);
        while (count > 0)
            out[length++] = static_cast<unsigned char>(digits[--count]);
    } else {
        PutTwoDigits(hours, out);
        length = 2;
    }
    std::memcpy(out + length, " :00 :00  ", 10);
    PutTwoDigits(minutes, out + length + 2);
    PutTwoDigits(rest - minutes * 60u, out + length + 6);
    return length + 10;
}

StampLines stamp_lines;

namespace
{

void StartStamps()
{
    stamp_lines = StampLines{};
}

void StartStampedSubtitle()
{
    stamp_lines.stamp_pending = true;
}

/* PutStampedText
 *     Writes text of the subtitle's one line: its stamp before the first, opening a new line
 *     when the output is in the middle of one, else the blank asked for. */
void PutStampedText(const unsigned char *bytes, std::size_t count, bool blank_before)
{
    ConversionState &state = conversion_state;
    if (stamp_lines.stamp_pending) {
        unsigned char stamp[TIME_STAMP_SIZE];
        std::size_t length = PutTimeStamp(stamp);
        if (state.writing.mid_line)
            WriteByte('\n');
        WriteBytes(stamp, length);
        stamp_lines.stamp_pending = false;
        stamp_lines.stamp_written = true;
    } else if (blank_before) {
        WriteByte(' ');
    }
    WriteBytes(bytes, count);
}

void IgnoreLineBreak()
{
}
void IgnoreParagraph(const char *, bool)
{
}
void IgnoreStyle(StyleTag, bool)
{
}

/* FinishStamps
 *     Ends the last subtitle's line. */
bool FinishStamps()
{
    if (stamp_lines.stamp_written && conversion_state.writing.mid_line)
        WriteByte('\n');
    return true;
}

} // namespace

SubtitleListener stamp_listener = {
    StartStamps,     false,           false,       StartStampedSubtitle, PutStampedText,
    IgnoreLineBreak, IgnoreParagraph, IgnoreStyle, FinishStamps,         nullptr,
};
