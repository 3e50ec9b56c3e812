// The cue path: subtitles become cues as the steps read them. A cue's text is written in its
// format as it comes, straight into the write buffer once cues go out as they are read, and its
// end goes into the room left for it in its head when the next start that counts is known.
// Until then, and while starts may still go back, cues are held in records of their own and
// written in order of their starts.
#include "cue_path.h"

#include "conversion_state.h"
#include "cue_writer.h"
#include "legacy_colour.h"
#include "subtitle_walk.h"
#include "write_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace
{

constexpr std::size_t FIRST_CAPACITY = 16 * 1024;
constexpr std::size_t FIRST_CUES = 64;
constexpr std::size_t NO_REGION = SIZE_MAX;

// Separators and the ends of units are copied whole, whatever of them counts.
const char NO_SEPARATOR[SEPARATOR_ROOM] = {};
const char BLANK_SEPARATOR[SEPARATOR_ROOM] = {' '};

// A cue made, held or in the write buffer. Its bytes (its head, its number too when numbered,
// and its text) run from its offset to the next cue's, or to the end of the cues made.
struct MadeCue {
    std::uint64_t end;        // ms; past 2^32 when the last duration is added to a late start
    std::size_t offset;       // from the base of the buffer the cues being made are in
    std::uint32_t start;      // ms
    std::uint32_t text;       // bytes of its text, for the limits
    std::uint32_t first_slot; // its ends' places in cue_path.slots
    bool numbered;            // its number is among its bytes
};

// The room left for an end, from the base of the buffer the cue is in.
struct EndSlot {
    std::size_t offset;
    std::size_t length;
};

// An array grown by hand: what is put in costs no call. T is copied as bytes.
template <class T> struct GrownArray {
    T *items = nullptr;
    std::size_t length = 0;
    std::size_t capacity = 0;

    void Reserve(std::size_t count)
    {
        if (count <= capacity)
            return;
        std::size_t grown = std::max({capacity * 2, count, FIRST_CUES});
        void *moved = std::realloc(items, grown * sizeof(T));
        if (moved == nullptr)
            throw std::bad_alloc();
        items = static_cast<T *>(moved);
        capacity = grown;
    }
    void Append(const T &item)
    {
        if (VELMORA_RARELY(length == capacity))
            Reserve(length + 1);
        items[length++] = item;
    }
    // Drops the first count items.
    void DropFirst(std::size_t count)
    {
        std::memmove(items, items + count, (length - count) * sizeof(T));
        length -= count;
    }
    void Free()
    {
        std::free(items);
        *this = GrownArray{};
    }
};

// The process-wide record of the cues of the file being read.
struct CuePath {
    const CueWriter *writer;
    bool styles; // the writer's styles are kept
    // The held cues' bytes: length of capacity in use, grown by hand so that the pages not
    // used yet stay untouched; TEXT_SLACK more may be written.
    unsigned char *records;
    std::size_t capacity;
    std::size_t length;
    // The cues being made go straight into the write buffer, from region_at on (NO_REGION
    // while none is): cues go out as they are read and none is held.
    bool direct;
    std::size_t region_at;
    GrownArray<MadeCue> cues; // in file order; ends known before open_first
    GrownArray<EndSlot> slots;
    std::size_t open_first;     // the first cue whose end is not known yet
    std::uint32_t open_start;   // the start that the open cues wait to see passed
    bool any_counted;           // a SYNC tag has counted for the ends
    std::uint32_t latest_start; // the latest start of a cue so far
    bool went_back;             // a cue started before one read earlier
    bool writing_as_read;       // the window passed in order: cues go out when ended
    bool any_written;
    std::uint32_t last_written_start;
    unsigned char number[NUMBER_SIZE + 4]; // SubRip's last cue number and its line end
    std::size_t number_length;             // digits
    std::size_t held_text;                 // text bytes of the held cues
    bool keeps_classes; // the format writes classes, or a class is chosen: else a P tag only
                        // ends a line
    CueFailure failure;

    // The subtitle being read.
    bool in_subtitle;
    std::uint32_t subtitle_start;
    bool has_paragraph;        // a P tag stands in it
    bool has_chosen_paragraph; // a P tag of the chosen class stands in it
    bool has_cue;              // it has text: the last of cues is its own
    std::size_t cue_text;      // bytes of its text

    // The paragraph being read.
    char class_name[CLASS_NAME_SIZE];
    std::size_t class_length;
    bool paragraph_started; // it has text (and the subtitle a cue): in TSV and JSON Lines its
                            // row is begun
    bool line_ended;        // a line break waits for the next text
};

CuePath cue_path;

void StartCues();
void StartCue();
void PutCueText(const unsigned char *bytes, std::size_t count, bool blank_before);
void BreakCueLine();
void MarkCueParagraph(const char *class_name, bool of_chosen_class);
void MarkCueStyle(StyleTag tag, bool closing);
bool FinishCues();

const unsigned char *WalkCueText(const unsigned char *start, const unsigned char *end);

SubtitleListener cue_listener = {
    StartCues,        false,        false,      StartCue,    PutCueText, BreakCueLine,
    MarkCueParagraph, MarkCueStyle, FinishCues, WalkCueText,
};

/* Fail
 *     Remembers the first thing that went wrong; from then on nothing more is held or written. */
void Fail(CueFailure failure)
{
    CuePath &path = cue_path;
    if (path.failure == CueFailure::None)
        path.failure = failure;
    if (path.direct && path.region_at != NO_REGION)
        conversion_state.writing.write_length = path.region_at;
    path.cues.length = 0;
    path.slots.length = 0;
    path.length = 0;
    path.open_first = 0;
    path.in_subtitle = false;
    path.paragraph_started = false;
    path.direct = false;
    path.region_at = NO_REGION;
}

inline unsigned char *Base()
{
    return cue_path.direct ? write_buffer + cue_path.region_at : cue_path.records;
}

inline std::size_t BaseLength()
{
    return cue_path.direct ? conversion_state.writing.write_length - cue_path.region_at
                           : cue_path.length;
}

// The length of the k-th cue's bytes.
std::size_t CueLength(std::size_t k)
{
    const CuePath &path = cue_path;
    std::size_t next = k + 1 < path.cues.length ? path.cues.items[k + 1].offset : BaseLength();
    return next - path.cues.items[k].offset;
}

/* GrowRecords
 *     Makes room for count more bytes of records. Large blocks grow in place: their pages are
 *     moved, not their bytes. */
void GrowRecords(std::size_t count)
{
    CuePath &path = cue_path;
    std::size_t capacity = std::max({path.capacity * 2, path.length + count, FIRST_CAPACITY});
    void *records = std::realloc(path.records, capacity + TEXT_SLACK);
    if (records == nullptr)
        throw std::bad_alloc();
    path.records = static_cast<unsigned char *>(records);
    path.capacity = capacity;
}

/* HoldRegion
 *     The cues in the write buffer outgrow it: they go on as held ones, at the same offsets,
 *     since nothing else is held while cues go straight out. */
void HoldRegion()
{
    CuePath &path = cue_path;
    std::size_t count = conversion_state.writing.write_length - path.region_at;
    if (count > path.capacity)
        GrowRecords(count);
    std::memcpy(path.records, write_buffer + path.region_at, count);
    path.length = count;
    conversion_state.writing.write_length = path.region_at;
    for (std::size_t k = 0; k < path.cues.length; k++)
        path.held_text += path.cues.items[k].text;
    path.held_text += path.cue_text; // the cue being made counts its text on
    path.direct = false;
    path.region_at = NO_REGION;
}

/* MakeRoomSlowly
 *     MakeRoom when the buffer must make the room first: the held records grow; the write
 *     buffer writes out what stands before the cues being made, which move to its front, and
 *     when even that is too little they are held. */
[[gnu::noinline]] unsigned char *MakeRoomSlowly(std::size_t count)
{
    CuePath &path = cue_path;
    ConversionState &state = conversion_state;
    if (path.direct) {
        FlushWriteBufferBefore(path.region_at == NO_REGION ? state.writing.write_length
                                                           : path.region_at);
        if (path.region_at != NO_REGION)
            path.region_at = 0;
        if (count <= WRITE_BUFFER_SIZE - state.writing.write_length)
            return write_buffer + state.writing.write_length;
        HoldRegion();
    }
    if (count > path.capacity - path.length)
        GrowRecords(count);
    return path.records + path.length;
}

/* MakeRoom
 *     Where count more bytes of the cues being made go, with room for them. */
inline unsigned char *MakeRoom(std::size_t count)
{
    CuePath &path = cue_path;
    std::size_t written = conversion_state.writing.write_length;
    if (path.direct && count <= WRITE_BUFFER_SIZE - written)
        return write_buffer + written;
    if (!path.direct && count <= path.capacity - path.length)
        return path.records + path.length;
    return MakeRoomSlowly(count);
}

/* MadeUpTo
 *     The cues being made end at out, which MakeRoom gave. */
inline void MadeUpTo(unsigned char *out)
{
    CuePath &path = cue_path;
    if (path.direct)
        conversion_state.writing.write_length = static_cast<std::size_t>(out - write_buffer);
    else
        path.length = static_cast<std::size_t>(out - path.records);
}

/* PutCueNumber
 *     Counts SubRip's cue number up, a digit at a time in place, and puts it and its line end
 *     at out, which has room for the number array. */
inline unsigned char *PutCueNumber(unsigned char *out)
{
    CuePath &path = cue_path;
    std::size_t k = path.number_length;
    while (k > 0 && path.number[k - 1] == '9')
        path.number[--k] = '0';
    if (VELMORA_RARELY(k == 0)) {
        // All nines: one more digit.
        std::memmove(path.number + 1, path.number, path.number_length + 1);
        path.number[0] = '1';
        path.number_length++;
    } else {
        path.number[k - 1]++;
    }
    std::memcpy(out, path.number, sizeof path.number);
    return out + path.number_length + 1;
}

/* BeginUnit
 *     Puts the head of a cue or row at the end of the cues being made, with room for its end;
 *     a cue that goes straight out gets its number now. */
void BeginUnit(bool first)
{
    CuePath &path = cue_path;
    const CueWriter &writer = *path.writer;
    unsigned char *out = MakeRoom(writer.head_room + sizeof path.number);
    if (writer.numbered && path.direct && first) {
        out = PutCueNumber(out);
        path.cues.items[path.cues.length - 1].numbered = true;
    }
    unsigned char *end_at = nullptr;
    std::size_t end_length = 0;
    if (!writer.rows)
        out = PutTimesHead(out, path.subtitle_start, writer.time_separator, &end_at, &end_length);
    else
        out = writer.put_head(out, path.subtitle_start, path.class_name, path.class_length, &end_at,
                              &end_length);
    path.slots.Append(EndSlot{static_cast<std::size_t>(end_at - Base()), end_length});
    MadeUpTo(out);
}

/* BeginCue
 *     The subtitle's first text: its cue is made where cues go now. A cue that goes straight
 *     out cannot start before those written. */
void BeginCue()
{
    CuePath &path = cue_path;
    if (path.writing_as_read && path.cues.length == 0 && !path.direct)
        path.direct = true;
    if (path.direct) {
        if (path.region_at == NO_REGION)
            path.region_at = conversion_state.writing.write_length;
        bool back = (path.any_written && path.subtitle_start < path.last_written_start) ||
                    (path.cues.length > 0 &&
                     path.subtitle_start < path.cues.items[path.cues.length - 1].start);
        if (back) {
            Fail(CueFailure::StartsWentBack);
            return;
        }
    }
    path.cues.Append(MadeCue{0, BaseLength(), path.subtitle_start, 0,
                             static_cast<std::uint32_t>(path.slots.length), false});
    path.has_cue = true;
    if (!path.writer->rows)
        BeginUnit(true);
}

/* EndRow
 *     A paragraph's text is over, and in TSV and JSON Lines its row. */
void EndRow()
{
    CuePath &path = cue_path;
    if (!path.paragraph_started)
        return;
    path.paragraph_started = false;
    path.line_ended = false;
    const CueWriter &writer = *path.writer;
    if (!writer.rows)
        return;
    unsigned char *out = MakeRoom(UNIT_END_ROOM);
    std::memcpy(out, writer.unit_end, UNIT_END_ROOM);
    MadeUpTo(out + writer.unit_end_length);
}

/* EndCueText
 *     The subtitle's text is over: a cue's last line ends, and its styles with it. */
inline void EndCueText()
{
    CuePath &path = cue_path;
    const CueWriter &writer = *path.writer;
    if (writer.rows) {
        EndRow();
        return;
    }
    unsigned char *out = MakeRoom(STYLE_ROOM + UNIT_END_ROOM);
    if (styles_written)
        out = PutClosingStyles(out);
    std::memcpy(out, writer.unit_end, UNIT_END_ROOM);
    MadeUpTo(out + writer.unit_end_length);
}

/* SetParagraphClass
 *     The paragraph read from now on is of class_name ("" for none). A class longer than the
 *     filter keeps loses the character its end cuts: the formats must stay UTF-8. */
void SetParagraphClass(const char *class_name)
{
    CuePath &path = cue_path;
    std::size_t length = std::strlen(class_name);
    for (std::size_t back = 1; back <= 3 && back <= length; back++) {
        auto byte = static_cast<unsigned char>(class_name[length - back]);
        if (byte < 0x80 || byte >= 0xC0) {
            std::size_t needed = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
            length = needed > back ? length - back : length;
            break;
        }
    }
    path.class_length = length;
    std::memcpy(path.class_name, class_name, length);
}

/* HeldBytes
 *     What the held cues count for the limit: their text and a little for each. */
std::size_t HeldBytes()
{
    return cue_path.held_text + cue_path.cues.length * sizeof(MadeCue);
}

/* HeldMemory
 *     What the held cues take: their written bytes and their records. The window is counted
 *     on it, so that it costs the same memory in every format. */
std::size_t HeldMemory()
{
    const CuePath &path = cue_path;
    return path.length + path.cues.length * sizeof(MadeCue) + path.slots.length * sizeof(EndSlot);
}

/* ResizeSlot
 *     An end that takes another length than the room left for it: what follows the room, the
 *     rest of the cues being made, moves. */
void ResizeSlot(std::size_t k, std::size_t length)
{
    CuePath &path = cue_path;
    EndSlot &slot = path.slots.items[k];
    if (length > slot.length)
        MakeRoom(length - slot.length); // may move the bytes, never their offsets
    unsigned char *base = Base();
    std::size_t total = BaseLength();
    std::size_t tail = slot.offset + slot.length;
    std::memmove(base + slot.offset + length, base + tail, total - tail);
    MadeUpTo(base + total + length - slot.length);
    auto moved = static_cast<std::ptrdiff_t>(length) - static_cast<std::ptrdiff_t>(slot.length);
    auto shifted = [moved](std::size_t offset) {
        return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(offset) + moved);
    };
    for (std::size_t j = k + 1; j < path.slots.length; j++)
        path.slots.items[j].offset = shifted(path.slots.items[j].offset);
    for (std::size_t j = 0; j < path.cues.length; j++)
        if (path.cues.items[j].offset > slot.offset)
            path.cues.items[j].offset = shifted(path.cues.items[j].offset);
    slot.length = length;
}

