// Character entities: «&amp;», «&#39;», «&eacute;» and their kind, read with a bounded
// look-ahead but for the digits of a number. Which characters an entity may stand for depends on
// whether the text is Unicode.
#include "entity.h"
#include "byte_io.h"
#include "conversion_state.h"
#include "steps.h"
#include "utf8.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace
{

// Larger than any character a reference may stand for; a longer number stops growing here.
constexpr std::uint32_t NUMBER_CEILING = 0x110000;
constexpr std::uint32_t REMOVED = 0xFFFFFFFF;
constexpr std::uint32_t NO_DIGITS = 0xFFFFFFFE;  // «&#» and no digit: not a numeric reference
constexpr std::uint32_t NOT_A_NAME = 0xFFFFFFFD; // no name that counts without its ';'
constexpr std::uint32_t SOFT_HYPHEN = 0xAD;

// The bytes a name or number may hold, one table look a byte: the look-ahead runs at every '&'.
constexpr std::array<bool, 256> ENTITY_BYTES = [] {
    std::array<bool, 256> holds{};
    for (int c = 0; c < 256; c++)
        holds[static_cast<std::size_t>(c)] =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#';
    return holds;
}();

struct NamedCharacter {
    const char *name;
    std::uint32_t code_point;
    std::uint32_t second_code_point; // 0 when the name stands for one character
    bool legacy;                     // HTML also reads it without its ';'
};

// The named references of HTML5, sorted by their bytes for a binary search; names are
// compared exactly.
const NamedCharacter HTML5_ENTITIES[] = {
#include "html5_entities.inc"
};

// What HTML makes of the references 128 to 159: the characters of Windows-1252; 0 where it has
// none.
const std::uint32_t WINDOWS_1252_HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

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

/* WrittenCharacter
 *     What a character an entity stands for is written as: printable ASCII and the tab
 *     everywhere, 160 as a blank, and in Unicode text every other character but the soft
 *     hyphen and the surrogates; REMOVED for the rest, whose bytes depend on the encoding. */
std::uint32_t WrittenCharacter(std::uint32_t code_point)
{
    if (code_point == '\t' || (code_point >= 32 && code_point <= 126))
        return code_point;
    if (code_point == 160)
        return ' ';
    if (!conversion_state.reading.text_is_unicode || code_point < 128 ||
        code_point == SOFT_HYPHEN || (code_point >= 0xD800 && code_point <= 0xDFFF) ||
        code_point >= NUMBER_CEILING)
        return REMOVED;
    if (code_point < 160) {
        std::uint32_t windows = WINDOWS_1252_HIGH[code_point - 128];
        return windows != 0 ? windows : REMOVED;
    }
    return code_point;
}

/* ReadNumber
 *     With the read position on the '#' of «&#» (the available bytes at name): when a digit
 *     follows it, or a hexadecimal one an 'x' or 'X', reads all the digits, however many, and a
 *     ';' right after them, and returns the character they stand for, or REMOVED. Reads
 *     nothing and returns NO_DIGITS when no digit follows. */
std::uint32_t ReadNumber(const unsigned char *name, std::size_t available)
{
    ConversionState &state = conversion_state;
    std::uint32_t base = 10;
    std::size_t first = 1;
    if (available > 1 && ToLowerAscii(name[1]) == 'x') {
        base = 16;
        first = 2;
    }
    if (first >= available || DigitValue(name[first], base) < 0)
        return NO_DIGITS;
    state.reading.read_position += first;
    std::uint32_t value = 0;
    // Read the digits as they come, filling the buffer again whenever they reach its end.
    for (;;) {
        std::size_t position = state.reading.read_position;
        for (; position < state.reading.read_length; position++) {
            int digit = DigitValue(read_buffer[position], base);
            if (digit < 0)
                break;
            value = value * base + static_cast<std::uint32_t>(digit);
            if (value > NUMBER_CEILING)
                value = NUMBER_CEILING;
        }
        state.reading.read_position = position;
        if (position < state.reading.read_length || EnsureLookAhead(1) == 0)
            break;
    }
    if (state.reading.read_position < state.reading.read_length &&
        read_buffer[state.reading.read_position] == ';')
        state.reading.read_position++;
    return WrittenCharacter(value);
}

// A name of up to four bytes as one number, a byte each, for the switch below.
constexpr std::uint32_t NameKey(const char *name)
{
    std::uint32_t key = 0;
    for (; *name != '\0'; name++)
        key = key << 8 | static_cast<unsigned char>(*name);
    return key;
}

/* ShortName
 *     The character of one of the few names every file uses, compared without regard to case,
 *     or REMOVED. Only these may stand without their ';' in any text (all but apos). */
std::uint32_t ShortName(const unsigned char *name, std::size_t length, bool without_semicolon)
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
    case NameKey("nbsp"): return ' ';
    case NameKey("apos"): return without_semicolon ? REMOVED : '\'';
    }
    return REMOVED;
}

/* FindName
 *     The entry of the HTML5 list whose name is exactly the length bytes at name, or nullptr. */
