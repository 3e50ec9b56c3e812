// Whole inputs: every prefix of a typical file, golden files, real files, repeated conversions
// and the UTF-16 check.
#include "byte_io.h"
#include "filter_fixture.h"

#include <cstring>
#include <filesystem>
#include <ostream>
#include <regex>
#include <vector>

namespace
{

using namespace std::string_literals;

const char TYPICAL_INPUT[] = "<SAMI>\n<HEAD><TITLE>Harbour</TITLE>\n"
                             "<STYLE><!-- P { font-family: Arial; } --></STYLE></HEAD>\n"
                             "<BODY>\n"
                             "<SYNC Start=1500><P Class=ENCC>\n"
                             "Fog &amp; rain,<br>\n"
                             "all night.\n"
                             "<SYNC Start=4200><P Class=ENCC>&nbsp;\n"
                             "<SYNC Start=5100><P Class=ENCC>Keep <i>the</i> lamp lit.</P></SYNC>\n"
                             "<SYNC Start=8800><P Class=ENCC>&nbsp;</P></SYNC>\n"
                             "</BODY></SAMI>\n";

/* WithoutUnfinishedEnd
 *     text less what only the end of a prefix makes: an entity or a tag cut off (written as
 *     text, with the stamp of a subtitle it alone fills) and the line end that closes the last
 *     subtitle. */
std::string WithoutUnfinishedEnd(const std::string &text)
{
    static const std::regex unfinished(
        "((\r?\n)?[0-9]{2,} :[0-9]{2} :[0-9]{2}  )?( ?(&[A-Za-z0-9#]*|<))?(\r?\n)?$");
    return std::regex_replace(text, unfinished, "");
}

bool StartsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Every prefix ends cleanly: no hang, no end-of-input byte, and nothing the whole input lacks.
TEST_F(FilterTest, EveryPrefixOfTypicalInputEndsCleanly)
{
    const std::string input = TYPICAL_INPUT;
    const std::string whole_plain = ConvertText(input, ConversionMode::Plain);
    const std::string whole_sync = ConvertText(input, ConversionMode::Sync);
    for (size_t length = 0; length <= input.size(); length++) {
        std::string prefix = input.substr(0, length);
        std::string plain = ConvertText(prefix, ConversionMode::Plain);
        std::string sync = ConvertText(prefix, ConversionMode::Sync);
        EXPECT_TRUE(StartsWith(whole_plain, WithoutUnfinishedEnd(plain)))
            << length << ": " << plain;
        EXPECT_TRUE(StartsWith(whole_sync, WithoutUnfinishedEnd(sync))) << length << ": " << sync;
        EXPECT_EQ(plain.find('\xFF'), std::string::npos) << length;
        EXPECT_EQ(sync.find('\xFF'), std::string::npos) << length;
    }
}

struct GoldenCase {
    const char *name;
    const char *input;
    const char *plain;
    const char *sync;
};

std::ostream &operator<<(std::ostream &stream, const GoldenCase &row)
{
    return stream << row.name;
}

// The expected files hold LF line ends; the inputs are as their authors would save them.
const GoldenCase GOLDEN_CASES[] = {
    {"EnglishParagraphLayoutLf", "harbour_lf.smi", "harbour_lf.plain.txt", "harbour_lf.sync.txt"},
    {"KoreanClosedTagsCp949CrLf", "bridge_cp949_crlf.smi", "bridge_cp949_crlf.plain.txt",
     "bridge_cp949_crlf.sync.txt"},
};

class GoldenTest : public FilterTest, public ::testing::WithParamInterface<GoldenCase>
{
  protected:
    static std::string DataFile(const char *name)
    {
        return std::string(VELMORA_TEST_DATA_DIR) + "/" + name;
    }
};

TEST_P(GoldenTest, PlainMode)
{
    std::string input = ReadBinaryFile(DataFile(GetParam().input));
    ASSERT_FALSE(input.empty());
    EXPECT_EQ(ConvertText(input, ConversionMode::Plain),
              LineEnds(ReadBinaryFile(DataFile(GetParam().plain))));
}

TEST_P(GoldenTest, SyncMode)
{
    std::string input = ReadBinaryFile(DataFile(GetParam().input));
    ASSERT_FALSE(input.empty());
    EXPECT_EQ(ConvertText(input, ConversionMode::Sync),
              LineEnds(ReadBinaryFile(DataFile(GetParam().sync))));
}

INSTANTIATE_TEST_SUITE_P(Files, GoldenTest, ::testing::ValuesIn(GOLDEN_CASES), RowName());

// A CR LF split between two reads of the stream is still one line end, whatever the buffer.
TEST_F(FilterTest, StreamBufferSizeDoesNotChangeOutput)
{
    std::string input =
        ReadBinaryFile(std::string(VELMORA_TEST_DATA_DIR) + "/bridge_cp949_crlf.smi");
    std::string expected = ConvertText(input, ConversionMode::Sync);
    static const size_t BUFFER_SIZES[] = {1, 2, 3, 7, 64};
    for (size_t size : BUFFER_SIZES) {
        OpenStreams(input, size);
        RunConversion(ConversionMode::Sync);
        EXPECT_EQ(CloseAndReadOutput(), expected) << "buffer of " << size;
    }
}

// The filter reads in blocks: a CR LF, a CR before CR LF, or a 0x1A split between two
// blocks reads as it does anywhere else.
TEST_F(FilterTest, LineEndsSplitBetweenBlocks)
{
    const std::string before(READ_BUFFER_SIZE - 1, 'a');
    struct Split {
        std::string input;
        std::string plain;
    };
    const Split splits[] = {
        {before + "\r\nb", before + "\nb"},
        {before.substr(1) + "\r\r\nb", before.substr(1) + "\r\nb"},
        {before + "\r\x1A" + "b", before + "\r"},
        {before + "\r", before + "\r"},
        {before + "x\x1A" + "b", before + "x"},
    };
    for (const Split &split : splits)
        EXPECT_EQ(ConvertText(split.input, ConversionMode::Plain), LineEnds(split.plain));
}

// Files other people wrote: each converts in both modes, UTF-16 ones as their UTF-8 twins do;
// in sync mode every line is one subtitle, never a bare stamp, and no parameter block's text
// reaches either mode.
TEST_F(FilterTest, RealFilesConvertInBothModes)
{
    int converted = 0;
    int utf16 = 0;
    for (const auto &entry : std::filesystem::directory_iterator(VELMORA_CORPUS_DIR)) {
        std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".md")
            continue;
        SCOPED_TRACE(name);
        std::string input = ReadBinaryFile(entry.path().string());
        std::string plain = ConvertText(input, ConversionMode::Plain);
        std::string sync = ConvertText(input, ConversionMode::Sync);
        EXPECT_FALSE(plain.empty());
        EXPECT_LE(plain.size(), LineEnds(input).size());
        if (name.find("utf16") != std::string::npos) {
            // The same text as its UTF-8 twin gives, in UTF-16 of the same byte order.
            std::string twin = Utf16ToUtf8(Utf16Units(input));
            EXPECT_EQ(plain, Utf16File(Utf8ToUtf16(ConvertText(twin, ConversionMode::Plain)), true,
                                       false));
            sync = ConvertText(twin, ConversionMode::Sync);
            EXPECT_EQ(ConvertText(input, ConversionMode::Sync),
                      Utf16File(Utf8ToUtf16(sync), true, false));
            utf16++;
        } else if (input.find('\xFF') == std::string::npos) {
            EXPECT_EQ(plain.find('\xFF'), std::string::npos);
            EXPECT_EQ(sync.find('\xFF'), std::string::npos);
        }
        converted++;
        for (const char *markup : {"time:ms", "MSFT", "Name:", "font-", "text-align"}) {
            EXPECT_EQ(plain.find(markup), std::string::npos) << markup;
            EXPECT_EQ(sync.find(markup), std::string::npos) << markup;
        }
        if (name.rfind("trap_srt", 0) == 0) { // no SYNC tag at all: not a SAMI subtitle
            EXPECT_EQ(ConvertText(input, ConversionMode::Sync), "");
            EXPECT_TRUE(missed_sync_tag_);
        } else {
            ExpectOneSubtitleALine(sync);
        }
    }
    EXPECT_GE(converted, 20);
    EXPECT_EQ(utf16, 2);
}

