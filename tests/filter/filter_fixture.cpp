#include "filter_fixture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

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

void FilterTest::OpenStreams(const std::string &input)
{
    std::string base = (std::filesystem::path(directory_) / std::to_string(++file_count_)).string();
    std::string input_path = base + ".smi";
    output_path_ = base + ".txt";
    WriteBinaryFile(input_path, input);
    conversion_state.input_stream = fopen(input_path.c_str(), "r");
    conversion_state.output_stream = fopen(output_path_.c_str(), "w");
    ASSERT_NE(conversion_state.input_stream, nullptr);
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
    RunConversion(mode);
    return CloseAndReadOutput();
}