/* PutEndSlowly
 *     Writes an end that does not go in place: one of 100 hours or more, or of more digits than
 *     its start. */
[[gnu::noinline]] void PutEndSlowly(std::size_t slot, std::uint64_t end_time)
{
    CuePath &path = cue_path;
    unsigned char end[CUE_TIME_SIZE];
    std::size_t length = PutEndTime(end_time, path.writer->time_separator, end);
    if (length != path.slots.items[slot].length)
        ResizeSlot(slot, length);
    std::memcpy(Base() + path.slots.items[slot].offset, end, length);
}

/* EndOpenCues
 *     The open cues before open_end end at next_start, or last CUE_LAST_DURATION when that is
 *     not later; their ends go into their slots. */
void EndOpenCues(std::size_t open_end, std::uint64_t next_start, bool has_next)
{
    CuePath &path = cue_path;
    const char separator = path.writer->time_separator;
    for (std::size_t k = path.open_first; k < open_end; k++) {
        MadeCue &cue = path.cues.items[k];
        cue.end = has_next && next_start > cue.start ? next_start
                                                     : std::uint64_t{cue.start} + CUE_LAST_DURATION;
        std::size_t last =
            k + 1 < path.cues.length ? path.cues.items[k + 1].first_slot : path.slots.length;
        for (std::size_t j = cue.first_slot; j < last; j++) {
            const EndSlot &slot = path.slots.items[j];
            if (separator != 0 && cue.end < HUNDRED_HOURS && slot.length == SHORT_CUE_TIME)
                PutShortCueTime(static_cast<std::uint32_t>(cue.end), separator,
                                Base() + slot.offset);
            else if (separator == 0 && CountDigits(cue.end) == slot.length)
                PutDigits(cue.end, Base() + slot.offset + slot.length);
            else
                PutEndSlowly(j, cue.end);
        }
    }
    path.open_first = open_end;
}

