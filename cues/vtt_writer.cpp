// WebVTT: «WEBVTT» and an empty line, then per cue «HH:MM:SS.mmm --> HH:MM:SS.mmm», its lines
// and an empty line; '&', '<' and '>' in the text are written as character references, and
// the cue tags <i>, <b> and <u> keep their styles.
#include "cue_writer.h"

#include "write_buffer.h"

namespace
{

// Whether one of the eight bytes of word is '&', '<' or '>'.
bool NeedsReference(std::uint64_t word)
{
    return HasByte(word, '&') || HasByte(word, '<') || HasByte(word, '>');
}

void PutVttFileHead()
{
    WriteBytes(reinterpret_cast<const unsigned char *>("WEBVTT\n\n"), 8);
}

unsigned char *PutVttHead(unsigned char *out, std::uint32_t start, const char *, std::size_t,
                          unsigned char **end_at, std::size_t *end_length)
{
    std::size_t length = PutCueTime(start, '.', out);
    std::memcpy(out + length, " --> ", 5);
    *end_at = out + length + 5;
    *end_length = length;
    (*end_at)[length] = '\n';
    return *end_at + length + 1;
}

/* PutVttText
 *     The text with '&', '<' and '>' escaped. */
unsigned char *PutVttText(unsigned char *out, const unsigned char *text, std::size_t length)
{
    const unsigned char *end = text + length;
    while (text < end) {
        const unsigned char *run = text;
        while (end - text >= 8 && !NeedsReference(LoadEightBytes(text)))
            text += 8;
        while (text < end && *text != '&' && *text != '<' && *text != '>')
            text++;
        std::memcpy(out, run, static_cast<std::size_t>(text - run));
        out += text - run;
        if (text == end)
            break;
        if (*text == '&')
            out = PutBytes(out, "&amp;", 5);
        else
            out = PutBytes(out, *text == '<' ? "&lt;" : "&gt;", 4);
        text++;
    }
    return out;
}

} // namespace

const char VTT_LINE_SEPARATOR[SEPARATOR_ROOM + 1] = "\n";
const char VTT_UNIT_END[UNIT_END_ROOM] = "\n\n";

const CueWriter VTT_WRITER = {
    false,        true, false, false,      PutVttFileHead,     2 * CUE_TIME_SIZE + 8,
    PutVttHead,   '.',  5,     PutVttText, VTT_LINE_SEPARATOR, 1,
    VTT_UNIT_END, 2,
};