struct MarkCase {
    const char *name;
    std::string input;
    TextEncoding encoding;
    std::string plain; // for UTF-16, the output's bytes; else LF stands for the line end
};

std::ostream &operator<<(std::ostream &stream, const MarkCase &row)
{
    return stream << row.name;
}

const MarkCase MARK_CASES[] = {
    {"LittleEndianMark", "\xFF\xFE<\0S\0"s, TextEncoding::Utf16Le, "\xFF\xFE"},
    {"BigEndianMark", "\xFE\xFF\0<\0S"s, TextEncoding::Utf16Be, "\xFE\xFF"},
    {"EmptyInput", "", TextEncoding::Bytes, ""},
    {"SingleFF", "\xFF", TextEncoding::Bytes, "\xFF"},
    {"SingleFE", "\xFE", TextEncoding::Bytes, "\xFE"},
    {"FFThenFF", "\xFF\xFF<i>x", TextEncoding::Bytes, "\xFF\xFFx"},
    {"FEThenFE", "\xFE\xFE<i>x", TextEncoding::Bytes, "\xFE\xFEx"},
    {"FFThenCrLf", "\xFF\r\nx", TextEncoding::Bytes, "\xFF\nx"},
    {"Utf8Mark", "\xEF\xBB\xBF<i>x</i>", TextEncoding::Bytes, "\xEF\xBB\xBFx"},
};

class Utf16MarkTest : public FilterTest, public ::testing::WithParamInterface<MarkCase>
{
};

