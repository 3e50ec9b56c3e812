// Character entities: «&amp;», «&#39;», «&eacute;» read for the steps, the common ones told at
// one look for the fast path.
#pragma once

#include <cstddef>
#include <cstring>

// Reads the entity whose '&' is current_char; see entity.cpp.
enum class EntityRead { NotAnEntity, Removed, Decoded };
EntityRead ReadEntity();

/* ReadCommonEntity
 *     The entities nearly every file uses, in their usual spelling, told at one look: the
 *     length, ';' included, of the one that the available bytes at name (after the '&') begin
 *     with, its character in character; 0 for any other. */
inline std::size_t ReadCommonEntity(const unsigned char *name, std::size_t available,
                                    unsigned char *character)
{
    if (available >= 5 && std::memcmp(name, "nbsp;", 5) == 0) {
        *character = ' ';
        return 5;
    }
    if (available >= 5 && std::memcmp(name, "quot;", 5) == 0) {
        *character = '"';
        return 5;
    }
    if (available >= 4 && std::memcmp(name, "amp;", 4) == 0) {
        *character = '&';
        return 4;
    }
    return 0;
}
