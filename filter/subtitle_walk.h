// The walk over a subtitle's text, the fast path of Sync Save and the timed formats, as a
// template over the events it hands on: a listener that instantiates it with events of its
// own (Sync Save's stamps in text_walk.cpp, the cue path in cues/) gets them without a call a
// piece of text. Like the walk of Save beside it, it does what the steps would do, a block of
// 64 bytes at a time: each block is classified once into a mask of the bytes that mean
// something, and the walk goes from one to the next with a count of trailing zeros.
#pragma once

#include "entity.h"
#include "fast_scans.h"
#include "steps.h"

#include <cstdint>
#include <cstring>

inline unsigned CountTrailingZeros(std::uint64_t bits)
{
    return static_cast<unsigned>(__builtin_ctzll(bits));
}

#if defined(VELMORA_SSE2_SCANS)
inline __m128i Matches(__m128i v, char c)
{
    return _mm_cmpeq_epi8(v, _mm_set1_epi8(c));
}

inline std::uint64_t Bits(__m128i m0, __m128i m1, __m128i m2, __m128i m3)
{
    auto bits = [](__m128i m) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m)));
    };
    return bits(m0) | bits(m1) << 16 | bits(m2) << 32 | bits(m3) << 48;
}

// '<' and '>', 3C and 3E, are the bytes that read 3E with bit 1 set.
inline __m128i MatchesAngles(__m128i v)
{
    return _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(0x02)), _mm_set1_epi8('>'));
}
#endif

/* SubtitleEvents
 *     The bytes of the block at p that a subtitle must look at: markup, entities, the bytes
 *     below a blank (tabs and line ends among them), and each blank that white space or markup
 *     follows (next is the byte after the block, or -1 when it is not known yet). A blank
 *     between text bytes is text. */
#if defined(__GNUC__)
[[gnu::always_inline]] // once a block, in each walk
#endif
inline std::uint64_t
SubtitleEvents(const unsigned char *p, int next)
{
    std::uint64_t marks = 0; // markup, entities, tabs, line ends and other control bytes
    std::uint64_t blanks = 0;
#if defined(VELMORA_SSE2_SCANS)
    __m128i m[4];
    __m128i b[4];
    for (int k = 0; k < 4; k++) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + CHUNK * k));
        __m128i blank = Matches(v, ' ');
        __m128i at_most_blank =
            _mm_cmpeq_epi8(_mm_max_epu8(v, _mm_set1_epi8(' ')), _mm_set1_epi8(' '));
        __m128i markup = _mm_or_si128(MatchesAngles(v), Matches(v, '&'));
        m[k] = _mm_or_si128(markup, _mm_andnot_si128(blank, at_most_blank));
        b[k] = blank;
    }
    marks = Bits(m[0], m[1], m[2], m[3]);
    blanks = Bits(b[0], b[1], b[2], b[3]);
#else
    for (int k = 0; k < BLOCK; k++) {
        unsigned char c = p[k];
        if (c == '<' || c == '>' || c == '&' || c < ' ')
            marks |= std::uint64_t{1} << k;
        else if (c == ' ')
            blanks |= std::uint64_t{1} << k;
    }
#endif
    bool next_ends = next < 0 || next == '<' || next == '>' || next == '&' || next <= ' ';
    std::uint64_t followers = (marks | blanks) >> 1 | std::uint64_t{next_ends} << 63;
    return marks | (blanks & followers);
}

/* EventsFrom
 *     The events of the block left once reading has gone on to pos: none before it. */
inline std::uint64_t EventsFrom(std::uint64_t events, const unsigned char *block,
                                const unsigned char *pos)
{
    std::ptrdiff_t offset = pos - block;
    if (offset >= BLOCK)
        return 0;
    return events & (~std::uint64_t{0} << offset);
}

/* FindTagEnd
 *     The '>' of the tag whose '<' is at lt, given the block's events after it: the first '>'
 *     among them, else the first after the block; end when the buffer holds none. */
