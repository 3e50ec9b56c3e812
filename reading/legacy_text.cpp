// Byte files read as Unicode: the bytes of a legacy encoding decoded into UTF-8 for the filter
// as they are read, and UTF-8 files checked, each invalid sequence read as one U+FFFD as
// browsers read it. ASCII is copied as it is; the decoder is asked about each other character
// once, and its answer kept.
#include "legacy_text.h"
#include "conversion_state.h"
#include "raw_input.h"
#include "text_decoder.h"
#include "write_buffer.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

DecodingReport decoding_report;

namespace
{

// Room for all that the probes of the first fills read, and a fill more.
constexpr std::size_t RAW_TEXT_SIZE = READ_BUFFER_SIZE + 64 * 1024;
const unsigned char REPLACEMENT_CHARACTER[] = {0xEF, 0xBF, 0xBD};

unsigned char raw_text[RAW_TEXT_SIZE + BUFFER_SLACK];

// What the decoder made of a character it was asked about, for the encoding named: its UTF-8
// and how many bytes that is, 0 for not asked yet. A file holds a few thousand distinct
// characters: each costs one call of the decoder.
struct alignas(4) KnownCharacter {
    unsigned char utf8[3];
    unsigned char length;
};
constexpr unsigned char NOT_VALID = 0xFF;
constexpr unsigned char ASK_DECODER = 0xFE; // longer than a pair, or more than one character
KnownCharacter single_characters[128];      // by byte, from 0x80
KnownCharacter pair_characters[128 * 256];  // by lead from 0x80, then the byte after it
bool leads_pair[256];                       // by byte: it leads a character of two or more
bool reads_cp949;                           // the table is CP949's, as browsers read it
char remembered_encoding[ENCODING_NAME_SIZE];

// What a name of an encoding stands for, as browsers read the names.
enum class EncodingKind { Legacy, Utf8, Utf16Le, Utf16Be };

struct EncodingAlias {
    const char *name;
    EncodingKind kind;
    const char *decoder_name;
};

const EncodingAlias ENCODING_ALIASES[] = {
    {"UTF-8", EncodingKind::Utf8, "UTF-8"},
    {"UTF8", EncodingKind::Utf8, "UTF-8"},
    {"65001", EncodingKind::Utf8, "UTF-8"},
    {"CP65001", EncodingKind::Utf8, "UTF-8"},
    {"UTF-16", EncodingKind::Utf16Le, "UTF-16"},
    {"UTF-16LE", EncodingKind::Utf16Le, "UTF-16"},
    {"UTF-16BE", EncodingKind::Utf16Be, "UTF-16"},
    // EUC-KR as browsers read it is the whole of CP949 (UHC).
    {"EUC-KR", EncodingKind::Legacy, "CP949"},
    {"EUCKR", EncodingKind::Legacy, "CP949"},
    {"UHC", EncodingKind::Legacy, "CP949"},
    {"KS_C_5601-1987", EncodingKind::Legacy, "CP949"},
    {"WINDOWS-949", EncodingKind::Legacy, "CP949"},
    {"949", EncodingKind::Legacy, "CP949"},
    // ASCII and Latin-1 as browsers read them are Windows-1252.
    {"ASCII", EncodingKind::Legacy, "WINDOWS-1252"},
    {"US-ASCII", EncodingKind::Legacy, "WINDOWS-1252"},
    {"ISO-8859-1", EncodingKind::Legacy, "WINDOWS-1252"},
    {"ISO8859-1", EncodingKind::Legacy, "WINDOWS-1252"},
    {"LATIN1", EncodingKind::Legacy, "WINDOWS-1252"},
    {"CP1252", EncodingKind::Legacy, "WINDOWS-1252"},
    {"1252", EncodingKind::Legacy, "WINDOWS-1252"},
};

/* ReadEncodingName
 *     What name stands for; decoder_name gets the name the decoder and the report use. */
EncodingKind ReadEncodingName(const char *name, char *decoder_name)
{
    char upper[ENCODING_NAME_SIZE] = {};
    for (std::size_t k = 0; name[k] != '\0' && k + 1 < sizeof upper; k++)
        upper[k] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[k])));
    for (const EncodingAlias &alias : ENCODING_ALIASES) {
        if (std::strcmp(upper, alias.name) == 0) {
            std::snprintf(decoder_name, ENCODING_NAME_SIZE, "%s", alias.decoder_name);
            return alias.kind;
        }
    }
    std::snprintf(decoder_name, ENCODING_NAME_SIZE, "%s", upper);
    return EncodingKind::Legacy;
}

