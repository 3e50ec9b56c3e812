// make_sami: writes a realistic English SAMI subtitle of about the size asked for, for the
// benchmark, or with --korean a Korean one in UTF-8 (the benchmark turns it into CP949), or with
// --bilingual one in Korean and English. The same size and seed always give the same bytes.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char HEADER_TEXT[] =
    "<SAMI>\r\n"
    "<HEAD>\r\n"
    "<TITLE>The Long Night Over Harbour Street</TITLE>\r\n"
    "<STYLE TYPE=\"text/css\">\r\n"
    "<!--\r\n"
    "P { margin-left:8pt; margin-right:8pt; margin-bottom:2pt; margin-top:2pt;\r\n"
    "    text-align:center; font-size:20pt; font-family:Arial, Sans-serif;\r\n"
    "    font-weight:normal; color:white; }\r\n"
    ".ENCC { Name:English; lang:en-US; SAMIType:CC; }\r\n"
    "#Normal { Name:Normal; }\r\n"
    "-->\r\n"
    "</STYLE>\r\n"
    "</HEAD>\r\n"
    "<BODY>\r\n";

static const char FOOTER_TEXT[] = "</BODY>\r\n</SAMI>\r\n";

static const char *const WORDS[] = {
    "I",      "you",     "we",     "they",    "the",    "a",        "night", "harbour",
    "street", "never",   "always", "know",    "what",   "where",    "came",  "back",
    "home",   "listen",  "to",     "me",      "please", "don't",    "go",    "there",
    "again",  "it's",    "over",   "now",     "Sam",    "Captain",  "Ellen", "money",
    "ship",   "tonight", "before", "morning", "wait",   "look",     "at",    "this",
    "is",     "not",     "how",    "it",      "works",  "remember", "that",  "time",
    "with",   "your",    "father", "in",      "rain",   "find",     "him",   "and",
    "bring",  "light",   "up",     "here",    "can",    "hear",     "sea",   "yes",
};
constexpr std::uint32_t WORD_COUNT = sizeof WORDS / sizeof WORDS[0];

static const char *const KOREAN_WORDS[] = {
    "나는",   "너를",   "우리",   "그들은", "밤",     "항구",   "거리", "절대",   "항상", "알아",
    "무엇을", "어디",   "왔어",   "다시",   "집에",   "들어봐", "제발", "가지마", "거기", "이제",
    "끝났어", "선장님", "엘렌",   "돈",     "배",     "오늘밤", "아침", "기다려", "봐",   "이것",
    "아니야", "어떻게", "기억해", "그때",   "아버지", "비",     "찾아", "그를",   "빛",   "여기",
};
constexpr std::uint32_t KOREAN_WORD_COUNT = sizeof KOREAN_WORDS / sizeof KOREAN_WORDS[0];
static bool korean;
static bool bilingual; // KRCC and ENCC in SYNC tags of their own, a moment apart

// A small fixed generator, so a given seed gives the same file on every machine.
static std::uint64_t random_state;

static std::uint32_t NextRandom(std::uint32_t bound)
{
    random_state = random_state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>((random_state >> 33) % bound);
}

static FILE *output;
static unsigned long long written;

static void WriteText(const char *text)
{
    size_t length = std::strlen(text);
    fwrite(text, 1, length, output);
    written += length;
}

/* WriteSubtitleLine
 *     Writes three to nine words, now and then in italics, in colour or in bold, a quotation
 *     or an ampersand. */
static void WriteSubtitleLine()
{
    std::uint32_t count = 3 + NextRandom(7);
    std::uint32_t decoration = NextRandom(12);
    if (decoration == 0)
        WriteText("<i>");
    else if (decoration == 1)
        WriteText("&quot;");
    else if (decoration == 2)
        WriteText(NextRandom(2) == 0 ? "<font color=\"#FF80C0\">" : "<font color=yellow>");
    bool bold = decoration == 3 && NextRandom(2) == 0;
    if (bold)
        WriteText("<b>");
    for (std::uint32_t k = 0; k < count; k++) {
        if (k > 0)
            WriteText(k == count / 2 && NextRandom(20) == 0 ? " &amp; " : " ");
        WriteText(korean ? KOREAN_WORDS[NextRandom(KOREAN_WORD_COUNT)]
                         : WORDS[NextRandom(WORD_COUNT)]);
    }
    if (decoration == 0)
        WriteText("</i>");
    else if (decoration == 1)
        WriteText("&quot;");
    else if (decoration == 2)
        WriteText("</font>");
    if (bold)
        WriteText("</b>");
    static const char *const ENDINGS[] = {".", ".", "?", "!", ",", "..."};
    WriteText(ENDINGS[NextRandom(6)]);
}

