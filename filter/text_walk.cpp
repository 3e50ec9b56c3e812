// The walks: the common cases of the fast path, a block of 64 bytes at a time. Each block is
// classified once into a mask of the bytes that mean something (markup, entities, the CR of
// a CR LF and, in a subtitle, white space); the walk goes from one to the next with a count of
// trailing zeros and copies the text between them at once. The state they change most is kept
// in locals and handed back when they stop.
#include "fast_scans.h"
#include "stamp_lines.h"

#include <cstdint>
#include <cstring>

namespace
{

// Room a block needs in write_buffer: its text, the line ends and entities it may add, a stamp.
constexpr std::size_t BLOCK_OUTPUT = 4 * BLOCK;

unsigned CountTrailingZeros(std::uint64_t bits)
{
    return static_cast<unsigned>(__builtin_ctzll(bits));
}

#if defined(VELMORA_SSE2_SCANS)
__m128i Matches(__m128i v, char c)
{
    return _mm_cmpeq_epi8(v, _mm_set1_epi8(c));
}

std::uint64_t Bits(__m128i m0, __m128i m1, __m128i m2, __m128i m3)
{
    auto bits = [](__m128i m) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m)));
    };
    return bits(m0) | bits(m1) << 16 | bits(m2) << 32 | bits(m3) << 48;
}

// '<' and '>', 3C and 3E, are the bytes that read 3E with bit 1 set.
__m128i MatchesAngles(__m128i v)
{
    return _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(0x02)), _mm_set1_epi8('>'));
}
#endif

/* SaveEvents
 *     The bytes of the block at p that Save must look at: '<', '>', '&' and cr. A '>' is among
 *     them for the tag it may end. */
std::uint64_t SaveEvents(const unsigned char *p, unsigned char cr)
{
#if defined(VELMORA_SSE2_SCANS)
    __m128i m[4];
    for (int k = 0; k < 4; k++) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + CHUNK * k));
        m[k] = _mm_or_si128(_mm_or_si128(MatchesAngles(v), Matches(v, '&')),
                            Matches(v, static_cast<char>(cr)));
    }
    return Bits(m[0], m[1], m[2], m[3]);
#else
    std::uint64_t bits = 0;
    for (int k = 0; k < BLOCK; k++) {
        unsigned char c = p[k];
        if (c == '<' || c == '>' || c == '&' || c == cr)
            bits |= std::uint64_t{1} << k;
    }
    return bits;
#endif
}

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
std::uint64_t EventsFrom(std::uint64_t events, const unsigned char *block, const unsigned char *pos)
{
    std::ptrdiff_t offset = pos - block;
    if (offset >= BLOCK)
        return 0;
    return events & (~std::uint64_t{0} << offset);
}

/* CopyText
 *     Copies the bytes from from to to at out and returns the end of the copy. Whole chunks are
 *     moved: the buffers' slack takes what goes past the ends. */
unsigned char *CopyText(unsigned char *out, const unsigned char *from, const unsigned char *to)
{
    std::ptrdiff_t count = to - from;
#if defined(VELMORA_SSE2_SCANS)
    for (std::ptrdiff_t k = 0; k < count; k += CHUNK)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + k)));
#else
    std::memcpy(out, from, static_cast<std::size_t>(count));
#endif
    return out + count;
}

/* FindTagEnd
 *     The '>' of the tag whose '<' is at lt, given the block's events after it: the first '>'
 *     among them, else the first after the block; end when the buffer holds none. */
const unsigned char *FindTagEnd(const unsigned char *block, std::uint64_t events,
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
bool NumberReachesEnd(const unsigned char *amp, const unsigned char *end)
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

/* FlushOutput
 *     Hands the walk's output to the write buffer and writes it out; returns where the walk
 *     writes next. */
unsigned char *FlushOutput(unsigned char *out)
{
    ConversionState &state = conversion_state;
    state.writing.write_length = static_cast<std::size_t>(out - write_buffer);
    FlushWriteBuffer();
    return write_buffer + state.writing.write_length;
}

/* LineHoldsTextAt
 *     LineHoldsText for the output that ends at out, told at once when a line end was the
 *     last byte written. */
bool LineHoldsTextAt(unsigned char *out)
{
    ConversionState &state = conversion_state;
    state.writing.write_length = static_cast<std::size_t>(out - write_buffer);
    if (state.writing.write_length > state.writing.line_floor && out[-1] == '\n')
        return false;
    return LineHoldsText();
}

} // namespace