/* PutReplacement
 *     Writes one U+FFFD for count invalid bytes. */
std::size_t PutReplacement(unsigned char *out, std::size_t count)
{
    decoding_report.invalid_bytes += static_cast<long long>(count);
    std::memcpy(out, REPLACEMENT_CHARACTER, sizeof REPLACEMENT_CHARACTER);
    return sizeof REPLACEMENT_CHARACTER;
}

/* CopyAscii
 *     Copies the ASCII bytes that start bytes to out; returns how many. */
std::size_t CopyAscii(const unsigned char *bytes, std::size_t length, unsigned char *out)
{
    std::size_t k = 0;
#if defined(VELMORA_SSE2_SCANS)
    for (; k + 16 <= length; k += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + k));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k), v); // what follows is written over
        int stops = _mm_movemask_epi8(v);
        if (stops != 0)
            return k + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(stops)));
    }
#endif
    while (k < length && bytes[k] < 0x80) {
        out[k] = bytes[k];
        k++;
    }
    return k;
}

/* ValidUtf8Length
 *     How many of the length bytes at bytes, from the first, are whole valid UTF-8 sequences:
 *     ASCII is looked at a block at a time, as most of a subtitle is ASCII. */
std::size_t ValidUtf8Length(const unsigned char *bytes, std::size_t length)
{
    std::size_t k = 0;
    for (;;) {
#if defined(VELMORA_SSE2_SCANS)
        for (; k + 64 <= length; k += 64) {
            auto *block = reinterpret_cast<const __m128i *>(bytes + k);
            __m128i any =
                _mm_or_si128(_mm_or_si128(_mm_loadu_si128(block), _mm_loadu_si128(block + 1)),
                             _mm_or_si128(_mm_loadu_si128(block + 2), _mm_loadu_si128(block + 3)));
            if (_mm_movemask_epi8(any) != 0)
                break;
        }
#endif
        for (; k + 8 <= length; k += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes + k, 8);
            if ((word & 0x8080808080808080ull) != 0)
                break;
        }
        while (k < length && bytes[k] < 0x80)
            k++;
        if (k == length)
            return k;
        std::size_t count = 0;
        if (ReadUtf8Sequence(bytes + k, length - k, &count) != SequenceRead::Valid)
            return k;
        k += count;
    }
}

/* DecodeUtf8Run
 *     Copies the run of UTF-8 sequences at bytes[*k] on, up to the next ASCII byte, each
 *     invalid one as U+FFFD. False when a sequence the end cuts waits for more bytes. */
bool DecodeUtf8Run(const unsigned char *bytes, std::size_t length, bool final, std::size_t *k,
                   unsigned char *out, std::size_t *w)
{
    while (*k < length && bytes[*k] >= 0x80) {
        std::size_t count = 0;
        SequenceRead read = ReadUtf8Sequence(bytes + *k, length - *k, &count);
        if (read == SequenceRead::Cut && !final)
            return false;
        if (read == SequenceRead::Valid) {
            std::memcpy(out + *w, bytes + *k, count);
            *w += count;
        } else {
            *w += PutReplacement(out + *w, count);
        }
        *k += count;
    }
    return true;
}

/* ReplaceInvalid
 *     What the byte at bytes[*k] that starts no valid character becomes: a C1 control for an
 *     unassigned byte of Windows-1252, else one U+FFFD for it and the byte after it unless
 *     that is ASCII or the byte leads no longer character. False when a lead waits for the
 *     byte after it. */
bool ReplaceInvalid(const unsigned char *bytes, std::size_t length, bool final, std::size_t *k,
                    unsigned char *out, std::size_t *w)
{
    unsigned char byte = bytes[*k];
    if (conversion_state.decoding.windows_1252 &&
        (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D)) {
        out[(*w)++] = 0xC2;
        out[(*w)++] = byte;
        (*k)++;
        return true;
    }
    bool lead = leads_pair[byte];
    if (lead && *k + 1 == length && !final)
        return false;
    std::size_t count = lead && *k + 1 < length && bytes[*k + 1] >= 0x80 ? 2 : 1;
    *w += PutReplacement(out + *w, count);
    *k += count;
    return true;
}

/* IsPrivateUse
 *     Whether the written bytes of UTF-8 are a character from U+E000 to U+F8FF. */
