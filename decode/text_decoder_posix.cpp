// The decoder on Linux: iconv converts, uchardet guesses.
#include "text_decoder.h"
#include "utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <iconv.h>
#include <type_traits>
#include <uchardet.h>

namespace
{

const iconv_t NO_CONVERTER = reinterpret_cast<iconv_t>(-1);
constexpr std::size_t CODE_POINT_BLOCK_SIZE = 4096;

iconv_t converter = NO_CONVERTER;
bool lead_bytes[256];
// glibc's CP949 takes the pair A2 E8, which it has no character for, for no character at all,
// losing the byte after it: the pair is then not valid, as browsers read it.
bool swallows_a2e8;
// iconv converts into code points (glibc's wchar_t is UCS-4) in one step, where UTF-8 would
// take two: the code points are then written as UTF-8 here.
std::uint32_t code_point_block[CODE_POINT_BLOCK_SIZE];

/* PutCodePoints
 *     Writes count code points as UTF-8 at out; returns the bytes written. */
std::size_t PutCodePoints(const std::uint32_t *code_points, std::size_t count, unsigned char *out)
{
    std::size_t written = 0;
    for (std::size_t k = 0; k < count; k++)
        written += PutUtf8(code_points[k], out + written);
    return written;
}

/* SwallowsPair
 *     Whether the converter takes the two bytes for no character and stops after them. */
bool SwallowsPair(unsigned char lead, unsigned char trail)
{
    unsigned char pair[3] = {lead, trail, 'A'};
    char *in = reinterpret_cast<char *>(pair);
    std::size_t in_left = sizeof pair;
    char *to = reinterpret_cast<char *>(code_point_block);
    std::size_t to_left = sizeof code_point_block;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    iconv(converter, &in, &in_left, &to, &to_left);
    return in_left <= 1 && to_left == sizeof code_point_block;
}

/* LengthBeforeSwallowedPair
 *     How many of the length bytes stand before a pair A2 E8 that starts a character. */
std::size_t LengthBeforeSwallowedPair(const unsigned char *bytes, std::size_t length)
{
    std::size_t k = 0;
    while (k + 1 < length) {
        if (bytes[k] == 0xA2 && bytes[k + 1] == 0xE8)
            return k;
        k += lead_bytes[bytes[k]] ? 2 : 1;
    }
    return length;
}

} // namespace

bool OpenTextDecoder(const char *name)
{
    CloseTextDecoder();
    converter = iconv_open("WCHAR_T", name);
    if (converter == NO_CONVERTER)
        return false;
    if (!DecoderKeepsAscii()) {
        CloseTextDecoder();
        return false;
    }
    swallows_a2e8 = SwallowsPair(0xA2, 0xE8);
    FindLeadBytes(lead_bytes);
    return true;
}

void CloseTextDecoder()
{
    if (converter != NO_CONVERTER)
        iconv_close(converter);
    converter = NO_CONVERTER;
    swallows_a2e8 = false;
}

DecodeStop DecodeText(const unsigned char *bytes, std::size_t length, unsigned char *out,
                      std::size_t out_size, std::size_t *used, std::size_t *written)
{
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char *in = const_cast<char *>(reinterpret_cast<const char *>(bytes));
    std::size_t whole = swallows_a2e8 ? LengthBeforeSwallowedPair(bytes, length) : length;
    std::size_t in_left = whole;
    *used = 0;
    *written = 0;
    for (;;) {
        // Four bytes of UTF-8 at most for each code point, and a code point kept for what a
        // flush gives.
        std::size_t slots = std::min(CODE_POINT_BLOCK_SIZE, (out_size - *written) / 4);
        if (slots < 2)
            return DecodeStop::Done;
        char *to = reinterpret_cast<char *>(code_point_block);
        std::size_t to_left = (slots - 1) * sizeof code_point_block[0];
        std::size_t result = iconv(converter, &in, &in_left, &to, &to_left);
        int error = errno;
        // A converter that waits to join a letter with the marks after it (glibc's
        // Windows-1255 and Windows-1258) gives the letter only when flushed, and these bytes
        // are all it gets: each call starts anew.
        bool ended = result != static_cast<std::size_t>(-1) || error != E2BIG;
        if (ended) {
            to_left += sizeof code_point_block[0];
            iconv(converter, nullptr, nullptr, &to, &to_left);
        }
        std::size_t given = (ended ? slots : slots - 1) - to_left / sizeof code_point_block[0];
        *used = whole - in_left;
        *written += PutCodePoints(code_point_block, given, out + *written);
        if (result != static_cast<std::size_t>(-1))
            return whole < length ? DecodeStop::Invalid : DecodeStop::Done;
        if (error == EILSEQ)
            return DecodeStop::Invalid;
        if (error == EINVAL)
            return DecodeStop::Cut;
        // E2BIG: the block is full; go on while out has room.
    }
}

bool IsLeadByte(unsigned char byte)
{
    return lead_bytes[byte];
}

namespace
{

// uchardet, opened the first time a file's encoding is guessed: linked at start, its shared C++
// runtime would cost every run ten times the start-up instructions of a small file and 1.5 MiB
// of memory, whether it guesses or not.
struct Detector {
    bool opened;
    decltype(&uchardet_new) create;
    decltype(&uchardet_handle_data) handle_data;
    decltype(&uchardet_data_end) data_end;
    decltype(&uchardet_get_charset) get_charset;
    decltype(&uchardet_delete) destroy;
};
Detector detector_library;

/* OpenDetector
 *     Loads uchardet once; false when it cannot be had, and every guess is then no answer. */
bool OpenDetector()
{
    Detector &library = detector_library;
    if (library.opened)
        return library.destroy != nullptr;
    library.opened = true;
    void *handle = dlopen("libuchardet.so.0", RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return false;
    auto find = [handle](auto *function, const char *name) {
        *function =
            reinterpret_cast<std::remove_pointer_t<decltype(function)>>(dlsym(handle, name));
        return *function != nullptr;
    };
    Detector found{};
    found.opened = true;
    if (find(&found.create, "uchardet_new") && find(&found.handle_data, "uchardet_handle_data") &&
        find(&found.data_end, "uchardet_data_end") &&
        find(&found.get_charset, "uchardet_get_charset") &&
        find(&found.destroy, "uchardet_delete")) {
        library = found;
        return true;
    }
    dlclose(handle);
    return false;
}

} // namespace

/* GuessTextEncoding
 *     uchardet's answer, read as browsers read it: every name of Korean is CP949, ASCII and
 *     Latin-1 are Windows-1252, and so is no answer or one iconv cannot convert. */
void GuessTextEncoding(const unsigned char *bytes, std::size_t length, char *name)
{
    std::snprintf(name, ENCODING_NAME_SIZE, "%s", "WINDOWS-1252");
    if (!OpenDetector())
        return;
    const Detector &library = detector_library;
    uchardet_t detector = library.create();
    if (detector == nullptr)
        return;
    if (library.handle_data(detector, reinterpret_cast<const char *>(bytes), length) == 0) {
        library.data_end(detector);
        const char *answer = library.get_charset(detector);
        iconv_t probe = answer[0] != '\0' ? iconv_open("UTF-8", answer) : NO_CONVERTER;
        if (probe != NO_CONVERTER)
            iconv_close(probe);
        NameGuessedEncoding(answer, probe != NO_CONVERTER, name);
    }
    library.destroy(detector);
}
