// The decoder in the WebAssembly build: the C library's iconv (musl's) converts; a single-byte
// encoding it lacks (Mac Cyrillic) is read from the JavaScript TextDecoder, a byte at a time,
// once; uchardet, built into the module, guesses.
#include "text_decoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <strings.h>
#include <uchardet.h>

namespace
{

const iconv_t NO_CONVERTER = reinterpret_cast<iconv_t>(-1);
constexpr std::size_t CODE_POINT_BLOCK_SIZE = 4096;
constexpr std::uint32_t NO_CHARACTER = 0xFFFFFFFF;

// The open decoder: an iconv converter, or else a table of the bytes from 0x80 on.
struct Decoder {
    iconv_t converter;
    bool uses_table;
    std::uint32_t table[128]; // code points, NO_CHARACTER where a byte is none
    bool reads_cp949;         // musl's CP949, whose rows past the last syllable need a check
    bool lead_bytes[256];
};
Decoder decoder = {NO_CONVERTER, false, {}, false, {}};
// iconv converts into code points (wchar_t is UCS-4 here too), written as UTF-8 here.
std::uint32_t code_point_block[CODE_POINT_BLOCK_SIZE];

// Names that musl's iconv, or TextDecoder, knows by another.
struct OtherName {
    const char *name;
    const char *other;
};
const OtherName MUSL_NAMES[] = {
    {"IBM437", "CP437"},
    {"IBM850", "CP850"},
    {"IBM866", "CP866"},
};
const OtherName DECODER_LABELS[] = {
    {"MAC-CYRILLIC", "x-mac-cyrillic"},
    {"MACCYRILLIC", "x-mac-cyrillic"},
};

/* OtherNameOf
 *     name as names gives it another, or name itself. */
template <std::size_t count>
const char *OtherNameOf(const char *name, const OtherName (&names)[count])
{
    for (const OtherName &known : names)
        if (strcasecmp(name, known.name) == 0)
            return known.other;
    return name;
}

} // namespace

// Fills table with the code points of the bytes 0x80 to 0xFF, as TextDecoder reads each alone
// (0xFFFFFFFF for none); 0 when it knows no such label, a byte leads a longer character, or an
// ASCII byte (but 0x5C and 0x7E) is not itself. In text_decoder_wasm.js.
extern "C" int velmora_read_single_byte_table(const char *label, std::uint32_t *table);

