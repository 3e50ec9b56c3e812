// The merge of the classes: each class's cues timed as that class alone would have them (a cue
// ends at the next SYNC, at another time, holding a P tag of its class or none), all in the one
// reading; then, in order of their starts, a cue joins the merged cue being built when it starts
// with one of its members, or is of another class than one and overlaps it by half the shorter
// one's length. A merged cue runs from its first start to its members' last end, cut where the
// next begins, and writes its classes one block after another.
#include "cue_merge.h"

#include "conversion.h"
#include "conversion_state.h"
#include "cue_path.h"
#include "cue_writer.h"
#include "legacy_colour.h"
#include "subtitle_walk.h"
#include "write_buffer.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{

// Bytes grown by hand: room asked for is not filled first.
struct ByteBuffer {
    std::vector<unsigned char> bytes;
    std::size_t length = 0;

    unsigned char *Room(std::size_t count)
    {
        if (bytes.size() < length + count)
            bytes.resize(std::max(bytes.size() * 2, length + count));
        return bytes.data() + length;
    }
    void Append(const unsigned char *from, std::size_t count)
    {
        std::memcpy(Room(count), from, count);
        length += count;
    }
};

// One class of the merge; entry 0 is text of no class unless a list is chosen, when the
// entries are the list's names in its order.
struct MergeClass {
    char name[CLASS_NAME_SIZE]; // as the file first spells it
    std::size_t length;
    bool seen;        // a P tag of it was read
    bool has_text;    // text of it was read
    bool any_counted; // a SYNC tag has counted for its ends
    std::uint32_t open_start;
    std::vector<std::size_t> open; // its cues whose end is not known yet
    // The subtitle being read.
    bool has_paragraph;
    bool in_subtitle_text; // it has text in the subtitle
    ByteBuffer text;       // that text as the format writes it, '\n' between lines
    std::size_t cue_text;  // bytes of it, for the limit
    WrittenStyles written;
};

// One class's cue.
struct ClassCue {
    std::uint32_t start;
    std::uint64_t end;
    bool ended;
    int klass;
    std::size_t text_at; // in merge.texts, from texts_base
    std::size_t text_length;
};

struct Merge {
    CueFormat format;
    const CueWriter *writer; // null for Sync Save's stamps
    bool styles;
    bool listed;     // a list of classes is chosen
    bool surveying;  // only the classes are learnt
    bool chosen_tsv; // TSV's columns were learnt by a reading before
    std::vector<MergeClass> classes;
    std::vector<int> columns; // TSV: the classes of its columns, in order
    int last_class;
    CueFailure failure;

    // The subtitle being read.
    bool in_subtitle;
    std::uint32_t start;
    bool has_paragraph;
    int current; // the class its text goes to, -1 for text not kept
    bool paragraph_started;
    bool line_ended;
    std::vector<int> touched; // classes with text in it, in order

    // The class cues not merged yet, from the id cues_base on, their text in texts.
    std::vector<ClassCue> cues;
    std::size_t cues_base;
    std::size_t next; // id of the next to merge
    ByteBuffer texts;
    std::size_t texts_base;
    bool went_back;
    bool streaming; // the window passed in order: cues merge as their ends are known
    std::uint32_t latest_start;
    bool any_cue;

    // The merged cue being built.
    std::vector<std::size_t> members;
    std::vector<int> present; // their classes, in class order
    std::uint32_t merged_start;
    std::uint64_t merged_end;
    std::size_t merged_text;
    std::uint64_t number;
};

Merge merge;

extern SubtitleListener merge_listener;
extern SubtitleListener survey_listener;

// What a survey learnt, for the reading after it.
struct Survey {
    bool valid;
    bool no_class_text;
    std::vector<MergeClass> classes;
} survey;

const char LINE_SEPARATOR[SEPARATOR_ROOM] = {'\n'};
const char BLANK_SEPARATOR[SEPARATOR_ROOM] = {' '};
const char NO_SEPARATOR[SEPARATOR_ROOM] = {};

MergeClass &ClassAt(int k)
{
    return merge.classes[static_cast<std::size_t>(k)];
}

ClassCue &CueOf(std::size_t id)
{
    return merge.cues[id - merge.cues_base];
}

void Fail(CueFailure failure)
{
    if (merge.failure == CueFailure::None)
        merge.failure = failure;
    merge.in_subtitle = false;
    merge.cues.clear();
    merge.members.clear();
    merge.texts.length = 0;
}

