// The fast path: a run of bytes the steps would copy one by one, found with a wide scan and
// copied at once, and the rest of a tag skipped to its '>' in one jump. The byte-at-a-time
// steps stay the model; these scans must give the same bytes.
#include "byte_io.h"
#include "conversion_state.h"

#include <cstddef>
#include <cstring>

namespace
{

// Bytes that end a run of text: markup, entities and, in a subtitle, white space but blanks.
bool EndsText(unsigned char c)
{
    return c == '<' || c == '&' || c == '>';
}

bool EndsSubtitleText(unsigned char c)
{
    return EndsText(c) || c == '\t' || c == '\n' || c == '\r';
}

#if defined(VELMORA_SSE2_SCANS)
constexpr std::ptrdiff_t CHUNK = 16;

unsigned TextEndMask(__m128i v)
{
    __m128i ends =
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')), _mm_cmpeq_epi8(v, _mm_set1_epi8('&')));
    ends = _mm_or_si128(ends, _mm_cmpeq_epi8(v, _mm_set1_epi8('>')));
    return static_cast<unsigned>(_mm_movemask_epi8(ends));
}

unsigned SubtitleTextEndMask(__m128i v)
{
    __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\t')),
                                _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
    ends = _mm_or_si128(ends, _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
    return TextEndMask(v) | static_cast<unsigned>(_mm_movemask_epi8(ends));
}
#endif

/* FindTextEnd
 *     The first byte from p on that ends a run of text, or end. */
const unsigned char *FindTextEnd(const unsigned char *p, const unsigned char *end)
{
#if defined(VELMORA_SSE2_SCANS)
    for (; end - p >= CHUNK; p += CHUNK) {
        unsigned mask = TextEndMask(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
        if (mask != 0)
            return p + __builtin_ctz(mask);
    }
#endif
    while (p < end && !EndsText(*p))
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
        unsigned ends = SubtitleTextEndMask(v);
        auto blanks =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(' '))));
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

/* FindByte
 *     The first byte c from p on, or end. */
const unsigned char *FindByte(const unsigned char *p, const unsigned char *end, unsigned char c)
{
#if defined(VELMORA_SSE2_SCANS)
    __m128i wanted = _mm_set1_epi8(static_cast<char>(c));
    for (; end - p >= CHUNK; p += CHUNK) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, wanted)));
        if (mask != 0)
            return p + __builtin_ctz(mask);
    }
#endif
    while (p < end && *p != c)
        p++;
    return p;
}

/* CaptureSyncValue
 *     Captures a SYNC tag's value from the buffer as ReadSyncValue would: what stands between
 *     the first '=' after the name and the '>' at gt. False when a CR in it may pair with an
 *     LF, which the steps count as one byte. */
bool CaptureSyncValue(const unsigned char *after_name, const unsigned char *gt)
{
    ConversionState &state = conversion_state;
    const unsigned char *equals = FindByte(after_name, gt, '=');
    const unsigned char *value = equals == gt ? gt : equals + 1;
    if (FindByte(value, gt, '\r') != gt)
        return false;
    std::size_t length = static_cast<std::size_t>(gt - value);
    if (length > SYNC_VALUE_SIZE - 1)
        length = SYNC_VALUE_SIZE - 1;
    std::memset(state.sync_value, 0, sizeof state.sync_value);
    std::memcpy(state.sync_value, value, length);
    state.sync_value_length = static_cast<std::int32_t>(length);
    return true;
}

/* ClassifyTagInBuffer
 *     What the name of the tag from lt to the '>' at gt says it is, as ReadTagName reads it;
 *     name_end is left where the name ends. */
TagKind ClassifyTagInBuffer(const unsigned char *lt, const unsigned char *gt,
                            const unsigned char **name_end)
{
    const unsigned char *name = lt + 1;
    bool closing = name < gt && *name == '/';
    name += closing ? 1 : 0;
    const unsigned char *p = name;
    while (p < gt && !EndsTagName(*p))
        p++;
    *name_end = p;
    int length = static_cast<int>(p - name);
    return ClassifyTagName(name, length < TAG_NAME_SIZE ? length : TAG_NAME_SIZE, closing);
}

/* SkipTagInBuffer
 *     Does at once what the steps do for the tag whose '<' is at lt, when the whole tag is in
 *     the buffer and needs nothing only they can do (a P tag whose class is read, a '<' that
 *     may be text, a parameter block). Returns the byte after its '>', or nullptr to leave
 *     the tag to the steps. */