namespace
{

/* PutUtf8
 *     Writes the code point c as UTF-8 at out; returns the bytes written. */
std::size_t PutUtf8(std::uint32_t c, unsigned char *out)
{
    if (c < 0x80) {
        out[0] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

/* IsBeyondSyllables
 *     Whether c is what musl's CP949 gives for the rows after the last Hangul syllable, read
 *     on as though the syllables went on (Jamo Extended-B and surrogates): no character of
 *     CP949 lies from U+D7A4 to U+DFFF. */
bool IsBeyondSyllables(std::uint32_t c)
{
    return c >= 0xD7A4 && c <= 0xDFFF;
}

/* DecodeWithTable
 *     DecodeText for a single-byte encoding read from its table. */
DecodeStop DecodeWithTable(const unsigned char *bytes, std::size_t length, unsigned char *out,
                           std::size_t out_size, std::size_t *used, std::size_t *written)
{
    std::size_t k = 0;
    std::size_t w = 0;
    for (; k < length && out_size - w >= 4; k++) {
        std::uint32_t c = bytes[k] < 0x80 ? bytes[k] : decoder.table[bytes[k] - 0x80];
        if (c == NO_CHARACTER)
            break;
        w += PutUtf8(c, out + w);
    }
    *used = k;
    *written = w;
    return k < length && out_size - w >= 4 ? DecodeStop::Invalid : DecodeStop::Done;
}

/* BytesOfCodePoints
 *     How many of the length bytes at bytes the converter takes for their first count code
 *     points. */
std::size_t BytesOfCodePoints(char *bytes, std::size_t length, std::size_t count)
{
    iconv(decoder.converter, nullptr, nullptr, nullptr, nullptr);
    char *in = bytes;
    std::size_t in_left = length;
    char *to = reinterpret_cast<char *>(code_point_block);
    std::size_t to_left = count * sizeof code_point_block[0];
    iconv(decoder.converter, &in, &in_left, &to, &to_left); // stops when count are written
    return length - in_left;
}

/* KeepsAscii
 *     Whether the ASCII bytes convert to themselves: the reader copies ASCII without the
 *     converter, which rules out UTF-16, UTF-32 and the encodings that shift with escapes.
 *     Japanese encodings may give 0x5C and 0x7E the yen sign and the overline; browsers read
 *     them as ASCII, so each need only be one character. */
bool KeepsAscii()
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

/* ReadTable
 *     Reads into table the single-byte encoding name as TextDecoder reads it; false when it
 *     cannot. */
bool ReadTable(const char *name, std::uint32_t *table)
{
    return velmora_read_single_byte_table(OtherNameOf(name, DECODER_LABELS), table) != 0;
}

/* IsKnownEncoding
 *     Whether OpenTextDecoder can open name, without opening it. */
bool IsKnownEncoding(const char *name)
{
    iconv_t probe = iconv_open("WCHAR_T", OtherNameOf(name, MUSL_NAMES));
    if (probe != NO_CONVERTER) {
        iconv_close(probe);
        return true;
    }
    static std::uint32_t table[128];
    return ReadTable(name, table);
}

} // namespace

bool OpenTextDecoder(const char *name)
{
    CloseTextDecoder();
    decoder.converter = iconv_open("WCHAR_T", OtherNameOf(name, MUSL_NAMES));
    decoder.uses_table = decoder.converter == NO_CONVERTER && ReadTable(name, decoder.table);
    if (decoder.converter == NO_CONVERTER && !decoder.uses_table)
        return false;
    decoder.reads_cp949 = decoder.converter != NO_CONVERTER && strcasecmp(name, "CP949") == 0;
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
        decoder.lead_bytes[byte] =
            byte >= 0x80 && DecodeText(&in, 1, out, sizeof out, &used, &written) == DecodeStop::Cut;
    }
    return true;
}

void CloseTextDecoder()
{
    if (decoder.converter != NO_CONVERTER)
        iconv_close(decoder.converter);
    decoder.converter = NO_CONVERTER;
    decoder.uses_table = false;
    decoder.reads_cp949 = false;
}

DecodeStop DecodeText(const unsigned char *bytes, std::size_t length, unsigned char *out,
                      std::size_t out_size, std::size_t *used, std::size_t *written)
{
    if (decoder.uses_table)
        return DecodeWithTable(bytes, length, out, out_size, used, written);
    iconv(decoder.converter, nullptr, nullptr, nullptr, nullptr);
    char *in = const_cast<char *>(reinterpret_cast<const char *>(bytes));
    std::size_t in_left = length;
    *used = 0;
    *written = 0;
    for (;;) {
        // Four bytes of UTF-8 at most for each code point.
        std::size_t room = std::min(CODE_POINT_BLOCK_SIZE, (out_size - *written) / 4);
        if (room == 0)
            return DecodeStop::Done;
        char *block_start = in;
        std::size_t block_left = in_left;
        char *to = reinterpret_cast<char *>(code_point_block);
        std::size_t to_left = room * sizeof code_point_block[0];
        std::size_t result = iconv(decoder.converter, &in, &in_left, &to, &to_left);
        int error = errno;
        std::size_t count = room - to_left / sizeof code_point_block[0];
        std::size_t valid = count;
        if (decoder.reads_cp949)
            valid = static_cast<std::size_t>(
                std::find_if(code_point_block, code_point_block + count, IsBeyondSyllables) -
                code_point_block);
        for (std::size_t k = 0; k < valid; k++)
            *written += PutUtf8(code_point_block[k], out + *written);
        if (valid < count) {
            *used = length - block_left + BytesOfCodePoints(block_start, block_left, valid);
            return DecodeStop::Invalid;
        }
        *used = length - in_left;
        if (result != static_cast<std::size_t>(-1))
            return DecodeStop::Done;
        if (error == EILSEQ)
            return DecodeStop::Invalid;
        if (error == EINVAL)
            return DecodeStop::Cut;
        // E2BIG: the block is full; go on while out has room.
    }
}

bool IsLeadByte(unsigned char byte)
{
    return decoder.lead_bytes[byte];
}

/* GuessTextEncoding
 *     uchardet's answer, read as browsers read it: every name of Korean is CP949, ASCII and
 *     Latin-1 are Windows-1252, and so is no answer or one the decoder cannot open. */
void GuessTextEncoding(const unsigned char *bytes, std::size_t length, char *name)
{
    static const char *const KOREAN[] = {"UHC", "EUC-KR", "CP949"};
    static const char *const WESTERN[] = {"ASCII", "ISO-8859-1", "WINDOWS-1252"};
    std::snprintf(name, ENCODING_NAME_SIZE, "%s", "WINDOWS-1252");
    uchardet_t detector = uchardet_new();
    if (detector == nullptr)
        return;
    if (uchardet_handle_data(detector, reinterpret_cast<const char *>(bytes), length) == 0) {
        uchardet_data_end(detector);
        const char *answer = uchardet_get_charset(detector);
        if (answer[0] != '\0' && IsKnownEncoding(answer))
            std::snprintf(name, ENCODING_NAME_SIZE, "%s", answer);
        for (const char *korean : KOREAN)
            if (strcasecmp(answer, korean) == 0)
                std::snprintf(name, ENCODING_NAME_SIZE, "%s", "CP949");
        for (const char *western : WESTERN)
            if (strcasecmp(answer, western) == 0)
                std::snprintf(name, ENCODING_NAME_SIZE, "%s", "WINDOWS-1252");
    }
    uchardet_delete(detector);
}
