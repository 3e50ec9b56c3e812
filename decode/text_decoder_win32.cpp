// The decoder in smi2txt.exe: MultiByteToWideChar converts, and a file with no mark is read in
// the system's ANSI code page, as Windows programs read it.
#include "text_decoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <windows.h>

namespace
{

constexpr std::size_t WIDE_BLOCK_SIZE = 4096;

UINT code_page;
bool lead_bytes[256];
wchar_t wide_block[WIDE_BLOCK_SIZE];

/* ParseCodePage
 *     The code page a name gives: a number, or one after "CP" or "WINDOWS-"; 0 for none. */
UINT ParseCodePage(const char *name)
{
    if (_strnicmp(name, "CP", 2) == 0)
        name += 2;
    else if (_strnicmp(name, "WINDOWS-", 8) == 0)
        name += 8;
    if (name[0] < '0' || name[0] > '9')
        return 0;
    char *end = nullptr;
    unsigned long number = std::strtoul(name, &end, 10);
    return *end == '\0' && number < 65536 ? static_cast<UINT>(number) : 0;
}

/* ConvertWhole
 *     Converts length bytes of whole characters into UTF-8 at out; false when one of them is
 *     not valid in the code page. */
bool ConvertWhole(const unsigned char *bytes, std::size_t length, unsigned char *out,
                  std::size_t out_size, std::size_t *written)
{
    *written = 0;
    if (length == 0)
        return true;
    int units = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS,
                                    reinterpret_cast<const char *>(bytes), static_cast<int>(length),
                                    wide_block, static_cast<int>(WIDE_BLOCK_SIZE));
    if (units == 0)
        return false;
    int count = WideCharToMultiByte(CP_UTF8, 0, wide_block, units, reinterpret_cast<char *>(out),
                                    static_cast<int>(out_size), nullptr, nullptr);
    *written = static_cast<std::size_t>(count);
    return count > 0;
}

/* CharacterLength
 *     How many bytes the character at bytes takes. */
std::size_t CharacterLength(unsigned char lead)
{
    return lead_bytes[lead] ? 2 : 1;
}

} // namespace

bool OpenTextDecoder(const char *name)
{
    code_page = ParseCodePage(name);
    if (code_page == 0 || !IsValidCodePage(code_page))
        return false;
    for (int value = 0; value < 256; value++)
        lead_bytes[value] = IsDBCSLeadByteEx(code_page, static_cast<BYTE>(value)) != 0;
    // The reader copies ASCII without the converter: it must stand for itself.
    unsigned char ascii[127];
    unsigned char out[4 * sizeof ascii];
    for (int k = 0; k < 127; k++)
        ascii[k] = static_cast<unsigned char>(k + 1);
    std::size_t written = 0;
    return ConvertWhole(ascii, sizeof ascii, out, sizeof out, &written) &&
           written == sizeof ascii && std::memcmp(ascii, out, sizeof ascii) == 0;
}

void CloseTextDecoder()
{
    code_page = 0;
}

DecodeStop DecodeText(const unsigned char *bytes, std::size_t length, unsigned char *out,
                      std::size_t out_size, std::size_t *used, std::size_t *written)
{
    *used = 0;
    *written = 0;
    while (*used < length) {
        // A chunk of whole characters that fits the wide block and, three bytes a unit, out.
        std::size_t room = (out_size - *written) / 3;
        room = room < WIDE_BLOCK_SIZE ? room : WIDE_BLOCK_SIZE;
        std::size_t chunk = 0;
        while (*used + chunk < length && chunk + 2 <= room) {
            std::size_t count = CharacterLength(bytes[*used + chunk]);
            if (*used + chunk + count > length)
                break;
            chunk += count;
        }
        if (chunk == 0)
            return *used + CharacterLength(bytes[*used]) > length ? DecodeStop::Cut
                                                                  : DecodeStop::Done;
        std::size_t count = 0;
        if (!ConvertWhole(bytes + *used, chunk, out + *written, out_size - *written, &count)) {
            // Find the character that is not valid, converting those before it one at a time.
            for (std::size_t end = *used + chunk; *used < end;) {
                std::size_t one = CharacterLength(bytes[*used]);
                if (!ConvertWhole(bytes + *used, one, out + *written, out_size - *written, &count))
                    return DecodeStop::Invalid;
                *used += one;
                *written += count;
            }
            continue;
        }
        *used += chunk;
        *written += count;
    }
    return DecodeStop::Done;
}

bool IsLeadByte(unsigned char value)
{
    return lead_bytes[value];
}

void GuessTextEncoding(const unsigned char *bytes, std::size_t length, char *name)
{
    (void)bytes;
    (void)length;
    std::snprintf(name, ENCODING_NAME_SIZE, "CP%u", GetACP());
}
