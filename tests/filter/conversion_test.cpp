// The character filter in both modes: what is skipped, what is copied, and where scans stop.
#include "filter_fixture.h"

namespace
{

// Hex escapes are split from the letters after them: "\xFF" "b", not "\xFFb".
const std::string N = NO_SYNC_TAG; // what Sync Save makes of every input here without one

// 65,536 bytes as the filter reads them decide whether a file is UTF-8; CR LF counts as one.
const std::string PROBE_FILL(65535, 'a');
std::string RepeatLine(const char *line)
{
    std::string lines;
    for (int k = 0; k < 32767; k++)
        lines += line;
    return lines + "a";
}
const std::string PROBE_FILL_CRLF = RepeatLine("a\r\n");
const std::string PROBE_FILL_LF = RepeatLine("a\n");

const ModesCase CASES[] = {
    {"EmptyInputGivesEmptyOutput", "", "", N},
    {"TextWithoutTagsIsCopied", "Hello", "Hello", N},
    // Entities: the few every file uses are written as their character, which is text.
    {"KnownEntitiesAreWrittenAsText", "a &lt;b&gt; c", "a <b> c", N},
    {"EscapedBrIsNoLineBreak", "&lt;br&gt;x", "<br>x", N},
    {"NbspIsABlank", "a&nbsp;&nbsp;b", "a  b", N},
    {"EntityNamesIgnoreCase", "R&&AMP;D &QuOt;&Nbsp;&APOS;&Lt;", "R&&D \" '<", N},
    {"NumericReferences",
     "&#39;&#x41;&#X42;&#0000067;&#9;&#160;&#32;&#126;&#127;&#31;&#8217;&#x1F600;"
     "&#99999999999999999999999999;|",
     "'ABC\t  ~\xE2\x80\x99\xF0\x9F\x98\x80|", N},
    {"MalformedReferencesAreRemoved", "a&#;&#x;&#xG;&#1a;&#x#;&shy;&shy;b", "aa;b", N},
    // A number ends where its digits end, however many (more than the read buffer holds); a
    // ';' after them belongs to it.
    {"NumericReferencesWithoutSemicolon",
     "&#39s &#x41g&#X42;&#67 &#" + std::string(200000, '0') + "68;&#" + std::string(40, '9') +
         "|&#x2014&#69",
     "'s AgBC D|\xE2\x80\x94"
     "E",
     N},
    {"LongestEntityName", "a&" + std::string(31, 'x') + ";b", "ab", N},
    {"NameTooLongIsText", "a&" + std::string(32, 'x') + ";b", "a&" + std::string(32, 'x') + ";b",
     N},
    {"LoneAmpersandIsText", "AT&T wins; Tom & Jerry; ok", "AT&T wins; Tom & Jerry; ok", N},
    {"AmpersandBeforeTagIsText", "a&b<i>\nc>d;e", "a&b\nc>d;e", N},
    // Unicode text: every entity of HTML 4 and every character, named exactly.
    {"Utf8TextWritesAnyCharacter",
     "Fra&#228;ulein Voil&#xE0; &Eacute;&EACUTE;&eacute; &#150;&#146;&#128;&#129;&#157;&#159; "
     "&shy;&#173;&#xAD;&#xD800;&#x10FFFF;&#x110000;&euro;&lt",
     "Fra\xC3\xA4ulein Voil\xC3\xA0 \xC3\x89\xC3\xA9 \xE2\x80\x93\xE2\x80\x99\xE2\x82\xAC\xC5\xB8 "
     "\xF4\x8F\xBF\xBF\xE2\x82\xAC<",
     N},
    {"EntityCharacterIsNeverMarkup", "\xEF\xBB\xBF\xFF&lsaquo;b&rsaquo;&#x3C;br&#62;",
     "\xEF\xBB\xBF\xFF\xE2\x80\xB9"
     "b\xE2\x80\xBA<br>",
     N},
    {"OtherEncodingRemovesThem", "\xBE\xC8 &#228;&eacute;&#150;&euro;&#39;&Nbsp;&starf;&copy 1",
     "\xBE\xC8 ' &copy 1", N},
    // Unicode text: every name of HTML5, the two-character ones too, and its legacy names
    // without ';' where no name can go on.
    {"Html5NamesInUtf8Text",
     "&starf;&check;&hyphen;&nGt;&fjlig;[&Tab;|&NewLine;|&NonBreakingSpace;|&lang;] "
     "&copy 2 &COPY;&eacute&Uuml.&not&notit; &copyx &starf &checkmark",
     "\xE2\x98\x85\xE2\x9C\x93\xE2\x80\x90\xE2\x89\xAB\xE2\x83\x92"
     "fj[\t|| |\xE2\x9F\xA8] \xC2\xA9 2 \xC2\xA9\xC3\xA9\xC3\x9C.\xC2\xAC &copyx &starf "
     "&checkmark",
     N},
    {"Utf8DecidedByFirst65536Bytes", PROBE_FILL + "\xC3\xA9\xFF&eacute;",
     PROBE_FILL + "\xC3\xA9\xFF\xC3\xA9", N},
    {"InvalidByteWithinFirst65536Bytes", PROBE_FILL_CRLF + "\xFF&eacute;", PROBE_FILL_LF + "\xFF",
     N},
    {"SequenceCutByEndIsNotUtf8", "&eacute;\xC3", "\xC3", N},
    // Short names stand for their character without a ';' where no name can go on.
    {"ShortNamesWithoutSemicolon", "&amp Co &LT&gt\n&quot.&nbsp&apos ab&nbsp",
     "& Co <>\n\". &apos ab ", N},
    {"ShortNamesGoingOnAreText", "&nbspx &lt3 &amp# &gtt", "&nbspx &lt3 &amp# &gtt", N},
    {"GreaterThanInTextIsText", "a > b a<i>>b >> x", "a > b a>b >> x", N},
    // A '<' opens a tag unless white space, a digit or the end of the input follows it.
    {"LessThanBeforeBlankOrDigitIsText", "1 < 2 and 3 > 2, x<\ty <\r\nz <9 <\rq",
     "1 < 2 and 3 > 2, x<\ty <\nz <9 <\rq", N},
    {"TagsVanish", "x<i>y</i>z", "xyz", N},
    {"TagOnlyLineBecomesEmptyLine", "<P>\nx\n", "\nx\n", N},
    {"StyleCommentIsRemovedWhole", "a<!-- P { color: red; } -->b", "ab", N},
    {"CommentHoldingGreaterThanLeaksItsRest", "<!-- a > b -->c", " b -->c", N},
    {"TagRightAfterEntityIsSkipped", "a&nbsp;<i>b</i>", "a b", N},
    {"EntityAtEndOfInput", "end&nbsp;", "end ", N},
    {"AmpersandAtEndOfInput", "ab&", "ab&", N},
    {"TagCutOffByEndOfInput", "ab<i", "ab", N},
    {"LessThanAtEndOfInput", "ab<", "ab<", N},
    {"BrCutOffByEndOfInput", "a<br", "a", N},
    {"BCutOffByEndOfInput", "a<b", "a", N},
    {"SyncLettersCutOffByEndOfInput", "a<SYN", "a", N},
    // Tags mean something by their name only.
    {"BrLettersInAttributeAreNoLineBreak", "x<font color=brown>yz</font>", "xyz", N},
    {"BrLettersInStyleCommentAreNoLineBreak", "<!-- .a { color: brown } -->\nx", "\nx", N},
    {"LongerNamesAreNotBrOrSync", "a<bro>b<SYNCx Start=1000>c", "abc", N},
    // Parameter blocks are markup whole, up to their own end tag, </HEAD>, <BODY> or SYNC.
    {"StyleBlockIsMarkupWhole",
     "<STYLE TYPE=\"text/css\">P > B { color: red }\n&amp;</STYLE>\n<SYNC Start=1000><P>b", "\nb",
     "00 :00 :01  b\n"},
    {"EveryLessThanInBlockIsLookedAt",
     "<SAMIParam><!-- x <i <a</SAMIPARAM>b<STYLE><x a=\"</style>\">c", "b\">c", N},
    {"BlockEndsAtHeadEndBodyOrSync",
     "<STYLE>a</HEAD>b<SCRIPT>c<BODY>d<SAMIPARAM>e</BODY>f<SYNC Start=1000>g", "bd\ng",
     "00 :00 :01  g\n"},
    {"OnlyItsOwnEndTagEndsBlock", "<style/>a</SCRIPT>b<br>c<P>d</STYLE>e", "e", N},
    // Before any SYNC tag Save writes text after a line-break tag on the same line on a line
    // of its own, its first byte included.
    {"BrThenLineEndKeepsOneLineEnd", "a<br>\nb", "a\nb", N},
    {"BrThenTextOnSameLine", "a<br>bc", "a\nbc", N},
    {"BrThenCp949TextOnSameLine", "\xBA\xF1<br>\xBF\xEC", "\xBA\xF1\n\xBF\xEC", N},
    {"BrThenTagOnSameLine", "a<br></P>\nb", "a\n\nb", N},
    {"BrThenEntityOnSameLine", "a<br>&quot;b", "a\n\"b", N},
    {"BrThenLoneCr", "a<br>\rb", "a\rb", N},
    {"BrAtEndOfInput", "a<br>", "a", N},
    {"XhtmlBrWithoutBlank", "a<br/>b", "a\nb", N},
    {"UpperCaseBrWithAttribute", "a<BR clear=all>b", "a\nb", N},
    {"XhtmlBr", "a<br />b", "a\nb", N},
    // Paragraphs stand apart: after a line's text a P tag starts a new line before more text.
    {"ParagraphsOnOneLineStandApart",
     "<P Class=KRCC>\xEC\x95\x88\xEB\x85\x95<P Class=ENCC>Hello</P>&lt;<P>\n<P>x",
     "\xEC\x95\x88\xEB\x85\x95\nHello\n<\nx", N},
    {"ParagraphBreakWaitsForText", "Hi</P></SYNC>\n  <P>x<P> \ty</P><br>z", "Hi\n  x \t\ny\nz", N},
    {"LowerCaseSyncStartsSubtitle", "<sync start=1000>\nHi", "\nHi", "00 :00 :01  Hi\n"},
    {"ByteFFIsText", "a\xFF<i>b\xFF</i>\xFF",
     "a\xFF"
     "b\xFF\xFF",
     N},
    {"ByteFFInsideTagAndAfterAmpersand", "<\xFF>x&\xFF;y", "x&\xFF;y", N},
    {"ByteFFAlone", "\xFF", "\xFF", N},
    {"Cp949TextPassesThrough", "\xBE\xC8\xB3\xE7<i>\xC7\xCF\xBC\xBC\xBF\xE4</i>\n",
     "\xBE\xC8\xB3\xE7\xC7\xCF\xBC\xBC\xBF\xE4\n", N},
    // Extension characters whose trail bytes are the letters S, b, r and c.
    {"Cp949TrailLettersAreText",
     "\x81S\x81"
     "b\x81r\x8C"
     "c",
     "\x81S\x81"
     "b\x81r\x8C"
     "c",
     N},
    {"Utf8TextPassesThrough", "\xEF\xBB\xBF\xEC\x95\x88\xEB\x85\x95 <b>\xE2\x99\xAA</b>",
     "\xEF\xBB\xBF\xEC\x95\x88\xEB\x85\x95 \xE2\x99\xAA", N},
    // Line ends read as the Windows text mode reads them, on every platform.
    {"CrLfReadsAsLineEnd", "a\r\nb\r\n", "a\nb\n", N},
    {"LoneCrStays", "a\rb\r", "a\rb\r", N},
    {"CrBeforeCrLfStays", "a\r\r\nb", "a\r\nb", N},
    {"CrLfAfterBr", "a<br>\r\nb", "a\nb", N},
    {"CtrlZEndsInput",
     "ab\x1A"
     "cd",
     "ab", N},
    {"CtrlZEndsInputInsideTag", "ab<i\x1A>cd", "ab", N},
    {"CrBeforeCtrlZStays",
     "a\r\x1A"
     "b",
     "a\r", N},
    {"CtrlZEndsSyncValue",
     "a<SYNC Start=10\x1A"
     "00>b",
     "a", N},
    {"CtrlZEndsInputInsideEntity", "ab&x\x1A;cd", "ab&x", N},
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
    ExpectSyncText(GetParam().input, GetParam().sync);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConversionTest, ::testing::ValuesIn(CASES), RowName());

} // namespace
