// The decoder in the WebAssembly build: the C library's iconv (musl's) converts; a single-byte
// encoding it lacks (Mac Cyrillic) is read from the JavaScript TextDecoder, a byte at a time,
// once; uchardet, built into the module, guesses.
#include "text_decoder.h"
#include "utf8.h"

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
    if (!DecoderKeepsAscii()) {
        CloseTextDecoder();
        return false;
    }
    FindLeadBytes(decoder.lead_bytes);
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
    std::snprintf(name, ENCODING_NAME_SIZE, "%s", "WINDOWS-1252");
    uchardet_t detector = uchardet_new();
    if (detector == nullptr)
        return;
    if (uchardet_handle_data(detector, reinterpret_cast<const char *>(bytes), length) == 0) {
        uchardet_data_end(detector);
        const char *answer = uchardet_get_charset(detector);
        NameGuessedEncoding(answer, answer[0] != '\0' && IsKnownEncoding(answer), name);
    }
    uchardet_delete(detector);
}
