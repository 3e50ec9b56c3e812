// Sync mode: where stamps go, which subtitles are left out, and how a subtitle's lines join.
#include "filter_fixture.h"

#include <ostream>

namespace
{

struct Case {
    const char *name;
    std::string input;
    std::string sync; // LF stands for the platform's line end; or NO_SYNC_TAG
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
     "00 :00 :01  Hello world\n01 :02 :05  Next line\n"},
    {"SameLayoutWithCrLf",
     "<SYNC Start=1000><P Class=ENCC>\r\nHello<br>\r\nworld\r\n"
     "<SYNC Start=3000><P Class=ENCC>&nbsp;\r\n"
     "<SYNC Start=3725500><P Class=ENCC>\r\nNext <i>line</i>\r\n",
     "00 :00 :01  Hello world\n01 :02 :05  Next line\n"},
    // A subtitle is its text on one line, whatever stands around it.
    {"TextRightAfterSync", "<SYNC Start=1000>Hello", "00 :00 :01  Hello\n"},
    {"TextOnParagraphLine", "<SYNC Start=52752><P Class=ENCC>Before time began",
     "00 :00 :52  Before time began\n"},
    {"EntityFirstOnParagraphLine", "<SYNC Start=1000><P Class=ENCC>&quot;Run!&quot; he said.",
     "00 :00 :01  \"Run!\" he said.\n"},
    {"LineEndRightAfterSyncIsDropped", "<SYNC Start=1000>\nHello", "00 :00 :01  Hello\n"},
    {"CrLfRightAfterSyncIsDropped", "<SYNC Start=1000>\r\nHello", "00 :00 :01  Hello\n"},
    {"TagAfterParagraphIsSkipped", "<SYNC Start=1000><P><i>Hi</i>", "00 :00 :01  Hi\n"},
    {"BrAtStartOfSubtitleIsDropped", "<SYNC Start=1000><br>\nHi", "00 :00 :01  Hi\n"},
    {"GreaterThansOpeningSubtitleAreText", "<SYNC Start=1000><P Class=SUBTTL>>> COMING UP",
     "00 :00 :01  >> COMING UP\n"},
    {"WhiteSpaceRunsBecomeOneBlank",
     "<SYNC Start=1000><P>\n \t a \t\r b<br/>\n\n<BR>c &nbsp; d<i> </i>e \r\n\t",
     "00 :00 :01  a b c d e\n"},
    {"XhtmlBrJoinsLines", "<SYNC Start=1000><P>a<br />\nb<br clear=all>c", "00 :00 :01  a b c\n"},
    // Blank subtitles write nothing, not even their stamp.
    {"BlankRightAfterSync", "<SYNC Start=9000>&nbsp;", ""},
    {"BlankLastInInput", "<SYNC Start=9000><P Class=ENCC>&nbsp;\n", ""},
    {"BlankOnNextLine", "<SYNC Start=1000><P>\n&nbsp;\n<SYNC Start=2000><P>\nB", "00 :00 :02  B\n"},
    {"BlankThenSubtitleOnSameLine", "<SYNC Start=9000>&nbsp;<SYNC Start=10000>X",
     "00 :00 :10  X\n"},
    {"ClosedBlankThenClosedSubtitle",
     "<SYNC Start=1000><P>&nbsp;</P></SYNC>\n<SYNC Start=2000><P>Hi</P></SYNC>\n",
     "00 :00 :02  Hi\n"},
    // A stamp always begins a line.
    {"ClosingTagsOnTextLine",
     "<SYNC Start=1000><P>A</P></SYNC>\n<SYNC Start=2000><P>B</P></SYNC>\n",
     "00 :00 :01  A\n00 :00 :02  B\n"},
    {"ClosingTagsWithoutLineEnds",
     "<SYNC Start=1000><P>A</P></SYNC><SYNC Start=2000><P>B</P></SYNC>",
     "00 :00 :01  A\n00 :00 :02  B\n"},
    {"ClosingSyncAfterOwnLine",
     "<SYNC Start=1000><P>\nA\n</SYNC>\n<SYNC Start=2000><P>\nB\n</SYNC>\n",
     "00 :00 :01  A\n00 :00 :02  B\n"},
    // Nothing but subtitles: what stands before the first SYNC tag is not written.
    {"TextBeforeSyncOnSameLine", "T<SYNC Start=1000>X", "00 :00 :01  X\n"},
    {"HeaderIsNotWritten",
     "\xEF\xBB\xBF<SAMI><HEAD><TITLE>T</TITLE>\n<SAMIParam>\n Metrics {time:ms;}\n</SAMIParam>\n"
     "</HEAD><BODY>\n<SYNC Start=1000><P>\nX",
     "\xEF\xBB\xBF"
     "00 :00 :01  X\n"},
    {"FirstStampOpensNoEmptyLine", "<SAMI><BODY><SYNC Start=0><P>x", "00 :00 :00  x\n"},
    {"ByteOrderMarkThenStampOnFirstLine", "\xEF\xBB\xBF<SYNC Start=1000>Hi",
     "\xEF\xBB\xBF"
     "00 :00 :01  Hi\n"},
    // A SYNC tag cut off by the end of the input starts nothing.
    {"SyncAtEndOfInput", "<SYNC Start=1000>", ""},
    {"SyncAndParagraphAtEndOfInput", "<SYNC Start=1000><P Class=ENCC>", ""},
    {"ValueCutOffByEndOfInput", "\xEF\xBB\xBFHi\n<SYNC Start=1000", NO_SYNC_TAG},
    {"EqualsCutOffByEndOfInput", "Hi\n<SYNC Start", NO_SYNC_TAG},
    {"ValueEmptyAtEndOfInput", "Hi\n<SYNC Start=", NO_SYNC_TAG},
    {"SyncWithoutValueIsTimeZero", "<SYNC><P>\nA\n<SYNC Start=2000><P>\nB",
     "00 :00 :00  A\n00 :00 :02  B\n"},
    {"QuotedLowerCaseAttributes", "<SYNC start=\"9209\"><P class=\"ENCC\">\n   Hi\n</P></SYNC>\n",
     "00 :00 :09  Hi\n"},
    {"ParagraphsOfOneSubtitleAreBlankApart",
     "<SYNC Start=1000><P Class=KRCC>\xBE\xC8</P><P Class=ENCC>Hi</P><P>\n</P>",
     "00 :00 :01  \xBE\xC8 Hi\n"},
    {"Cp949SubtitleOnParagraphLine",
     "<SYNC Start=61000><P Class=KRCC>\xBE\xC8\xB3\xE7<br>\n\x81S\x81r\n",
     "00 :01 :01  \xBE\xC8\xB3\xE7 \x81S\x81r\n"},
};

class TagScannerTest : public FilterTest, public ::testing::WithParamInterface<Case>
{
};

TEST_P(TagScannerTest, WritesStampedLines)
{
    ExpectSyncText(GetParam().input, GetParam().sync);
}

INSTANTIATE_TEST_SUITE_P(Cases, TagScannerTest, ::testing::ValuesIn(CASES), RowName());

} // namespace
