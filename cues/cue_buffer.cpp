// The cue buffer: subtitles become cues as the steps read them; a cue waits for its end, and
// for the cues before it in time when the file's starts go back.
#include "cue_buffer.h"

#include "byte_io.h"
#include "conversion_state.h"
#include "cue_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

constexpr std::size_t FIRST_CAPACITY = 16 * 1024;
// What a piece of text may add besides its bytes: a paragraph record's head and a separator.
constexpr std::size_t RECORD_HEAD_SIZE = 1 + CLASS_NAME_SIZE + sizeof(std::uint32_t) + 1;

// The process-wide record of the cues of the file being read.
struct CueBuffer {
    // The records of the held cues, then the subtitle's: length bytes in use of capacity. Grown
    // by hand, so that a byte put in costs no call and the pages not yet used stay untouched.
    std::unique_ptr<unsigned char[]> records;
    std::size_t capacity;
    std::size_t length;
    std::vector<Cue> cues;      // held cues in file order, ends known before open_first
    std::size_t open_first;     // the first cue whose end is not known yet
    std::uint32_t open_start;   // the start that the open cues wait to see passed
    bool any_counted;           // a SYNC tag has counted for the ends
    std::uint32_t latest_start; // the latest start of a cue so far
    bool went_back;             // a cue started before one read earlier
    bool writing_as_read;       // the window passed in order: cues go out when ended
    bool any_written;
    std::uint32_t last_written_start;
    bool keeps_classes; // the format writes classes, or a class is chosen: else a P tag only
                        // ends a line
    CueFailure failure;

    // The subtitle being read.
    bool in_subtitle;
    std::uint32_t subtitle_start;
    bool has_paragraph;        // a P tag stands in it
    bool has_chosen_paragraph; // a P tag of the chosen class stands in it
    std::size_t subtitle_at;   // where its records begin

    // The paragraph being read.
    char class_name[CLASS_NAME_SIZE];
    std::size_t class_length;
    bool paragraph_started;     // its record is begun: it has text
    std::size_t text_length_at; // where the record's text length goes
    bool line_ended;            // a line break waits for the next text
};

CueBuffer cue_buffer;

/* Fail
 *     Remembers the first thing that went wrong; from then on nothing more is held or written. */
void Fail(CueFailure failure)
{
    if (cue_buffer.failure == CueFailure::None)
        cue_buffer.failure = failure;
    cue_buffer.cues.clear();
    cue_buffer.length = 0;
    cue_buffer.open_first = 0;
    cue_buffer.in_subtitle = false;
}

/* GrowRecords
 *     Makes room for count more bytes of records. */
void GrowRecords(std::size_t count)
{
    CueBuffer &buffer = cue_buffer;
    std::size_t capacity = std::max({buffer.capacity * 2, buffer.length + count, FIRST_CAPACITY});
    std::unique_ptr<unsigned char[]> records(new unsigned char[capacity]);
    if (buffer.length != 0)
        std::memcpy(records.get(), buffer.records.get(), buffer.length);
    buffer.records = std::move(records);
    buffer.capacity = capacity;
}

/* EndParagraphRecord
 *     Puts the length of the paragraph's text in its record; the next text starts another. */
void EndParagraphRecord()
{
    CueBuffer &buffer = cue_buffer;
    if (!buffer.paragraph_started)
        return;
    auto length =
        static_cast<std::uint32_t>(buffer.length - buffer.text_length_at - sizeof(std::uint32_t));
    std::memcpy(buffer.records.get() + buffer.text_length_at, &length, sizeof length);
    buffer.paragraph_started = false;
    buffer.line_ended = false;
}

/* StartParagraphRecord
 *     Begins at out the record of the paragraph being read, at its first text byte; returns
 *     where its text goes. */
unsigned char *StartParagraphRecord(unsigned char *out)
{
    CueBuffer &buffer = cue_buffer;
    *out++ = static_cast<unsigned char>(buffer.class_length);
    std::memcpy(out, buffer.class_name, buffer.class_length);
    out += buffer.class_length;
    buffer.text_length_at = static_cast<std::size_t>(out - buffer.records.get());
    buffer.paragraph_started = true;
    return out + sizeof(std::uint32_t);
}

/* WholeCharactersLength
 *     The length of the UTF-8 text at bytes without a character its end cuts: a class longer
 *     than the filter keeps is cut anywhere, and the formats must stay UTF-8. */
