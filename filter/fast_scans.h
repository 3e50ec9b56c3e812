// What the fast path's files share: the scans of the read buffer (fast_scans.cpp), a tag read
// in place, and the walks that convert whole blocks of it.
#pragma once

#include "byte_io.h"
#include "conversion_state.h"
#include "tag_names.h"

#include <cstddef>

constexpr std::ptrdiff_t CHUNK = 16; // bytes one wide compare looks at
constexpr std::ptrdiff_t BLOCK = 64; // bytes a walk classifies at once

// The byte the scans stop at for a CR: a CR itself where a CR before an LF is not read, else
// '<', at which they stop anyway.
inline unsigned char CrStop()
{
    return conversion_state.reading.joins_line_ends ? '\r' : '<';
}

#if defined(VELMORA_SSE2_SCANS)
// The bytes of v that are c, one bit each.
inline unsigned MatchMask(__m128i v, unsigned char c)
{
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(c)))));
}
#endif

// Discards the rest of a tag up to its '>', left in current_char: the steps' look, and the
// fast path's.
void SkipTagRest();

// The first byte c from p on, or end.
const unsigned char *FindByte(const unsigned char *p, const unsigned char *end, unsigned char c);

/* ClassifyTagInBuffer
 *     What the name of the tag whose '<' is at lt says it is, as ReadTagName reads it (style
 *     tags when styles are read); for a
 *     name that means something, name_end is left where it ends. The tag's '>' ends it at the
 *     latest, and the buffer's slack lets the word look go past. */
#if defined(__GNUC__)
[[gnu::always_inline]] // at every tag of the walks
#endif
inline TagKind
ClassifyTagInBuffer(const unsigned char *lt, const unsigned char **name_end, bool styles)
{
    const unsigned char *name = lt + 1;
    bool closing = *name == '/';
    name += closing ? 1 : 0;
    int length = 0;
    TagKind kind = ClassifyTagName(name, closing, &length, styles);
    *name_end = name + length;
    return kind;
}

// Captures a SYNC tag's value as ReadSyncValue would, from the name's end to its '>' at gt.
// False when a CR in it may pair with an LF, which the steps read as one byte.
bool CaptureSyncValue(const unsigned char *name_end, const unsigned char *gt);

// The walks: from start on, they do what the steps would do, a block at a time, for Save with
// no class chosen and for the subtitles of Sync Save with none, as long as nothing is pending
// that only the steps decide. Each returns where it stopped, start when it did nothing.
const unsigned char *WalkSaveText(const unsigned char *start, const unsigned char *end);
const unsigned char *WalkSubtitleText(const unsigned char *start, const unsigned char *end);
