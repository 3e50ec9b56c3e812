// A font's colour read as browsers read the color attribute.
#pragma once

#include "subtitle_events.h"

#include <cstddef>
#include <cstdint>

// The colour a font tag's color value stands for, as HTML reads it; NO_COLOUR for none.
std::uint32_t FontColour();

// The colour a style tag just read brings: an opening font's, else NO_COLOUR.
inline std::uint32_t ColourOfStyleTag(StyleTag tag, bool closing)
{
    return tag == StyleTag::Font && !closing ? FontColour() : NO_COLOUR;
}
std::uint32_t ParseLegacyColour(const unsigned char *value, std::size_t length, bool cut);
