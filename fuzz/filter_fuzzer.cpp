// libFuzzer entry: runs both conversions over arbitrary bytes, read from a memory stream, and
// checks what must hold for every input. A broken rule aborts with the input saved.
#include "byte_io.h"
#include "conversion_state.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The bytes a stamp may add: its digits, blanks and colons, and the line end before it.
static const char STAMP_BYTES[] = "0123456789 :\n";

// The input as the filter sees it outside Windows: CR LF as LF, nothing from a 0x1A on.
static unsigned char *seen_input;
static size_t seen_length;

/* Fail
 *     Reports which rule an input broke and aborts, so libFuzzer keeps the input. */
[[noreturn]] static void Fail(const char *rule, int mode)
{
    std::fprintf(stderr, "filter rule broken (%s mode): %s\n", mode == 0 ? "plain" : "sync", rule);
    std::abort();
}

/* PrepareSeenInput
 *     Fills seen_input from data with the line-end and 0x1A rules applied. */
static void PrepareSeenInput(const std::uint8_t *data, size_t size)
{
    std::free(seen_input);
    seen_input = static_cast<unsigned char *>(std::malloc(size + 1));
    seen_length = 0;
    for (size_t k = 0; k < size && data[k] != CTRL_Z; k++) {
        if (data[k] == '\r' && k + 1 < size && data[k + 1] == '\n')
            continue; // the LF that follows stands for the pair
        seen_input[seen_length++] = data[k];
    }
}

/* IsSubsequence
 *     True when every byte of text appears in seen_input in the same order. */
static bool IsSubsequence(const char *text, size_t length)
{
    size_t k = 0;
    for (size_t j = 0; j < length; j++) {
        while (k < seen_length && seen_input[k] != static_cast<unsigned char>(text[j]))
            k++;
        if (k == seen_length)
            return false;
        k++;
    }
    return true;
}

/* CheckOutput
 *     The rules for one conversion's output. */
static void CheckOutput(size_t size, const char *text, size_t length, int mode)
{
    bool present[256] = {};
    for (size_t k = 0; k < seen_length; k++)
        present[seen_input[k]] = true;
    if (mode == 1) {
        for (const char *p = STAMP_BYTES; *p != '\0'; p++)
            present[static_cast<unsigned char>(*p)] = true;
    }
    for (size_t j = 0; j < length; j++) {
        if (!present[static_cast<unsigned char>(text[j])])
            Fail("a byte appeared that the input did not hold", mode);
    }
    if (mode == 0) {
        if (length > size)
            Fail("plain output longer than the input", mode);
        if (!IsSubsequence(text, length))
            Fail("plain output is not the input with bytes left out", mode);
    } else if (length > 3 * size) {
        // Each stamp of at most 15 bytes needs at least a 7-byte SYNC tag.
        Fail("sync output grew past three times the input", mode);
    }
    if (conversion_state.sync_value_length < 0 ||
        conversion_state.sync_value_length >= SYNC_VALUE_SIZE)
        Fail("sync_value_length out of range", mode);
}

/* ConvertBytes
 *     One conversion of data in mode, the way smi2txt runs it; checks the output. */
static void ConvertBytes(const std::uint8_t *data, size_t size, int mode)
{
    static std::uint8_t empty_input[1];
    FILE *input = fmemopen(size == 0 ? empty_input : const_cast<std::uint8_t *>(data), size, "r");
    char *text = nullptr;
    size_t length = 0;
    FILE *output = open_memstream(&text, &length);
    if (input == nullptr || output == nullptr)
        std::abort();

    conversion_state = ConversionState{};
    conversion_state.input_stream = input;
    conversion_state.output_stream = output;
    if (!DetectUtf16Mark()) {
        RunConversion(mode == 0 ? ConversionMode::Plain : ConversionMode::Sync);
        if (!conversion_state.input_ended)
            Fail("the conversion returned before the end of the input", mode);
    }
    if (ferror(input) || ferror(output))
        Fail("a stream reported an error", mode);
    CloseStreams(); // flushes open_memstream's text and length
    CheckOutput(size, text, length, mode);
    std::free(text);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    PrepareSeenInput(data, size);
    ConvertBytes(data, size, 0);
    ConvertBytes(data, size, 1);
    return 0;
}
