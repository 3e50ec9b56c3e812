// What the timed formats share: the choice of writer, a paragraph read from its record, numbers
// and times.
#include "cue_writer.h"

#include "byte_io.h"
#include "conversion_state.h"

#include <cstring>

CueParagraph ReadCueParagraph(const unsigned char **at)
{
    CueParagraph paragraph;
    const unsigned char *p = *at;
    paragraph.class_length = *p++;
    paragraph.class_name = p;
    p += paragraph.class_length;
    std::uint32_t text_length;
    std::memcpy(&text_length, p, sizeof text_length);
    p += sizeof text_length;
    paragraph.text = p;
    paragraph.text_length = text_length;
    *at = p + text_length;
    return paragraph;
}

unsigned char *MakeOutputRoom(unsigned char *out, std::size_t count)
{
    ConversionState &state = conversion_state;
    state.writing.write_length = static_cast<std::size_t>(out - write_buffer);
    if (VELMORA_RARELY(count > WRITE_BUFFER_SIZE - state.writing.write_length))
        FlushWriteBuffer();
    return write_buffer + state.writing.write_length;
}

void EndOutputAt(unsigned char *out)
{
    ConversionState &state = conversion_state;
    state.writing.write_length = static_cast<std::size_t>(out - write_buffer);
    state.writing.mid_line = false;
}

void WriteCueHead()
{
    switch (conversion_state.options.cue_format) {
    case CueFormat::Srt: WriteSrtHead(); return;
    case CueFormat::Vtt: WriteVttHead(); return;
    case CueFormat::Tsv: WriteTsvHead(); return;
    default: return;
    }
}

void WriteCue(const Cue &cue, const unsigned char *paragraphs)
{
    switch (conversion_state.options.cue_format) {
    case CueFormat::Srt: WriteSrtCue(cue, paragraphs); return;
    case CueFormat::Vtt: WriteVttCue(cue, paragraphs); return;
    case CueFormat::Tsv: WriteTsvCue(cue, paragraphs); return;
    case CueFormat::Json: WriteJsonCue(cue, paragraphs); return;
    default: return;
    }
}

/* PutNumber
 *     Puts value in decimal at out; returns its length, at most 20. Two digits a step. */
std::size_t PutNumber(std::uint64_t value, unsigned char *out)
{
    unsigned char digits[NUMBER_SIZE];
    unsigned char *first = digits + sizeof digits;
    for (; value > 0xFFFFFFFFu; value /= 100u) {
        first -= 2;
        PutTwoDigits(static_cast<std::uint32_t>(value % 100u), first);
    }
    auto rest = static_cast<std::uint32_t>(value); // most numbers: cheaper divisions
    for (; rest >= 100; rest /= 100u) {
        first -= 2;
        PutTwoDigits(rest % 100u, first);
    }
    if (rest >= 10) {
        first -= 2;
        PutTwoDigits(rest, first);
    } else {
        *--first = static_cast<unsigned char>('0' + rest);
    }
    auto count = static_cast<std::size_t>(digits + sizeof digits - first);
    std::memcpy(out, first, count);
    return count;
}

/* PutCueTime
 *     Puts ms at out as «HH:MM:SS» (more hour digits from 100 hours on), separator and three
 *     digits of milliseconds; returns its length, at most CUE_TIME_SIZE. */
std::size_t PutCueTime(std::uint64_t ms, char separator, unsigned char *out)
{
    auto seconds = static_cast<std::uint32_t>(ms / 1000u); // below 2^32 + 4000 ms
    auto millis = static_cast<std::uint32_t>(ms - std::uint64_t{seconds} * 1000u);
    std::uint32_t hours = seconds / 3600u;
    std::uint32_t rest = seconds - hours * 3600u;
    std::uint32_t minutes = rest / 60u;
    rest -= minutes * 60u;
    std::size_t length = 0;
    if (hours >= 100) {
        length = PutNumber(hours / 100u, out);
        hours %= 100u;
    }
    out += length;
    PutTwoDigits(hours, out);
    out[2] = ':';
    PutTwoDigits(minutes, out + 3);
    out[5] = ':';
    PutTwoDigits(rest, out + 6);
    out[8] = static_cast<unsigned char>(separator);
    out[9] = static_cast<unsigned char>('0' + millis / 100u);
    PutTwoDigits(millis % 100u, out + 10);
    return length + 12;
}

/* PutCueTimes
 *     Puts «start --> end» at out; returns its length. */
std::size_t PutCueTimes(const Cue &cue, char separator, unsigned char *out)
{
    std::size_t length = PutCueTime(cue.start, separator, out);
    std::memcpy(out + length, " --> ", 5);
    length += 5;
    return length + PutCueTime(cue.end, separator, out + length);
}
