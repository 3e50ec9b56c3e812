// SubRip: cues numbered from 1, «HH:MM:SS,mmm --> HH:MM:SS,mmm», the cue's lines, an empty line.
#include "cue_writer.h"

#include "cue_buffer.h"

#include "byte_io.h"
#include "conversion_state.h"

#include <cstring>

namespace
{

std::uint64_t srt_number; // of the last cue written

} // namespace

static_assert(CUE_TEXT_LIMIT <= WRITE_BUFFER_SIZE, "a cue's paragraph fits the write buffer");

void WriteSrtHead()
{
    srt_number = 0;
}

void WriteSrtCue(const Cue &cue, const unsigned char *paragraphs)
{
    unsigned char *out = MakeOutputRoom(write_buffer + conversion_state.writing.write_length,
                                        NUMBER_SIZE + 2 * CUE_TIME_SIZE + 8);
    out += PutNumber(++srt_number, out);
    *out++ = '\n';
    out += PutCueTimes(cue, ',', out);
    *out++ = '\n';
    // A paragraph's text is less than CUE_TEXT_LIMIT: with its line end and the cue's empty
    // line it fits the write buffer.
    const unsigned char *at = paragraphs;
    while (at < paragraphs + cue.length) {
        CueParagraph paragraph = ReadCueParagraph(&at);
        out = MakeOutputRoom(out, paragraph.text_length + 2);
        std::memcpy(out, paragraph.text, paragraph.text_length);
        out += paragraph.text_length;
        *out++ = '\n';
    }
    *out++ = '\n';
    EndOutputAt(out);
}