/* WriteHeldCue
 *     Writes a held cue of length bytes, its number first in SubRip; one that starts before a
 *     cue already written cannot be put in order. */
void WriteHeldCue(const MadeCue &cue, std::size_t length)
{
    CuePath &path = cue_path;
    if (path.any_written && cue.start < path.last_written_start) {
        Fail(CueFailure::StartsWentBack);
        return;
    }
    if (path.writer->numbered && !cue.numbered) {
        unsigned char number[sizeof path.number];
        WriteBytes(number, static_cast<std::size_t>(PutCueNumber(number) - number));
    }
    WriteBytes(path.records + cue.offset, length);
    path.any_written = true;
    path.last_written_start = cue.start;
}

/* DropWrittenCues
 *     Forgets the first count cues, which are out, and the bytes before kept_from. */
void DropWrittenCues(std::size_t count, std::size_t kept_from)
{
    CuePath &path = cue_path;
    if (count == path.cues.length) {
        path.cues.length = 0;
        path.slots.length = 0;
    } else {
        std::uint32_t first_slot = path.cues.items[count].first_slot;
        path.cues.DropFirst(count);
        path.slots.DropFirst(first_slot);
        for (std::size_t k = 0; k < path.cues.length; k++) {
            path.cues.items[k].offset -= kept_from;
            path.cues.items[k].first_slot -= first_slot;
        }
        for (std::size_t k = 0; k < path.slots.length; k++)
            path.slots.items[k].offset -= kept_from;
    }
    path.open_first -= count;
}

