// The table of the tag names that mean something, told at one look for the steps and the fast
// path alike, and the style tags among them.
#pragma once

#include "byte_classes.h"
#include "conversion_state.h"
#include "subtitle_events.h"

#include <cstdint>
#include <cstring>

inline bool OpensParameterBlock(TagKind kind)
{
    return kind == TagKind::Style || kind == TagKind::SamiParam || kind == TagKind::Script;
}

// Its look-ups are small lambdas that must fold into the one comparison of each name, whatever
// the inliner's budget at the call.
#if defined(__GNUC__)
#define VELMORA_FOLDED __attribute__((always_inline))
#else
#define VELMORA_FOLDED
#endif

/* ClassifyTagName
 *     What the name at name says a tag is, without regard to case, a style tag only when styles
 *     are read; length is set to the name's length when it is one that means something. Reads
 *     up to eight bytes and the one after a name that means something, which must end it. Told
 *     by the first letter, then a word at a time. */
#if defined(__GNUC__)
[[gnu::always_inline]] // called at every tag, from the steps and the fast path alike
#endif
inline TagKind
ClassifyTagName(const unsigned char *name, bool closing, int *length, bool styles)
{
    // Clearing 0x20 makes a letter upper case and nothing else a letter. The first eight
    // bytes are one word, least significant first, however the machine orders them.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t first_eight;
    std::memcpy(&first_eight, name, 8);
    first_eight &= 0xDFDFDFDFDFDFDFDFull;
    auto word = [first_eight](int count) VELMORA_FOLDED {
        return count == 8 ? first_eight : first_eight & ((std::uint64_t{1} << (8 * count)) - 1);
    };
#else
    auto word = [name](int count) VELMORA_FOLDED {
        std::uint64_t value = 0;
        for (int k = 0; k < count; k++)
            value |= std::uint64_t{name[k] & 0xDFu} << (8 * k);
        return value;
    };
#endif
    auto spelled = [](const char *upper, int count) VELMORA_FOLDED {
        std::uint64_t value = 0;
        for (int k = 0; k < count; k++)
            value |= std::uint64_t{static_cast<unsigned char>(upper[k])} << (8 * k);
        return value;
    };
    // Whether the name is upper (its first count bytes, at most eight, and then last) alone.
    auto is = [&](const char *upper, int count, int whole) VELMORA_FOLDED {
        bool same = word(count) == spelled(upper, count) &&
                    (whole == count || (name[count] & 0xDF) == upper[count]) &&
                    (BYTE_CLASSES.of[name[whole]] & ENDS_TAG_NAME) != 0;
        *length = whole;
        return same;
    };
    // A style tag's closing kind follows its opening one.
    auto styled = [closing](TagKind opening) VELMORA_FOLDED {
        return static_cast<TagKind>(static_cast<int>(opening) + (closing ? 1 : 0));
    };
    switch (name[0] & 0xDF) {
    case 'P':
        if (is("P", 1, 1))
            return closing ? TagKind::ParagraphEnd : TagKind::Paragraph;
        break;
    case 'B':
        if (styles && is("B", 1, 1))
            return styled(TagKind::Bold);
        if (!closing && is("BR", 2, 2))
            return TagKind::LineBreak;
        if (!closing && is("BODY", 4, 4))
            return TagKind::Body;
        break;
    case 'I':
        if (styles && is("I", 1, 1))
            return styled(TagKind::Italic);
        break;
    case 'E':
        if (styles && is("EM", 2, 2))
            return styled(TagKind::Emphasis);
        break;
    case 'U':
        if (styles && is("U", 1, 1))
            return styled(TagKind::Underline);
        break;
    case 'F':
        if (styles && is("FONT", 4, 4))
            return styled(TagKind::Font);
        break;
    case 'H':
        if (closing && is("HEAD", 4, 4))
            return TagKind::HeadEnd;
        break;
    case 'S':
        if (!closing && is("SYNC", 4, 4))
            return TagKind::Sync;
        if (is("STYLE", 5, 5))
            return closing ? TagKind::StyleEnd : TagKind::Style;
        if (is("SCRIPT", 6, 6))
            return closing ? TagKind::ScriptEnd : TagKind::Script;
        if (styles && is("STRONG", 6, 6))
            return styled(TagKind::Strong);
        if (is("SAMIPARAM", 8, 9))
            return closing ? TagKind::SamiParamEnd : TagKind::SamiParam;
        break;
    }
    return TagKind::Other;
}

/* StyleOfTag
 *     The style tag a tag of kind is, and whether it closes; false for any other tag. */
inline bool StyleOfTag(TagKind kind, StyleTag *tag, bool *closing)
{
    int offset = static_cast<int>(kind) - static_cast<int>(TagKind::Italic);
    if (offset < 0)
        return false;
    *tag = static_cast<StyleTag>(offset / 2);
    *closing = offset % 2 == 1;
    return true;
}