std::size_t WholeCharactersLength(const char *bytes, std::size_t length)
{
    for (std::size_t back = 1; back <= 3 && back <= length; back++) {
        auto byte = static_cast<unsigned char>(bytes[length - back]);
        if (byte < 0x80 || byte >= 0xC0) {
            std::size_t needed = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
            return needed > back ? length - back : length;
        }
    }
    return length;
}

/* SetParagraphClass
 *     The paragraph read from now on is of class_name ("" for none). */
void SetParagraphClass(const char *class_name)
{
    CueBuffer &buffer = cue_buffer;
    EndParagraphRecord();
    std::size_t length = WholeCharactersLength(class_name, std::strlen(class_name));
    buffer.class_length = length;
    std::memcpy(buffer.class_name, class_name, length);
}

std::size_t HeldBytes()
{
    return cue_buffer.length + cue_buffer.cues.size() * sizeof(Cue);
}

/* WriteHeldCue
 *     Writes one cue; one that starts before a cue already written cannot be put in order. */
void WriteHeldCue(const Cue &cue)
{
    CueBuffer &buffer = cue_buffer;
    if (buffer.any_written && cue.start < buffer.last_written_start) {
        Fail(CueFailure::StartsWentBack);
        return;
    }
    WriteCue(cue, buffer.records.get() + cue.offset);
    buffer.any_written = true;
    buffer.last_written_start = cue.start;
}

/* WriteEndedCues
 *     Once cues go out as read: writes the cues whose ends are known and drops them and their
 *     records. */
void WriteEndedCues()
{
    CueBuffer &buffer = cue_buffer;
    if (!buffer.writing_as_read || buffer.open_first == 0)
        return;
    for (std::size_t k = 0; k < buffer.open_first && buffer.failure == CueFailure::None; k++)
        WriteHeldCue(buffer.cues[k]);
    if (buffer.failure != CueFailure::None)
        return;
    // What stays (the open cues and the subtitle being read) moves to the front; mostly
    // nothing does.
    std::size_t kept_from = buffer.open_first < buffer.cues.size()
                                ? buffer.cues[buffer.open_first].offset
                                : buffer.subtitle_at;
    std::size_t kept = buffer.length - kept_from;
    if (kept != 0)
        std::memmove(buffer.records.get(), buffer.records.get() + kept_from, kept);
    buffer.length = kept;
    if (buffer.open_first == buffer.cues.size()) {
        buffer.cues.clear();
    } else {
        buffer.cues.erase(buffer.cues.begin(),
                          buffer.cues.begin() + static_cast<std::ptrdiff_t>(buffer.open_first));
        for (Cue &cue : buffer.cues)
            cue.offset -= kept_from;
    }
    buffer.subtitle_at -= kept_from;
    if (buffer.paragraph_started)
        buffer.text_length_at -= kept_from;
    buffer.open_first = 0;
}

/* EndOpenCues
 *     The open cues end at next_start, or last CUE_LAST_DURATION when that is not later. */
void EndOpenCues(std::uint64_t next_start, bool has_next)
{
    CueBuffer &buffer = cue_buffer;
    for (std::size_t k = buffer.open_first; k < buffer.cues.size(); k++) {
        Cue &cue = buffer.cues[k];
        cue.end = has_next && next_start > cue.start ? next_start
                                                     : std::uint64_t{cue.start} + CUE_LAST_DURATION;
    }
    buffer.open_first = buffer.cues.size();
}

/* HoldCue
 *     Keeps the subtitle just read as an open cue, when it has text. */
void HoldCue()
{
    CueBuffer &buffer = cue_buffer;
    std::size_t length = buffer.length - buffer.subtitle_at;
    if (length == 0)
        return;
    if (!buffer.cues.empty() && buffer.subtitle_start < buffer.latest_start)
        buffer.went_back = true;
    buffer.latest_start = std::max(buffer.latest_start, buffer.subtitle_start);
    buffer.cues.push_back(Cue{buffer.subtitle_start, 0, buffer.subtitle_at, length});
    buffer.subtitle_at = buffer.length;
}

/* EndSubtitle
 *     The subtitle being read is done: when its SYNC tag counts (no class chosen, or it holds a
 *     P tag of that class or none at all) and starts at another time, the open cues end there;
 *     its text becomes an open cue. */
