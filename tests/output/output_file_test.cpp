// What the programs' own tests cannot show on every platform: an open output told apart from
// the input, and the line ends each mode of the output file writes.
#include "convert_into_folder.h"
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

// A batch's names: beside the input or in a folder, the class in lower case, a dot in a folder
// never taken for the extension's.
TEST(ConvertIntoFolderTest, NamesTheOutputAsSmi2txtDoes)
{
    struct Row {
        const char *input, *folder, *chosen_class, *extension, *expected;
    };
    const Row rows[] = {
        {"season/e01.smi", "", "", ".srt", "season/e01.srt"},
        {"season/e01.smi", "out", "ENCC", ".srt", "out/e01.encc.srt"},
        {"season/e01.smi", "out/", "", ".txt", "out/e01.txt"},
        {"a.b/movie", "", "", ".vtt", "a.b/movie.vtt"},
        {"movie.smi", "", "K/R:CC", ".srt", "movie.k_r_cc.srt"},
    };
    for (const Row &row : rows) {
        FolderChoices choices = {
            row.folder, row.chosen_class, row.extension, ConversionMode::Sync, false, false};
        EXPECT_EQ(NameOutputFile(row.input, choices), row.expected) << row.input;
    }
}

// A file that exists is left as it was without force, before the input is even opened.
TEST_F(OutputFileTest, LeavesAnExistingFileUnlessForced)
{
    fs::path input = folder / "in.smi";
    std::ofstream(input, std::ios::binary) << "<SAMI><BODY><SYNC Start=0><P>Hi</BODY></SAMI>";
    std::ofstream(folder / "in.txt", std::ios::binary) << "old";
    FolderChoices choices = {"", "", ".txt", ConversionMode::Plain, false, false};
    FolderResult kept = ConvertIntoFolder((folder / "missing.smi").string(), choices);
    EXPECT_FALSE(kept.skipped); // nothing stands at missing.txt: the input is opened and fails
    EXPECT_EQ(kept.outcome, ConversionOutcome::CannotOpenInput);
    kept = ConvertIntoFolder(input.string(), choices);
    EXPECT_TRUE(kept.skipped);
    EXPECT_EQ(ReadFile(folder / "in.txt"), "old");
    choices.force = true;
    FolderResult replaced = ConvertIntoFolder(input.string(), choices);
    EXPECT_FALSE(replaced.skipped);
    EXPECT_EQ(replaced.outcome, ConversionOutcome::Succeeded);
    EXPECT_NE(ReadFile(folder / "in.txt"), "old");
}
