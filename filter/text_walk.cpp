// The walks: the common cases of the fast path, a block of 64 bytes at a time. Each block is
// classified once into a mask of the bytes that mean something (markup, entities, the CR of
// a CR LF and, in a subtitle, white space); the walk goes from one to the next with a count of
// trailing zeros and copies the text between them at once. The state they change most is kept
// in locals and handed back when they stop. The walk over a subtitle's text is in
// subtitle_walk.h.
#include "stamp_lines.h"
#include "subtitle_walk.h"
#include "time_stamp.h"

#include <cstdint>
#include <cstring>

namespace
{

// Room a block needs in write_buffer: its text, the line ends and entities it may add, a stamp.
constexpr std::size_t BLOCK_OUTPUT = 4 * BLOCK;

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
            out = CopyChunks(out, text, static_cast<std::size_t>(at - text));
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
            out = CopyChunks(out, text, static_cast<std::size_t>(next - text));
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
    void mark_style(StyleTag tag, bool closing) const
    {
        listener->mark_style(tag, closing);
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
    void mark_style(StyleTag, bool) const
    {
    }
    static constexpr bool STYLES = false; // never: they mean nothing to Sync Save
};

} // namespace

/* WalkSubtitleText
 *     WalkSubtitleEvents for the conversion's listener: its own, or through its table; Sync
 *     Save's own stamps are written without a call a run. */
[[gnu::noinline]] const unsigned char *WalkSubtitleText(const unsigned char *start,
                                                        const unsigned char *end)
{
    const SubtitleListener *listener = conversion_state.text.listener;
    if (listener == &stamp_listener)
        return WalkSubtitleEvents(start, end, StampEvents{});
    if (listener->walk_text != nullptr)
        return listener->walk_text(start, end);
    return WalkSubtitleEvents(start, end, ListenerEvents{listener});
}
