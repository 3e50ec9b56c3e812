// TSV: a header, then a row per paragraph that holds text: start and end in ms, the class, the
// paragraph's lines joined by one blank.
#include "cue_writer.h"

#include "byte_io.h"

namespace
{

/* WriteTsvField
 *     bytes with every tab and line end written as a blank: they would end the field or row. */
void WriteTsvField(const unsigned char *bytes, std::size_t length)
{
    for (std::size_t k = 0; k < length; k++) {
        unsigned char c = bytes[k];
        WriteByte(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
    }
}

} // namespace

void WriteTsvHead()
{
    WriteBytes(reinterpret_cast<const unsigned char *>("start\tend\tclass\ttext\n"), 21);
}

void WriteTsvCue(const Cue &cue, const unsigned char *paragraphs)
{
    // Each row opens with the cue's times.
    unsigned char times[2 * NUMBER_SIZE + 2];
    std::size_t length = PutNumber(cue.start, times);
    times[length++] = '\t';
    length += PutNumber(cue.end, times + length);
    times[length++] = '\t';
    const unsigned char *at = paragraphs;
    while (at < paragraphs + cue.length) {
        CueParagraph paragraph = ReadCueParagraph(&at);
        WriteBytes(times, length);
        WriteTsvField(paragraph.class_name, paragraph.class_length);
        WriteByte('\t');
        WriteTsvField(paragraph.text, paragraph.text_length);
        WriteByte('\n');
    }
}
