// SubRip: cues numbered from 1, «HH:MM:SS,mmm --> HH:MM:SS,mmm», the cue's lines, an empty
// line; <i>, <b>, <u> and <font color="#rrggbb"> as players read them.
#include "cue_writer.h"

#include "write_buffer.h"

namespace
{

void PutNoFileHead()
{
}

unsigned char *PutSrtHead(unsigned char *out, std::uint32_t start, const char *, std::size_t,
                          unsigned char **end_at, std::size_t *end_length)
{
    std::size_t length = PutCueTime(start, ',', out);
    std::memcpy(out + length, " --> ", 5);
    *end_at = out + length + 5;
    *end_length = length;
    (*end_at)[length] = '\n';
    return *end_at + length + 1;
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
    PutSrtHead,   ',',  1,    PutSrtText, SRT_LINE_SEPARATOR, 1,
    SRT_UNIT_END, 2,
};