/* FindClass
 *     The entry of class_name, added when it is new; -1 for a class a chosen list lacks. */
int FindClass(const char *class_name)
{
    Merge &m = merge;
    // Most P tags spell their class as one of the last few did.
    for (std::size_t k = 0; k < m.classes.size() && k < 4; k++)
        if (m.classes[k].seen && std::strcmp(m.classes[k].name, class_name) == 0)
            return static_cast<int>(k);
    int found = -1;
    if (m.listed) {
        found = ChosenClassIndex(class_name);
    } else {
        for (std::size_t k = 0; k < m.classes.size() && found < 0; k++)
            if (m.classes[k].seen && SameClassName(m.classes[k].name, class_name))
                found = static_cast<int>(k);
        if (found < 0 && class_name[0] == '\0')
            found = 0;
        if (found < 0) {
            if (m.classes.size() > CLASS_LIST_SIZE)
                return -1;
            m.classes.emplace_back();
            found = static_cast<int>(m.classes.size() - 1);
        }
    }
    if (found < 0)
        return -1;
    MergeClass &entry = ClassAt(found);
    if (!entry.seen) {
        entry.seen = true;
        entry.length = std::strlen(class_name);
        std::memcpy(entry.name, class_name, entry.length + 1);
    }
    m.last_class = found;
    return found;
}

/* SwitchClass
 *     The text read from now on goes to class k (-1: none); each class keeps its own open tags. */
void SwitchClass(int k)
{
    Merge &m = merge;
    // Mostly no class has a tag open: then there is nothing to keep aside.
    if (m.styles && m.current >= 0 && (styles_written || ClassAt(m.current).written.count > 0))
        SaveWrittenStyles(&ClassAt(m.current).written);
    m.current = k;
    if (m.styles && k >= 0 && (styles_written || ClassAt(k).written.count > 0))
        RestoreWrittenStyles(ClassAt(k).written);
    m.paragraph_started = false;
    m.line_ended = false;
}

/* PutClassText
 *     Text of the subtitle in the class read now, after what goes before it. */
void PutClassText(const unsigned char *bytes, std::size_t count, bool blank_before)
{
    Merge &m = merge;
    if (!m.in_subtitle || m.current < 0)
        return;
    MergeClass &entry = ClassAt(m.current);
    const char *separator = NO_SEPARATOR;
    if (!m.paragraph_started) {
        m.paragraph_started = true;
        m.line_ended = false;
        if (entry.in_subtitle_text)
            separator = LINE_SEPARATOR;
        else
            m.touched.push_back(m.current);
        entry.in_subtitle_text = true;
    } else if (m.line_ended) {
        m.line_ended = false;
        separator = LINE_SEPARATOR;
    } else if (blank_before) {
        separator = BLANK_SEPARATOR;
    }
    std::size_t separator_length = separator[0] != '\0' ? 1 : 0;
    entry.cue_text += separator_length + count;
    if (entry.cue_text > CUE_TEXT_LIMIT) {
        Fail(CueFailure::CueTooLong);
        return;
    }
    if (m.surveying)
        return;
    std::size_t room = m.writer != nullptr ? m.writer->text_room : 1;
    unsigned char *out = entry.text.Room(STYLE_ROOM + SEPARATOR_ROOM + room * count + TEXT_SLACK);
    if (m.styles && styles_changed) {
        out = PutStylesBeforeText(out, separator, separator_length);
    } else {
        std::memcpy(out, separator, SEPARATOR_ROOM);
        out += separator_length;
    }
    if (m.writer == nullptr || room == 1)
        out = CopyChunks(out, bytes, count);
    else
        out = m.writer->put_text(out, bytes, count);
    entry.text.length = static_cast<std::size_t>(out - entry.text.bytes.data());
}

void BreakClassLine()
{
    merge.line_ended = merge.paragraph_started;
}

void MarkClassParagraph(const char *class_name, bool)
{
    Merge &m = merge;
    if (styles_open)
        ForgetStyleTags();
    if (!m.in_subtitle)
        return;
    int k = m.listed ? -1 : 0;
    if (class_name != nullptr) {
        m.has_paragraph = true;
        int found = FindClass(class_name);
        if (found >= 0)
            ClassAt(found).has_paragraph = true;
        if (class_name[0] != '\0' || !m.listed)
            k = found;
    }
    SwitchClass(k);
}

/* MarkClassStyle
 *     A style tag of the class's text; an opening font tag's colour is read from its color
 *     value, which the filter has just read. */
