// The save commands' file work on real files: which subtitles are refused, what a target looks
// like after each outcome, and that no stream or temporary file is left behind.
#include <windows.h>

#include <cderr.h>

#include "app_state.h"
#include "conversion.h"
#include "save_dialog.h"
#include "text_file.h"
#include "ui_texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <io.h>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

// CR LF line ends: a byte subtitle is read in text mode, as Windows reads it.
const std::string SUBTITLE = "<SYNC Start=1000><P>\r\nHi\r\n<SYNC Start=62000><P>\r\nBye\r\n";
const std::string PLAIN_TEXT = "\r\nHi\r\n\r\nBye\r\n";
const std::string SYNC_TEXT = "00 :00 :01  Hi\r\n00 :01 :02  Bye\r\n";

std::string ReadFile(const fs::path &path)
{
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

void WriteFile(const fs::path &path, const std::string &bytes)
{
    std::ofstream stream(path, std::ios::binary);
    stream << bytes;
}

class TextFileTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        conversion_state = ConversionState{};
        app_state = AppState{};
        const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char &c : name)
            if (c == '/')
                c = '_';
        folder = fs::temp_directory_path() / ("velmora-" + name);
        fs::remove_all(folder);
        fs::create_directories(folder);
        subtitle = folder / "in.smi";
        WriteFile(subtitle, SUBTITLE);
    }

    void TearDown() override
    {
        CloseStreams();
        std::error_code ignored;
        for (const auto &entry : fs::recursive_directory_iterator(folder, ignored))
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
        fs::remove_all(folder, ignored);
    }

    void Choose(const fs::path &path)
    {
        std::wcscpy(app_state.subtitle_path, path.wstring().c_str());
    }

    std::vector<std::string> FolderNames()
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder;
    fs::path subtitle;
};

// ---- which subtitles Save refuses before any save dialog ----
struct RefusedSubtitle {
    const char *name;
    const char *bytes;      // the subtitle's content, or none for no file at that path
    bool make_folder;       // the path names a folder instead
    bool choose_nothing;    // no Open has chosen anything
    const char *error_text; // ui_texts.h's text for it
};

void PrintTo(const RefusedSubtitle &row, std::ostream *stream)
{
    *stream << row.name;
}

class RefusedSubtitleTest : public TextFileTest,
                            public ::testing::WithParamInterface<RefusedSubtitle>
{
};