/* WriteCue
 *     One subtitle at start_ms, one or two lines, and the blank cue that clears it. */
static void WriteCue(std::uint64_t start_ms, std::uint64_t end_ms)
{
    char tag[64];
    std::snprintf(tag, sizeof tag, "<SYNC Start=%llu><P Class=ENCC>\r\n",
                  static_cast<unsigned long long>(start_ms));
    WriteText(tag);
    WriteSubtitleLine();
    if (NextRandom(3) == 0) {
        WriteText("<br>\r\n");
        WriteSubtitleLine();
    }
    WriteText("\r\n");
    std::snprintf(tag, sizeof tag, "<SYNC Start=%llu><P Class=ENCC>&nbsp;\r\n",
                  static_cast<unsigned long long>(end_ms));
    WriteText(tag);
}

/* WriteBilingualCue
 *     The subtitle in Korean, then in English offset ms later, each cleared as late, as
 *     bilingual films give them. */
static void WriteBilingualCue(std::uint64_t start_ms, std::uint64_t end_ms, std::uint64_t offset)
{
    char tag[64];
    for (int klass = 0; klass < 2; klass++) {
        korean = klass == 0;
        std::snprintf(tag, sizeof tag, "<SYNC Start=%llu><P Class=%s>\r\n",
                      static_cast<unsigned long long>(start_ms + klass * offset),
                      korean ? "KRCC" : "ENCC");
        WriteText(tag);
        WriteSubtitleLine();
        WriteText("\r\n");
    }
    for (int klass = 0; klass < 2; klass++) {
        std::snprintf(tag, sizeof tag, "<SYNC Start=%llu><P Class=%s>&nbsp;\r\n",
                      static_cast<unsigned long long>(end_ms + klass * offset),
                      klass == 0 ? "KRCC" : "ENCC");
        WriteText(tag);
    }
}

int main(int argc, char **argv)
{
    korean = argc >= 2 && std::strcmp(argv[1], "--korean") == 0;
    bilingual = argc >= 2 && std::strcmp(argv[1], "--bilingual") == 0;
    if (korean || bilingual) {
        argc--;
        argv++;
    }
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr,
                     "Usage: make_sami [--korean|--bilingual] SIZE_BYTES [OUTPUT|-] [SEED]\n");
        return 2;
    }
    char *end = nullptr;
    unsigned long long size = std::strtoull(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0') {
        std::fprintf(stderr, "make_sami: not a size: %s\n", argv[1]);
        return 2;
    }
    output = stdout;
    if (argc >= 3 && std::strcmp(argv[2], "-") != 0) {
        output = std::fopen(argv[2], "wb");
        if (output == nullptr) {
            std::fprintf(stderr, "make_sami: %s: %s\n", argv[2], std::strerror(errno));
            return 1;
        }
    }
    random_state = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 1;

    WriteText(HEADER_TEXT);
    // Cues follow each other like a film's: a second or two of text, then a short gap. Past
    // 100 MB they come faster, so that every start stays below 2^32 ms, as a stamp reads it.
    std::uint64_t pace = 1 + size / 100000001u;
    std::uint64_t start_ms = 40000 + NextRandom(20000);
    while (written + sizeof FOOTER_TEXT < size) {
        std::uint64_t end_ms = start_ms + (1200 + NextRandom(4000)) / pace;
        if (bilingual)
            WriteBilingualCue(start_ms, end_ms, std::max<std::uint64_t>(1, 23 / pace));
        else
            WriteCue(start_ms, end_ms);
        start_ms = end_ms + (100 + NextRandom(3000)) / pace;
    }
    WriteText(FOOTER_TEXT);
    if (std::fflush(output) != 0 || std::ferror(output) ||
        (output != stdout && std::fclose(output) != 0)) {
        std::fprintf(stderr, "make_sami: write error: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