/* WalkSaveText
 *     Save with no class chosen and nothing pending: copies text, drops the CR of a CR LF,
 *     reads entities and tags in place and writes a line-break tag's line end. Stops before what
 * only the steps or the run-at-a-time scans decide: a paragraph break, a parameter block, a tag or
 * entity the buffer's end cuts, the last bytes. */
[[gnu::noinline]] const unsigned char *WalkSaveText(const unsigned char *start,
                                                    const unsigned char *end)
{
    ConversionState &state = conversion_state;
    unsigned char *out = write_buffer + state.writing.write_length;
    unsigned char *written_from = out; // what this walk wrote since the last flush
    unsigned char *const out_limit = write_buffer + WRITE_BUFFER_SIZE - BLOCK_OUTPUT;
    const unsigned char cr = CrStop();
    const unsigned char *text = start; // the first byte of the text not yet written
    const unsigned char *block = start;

    // Hands the state back when the walk stops at where.
    auto stop_at = [&](const unsigned char *where) {
        if (out != written_from)
            state.writing.mid_line = out[-1] != '\n';
        state.writing.write_length = static_cast<std::size_t>(out - write_buffer);
        return where;
    };

    // Look at one block at a time while a whole one is left.
    for (; end - block >= BLOCK; block = text) {
        if (out > out_limit) {
            stop_at(text);
            out = FlushOutput(out);
            written_from = out;
        }
        std::uint64_t events = SaveEvents(block, cr);
        while (events != 0) {
            const unsigned char *at = block + CountTrailingZeros(events);
            events &= events - 1;
            out = CopyText(out, text, at);
            unsigned char c = *at;
            if (c == '>') {
                text = at; // a '>' in the text is text; a tag's own is read with its tag
                continue;
            }
            if (c == '\r') {
                text = at + 1 < end && at[1] == '\n' ? at + 1 : at; // a lone CR is text
                continue;
            }
            if (c == '&') {
                EntityRead entity;
                const unsigned char *after = ReadEntityAt(at, end, &entity);
                if (after == nullptr)
                    return stop_at(at);
                if (entity == EntityRead::Decoded) {
                    std::memcpy(out, state.text.entity_text,
                                sizeof state.text.entity_text); // slack
                    out += state.text.entity_length;
                }
                text = after; // the '&' itself when it began no entity: text
                events = EventsFrom(events, block, text);
                continue;
            }
            // A '<': text before white space, a digit or the end of the input; else a tag.
            text = at;
            const unsigned char *gt = TagEndAt(block, events, at, end);
            if (gt == nullptr)
                continue;
            if (gt == end)
                return stop_at(at);
            const unsigned char *name_end;
            TagKind kind = ClassifyTagInBuffer(at, &name_end, false);
            text = gt + 1;
            events = EventsFrom(events, block, text);
            switch (kind) {
            case TagKind::LineBreak:
                // The byte after it decides; the next buffer holds it when this one ends here.
                if (text == end) {
                    if (state.reading.source_ended)
                        break;
                    state.text.line_break_pending = true;
                    return stop_at(text);
                }
                if (*text != '\n' && *text != '\r')
                    *out++ = '\n';
                break;
            case TagKind::Paragraph:
            case TagKind::ParagraphEnd:
            case TagKind::Sync:
                if (LineHoldsTextAt(out)) {
                    state.text.paragraph_break_pending = true;
                    return stop_at(text);
                }
                break;
            case TagKind::Style:
            case TagKind::SamiParam:
            case TagKind::Script: state.text.parameter_block = kind; return stop_at(text);
            default: break;
            }
        }
        const unsigned char *next = block + BLOCK;
        if (text < next) {
            out = CopyText(out, text, next);
            text = next;
        }
    }
    return stop_at(text); // the last bytes are for the run-at-a-time scans
}

