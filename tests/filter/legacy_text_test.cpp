// Byte files read as Unicode for UTF-8 output: each encoding decoded as browsers decode it,
// each invalid sequence one U+FFFD, wherever a fill of the read buffer cuts the input.
#include "filter_fixture.h"

#include <cstdio>
#include <ostream>
#include <string>

namespace
{

#define FFFD "\xEF\xBF\xBD"

struct Case {
    const char *name;
    const char *encoding; // as --from names it
    std::string input;
    std::string plain;       // UTF-8
    long long invalid_bytes; // counted for the message
};

std::ostream &operator<<(std::ostream &stream, const Case &row)
{
    return stream << row.name;
}

const Case CASES[] = {
    // 0x9F 0xE5 is a syllable of CP949 alone; EUC-KR is read as CP949.
    {"Cp949WithUhcSyllable", "cp949", "a\xB0\xA1\x9F\xE5 b", "a\xEA\xB0\x80\xEC\x9E\x8C b", 0},
    {"EucKrIsCp949", "euc-kr", "a\xB0\xA1\x9F\xE5 b", "a\xEA\xB0\x80\xEC\x9E\x8C b", 0},
    {"TrailByteThatIsAscii", "cp949", "\x81\x41<b>\x81\x41</b>", "\xEA\xB0\x82\xEA\xB0\x82", 0},
    {"InvalidPairIsOneReplacement", "cp949", "x\xC9\xA1y\xC8\xFFz", "x" FFFD "y" FFFD "z", 4},
    // A2 E8 has no character in browsers' CP949; the byte after it stays.
    {"PairWithoutCharacterKeepsTheByteAfter", "cp949",
     "x\xA2\xE8"
     "Ay",
     "x" FFFD "Ay", 2},
    {"LeadBeforeAsciiTakesOnlyTheLead", "cp949", "x\xB0<i>y</i>\x80", "x" FFFD "y" FFFD, 2},
    {"LeadCutByTheEnd", "cp949", "x\xB0", "x" FFFD, 1},
    {"Windows1252UnassignedAreC1", "windows-1252", "\x80\x81\x9D\xE9",
     "\xE2\x82\xAC\xC2\x81\xC2\x9D\xC3\xA9", 0},
    // Each byte is its own character, not joined with the marks after it; none is lost where a
    // fill cuts a run of them.
    {"Windows1255LettersStandAlone", "windows-1255", "x\xF9\xD1" + std::string(40, '\xF8'),
     "x\xD7\xA9\xD7\x81" +
         [] {
             std::string letters;
             for (int k = 0; k < 40; k++)
                 letters += "\xD7\xA8";
             return letters;
         }(),
     0},
    // Decoded text is Unicode: an entity of any character is written.
    {"Latin1EntitiesAreUnicode", "latin1", "caf\xE9 &eacute;", "caf\xC3\xA9 \xC3\xA9", 0},
    {"Utf8MaximalSubparts", "utf-8",
     "a\xE0\x80"
     "b\xF0\x9F\x98"
     "c\xC0\xAF\xED\xA0\x80",
     "a" FFFD FFFD "b" FFFD "c" FFFD FFFD FFFD FFFD FFFD, 10},
    {"Utf8MarkIsNotCopied", "cp949", "\xEF\xBB\xBFx\xEA\xB0\x80", "x\xEA\xB0\x80", 0},
    {"Utf16WithoutMarkIsLittleEndian", "utf-16", std::string("a\0b\0c", 5), "ab" FFFD, 1},
};

class LegacyTextTest : public FilterTest, public ::testing::WithParamInterface<Case>
{
};

TEST_P(LegacyTextTest, DecodesWhereverFillsCut)
{
    const Case &row = GetParam();
    // Blanks before the text move it across the boundaries of fills of 16 input bytes.
    for (std::size_t shift = 0; shift < 20; shift++) {
        for (bool byte_at_a_time : {false, true}) {
            conversion_state.options.utf8_output = true;
            std::snprintf(conversion_state.options.source_encoding,
                          sizeof conversion_state.options.source_encoding, "%s", row.encoding);
            conversion_state.options.fill_limit = shift == 0 ? 0 : 64;
            conversion_state.options.byte_at_a_time = byte_at_a_time;
            std::string blanks(shift, ' ');
            std::string input = row.input;
            // A mark stays first; UTF-16 blanks are units.
            std::size_t at = input.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
            bool utf16 = std::string(row.encoding) == "utf-16";
            input.insert(at, utf16 ? Utf16File(std::u16string(shift, u' '), true, false).substr(2)
                                   : blanks);
            EXPECT_EQ(ConvertText(input, ConversionMode::Plain), blanks + row.plain)
                << "shifted by " << shift << (byte_at_a_time ? ", steps" : "");
            EXPECT_EQ(decoding_report.invalid_bytes, row.invalid_bytes);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, LegacyTextTest, ::testing::ValuesIn(CASES), RowName());

} // namespace