void EndSubtitle()
{
    CueBuffer &buffer = cue_buffer;
    if (!buffer.in_subtitle)
        return;
    EndParagraphRecord();
    bool counts = conversion_state.options.chosen_class[0] == '\0' || buffer.has_chosen_paragraph ||
                  !buffer.has_paragraph;
    if (counts) {
        if (buffer.any_counted && buffer.subtitle_start != buffer.open_start)
            EndOpenCues(buffer.subtitle_start, true);
        buffer.any_counted = true;
        buffer.open_start = buffer.subtitle_start;
    }
    HoldCue();
    if (!buffer.writing_as_read && !buffer.went_back && !conversion_state.options.holds_every_cue &&
        HeldBytes() > CUE_WINDOW)
        buffer.writing_as_read = true;
    WriteEndedCues();
    if (HeldBytes() > HELD_CUES_LIMIT)
        Fail(CueFailure::TooManyHeld);
}

} // namespace

void StartCues()
{
    CueBuffer &buffer = cue_buffer;
    buffer.length = 0;
    buffer.cues.clear();
    buffer.open_first = 0;
    buffer.open_start = 0;
    buffer.any_counted = false;
    buffer.latest_start = 0;
    buffer.went_back = false;
    buffer.writing_as_read = false;
    buffer.any_written = false;
    buffer.last_written_start = 0;
    buffer.keeps_classes = CueClassesMatter();
    buffer.failure = CueFailure::None;
    buffer.in_subtitle = false;
    buffer.paragraph_started = false;
    WriteCueHead();
}

void StartCue(std::uint32_t start)
{
    CueBuffer &buffer = cue_buffer;
    if (buffer.failure != CueFailure::None)
        return;
    EndSubtitle();
    buffer.in_subtitle = true;
    buffer.subtitle_start = start;
    buffer.has_paragraph = false;
    buffer.has_chosen_paragraph = false;
    buffer.subtitle_at = buffer.length;
    buffer.paragraph_started = false;
    buffer.line_ended = false;
    buffer.class_length = 0;
}

void StartCueParagraph(const char *class_name, bool of_chosen_class)
{
    CueBuffer &buffer = cue_buffer;
    if (!buffer.in_subtitle)
        return;
    if (!buffer.keeps_classes) {
        BreakCueLine();
        return;
    }
    buffer.has_paragraph = true;
    buffer.has_chosen_paragraph = buffer.has_chosen_paragraph || of_chosen_class;
    SetParagraphClass(class_name);
}

void EndCueParagraph()
{
    CueBuffer &buffer = cue_buffer;
    if (!buffer.in_subtitle)
        return;
    if (!buffer.keeps_classes)
        BreakCueLine();
    else
        SetParagraphClass("");
}

void BreakCueLine()
{
    CueBuffer &buffer = cue_buffer;
    buffer.line_ended = buffer.paragraph_started;
}

void PutCueText(const unsigned char *bytes, std::size_t count, bool blank_before)
{
    CueBuffer &buffer = cue_buffer;
    if (!buffer.in_subtitle)
        return;
    if (VELMORA_RARELY(count > CUE_TEXT_LIMIT)) {
        Fail(CueFailure::CueTooLong);
        return;
    }
    // One look for room: the record's head, a separator and the bytes.
    if (VELMORA_RARELY(count + RECORD_HEAD_SIZE > buffer.capacity - buffer.length))
        GrowRecords(count + RECORD_HEAD_SIZE);
    unsigned char *out = buffer.records.get() + buffer.length;
    if (!buffer.paragraph_started)
        out = StartParagraphRecord(out);
    else if (buffer.line_ended)
        *out++ = '\n';
    else if (blank_before)
        *out++ = ' ';
    buffer.line_ended = false;
    std::memcpy(out, bytes, count);
    buffer.length = static_cast<std::size_t>(out + count - buffer.records.get());
    if (buffer.length - buffer.subtitle_at > CUE_TEXT_LIMIT)
        Fail(CueFailure::CueTooLong);
}

void FinishCues()
{
    CueBuffer &buffer = cue_buffer;
    if (buffer.failure == CueFailure::None)
        EndSubtitle();
    if (buffer.failure == CueFailure::None) {
        EndOpenCues(0, false);
        buffer.in_subtitle = false;
        // Cues with the same start keep the order they stand in.
        if (!buffer.writing_as_read)
            std::stable_sort(buffer.cues.begin(), buffer.cues.end(),
                             [](const Cue &a, const Cue &b) { return a.start < b.start; });
        for (std::size_t k = 0; k < buffer.cues.size() && buffer.failure == CueFailure::None; k++)
            WriteHeldCue(buffer.cues[k]);
    }
    buffer.cues.clear();
    buffer.cues.shrink_to_fit();
    buffer.records.reset();
    buffer.capacity = 0;
    buffer.length = 0;
}

CueFailure FailedCues()
{
    // The failure of the last timed conversion: one of another format that follows has none.
    return CollectsCues() ? cue_buffer.failure : CueFailure::None;
}
