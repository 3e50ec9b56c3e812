// The decoder on Linux: iconv converts, uchardet guesses.
#include "text_decoder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <strings.h>
#include <uchardet.h>

namespace
{

const iconv_t NO_CONVERTER = reinterpret_cast<iconv_t>(-1);

iconv_t converter = NO_CONVERTER;
bool lead_bytes[256];

/* Convert
 *     One call of iconv over length bytes from a fresh state; the result, errno telling why
 *     it failed. */
std::size_t Convert(const unsigned char *bytes, std::size_t length, unsigned char *out,
                    std::size_t out_size, std::size_t *used, std::size_t *written)
{
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char *in = const_cast<char *>(reinterpret_cast<const char *>(bytes));
    char *to = reinterpret_cast<char *>(out);
    std::size_t in_left = length;
    std::size_t out_left = out_size;
    std::size_t result = iconv(converter, &in, &in_left, &to, &out_left);
    *used = length - in_left;
    *written = out_size - out_left;
    return result;
}

/* KeepsAscii
 *     Whether every ASCII byte converts to itself: the reader copies ASCII without the
 *     converter, which rules out UTF-16, UTF-32 and the encodings that shift with escapes. */
bool KeepsAscii()
{
    unsigned char ascii[127];
    unsigned char out[4 * sizeof ascii];
    for (int k = 0; k < 127; k++)
        ascii[k] = static_cast<unsigned char>(k + 1);
    std::size_t used = 0;
    std::size_t written = 0;
    std::size_t result = Convert(ascii, sizeof ascii, out, sizeof out, &used, &written);
    return result != static_cast<std::size_t>(-1) && written == sizeof ascii &&
           std::memcmp(ascii, out, sizeof ascii) == 0;
}

} // namespace

bool OpenTextDecoder(const char *name)
{
    CloseTextDecoder();
    converter = iconv_open("UTF-8", name);
    if (converter == NO_CONVERTER)
        return false;
    if (!KeepsAscii()) {
        CloseTextDecoder();
        return false;
    }
    // A byte that alone is an incomplete character leads a longer one.
    for (int byte = 0; byte < 256; byte++) {
        unsigned char in = static_cast<unsigned char>(byte);
        unsigned char out[8];
        std::size_t used = 0;
        std::size_t written = 0;
        lead_bytes[byte] =
            byte >= 0x80 &&
            Convert(&in, 1, out, sizeof out, &used, &written) == static_cast<std::size_t>(-1) &&
            errno == EINVAL;
    }
    return true;
}

void CloseTextDecoder()
{
    if (converter != NO_CONVERTER)
        iconv_close(converter);
    converter = NO_CONVERTER;
}

DecodeStop DecodeText(const unsigned char *bytes, std::size_t length, unsigned char *out,
                      std::size_t out_size, std::size_t *used, std::size_t *written)
{
    if (Convert(bytes, length, out, out_size, used, written) != static_cast<std::size_t>(-1))
        return DecodeStop::Done;
    if (errno == EILSEQ)
        return DecodeStop::Invalid;
    if (errno == EINVAL)
        return DecodeStop::Cut;
    return DecodeStop::Done; // E2BIG: out is full
}

bool IsLeadByte(unsigned char byte)
{
    return lead_bytes[byte];
}

/* GuessTextEncoding
 *     uchardet's answer, read as browsers read it: every name of Korean is CP949, ASCII and
 *     Latin-1 are Windows-1252, and so is no answer or one iconv cannot convert. */
void GuessTextEncoding(const unsigned char *bytes, std::size_t length, char *name)
{
    static const char *const KOREAN[] = {"UHC", "EUC-KR", "CP949"};
    static const char *const WESTERN[] = {"ASCII", "ISO-8859-1", "WINDOWS-1252"};
    uchardet_t detector = uchardet_new();
    std::snprintf(name, ENCODING_NAME_SIZE, "%s", "WINDOWS-1252");
    if (detector == nullptr)
        return;
    if (uchardet_handle_data(detector, reinterpret_cast<const char *>(bytes), length) == 0) {
        uchardet_data_end(detector);
        const char *answer = uchardet_get_charset(detector);
        iconv_t probe = answer[0] != '\0' ? iconv_open("UTF-8", answer) : NO_CONVERTER;
        if (probe != NO_CONVERTER) {
            iconv_close(probe);
            std::snprintf(name, ENCODING_NAME_SIZE, "%s", answer);
        }
        for (const char *korean : KOREAN)
            if (strcasecmp(answer, korean) == 0)
                std::snprintf(name, ENCODING_NAME_SIZE, "%s", "CP949");
        for (const char *western : WESTERN)
            if (strcasecmp(answer, western) == 0)
                std::snprintf(name, ENCODING_NAME_SIZE, "%s", "WINDOWS-1252");
    }
    uchardet_delete(detector);
}
