// A font's colour read as browsers read the color attribute.
#pragma once

#include "subtitle_events.h"

#include <cstddef>
#include <cstdint>

// The colour a font tag's color value stands for, as HTML reads it; NO_COLOUR for none.
std::uint32_t FontColour();
std::uint32_t ParseLegacyColour(const unsigned char *value, std::size_t length, bool cut);
