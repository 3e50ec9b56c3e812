// What every filter test shares: a fresh conversion_state, a per-test temporary folder, and a
// conversion through real files opened exactly as the programs open them.
#pragma once

#include "conversion_state.h"

#include <gtest/gtest.h>
#include <string>

/* LineEnds
 *     The expected bytes of text written in text mode: each LF as this platform stores it. */
std::string LineEnds(const std::string &text);

// Whole files, read and written in binary so the bytes are exactly those on disk.
std::string ReadBinaryFile(const std::string &path);
void WriteBinaryFile(const std::string &path, const std::string &bytes);

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
     *     Writes input to a new file and opens it "r", and a new output "w", in conversion_state.
     */
    void OpenStreams(const std::string &input);

    /* CloseAndReadOutput
     *     Closes both streams and returns what was written, byte for byte. */
    std::string CloseAndReadOutput();

    /* ConvertText
     *     The bytes a conversion of input in mode writes. */
    std::string ConvertText(const std::string &input, ConversionMode mode);

    std::string directory_; // removed with everything in it after the test
    std::string output_path_;
    int file_count_ = 0;
};