/* WriteEndedCues
 *     Once cues go out as read: the cues whose ends are known are written (those in the write
 *     buffer already are) and dropped. */
void WriteEndedCues()
{
    CuePath &path = cue_path;
    std::size_t count = path.open_first;
    bool all = count == path.cues.length;
    std::size_t kept_from = all ? BaseLength() : path.cues.items[count].offset;
    if (path.direct) {
        path.any_written = true;
        path.last_written_start = path.cues.items[count - 1].start;
        path.region_at = all ? NO_REGION : path.region_at + kept_from;
        DropWrittenCues(count, kept_from);
        return;
    }
    for (std::size_t k = 0; k < count && path.failure == CueFailure::None; k++) {
        path.held_text -= path.cues.items[k].text;
        WriteHeldCue(path.cues.items[k], CueLength(k));
    }
    if (path.failure != CueFailure::None)
        return;
    // What stays (the open cues and the subtitle being read) moves to the front; mostly
    // nothing does.
    std::size_t kept = path.length - kept_from;
    if (kept != 0)
        std::memmove(path.records, path.records + kept_from, kept);
    path.length = kept;
    DropWrittenCues(count, kept_from);
}

/* EndSubtitle
 *     The subtitle being read is done: when its SYNC tag counts (no class chosen, or it holds a
 *     P tag of that class or none at all) and starts at another time, the open cues end there;
 *     its cue, if it has text, is open now. */