bool IsPrivateUse(const unsigned char *utf8, std::size_t written)
{
    return written == 3 && (utf8[0] == 0xEE || (utf8[0] == 0xEF && utf8[1] < 0xA4));
}

/* Remember
 *     Asks the decoder once what the count bytes of one character are, for the table. */
KnownCharacter Remember(const unsigned char *character, std::size_t count)
{
    unsigned char out[16];
    std::size_t used = 0;
    std::size_t written = 0;
    DecodeStop stop = DecodeText(character, count, out, sizeof out, &used, &written);
    KnownCharacter known{};
    if (stop == DecodeStop::Invalid && used == 0) {
        known.length = NOT_VALID;
    } else if (reads_cp949 && (count == 1 || IsPrivateUse(out, written))) {
        // Browsers' CP949 has no character of one byte above ASCII, nor the private use
        // characters Windows gives the rows of its own characters.
        known.length = NOT_VALID;
    } else if (stop != DecodeStop::Done || used != count || written == 0 || written > 3) {
        known.length = ASK_DECODER;
    } else {
        std::memcpy(known.utf8, out, written);
        known.length = static_cast<unsigned char>(written);
    }
    return known;
}

/* DecodeWithDecoder
 *     Hands the decoder the text from bytes[*k] to the next line end or '<' (no encoding it
 *     takes has either inside a character), for what the table does not hold. False when out
 *     is full or a character the end cuts waits for more. */
bool DecodeWithDecoder(const unsigned char *bytes, std::size_t length, bool final, std::size_t *k,
                       unsigned char *out, std::size_t capacity, std::size_t *w)
{
    const unsigned char *from = bytes + *k;
    auto *line_end = static_cast<const unsigned char *>(std::memchr(from, '\n', length - *k));
    std::size_t end = line_end != nullptr ? static_cast<std::size_t>(line_end - bytes) : length;
    auto *tag = static_cast<const unsigned char *>(std::memchr(from, '<', end - *k));
    end = tag != nullptr ? static_cast<std::size_t>(tag - bytes) : end;
    std::size_t used = 0;
    std::size_t written = 0;
    DecodeStop stop = DecodeText(bytes + *k, end - *k, out + *w, capacity - *w, &used, &written);
    *k += used;
    *w += written;
    if (stop == DecodeStop::Done)
        return *k == end;
    if (stop == DecodeStop::Invalid)
        return ReplaceInvalid(bytes, length, final, k, out, w);
    if (end < length) { // the character goes on past the line end or '<': not valid
        *w += PutReplacement(out + *w, end - *k);
        *k = end;
    } else if (!final) {
        return false;
    } else {
        *w += PutReplacement(out + *w, length - *k);
        *k = length;
    }
    return true;
}

/* PutKnownCharacters
 *     Writes the characters from bytes[*k] on that are ASCII or that the table holds, stopping
 *     at any other. */
void PutKnownCharacters(const unsigned char *bytes, std::size_t length, std::size_t *k_at,
                        unsigned char *out, std::size_t *w_at)
{
    // Kept in locals: the stores to out could otherwise change them, for all the compiler knows.
    std::size_t k = *k_at;
    std::size_t w = *w_at;
    std::size_t last = length - 1; // the byte after a lead is read: the last byte is the caller's
    while (k < last) {
        unsigned char byte = bytes[k];
        const KnownCharacter *known = nullptr;
        if (byte < 0x80) {
            // A blank between two words goes alone; a longer run of ASCII in blocks.
            std::size_t run = bytes[k + 1] >= 0x80 ? 1 : CopyAscii(bytes + k, last - k, out + w);
            out[w] = byte;
            k += run;
            w += run;
            continue;
        }
        if (leads_pair[byte])
            known = &pair_characters[(byte - 0x80u) * 256 + bytes[k + 1]];
        else
            known = &single_characters[byte - 0x80u];
        unsigned length_of_known = known->length;
        if (length_of_known - 1u >= 3u) // not asked yet, not valid or longer
            break;
        std::memcpy(out + w, known, sizeof *known); // the length after it is written over
        w += length_of_known;
        k += 1u + leads_pair[byte];
    }
    *k_at = k;
    *w_at = w;
}

/* DecodeLegacyRun
 *     Decodes the run of text at bytes[*k] on, each character by the table when it holds it.
 *     False when out is full or a character the end cuts waits for more. */