const NamedCharacter *FindName(const unsigned char *name, std::size_t length)
{
    std::size_t low = 0;
    std::size_t high = sizeof HTML5_ENTITIES / sizeof HTML5_ENTITIES[0];
    // Look for the name in the sorted table.
    while (low < high) {
        std::size_t middle = (low + high) / 2;
        const char *candidate = HTML5_ENTITIES[middle].name;
        std::size_t candidate_length = std::strlen(candidate);
        int order =
            std::memcmp(candidate, name, candidate_length < length ? candidate_length : length);
        if (order == 0)
            order = candidate_length < length ? -1 : candidate_length > length ? 1 : 0;
        if (order == 0)
            return &HTML5_ENTITIES[middle];
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return nullptr;
}

/* DecodeName
 *     The character «&name;» stands for: one of the short names, or in Unicode text any name
 *     of HTML5, whose second character, if it has one, goes in second; REMOVED for every other
 *     name. */
std::uint32_t DecodeName(const unsigned char *name, std::size_t length, std::uint32_t *second)
{
    std::uint32_t short_name = ShortName(name, length, false);
    if (short_name != REMOVED || !conversion_state.reading.text_is_unicode)
        return short_name;
    const NamedCharacter *named = FindName(name, length);
    if (named == nullptr)
        return REMOVED;
    if (named->second_code_point != 0) {
        *second = WrittenCharacter(named->second_code_point);
        if (*second == REMOVED)
            return REMOVED;
    }
    return WrittenCharacter(named->code_point);
}

/* DecodeLegacyName
 *     The character a name stands for without its ';': one of the short names, or in Unicode
 *     text one of the names HTML reads without it; NOT_A_NAME for any other. */
std::uint32_t DecodeLegacyName(const unsigned char *name, std::size_t length)
{
    std::uint32_t short_name = ShortName(name, length, true);
    if (short_name != REMOVED)
        return short_name;
    const NamedCharacter *named =
        conversion_state.reading.text_is_unicode ? FindName(name, length) : nullptr;
    if (named == nullptr || !named->legacy)
        return NOT_A_NAME;
    return WrittenCharacter(named->code_point); // every one stands for a single character
}

/* PutEntityText
 *     Puts the character an entity stands for, and its second if it has one (else 0), into
 *     entity_text as UTF-8, and its first byte into current_char. */
void PutEntityText(std::uint32_t code_point, std::uint32_t second)
{
    ConversionState &state = conversion_state;
    unsigned char *out = state.text.entity_text;
    state.text.entity_length = static_cast<int>(PutUtf8(code_point, out));
    if (second != 0)
        state.text.entity_length +=
            static_cast<int>(PutUtf8(second, out + state.text.entity_length));
    state.current_char = out[0];
}

} // namespace

/* ReadEntity
 *     With current_char an '&': a '#' and digits make a numeric reference, however many (see
 *     ReadNumber). Else, when 1 to 31 letters, digits or '#' and a ';' follow, reads them and
 *     puts the character they stand for in entity_text. Without the ';' a name counts when
 *     DecodeLegacyName knows it and no such byte or ';' follows it. Anything else reads
 *     nothing. */
EntityRead ReadEntity()
{
    ConversionState &state = conversion_state;
    std::size_t available = state.reading.read_length - state.reading.read_position;
    if (available < ENTITY_NAME_SIZE + 1)
        available = EnsureLookAhead(ENTITY_NAME_SIZE + 1);
    const unsigned char *name = read_buffer + state.reading.read_position;
    unsigned char character = 0;
    if (std::size_t common = ReadCommonEntity(name, available, &character)) {
        PutEntityText(character, 0);
        state.reading.read_position += common;
        return EntityRead::Decoded;
    }
    std::uint32_t decoded =
        available > 0 && name[0] == '#' ? ReadNumber(name, available) : NO_DIGITS;
    std::uint32_t second = 0;
    if (decoded == NO_DIGITS) {
        std::size_t limit = available < ENTITY_NAME_SIZE + 1 ? available : ENTITY_NAME_SIZE + 1;
        // Look for the end of the name; a byte no name holds, or 32 of them, end the look.
        std::size_t length = 0;
        while (length < limit && ENTITY_BYTES[name[length]])
            length++;
        if (length == 0 || length > ENTITY_NAME_SIZE)
            return EntityRead::NotAnEntity;
        if (length < available && name[length] == ';') {
            // «&#;» and «&#xyz;», with no digit, are removed whole.
            decoded = name[0] == '#' ? REMOVED : DecodeName(name, length, &second);
            state.reading.read_position += length + 1;
        } else {
            // Only the input's end or a byte that is neither part of a name nor a ';' follows.
            decoded = DecodeLegacyName(name, length);
            if (decoded == NOT_A_NAME)
                return EntityRead::NotAnEntity;
            state.reading.read_position += length;
        }
    }
    if (decoded == REMOVED)
        return EntityRead::Removed;
    PutEntityText(decoded, second);
    return EntityRead::Decoded;
}
