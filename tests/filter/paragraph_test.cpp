// Paragraphs of one class: only their text is written when a class is chosen.
#include "filter_fixture.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace
{

// Each row chooses the class ENCC.
const ModesCase CASES[] = {
    {"QuotedBareAndSingleQuotedValues",
     "<SYNC Start=1000><P Class=\"ENCC\">One<P class=KRCC>Kor\n"
     "<SYNC Start=2000><p CLASS = 'encc' >Two<P Class=KRCC>Kor",
     "One\nTwo\n", "00 :00 :01  One\n00 :00 :02  Two\n"},
    {"TwoParagraphsPerSyncOnOneLine",
     "<SYNC Start=1000><P Class=KRCC>\xBE\xC8\xB3\xE7</P><P Class=ENCC>Hello</P>\n"
     "<SYNC Start=2000><P Class=ENCC>A<br>B</P><P Class=KRCC>X</P>\n",
     "Hello\nA\nB\n", "00 :00 :01  Hello\n00 :00 :02  A B\n"},
    {"EndedByClosingTag", "<P Class=ENCC>a</P>b<P Class=ENCC>c", "a\nc\n", NO_SYNC_TAG},
    {"EndedByNextParagraph", "<P Class=ENCC>a<P Class=KRCC>b<P Class=ENCC>c", "a\nc\n",
     NO_SYNC_TAG},
    {"EndedBySync", "<P Class=ENCC>a<SYNC Start=1000>b<P Class=ENCC>c", "a\nc\n",
     "00 :00 :01  c\n"},
    {"SubtitleWithoutTheClassLeavesNoLine",
     "<TITLE>T</TITLE><SYNC Start=1000><P Class=KRCC>x<SYNC Start=2000><P Class=ENCC>y", "y\n",
     "00 :00 :02  y\n"},
    {"ByteOrderMarkIsStillCopied", "\xEF\xBB\xBF<SYNC Start=1000><P Class=ENCC>Hi",
     "\xEF\xBB\xBFHi\n",
     "\xEF\xBB\xBF"
     "00 :00 :01  Hi\n"},
    // Without a SYNC tag, that is what Sync Save reports, before the class.
    {"NoParagraphOfTheClassWritesNothing", "\xEF\xBB\xBF<P Class=KRCC>x<P>y", "", NO_SYNC_TAG},
};

class ParagraphTest : public FilterTest, public ::testing::WithParamInterface<ModesCase>
{
  protected:
    void SetUp() override
    {
        FilterTest::SetUp();
        std::strcpy(conversion_state.options.chosen_class, "ENCC");
    }
};

TEST_P(ParagraphTest, PlainMode)
{
    EXPECT_EQ(ConvertText(GetParam().input, ConversionMode::Plain), LineEnds(GetParam().plain));
}

TEST_P(ParagraphTest, SyncMode)
{
    ExpectSyncText(GetParam().input, GetParam().sync);
}

INSTANTIATE_TEST_SUITE_P(Cases, ParagraphTest, ::testing::ValuesIn(CASES), RowName());

class ClassListTest : public FilterTest
{
  protected:
    /* ListClasses
     *     The classes of input as ListParagraphClasses finds them, «NAME COUNT: SAMPLE» a
     *     line. */
    std::string ListClasses(const std::string &input)
    {
        OpenStreams(input);
        ListParagraphClasses();
        std::string list;
        for (int k = 0; k < class_list.length; k++) {
            const ParagraphClass &entry = class_list.classes[k];
            list += std::string(entry.name) + " " + std::to_string(entry.count) + ": " +
                    entry.sample + "\n";
        }
        CloseAndReadOutput();
        return list;
    }
};

TEST_F(ClassListTest, ListsClassesAsFirstWrittenInOrderOfFirstUse)
{
    EXPECT_EQ(ListClasses("<P Class=KRCC>a<p class='encc'>&lt;P Class=X&gt;<P Class=krcc>"
                          "<P CLASS=\"ENCC\"><P><P id=1 Class = ENCC >"),
              "KRCC 2: \nencc 3: \n");
    EXPECT_EQ(ListClasses("<P Class=A>\n<P Class=B"), "A 1: \n"); // a tag cut off counts not
    // A class kept at its size in Unicode text keeps whole characters: x and 20 syllables.
    std::string syllables;
    for (int k = 0; k < 22; k++)
        syllables += "\xEA\xB0\x80";
    EXPECT_EQ(ListClasses("\xEF\xBB\xBF<P Class=x" + syllables + ">a"),
              "x" + syllables.substr(0, 60) + " 1: \n");
}

// A sample is the first subtitle of its class with a letter of the class's own script (more
// than half of its letters), else its first with text, as Sync Save of that class writes it,
// cut at a blank to at most 30 characters.
TEST_F(ClassListTest, SamplesAreFirstWordsOfFirstSubtitleWithText)
{
    EXPECT_EQ(ListClasses("<P Class=KRCC>before<SYNC Start=1><P Class=KRCC>&nbsp;<P Class=ENCC>"
                          "Hello <i>there</i><br>you<P Class=KRCC>\xEC\x95\x88<P Class=ENCC>"
                          "again<SYNC Start=2><P Class=KRCC>later"),
              "KRCC 4: later\nENCC 2: Hello there you again\n");
    // A credit line in English before a Korean class's Korean; Han and kana as one script; no
    // script of more than half.
    EXPECT_EQ(
        ListClasses("<SYNC Start=1><P Class=KRCC>by Mi<SYNC Start=2><P Class=KRCC>"
                    "\xEC\x95\x88\xEB\x85\x95 \xEC\x95\x84\xEC\xA0\x80\xEC\x94\xA8 "
                    "\xEC\x95\x88\xEB\x85\x95 \xEC\x95\x88\xEB\x85\x95 x"
                    "<SYNC Start=3><P Class=JA>ab<SYNC Start=4><P Class=JA>"
                    "\xE3\x81\xB2\xE3\x82\xAB\xE6\xBC\xA2"
                    "<SYNC Start=5><P Class=T>ab<SYNC Start=6><P Class=T>\xEA\xB0\x80\xEA\xB0\x80"),
        "KRCC 2: \xEC\x95\x88\xEB\x85\x95 \xEC\x95\x84\xEC\xA0\x80\xEC\x94\xA8 "
        "\xEC\x95\x88\xEB\x85\x95 \xEC\x95\x88\xEB\x85\x95 x\n"
        "JA 2: \xE3\x81\xB2\xE3\x82\xAB\xE6\xBC\xA2\nT 2: ab\n");
    EXPECT_EQ(ListClasses("<SYNC Start=1><P Class=E>twelve chars twelve chars tw x"
                          "<SYNC Start=2><P Class=F>twelve chars twelve chars twelve"
                          "<SYNC Start=3><P Class=G>thirty-one-characters-in-a-word"),
              "E 1: twelve chars twelve chars tw x\nF 1: twelve chars twelve chars\n"
              "G 1: thirty-one-characters-in-a-wor\n");
    // Thirty Hangul syllables and more: characters, not bytes, are counted.
    std::string hangul;
    for (int k = 0; k < 31; k++)
        hangul += "\xEA\xB0\x80";
    EXPECT_EQ(ListClasses("<SYNC Start=1><P Class=K>" + hangul),
              "K 1: " + hangul.substr(0, 90) + "\n");
}

// The bilingual files others wrote: each class alone, one stamped line per subtitle, the
// English text without a Korean byte.
TEST_F(ClassListTest, BilingualRealFiles)
{
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(VELMORA_CORPUS_DIR)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("bi_", 0) != 0)
            continue;
        SCOPED_TRACE(name);
        std::string input = ReadBinaryFile(entry.path().string());
        std::string list = ListClasses(input);
        EXPECT_NE(list.find("ENCC "), std::string::npos) << list;
        EXPECT_NE(list.find("KRCC "), std::string::npos) << list;
        for (const char *chosen : {"ENCC", "KRCC"}) {
            SCOPED_TRACE(chosen);
            std::strcpy(conversion_state.options.chosen_class, chosen);
            std::string plain = ConvertText(input, ConversionMode::Plain);
            std::string sync = ConvertText(input, ConversionMode::Sync);
            ExpectOneSubtitleALine(sync);
            // The sample opens the first line's text, after its stamp.
            std::size_t sample_at = list.find(std::string(chosen) + " ");
            sample_at = list.find(": ", sample_at) + 2;
            std::string sample = list.substr(sample_at, list.find('\n', sample_at) - sample_at);
            EXPECT_FALSE(sample.empty());
            EXPECT_NE(sync.find("  " + sample), std::string::npos) << sample;
            size_t text_start = sync.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
            bool korean = std::any_of(sync.begin() + static_cast<long>(text_start), sync.end(),
                                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
            EXPECT_EQ(korean, std::strcmp(chosen, "KRCC") == 0);
            EXPECT_FALSE(plain.empty());
        }
        files++;
    }
    EXPECT_EQ(files, 3);
}

} // namespace