bool DecodeLegacyRun(const unsigned char *bytes, std::size_t length, bool final, std::size_t *k,
                     unsigned char *out, std::size_t capacity, std::size_t *w)
{
    while (*k < length) {
        PutKnownCharacters(bytes, length, k, out, w);
        if (*k == length)
            break;
        // The last byte, or a character not asked about yet, not valid, longer than a pair.
        unsigned char byte = bytes[*k];
        if (byte < 0x80) {
            out[(*w)++] = byte;
            (*k)++;
            continue;
        }
        bool lead = leads_pair[byte];
        if (lead && *k + 1 == length) {
            if (!final)
                return false;
            *w += PutReplacement(out + *w, 1);
            (*k)++;
            continue;
        }
        KnownCharacter *known = lead ? &pair_characters[(byte - 0x80u) * 256 + bytes[*k + 1]]
                                     : &single_characters[byte - 0x80u];
        if (VELMORA_RARELY(known->length == 0))
            *known = Remember(bytes + *k, lead ? 2 : 1);
        if (known->length <= 3) {
            std::memcpy(out + *w, known, sizeof *known); // the length after it is written over
            *w += known->length;
            *k += lead ? 2 : 1;
            continue;
        }
        bool whole = known->length == NOT_VALID
                         ? ReplaceInvalid(bytes, length, final, k, out, w)
                         : DecodeWithDecoder(bytes, length, final, k, out, capacity, w);
        if (!whole)
            return false;
    }
    return true;
}

/* DecodeRawText
 *     Decodes length bytes of raw_text from raw_position on into out, whose capacity has room
 *     for three bytes of each; a character they cut stays unless final. Returns the bytes
 *     written. */
std::size_t DecodeRawText(std::size_t length, unsigned char *out, std::size_t capacity, bool final)
{
    ConversionState &state = conversion_state;
    const unsigned char *bytes = raw_text + state.decoding.raw_position;
    std::size_t k = 0;
    std::size_t w = 0;
    while (k < length) {
        std::size_t run = CopyAscii(bytes + k, length - k, out + w);
        k += run;
        w += run;
        if (k == length)
            break;
        bool whole = state.decoding.utf8
                         ? DecodeUtf8Run(bytes, length, final, &k, out, &w)
                         : DecodeLegacyRun(bytes, length, final, &k, out, capacity, &w);
        if (!whole)
            break;
    }
    state.decoding.raw_position += k;
    return w;
}

/* ReadRawText
 *     Moves the undecoded bytes to the front of raw_text and appends at least count more of
 *     the byte file, or all it has left. */
void ReadRawText(std::size_t count)
{
    ConversionState &state = conversion_state;
    std::size_t pending = state.decoding.raw_length - state.decoding.raw_position;
    std::memmove(raw_text, raw_text + state.decoding.raw_position, pending);
    state.decoding.raw_position = 0;
    state.decoding.raw_length = pending;
    std::size_t space = RAW_TEXT_SIZE - pending;
    state.decoding.raw_length += ReadFromBytes(raw_text + pending, std::min(space, count));
    // The byte file's end is the decoder's only when its bytes are all decoded.
    state.decoding.raw_ended = state.reading.source_ended;
    state.reading.source_ended = false;
}

} // namespace

bool DecodesInput()
{
    const ConversionState &state = conversion_state;
    return state.options.utf8_output || state.options.source_encoding[0] != '\0';
}

TextEncoding ChosenUtf16Encoding()
{
    char decoder_name[ENCODING_NAME_SIZE];
    switch (ReadEncodingName(conversion_state.options.source_encoding, decoder_name)) {
    case EncodingKind::Utf16Le: return TextEncoding::Utf16Le;
    case EncodingKind::Utf16Be: return TextEncoding::Utf16Be;
    default: return TextEncoding::Bytes;
    }
}

bool IsReadableEncoding(const char *name)
{
    char decoder_name[ENCODING_NAME_SIZE];
    if (name[0] == '\0' || std::strlen(name) >= ENCODING_NAME_SIZE)
        return false;
    if (ReadEncodingName(name, decoder_name) != EncodingKind::Legacy)
        return true;
    bool readable = OpenTextDecoder(decoder_name);
    CloseTextDecoder();
    return readable;
}

/* StartLegacyText
 *     Opens the decoder for the encoding name and takes over the bytes at unread, up to the read
 *     buffer's length, that are not valid UTF-8: from there the rest of the file is decoded. */
