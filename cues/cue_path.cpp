// The cue path: subtitles become cues as the steps read them. A cue's text is written in its
// format as it comes, straight into the write buffer once cues go out as they are read, and its
// end goes into the room left for it in its head when the next start that counts is known.
// Until then, and while starts may still go back, cues are held in records of their own and
// written in order of their starts.
#include "cue_path.h"

#include "conversion_state.h"
#include "cue_writer.h"
#include "write_buffer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

constexpr std::size_t FIRST_CAPACITY = 16 * 1024;

// A cue made, held or in the write buffer, and where its ends go.
struct MadeCue {
    std::uint32_t start;    // ms
    std::uint64_t end;      // ms; past 2^32 when the last duration is added to a late start
    std::size_t offset;     // where its bytes begin, from the base of the buffer they are in
    std::size_t length;     // its bytes: its head (its number too when numbered) and text
    std::size_t text;       // bytes of its text, for the limits
    std::size_t first_slot; // its ends' places in cue_path.slots
    std::size_t slot_count;
    bool numbered; // its number is among its bytes
};

// The room left for an end, from the base of the buffer the cue is in.
struct EndSlot {
    std::size_t offset;
    std::size_t length;
};

// The process-wide record of the cues of the file being read.
struct CuePath {
    const CueWriter *writer;
    // The held cues' bytes: length of capacity in use, grown by hand so that the pages not
    // used yet stay untouched.
    std::unique_ptr<unsigned char[]> records;
    std::size_t capacity;
    std::size_t length;
    // The cues being made go straight into the write buffer, from region_at on: cues go out as
    // they are read and none is held.
    bool direct;
    std::size_t region_at;
    std::vector<MadeCue> cues; // in file order; ends known before open_first
    std::vector<EndSlot> slots;
    std::size_t open_first;     // the first cue whose end is not known yet
    std::uint32_t open_start;   // the start that the open cues wait to see passed
    bool any_counted;           // a SYNC tag has counted for the ends
    std::uint32_t latest_start; // the latest start of a cue so far
    bool went_back;             // a cue started before one read earlier
    bool writing_as_read;       // the window passed in order: cues go out when ended
    bool any_written;
    std::uint32_t last_written_start;
    unsigned long long cues_numbered; // SubRip's cue numbers given out
    std::size_t held_text;            // text bytes of the held cues
    bool keeps_classes; // the format writes classes, or a class is chosen: else a P tag only
                        // ends a line
    CueFailure failure;

    // The subtitle being read.
    bool in_subtitle;
    std::uint32_t subtitle_start;
    bool has_paragraph;        // a P tag stands in it
    bool has_chosen_paragraph; // a P tag of the chosen class stands in it
    bool has_cue;              // it has text: the last of cues is its own

    // The paragraph being read.
    char class_name[CLASS_NAME_SIZE];
    std::size_t class_length;
    bool paragraph_started; // it has text: in TSV and JSON Lines its row is begun
    bool line_ended;        // a line break waits for the next text
};

CuePath cue_path;

void StartCues();
void StartCue();
void PutCueText(const unsigned char *bytes, std::size_t count, bool blank_before);
void BreakCueLine();
void MarkCueParagraph(const char *class_name, bool of_chosen_class);
void MarkCueStyle(StyleTag tag, bool closing, std::uint32_t colour);
bool FinishCues();

SubtitleListener cue_listener = {
    StartCues,        false,        false,      StartCue, PutCueText, BreakCueLine,
    MarkCueParagraph, MarkCueStyle, FinishCues,
};

/* Fail
 *     Remembers the first thing that went wrong; from then on nothing more is held or written. */
void Fail(CueFailure failure)
{
    CuePath &path = cue_path;
    if (path.failure == CueFailure::None)
        path.failure = failure;
    if (path.direct && path.region_at != SIZE_MAX)
        conversion_state.writing.write_length = path.region_at;
    path.cues.clear();
    path.slots.clear();
    path.length = 0;
    path.open_first = 0;
    path.in_subtitle = false;
    path.direct = false;
    path.region_at = SIZE_MAX;
}