void MarkClassStyle(StyleTag tag, bool closing)
{
    if (merge.in_subtitle && merge.styles)
        TakeStyleTag(tag, closing, ColourOfStyleTag(tag, closing));
}

/* WriteText
 *     A class's text as the format joins lines: as they are, or with each '\n' as with. */
void WriteText(const ByteBuffer &text, std::size_t at, std::size_t length, const char *with)
{
    const unsigned char *bytes = text.bytes.data() + at;
    if (with == nullptr) {
        WriteBytes(bytes, length);
        return;
    }
    std::size_t with_length = std::strlen(with);
    const unsigned char *end = bytes + length;
    while (bytes < end) {
        const auto *line = static_cast<const unsigned char *>(
            std::memchr(bytes, '\n', static_cast<std::size_t>(end - bytes)));
        const unsigned char *stop = line != nullptr ? line : end;
        WriteBytes(bytes, static_cast<std::size_t>(stop - bytes));
        if (line == nullptr)
            break;
        WriteBytes(reinterpret_cast<const unsigned char *>(with), with_length);
        bytes = line + 1;
    }
}

void WriteString(const char *text)
{
    WriteBytes(reinterpret_cast<const unsigned char *>(text), std::strlen(text));
}

void WriteNumber(std::uint64_t value)
{
    unsigned char digits[NUMBER_SIZE];
    WriteBytes(digits, PutNumber(value, digits));
}

/* WriteClassName
 *     A class's name as a JSON string's content or a TSV field. */
