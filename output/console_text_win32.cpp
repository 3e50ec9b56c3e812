// A Windows console is written in UTF-16 with WriteConsoleW, whatever its code page: text in
// code page 949 or 1252 would show Hangul only on a console of that code page.
#include "console_text.h"

#include "conversion.h"

#include <cstring>
#include <windows.h>

namespace
{

constexpr std::size_t CONSOLE_BLOCK_SIZE = 8192;

wchar_t console_block[CONSOLE_BLOCK_SIZE];
unsigned char held[4]; // the start of a UTF-8 sequence the last write cut
std::size_t held_length;

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

/* WriteWide
 *     Converts count bytes of whole UTF-8 sequences and writes them to the console. */
void WriteWide(const unsigned char *bytes, std::size_t count)
{
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    while (count > 0) {
        std::size_t part = count < CONSOLE_BLOCK_SIZE / 2 ? count : CONSOLE_BLOCK_SIZE / 2;
        while (part > 1 && part < count && (bytes[part] & 0xC0) == 0x80)
            part--; // a chunk ends between sequences
        int units = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char *>(bytes),
                                        static_cast<int>(part), console_block,
                                        static_cast<int>(CONSOLE_BLOCK_SIZE));
        DWORD written = 0;
        WriteConsoleW(console, console_block, static_cast<DWORD>(units), &written, nullptr);
        bytes += part;
        count -= part;
    }
}

/* SequenceLength
 *     How many bytes the UTF-8 sequence led by lead takes. */
std::size_t SequenceLength(unsigned char lead)
{
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

/* WriteConsoleText
 *     The filter's writer for a console: a sequence the end cuts waits for the next call,
 *     unless final. */
void WriteConsoleText(const unsigned char *bytes, std::size_t count, bool final)
{
    if (held_length > 0) {
        while (held_length < SequenceLength(held[0]) && count > 0 && (bytes[0] & 0xC0) == 0x80) {
            held[held_length++] = *bytes++;
            count--;
        }
        if (held_length < SequenceLength(held[0]) && count == 0 && !final)
            return;
        WriteWide(held, held_length);
        held_length = 0;
    }
    std::size_t whole = count;
    std::size_t start = count; // the start of the last sequence
    while (start > 0 && count - start < 3 && (bytes[start - 1] & 0xC0) == 0x80)
        start--;
    if (!final && start > 0 && bytes[start - 1] >= 0xC0 &&
        count - (start - 1) < SequenceLength(bytes[start - 1]))
        whole = start - 1;
    held_length = count - whole;
    std::memcpy(held, bytes + whole, held_length);
    WriteWide(bytes, whole);
}

} // namespace

bool WritesUtf8ByDefault(bool to_standard_output)
{
    return to_standard_output && IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));
}

bool WriteTextToConsole()
{
    if (!IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)))
        return false;
    held_length = 0;
    conversion_state.options.text_writer = WriteConsoleText;
    return true;
}