void EndSubtitle()
{
    CuePath &path = cue_path;
    bool has_cue = path.has_cue;
    if (has_cue) {
        EndCueText();
        path.cues.items[path.cues.length - 1].text = static_cast<std::uint32_t>(path.cue_text);
    }
    path.paragraph_started = false;
    path.in_subtitle = false;
    bool counts = conversion_state.options.chosen_class[0] == '\0' || path.has_chosen_paragraph ||
                  !path.has_paragraph;
    if (counts) {
        // The subtitle's own cue stays open while those before it end.
        std::size_t open_end = path.cues.length - (has_cue ? 1 : 0);
        if (path.open_first < open_end && path.any_counted &&
            path.subtitle_start != path.open_start)
            EndOpenCues(open_end, path.subtitle_start, true);
        path.any_counted = true;
        path.open_start = path.subtitle_start;
    }
    if (has_cue) {
        if (path.cues.length > 1 && path.subtitle_start < path.latest_start)
            path.went_back = true;
        path.latest_start = std::max(path.latest_start, path.subtitle_start);
    }
    if (path.direct) {
        if (path.open_first > 0)
            WriteEndedCues();
        return;
    }
    if (!path.writing_as_read && !path.went_back && !conversion_state.options.holds_every_cue &&
        HeldMemory() > CUE_WINDOW)
        path.writing_as_read = true;
    if (path.writing_as_read && path.open_first > 0)
        WriteEndedCues();
    if (HeldBytes() > HELD_CUES_LIMIT)
        Fail(CueFailure::TooManyHeld);
}

