// The character filter in both modes: what is skipped, what is copied, and where scans stop.
#include "filter_fixture.h"

#include <ostream>

namespace
{

struct Case {
    const char *name;
    std::string input;
    std::string plain; // LF stands for the platform's line end
    std::string sync;
};

std::ostream &operator<<(std::ostream &stream, const Case &row)
{
    return stream << row.name;
}

// Hex escapes are split from the letters after them: "\xFF" "b", not "\xFFb".
const Case CASES[] = {
    {"EmptyInputGivesEmptyOutput", "", "", ""},
    {"TextWithoutTagsIsCopied", "Hello", "Hello", "Hello"},
    {"EachEntityAndNothingElseIsRemoved", "a &lt;b&gt; c", "a b c", "a b c"},
    {"AmpersandRightAfterEntityIsDropped", "a&nbsp;&nbsp;b", "anbsp;b", "anbsp;b"},
    {"LoneAmpersandRunsToNextSemicolon", "AT&T wins; ok", "AT ok", "AT ok"},
    {"EntityScanSwallowsTagsAndLines", "a&b<i>\nc>d;e", "ae", "ae"},
    {"GreaterThanInTextIsDropped", "a > b", "a  b", "a  b"},
    {"LessThanInTextOpensTagToNextGreaterThan", "1 < 2 and 3 > 2", "1  2", "1  2"},
    {"TagsVanish", "x<i>y</i>z", "xyz", "xyz"},
    {"TagOnlyLineBecomesEmptyLine", "<P>\nx\n", "\nx\n", "\nx\n"},
    {"StyleCommentIsRemovedWhole", "a<!-- P { color: red; } -->b", "ab", "ab"},
    {"CommentHoldingGreaterThanLeaksItsRest", "<!-- a > b -->c", " b --c", " b --c"},
    {"TagRightAfterEntityIsSkipped", "a&nbsp;<i>b</i>", "ab", "ab"},
    {"EntityAtEndOfInput", "end&nbsp;", "end", "end"},
    {"EntityCutOffByEndOfInput", "ab&nbsp", "ab", "ab"},
    {"AmpersandAtEndOfInput", "ab&", "ab", "ab"},
    {"TagCutOffByEndOfInput", "ab<i", "ab", "ab"},
    {"LessThanAtEndOfInput", "ab<", "ab", "ab"},
    {"BrCutOffByEndOfInput", "a<br", "a", "a"},
    {"BCutOffByEndOfInput", "a<b", "a", "a"},
    {"SyncLettersCutOffByEndOfInput", "a<SYN", "a", "a"},
    {"BrInsideAttributeEndsTagEarly", "x<font color=brown>yz</font>", "xyz", "xnyz"},
    {"BrInsideStyleCommentLeaksRest", "<!-- .a { color: brown } -->\nx", "\nx", "n } --\nx"},
    {"BrJoinsSubtitleLines", "a<br>\nb", "a\nb", "ab"},
    // Text after «<br>» on the same line is the subtitle's own, its first byte included.
    {"BrThenTextOnSameLine", "a<br>bc", "abc", "abc"},
    {"BrThenCp949TextOnSameLine", "\xBA\xF1<br>\xBF\xEC", "\xBA\xF1\xBF\xEC", "\xBA\xF1\xBF\xEC"},
    {"BrThenTagOnSameLine", "a<br></P>\nb", "a\nb", "a\nb"},
    {"BrThenEntityOnSameLine", "a<br>&quot;b", "ab", "ab"},
    {"BrAtEndOfInput", "a<br>", "a", "a"},
    {"XhtmlBrWithoutBlankKeepsLineEnd", "a<br/>\nb", "a\nb", "a\nb"},
    {"UpperCaseBrIsNoLineBreak", "a<BR>\nb", "a\nb", "a\nb"},
    {"XhtmlBrKeepsLineEnd", "a<br />\nb", "a\nb", "a\nb"},
    {"LowerCaseSyncIsPlainTag", "<sync start=1000>\nHi", "\nHi", "\nHi"},
    {"ByteFFIsText", "a\xFF<i>b\xFF</i>\xFF",
     "a\xFF"
     "b\xFF\xFF",
     "a\xFF"
     "b\xFF\xFF"},
    {"ByteFFInsideTagAndEntity", "<\xFF>x&\xFF;y", "xy", "xy"},
    {"ByteFFAlone", "\xFF", "\xFF", "\xFF"},
    {"Cp949TextPassesThrough", "\xBE\xC8\xB3\xE7<i>\xC7\xCF\xBC\xBC\xBF\xE4</i>\n",
     "\xBE\xC8\xB3\xE7\xC7\xCF\xBC\xBC\xBF\xE4\n", "\xBE\xC8\xB3\xE7\xC7\xCF\xBC\xBC\xBF\xE4\n"},
    // Extension characters whose trail bytes are the letters S, b, r and c.
    {"Cp949TrailLettersAreText",
     "\x81S\x81"
     "b\x81r\x8C"
     "c",
     "\x81S\x81"
     "b\x81r\x8C"
     "c",
     "\x81S\x81"
     "b\x81r\x8C"
     "c"},
    {"Utf8TextPassesThrough", "\xEF\xBB\xBF\xEC\x95\x88\xEB\x85\x95 <b>\xE2\x99\xAA</b>",
     "\xEF\xBB\xBF\xEC\x95\x88\xEB\x85\x95 \xE2\x99\xAA",
     "\xEF\xBB\xBF\xEC\x95\x88\xEB\x85\x95 \xE2\x99\xAA"},
    // Line ends read as the Windows text mode reads them, on every platform.
    {"CrLfReadsAsLineEnd", "a\r\nb\r\n", "a\nb\n", "a\nb\n"},
    {"LoneCrStays", "a\rb\r", "a\rb\r", "a\rb\r"},
    {"CrBeforeCrLfStays", "a\r\r\nb", "a\r\nb", "a\r\nb"},
    {"CrLfAfterBrIsJoined", "a<br>\r\nb", "a\nb", "ab"},
    {"CtrlZEndsInput",
     "ab\x1A"
     "cd",
     "ab", "ab"},
    {"CtrlZEndsInputInsideTag", "ab<i\x1A>cd", "ab", "ab"},
    {"CrBeforeCtrlZStays",
     "a\r\x1A"
     "b",
     "a\r", "a\r"},
    {"CtrlZEndsSyncValue",
     "a<SYNC Start=10\x1A"
     "00>b",
     "a", "a"},
    {"CtrlZEndsInputInsideEntity", "ab&x\x1A;cd", "ab", "ab"},
};

class ConversionTest : public FilterTest, public ::testing::WithParamInterface<Case>
{
};

TEST_P(ConversionTest, PlainMode)
{
    EXPECT_EQ(ConvertText(GetParam().input, ConversionMode::Plain), LineEnds(GetParam().plain));
}

TEST_P(ConversionTest, SyncMode)
{
    EXPECT_EQ(ConvertText(GetParam().input, ConversionMode::Sync), LineEnds(GetParam().sync));
}

INSTANTIATE_TEST_SUITE_P(Cases, ConversionTest, ::testing::ValuesIn(CASES), RowName());

} // namespace