TEST_P(RefusedSubtitleTest, GivesItsTextAndLeavesNothingOpen)
{
    const RefusedSubtitle &row = GetParam();
    fs::path path = folder / "chosen.smi";
    if (row.bytes != nullptr)
        WriteFile(path, std::string(row.bytes, std::strlen(row.bytes) + 2));
    if (row.make_folder)
        fs::create_directory(path);
    if (!row.choose_nothing)
        Choose(path);
    EXPECT_STREQ(OpenChosenSubtitle(), row.error_text);
    EXPECT_EQ(conversion_state.input_stream, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusedSubtitleTest,
    ::testing::Values(
        RefusedSubtitle{"NothingChosen", nullptr, false, true, CANNOT_OPEN_SUBTITLE_TEXT},
        RefusedSubtitle{"DeletedAfterOpen", nullptr, false, false, CANNOT_OPEN_SUBTITLE_TEXT},
        RefusedSubtitle{"AFolder", nullptr, true, false, CANNOT_OPEN_SUBTITLE_TEXT}),
    [](const ::testing::TestParamInfo<RefusedSubtitle> &row) { return row.param.name; });

/* Utf16File
 *     The bytes of a UTF-16 file holding text, its mark first. */
std::string Utf16File(const std::u16string &text, bool little_endian)
{
    std::string bytes;
    for (char16_t unit : u"\xFEFF" + text) {
        char high = static_cast<char>(unit >> 8);
        char low = static_cast<char>(unit & 0xFF);
        bytes += little_endian ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

// A UTF-16 subtitle is read in binary (the text mode would end it at the 1A byte of U+AC1A)
// and gives UTF-16 text in its byte order, with CR LF line ends.
TEST_F(TextFileTest, ConvertsUtf16IntoUtf16)
{
    for (bool little_endian : {true, false}) {
        WriteFile(subtitle, Utf16File(u"<P>\r\n\xAC1Ax<br>y\r\n", little_endian));
        Choose(subtitle);
        ASSERT_EQ(OpenChosenSubtitle(), nullptr);
        EXPECT_EQ(WriteTextFile((folder / "out.txt").wstring().c_str(), ConversionMode::Plain),
                  nullptr);
        EXPECT_EQ(ReadFile(folder / "out.txt"), Utf16File(u"\r\n\xAC1Ax\r\ny\r\n", little_endian));
    }
}

TEST_F(TextFileTest, AcceptsBytesThatOnlyStartLikeAMark)
{
    WriteFile(subtitle, "\xFF<P>x\n");
    Choose(subtitle);
    ASSERT_EQ(OpenChosenSubtitle(), nullptr);
    EXPECT_EQ(WriteTextFile((folder / "out.txt").wstring().c_str(), ConversionMode::Plain),
              nullptr);
    EXPECT_EQ(ReadFile(folder / "out.txt"), "\xFF\r\nx\r\n"); // the P tag stands apart
}

// ---- what the target holds after each outcome ----
enum class Target { New, Existing, ReadOnly, Folder, InMissingFolder, SubtitleItself, Device };

struct SaveCase {
    const char *name;
    Target target;
    ConversionMode mode;
    bool unreadable_input;  // the input stream fails its first read
    const char *error_text; // none for success
};

void PrintTo(const SaveCase &row, std::ostream *stream)
{
    *stream << row.name;
}

class SaveCaseTest : public TextFileTest, public ::testing::WithParamInterface<SaveCase>
{
};

TEST_P(SaveCaseTest, ReplacesTheTargetOnlyOnSuccess)
{
    const SaveCase &row = GetParam();
    const std::string old_text = "the text that was there\r\n";
    fs::path target = folder / "out.txt";
    std::wstring path = target.wstring();
    std::vector<std::string> names_after = {"in.smi"};
    switch (row.target) {
    case Target::New: break;
    case Target::Existing: WriteFile(target, old_text); break;
    case Target::ReadOnly:
        WriteFile(target, old_text);
        fs::permissions(target,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        break;
    case Target::Folder: fs::create_directory(target); break;
    case Target::InMissingFolder: path = (folder / "missing" / "out.txt").wstring(); break;
    case Target::SubtitleItself: path = (folder / "sub" / ".." / "IN.SMI").wstring(); break;
    case Target::Device: path = L"NUL"; break;
    }
    if (row.target == Target::SubtitleItself)
        fs::create_directory(folder / "sub");
    bool target_exists = fs::exists(target);

    Choose(subtitle);
    ASSERT_EQ(OpenChosenSubtitle(), nullptr);
    if (row.unreadable_input) {
        // The stream stays open for reading, but its descriptor now refuses every read.
        FILE *writer = fopen(subtitle.string().c_str(), "a");
        ASSERT_NE(writer, nullptr);
        ASSERT_EQ(_dup2(_fileno(writer), _fileno(conversion_state.input_stream)), 0);
        fclose(writer);
    }
    EXPECT_STREQ(WriteTextFile(path.c_str(), row.mode), row.error_text);

    EXPECT_EQ(conversion_state.input_stream, nullptr);
    EXPECT_EQ(conversion_state.output_stream, nullptr);
    EXPECT_EQ(ReadFile(subtitle), SUBTITLE);
    bool written = row.error_text == nullptr && row.target != Target::Device;
    if (written) {
        EXPECT_EQ(ReadFile(target), row.mode == ConversionMode::Plain ? PLAIN_TEXT : SYNC_TEXT);
    } else if (target_exists && fs::is_regular_file(target)) {
        EXPECT_EQ(ReadFile(target), old_text);
    }
    if (written || target_exists)
        names_after.push_back("out.txt");
    if (row.target == Target::SubtitleItself)
        names_after.push_back("sub");
    std::sort(names_after.begin(), names_after.end());
    EXPECT_EQ(FolderNames(), names_after); // no temporary file, nothing new on failure
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SaveCaseTest,
    ::testing::Values(
        SaveCase{"NewFilePlain", Target::New, ConversionMode::Plain, false, nullptr},
        SaveCase{"NewFileSync", Target::New, ConversionMode::Sync, false, nullptr},
        SaveCase{"ExistingFileReplaced", Target::Existing, ConversionMode::Sync, false, nullptr},
        SaveCase{"DeviceWrittenInPlace", Target::Device, ConversionMode::Plain, false, nullptr},
        SaveCase{"SubtitleByAnotherName", Target::SubtitleItself, ConversionMode::Plain, false,
                 SAME_AS_SUBTITLE_TEXT},
        SaveCase{"ReadOnlyTarget", Target::ReadOnly, ConversionMode::Plain, false,
                 CANNOT_CREATE_OUTPUT_TEXT},
        SaveCase{"TargetIsAFolder", Target::Folder, ConversionMode::Plain, false,
                 CANNOT_CREATE_OUTPUT_TEXT},
        SaveCase{"FolderMissing", Target::InMissingFolder, ConversionMode::Sync, false,
                 CANNOT_CREATE_OUTPUT_TEXT},
        SaveCase{"ReadFailsNewTarget", Target::New, ConversionMode::Plain, true,
                 CONVERSION_FAILED_TEXT},
        SaveCase{"ReadFailsExistingTarget", Target::Existing, ConversionMode::Sync, true,
                 CONVERSION_FAILED_TEXT}),
    [](const ::testing::TestParamInfo<SaveCase> &row) { return row.param.name; });

TEST_F(TextFileTest, EverySaveReadsTheChosenSubtitleNotTheLastOutput)
{
    Choose(subtitle);
    fs::path first = folder / "first.txt";
    fs::path second = folder / "second.txt";
    ASSERT_EQ(OpenChosenSubtitle(), nullptr);
    ASSERT_EQ(WriteTextFile(first.wstring().c_str(), ConversionMode::Plain), nullptr);
    ASSERT_EQ(OpenChosenSubtitle(), nullptr);
    ASSERT_EQ(WriteTextFile(second.wstring().c_str(), ConversionMode::Sync), nullptr);
    EXPECT_EQ(ReadFile(first), PLAIN_TEXT);
    EXPECT_EQ(ReadFile(second), SYNC_TEXT);
}

// Names outside the ANSI code page are the files they name, the temporary file's folder too.
TEST_F(TextFileTest, ConvertsBetweenNamesOutsideTheCodePage)
{
    fs::path unicode_folder = folder / L"Ph\u1EE5 \u0111\u1EC1";
    fs::create_directory(unicode_folder);
    fs::path named = unicode_folder / L"Am\u00E9lie \u5343\u5C0B (2001).smi";
    fs::path target = unicode_folder / L"Am\u00E9lie \u5343\u5C0B (2001).txt";
    WriteFile(named, SUBTITLE);
    WriteFile(target, "older text\r\n");
    Choose(named);
    ASSERT_EQ(OpenChosenSubtitle(), nullptr);
    EXPECT_EQ(WriteTextFile(target.wstring().c_str(), ConversionMode::Sync), nullptr);
    EXPECT_EQ(ReadFile(target), SYNC_TEXT);
    EXPECT_EQ(std::distance(fs::directory_iterator(unicode_folder), fs::directory_iterator()), 2);
}

// A cue too long to hold is refused with its own text and keeps the target; the failure is the
// timed conversion's alone, so a later Save of another subtitle is written.
TEST_F(TextFileTest, CueTooLongFailsOnlyItsOwnSave)
{
    fs::path long_subtitle = folder / "long.smi";
    WriteFile(long_subtitle,
              "<SYNC Start=1000><P>" + std::string(70000, 'x') + "\r\n<SYNC Start=2000><P>Bye\r\n");
    fs::path target = folder / "out.srt";
    WriteFile(target, "older cues\r\n");
    Choose(long_subtitle);
    ASSERT_EQ(OpenChosenSubtitle(), nullptr);
    ChooseSaveOptions(SaveType{L"srt", true, CueFormat::Srt}, "", false);
    EXPECT_STREQ(WriteTextFile(target.wstring().c_str(), ConversionMode::Sync),
                 SUBTITLE_TOO_LONG_TEXT);
    EXPECT_EQ(ReadFile(target), "older cues\r\n");

    Choose(subtitle);
    ASSERT_EQ(OpenChosenSubtitle(), nullptr);
    ChooseSaveOptions(SaveType{L"txt", false, CueFormat::None}, "", false);
    EXPECT_EQ(WriteTextFile((folder / "out.txt").wstring().c_str(), ConversionMode::Plain),
              nullptr);
    EXPECT_EQ(ReadFile(folder / "out.txt"), PLAIN_TEXT);
}

// The Language menu's texts come in UTF-8 from a subtitle in the ANSI code page too, and the
// saves' own choice of encoding is left as it was.
TEST_F(TextFileTest, ListsClassesWithTheirFirstWordsInUtf8)
{
    WriteFile(subtitle, "<SYNC Start=0><P Class=KRCC>\xBE\xC8\xB3\xE7 \xC7\xCF\xBC\xBC\xBF\xE4\r\n"
                        "<P Class=ENCC>Hello there\r\n");
    Choose(subtitle);
    ASSERT_TRUE(ListChosenSubtitleClasses());
    ASSERT_EQ(class_list.length, 2);
    EXPECT_STREQ(class_list.classes[0].name, "KRCC");
    EXPECT_STREQ(class_list.classes[0].sample, "\xEC\x95\x88\xEB\x85\x95 "
                                               "\xED\x95\x98\xEC\x84\xB8\xEC\x9A\x94");
    EXPECT_STREQ(class_list.classes[1].sample, "Hello there");
    EXPECT_FALSE(conversion_state.options.utf8_output);
    EXPECT_EQ(conversion_state.input_stream, nullptr);
}

// Only the name's own extension decides, in any case; a folder's does not.
TEST(TypeOfExtensionTest, TellsTimedFormatsByTheNamesExtension)
{
    const struct {
        const wchar_t *path;
        CueFormat format; // None: the type chosen in the list decides
    } rows[] = {
        {L"C:\\subs\\movie.srt", CueFormat::Srt},
        {L"movie.VtT", CueFormat::Vtt},
        {L"movie.srt.txt", CueFormat::None},
        {L"C:\\x.srt\\movie", CueFormat::None},
        {L"movie", CueFormat::None},
        {L"movie.srtx", CueFormat::None},
    };
    for (const auto &row : rows) {
        const SaveType *type = TypeOfExtension(row.path);
        EXPECT_EQ(type == nullptr ? CueFormat::None : type->cue_format, row.format)
            << fs::path(row.path).string();
    }
}

// ---- failed file dialogs ----
TEST(FileDialogFailureTest, TellsATooSmallBufferFromOtherFailures)
{
    EXPECT_STREQ(FileDialogFailureText(FNERR_BUFFERTOOSMALL), PATH_TOO_LONG_TEXT);
    for (DWORD error : {DWORD{FNERR_INVALIDFILENAME}, DWORD{FNERR_SUBCLASSFAILURE},
                        DWORD{CDERR_INITIALIZATION}, DWORD{CDERR_MEMALLOCFAILURE}})
        EXPECT_STREQ(FileDialogFailureText(error), CANNOT_CHOOSE_FILE_TEXT) << error;
}

} // namespace
