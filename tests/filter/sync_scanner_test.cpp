// Sync mode: where stamps go, which subtitles are left out, and how a subtitle's lines join.
#include "filter_fixture.h"

#include <ostream>

namespace
{

struct Case {
    const char *name;
    std::string input;
    std::string sync; // LF stands for the platform's line end
};

std::ostream &operator<<(std::ostream &stream, const Case &row)
{
    return stream << row.name;
}

const Case CASES[] = {
    {"ParagraphLineEndTextLayout",
     "<SYNC Start=1000><P Class=ENCC>\nHello<br>\nworld\n"
     "<SYNC Start=3000><P Class=ENCC>&nbsp;\n"
     "<SYNC Start=3725500><P Class=ENCC>\nNext <i>line</i>\n",
     "00 :00 :01  Helloworld\n01 :02 :05  Next line\n"},
    {"SameLayoutWithCrLf",
     "<SYNC Start=1000><P Class=ENCC>\r\nHello<br>\r\nworld\r\n"
     "<SYNC Start=3000><P Class=ENCC>&nbsp;\r\n"
     "<SYNC Start=3725500><P Class=ENCC>\r\nNext <i>line</i>\r\n",
     "00 :00 :01  Helloworld\n01 :02 :05  Next line\n"},
    // Text on the tag's own line keeps its first letters.
    {"TextRightAfterSync", "<SYNC Start=1000>Hello", "00 :00 :01  Hello"},
    {"TextOnParagraphLine", "<SYNC Start=52752><P Class=ENCC>Before time began",
     "00 :00 :52  Before time began"},
    {"LineEndRightAfterSyncIsDropped", "<SYNC Start=1000>\nHello", "00 :00 :01  Hello"},
    {"CrLfRightAfterSyncIsDropped", "<SYNC Start=1000>\r\nHello", "00 :00 :01  Hello"},
    {"TagAfterParagraphIsSkipped", "<SYNC Start=1000><P><i>Hi</i>", "00 :00 :01  Hi"},
    {"BrRightAfterSyncIsSkippedPlainly", "<SYNC Start=1000><br>\nHi", "00 :00 :01  Hi"},
    {"GreaterThanRightAfterSyncIsDropped", "<SYNC Start=1000>>x", "00 :00 :01  x"},
    // Blank subtitles write nothing.
    {"BlankRightAfterSync", "<SYNC Start=9000>&nbsp;", ""},
    {"BlankLastInInput", "<SYNC Start=9000><P Class=ENCC>&nbsp;\n", ""},
    {"BlankThenSubtitleOnSameLine", "<SYNC Start=9000>&nbsp;<SYNC Start=10000>X", "00 :00 :10  X"},
    {"ClosedBlankThenClosedSubtitle",
     "<SYNC Start=1000><P>&nbsp;</P></SYNC>\n<SYNC Start=2000><P>Hi</P></SYNC>\n",
     "00 :00 :02  Hi"},
    // A stamp always begins a line.
    {"ClosingTagsOnTextLine",
     "<SYNC Start=1000><P>A</P></SYNC>\n<SYNC Start=2000><P>B</P></SYNC>\n",
     "00 :00 :01  A\n00 :00 :02  B"},
    {"ClosingTagsWithoutLineEnds",
     "<SYNC Start=1000><P>A</P></SYNC><SYNC Start=2000><P>B</P></SYNC>",
     "00 :00 :01  A\n00 :00 :02  B"},
    {"ClosingSyncAfterOwnLine",
     "<SYNC Start=1000><P>\nA\n</SYNC>\n<SYNC Start=2000><P>\nB\n</SYNC>\n",
     "00 :00 :01  A\n00 :00 :02  B\n"},
    {"TextBeforeSyncOnSameLine", "T<SYNC Start=1000>X", "T\n00 :00 :01  X"},
    {"HeaderLineEndsBeforeBody", "<TITLE>T</TITLE>\n<SYNC Start=1000><P>\nX", "T\n00 :00 :01  X"},
    {"FirstStampOpensNoEmptyLine", "<SAMI><BODY><SYNC Start=0><P>x", "00 :00 :00  x"},
    // The stamp is written whatever follows, unless the value itself is cut off.
    {"SyncAtEndOfInput", "<SYNC Start=1000>", "00 :00 :01  "},
    {"SyncAndParagraphAtEndOfInput", "<SYNC Start=1000><P Class=ENCC>", "00 :00 :01  "},
    {"ValueCutOffByEndOfInput", "Hi\n<SYNC Start=1000", "Hi\n"},
    {"EqualsCutOffByEndOfInput", "Hi\n<SYNC Start", "Hi\n"},
    {"ValueEmptyAtEndOfInput", "Hi\n<SYNC Start=", "Hi\n"},
    {"SyncWithoutEqualsTakesNextValue", "<SYNC><P>\nA\n<SYNC Start=2000><P>\nB", "00 :00 :02  B"},
    {"QuotedLowerCaseAttributes", "<SYNC start=\"9209\"><P class=\"ENCC\">\n   Hi\n</P></SYNC>\n",
     "00 :00 :09     Hi\n"},
    {"Cp949SubtitleOnParagraphLine",
     "<SYNC Start=61000><P Class=KRCC>\xBE\xC8\xB3\xE7<br>\n\x81S\x81r\n",
     "00 :01 :01  \xBE\xC8\xB3\xE7\x81S\x81r\n"},
};

class SyncScannerTest : public FilterTest, public ::testing::WithParamInterface<Case>
{
};

TEST_P(SyncScannerTest, WritesStampedLines)
{
    EXPECT_EQ(ConvertText(GetParam().input, ConversionMode::Sync), LineEnds(GetParam().sync));
}

INSTANTIATE_TEST_SUITE_P(Cases, SyncScannerTest, ::testing::ValuesIn(CASES), RowName());

} // namespace