void StartCues()
{
    CuePath &path = cue_path;
    const ConversionState::Options &options = conversion_state.options;
    switch (options.cue_format) {
    case CueFormat::Vtt: path.writer = &VTT_WRITER; break;
    case CueFormat::Tsv: path.writer = &TSV_WRITER; break;
    case CueFormat::Json: path.writer = &JSON_WRITER; break;
    default: path.writer = &SRT_WRITER; break;
    }
    path.styles = path.writer->styles && !options.drops_styles;
    path.length = 0;
    path.direct = false;
    path.region_at = NO_REGION;
    path.cues.length = 0;
    path.slots.length = 0;
    path.open_first = 0;
    path.open_start = 0;
    path.any_counted = false;
    path.latest_start = 0;
    path.went_back = false;
    path.writing_as_read = false;
    path.any_written = false;
    path.last_written_start = 0;
    path.number[0] = '0';
    path.number[1] = '\n';
    path.number_length = 1;
    path.held_text = 0;
    path.keeps_classes = path.writer->rows || options.chosen_class[0] != '\0';
    path.failure = CueFailure::None;
    path.in_subtitle = false;
    path.paragraph_started = false;
    StartStyles(path.writer->colours);
    cue_listener.reads_classes = path.keeps_classes;
    cue_listener.reads_styles = path.styles;
    path.writer->put_file_head();
}

void StartCue()
{
    CuePath &path = cue_path;
    if (path.in_subtitle)
        EndSubtitle();
    if (path.failure != CueFailure::None)
        return;
    path.in_subtitle = true;
    path.subtitle_start = ReadStartTime();
    path.has_paragraph = false;
    path.has_chosen_paragraph = false;
    path.has_cue = false;
    path.cue_text = 0;
    path.line_ended = false;
    path.class_length = 0;
    if (styles_open)
        ForgetStyleTags();
}

/* PutSeparatedText
 *     Puts text after separator, with the styles that close and open there. */
inline void PutSeparatedText(const char *separator, std::size_t separator_length,
                             const unsigned char *bytes, std::size_t count)
{
    CuePath &path = cue_path;
    const CueWriter &writer = *path.writer;
    std::size_t text = (separator_length != 0 ? 1 : 0) + count;
    path.cue_text += text;
    if (VELMORA_RARELY(path.cue_text > CUE_TEXT_LIMIT)) {
        Fail(CueFailure::CueTooLong);
        return;
    }
    unsigned char *out = MakeRoom(STYLE_ROOM + separator_length + writer.text_room * count);
    if (!path.direct)
        path.held_text += text;
    if (VELMORA_RARELY(styles_changed)) {
        out = PutStylesBeforeText(out, separator, separator_length);
    } else {
        std::memcpy(out, separator, SEPARATOR_ROOM);
        out += separator_length;
    }
    out =
        writer.text_room == 1 ? CopyChunks(out, bytes, count) : writer.put_text(out, bytes, count);
    MadeUpTo(out);
}

/* PutParagraphText
 *     The first text of a paragraph: the subtitle's cue begins with its first, and in TSV and
 *     JSON Lines each paragraph's row; in SubRip and WebVTT a paragraph after text is a new
 *     line. */
[[gnu::noinline]] void PutParagraphText(const unsigned char *bytes, std::size_t count)
{
    CuePath &path = cue_path;
    if (!path.in_subtitle)
        return;
    const CueWriter &writer = *path.writer;
    bool first = !path.has_cue;
    if (first) {
        BeginCue();
        if (path.failure != CueFailure::None)
            return;
    }
    path.paragraph_started = true;
    path.line_ended = false;
    if (writer.rows)
        BeginUnit(false);
    if (writer.rows || first)
        PutSeparatedText(NO_SEPARATOR, 0, bytes, count);
    else
        PutSeparatedText(writer.line_separator, writer.separator_length, bytes, count);
}

/* PutCueText
 *     Text of the subtitle, after what goes before it: a line end or a blank, or what a
 *     paragraph's first text needs. */
inline void PutCueText(const unsigned char *bytes, std::size_t count, bool blank_before)
{
    CuePath &path = cue_path;
    if (VELMORA_RARELY(!path.paragraph_started)) {
        PutParagraphText(bytes, count);
        return;
    }
    if (path.line_ended) {
        path.line_ended = false;
        PutSeparatedText(path.writer->line_separator, path.writer->separator_length, bytes, count);
    } else if (blank_before) {
        PutSeparatedText(BLANK_SEPARATOR, 1, bytes, count);
    } else {
        PutSeparatedText(NO_SEPARATOR, 0, bytes, count);
    }
}