namespace
{

// The events of a subtitle for the listener the conversion has, through its table.
struct ListenerEvents {
    const SubtitleListener *listener;
    void put_text(const unsigned char *bytes, std::size_t count, bool blank_before) const
    {
        listener->put_text(bytes, count, blank_before);
    }
    void put_entity_text(bool blank_before) const
    {
        const ConversionState::Text &text = conversion_state.text;
        listener->put_text(text.entity_text, static_cast<std::size_t>(text.entity_length),
                           blank_before);
    }
    void start_subtitle() const
    {
        listener->start_subtitle();
    }
    void break_line() const
    {
        listener->break_line();
    }
    void mark_paragraph(const char *class_name, bool of_chosen_class) const
    {
        listener->mark_paragraph(class_name, of_chosen_class);
    }
    void start_block() const
    {
    }
    void hand_back() const
    {
    }
    static constexpr bool STYLES = true; // as the listener asks
};

// The same events for Sync Save's stamped lines, written inline: where the output stands is
// kept in registers for as long as the walk goes on.
struct StampEvents {
    unsigned char *out;
    bool mid_line;
    bool stamp_pending;

    StampEvents()
        : out(write_buffer + conversion_state.writing.write_length),
          mid_line(conversion_state.writing.mid_line), stamp_pending(stamp_lines.stamp_pending)
    {
    }
    // A block's text, stamps and entities fit in BLOCK_OUTPUT.
    void start_block()
    {
        if (out > write_buffer + WRITE_BUFFER_SIZE - BLOCK_OUTPUT)
            out = FlushOutput(out);
    }
    void hand_back() const
    {
        conversion_state.writing.write_length = static_cast<std::size_t>(out - write_buffer);
        conversion_state.writing.mid_line = mid_line;
        stamp_lines.stamp_pending = stamp_pending;
    }
    // A run of a block's text, at most BLOCK bytes.
    void put_text(const unsigned char *bytes, std::size_t count, bool blank_before)
    {
        if (stamp_pending) {
            if (mid_line)
                *out++ = '\n';
            out += PutTimeStamp(out);
            stamp_lines.stamp_written = true;
            stamp_pending = false;
        } else if (blank_before) {
            *out++ = ' ';
        }
        mid_line = true; // a subtitle's text holds no line end
        out = CopyChunks(out, bytes, count);
    }
    void put_entity_text(bool blank_before)
    {
        put_text(conversion_state.text.entity_text,
                 static_cast<std::size_t>(conversion_state.text.entity_length), blank_before);
    }
    void start_subtitle()
    {
        stamp_pending = true;
    }
    void break_line() const
    {
    }
    void mark_paragraph(const char *, bool) const
    {
    }
    static constexpr bool STYLES = false; // never: they mean nothing to Sync Save
};

/* WalkSubtitleEvents
 *     The subtitles of Sync Save with no class chosen: hands the listener each run of text, with
 *     one blank for each run of white space, line breaks and paragraph tags between text bytes,
 *     and the tags that mean something to it; reads entities and tags in place and starts a
 *     subtitle at each SYNC tag. Stops before a parameter block, a tag or entity the buffer's
 *     end cuts, a SYNC value or an attribute read with a CR, the last bytes. */
template <class Events>
const unsigned char *WalkSubtitleEvents(const unsigned char *start, const unsigned char *end,
                                        Events listener)
{
    ConversionState &state = conversion_state;
    bool first_text_pending = state.text.first_text_pending;
    bool blank_pending = state.text.blank_pending;
    const bool reads_classes = ReadsClasses();
    const bool reads_styles = ReadsStyles();
    const bool cr_pairs = CrStop() == '\r';
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
                    if (cr_pairs && FindByte(name_end, gt, '\r') != gt)
                        return hand_back(at); // the steps read its CR LF as one byte
                    hand_back(at);
                    ReadParagraphClassAt(name_end);
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
                if (cr_pairs && FindByte(name_end, gt, '\r') != gt)
                    return hand_back(at); // the steps read its CR LF as one byte
                ReadFontColourAt(name_end);
                MarkStyleTag(kind);
                break;
            default:
                if (reads_styles)
                    MarkStyleTag(kind);
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

} // namespace

/* WalkSubtitleText
 *     WalkSubtitleEvents for the conversion's listener; Sync Save's own stamps are written
 *     without a call a run. */
[[gnu::noinline]] const unsigned char *WalkSubtitleText(const unsigned char *start,
                                                        const unsigned char *end)
{
    const SubtitleListener *listener = conversion_state.text.listener;
    if (listener == &stamp_listener)
        return WalkSubtitleEvents(start, end, StampEvents{});
    return WalkSubtitleEvents(start, end, ListenerEvents{listener});
}