const unsigned char *SkipTagInBuffer(const unsigned char *lt, const unsigned char *end)
{
    ConversionState &state = conversion_state;
    if (state.parameter_block != TagKind::Other || end - lt < 2 || KeepsLessThan(lt[1]))
        return nullptr;
    const unsigned char *gt = FindByte(lt + 1, end, '>');
    if (gt == end)
        return nullptr;
    const unsigned char *name_end;
    TagKind kind = ClassifyTagInBuffer(lt, gt, &name_end);
    if (kind == TagKind::Paragraph && ReadsClasses())
        return nullptr;
    if (kind == TagKind::Sync && state.mode == ConversionMode::Sync) {
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
    ConversionState &state = conversion_state;
    const unsigned char *start = p;
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        p++;
    if (p != start && !state.stamp_pending)
        state.blank_pending = true;
    return p;
}

/* WriteSaveRun
 *     Writes a run of text outside a subtitle; a pending paragraph break goes before its
 *     first byte that is not a blank or a tab. */
void WriteSaveRun(const unsigned char *start, const unsigned char *stop)
{
    if (conversion_state.paragraph_break_pending) {
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

/* WalkSaveText
 *     Save with no class chosen, where only text, tags and line breaks matter: copies text and
 *     skips whole tags and '>'s in it, sixteen bytes at a time, each chunk's '<', '>' and '&'
 *     taken one after another from one look. Stops at an '&', after a tag that leaves
 *     something pending or opens a parameter block, at a '<' that may be text, and near the
 *     buffer's end (at a tag's '<' or a run's end). Returns where it stopped. Kept out of
 *     line: inlined, it made the sync path's loop slower. */
[[gnu::noinline]] const unsigned char *WalkSaveText(const unsigned char *p,
                                                    const unsigned char *end)
{
    const unsigned char *text = p;      // where the text not yet written starts
    const unsigned char *tag = nullptr; // the '<' of the tag being read
    const unsigned char *chunk = p;
#if defined(VELMORA_SSE2_SCANS)
    for (; end - chunk >= CHUNK; chunk += CHUNK) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chunk));
        auto opens =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('<'))));
        auto closes =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('>'))));
        auto entities =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('&'))));
        unsigned marks = opens | closes | entities;
        while (marks != 0) {
            unsigned bit = marks & (0u - marks);
            marks ^= bit;
            const unsigned char *at = chunk + __builtin_ctz(bit);
            if (tag != nullptr) {
                if ((closes & bit) == 0)
                    continue; // inside a tag only its '>' means anything
                const unsigned char *name_end;
                TagKind kind = ClassifyTagInBuffer(tag, at, &name_end);
                tag = nullptr;
                text = at + 1;
                if (kind != TagKind::Other) {
                    FinishTag(kind);
                    const ConversionState &state = conversion_state;
                    if (state.line_break_pending || state.paragraph_break_pending ||
                        state.parameter_block != TagKind::Other)
                        return text;
                }
                continue;
            }
            WriteBytes(text, static_cast<std::size_t>(at - text));
            text = at;
            if ((entities & bit) != 0)
                return at;
            if ((opens & bit) != 0) {
                if (at + 1 == end || KeepsLessThan(at[1]))
                    return at; // the steps decide whether it opens a tag
                tag = at;
            } else {
                text = at + 1; // a '>' in the text is dropped
            }
        }
    }
#endif
    if (tag != nullptr)
        return tag;
    const unsigned char *stop = FindTextEnd(chunk, end);
    WriteBytes(text, static_cast<std::size_t>(stop - text));
    return stop;
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
    } else if (state.mode == ConversionMode::Plain && state.chosen_class[0] == '\0' &&
               !state.paragraph_break_pending) {
        stop = WalkSaveText(start, end);
    } else if (!state.in_subtitle) {
        stop = FindTextEnd(start, end);
        WriteSaveRun(start, stop);
    } else {
        start = SkipWhiteSpace(start, end);
        stop = FindSubtitleTextEnd(start, end);
        if (stop != start) {
            StartSubtitleText();
            WriteBytes(start, static_cast<std::size_t>(stop - start));
        }
    }
    return stop;
}

/* ReadEntityInBuffer
 *     Does what ReadChar and WriteChar do for the '&' at amp, when the look-ahead has all it
 *     needs in the buffer. Returns where reading goes on. */
const unsigned char *ReadEntityInBuffer(const unsigned char *amp, const unsigned char *end)
{
    ConversionState &state = conversion_state;
    if (end - amp < ENTITY_NAME_SIZE + 2 && !state.source_ended)
        return amp; // the name may go on in the next block
    state.read_position = static_cast<std::size_t>(amp + 1 - read_buffer);
    state.current_char = '&';
    EntityRead entity = ReadEntity();
    state.current_is_text = entity == EntityRead::Decoded;
    if (entity != EntityRead::Removed)
        WriteChar();
    return read_buffer + state.read_position;
}

} // namespace

/* CopyTextRun
 *     Does at once what the steps would do byte by byte from the read position: copies runs
 *     of text and skips tags, entities and white space, up to the first byte that needs a
 *     step. */
void CopyTextRun()
{
    ConversionState &state = conversion_state;
    if (state.byte_at_a_time)
        return;
    // Go on through as many runs, tags and blocks as need no step.
    while (state.read_position < state.read_length || FillReadBuffer()) {
        const unsigned char *start = read_buffer + state.read_position;
        const unsigned char *end = read_buffer + state.read_length;
        if (state.line_break_pending) {
            state.current_char = *start;
            ResolveLineBreak();
        }
        const unsigned char *stop = CopyRun(start, end);
        // After a line break the next byte decides on a line end first, at the loop's top.
        if (stop < end && *stop == '<' && !state.line_break_pending) {
            const unsigned char *after = SkipTagInBuffer(stop, end);
            if (after != nullptr)
                stop = after;
        } else if (stop < end && *stop == '&' && !state.line_break_pending) {
            stop = ReadEntityInBuffer(stop, end);
        }
        state.read_position = static_cast<std::size_t>(stop - read_buffer);
        if (stop == start)
            return; // a byte for the steps
    }
}

/* SkipTagRest
 *     Discards the rest of a tag up to its '>' (left in current_char for WriteChar to drop). */
void SkipTagRest()
{
    ConversionState &state = conversion_state;
    if (state.byte_at_a_time) {
        // Look for the '>' that ends the tag, whatever stands before it.
        while (state.current_char != '>' && state.current_char != EOF)
            state.current_char = ReadByte();
        return;
    }
    // The same look, a block at a time.
    while (state.current_char != '>' && state.current_char != EOF) {
        const unsigned char *start = read_buffer + state.read_position;
        const unsigned char *end = read_buffer + state.read_length;
        const unsigned char *found = FindByte(start, end, '>');
        state.read_position = static_cast<std::size_t>(found - read_buffer);
        state.current_char = ReadByte();
    }
}
