// The stamp that opens each subtitle line in sync mode, «HH :MM :SS  », and its digits, which
// the timed formats write their times with too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

/* PutTwoDigits
 *     Puts value (0..99) as two digits at out: one look instead of a division each. */
inline void PutTwoDigits(std::uint32_t value, unsigned char *out)
{
    static constexpr char TWO_DIGITS[] =
        "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243"
        "4445464748495051525354555657585960616263646566676869707172737475767778798081828384858687"
        "888990919293949596979899";
    std::memcpy(out, TWO_DIGITS + 2 * value, 2);
}

// The longest stamp: four digits of hours (2^32 - 1 ms is 1193 hours) and « :MM :SS  ».
constexpr std::size_t TIME_STAMP_SIZE = 16;
std::size_t PutTimeStamp(unsigned char *out);
