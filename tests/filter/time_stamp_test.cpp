// The stamp written for a SYNC tag's value: whole seconds split into hours, minutes, seconds.
#include "filter_fixture.h"

#include <ostream>

namespace
{

struct Case {
    const char *name;
    std::string value; // what stands between the '=' and the '>'
    std::string stamp;
};

std::ostream &operator<<(std::ostream &stream, const Case &row)
{
    return stream << row.name;
}

const Case CASES[] = {
    {"OneSecond", "1000", "00 :00 :01  "},
    {"HoursMinutesSeconds", "3725500", "01 :02 :05  "},
    {"LastSecondOfDay", "86399999", "23 :59 :59  "},
    {"Zero", "0", "00 :00 :00  "},
    {"EmptyValue", "", "00 :00 :00  "},
    {"MillisecondsTruncated", "1999", "00 :00 :01  "},
    {"LeadingZeros", "0061000", "00 :01 :01  "},
    {"HoursNotWrappedAtDay", "90000000", "25 :00 :00  "},
    {"LastTwoDigitHour", "359999999", "99 :59 :59  "},
    {"HundredHoursKeepAllDigits", "360000000", "100 :00 :00  "},
    {"LargestValue", "4294967295", "1193 :02 :47  "},
    {"WrapsModulo2To32", "4294968296", "00 :00 :01  "},
    {"QuotedValue", "\"1000\"", "00 :00 :01  "},
    {"BlankBeforeValue", " 1000", "00 :00 :01  "},
    {"BlankAfterValue", "1000 ", "00 :00 :01  "},
    {"FurtherAttributeIgnored", "1000 End=2000", "00 :00 :01  "},
    {"OnlyFirstRunOfDigits", "5000x7000", "00 :00 :05  "},
    {"NoDigits", "abc", "00 :00 :00  "},
    {"ByteFFBeforeDigits",
     "\xFF"
     "1000",
     "00 :00 :01  "},
    // Only the first 19 characters of a value are kept.
    {"NineteenCharacters", "0000000000000001000", "00 :00 :01  "},
    {"TwentiethCharacterDropped", "00000000000000001000", "00 :00 :00  "},
    {"LongValueDropsItsTail", "2000" + std::string(300, ' ') + "9", "00 :00 :02  "},
};

class TimeStampTest : public FilterTest, public ::testing::WithParamInterface<Case>
{
};

TEST_P(TimeStampTest, WritesStampBeforeText)
{
    std::string input = "<SYNC Start=" + GetParam().value + "><P Class=ENCC>\nText\n";
    EXPECT_EQ(ConvertText(input, ConversionMode::Sync), LineEnds(GetParam().stamp + "Text\n"));
}

INSTANTIATE_TEST_SUITE_P(Values, TimeStampTest, ::testing::ValuesIn(CASES), RowName());

// A long value never spills out of sync_value: it holds 19 characters and the '>'.
TEST_F(FilterTest, LongValueFillsSyncValueExactly)
{
    OpenStreams("<SYNC Start=" + std::string(100, '7') + ">");
    RunConversion(ConversionMode::Sync);
    EXPECT_EQ(conversion_state.sync_value_length, SYNC_VALUE_SIZE - 1);
    EXPECT_EQ(std::string(conversion_state.sync_value, SYNC_VALUE_SIZE),
              std::string(SYNC_VALUE_SIZE - 1, '7') + ">");
}

} // namespace