inline const unsigned char *FindTagEnd(const unsigned char *block, std::uint64_t events,
                                       const unsigned char *lt, const unsigned char *end)
{
    for (; events != 0; events &= events - 1) {
        const unsigned char *at = block + CountTrailingZeros(events);
        if (*at == '>')
            return at;
    }
    const unsigned char *after = block + BLOCK > lt + 1 ? block + BLOCK : lt + 1;
    return FindByte(after, end, '>');
}

/* TagEndAt
 *     What the '<' at lt, among the block's events after it, opens: nullptr when it is text,
 *     end when the buffer ends before that is known, else a tag, whose '>' it returns. */
#if defined(__GNUC__)
[[gnu::always_inline]] // at every '<' of the walks
#endif
inline const unsigned char *
TagEndAt(const unsigned char *block, std::uint64_t events, const unsigned char *lt,
         const unsigned char *end)
{
    if (lt + 1 == end)
        return conversion_state.reading.source_ended ? nullptr : end;
    if (KeepsLessThan(lt[1]))
        return nullptr;
    return FindTagEnd(block, events, lt, end);
}

/* NumberReachesEnd
 *     Whether the '&' at amp may start a number whose digits go on to end, where the buffer
 *     ends: ReadEntity would fill it again, which moves its bytes under the walk. */
inline bool NumberReachesEnd(const unsigned char *amp, const unsigned char *end)
{
    if (amp[1] != '#')
        return false;
    const unsigned char *p = amp + 2;
    while (p < end && ((*p >= '0' && *p <= '9') || ((*p | 0x20) >= 'a' && (*p | 0x20) <= 'f') ||
                       (*p | 0x20) == 'x'))
        p++;
    return p == end;
}

/* ReadEntityAt
 *     Reads the entity whose '&' is at amp as ReadEntity does; the character it stands for is
 *     left in entity_text. Returns where reading goes on, nullptr when the look-ahead must wait
 *     for the next block. */
#if defined(__GNUC__)
[[gnu::always_inline]] // at every '&' of the walks
#endif
inline const unsigned char *
ReadEntityAt(const unsigned char *amp, const unsigned char *end, EntityRead *entity)
{
    ConversionState &state = conversion_state;
    if (end - amp < ENTITY_NAME_SIZE + 2 && !state.reading.source_ended)
        return nullptr;
    unsigned char character = 0;
    if (std::size_t common =
            ReadCommonEntity(amp + 1, static_cast<std::size_t>(end - amp - 1), &character)) {
        state.text.entity_text[0] = character;
        state.text.entity_length = 1;
        *entity = EntityRead::Decoded;
        return amp + 1 + common;
    }
    if (!state.reading.source_ended && NumberReachesEnd(amp, end))
        return nullptr;
    state.reading.read_position = static_cast<std::size_t>(amp + 1 - read_buffer);
    state.current_char = '&';
    *entity = ReadEntity();
    return *entity == EntityRead::NotAnEntity ? amp : read_buffer + state.reading.read_position;
}

/* WalkSubtitleEvents
 *     The subtitles of Sync Save with no class chosen: hands the listener each run of text, with
 *     one blank for each run of white space, line breaks and paragraph tags between text bytes,
 *     and the tags that mean something to it; reads entities and tags in place and starts a
 *     subtitle at each SYNC tag. Stops before a parameter block, a tag or entity the buffer's
 *     end cuts, a SYNC value or an attribute read with a CR, the last bytes. */
