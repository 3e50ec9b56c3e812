// What every filter test shares: a fresh conversion_state, a per-test temporary folder, and a
// conversion through real files opened exactly as the programs open them.
#pragma once

#include "conversion.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

/* LineEnds
 *     The expected bytes of text written in text mode: each LF as this platform stores it. */
std::string LineEnds(const std::string &text);

// Whole files, read and written in binary so the bytes are exactly those on disk.
std::string ReadBinaryFile(const std::string &path);
void WriteBinaryFile(const std::string &path, const std::string &bytes);

// UTF-16 text as a file holds it: the mark, then each unit in the byte order asked for, with
// each LF as this platform stores it when line_ends is set.
std::string Utf16File(const std::u16string &text, bool little_endian, bool line_ends);

// The units of a UTF-16 file after its mark.
std::u16string Utf16Units(const std::string &file);

// The units of UTF-8 text, and back; the text must be valid.
std::u16string Utf8ToUtf16(const std::string &text);
std::string Utf16ToUtf8(const std::u16string &text);

/* ExpectOneSubtitleALine
 *     Sync output: every line, the first too, starts with a stamp and holds text. */
void ExpectOneSubtitleALine(const std::string &sync);

// What a table expects of a Sync Save that finds no complete SYNC tag: nothing, and a failure.
constexpr char NO_SYNC_TAG[] = "(no SYNC tag)";

// A table row: an input and what each mode writes of it.
struct ModesCase {
    const char *name;
    std::string input;
    std::string plain; // LF stands for the platform's line end
    std::string sync;  // or NO_SYNC_TAG
};

std::ostream &operator<<(std::ostream &stream, const ModesCase &row);

// Names each row of a table test after its name field.
struct RowName {
    template <class Row> std::string operator()(const ::testing::TestParamInfo<Row> &row) const
    {
        return row.param.name;
    }
};

class FilterTest : public ::testing::Test
{
  protected:
    void SetUp() override;
    void TearDown() override;

    /* OpenStreams
     *     Writes input to a new file and opens it and a new output in conversion_state as the
     *     programs do, looking for a UTF-16 mark; stdio_buffer, when given, sizes the input's
     *     stream buffer (1 for none). */
    void OpenStreams(const std::string &input, std::size_t stdio_buffer = 0);

    /* CloseAndReadOutput
     *     Closes both streams and returns what was written, byte for byte. */
    std::string CloseAndReadOutput();

    /* ConvertText
     *     The bytes a conversion of input in mode writes; missed_sync_tag_ tells whether it
     *     found no SYNC tag. */
    std::string ConvertText(const std::string &input, ConversionMode mode);

    /* ExpectSyncText
     *     Sync Save of input writes expected (LF for the line end), or fails on NO_SYNC_TAG. */
    void ExpectSyncText(const std::string &input, const std::string &expected);

    std::string directory_; // removed with everything in it after the test
    std::string output_path_;
    int file_count_ = 0;
    bool missed_sync_tag_ = false;
};
