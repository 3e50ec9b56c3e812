// A font's colour read as browsers read the color attribute: HTML's rules for parsing a legacy
// colour value, which make something of nearly any text («chucknorris» is a red).
#include "legacy_colour.h"

#include "byte_classes.h"
#include "conversion_state.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace
{

struct NamedColour {
    const char *name;
    std::uint32_t rgb;
};

// CSS's named colours, sorted for a binary search.
const NamedColour NAMED_COLOURS[] = {
    {"aliceblue", 0xf0f8ff},
    {"antiquewhite", 0xfaebd7},
    {"aqua", 0x00ffff},
    {"aquamarine", 0x7fffd4},
    {"azure", 0xf0ffff},
    {"beige", 0xf5f5dc},
    {"bisque", 0xffe4c4},
    {"black", 0x000000},
    {"blanchedalmond", 0xffebcd},
    {"blue", 0x0000ff},
    {"blueviolet", 0x8a2be2},
    {"brown", 0xa52a2a},
    {"burlywood", 0xdeb887},
    {"cadetblue", 0x5f9ea0},
    {"chartreuse", 0x7fff00},
    {"chocolate", 0xd2691e},
    {"coral", 0xff7f50},
    {"cornflowerblue", 0x6495ed},
    {"cornsilk", 0xfff8dc},
    {"crimson", 0xdc143c},
    {"cyan", 0x00ffff},
    {"darkblue", 0x00008b},
    {"darkcyan", 0x008b8b},
    {"darkgoldenrod", 0xb8860b},
    {"darkgray", 0xa9a9a9},
    {"darkgreen", 0x006400},
    {"darkgrey", 0xa9a9a9},
    {"darkkhaki", 0xbdb76b},
    {"darkmagenta", 0x8b008b},
    {"darkolivegreen", 0x556b2f},
    {"darkorange", 0xff8c00},
    {"darkorchid", 0x9932cc},
    {"darkred", 0x8b0000},
    {"darksalmon", 0xe9967a},
    {"darkseagreen", 0x8fbc8f},
    {"darkslateblue", 0x483d8b},
    {"darkslategray", 0x2f4f4f},
    {"darkslategrey", 0x2f4f4f},
    {"darkturquoise", 0x00ced1},
    {"darkviolet", 0x9400d3},
    {"deeppink", 0xff1493},
    {"deepskyblue", 0x00bfff},
    {"dimgray", 0x696969},
    {"dimgrey", 0x696969},
    {"dodgerblue", 0x1e90ff},
    {"firebrick", 0xb22222},
    {"floralwhite", 0xfffaf0},
    {"forestgreen", 0x228b22},
    {"fuchsia", 0xff00ff},
    {"gainsboro", 0xdcdcdc},
    {"ghostwhite", 0xf8f8ff},
    {"gold", 0xffd700},
    {"goldenrod", 0xdaa520},
    {"gray", 0x808080},
    {"green", 0x008000},
    {"greenyellow", 0xadff2f},
    {"grey", 0x808080},
    {"honeydew", 0xf0fff0},
    {"hotpink", 0xff69b4},
    {"indianred", 0xcd5c5c},
    {"indigo", 0x4b0082},
    {"ivory", 0xfffff0},
    {"khaki", 0xf0e68c},
    {"lavender", 0xe6e6fa},
    {"lavenderblush", 0xfff0f5},
    {"lawngreen", 0x7cfc00},
    {"lemonchiffon", 0xfffacd},
    {"lightblue", 0xadd8e6},
    {"lightcoral", 0xf08080},
    {"lightcyan", 0xe0ffff},
    {"lightgoldenrodyellow", 0xfafad2},
    {"lightgray", 0xd3d3d3},
    {"lightgreen", 0x90ee90},
    {"lightgrey", 0xd3d3d3},
    {"lightpink", 0xffb6c1},
    {"lightsalmon", 0xffa07a},
    {"lightseagreen", 0x20b2aa},
    {"lightskyblue", 0x87cefa},
    {"lightslategray", 0x778899},
    {"lightslategrey", 0x778899},
    {"lightsteelblue", 0xb0c4de},
    {"lightyellow", 0xffffe0},
    {"lime", 0x00ff00},
    {"limegreen", 0x32cd32},
    {"linen", 0xfaf0e6},
    {"magenta", 0xff00ff},
    {"maroon", 0x800000},
    {"mediumaquamarine", 0x66cdaa},
    {"mediumblue", 0x0000cd},
    {"mediumorchid", 0xba55d3},
    {"mediumpurple", 0x9370db},
    {"mediumseagreen", 0x3cb371},
    {"mediumslateblue", 0x7b68ee},
    {"mediumspringgreen", 0x00fa9a},
    {"mediumturquoise", 0x48d1cc},
    {"mediumvioletred", 0xc71585},
    {"midnightblue", 0x191970},
    {"mintcream", 0xf5fffa},
    {"mistyrose", 0xffe4e1},
    {"moccasin", 0xffe4b5},
    {"navajowhite", 0xffdead},
    {"navy", 0x000080},
    {"oldlace", 0xfdf5e6},
    {"olive", 0x808000},
    {"olivedrab", 0x6b8e23},
    {"orange", 0xffa500},
    {"orangered", 0xff4500},
    {"orchid", 0xda70d6},
    {"palegoldenrod", 0xeee8aa},
    {"palegreen", 0x98fb98},
    {"paleturquoise", 0xafeeee},
    {"palevioletred", 0xdb7093},
    {"papayawhip", 0xffefd5},
    {"peachpuff", 0xffdab9},
    {"peru", 0xcd853f},
    {"pink", 0xffc0cb},
    {"plum", 0xdda0dd},
    {"powderblue", 0xb0e0e6},
    {"purple", 0x800080},
    {"rebeccapurple", 0x663399},
    {"red", 0xff0000},
    {"rosybrown", 0xbc8f8f},
    {"royalblue", 0x4169e1},
    {"saddlebrown", 0x8b4513},
    {"salmon", 0xfa8072},
    {"sandybrown", 0xf4a460},
    {"seagreen", 0x2e8b57},
    {"seashell", 0xfff5ee},
    {"sienna", 0xa0522d},
    {"silver", 0xc0c0c0},
    {"skyblue", 0x87ceeb},
    {"slateblue", 0x6a5acd},
    {"slategray", 0x708090},
    {"slategrey", 0x708090},
    {"snow", 0xfffafa},
    {"springgreen", 0x00ff7f},
    {"steelblue", 0x4682b4},
    {"tan", 0xd2b48c},
    {"teal", 0x008080},
    {"thistle", 0xd8bfd8},
    {"tomato", 0xff6347},
    {"turquoise", 0x40e0d0},
    {"violet", 0xee82ee},
    {"wheat", 0xf5deb3},
    {"white", 0xffffff},
    {"whitesmoke", 0xf5f5f5},
    {"yellow", 0xffff00},
    {"yellowgreen", 0x9acd32},
};
constexpr int NAMED_COLOUR_COUNT = sizeof NAMED_COLOURS / sizeof NAMED_COLOURS[0];
constexpr std::size_t LONGEST_NAME = 20; // lightgoldenrodyellow
constexpr std::size_t KEPT_CHARACTERS = 128;

int HexValue(std::uint32_t c)
{
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        return static_cast<int>((c | 0x20) - 'a' + 10);
    return -1;
}

/* FindNamedColour
 *     The colour named by the length bytes at value in any case, or NO_COLOUR. */
std::uint32_t FindNamedColour(const unsigned char *value, std::size_t length)
{
    if (length > LONGEST_NAME)
        return NO_COLOUR;
    char name[LONGEST_NAME + 1];
    for (std::size_t k = 0; k < length; k++)
        name[k] =
            static_cast<char>(value[k] >= 'A' && value[k] <= 'Z' ? value[k] | 0x20 : value[k]);
    name[length] = '\0';
    int low = 0;
    int high = NAMED_COLOUR_COUNT - 1;
    while (low <= high) {
        int middle = (low + high) / 2;
        int order = std::strcmp(name, NAMED_COLOURS[middle].name);
        if (order == 0)
            return NAMED_COLOURS[middle].rgb;
        if (order < 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return NO_COLOUR;
}

/* ReadCharacter
 *     The code point of the UTF-8 sequence at p (below end), moving p past it; a byte that
 *     starts no valid sequence stands for itself. */
std::uint32_t ReadCharacter(const unsigned char **p, const unsigned char *end)
{
    const unsigned char *at = *p;
    std::uint32_t lead = *at;
    std::size_t count = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (count == 1 || static_cast<std::size_t>(end - at) < count) {
        *p = at + 1;
        return lead;
    }
    std::uint32_t value = lead & (0x7F >> count);
    for (std::size_t k = 1; k < count; k++) {
        if ((at[k] & 0xC0) != 0x80) {
            *p = at + 1;
            return lead;
        }
        value = value << 6 | (at[k] & 0x3F);
    }
    *p = at + count;
    return value;
}

} // namespace

/* ParseLegacyColour
 *     The colour the length bytes of UTF-8 at value stand for (cut: more stood after them), as
 *     HTML's rules for a legacy colour value read it; NO_COLOUR when they read none. */
std::uint32_t ParseLegacyColour(const unsigned char *value, std::size_t length, bool cut)
{
    if (length == 0 && !cut)
        return NO_COLOUR;
    const unsigned char *start = value;
    const unsigned char *end = value + length;
    while (start < end && IsAsciiWhiteSpace(*start))
        start++;
    while (!cut && end > start && IsAsciiWhiteSpace(end[-1]))
        end--;
    std::size_t stripped = static_cast<std::size_t>(end - start);
    // «#RRGGBB», as most subtitles write it: no name starts with '#'.
    if (!cut && stripped == 7 && start[0] == '#') {
        std::uint32_t rgb = 0;
        bool hex = true;
        for (std::size_t k = 1; k < 7 && hex; k++) {
            int digit = HexValue(start[k]);
            hex = digit >= 0;
            rgb = rgb << 4 | static_cast<std::uint32_t>(hex ? digit : 0);
        }
        if (hex)
            return rgb;
    }
    static const char TRANSPARENT[] = "transparent";
    bool is_transparent = !cut && stripped == sizeof TRANSPARENT - 1;
    for (std::size_t k = 0; is_transparent && k < stripped; k++)
        is_transparent = (start[k] | 0x20) == TRANSPARENT[k];
    if (is_transparent)
        return NO_COLOUR;
    if (!cut && stripped > 0 && (start[0] | 0x20) >= 'a' && (start[0] | 0x20) <= 'z') {
        std::uint32_t named = FindNamedColour(start, stripped);
        if (named != NO_COLOUR)
            return named;
    }
    if (!cut && stripped == 4 && start[0] == '#' && HexValue(start[1]) >= 0 &&
        HexValue(start[2]) >= 0 && HexValue(start[3]) >= 0)
        return static_cast<std::uint32_t>(HexValue(start[1]) * 17) << 16 |
               static_cast<std::uint32_t>(HexValue(start[2]) * 17) << 8 |
               static_cast<std::uint32_t>(HexValue(start[3]) * 17);
    // The value as hexadecimal digits, each other character a 0, one beyond the basic plane
    // two: at most 128 of them.
    unsigned char digits[KEPT_CHARACTERS + 3];
    std::size_t count = 0;
    const unsigned char *p = start;
    while (p < end && count < KEPT_CHARACTERS) {
        std::uint32_t c = ReadCharacter(&p, end);
        if (c > 0xFFFF) {
            digits[count++] = 0;
            if (count < KEPT_CHARACTERS)
                digits[count++] = 0;
            continue;
        }
        int hex = HexValue(c);
        digits[count++] = static_cast<unsigned char>(hex < 0 ? 0 : hex);
    }
    std::size_t from = count > 0 && start[0] == '#' ? 1 : 0;
    // A '#' counts as a character until it is removed, after the value is cut to 128.
    std::size_t total = count - from;
    while (total == 0 || total % 3 != 0)
        digits[from + total++] = 0;
    std::size_t component = total / 3;
    std::size_t skip = component > 8 ? component - 8 : 0;
    component -= skip;
    const unsigned char *parts[3];
    for (int k = 0; k < 3; k++)
        parts[k] = digits + from + static_cast<std::size_t>(k) * (component + skip) + skip;
    while (component > 2 && parts[0][0] == 0 && parts[1][0] == 0 && parts[2][0] == 0) {
        for (auto &part : parts)
            part++;
        component--;
    }
    std::uint32_t rgb = 0;
    for (const unsigned char *part : parts) {
        std::uint32_t byte =
            component == 1 ? part[0] : static_cast<std::uint32_t>(part[0] << 4 | part[1]);
        rgb = rgb << 8 | byte;
    }
    return rgb;
}

std::uint32_t FontColour()
{
    const ConversionState::Paragraphs &paragraphs = conversion_state.paragraphs;
    if (paragraphs.font_colour_length < 0)
        return NO_COLOUR;
    return ParseLegacyColour(reinterpret_cast<const unsigned char *>(paragraphs.font_colour),
                             static_cast<std::size_t>(paragraphs.font_colour_length),
                             paragraphs.font_colour_cut);
}
