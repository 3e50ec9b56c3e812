// What the timed formats share: numbers and times.
#include "cue_writer.h"

#include <cstring>

/* PutCueTime
 *     Puts ms at out as «HH:MM:SS» (more hour digits from 100 hours on), separator and three
 *     digits of milliseconds; returns its length, at most CUE_TIME_SIZE. */
std::size_t PutCueTime(std::uint64_t ms, char separator, unsigned char *out)
{
    if (ms < HUNDRED_HOURS) {
        PutShortCueTime(static_cast<std::uint32_t>(ms), separator, out);
        return SHORT_CUE_TIME;
    }
    auto seconds = static_cast<std::uint32_t>(ms / 1000u); // below 2^32 + 4000 ms
    auto millis = static_cast<std::uint32_t>(ms - std::uint64_t{seconds} * 1000u);
    std::uint32_t hours = seconds / 3600u;
    std::uint32_t rest = seconds - hours * 3600u;
    std::uint32_t minutes = rest / 60u;
    rest -= minutes * 60u;
    std::size_t length = 0;
    if (hours >= 100) {
        length = PutNumber(hours / 100u, out);
        hours %= 100u;
    }
    out += length;
    PutTwoDigits(hours, out);
    out[2] = ':';
    PutTwoDigits(minutes, out + 3);
    out[5] = ':';
    PutTwoDigits(rest, out + 6);
    out[8] = static_cast<unsigned char>(separator);
    out[9] = static_cast<unsigned char>('0' + millis / 100u);
    PutTwoDigits(millis % 100u, out + 10);
    return length + 12;
}