void StartLegacyText(const char *name, unsigned char *unread)
{
    ConversionState &state = conversion_state;
    char decoder_name[ENCODING_NAME_SIZE];
    EncodingKind kind = ReadEncodingName(name, decoder_name);
    // UTF-16 is read as such from the first byte, or not at all; a name the callers let
    // through unchecked reads as a guess would.
    if (kind == EncodingKind::Utf16Le || kind == EncodingKind::Utf16Be)
        return;
    if (kind == EncodingKind::Legacy && !OpenTextDecoder(decoder_name)) {
        ReadEncodingName("WINDOWS-1252", decoder_name);
        OpenTextDecoder(decoder_name);
    }
    std::snprintf(decoding_report.encoding_name, ENCODING_NAME_SIZE, "%s", decoder_name);
    if (std::strcmp(remembered_encoding, decoder_name) != 0) {
        std::memset(single_characters, 0, sizeof single_characters);
        std::memset(pair_characters, 0, sizeof pair_characters);
        std::snprintf(remembered_encoding, sizeof remembered_encoding, "%s", decoder_name);
        // Browsers take every byte from 0x81 to 0xFE as a CP949 lead, the unassigned ones too.
        reads_cp949 = std::strcmp(decoder_name, "CP949") == 0;
        for (int byte = 0; byte < 256; byte++)
            leads_pair[byte] = reads_cp949 ? byte >= 0x81 && byte <= 0xFE
                                           : IsLeadByte(static_cast<unsigned char>(byte));
    }
    state.decoding.active = true;
    state.decoding.utf8 = kind == EncodingKind::Utf8;
    state.decoding.windows_1252 = std::strcmp(decoder_name, "WINDOWS-1252") == 0;
    // What the read buffer holds unread is undecoded, but for valid UTF-8: the rest goes
    // first through the decoder.
    std::size_t length = state.reading.read_length - state.reading.read_position;
    std::size_t kept = state.decoding.utf8 ? ValidUtf8Length(unread, length) : 0;
    std::memcpy(raw_text, unread + kept, length - kept);
    state.decoding.raw_position = 0;
    state.decoding.raw_length = length - kept;
    state.decoding.raw_ended = state.reading.source_ended;
    state.reading.source_ended = false;
    state.reading.read_length = state.reading.read_position + kept;
    state.reading.text_is_unicode = true;
}

/* ReadFromLegacyText
 *     Decodes the next block of the byte file into destination as UTF-8. Returns how many
 *     bytes it put there, 0 only when the input has nothing more. */
std::size_t ReadFromLegacyText(unsigned char *destination, std::size_t capacity)
{
    ConversionState &state = conversion_state;
    std::size_t room = (capacity - 16) / 3; // each byte gives at most three, U+FFFD too
    for (;;) {
        std::size_t pending = state.decoding.raw_length - state.decoding.raw_position;
        if (state.decoding.utf8 && pending < 4 && !state.decoding.raw_ended) {
            // UTF-8 is read as it is, after the start of a sequence the last block cut, and
            // checked; from the first byte that is not valid, or a sequence this block cuts,
            // the bytes go through the decoder's buffer.
            std::memcpy(destination, raw_text + state.decoding.raw_position, pending);
            std::size_t got = pending + ReadFromBytes(destination + pending, capacity - pending);
            state.decoding.raw_ended = state.reading.source_ended;
            state.reading.source_ended = false;
            std::size_t valid = ValidUtf8Length(destination, got);
            std::memcpy(raw_text, destination + valid, got - valid);
            state.decoding.raw_position = 0;
            state.decoding.raw_length = got - valid;
            if (valid > 0)
                return valid;
            continue;
        }
        // UTF-8 reads more only as it is, above.
        if (pending < room && !state.decoding.raw_ended && !state.decoding.utf8) {
            ReadRawText(std::max<std::size_t>(room, 64));
            pending = state.decoding.raw_length - state.decoding.raw_position;
        }
        if (pending == 0) {
            state.reading.source_ended = true;
            return 0;
        }
        std::size_t take = std::min(pending, room);
        // A CR the block would end with waits to see whether an LF follows, as ReadByte needs.
        if (take < pending && raw_text[state.decoding.raw_position + take - 1] == '\r')
            take--;
        bool final = state.decoding.raw_ended && take == pending;
        std::size_t written = DecodeRawText(take, destination, capacity, final);
        if (written > 0)
            return written;
        if (final || take == room) // nothing more can come to finish what is cut
            return DecodeRawText(take, destination, capacity, true);
    }
}
