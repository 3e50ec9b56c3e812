// What every decoder holds to, whatever converts and guesses behind it: ASCII read as ASCII,
// which the filter copies itself, and the guess's answer read as browsers read it.
#include "text_decoder.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

/* DecoderKeepsAscii
 *     Whether the ASCII bytes convert to themselves: the reader copies ASCII without the
 *     converter, which rules out UTF-16, UTF-32 and the encodings that shift with escapes.
 *     Japanese encodings may give 0x5C and 0x7E the yen sign and the overline; browsers read
 *     them as ASCII, so each need only be one character. */
bool DecoderKeepsAscii()
{
    unsigned char ascii[127];
    unsigned char out[4 * sizeof ascii];
    std::size_t count = 0;
    for (int c = 1; c < 128; c++)
        if (c != 0x5C && c != 0x7E)
            ascii[count++] = static_cast<unsigned char>(c);
    std::size_t used = 0;
    std::size_t written = 0;
    if (DecodeText(ascii, count, out, sizeof out, &used, &written) != DecodeStop::Done ||
        used != count || written != count || std::memcmp(ascii, out, count) != 0)
        return false;
    static const unsigned char JAPANESE_VARIANTS[] = {0x5C, 0x7E};
    for (const unsigned char &c : JAPANESE_VARIANTS)
        if (DecodeText(&c, 1, out, sizeof out, &used, &written) != DecodeStop::Done || used != 1 ||
            written == 0)
            return false;
    // An escape that shifts to two-byte characters, as ISO-2022-JP has, must stay ASCII too.
    static const unsigned char SHIFTS[] = {0x1B, '$', 'B', '0', '!', 0x1B, '(', 'B'};
    return DecodeText(SHIFTS, sizeof SHIFTS, out, sizeof out, &used, &written) ==
               DecodeStop::Done &&
           written == sizeof SHIFTS && std::memcmp(SHIFTS, out, sizeof SHIFTS) == 0;
}

void FindLeadBytes(bool *lead_bytes)
{
    // A byte that alone is an incomplete character leads a longer one.
    for (int byte = 0; byte < 256; byte++) {
        unsigned char in = static_cast<unsigned char>(byte);
        unsigned char out[8];
        std::size_t used = 0;
        std::size_t written = 0;
        lead_bytes[byte] =
            byte >= 0x80 && DecodeText(&in, 1, out, sizeof out, &used, &written) == DecodeStop::Cut;
    }
}

void NameGuessedEncoding(const char *answer, bool known, char *name)
{
    static const char *const KOREAN[] = {"UHC", "EUC-KR", "CP949"};
    static const char *const WESTERN[] = {"ASCII", "ISO-8859-1", "WINDOWS-1252"};
    std::snprintf(name, ENCODING_NAME_SIZE, "%s", known ? answer : "WINDOWS-1252");
    for (const char *korean : KOREAN)
        if (strcasecmp(answer, korean) == 0)
            std::snprintf(name, ENCODING_NAME_SIZE, "%s", "CP949");
    for (const char *western : WESTERN)
        if (strcasecmp(answer, western) == 0)
            std::snprintf(name, ENCODING_NAME_SIZE, "%s", "WINDOWS-1252");
}
