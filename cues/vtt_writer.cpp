// WebVTT: «WEBVTT» and an empty line, then per cue «HH:MM:SS.mmm --> HH:MM:SS.mmm», its lines
// and an empty line; '&', '<' and '>' in the text are written as character references.
#include "cue_writer.h"

#include "byte_io.h"

#include <cstring>

namespace
{

// Whether one of the eight bytes of word is '&', '<' or '>'.
bool NeedsReference(std::uint64_t word)
{
    return HasByte(word, '&') || HasByte(word, '<') || HasByte(word, '>');
}

/* WriteVttText
 *     The text with '&', '<' and '>' escaped; its '\n' between lines stay. */
void WriteVttText(const unsigned char *text, std::size_t length)
{
    const unsigned char *end = text + length;
    while (text < end) {
        const unsigned char *run = text;
        while (end - text >= 8 && !NeedsReference(LoadEightBytes(text)))
            text += 8;
        while (text < end && *text != '&' && *text != '<' && *text != '>')
            text++;
        WriteBytes(run, static_cast<std::size_t>(text - run));
        if (text == end)
            return;
        const char *escaped = *text == '&' ? "&amp;" : *text == '<' ? "&lt;" : "&gt;";
        WriteBytes(reinterpret_cast<const unsigned char *>(escaped), std::strlen(escaped));
        text++;
    }
}

} // namespace

void WriteVttHead()
{
    WriteBytes(reinterpret_cast<const unsigned char *>("WEBVTT\n\n"), 8);
}

void WriteVttCue(const Cue &cue, const unsigned char *paragraphs)
{
    unsigned char head[2 * CUE_TIME_SIZE + 8];
    std::size_t length = PutCueTimes(cue, '.', head);
    head[length++] = '\n';
    WriteBytes(head, length);
    const unsigned char *at = paragraphs;
    while (at < paragraphs + cue.length) {
        CueParagraph paragraph = ReadCueParagraph(&at);
        WriteVttText(paragraph.text, paragraph.text_length);
        WriteByte('\n');
    }
    WriteByte('\n');
}