inline void BreakCueLine()
{
    cue_path.line_ended = cue_path.paragraph_started;
}

/* MarkCueParagraph
 *     A P tag (class_name) or </P> (null): the text after it is a paragraph of that class, or
 *     of none; where classes are not kept, a line of its own. Its styles start anew. */
inline void MarkCueParagraph(const char *class_name, bool of_chosen_class)
{
    CuePath &path = cue_path;
    if (styles_open)
        ForgetStyleTags();
    if (!path.keeps_classes) {
        BreakCueLine();
        return;
    }
    if (!path.in_subtitle)
        return;
    if (class_name != nullptr) {
        path.has_paragraph = true;
        path.has_chosen_paragraph = path.has_chosen_paragraph || of_chosen_class;
    }
    EndRow();
    SetParagraphClass(class_name != nullptr ? class_name : "");
}

/* MarkCueStyle
 *     A style tag of the cue's text; an opening font tag's colour is read from its color value,
 *     which the filter has just read. */
void MarkCueStyle(StyleTag tag, bool closing)
{
    if (!cue_path.in_subtitle)
        return;
    TakeStyleTag(tag, closing, ColourOfStyleTag(tag, closing));
}

/* WriteHeldCues
 *     Writes every held cue in order of their starts, those with the same start in the order
 *     they stand in; once cues go out as read they are in order already. */
void WriteHeldCues()
{
    CuePath &path = cue_path;
    std::vector<std::size_t> order(path.cues.length);
    std::vector<std::size_t> lengths(path.cues.length);
    for (std::size_t k = 0; k < path.cues.length; k++) {
        order[k] = k;
        lengths[k] = CueLength(k);
    }
    if (!path.writing_as_read)
        std::stable_sort(order.begin(), order.end(), [](std::size_t a, std::size_t b) {
            return cue_path.cues.items[a].start < cue_path.cues.items[b].start;
        });
    for (std::size_t k = 0; k < order.size() && path.failure == CueFailure::None; k++)
        WriteHeldCue(path.cues.items[order[k]], lengths[order[k]]);
}

/* FinishCues
 *     The end of the input: the last cues get their ends and everything held is written. */
bool FinishCues()
{
    CuePath &path = cue_path;
    if (path.failure == CueFailure::None && path.in_subtitle)
        EndSubtitle();
    if (path.failure == CueFailure::None) {
        EndOpenCues(path.cues.length, 0, false);
        if (!path.direct)
            WriteHeldCues();
    }
    path.cues.Free();
    path.slots.Free();
    std::free(path.records);
    path.records = nullptr;
    path.capacity = 0;
    path.length = 0;
    path.direct = false;
    path.region_at = NO_REGION;
    return path.failure == CueFailure::None;
}

// The cue path's events for the walk over a subtitle's text, without a call a piece.
struct CueEvents {
    void put_text(const unsigned char *bytes, std::size_t count, bool blank_before) const
    {
        PutCueText(bytes, count, blank_before);
    }
    void put_entity_text(bool blank_before) const
    {
        const ConversionState::Text &text = conversion_state.text;
        PutCueText(text.entity_text, static_cast<std::size_t>(text.entity_length), blank_before);
    }
    void start_subtitle() const
    {
        StartCue();
    }
    void break_line() const
    {
        BreakCueLine();
    }
    void mark_paragraph(const char *class_name, bool of_chosen_class) const
    {
        MarkCueParagraph(class_name, of_chosen_class);
    }
    void mark_style(StyleTag tag, bool closing) const
    {
        MarkCueStyle(tag, closing);
    }
    void start_block() const
    {
    }
    void hand_back() const
    {
    }
    static constexpr bool STYLES = true; // as the cue path asks
};

const unsigned char *WalkCueText(const unsigned char *start, const unsigned char *end)
{
    return WalkSubtitleEvents(start, end, CueEvents{});
}

} // namespace

const SubtitleListener *CueListener()
{
    return &cue_listener;
}

CueFailure FailedCues()
{
    return cue_path.failure;
}

void SetCueFailure(CueFailure failure)
{
    cue_path.failure = failure;
}