unsigned char *Base()
{
    return cue_path.direct ? write_buffer + cue_path.region_at : cue_path.records.get();
}

std::size_t BaseLength()
{
    return cue_path.direct ? conversion_state.writing.write_length - cue_path.region_at
                           : cue_path.length;
}

/* GrowRecords
 *     Makes room for count more bytes of records. */
void GrowRecords(std::size_t count)
{
    CuePath &path = cue_path;
    std::size_t capacity = std::max({path.capacity * 2, path.length + count, FIRST_CAPACITY});
    std::unique_ptr<unsigned char[]> records(new unsigned char[capacity]);
    if (path.length != 0)
        std::memcpy(records.get(), path.records.get(), path.length);
    path.records = std::move(records);
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
    std::memcpy(path.records.get(), write_buffer + path.region_at, count);
    path.length = count;
    conversion_state.writing.write_length = path.region_at;
    for (const MadeCue &cue : path.cues)
        path.held_text += cue.text; // the cue being made counts its text on
    path.direct = false;
    path.region_at = SIZE_MAX;
}

/* MakeRoom
 *     Where count more bytes of cues go, with room for them: the held records grow; the write
 *     buffer writes out what stands before the cues being made, which move to its front, and
 *     when even that is too little they are held. */
unsigned char *MakeRoom(std::size_t count)
{
    CuePath &path = cue_path;
    ConversionState &state = conversion_state;
    if (path.direct) {
        if (VELMORA_RARELY(count > WRITE_BUFFER_SIZE - state.writing.write_length)) {
            FlushWriteBufferBefore(path.region_at);
            path.region_at = 0;
        }
        if (count <= WRITE_BUFFER_SIZE - state.writing.write_length)
            return write_buffer + state.writing.write_length;
        HoldRegion();
    }
    if (VELMORA_RARELY(count > path.capacity - path.length))
        GrowRecords(count);
    return path.records.get() + path.length;
}

/* MadeUpTo
 *     The cues being made end at out, which MakeRoom gave. */
void MadeUpTo(unsigned char *out)
{
    CuePath &path = cue_path;
    std::size_t length = static_cast<std::size_t>(out - Base());
    if (path.direct)
        conversion_state.writing.write_length = path.region_at + length;
    else
        path.length = length;
    path.cues.back().length = length - path.cues.back().offset;
}

/* PutCueNumber
 *     Puts SubRip's next cue number and its line end at out. */
unsigned char *PutCueNumber(unsigned char *out)
{
    out += PutNumber(++cue_path.cues_numbered, out);
    *out++ = '\n';
    return out;
}

/* BeginUnit
 *     Puts the head of a cue or row at the end of the cues being made. */
void BeginUnit()
{
    CuePath &path = cue_path;
    const CueWriter &writer = *path.writer;
    MadeCue &cue = path.cues.back();
    unsigned char *out = MakeRoom(writer.head_room + NUMBER_SIZE + 1);
    if (writer.numbered && path.direct && path.slots.size() == cue.first_slot) {
        out = PutCueNumber(out);
        cue.numbered = true;
    }
    unsigned char *end_at = nullptr;
    std::size_t end_length = 0;
    out = writer.put_head(out, cue.start, path.class_name, path.class_length, &end_at, &end_length);
    path.slots.push_back(EndSlot{static_cast<std::size_t>(end_at - Base()), end_length});
    cue.slot_count++;
    MadeUpTo(out);
}

/* BeginCue
 *     The subtitle's first text: its cue is made where cues go now. A cue that goes straight
 *     out cannot start before those written. */
void BeginCue()
{
    CuePath &path = cue_path;
    if (path.writing_as_read && path.cues.empty() && !path.direct) {
        path.direct = true;
        path.region_at = SIZE_MAX;
    }
    if (path.direct && path.region_at == SIZE_MAX)
        path.region_at = conversion_state.writing.write_length;
    if (path.direct && ((path.any_written && path.subtitle_start < path.last_written_start) ||
                        (!path.cues.empty() && path.subtitle_start < path.cues.back().start))) {
        Fail(CueFailure::StartsWentBack);
        return;
    }
    path.cues.push_back(
        MadeCue{path.subtitle_start, 0, BaseLength(), 0, 0, path.slots.size(), 0, false});
    path.has_cue = true;
    if (!path.writer->rows)
        BeginUnit();
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
    if (!path.writer->rows)
        return;
    unsigned char *out = MakeRoom(8);
    MadeUpTo(PutBytes(out, path.writer->unit_end, std::strlen(path.writer->unit_end)));
}

