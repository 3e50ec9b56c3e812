// SubRip: cues numbered from 1, «HH:MM:SS,mmm --> HH:MM:SS,mmm», the cue's lines, an empty line.
#include "cue_writer.h"

#include "byte_io.h"

namespace
{

std::uint64_t srt_number; // of the last cue written

} // namespace

void WriteSrtHead()
{
    srt_number = 0;
}

void WriteSrtCue(const Cue &cue, const unsigned char *paragraphs)
{
    unsigned char head[NUMBER_SIZE + 2 * CUE_TIME_SIZE + 8];
    std::size_t length = PutNumber(++srt_number, head);
    head[length++] = '\n';
    length += PutCueTimes(cue, ',', head + length);
    head[length++] = '\n';
    WriteBytes(head, length);
    const unsigned char *at = paragraphs;
    while (at < paragraphs + cue.length) {
        CueParagraph paragraph = ReadCueParagraph(&at);
        WriteBytes(paragraph.text, paragraph.text_length);
        WriteByte('\n');
    }
    WriteByte('\n');
}
