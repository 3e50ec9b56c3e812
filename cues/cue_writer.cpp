// What the timed formats share: numbers and times.
#include "cue_writer.h"

#include <cstring>

/* PutNumber
 *     Puts value in decimal at out; returns its length, at most 20. Two digits a step. */
std::size_t PutNumber(std::uint64_t value, unsigned char *out)
{
    unsigned char digits[NUMBER_SIZE];
    unsigned char *first = digits + sizeof digits;
    for (; value > 0xFFFFFFFFu; value /= 100u) {
        first -= 2;
        PutTwoDigits(static_cast<std::uint32_t>(value % 100u), first);
    }
    auto rest = static_cast<std::uint32_t>(value); // most numbers: cheaper divisions
    for (; rest >= 100; rest /= 100u) {
        first -= 2;
        PutTwoDigits(rest % 100u, first);
    }
    if (rest >= 10) {
        first -= 2;
        PutTwoDigits(rest, first);
    } else {
        *--first = static_cast<unsigned char>('0' + rest);
    }
    auto count = static_cast<std::size_t>(digits + sizeof digits - first);
    std::memcpy(out, first, count);
    return count;
}

/* PutCueTime
 *     Puts ms at out as «HH:MM:SS» (more hour digits from 100 hours on), separator and three
 *     digits of milliseconds; returns its length, at most CUE_TIME_SIZE. */
std::size_t PutCueTime(std::uint64_t ms, char separator, unsigned char *out)
{
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