/* EndCueText
 *     The subtitle's text is over: a cue's last line ends, and its styles with it. */
void EndCueText()
{
    CuePath &path = cue_path;
    if (!path.has_cue)
        return;
    if (path.writer->rows) {
        EndRow();
        return;
    }
    unsigned char *out = MakeRoom(STYLE_ROOM + 8);
    out = PutClosingStyles(out);
    MadeUpTo(PutBytes(out, path.writer->unit_end, std::strlen(path.writer->unit_end)));
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

std::size_t HeldBytes()
{
    return cue_path.held_text + cue_path.cues.size() * sizeof(MadeCue);
}

/* PutEnd
 *     Writes a cue's end into each of its slots; one that takes another length than was left
 *     for it moves what follows, which only cues still being made do. */
void PutEnd(MadeCue &cue)
{
    CuePath &path = cue_path;
    const CueWriter &writer = *path.writer;
    unsigned char end[CUE_TIME_SIZE];
    std::size_t length = writer.put_end(cue.end, end);
    for (std::size_t k = cue.first_slot; k < cue.first_slot + cue.slot_count; k++) {
        EndSlot &slot = path.slots[k];
        if (VELMORA_RARELY(length != slot.length)) {
            std::size_t total = BaseLength();
            std::size_t grown = length > slot.length ? length - slot.length : 0;
            if (grown > 0)
                MakeRoom(grown); // may move the bytes, never their offsets
            unsigned char *base = Base();
            std::size_t tail = slot.offset + slot.length;
            std::memmove(base + slot.offset + length, base + tail, total - tail);
            std::size_t new_total = total + length - slot.length;
            if (path.direct)
                conversion_state.writing.write_length = path.region_at + new_total;
            else
                path.length = new_total;
            // What follows the slot moved with it.
            std::ptrdiff_t moved =
                static_cast<std::ptrdiff_t>(length) - static_cast<std::ptrdiff_t>(slot.length);
            for (std::size_t j = k + 1; j < path.slots.size(); j++)
                path.slots[j].offset = static_cast<std::size_t>(
                    static_cast<std::ptrdiff_t>(path.slots[j].offset) + moved);
            cue.length = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(cue.length) + moved);
            for (MadeCue &later : path.cues)
                if (later.offset > cue.offset)
                    later.offset =
                        static_cast<std::size_t>(static_cast<std::ptrdiff_t>(later.offset) + moved);
            slot.length = length;
        }
        std::memcpy(Base() + slot.offset, end, length);
    }
}

/* EndOpenCues
 *     The open cues before open_end end at next_start, or last CUE_LAST_DURATION when that is
 *     not later. */
void EndOpenCues(std::size_t open_end, std::uint64_t next_start, bool has_next)
{
    CuePath &path = cue_path;
    for (std::size_t k = path.open_first; k < open_end; k++) {
        MadeCue &cue = path.cues[k];
        cue.end = has_next && next_start > cue.start ? next_start
                                                     : std::uint64_t{cue.start} + CUE_LAST_DURATION;
        PutEnd(cue);
    }
    path.open_first = open_end;
}

/* WriteHeldCue
 *     Writes one held cue, its number first in SubRip; one that starts before a cue already
 *     written cannot be put in order. */
void WriteHeldCue(const MadeCue &cue)
{
    CuePath &path = cue_path;
    if (path.any_written && cue.start < path.last_written_start) {
        Fail(CueFailure::StartsWentBack);
        return;
    }
    if (path.writer->numbered && !cue.numbered) {
        unsigned char number[NUMBER_SIZE + 1];
        WriteBytes(number, static_cast<std::size_t>(PutCueNumber(number) - number));
    }
    WriteBytes(path.records.get() + cue.offset, cue.length);
    path.any_written = true;
    path.last_written_start = cue.start;
}

