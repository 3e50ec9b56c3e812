// The fast path: what the steps would do byte by byte from the read position, done a run of
// bytes at a time. The walks of text_walk.cpp take the common cases a block at a time; what
// they leave (a chosen class, a pending break, hidden text, the buffer's last bytes) is done
// here a run at a time, and what needs a step is left to the steps. The byte-at-a-time steps
// stay the model; these scans must give the same bytes.
#include "entity.h"
#include "fast_scans.h"
#include "steps.h"

#include <cstddef>
#include <cstring>

namespace
{

// Bytes that end a run of text: tags, entities and the CR of a CR LF; in a subtitle also
// white space but single blanks between text bytes.
bool EndsText(unsigned char c, unsigned char cr)
{
    return c == '<' || c == '&' || c == cr;
}

bool EndsSubtitleText(unsigned char c)
{
    return c == '<' || c == '&' || c == '\t' || c == '\n' || c == '\r';
}

/* FindTextEnd
 *     The first byte from p on that ends a run of text, or end. */
const unsigned char *FindTextEnd(const unsigned char *p, const unsigned char *end)
{
    unsigned char cr = CrStop();
#if defined(VELMORA_SSE2_SCANS)
    for (; end - p >= CHUNK; p += CHUNK) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        unsigned mask = MatchMask(v, '<') | MatchMask(v, '&') | MatchMask(v, cr);
        if (mask != 0)
            return p + __builtin_ctz(mask);
    }
#endif
    while (p < end && !EndsText(*p, cr))
        p++;
    return p;
}

/* FindSubtitleTextEnd
 *     The end of a run of a subtitle's text from p, a text byte, on: it holds no white space
 *     but single blanks between text bytes, so it is written as it stands. A blank that the
 *     next chunk may pair with another ends the run early, to be read again as white space. */
const unsigned char *FindSubtitleTextEnd(const unsigned char *p, const unsigned char *end)
{
#if defined(VELMORA_SSE2_SCANS)
    for (; end - p >= CHUNK; p += CHUNK) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        unsigned ends = MatchMask(v, '<') | MatchMask(v, '&') | MatchMask(v, '\t') |
                        MatchMask(v, '\n') | MatchMask(v, '\r');
        unsigned blanks = MatchMask(v, ' ');
        // A blank ends the run when a blank or an end follows it, or the chunk does.
        unsigned stops = ends | (blanks & ((blanks >> 1) | (ends >> 1) | 0x8000u));
        if (stops != 0)
            return p + __builtin_ctz(stops);
    }
#endif
    for (; p < end; p++) {
        if (EndsSubtitleText(*p))
            return p;
        if (*p == ' ' && (p + 1 == end || p[1] == ' ' || EndsSubtitleText(p[1])))
            return p;
    }
    return p;
}

/* SkipTagInBuffer
 *     Does at once what the steps do for the tag whose '<' is at lt, when the whole tag is in
 *     the buffer and needs nothing only they can do (a '<' that may be text, a parameter block,
 *     a CR LF in an attribute that is read). Returns the byte after its '>', or nullptr to leave
 *     the tag to the steps. */
const unsigned char *SkipTagInBuffer(const unsigned char *lt, const unsigned char *end)
{
    ConversionState &state = conversion_state;
    if (state.text.parameter_block != TagKind::Other || end - lt < 2 || KeepsLessThan(lt[1]))
        return nullptr;
    const unsigned char *gt = FindByte(lt + 1, end, '>');
    if (gt == end)
        return nullptr;
    const unsigned char *name_end;
    TagKind kind = ClassifyTagInBuffer(lt, &name_end, ReadsStyles());
    if (kind == TagKind::Paragraph && ReadsClasses())
        return ReadParagraphClassAt(name_end, gt) ? gt + 1 : nullptr;
    if (kind == TagKind::Font && ReadsStyles()) {
        if (!ReadFontColourAt(name_end))
            return nullptr; // the steps read its CR LF as one byte
        MarkStyleTag(kind);
        return gt + 1;
    }
    if (kind == TagKind::Sync && state.options.mode == ConversionMode::Sync) {
        if (!CaptureSyncValue(name_end, gt))
            return nullptr;
        StartSubtitle();
    } else {
        FinishTag(kind);
    }
    return gt + 1;
}

/* SkipWhiteSpace
 *     Reads past white space in a subtitle as the steps would, one pending blank for all of
 *     it, and returns where it ends. */
const unsigned char *SkipWhiteSpace(const unsigned char *p, const unsigned char *end)
{
    const unsigned char *start = p;
    while (p < end && IsWhiteSpace(*p))
        p++;
    if (p != start)
        MarkBlank();
    return p;
}

