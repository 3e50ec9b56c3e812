// The character filter in both modes: what is skipped, what is copied, and where scans stop.
#include "filter_fixture.h"

namespace
{

// Hex escapes are split from the letters after them: "\xFF" "b", not "\xFFb".
const ModesCase CASES[] = {
    {"EmptyInputGivesEmptyOutput", "", "", ""},
    {"TextWithoutTagsIsCopied", "Hello", "Hello", "Hello"},
    // Entities: the few every file uses are written as their character, which is text.
    {"KnownEntitiesAreWrittenAsText", "a &lt;b&gt; c", "a <b> c", "a <b> c"},
    {"EscapedBrIsNoLineBreak", "&lt;br&gt;x", "<br>x", "<br>x"},
    {"NbspIsABlank", "a&nbsp;&nbsp;b", "a  b", "a  b"},
    {"EntityNamesIgnoreCase", "R&&AMP;D &QuOt;&Nbsp;&APOS;&Lt;", "R&&D \" '<", "R&&D \" '<"},
    {"NumericReferencesOfAsciiTabAnd160",
     "&#39;&#x41;&#X42;&#0000067;&#9;&#160;&#32;&#126;&#127;&#31;&#8217;&#x1F600;"
     "&#99999999999999999999999999;|",
     "'ABC\t  ~|", "'ABC\t  ~|"},
    {"MalformedReferencesAreRemoved", "a&#;&#x;&#xG;&#1a;&#x#;&shy;&shy;b", "ab", "ab"},
    {"LongestEntityName", "a&" + std::string(31, 'x') + ";b", "ab", "ab"},
    {"NameTooLongIsText", "a&" + std::string(32, 'x') + ";b", "a&" + std::string(32, 'x') + ";b",
     "a&" + std::string(32, 'x') + ";b"},
    {"LoneAmpersandIsText", "AT&T wins; Tom & Jerry; ok", "AT&T wins; Tom & Jerry; ok",
     "AT&T wins; Tom & Jerry; ok"},
    {"AmpersandBeforeTagIsText", "a&b<i>\nc>d;e", "a&b\ncd;e", "a&b\ncd;e"},
    {"GreaterThanInTextIsDropped", "a > b", "a  b", "a  b"},
    {"LessThanInTextOpensTagToNextGreaterThan", "1 < 2 and 3 > 2", "1  2", "1  2"},
    {"TagsVanish", "x<i>y</i>z", "xyz", "xyz"},
    {"TagOnlyLineBecomesEmptyLine", "<P>\nx\n", "\nx\n", "\nx\n"},
    {"StyleCommentIsRemovedWhole", "a<!-- P { color: red; } -->b", "ab", "ab"},
    {"CommentHoldingGreaterThanLeaksItsRest", "<!-- a > b -->c", " b --c", " b --c"},
    {"TagRightAfterEntityIsSkipped", "a&nbsp;<i>b</i>", "a b", "a b"},
    {"EntityAtEndOfInput", "end&nbsp;", "end ", "end "},
    {"EntityCutOffByEndOfInput", "ab&nbsp", "ab&nbsp", "ab&nbsp"},
    {"AmpersandAtEndOfInput", "ab&", "ab&", "ab&"},
    {"TagCutOffByEndOfInput", "ab<i", "ab", "ab"},
    {"LessThanAtEndOfInput", "ab<", "ab", "ab"},
    {"BrCutOffByEndOfInput", "a<br", "a", "a"},
    {"BCutOffByEndOfInput", "a<b", "a", "a"},
    {"SyncLettersCutOffByEndOfInput", "a<SYN", "a", "a"},
    // Tags mean something by their name only.
    {"BrLettersInAttributeAreNoLineBreak", "x<font color=brown>yz</font>", "xyz", "xyz"},
    {"BrLettersInStyleCommentAreNoLineBreak", "<!-- .a { color: brown } -->\nx", "\nx", "\nx"},
    {"LongerNamesAreNotBrOrSync", "a<bro>b<SYNCx Start=1000>c", "abc", "abc"},
    // Before any SYNC tag both modes write what Save writes: text after a line-break tag on
    // the same line starts a line, its first byte included.
    {"BrThenLineEndKeepsOneLineEnd", "a<br>\nb", "a\nb", "a\nb"},
    {"BrThenTextOnSameLine", "a<br>bc", "a\nbc", "a\nbc"},
    {"BrThenCp949TextOnSameLine", "\xBA\xF1<br>\xBF\xEC", "\xBA\xF1\n\xBF\xEC",
     "\xBA\xF1\n\xBF\xEC"},
    {"BrThenTagOnSameLine", "a<br></P>\nb", "a\n\nb", "a\n\nb"},
    {"BrThenEntityOnSameLine", "a<br>&quot;b", "a\n\"b", "a\n\"b"},
    {"BrThenLoneCr", "a<br>\rb", "a\rb", "a\rb"},
    {"BrAtEndOfInput", "a<br>", "a", "a"},
    {"XhtmlBrWithoutBlank", "a<br/>b", "a\nb", "a\nb"},
    {"UpperCaseBrWithAttribute", "a<BR clear=all>b", "a\nb", "a\nb"},
    {"XhtmlBr", "a<br />b", "a\nb", "a\nb"},
    {"LowerCaseSyncStartsSubtitle", "<sync start=1000>\nHi", "\nHi", "00 :00 :01  Hi\n"},
    {"ByteFFIsText", "a\xFF<i>b\xFF</i>\xFF",
     "a\xFF"
     "b\xFF\xFF",
     "a\xFF"
     "b\xFF\xFF"},
    {"ByteFFInsideTagAndAfterAmpersand", "<\xFF>x&\xFF;y", "x&\xFF;y", "x&\xFF;y"},
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
    {"CrLfAfterBr", "a<br>\r\nb", "a\nb", "a\nb"},
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
    {"CtrlZEndsInputInsideEntity", "ab&x\x1A;cd", "ab&x", "ab&x"},
};

class ConversionTest : public FilterTest, public ::testing::WithParamInterface<ModesCase>
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