/* DropWrittenCues
 *     Forgets the first count cues, which are out, and the bytes before kept_from. */
void DropWrittenCues(std::size_t count, std::size_t kept_from)
{
    CuePath &path = cue_path;
    if (count == path.cues.size()) {
        path.cues.clear();
        path.slots.clear();
    } else {
        std::size_t first_slot = path.cues[count].first_slot;
        path.cues.erase(path.cues.begin(), path.cues.begin() + static_cast<std::ptrdiff_t>(count));
        path.slots.erase(path.slots.begin(),
                         path.slots.begin() + static_cast<std::ptrdiff_t>(first_slot));
        for (MadeCue &cue : path.cues) {
            cue.offset -= kept_from;
            cue.first_slot -= first_slot;
        }
        for (EndSlot &slot : path.slots)
            slot.offset -= kept_from;
    }
    path.open_first -= count;
}

/* WriteEndedCues
 *     Once cues go out as read: the cues whose ends are known are written (those in the write
 *     buffer already are) and dropped. */
void WriteEndedCues()
{
    CuePath &path = cue_path;
    if (!path.writing_as_read || path.open_first == 0)
        return;
    std::size_t count = path.open_first;
    std::size_t kept_from = count < path.cues.size() ? path.cues[count].offset : BaseLength();
    if (path.direct) {
        path.any_written = true;
        path.last_written_start = path.cues[count - 1].start;
        path.region_at = count < path.cues.size() ? path.region_at + kept_from : SIZE_MAX;
        DropWrittenCues(count, kept_from);
        return;
    }
    for (std::size_t k = 0; k < count && path.failure == CueFailure::None; k++) {
        path.held_text -= path.cues[k].text;
        WriteHeldCue(path.cues[k]);
    }
    if (path.failure != CueFailure::None)
        return;
    // What stays (the open cues and the subtitle being read) moves to the front; mostly
    // nothing does.
    std::size_t kept = path.length - kept_from;
    if (kept != 0)
        std::memmove(path.records.get(), path.records.get() + kept_from, kept);
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
    if (!path.in_subtitle)
        return;
    EndCueText();
    bool counts = conversion_state.options.chosen_class[0] == '\0' || path.has_chosen_paragraph ||
                  !path.has_paragraph;
    if (counts) {
        // The subtitle's own cue stays open while those before it end.
        if (path.any_counted && path.subtitle_start != path.open_start)
            EndOpenCues(path.cues.size() - (path.has_cue ? 1 : 0), path.subtitle_start, true);
        path.any_counted = true;
        path.open_start = path.subtitle_start;
    }
    if (path.has_cue) {
        if (path.cues.size() > 1 && path.subtitle_start < path.latest_start)
            path.went_back = true;
        path.latest_start = std::max(path.latest_start, path.subtitle_start);
    }
    path.in_subtitle = false;
    if (!path.writing_as_read && !path.went_back && !conversion_state.options.holds_every_cue &&
        HeldBytes() > CUE_WINDOW)
        path.writing_as_read = true;
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
    path.length = 0;
    path.direct = false;
    path.region_at = SIZE_MAX;
    path.cues.clear();
    path.slots.clear();
    path.open_first = 0;
    path.open_start = 0;
    path.any_counted = false;
    path.latest_start = 0;
    path.went_back = false;
    path.writing_as_read = false;
    path.any_written = false;
    path.last_written_start = 0;
    path.cues_numbered = 0;
    path.held_text = 0;
    path.keeps_classes = path.writer->rows || options.chosen_class[0] != '\0';
    path.failure = CueFailure::None;
    path.in_subtitle = false;
    path.paragraph_started = false;
    StartStyles(path.writer->colours);
    cue_listener.reads_classes = path.keeps_classes;
    cue_listener.reads_styles = path.writer->styles && !options.drops_styles;
    path.writer->put_file_head();
}

