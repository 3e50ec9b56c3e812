// SubRip: cues numbered from 1, «HH:MM:SS,mmm --> HH:MM:SS,mmm», the cue's lines, an empty
// line; <i>, <b>, <u> and <font color="#rrggbb"> as players read them.
#include "cue_writer.h"

#include "write_buffer.h"

namespace
{

void PutNoFileHead()
{
}

unsigned char *PutSrtText(unsigned char *out, const unsigned char *bytes, std::size_t count)
{
    return CopyChunks(out, bytes, count);
}

} // namespace

const char SRT_LINE_SEPARATOR[SEPARATOR_ROOM + 1] = "\n";
const char SRT_UNIT_END[UNIT_END_ROOM] = "\n\n";

const CueWriter SRT_WRITER = {
    false,        true, true, true,       PutNoFileHead,      2 * CUE_TIME_SIZE + 8,
    nullptr,      ',',  1,    PutSrtText, SRT_LINE_SEPARATOR, 1,
    SRT_UNIT_END, 2,
};
