// UTF-16 subtitles: decoded for the filter, its text encoded back in the input's byte order.
#include "filter_fixture.h"

#include <ostream>

namespace
{

struct Case {
    const char *name;
    std::u16string input;
    bool odd_byte;        // one byte more at the end, half a unit
    std::u16string plain; // LF stands for the platform's line end
    std::u16string sync;
};

std::ostream &operator<<(std::ostream &stream, const Case &row)
{
    return stream << row.name;
}

const Case CASES[] = {
    {"KoreanSubtitleWithCrLf",
     u"<SYNC Start=1000><P Class=KRCC>\r\n\uC548\uB155 <b>&amp;</b><br>\r\nbye\r\n", false,
     u"\n\uC548\uB155 &\nbye\n", u"00 :00 :01  \uC548\uB155 & bye\n"},
    {"SurrogatePair", u"<SYNC Start=2000>\xD83D\xDE00 x", false, u"\xD83D\xDE00 x",
     u"00 :00 :02  \xD83D\xDE00 x\n"},
    {"UnpairedSurrogates",
     u"<SYNC Start=1000>a\xD800"
     u"b\xDC00"
     u"c\xD83D",
     false,
     u"a\xFFFD"
     u"b\xFFFD"
     u"c\xFFFD",
     u"00 :00 :01  a\xFFFD"
     u"b\xFFFD"
     u"c\xFFFD\n"},
    {"OddFinalByte", u"<SYNC Start=1000>ab", true, u"ab\xFFFD", u"00 :00 :01  ab\xFFFD\n"},
    {"LoneCrAndCtrlZ",
     u"<SYNC Start=1000>a\rb\x001A"
     u"c",
     false, u"a\rb", u"00 :00 :01  a b\n"},
    // UTF-16 text is Unicode: entities of every character, written back in UTF-16.
    {"EntitiesOfAnyCharacter", u"<SYNC Start=1000>&eacute;&#x1F600;&#150;", false,
     u"\u00E9\xD83D\xDE00\u2013", u"00 :00 :01  \u00E9\xD83D\xDE00\u2013\n"},
};

class Utf16Test : public FilterTest, public ::testing::WithParamInterface<Case>
{
  protected:
    /* ConvertBothOrders
     *     Checks the conversion in mode against expected, in both byte orders. */
    void ConvertBothOrders(ConversionMode mode, const std::u16string &expected)
    {
        for (bool little_endian : {true, false}) {
            std::string input = Utf16File(GetParam().input, little_endian, false);
            if (GetParam().odd_byte)
                input += 'z';
            EXPECT_EQ(ConvertText(input, mode), Utf16File(expected, little_endian, true))
                << (little_endian ? "little-endian" : "big-endian");
        }
    }
};

TEST_P(Utf16Test, PlainMode)
{
    ConvertBothOrders(ConversionMode::Plain, GetParam().plain);
}

TEST_P(Utf16Test, SyncMode)
{
    ConvertBothOrders(ConversionMode::Sync, GetParam().sync);
}

INSTANTIATE_TEST_SUITE_P(Cases, Utf16Test, ::testing::ValuesIn(CASES), RowName());

} // namespace