void StartCue()
{
    CuePath &path = cue_path;
    if (path.failure != CueFailure::None)
        return;
    EndSubtitle();
    if (path.failure != CueFailure::None)
        return;
    path.in_subtitle = true;
    path.subtitle_start = ReadStartTime();
    path.has_paragraph = false;
    path.has_chosen_paragraph = false;
    path.has_cue = false;
    path.paragraph_started = false;
    path.line_ended = false;
    path.class_length = 0;
    ForgetStyleTags();
}

/* PutCueText
 *     Text of the subtitle, after what goes before it: a row's head, or a line end, or a
 *     blank; with the styles that close and open there. */
void PutCueText(const unsigned char *bytes, std::size_t count, bool blank_before)
{
    CuePath &path = cue_path;
    if (!path.in_subtitle)
        return;
    const CueWriter &writer = *path.writer;
    if (!path.has_cue) {
        BeginCue();
        if (path.failure != CueFailure::None)
            return;
    }
    MadeCue &cue = path.cues.back();
    const char *separator = "";
    if (!path.paragraph_started) {
        if (writer.rows)
            BeginUnit();
        else if (cue.text > 0)
            separator = writer.line_separator; // a new paragraph is a new line
        path.paragraph_started = true;
    } else if (path.line_ended) {
        separator = writer.line_separator;
    } else if (blank_before) {
        separator = " ";
    }
    path.line_ended = false;
    std::size_t text = (separator[0] != '\0' ? 1 : 0) + count;
    cue.text += text;
    if (VELMORA_RARELY(cue.text > CUE_TEXT_LIMIT)) {
        Fail(CueFailure::CueTooLong);
        return;
    }
    unsigned char *out = MakeRoom(STYLE_ROOM + 2 + writer.text_room * count);
    if (!path.direct)
        path.held_text += text;
    out = cue_listener.reads_styles ? PutStylesBeforeText(out, separator)
                                    : PutBytes(out, separator, std::strlen(separator));
    MadeUpTo(writer.put_text(out, bytes, count));
}

void BreakCueLine()
{
    cue_path.line_ended = cue_path.paragraph_started;
}

/* MarkCueParagraph
 *     A P tag (class_name) or </P> (null): the text after it is a paragraph of that class, or
 *     of none; where classes are not kept, a line of its own. Its styles start anew. */
void MarkCueParagraph(const char *class_name, bool of_chosen_class)
{
    CuePath &path = cue_path;
    if (!path.in_subtitle)
        return;
    ForgetStyleTags();
    if (!path.keeps_classes) {
        BreakCueLine();
        return;
    }
    if (class_name != nullptr) {
        path.has_paragraph = true;
        path.has_chosen_paragraph = path.has_chosen_paragraph || of_chosen_class;
    }
    EndRow();
    SetParagraphClass(class_name != nullptr ? class_name : "");
}

void MarkCueStyle(StyleTag tag, bool closing, std::uint32_t colour)
{
    if (cue_path.in_subtitle)
        TakeStyleTag(tag, closing, colour);
}

/* FinishCues
 *     The end of the input: the last cues get their ends and everything held is written. */
bool FinishCues()
{
    CuePath &path = cue_path;
    if (path.failure == CueFailure::None)
        EndSubtitle();
    if (path.failure == CueFailure::None) {
        EndOpenCues(path.cues.size(), 0, false);
        // Cues with the same start keep the order they stand in.
        if (!path.writing_as_read)
            std::stable_sort(path.cues.begin(), path.cues.end(),
                             [](const MadeCue &a, const MadeCue &b) { return a.start < b.start; });
        if (!path.direct)
            for (std::size_t k = 0; k < path.cues.size() && path.failure == CueFailure::None; k++)
                WriteHeldCue(path.cues[k]);
    }
    path.cues.clear();
    path.cues.shrink_to_fit();
    path.slots.clear();
    path.slots.shrink_to_fit();
    path.records.reset();
    path.capacity = 0;
    path.length = 0;
    path.direct = false;
    path.region_at = SIZE_MAX;
    return path.failure == CueFailure::None;
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