void WriteClassName(const MergeClass &entry, bool json)
{
    for (std::size_t k = 0; k < entry.length; k++) {
        auto c = static_cast<unsigned char>(entry.name[k]);
        if (!json) {
            WriteByte(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
        } else if (c == '"' || c == '\\') {
            WriteByte('\\');
            WriteByte(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            WriteString(escaped);
        } else {
            WriteByte(c);
        }
    }
}

/* WriteStamp
 *     Sync Save's stamp of ms: whole hours, minutes and seconds, «HH :MM :SS  ». */
void WriteStamp(std::uint32_t ms)
{
    std::uint32_t seconds = ms / 1000u;
    std::uint32_t hours = seconds / 3600u;
    std::uint32_t rest = seconds - hours * 3600u;
    char stamp[32];
    int length =
        std::snprintf(stamp, sizeof stamp, "%02u :%02u :%02u  ", hours, rest / 60u, rest % 60u);
    WriteBytes(reinterpret_cast<const unsigned char *>(stamp), static_cast<std::size_t>(length));
}

/* WriteClassBlock
 *     The members of class k, in time order, joined by join; each member's line breaks as
 *     lines says (null: as they are). */
void WriteClassBlock(int k, const char *join, const char *lines)
{
    Merge &m = merge;
    bool first = true;
    for (std::size_t id : m.members) {
        const ClassCue &cue = CueOf(id);
        if (cue.klass != k)
            continue;
        if (!first)
            WriteString(join);
        first = false;
        WriteText(m.texts, cue.text_at - m.texts_base, cue.text_length, lines);
    }
}

/* WriteMerged
 *     Writes the merged cue built, cut at next_start when a merged cue follows. */
void WriteMerged(std::uint32_t next_start, bool has_next)
{
    Merge &m = merge;
    std::uint64_t end = m.merged_end;
    if (has_next && next_start < end)
        end = next_start;
    // The classes present, in class order.
    std::vector<int> &present = m.present;
    present.clear();
    for (std::size_t id : m.members)
        present.push_back(CueOf(id).klass);
    std::sort(present.begin(), present.end());
    present.erase(std::unique(present.begin(), present.end()), present.end());
    unsigned char time[CUE_TIME_SIZE];
    switch (m.format) {
    case CueFormat::Srt:
    case CueFormat::Vtt: {
        char separator = m.format == CueFormat::Srt ? ',' : '.';
        if (m.format == CueFormat::Srt) {
            WriteNumber(++m.number);
            WriteByte('\n');
        }
        WriteBytes(time, PutCueTime(m.merged_start, separator, time));
        WriteString(" --> ");
        WriteBytes(time, PutCueTime(end, separator, time));
        WriteByte('\n');
        for (std::size_t k = 0; k < present.size(); k++) {
            if (k > 0)
                WriteByte('\n');
            WriteClassBlock(present[k], "\n", nullptr);
        }
        WriteString("\n\n");
        break;
    }
    case CueFormat::Json:
        WriteString("{\"start\":");
        WriteNumber(m.merged_start);
        WriteString(",\"end\":");
        WriteNumber(end);
        WriteString(",\"text\":{");
        for (std::size_t k = 0; k < present.size(); k++) {
            WriteString(k > 0 ? ",\"" : "\"");
            WriteClassName(ClassAt(present[k]), true);
            WriteString("\":\"");
            WriteClassBlock(present[k], "\\n", "\\n");
            WriteByte('"');
        }
        WriteString("}}\n");
        break;
    case CueFormat::Tsv:
        WriteNumber(m.merged_start);
        WriteByte('\t');
        WriteNumber(end);
        for (int k : m.columns) {
            WriteByte('\t');
            WriteClassBlock(k, " ", " ");
        }
        WriteByte('\n');
        break;
    default:
        for (int k : present) {
            WriteStamp(m.merged_start);
            WriteClassBlock(k, " ", " ");
            WriteByte('\n');
        }
        break;
    }
}

/* Joins
 *     Whether cue joins the merged cue being built. */
bool Joins(const ClassCue &cue)
{
    for (std::size_t id : merge.members) {
        const ClassCue &member = CueOf(id);
        if (member.start == cue.start)
            return true;
        if (member.klass == cue.klass)
            continue;
        std::uint64_t from = std::max(member.start, cue.start);
        std::uint64_t to = std::min(member.end, cue.end);
        std::uint64_t overlap = to > from ? to - from : 0;
        std::uint64_t shorter = std::min(member.end - member.start, cue.end - cue.start);
        if (2 * overlap >= shorter)
            return true;
    }
    return false;
}

/* TakeCue
 *     The next class cue in order of starts joins the merged cue or begins the next one. */
void TakeCue(std::size_t id)
{
    Merge &m = merge;
    const ClassCue &cue = CueOf(id);
    if (!m.members.empty() && !Joins(cue)) {
        WriteMerged(cue.start, true);
        m.members.clear();
    }
    if (m.members.empty()) {
        m.merged_start = cue.start;
        m.merged_end = cue.end;
        m.merged_text = 0;
    }
    m.members.push_back(id);
    m.merged_end = std::max(m.merged_end, cue.end);
    m.merged_text += cue.text_length + 1;
    if (m.merged_text > CUE_TEXT_LIMIT)
        Fail(CueFailure::CueTooLong);
}

/* DropMerged
 *     Forgets the class cues that are merged and written, and their text. */
void DropMerged()
{
    Merge &m = merge;
    if (!m.streaming)
        return; // held cues are put in order at the end, their text left where it was
    std::size_t keep_from = m.members.empty() ? m.next : m.members.front();
    std::size_t count = keep_from - m.cues_base;
    if (count < 1024 || count * 2 < m.cues.size())
        return;
    std::size_t text_from =
        count < m.cues.size() ? m.cues[count].text_at : m.texts_base + m.texts.length;
    m.cues.erase(m.cues.begin(), m.cues.begin() + static_cast<std::ptrdiff_t>(count));
    m.cues_base = keep_from;
    std::size_t dropped = text_from - m.texts_base;
    std::memmove(m.texts.bytes.data(), m.texts.bytes.data() + dropped, m.texts.length - dropped);
    m.texts.length -= dropped;
    m.texts_base = text_from;
}

/* MergeEnded
 *     Merges the class cues, in file order, as far as their ends are known. */
void MergeEnded()
{
    Merge &m = merge;
    while (m.failure == CueFailure::None && m.next < m.cues_base + m.cues.size() &&
           CueOf(m.next).ended)
        TakeCue(m.next++);
    if (m.failure == CueFailure::None)
        DropMerged();
}

std::size_t HeldMemory()
{
    return merge.texts.length + merge.cues.size() * sizeof(ClassCue);
}

/* EndClassCues
 *     The open cues of class k end at start, or last CUE_LAST_DURATION when it is not later. */
void EndClassCues(MergeClass &entry, std::uint64_t start, bool has_next)
{
    for (std::size_t id : entry.open) {
        ClassCue &cue = CueOf(id);
        cue.end =
            has_next && start > cue.start ? start : std::uint64_t{cue.start} + CUE_LAST_DURATION;
        cue.ended = true;
    }
    entry.open.clear();
}

/* EndSubtitle
 *     The subtitle read is done: each class whose ends it counts for ends its open cues, and
 *     each class with text in it has a cue of its own, open now. */
void EndSubtitle()
{
    Merge &m = merge;
    m.in_subtitle = false;
    if (m.styles && m.current >= 0)
        SaveWrittenStyles(&ClassAt(m.current).written);
    for (std::size_t k = 0; k < m.classes.size(); k++) {
        MergeClass &entry = m.classes[k];
        bool counts = (k == 0 && !m.listed) || entry.has_paragraph || !m.has_paragraph;
        entry.has_paragraph = false;
        if (!counts)
            continue;
        if (!entry.open.empty() && entry.any_counted && m.start != entry.open_start)
            EndClassCues(entry, m.start, true);
        entry.any_counted = true;
        entry.open_start = m.start;
    }
    for (int k : m.touched) {
        MergeClass &entry = ClassAt(k);
        entry.in_subtitle_text = false;
        entry.cue_text = 0;
        entry.has_text = true;
        if (m.surveying)
            continue;
        if (m.styles) {
            if (entry.written.count > 0) {
                RestoreWrittenStyles(entry.written);
                unsigned char *out = entry.text.Room(STYLE_ROOM);
                entry.text.length += static_cast<std::size_t>(PutClosingStyles(out) - out);
                entry.written.count = 0;
            }
        }
        if (m.any_cue && m.start < m.latest_start) {
            if (m.streaming) {
                Fail(CueFailure::StartsWentBack);
                return;
            }
            m.went_back = true;
        }
        m.any_cue = true;
        m.latest_start = std::max(m.latest_start, m.start);
        entry.open.push_back(m.cues_base + m.cues.size());
        m.cues.push_back(
            ClassCue{m.start, 0, false, k, m.texts_base + m.texts.length, entry.text.length});
        m.texts.Append(entry.text.bytes.data(), entry.text.length);
        entry.text.length = 0;
    }
    m.touched.clear();
    if (m.surveying)
        return;
    if (!m.streaming && !m.went_back && !conversion_state.options.holds_every_cue &&
        HeldMemory() > CUE_WINDOW)
        m.streaming = true;
    if (m.streaming)
        MergeEnded();
    else if (HeldMemory() > HELD_CUES_LIMIT)
        Fail(CueFailure::TooManyHeld);
}

void StartClassSubtitle()
{
    Merge &m = merge;
    if (m.in_subtitle)
        EndSubtitle();
    if (m.failure != CueFailure::None)
        return;
    m.in_subtitle = true;
    m.start = ReadStartTime();
    m.has_paragraph = false;
    m.current = m.listed ? -1 : 0;
    m.paragraph_started = false;
    m.line_ended = false;
    if (styles_open)
        ForgetStyleTags();
    if (m.styles && styles_written)
        RestoreWrittenStyles(WrittenStyles{}); // the last subtitle closed every class's tags
}

/* WriteTsvHead
 *     The header of merged TSV: a column for each class the reading before found, in order. */
void WriteTsvHead()
{
    Merge &m = merge;
    WriteString("start\tend");
    m.columns.clear();
    for (std::size_t k = 0; k < survey.classes.size(); k++) {
        const MergeClass &entry = survey.classes[k];
        bool column = m.listed || (k == 0 ? survey.no_class_text : entry.seen);
        if (!column)
            continue;
        m.columns.push_back(static_cast<int>(k));
        WriteByte('\t');
        WriteClassName(entry, false);
    }
    WriteByte('\n');
}

void StartMerge(bool surveying)
{
    Merge &m = merge;
    const ConversionState::Options &options = conversion_state.options;
    m.format = options.cue_format;
    switch (m.format) {
    case CueFormat::Srt: m.writer = &SRT_WRITER; break;
    case CueFormat::Vtt: m.writer = &VTT_WRITER; break;
    case CueFormat::Tsv: m.writer = &TSV_WRITER; break;
    case CueFormat::Json: m.writer = &JSON_WRITER; break;
    default: m.writer = nullptr; break;
    }
    m.styles = m.writer != nullptr && m.writer->styles && !options.drops_styles && !surveying;
    m.surveying = surveying;
    (surveying ? survey_listener : merge_listener).reads_styles = m.styles;
    m.listed = options.chosen_class[0] != '\0';
    m.classes.assign(1, MergeClass{});
    if (m.listed) {
        std::size_t names = 1 + static_cast<std::size_t>(std::count(
                                    options.chosen_class,
                                    options.chosen_class + std::strlen(options.chosen_class), ','));
        m.classes.assign(names, MergeClass{});
    }
    m.last_class = -1;
    m.failure = CueFailure::None;
    m.in_subtitle = false;
    m.current = -1;
    m.touched.clear();
    m.cues.clear();
    m.cues_base = 0;
    m.next = 0;
    m.texts.length = 0;
    m.texts_base = 0;
    m.went_back = false;
    m.streaming = false;
    m.latest_start = 0;
    m.any_cue = false;
    m.members.clear();
    m.number = 0;
    SetCueFailure(CueFailure::None);
    StartStyles(m.writer != nullptr && m.writer->colours);
    if (surveying)
        return;
    if (m.format == CueFormat::Vtt)
        WriteString("WEBVTT\n\n");
    if (m.format == CueFormat::Tsv) {
        if (!survey.valid) {
            Fail(CueFailure::ClassesFirst);
            return;
        }
        WriteTsvHead();
    }
}

void StartMerging()
{
    StartMerge(false);
}

void StartSurvey()
{
    StartMerge(true);
}

/* FinishMerge
 *     The end of the input: the last cues end, everything held is put in order and merged. */
bool FinishMerge()
{
    Merge &m = merge;
    if (m.failure == CueFailure::None && m.in_subtitle)
        EndSubtitle();
    if (m.failure == CueFailure::None && m.surveying) {
        survey.valid = true;
        survey.no_class_text = !m.listed && m.classes[0].has_text;
        survey.classes = m.classes;
    } else if (m.failure == CueFailure::None) {
        survey.valid = false;
        for (MergeClass &entry : m.classes)
            EndClassCues(entry, 0, false);
        if (!m.streaming)
            std::stable_sort(m.cues.begin(), m.cues.end(),
                             [](const ClassCue &a, const ClassCue &b) {
                                 return a.start != b.start ? a.start < b.start : a.klass < b.klass;
                             });
        MergeEnded();
        if (m.failure == CueFailure::None && !m.members.empty())
            WriteMerged(0, false);
    }
    SetCueFailure(m.failure);
    m.cues = std::vector<ClassCue>();
    m.texts = ByteBuffer{};
    for (MergeClass &entry : m.classes) {
        entry.text = ByteBuffer{};
        entry.open = std::vector<std::size_t>();
    }
    return m.failure == CueFailure::None;
}

// The merge's events for the walk over a subtitle's text, without a call a piece.
struct MergeEvents {
    void put_text(const unsigned char *bytes, std::size_t count, bool blank_before) const
    {
        PutClassText(bytes, count, blank_before);
    }
    void put_entity_text(bool blank_before) const
    {
        const ConversionState::Text &text = conversion_state.text;
        PutClassText(text.entity_text, static_cast<std::size_t>(text.entity_length), blank_before);
    }
    void start_subtitle() const
    {
        StartClassSubtitle();
    }
    void break_line() const
    {
        BreakClassLine();
    }
    void mark_paragraph(const char *class_name, bool of_chosen_class) const
    {
        MarkClassParagraph(class_name, of_chosen_class);
    }
    void mark_style(StyleTag tag, bool closing) const
    {
        MarkClassStyle(tag, closing);
    }
    void start_block() const
    {
    }
    void hand_back() const
    {
    }
    static constexpr bool STYLES = true; // as the listener asks
};

const unsigned char *WalkMergeText(const unsigned char *start, const unsigned char *end)
{
    return WalkSubtitleEvents(start, end, MergeEvents{});
}

SubtitleListener merge_listener = {
    StartMerging,       true,           false,
    StartClassSubtitle, PutClassText,   BreakClassLine,
    MarkClassParagraph, MarkClassStyle, FinishMerge,
    WalkMergeText,
};

SubtitleListener survey_listener = {
    StartSurvey,        true,           false,
    StartClassSubtitle, PutClassText,   BreakClassLine,
    MarkClassParagraph, MarkClassStyle, FinishMerge,
    WalkMergeText,
};

} // namespace

const SubtitleListener *MergeListener()
{
    merge_listener.reads_styles = conversion_state.options.cue_format != CueFormat::None &&
                                  conversion_state.options.cue_format != CueFormat::Tsv &&
                                  conversion_state.options.cue_format != CueFormat::Json &&
                                  !conversion_state.options.drops_styles;
    return &merge_listener;
}

const SubtitleListener *MergeClassesListener()
{
    return &survey_listener;
}

bool MergeNeedsClassesFirst()
{
    return conversion_state.options.cue_format == CueFormat::Tsv;
}