/* WriteSaveRun
 *     Writes a run of text outside a subtitle; a pending paragraph break goes before its
 *     first byte that is not a blank or a tab. */
void WriteSaveRun(const unsigned char *start, const unsigned char *stop)
{
    if (conversion_state.text.paragraph_break_pending) {
        const unsigned char *first = start;
        while (first < stop && (*first == ' ' || *first == '\t'))
            first++;
        if (first < stop) {
            WriteBytes(start, static_cast<std::size_t>(first - start));
            ResolveParagraphBreak(*first);
            start = first;
        }
    }
    WriteBytes(start, static_cast<std::size_t>(stop - start));
}

/* CopyRun
 *     Copies the run of text from start on, if there is one, and returns where it ends; hidden
 *     text is only read past. */
const unsigned char *CopyRun(const unsigned char *start, const unsigned char *end)
{
    ConversionState &state = conversion_state;
    const unsigned char *stop;
    if (TextIsHidden()) {
        stop = FindByte(start, end, '<'); // hidden text, entities and all, writes nothing
    } else if (!state.text.in_subtitle) {
        stop = FindTextEnd(start, end);
        WriteSaveRun(start, stop);
    } else {
        start = SkipWhiteSpace(start, end);
        stop = FindSubtitleTextEnd(start, end);
        if (stop != start)
            WriteSubtitleBytes(start, static_cast<std::size_t>(stop - start));
    }
    return stop;
}

/* ReadEntityInBuffer
 *     Does what ReadChar and WriteChar do for the '&' at amp, when the look-ahead has all it
 *     needs in the buffer. Returns where reading goes on. */
const unsigned char *ReadEntityInBuffer(const unsigned char *amp, const unsigned char *end)
{
    ConversionState &state = conversion_state;
    if (end - amp < ENTITY_NAME_SIZE + 2 && !state.reading.source_ended)
        return amp; // the name may go on in the next block
    state.reading.read_position = static_cast<std::size_t>(amp + 1 - read_buffer);
    state.current_char = '&';
    EntityRead entity = ReadEntity();
    state.text.current_is_text = entity == EntityRead::Decoded;
    state.text.current_is_markup = false;
    if (entity != EntityRead::Removed)
        WriteChar();
    return read_buffer + state.reading.read_position;
}

/* CopyAnyRun
 *     One run, tag, entity or CR LF from start on, in whatever state the text stands. */
const unsigned char *CopyAnyRun(const unsigned char *start, const unsigned char *end)
{
    ConversionState &state = conversion_state;
    const unsigned char *stop = CopyRun(start, end);
    // After a line break the next byte decides on a line end first, at the caller's loop top.
    if (stop == end || state.text.line_break_pending)
        return stop;
    if (*stop == '<') {
        const unsigned char *after = SkipTagInBuffer(stop, end);
        return after != nullptr ? after : stop;
    }
    if (*stop == '&')
        return ReadEntityInBuffer(stop, end);
    if (*stop == '\r' && state.reading.joins_line_ends && stop + 1 < end && stop[1] == '\n')
        return stop + 1; // the CR of a CR LF is not read
    return stop;
}

/* WalksBlocks
 *     Whether one of the walks can go on from here: no class, nothing hidden, nothing
 *     pending. */
bool WalksBlocks()
{
    const ConversionState &state = conversion_state;
    return state.options.chosen_class[0] == '\0' && !TextIsHidden() &&
           !state.text.line_break_pending && !state.text.paragraph_break_pending;
}

} // namespace

/* CopyTextRun
 *     Does at once what the steps would do byte by byte from the read position: copies text
 *     and skips tags, entities and white space, up to the first byte that needs a step. */
void CopyTextRun()
{
    ConversionState &state = conversion_state;
    if (state.options.byte_at_a_time)
        return;
    // Go on through as many blocks, runs and tags as need no step.
    while (state.reading.read_position < state.reading.read_length || FillReadBuffer()) {
        const unsigned char *start = read_buffer + state.reading.read_position;
        const unsigned char *end = read_buffer + state.reading.read_length;
        if (state.text.line_break_pending) {
            state.current_char = *start;
            ResolveLineBreak();
        }
        const unsigned char *stop = start;
        if (WalksBlocks())
            stop = state.options.mode == ConversionMode::Plain ? WalkSaveText(start, end)
                                                               : WalkSubtitleText(start, end);
        if (stop == start)
            stop = CopyAnyRun(start, end);
        state.reading.read_position = static_cast<std::size_t>(stop - read_buffer);
        if (stop == start)
            return; // a byte for the steps
    }
}
