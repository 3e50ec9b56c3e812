// What the programs' own tests cannot show on every platform: an open output told apart from
// the input, and the line ends each mode of the output file writes.
#include "output_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace
{

std::string ReadFile(const fs::path &path)
{
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

class OutputFileTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() /
                 (std::string("velmora-") + info->test_suite_name() + "-" + info->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }

    void TearDown() override
    {
        AbandonOutputFile();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    fs::path folder;
};

// Windows' own fstat gives every disk file the same device and inode.
TEST_F(OutputFileTest, TellsTheInputFromAnotherOpenFile)
{
    std::string input_path = (folder / "in.smi").string();
    std::string other_path = (folder / "out.txt").string();
    std::ofstream(input_path) << "<P>x\n";
    FILE *input = fopen(input_path.c_str(), "r");
    FILE *same = fopen(input_path.c_str(), "a");
    FILE *other = fopen(other_path.c_str(), "w");
    ASSERT_TRUE(input != nullptr && same != nullptr && other != nullptr);
    EXPECT_TRUE(IsSameOpenFile(input, same));
    EXPECT_FALSE(IsSameOpenFile(input, other));
    fclose(input);
    fclose(same);
    fclose(other);
}

TEST_F(OutputFileTest, WritesLineEndsAsTheModeSays)
{
    fs::path target = folder / "out.txt";
    for (bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "binary" : "text");
        FILE *stream = BeginOutputFile(target.string().c_str(), binary);
        ASSERT_NE(stream, nullptr);
        fputs("a\nb\n", stream);
        ASSERT_TRUE(FinishOutputFile());
#if defined(_WIN32)
        EXPECT_EQ(ReadFile(target), binary ? "a\nb\n" : "a\r\nb\r\n");
#else
        EXPECT_EQ(ReadFile(target), "a\nb\n");
#endif
    }
}

} // namespace
