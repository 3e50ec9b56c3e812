// Character entities: «&amp;», «&#39;» and their kind, read with a bounded look-ahead.
#include "byte_io.h"
#include "conversion_state.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace
{

// The entities written as their character; every other one is removed whole.
struct NamedEntity {
    char name[5]; // lower case
    char character;
};

const NamedEntity NAMED_ENTITIES[] = {
    {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", ' '},
};

// Larger than any character a reference may stand for; a longer number stops growing here.
constexpr std::uint32_t NUMBER_CEILING = 0x110000;
constexpr int REMOVED = -1;

bool IsEntityByte(unsigned char c)
{
    // One table look once a byte: the look-ahead runs at every '&'.
    static const struct Table {
        bool holds[256];
        Table() : holds()
        {
            for (int c = 0; c < 256; c++)
                holds[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '#';
        }
    } table;
    return table.holds[c];
}

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
 *     The character a named entity stands for, its name compared without regard to case. */
int DecodeName(const unsigned char *name, std::size_t length)
{
    if (length > 4)
        return REMOVED;
    char lower[5] = {};
    for (std::size_t k = 0; k < length; k++)
        lower[k] = static_cast<char>(ToLowerAscii(name[k]));
    for (const NamedEntity &entity : NAMED_ENTITIES) {
        if (std::memcmp(entity.name, lower, sizeof lower) == 0)
            return entity.character;
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
    std::size_t available = EnsureLookAhead(ENTITY_NAME_SIZE + 1);
    const unsigned char *name = read_buffer + state.read_position;
    std::size_t limit = available < ENTITY_NAME_SIZE + 1 ? available : ENTITY_NAME_SIZE + 1;
    // Look for the ';' after the name; a byte no name holds, or 32 of them, end the look.
    std::size_t length = 0;
    while (length < limit && IsEntityByte(name[length]))
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
