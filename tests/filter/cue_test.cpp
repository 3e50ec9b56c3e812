// The timed formats: where each cue ends, in which order cues come, how lines and paragraphs
// are kept, and what each format escapes.
#include "cue_path.h"
#include "filter_fixture.h"
#include "legacy_colour.h"

#include <cstring>
#include <ostream>

namespace
{

// «ko» and «ga» in Korean, as UTF-8.
#define KO "\xEC\x95\x88"
#define GA "\xEA\xB0\x80"
#define GA10 GA GA GA GA GA GA GA GA GA GA

struct EndCase {
    const char *name;
    const char *chosen_class; // "" for none
    std::string input;
    std::string tsv; // rows after the header; LF stands for the platform's line end
};

std::ostream &operator<<(std::ostream &stream, const EndCase &row)
{
    return stream << row.name;
}

const EndCase END_CASES[] = {
    {"OneSyncTwoParagraphs", "",
     "<SYNC Start=1000><P Class=KRCC>" KO "<P Class=ENCC>Hello\n"
     "<SYNC Start=3000><P Class=ENCC>&nbsp;\n",
     "1000\t3000\tKRCC\t" KO "\n1000\t3000\tENCC\tHello\n"},
    {"OneSyncTwoParagraphsOneClass", "ENCC",
     "<SYNC Start=1000><P Class=KRCC>" KO "<P Class=ENCC>Hello\n"
     "<SYNC Start=3000><P Class=ENCC>&nbsp;\n",
     "1000\t3000\tENCC\tHello\n"},
    // Starts that go back end a cue after 4 s; the cues come out interleaved by time.
    {"OneLanguageAfterTheOther", "",
     "<SYNC Start=1000><P Class=ENCC>A\n<SYNC Start=2000><P Class=ENCC>B\n"
     "<SYNC Start=1000><P Class=KRCC>" KO "\n<SYNC Start=2000><P Class=KRCC>" GA "\n",
     "1000\t2000\tENCC\tA\n1000\t2000\tKRCC\t" KO "\n2000\t6000\tENCC\tB\n2000\t6000\tKRCC\t" GA
     "\n"},
    {"OwnSyncPerClassAtOtherTimes", "",
     "<SYNC Start=1000><P Class=ENCC>A\n<SYNC Start=1500><P Class=KRCC>" KO "\n"
     "<SYNC Start=3000><P Class=ENCC>B\n",
     "1000\t1500\tENCC\tA\n1500\t3000\tKRCC\t" KO "\n3000\t7000\tENCC\tB\n"},
    {"OwnSyncPerClassAtOtherTimesOneClass", "ENCC",
     "<SYNC Start=1000><P Class=ENCC>A\n<SYNC Start=1500><P Class=KRCC>" KO "\n"
     "<SYNC Start=3000><P Class=ENCC>B\n",
     "1000\t3000\tENCC\tA\n3000\t7000\tENCC\tB\n"},
    {"OwnSyncPerClassAtEqualTimes", "",
     "<SYNC Start=1000><P Class=ENCC>A\n<SYNC Start=1000><P Class=KRCC>" KO "\n"
     "<SYNC Start=2000><P Class=ENCC>B\n<SYNC Start=2000><P Class=KRCC>" GA "\n",
     "1000\t2000\tENCC\tA\n1000\t2000\tKRCC\t" KO "\n2000\t6000\tENCC\tB\n2000\t6000\tKRCC\t" GA
     "\n"},
    // A blank subtitle's SYNC ends a cue, unless it starts at the cue's own time.
    {"EqualStartsArePassedOver", "",
     "<SYNC Start=1000><P>A\n<SYNC Start=1000><P>&nbsp;\n<SYNC Start=2500><P>&nbsp;\n",
     "1000\t2500\t\tA\n"},
    {"LastCueLastsFourSeconds", "", "<SYNC Start=4294967295><P>A", "4294967295\t4294971295\t\tA\n"},
    // With a class: a SYNC with no P counts, one whose P has no class or another does not.
    {"SyncWithoutParagraphCounts", "ENCC",
     "<SYNC Start=1000><P Class=ENCC>A\n<SYNC Start=2000>&nbsp;\n", "1000\t2000\tENCC\tA\n"},
    {"ParagraphWithoutClassDoesNotCount", "ENCC",
     "<SYNC Start=1000><P Class=ENCC>A\n<SYNC Start=2000><P>x\n<SYNC Start=3000><P Class=ENCC>B\n",
     "1000\t3000\tENCC\tA\n3000\t7000\tENCC\tB\n"},
    // Lines belong to the P tag above them; before the first and after </P> to no class.
    {"ParagraphsAndLines", "",
     "<SYNC Start=1000>lead\n<P Class=ENCC>a <br>\n b  c</P> tail<P Class=KRCC>&nbsp;",
     "1000\t5000\t\tlead\n1000\t5000\tENCC\ta b c\n1000\t5000\t\ttail\n"},
    {"ClassNamedWithAComma", "A,B", "<SYNC Start=1000><P Class=\"A,B\">x\n<SYNC Start=2000>&nbsp;",
     "1000\t2000\tA,B\tx\n"},
    {"ListOfTwo", "B,A",
     "<SYNC Start=1000><P Class=A>x\n<SYNC Start=1500><P Class=C>y\n<SYNC Start=2000><P Class=b>z",
     "1000\t2000\tA\tx\n2000\t6000\tb\tz\n"},
    // A class longer than the filter keeps loses its cut character whole: the rows stay UTF-8.
    {"LongClassCutBeforeACharacter", "", "<SYNC Start=1000><P Class=x" GA10 GA10 GA10 GA10 ">A",
     "1000\t5000\tx" GA10 GA10 "\tA\n"},
};

class CueEndTest : public FilterTest, public ::testing::WithParamInterface<EndCase>
{
};

TEST_P(CueEndTest, TsvRows)
{
    const EndCase &row = GetParam();
    std::strcpy(conversion_state.options.chosen_class, row.chosen_class);
    conversion_state.options.cue_format = CueFormat::Tsv;
    conversion_state.options.utf8_output = true;
    for (bool byte_at_a_time : {false, true}) {
        conversion_state.options.byte_at_a_time = byte_at_a_time;
        EXPECT_EQ(ConvertText(row.input, ConversionMode::Sync),
                  LineEnds("start\tend\tclass\ttext\n" + row.tsv))
            << (byte_at_a_time ? "steps alone" : "fast path");
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, CueEndTest, ::testing::ValuesIn(END_CASES), RowName{});

struct FormatCase {
    const char *name;
    CueFormat format;
    std::string cues;  // of ESCAPED
    std::string empty; // of a file with SYNC tags and no cue
};

std::ostream &operator<<(std::ostream &stream, const FormatCase &row)
{
    return stream << row.name;
}

// Markup characters, quotes, controls, a tab in a class, and two lines.
const char ESCAPED[] = "<SYNC Start=3725001><P Class=\"E\tN\">1 &lt; 2 &amp;&amp; \"q\" \\ "
                       "\x01\x08\x0C\x1F<br>--&gt; x\n<SYNC Start=360000000>&nbsp;";
const char NO_CUE[] = "<SYNC Start=1000><P Class=ENCC>&nbsp;\n<SYNC Start=2000> <br>\n";

const FormatCase FORMAT_CASES[] = {
    {"Srt", CueFormat::Srt,
     "1\n01:02:05,001 --> 100:00:00,000\n1 < 2 && \"q\" \\ \x01\x08\x0C\x1F\n--> x\n\n", ""},
    {"Vtt", CueFormat::Vtt,
     "WEBVTT\n\n01:02:05.001 --> 100:00:00.000\n"
     "1 &lt; 2 &amp;&amp; \"q\" \\ \x01\x08\x0C\x1F\n--&gt; x\n\n",
     "WEBVTT\n\n"},
    {"Tsv", CueFormat::Tsv,
     "start\tend\tclass\ttext\n3725001\t360000000\tE N\t1 < 2 && \"q\" \\ \x01\x08\x0C\x1F --> x\n",
     "start\tend\tclass\ttext\n"},
    {"Json", CueFormat::Json,
     "{\"start\":3725001,\"end\":360000000,\"class\":\"E\\tN\",\"text\":\"1 < 2 && \\\"q\\\" \\\\ "
     "\\u0001\\b\\f\\u001f\\n--> x\"}\n",
     ""},
};

class CueFormatTest : public FilterTest, public ::testing::WithParamInterface<FormatCase>
{
};

TEST_P(CueFormatTest, EscapesAndEmptyFile)
{
    const FormatCase &row = GetParam();
    conversion_state.options.cue_format = row.format;
    conversion_state.options.utf8_output = true;
    EXPECT_EQ(ConvertText(ESCAPED, ConversionMode::Sync), LineEnds(row.cues));
    EXPECT_EQ(ConvertText(NO_CUE, ConversionMode::Sync), LineEnds(row.empty));
    EXPECT_FALSE(missed_sync_tag_);
    EXPECT_EQ(ConvertText("no subtitle", ConversionMode::Sync), "");
    EXPECT_TRUE(missed_sync_tag_);
}

INSTANTIATE_TEST_SUITE_P(Formats, CueFormatTest, ::testing::ValuesIn(FORMAT_CASES), RowName{});

struct StyleCase {
    const char *name;
    std::string text; // of one subtitle, its lines in one P
    std::string srt;  // the cue's lines
    std::string vtt;  // "" for the same as srt
};

std::ostream &operator<<(std::ostream &stream, const StyleCase &row)
{
    return stream << row.name;
}

const StyleCase STYLE_CASES[] = {
    {"RepeatedTagsCount", "<i><i>a</i>b</i>c", "<i>ab</i>c", ""},
    {"CrossedTagsNestAgain", "<b>a<i>b</b>c</i>", "<b>a<i>b</i></b><i>c</i>", ""},
    {"ColourInsideItalic", "<i>a<font color=red>b</font>c</i>",
     "<i>a<font color=\"#ff0000\">b</font>c</i>", "<i>abc</i>"},
    {"BlanksStandBetweenTags", "<i>a </i>b a<i> b</i>", "<i>a</i> b a <i>b</i>", ""},
    {"EmptyAndBlankStylesAreNotWritten", "<i></i>a<b> </b>c<u>", "a c", ""},
    {"UnclosedStylesCloseWithTheCue", "<U>a<EM class=x>b<strong>c", "<u>a<i>b<b>c</b></i></u>", ""},
    {"ClosingTagOfAnotherKindClosesNothing", "<em>a</i>b</em>c", "<i>ab</i>c", ""},
    {"FontsSideBySide", "<font color=red>a<font color=blue>b</font>c</font>",
     "<font color=\"#ff0000\">a</font><font color=\"#0000ff\">b</font><font "
     "color=\"#ff0000\">c</font>",
     "abc"},
    {"FontWithoutColourCounts", "<font color=red>a<font face=x>b</font>c</font>d",
     "<font color=\"#ff0000\">abc</font>d", "abcd"},
    {"RejectedColourCounts", "<font color=red>a<font color=transparent>b</font>c</font>d",
     "<font color=\"#ff0000\">abc</font>d", "abcd"},
    {"StylesGoOnAcrossLines", "<i>a<br>b</i><br>c", "<i>a\nb</i>\nc", ""},
    {"ParagraphEndsStyles", "<i>a<P>b</P><b>c", "<i>a</i>\nb\n<b>c</b>", ""},
    {"ReferenceIsText", "&lt;i&gt;a<i>&amp;</i>", "<i>a<i>&</i>", "&lt;i&gt;a<i>&amp;</i>"},
};

class CueStyleTest : public FilterTest, public ::testing::WithParamInterface<StyleCase>
{
};

// Styles are the tags' own, well nested, whatever the input's tags; WebVTT has no colour.
TEST_P(CueStyleTest, SrtAndVttCues)
{
    const StyleCase &row = GetParam();
    std::string input = "<SYNC Start=1000><P>" + row.text + "\n<SYNC Start=2000>&nbsp;";
    conversion_state.options.utf8_output = true;
    for (CueFormat format : {CueFormat::Srt, CueFormat::Vtt}) {
        conversion_state.options.cue_format = format;
        std::string head = format == CueFormat::Srt ? "1\n00:00:01,000 --> 00:00:02,000\n"
                                                    : "WEBVTT\n\n00:00:01.000 --> 00:00:02.000\n";
        std::string text = format == CueFormat::Vtt && !row.vtt.empty() ? row.vtt : row.srt;
        for (bool byte_at_a_time : {false, true}) {
            conversion_state.options.byte_at_a_time = byte_at_a_time;
            EXPECT_EQ(ConvertText(input, ConversionMode::Sync), LineEnds(head + text + "\n\n"))
                << (format == CueFormat::Srt ? "srt" : "vtt")
                << (byte_at_a_time ? ", steps alone" : ", fast path");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Tags, CueStyleTest, ::testing::ValuesIn(STYLE_CASES), RowName{});

struct ColourCase {
    const char *value;
    std::uint32_t rgb; // or NO_COLOUR
};

// Colours as HTML reads a font's color, its recovery of malformed values too.
TEST(LegacyColourTest, ReadsAsHtmlDoes)
{
    const ColourCase CASES[] = {
        {"Silver", 0xc0c0c0},
        {"#FF80C0", 0xff80c0},
        {"ff80c0", 0xff80c0},
        {"#f0c", 0xff00cc},
        {" RED ", 0xff0000},
        {"chucknorris", 0xc00000},
        {"#abcd", 0xabcd00},
        {"abc", 0x0a0b0c},
        {"#1234567890ab", 0x125690},
        {"transparent", NO_COLOUR},
        {"", NO_COLOUR},
        {" ", 0x000000},
        {"\xEA\xB0\x80"
         "ff",
         0x000f0f},
        {"\xF0\x9F\x98\x80"
         "ff",
         0x00ff00},
    };
    for (const ColourCase &row : CASES) {
        const auto *value = reinterpret_cast<const unsigned char *>(row.value);
        EXPECT_EQ(ParseLegacyColour(value, std::strlen(row.value), false), row.rgb) << row.value;
    }
}

struct MergeCase {
    const char *name;
    const char *chosen_class; // "" for every class
    std::string input;
    std::string json; // the merged JSON Lines; LF stands for the platform's line end
};

std::ostream &operator<<(std::ostream &stream, const MergeCase &row)
{
    return stream << row.name;
}

// KRCC «ko» from 1000 to 3000 beside ENCC «A» from start_a to 5000.
std::string HalfPair(const char *start_a)
{
    return std::string("<SYNC Start=1000><P Class=KRCC>" KO "\n<SYNC Start=") + start_a +
           "><P Class=ENCC>A\n<SYNC Start=3000><P Class=KRCC>&nbsp;\n"
           "<SYNC Start=5000><P Class=ENCC>&nbsp;\n";
}

const MergeCase MERGE_CASES[] = {
    {"OverlapOfHalfJoins", "", HalfPair("2000"),
     "{\"start\":1000,\"end\":5000,\"text\":{\"KRCC\":\"" KO "\",\"ENCC\":\"A\"}}\n"},
    // Less than half: apart, the first cut where the second begins.
    {"LessThanHalfIsCut", "", HalfPair("2001"),
     "{\"start\":1000,\"end\":2001,\"text\":{\"KRCC\":\"" KO "\"}}\n"
     "{\"start\":2001,\"end\":5000,\"text\":{\"ENCC\":\"A\"}}\n"},
    {"ListOrdersAndFileSpells", "encc,krcc", HalfPair("2000"),
     "{\"start\":1000,\"end\":5000,\"text\":{\"ENCC\":\"A\",\"KRCC\":\"" KO "\"}}\n"},
    {"ListOfOneIsThatClass", "ENCC", HalfPair("2000"),
     "{\"start\":2000,\"end\":5000,\"text\":{\"ENCC\":\"A\"}}\n"},
    {"EqualStartsInOneClassJoin", "",
     "<SYNC Start=1000><P Class=ENCC>A\n<SYNC Start=1000><P Class=ENCC>B\n<SYNC Start=2000>&nbsp;",
     "{\"start\":1000,\"end\":2000,\"text\":{\"ENCC\":\"A\\nB\"}}\n"},
    // One class never joins itself by overlap, however long.
    {"ChainAcrossClasses", "",
     "<SYNC Start=1000><P Class=KRCC>" KO "\n<SYNC Start=2000><P Class=ENCC>A\n"
     "<SYNC Start=3000><P Class=KRCC>" GA "\n<SYNC Start=4000><P Class=ENCC>&nbsp;\n"
     "<SYNC Start=5000><P Class=KRCC>&nbsp;\n",
     "{\"start\":1000,\"end\":5000,\"text\":{\"KRCC\":\"" KO "\\n" GA "\",\"ENCC\":\"A\"}}\n"},
    {"TextOfNoClassFirst", "", "<SYNC Start=1000><P Class=ENCC>a</P>tail\n<SYNC Start=2000>&nbsp;",
     "{\"start\":1000,\"end\":2000,\"text\":{\"\":\"tail\",\"ENCC\":\"a\"}}\n"},
    {"OneLanguageAfterTheOther", "",
     "<SYNC Start=1000><P Class=ENCC>A\n<SYNC Start=2000><P Class=ENCC>B\n"
     "<SYNC Start=1000><P Class=KRCC>" KO "\n<SYNC Start=2000><P Class=KRCC>" GA "\n",
     "{\"start\":1000,\"end\":2000,\"text\":{\"ENCC\":\"A\",\"KRCC\":\"" KO "\"}}\n"
     "{\"start\":2000,\"end\":6000,\"text\":{\"ENCC\":\"B\",\"KRCC\":\"" GA "\"}}\n"},
};

class CueMergeTest : public FilterTest, public ::testing::WithParamInterface<MergeCase>
{
};

TEST_P(CueMergeTest, JsonLines)
{
    const MergeCase &row = GetParam();
    std::strcpy(conversion_state.options.chosen_class, row.chosen_class);
    conversion_state.options.cue_format = CueFormat::Json;
    conversion_state.options.merges_classes = true;
    conversion_state.options.utf8_output = true;
    for (bool byte_at_a_time : {false, true}) {
        conversion_state.options.byte_at_a_time = byte_at_a_time;
        EXPECT_EQ(ConvertText(row.input, ConversionMode::Sync), LineEnds(row.json))
            << (byte_at_a_time ? "steps alone" : "fast path");
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, CueMergeTest, ::testing::ValuesIn(MERGE_CASES), RowName{});

// Each class block as its own cue has it, styles kept apart; Sync Save a line per class.
TEST_F(FilterTest, MergedCueShapes)
{
    const std::string input = "<SYNC Start=1000><P Class=KRCC><i>" KO "<P Class=ENCC>A & "
                              "<b>B<P Class=KRCC>" GA "</i>\n<SYNC Start=2000>&nbsp;";
    const struct {
        CueFormat format;
        const char *expected;
    } rows[] = {
        {CueFormat::Srt,
         "1\n00:00:01,000 --> 00:00:02,000\n<i>" KO "</i>\n" GA "\nA & <b>B</b>\n\n"},
        {CueFormat::Vtt,
         "WEBVTT\n\n00:00:01.000 --> 00:00:02.000\n<i>" KO "</i>\n" GA "\nA &amp; <b>B</b>\n\n"},
        {CueFormat::None, "00 :00 :01  " KO " " GA "\n00 :00 :01  A & B\n"},
    };
    conversion_state.options.merges_classes = true;
    conversion_state.options.utf8_output = true;
    for (const auto &row : rows) {
        conversion_state.options.cue_format = row.format;
        EXPECT_EQ(ConvertText(input, ConversionMode::Sync), LineEnds(row.expected));
    }
}

// Past the limits a file fails whole and writes nothing.
TEST_F(FilterTest, CuesPastTheirLimitsFailTheFile)
{
    conversion_state.options.cue_format = CueFormat::Srt;
    conversion_state.options.utf8_output = true;
    std::string long_cue = "<SYNC Start=1><P>" + std::string(CUE_TEXT_LIMIT + 1, 'a');
    EXPECT_EQ(ConvertText(long_cue, ConversionMode::Sync), "");
    EXPECT_EQ(FailedCues(), CueFailure::CueTooLong);

    // In order past the window, cues are written as read; a start behind them cannot be
    // put in order any more (the programs then drop what was written).
    std::string in_order;
    for (int k = 0; in_order.size() < CUE_WINDOW + 64 * 1024; k++)
        in_order += "<SYNC Start=" + std::to_string(1000 + k) + "><P>" + std::string(100, 'x');
    ConvertText(in_order + "<SYNC Start=5><P>late", ConversionMode::Sync);
    EXPECT_EQ(FailedCues(), CueFailure::StartsWentBack);
    EXPECT_FALSE(ConvertText(in_order, ConversionMode::Sync).empty());
    EXPECT_EQ(FailedCues(), CueFailure::None);

    // Merged: a cue that starts with the one before joins it, up to the same limit, and past
    // the window the merge too goes as it reads.
    conversion_state.options.merges_classes = true;
    std::string together;
    for (std::size_t k = 0; k * 999 <= CUE_TEXT_LIMIT; k++)
        together +=
            "<SYNC Start=1><P Class=C" + std::to_string(k % 2) + ">" + std::string(999, 'a');
    EXPECT_EQ(ConvertText(together, ConversionMode::Sync), "");
    EXPECT_EQ(FailedCues(), CueFailure::CueTooLong);
    ConvertText(in_order + "<SYNC Start=5><P>late", ConversionMode::Sync);
    EXPECT_EQ(FailedCues(), CueFailure::StartsWentBack);
}

} // namespace