// Whatever the check looked at is read again: the conversion after it loses nothing.
TEST_P(Utf16MarkTest, DetectsMarkAndLosesNothing)
{
    const MarkCase &row = GetParam();
    OpenStreams(row.input);
    EXPECT_EQ(conversion_state.reading.encoding, row.encoding);
    RunConversion(ConversionMode::Plain);
    bool bytes = row.encoding == TextEncoding::Bytes;
    EXPECT_EQ(CloseAndReadOutput(), bytes ? LineEnds(row.plain) : row.plain);
}

INSTANTIATE_TEST_SUITE_P(Inputs, Utf16MarkTest, ::testing::ValuesIn(MARK_CASES), RowName());

/* MakeMixedInput
 *     A subtitle of about size bytes made of the pieces the scans and steps must agree on, in
 *     an order fixed by seed. */
std::string MakeMixedInput(size_t size, unsigned seed)
{
    static const char *const PIECES[] = {"<SYNC Start=1000>",
                                         "<P Class=ENCC>",
                                         "<p class='KRCC'>",
                                         "</P>",
                                         "<br>",
                                         "<BR />",
                                         "&nbsp;",
                                         "&amp;",
                                         "&#39;",
                                         "&lt;br&gt;",
                                         "&",
                                         ">",
                                         "<",
                                         " ",
                                         "  ",
                                         "\t",
                                         "\r\n",
                                         "\r",
                                         "\n",
                                         "word",
                                         "two words",
                                         "\xEC\x95\x88",
                                         "<SYNC Start=\r\n2000>",
                                         "</SYNC>",
                                         "<!-- c > -->",
                                         "<i>",
                                         "x",
                                         "<STYLE>",
                                         "</style>",
                                         "<SAMIParam>",
                                         "</HEAD>",
                                         "<BODY>",
                                         "< ",
                                         "<9",
                                         "&nbsp",
                                         "&amp ",
                                         "&eacute;",
                                         "&#8217;",
                                         "&#150;",
                                         ">>",
                                         "&#x41g",
                                         "&#0000000000000000000000000000000000065;",
                                         "&nGt;",
                                         "&copy "};
    // Odd seeds give CP949 text, which is no UTF-8; even ones UTF-8, where every entity counts.
    std::string input = seed % 2 == 1 ? "\xBE\xC8" : "";
    unsigned state = seed;
    while (input.size() < size) {
        state = state * 1103515245u + 12345u;
        input += PIECES[(state >> 16) % std::size(PIECES)];
    }
    return input;
}

// The fast scans write what the byte-at-a-time steps write, on real files and on mixed ones
// that cross many block boundaries, in both modes, with and without a chosen class, whether
// the read buffer is filled whole or in blocks that end anywhere.
TEST_F(FilterTest, FastScansWriteWhatTheStepsWrite)
{
    std::vector<std::string> inputs;
    for (const auto &entry : std::filesystem::directory_iterator(VELMORA_CORPUS_DIR))
        inputs.push_back(ReadBinaryFile(entry.path().string()));
    for (unsigned seed = 1; seed <= 4; seed++)
        inputs.push_back(MakeMixedInput(3 * READ_BUFFER_SIZE, seed));
    for (const std::string &input : inputs) {
        for (const char *chosen : {"", "ENCC"}) {
            for (ConversionMode mode : {ConversionMode::Plain, ConversionMode::Sync}) {
                std::strcpy(conversion_state.options.chosen_class, chosen);
                conversion_state.options.byte_at_a_time = true;
                conversion_state.options.fill_limit = 0;
                std::string model = ConvertText(input, mode);
                conversion_state.options.byte_at_a_time = false;
                for (std::size_t fill_limit : {std::size_t{0}, std::size_t{64}, std::size_t{157}}) {
                    conversion_state.options.fill_limit = fill_limit;
                    ASSERT_EQ(ConvertText(input, mode), model)
                        << input.substr(0, 60) << (mode == ConversionMode::Sync ? " sync " : " ")
                        << chosen << " blocks of " << fill_limit;
                }
            }
        }
    }
}

// One process converts many files, as the window does: nothing of one conversion leaks
// into the next, however it ended.
TEST_F(FilterTest, ConversionsInARowAreIndependent)
{
    const std::string inputs[] = {
        "<SYNC Start=1000>",
        "<SYNC Start=2000><P>x",
        "ab&nbsp",
        "<SYNC Start=3000",
        "<SYNC Start=4000>Hi\n",
        "text<i",
        "a<br",
    };
    std::vector<std::string> fresh_plain;
    std::vector<std::string> fresh_sync;
    for (const std::string &input : inputs) {
        conversion_state = ConversionState{};
        fresh_plain.push_back(ConvertText(input, ConversionMode::Plain));
        conversion_state = ConversionState{};
        fresh_sync.push_back(ConvertText(input, ConversionMode::Sync));
    }
    for (int round = 0; round < 2; round++) {
        for (size_t k = 0; k < std::size(inputs); k++) {
            EXPECT_EQ(ConvertText(inputs[k], ConversionMode::Sync), fresh_sync[k]) << inputs[k];
            EXPECT_EQ(ConvertText(inputs[k], ConversionMode::Plain), fresh_plain[k]) << inputs[k];
        }
    }
}

} // namespace
