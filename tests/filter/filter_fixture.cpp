#include "filter_fixture.h"

#include "cue_merge.h"
#include "cue_path.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

std::string LineEnds(const std::string &text)
{
#if defined(_WIN32)
    std::string stored;
    for (char c : text) {
        if (c == '\n')
            stored += '\r';
        stored += c;
    }
    return stored;
#else
    return text;
#endif
}

std::ostream &operator<<(std::ostream &stream, const ModesCase &row)
{
    return stream << row.name;
}

std::string ReadBinaryFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file.is_open()) << path;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBinaryFile(const std::string &path, const std::string &bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << path;
}

std::string Utf16File(const std::u16string &text, bool little_endian, bool line_ends)
{
    std::string bytes;
    auto put = [&](char16_t unit) {
        char high = static_cast<char>(unit >> 8);
        char low = static_cast<char>(unit & 0xFF);
        bytes += little_endian ? low : high;
        bytes += little_endian ? high : low;
    };
    put(0xFEFF);
    for (char16_t unit : text) {
        if (unit == u'\n' && line_ends && LineEnds("\n") != "\n")
            put(u'\r');
        put(unit);
    }
    return bytes;
}

std::u16string Utf16Units(const std::string &file)
{
    bool little_endian = file.compare(0, 2, "\xFF\xFE") == 0;
    std::u16string units;
    for (size_t k = 2; k + 1 < file.size(); k += 2) {
        auto first = static_cast<unsigned char>(file[k]);
        auto second = static_cast<unsigned char>(file[k + 1]);
        units += static_cast<char16_t>(little_endian ? first | second << 8 : first << 8 | second);
    }
    return units;
}

std::u16string Utf8ToUtf16(const std::string &text)
{
    std::u16string units;
    for (size_t k = 0; k < text.size();) {
        auto lead = static_cast<unsigned char>(text[k]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code_point = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t j = 1; j < length; j++)
            code_point = (code_point << 6) | (static_cast<unsigned char>(text[k + j]) & 0x3F);
        if (code_point >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((code_point - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((code_point - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(code_point);
        }
        k += length;
    }
    return units;
}

std::string Utf16ToUtf8(const std::u16string &text)
{
    std::string bytes;
    for (size_t k = 0; k < text.size(); k++) {
        char32_t code_point = text[k];
        if (code_point >= 0xD800 && code_point <= 0xDBFF && k + 1 < text.size())
            code_point = 0x10000 + ((code_point - 0xD800) << 10) + (text[++k] - 0xDC00);
        if (code_point < 0x80) {
            bytes += static_cast<char>(code_point);
        } else if (code_point < 0x800) {
            bytes += static_cast<char>(0xC0 | (code_point >> 6));
            bytes += static_cast<char>(0x80 | (code_point & 0x3F));
        } else if (code_point < 0x10000) {
            bytes += static_cast<char>(0xE0 | (code_point >> 12));
            bytes += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code_point & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (code_point >> 18));
            bytes += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code_point & 0x3F));
        }
    }
    return bytes;
}

void ExpectOneSubtitleALine(const std::string &sync)
{
    static const std::regex stamp("^[0-9]{2,} :[0-9]{2} :[0-9]{2}  .+$");
    // A UTF-8 byte order mark may open the first line.
    std::istringstream lines(sync.compare(0, 3, "\xEF\xBB\xBF") == 0 ? sync.substr(3) : sync);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        number++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        EXPECT_TRUE(std::regex_match(line, stamp)) << "line " << number << ": " << line;
    }
    EXPECT_GT(number, 0);
}

void FilterTest::SetUp()
{
    conversion_state = ConversionState{};
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("velmora-") + info->test_suite_name() + "-" + info->name();
    for (char &c : name) {
        if (c == '/')
            c = '-';
    }
    std::filesystem::path path = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    directory_ = path.string();
}

void FilterTest::TearDown()
{
    CloseStreams();
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

void FilterTest::OpenStreams(const std::string &input, std::size_t stdio_buffer)
{
    std::string base = (std::filesystem::path(directory_) / std::to_string(++file_count_)).string();
    std::string input_path = base + ".smi";
    output_path_ = base + ".txt";
    WriteBinaryFile(input_path, input);
    // Binary first: the Windows text mode would spoil a UTF-16 file before its mark is seen.
    conversion_state.input_stream = fopen(input_path.c_str(), "rb");
    ASSERT_NE(conversion_state.input_stream, nullptr);
    if (stdio_buffer > 0)
        setvbuf(conversion_state.input_stream, nullptr, stdio_buffer == 1 ? _IONBF : _IOFBF,
                stdio_buffer);
    bool bytes = DetectTextEncoding() == TextEncoding::Bytes;
#if defined(_WIN32)
    if (bytes) {
        fclose(conversion_state.input_stream);
        conversion_state.input_stream = fopen(input_path.c_str(), "r");
        ASSERT_NE(conversion_state.input_stream, nullptr);
        if (stdio_buffer > 0)
            setvbuf(conversion_state.input_stream, nullptr, stdio_buffer == 1 ? _IONBF : _IOFBF,
                    stdio_buffer);
        DetectTextEncoding();
    }
#endif
    conversion_state.output_stream = fopen(output_path_.c_str(), bytes ? "w" : "wb");
    ASSERT_NE(conversion_state.output_stream, nullptr);
}

std::string FilterTest::CloseAndReadOutput()
{
    CloseStreams();
    return ReadBinaryFile(output_path_);
}

std::string FilterTest::ConvertText(const std::string &input, ConversionMode mode)
{
    OpenStreams(input);
    if (conversion_state.input_stream == nullptr || conversion_state.output_stream == nullptr)
        return "(streams not open)";
    ConversionState::Options &options = conversion_state.options;
    options.subtitle_listener = options.cue_format != CueFormat::None ? CueListener() : nullptr;
    if (options.merges_classes)
        options.subtitle_listener = MergeListener();
    RunConversion(mode);
    missed_sync_tag_ = MissedSyncTag();
    return CloseAndReadOutput();
}

void FilterTest::ExpectSyncText(const std::string &input, const std::string &expected)
{
    std::string text = ConvertText(input, ConversionMode::Sync);
    if (expected == NO_SYNC_TAG) {
        EXPECT_TRUE(missed_sync_tag_);
        EXPECT_EQ(text, "");
    } else {
        EXPECT_FALSE(missed_sync_tag_);
        EXPECT_EQ(text, LineEnds(expected));
    }
}