// Events has put_text(bytes, count, blank_before), put_entity_text(blank_before) for the
// entity just read, start_subtitle(), break_line(), mark_paragraph(class_name,
// of_chosen_class), mark_style(tag, closing), start_block() at each block and
// hand_back() before it stops or a step reads the state, and STYLES, false when style tags
// never matter to it.
template <class Events>
inline const unsigned char *WalkSubtitleEvents(const unsigned char *start, const unsigned char *end,
                                               Events listener)
{
    ConversionState &state = conversion_state;
    bool first_text_pending = state.text.first_text_pending;
    bool blank_pending = state.text.blank_pending;
    const bool reads_classes = ReadsClasses();
    const bool reads_styles = ReadsStyles();
    const unsigned char *text = start; // the first byte of the text not yet handed on
    const unsigned char *block = start;

    // Hands on the text from text to to; blanks that lead it are white space.
    auto put_text = [&](const unsigned char *to) {
        for (; text < to && *text == ' '; text++)
            blank_pending = !first_text_pending;
        if (text == to)
            return;
        listener.put_text(text, static_cast<std::size_t>(to - text), blank_pending);
        first_text_pending = blank_pending = false;
        text = to;
    };
    // What the steps keep of it, before a step reads the state or the walk stops at where.
    auto hand_back = [&](const unsigned char *where) {
        state.text.first_text_pending = first_text_pending;
        state.text.blank_pending = blank_pending;
        listener.hand_back();
        return where;
    };

    // Look at one block at a time while a whole one is left.
    for (; end - block >= BLOCK; block = text) {
        listener.start_block();
        int next = end - block > BLOCK ? block[BLOCK] : -1;
        std::uint64_t events = SubtitleEvents(block, next);
        while (events != 0) {
            const unsigned char *at = block + CountTrailingZeros(events);
            events &= events - 1;
            put_text(at);
            unsigned char c = *at;
            if (IsWhiteSpace(c)) {
                const unsigned char *p = at + 1;
                while (p < end && IsWhiteSpace(*p))
                    p++;
                blank_pending = !first_text_pending;
                text = p;
                events = EventsFrom(events, block, text);
                continue;
            }
            if (c == '>')
                continue; // a '>' in the text is text; a tag's own is read with its tag
            if (c < ' ')
                continue; // a control byte but the tab and the line ends is text
            if (c == '&') {
                EntityRead entity;
                const unsigned char *after = ReadEntityAt(at, end, &entity);
                if (after == nullptr)
                    return hand_back(at);
                if (entity == EntityRead::Decoded && IsWhiteSpace(state.text.entity_text[0])) {
                    blank_pending = !first_text_pending;
                } else if (entity == EntityRead::Decoded) {
                    listener.put_entity_text(blank_pending);
                    first_text_pending = blank_pending = false;
                }
                text = after; // the '&' itself when it began no entity: text
                events = EventsFrom(events, block, text);
                continue;
            }
            // A '<': text before white space, a digit or the end of the input; else a tag.
            const unsigned char *gt = TagEndAt(block, events, at, end);
            if (gt == nullptr)
                continue;
            if (gt == end)
                return hand_back(at);
            const unsigned char *name_end;
            TagKind kind = ClassifyTagInBuffer(at, &name_end, Events::STYLES && reads_styles);
            switch (kind) {
            case TagKind::Sync:
                if (!CaptureSyncValue(name_end, gt))
                    return hand_back(at);
                state.sync_value[state.sync_value_length] = '>';
                first_text_pending = true;
                blank_pending = false;
                listener.start_subtitle();
                break;
            case TagKind::Paragraph:
                if (reads_classes) {
                    hand_back(at);
                    if (!ReadParagraphClassAt(name_end, gt))
                        return at; // the steps read its CR LF as one byte
                } else {
                    listener.mark_paragraph("", false);
                }
                blank_pending = !first_text_pending;
                break;
            case TagKind::ParagraphEnd:
                listener.mark_paragraph(nullptr, false);
                blank_pending = !first_text_pending;
                break;
            case TagKind::LineBreak:
                listener.break_line();
                blank_pending = !first_text_pending;
                break;
            case TagKind::Style:
            case TagKind::SamiParam:
            case TagKind::Script: state.text.parameter_block = kind; return hand_back(gt + 1);
            case TagKind::Font:
                if (!reads_styles)
                    break;
                if (!ReadFontColourAt(name_end))
                    return hand_back(at); // the steps read its CR LF as one byte
                listener.mark_style(StyleTag::Font, false);
                break;
            default:
                StyleTag tag;
                bool closing;
                if (reads_styles && StyleOfTag(kind, &tag, &closing))
                    listener.mark_style(tag, closing);
                break;
            }
            text = gt + 1;
            events = EventsFrom(events, block, text);
        }
        const unsigned char *next_block = block + BLOCK;
        if (text < next_block)
            put_text(next_block);
    }
    return hand_back(text); // the last bytes are for the run-at-a-time scans
}
