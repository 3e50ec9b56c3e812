// TSV: a header, then a row per paragraph that holds text: start and end in ms, the class, the
// paragraph's lines joined by one blank.
#include "cue_writer.h"

#include "write_buffer.h"

namespace
{

/* PutTsvField
 *     bytes with every tab and line end written as a blank: they would end the field or row. */
unsigned char *PutTsvField(unsigned char *out, const unsigned char *bytes, std::size_t length)
{
    for (std::size_t k = 0; k < length; k++) {
        unsigned char c = bytes[k];
        *out++ = c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
    }
    return out;
}

void PutTsvFileHead()
{
    WriteBytes(reinterpret_cast<const unsigned char *>("start\tend\tclass\ttext\n"), 21);
}

unsigned char *PutTsvHead(unsigned char *out, std::uint32_t start, const char *class_name,
                          std::size_t class_length, unsigned char **end_at, std::size_t *end_length)
{
    std::size_t length = PutNumber(start, out);
    out[length] = '\t';
    *end_at = out + length + 1;
    *end_length = length;
    out = *end_at + length;
    *out++ = '\t';
    out = PutTsvField(out, reinterpret_cast<const unsigned char *>(class_name), class_length);
    *out++ = '\t';
    return out;
}

} // namespace

const char TSV_LINE_SEPARATOR[SEPARATOR_ROOM + 1] = " ";
const char TSV_UNIT_END[UNIT_END_ROOM] = "\n";

const CueWriter TSV_WRITER = {
    true,
    false,
    false,
    false,
    PutTsvFileHead,
    2 * NUMBER_SIZE + CLASS_NAME_SIZE + 3,
    PutTsvHead,
    0,
    1,
    PutTsvField,
    TSV_LINE_SEPARATOR,
    1,
    TSV_UNIT_END,
    1,
};
