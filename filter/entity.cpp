// Character entities: «&amp;», «&#39;» and their kind, read with a bounded look-ahead.
#include "byte_io.h"
#include "conversion_state.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace
{

// A name of up to four bytes as one number, a byte each, for the switch below.
constexpr std::uint32_t NameKey(const char *name)
{
    std::uint32_t key = 0;
    for (; *name != '\0'; name++)
        key = key << 8 | static_cast<unsigned char>(*name);
    return key;
}

// Larger than any character a reference may stand for; a longer number stops growing here.
constexpr std::uint32_t NUMBER_CEILING = 0x110000;
constexpr int REMOVED = -1;

// The bytes a name or number may hold, one table look a byte: the look-ahead runs at every '&'.
constexpr std::array<bool, 256> ENTITY_BYTES = [] {
    std::array<bool, 256> holds{};
    for (int c = 0; c < 256; c++)
        holds[static_cast<std::size_t>(c)] =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#';
    return holds;
}();

unsigned char ToLowerAscii(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

int DigitValue(unsigned char c, std::uint32_t base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (ToLowerAscii(c) >= 'a' && ToLowerAscii(c) <= 'f')
        value = ToLowerAscii(c) - 'a' + 10;
    return value >= 0 && static_cast<std::uint32_t>(value) < base ? value : -1;
}

/* DecodeNumber
 *     The character «&#N;» or «&#xH;» stands for, given what follows the '#': printable ASCII,
 *     a tab or 160 (as a blank); REMOVED for any other, whose bytes depend on the encoding. */
int DecodeNumber(const unsigned char *digits, std::size_t length)
{
    std::uint32_t base = 10;
    if (length > 0 && ToLowerAscii(digits[0]) == 'x') {
        base = 16;
        digits++;
        length--;
    }
    if (length == 0)
        return REMOVED;
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < length; k++) {
        int digit = DigitValue(digits[k], base);
        if (digit < 0)
            return REMOVED;
        value = value * base + static_cast<std::uint32_t>(digit);
        if (value > NUMBER_CEILING)
            value = NUMBER_CEILING;
    }
    if (value == '\t' || (value >= 32 && value <= 126))
        return static_cast<int>(value);
    return value == 160 ? ' ' : REMOVED;
}

/* DecodeName
 *     The character a named entity stands for, its name compared without regard to case; the
 *     entities written as their character are these six, every other one is removed whole. */
int DecodeName(const unsigned char *name, std::size_t length)
{
    if (length < 2 || length > 4)
        return REMOVED;
    std::uint32_t key = 0;
    for (std::size_t k = 0; k < length; k++)
        key = key << 8 | ToLowerAscii(name[k]);
    switch (key) {
    case NameKey("amp"): return '&';
    case NameKey("lt"): return '<';
    case NameKey("gt"): return '>';
    case NameKey("quot"): return '"';
    case NameKey("apos"): return '\'';
    case NameKey("nbsp"): return ' ';
    }
    return REMOVED;
}

} // namespace

/* ReadEntity
 *     With current_char an '&': when 1 to 31 letters, digits or '#' and a ';' follow, reads them
 *     and puts the character they stand for in current_char. Anything else reads nothing. */
EntityRead ReadEntity()
{
    ConversionState &state = conversion_state;
    std::size_t available = state.read_length - state.read_position;
    if (available < ENTITY_NAME_SIZE + 1)
        available = EnsureLookAhead(ENTITY_NAME_SIZE + 1);
    const unsigned char *name = read_buffer + state.read_position;
    std::size_t limit = available < ENTITY_NAME_SIZE + 1 ? available : ENTITY_NAME_SIZE + 1;
    // Look for the ';' after the name; a byte no name holds, or 32 of them, end the look.
    std::size_t length = 0;
    while (length < limit && ENTITY_BYTES[name[length]])
        length++;
    if (length == 0 || length == limit || name[length] != ';')
        return EntityRead::NotAnEntity;
    int character = name[0] == '#' ? DecodeNumber(name + 1, length - 1) : DecodeName(name, length);
    state.read_position += length + 1;
    if (character == REMOVED)
        return EntityRead::Removed;
    state.current_char = character;
    return EntityRead::Decoded;
}
