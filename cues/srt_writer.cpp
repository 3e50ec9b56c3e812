// SubRip: cues numbered from 1, «HH:MM:SS,mmm --> HH:MM:SS,mmm», the cue's lines, an empty line.
#include "cue_writer.h"

#include "cue_buffer.h"

#include "byte_io.h"
#include "conversion_state.h"

#include <cstring>

namespace
{

// The number of the last cue written, in decimal: its digits end the array. Counted up in
// place, a digit at a time, as cheaper than writing a number each cue.
unsigned char srt_number[NUMBER_SIZE];
std::size_t srt_number_length;

/* CountSrtCue
 *     Adds one to srt_number. */
void CountSrtCue()
{
    std::size_t first = NUMBER_SIZE - srt_number_length;
    std::size_t k = NUMBER_SIZE;
    while (k > first && srt_number[k - 1] == '9')
        srt_number[--k] = '0';
    if (k > first) {
        srt_number[k - 1]++;
        return;
    }
    srt_number[first - 1] = '1'; // all nines: one more digit
    srt_number_length++;
}

} // namespace

static_assert(CUE_TEXT_LIMIT <= WRITE_BUFFER_SIZE, "a cue's paragraph fits the write buffer");

void WriteSrtHead()
{
    srt_number[NUMBER_SIZE - 1] = '0';
    srt_number_length = 1;
}

void WriteSrtCue(const Cue &cue, const unsigned char *paragraphs)
{
    unsigned char *out = MakeOutputRoom(write_buffer + conversion_state.writing.write_length,
                                        NUMBER_SIZE + 2 * CUE_TIME_SIZE + 8);
    CountSrtCue();
    std::memcpy(out, srt_number + NUMBER_SIZE - srt_number_length, srt_number_length);
    out += srt_number_length;
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
