// The classes of a file and a sample of each: the first words of the first subtitle in which
// the class has a letter of its own script (the script of more than half of its letters), or
// has text when no script has that many, so that a user tells the languages of a bilingual file
// apart without knowing their names: a Korean class that opens with an English credit line is
// shown by its Korean. One reading of Sync Save fills both.
#include "byte_io.h"
#include "conversion.h"
#include "conversion_state.h"
#include "steps.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace
{

constexpr std::size_t SAMPLE_CHARACTERS = 30;

// The scripts a letter is told by: Han, Hiragana and Katakana count as one, since Japanese
// text mixes them. A character of none of them is no letter here.
enum Script : unsigned char {
    NO_SCRIPT,
    LATIN,
    GREEK,
    CYRILLIC,
    ARMENIAN,
    HEBREW,
    ARABIC,
    THAI,
    HANGUL,
    HAN_KANA,
    SCRIPT_COUNT,
};

// The first code point of each range of letters and the script from it to the next range.
struct ScriptRange {
    std::uint32_t first;
    Script script;
};
constexpr ScriptRange SCRIPT_RANGES[] = {
    {0x0000, NO_SCRIPT},  {0x0041, LATIN},     {0x005B, NO_SCRIPT}, {0x0061, LATIN},
    {0x007B, NO_SCRIPT},  {0x00AA, LATIN},     {0x00AB, NO_SCRIPT}, {0x00BA, LATIN},
    {0x00BB, NO_SCRIPT},  {0x00C0, LATIN},     {0x00D7, NO_SCRIPT}, {0x00D8, LATIN},
    {0x00F7, NO_SCRIPT},  {0x00F8, LATIN},     {0x0250, NO_SCRIPT}, {0x0370, GREEK},
    {0x0400, CYRILLIC},   {0x0530, NO_SCRIPT}, {0x0531, ARMENIAN},  {0x0590, HEBREW},
    {0x0600, ARABIC},     {0x0700, NO_SCRIPT}, {0x0750, ARABIC},    {0x0780, NO_SCRIPT},
    {0x0E00, THAI},       {0x0E80, NO_SCRIPT}, {0x1100, HANGUL},    {0x1200, NO_SCRIPT},
    {0x1E00, LATIN},      {0x1F00, GREEK},     {0x2000, NO_SCRIPT}, {0x3005, HAN_KANA},
    {0x3006, NO_SCRIPT},  {0x3041, HAN_KANA},  {0x3100, NO_SCRIPT}, {0x3131, HANGUL},
    {0x318F, NO_SCRIPT},  {0x31F0, HAN_KANA},  {0x3200, NO_SCRIPT}, {0x3400, HAN_KANA},
    {0x4DC0, NO_SCRIPT},  {0x4E00, HAN_KANA},  {0xA000, NO_SCRIPT}, {0xA960, HANGUL},
    {0xA980, NO_SCRIPT},  {0xAC00, HANGUL},    {0xD7A4, NO_SCRIPT}, {0xD7B0, HANGUL},
    {0xD800, NO_SCRIPT},  {0xF900, HAN_KANA},  {0xFB00, NO_SCRIPT}, {0xFB1D, HEBREW},
    {0xFB50, ARABIC},     {0xFE00, NO_SCRIPT}, {0xFE70, ARABIC},    {0xFF00, NO_SCRIPT},
    {0xFF21, LATIN},      {0xFF3B, NO_SCRIPT}, {0xFF41, LATIN},     {0xFF5B, NO_SCRIPT},
    {0xFF66, HAN_KANA},   {0xFFA0, HANGUL},    {0xFFDD, NO_SCRIPT}, {0x20000, HAN_KANA},
    {0x40000, NO_SCRIPT},
};

// The process-wide record of the samples being read.
struct ClassSamples {
    int subtitle;      // counts the SYNC tags read
    int paragraph;     // counts the paragraphs read, to tell when one class's text goes on
    int current_class; // the entry of class_list the text stands under, or -1
    int last_subtitle[CLASS_LIST_SIZE];  // the subtitle a class's text last came from
    int last_paragraph[CLASS_LIST_SIZE]; // and its paragraph
    // The first words of the class's text in this subtitle, which may pass 30 characters.
    char current[CLASS_LIST_SIZE][CLASS_SAMPLE_SIZE];
    std::size_t length[CLASS_LIST_SIZE];
    std::size_t characters[CLASS_LIST_SIZE];
    unsigned char pending[CLASS_LIST_SIZE][4]; // the start of a character a piece of text cut
    std::size_t pending_length[CLASS_LIST_SIZE];
    bool has_script[CLASS_LIST_SIZE][SCRIPT_COUNT];   // this subtitle's text holds such a letter
    long long letters[CLASS_LIST_SIZE][SCRIPT_COUNT]; // the class's letters of each script
    bool has_first[CLASS_LIST_SIZE];                  // the class's first subtitle with text
    char first[CLASS_LIST_SIZE][CLASS_SAMPLE_SIZE];   // has passed, and gave this sample
    // The sample of the class's first subtitle with a letter of each script, once there is one.
    bool has_candidate[CLASS_LIST_SIZE][SCRIPT_COUNT];
    char candidate[CLASS_LIST_SIZE][SCRIPT_COUNT][CLASS_SAMPLE_SIZE];
};

ClassSamples class_samples;

/* CutSample
 *     Cuts entry k's first words of this subtitle to at most 30 characters at their last blank
 *     that keeps whole words, or at 30 characters when the first word is longer. */
void CutSample(int k)
{
    ClassSamples &samples = class_samples;
    char *sample = samples.current[k];
    if (samples.characters[k] <= SAMPLE_CHARACTERS) {
        sample[samples.length[k]] = '\0';
        return;
    }
    // Where the 31st character starts: a blank there ends the 30 on a whole word.
    std::size_t end = 0;
    for (std::size_t count = 0; count < SAMPLE_CHARACTERS; end++)
        if ((static_cast<unsigned char>(sample[end + 1]) & 0xC0) != 0x80)
            count++;
    std::size_t cut = end;
    if (sample[end] != ' ')
        while (cut > 0 && sample[cut] != ' ')
            cut--;
    if (cut == 0)
        cut = end;
    sample[cut] = '\0';
}

void StartSamples()
{
    ClassSamples &samples = class_samples;
    std::memset(&samples, 0, sizeof samples); // no temporary of its size on the stack
    samples.current_class = -1;
    for (int k = 0; k < CLASS_LIST_SIZE; k++)
        samples.last_subtitle[k] = -1;
}

/* ScriptOf
 *     The script of the letter code_point, or NO_SCRIPT. */
Script ScriptOf(std::uint32_t code_point)
{
    std::size_t low = 0;
    std::size_t high = sizeof SCRIPT_RANGES / sizeof SCRIPT_RANGES[0];
    while (high - low > 1) {
        std::size_t middle = (low + high) / 2;
        if (SCRIPT_RANGES[middle].first <= code_point)
            low = middle;
        else
            high = middle;
    }
    return SCRIPT_RANGES[low].script;
}

/* CountLetter
 *     Counts the character of the length UTF-8 bytes at bytes for entry k's scripts. */
void CountLetter(int k, const unsigned char *bytes, std::size_t length)
{
    static const unsigned char LEAD_BITS[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    std::uint32_t code_point = bytes[0] & LEAD_BITS[length];
    for (std::size_t j = 1; j < length; j++)
        code_point = (code_point << 6) | (bytes[j] & 0x3Fu);
    Script script = ScriptOf(code_point);
    if (script == NO_SCRIPT)
        return;
    class_samples.letters[k][script]++;
    class_samples.has_script[k][script] = true;
}

/* CountLetters
 *     Counts the letters of count bytes of entry k's text by script; a character the bytes cut
 *     waits for the rest. Text that is not UTF-8 counts its ASCII letters alone. */
void CountLetters(int k, const unsigned char *bytes, std::size_t count)
{
    ClassSamples &samples = class_samples;
    for (std::size_t j = 0; j < count; j++) {
        unsigned char c = bytes[j];
        std::size_t &held = samples.pending_length[k];
        if ((c & 0xC0) == 0x80 && held > 0) {
            samples.pending[k][held++] = c;
            std::size_t whole = samples.pending[k][0] >= 0xF0   ? 4
                                : samples.pending[k][0] >= 0xE0 ? 3
                                                                : 2;
            if (held == whole) {
                CountLetter(k, samples.pending[k], held);
                held = 0;
            }
            continue;
        }
        held = 0;
        if (c < 0x80)
            CountLetter(k, &c, 1);
        else if (c >= 0xC2 && c <= 0xF4)
            samples.pending[k][held++] = c;
    }
}

/* EndSampleSubtitle
 *     A subtitle is over: the classes it gave text to have its first words as their first
 *     sample, and as the sample of each script it holds a letter of, where they have none. */
void EndSampleSubtitle()
{
    ClassSamples &samples = class_samples;
    for (int k = 0; k < class_list.length; k++) {
        if (samples.last_subtitle[k] != samples.subtitle)
            continue;
        CutSample(k);
        if (!samples.has_first[k]) {
            samples.has_first[k] = true;
            std::memcpy(samples.first[k], samples.current[k], CLASS_SAMPLE_SIZE);
        }
        for (int script = 0; script < SCRIPT_COUNT; script++) {
            if (samples.has_script[k][script] && !samples.has_candidate[k][script]) {
                samples.has_candidate[k][script] = true;
                std::memcpy(samples.candidate[k][script], samples.current[k], CLASS_SAMPLE_SIZE);
            }
            samples.has_script[k][script] = false;
        }
        samples.pending_length[k] = 0;
    }
}

void StartSampleSubtitle()
{
    EndSampleSubtitle();
    class_samples.subtitle++;
    class_samples.current_class = -1;
}

/* PutSampleText
 *     Counts the letters of text of the class it stands under and adds it to the class's first
 *     words of this subtitle, up to one character past 30, a blank before it when it goes on
 *     the class's text of this subtitle. */
void PutSampleText(const unsigned char *bytes, std::size_t count, bool blank_before)
{
    ClassSamples &samples = class_samples;
    int k = samples.current_class;
    if (k < 0)
        return;
    CountLetters(k, bytes, count);
    char *sample = samples.current[k];
    bool goes_on = samples.last_subtitle[k] == samples.subtitle;
    bool blank = goes_on && (blank_before || samples.last_paragraph[k] != samples.paragraph);
    if (!goes_on) {
        samples.length[k] = 0;
        samples.characters[k] = 0;
    }
    samples.last_subtitle[k] = samples.subtitle;
    samples.last_paragraph[k] = samples.paragraph;
    // Room for 31 characters of four bytes: enough to tell where 30 end.
    constexpr std::size_t KEPT = 4 * (SAMPLE_CHARACTERS + 1);
    static_assert(KEPT < CLASS_SAMPLE_SIZE, "a sample and its terminating zero fit");
    if (samples.characters[k] > SAMPLE_CHARACTERS)
        return;
    if (blank) {
        sample[samples.length[k]++] = ' ';
        samples.characters[k]++;
    }
    for (std::size_t j = 0; j < count && samples.characters[k] <= SAMPLE_CHARACTERS; j++) {
        bool starts_character = (bytes[j] & 0xC0) != 0x80;
        if (starts_character && samples.length[k] + 4 > KEPT)
            break;
        sample[samples.length[k]++] = static_cast<char>(bytes[j]);
        samples.characters[k] += starts_character ? 1 : 0;
    }
}

void IgnoreLineBreak()
{
}

/* MarkSampleParagraph
 *     A P tag: the text after it stands under its class; after a </P> under none. */
void MarkSampleParagraph(const char *class_name, bool)
{
    ClassSamples &samples = class_samples;
    samples.paragraph++;
    samples.current_class = -1;
    if (class_name != nullptr && class_name[0] != '\0')
        samples.current_class = FindListedClass(class_name);
}

void IgnoreStyle(StyleTag, bool)
{
}

/* FinishSamples
 *     Gives each class the sample of its own script, the one of more than half of its letters,
 *     else that of its first subtitle with text. */
bool FinishSamples()
{
    ClassSamples &samples = class_samples;
    EndSampleSubtitle();
    for (int k = 0; k < class_list.length; k++) {
        char *sample = class_list.classes[k].sample;
        sample[0] = '\0';
        if (!samples.has_first[k])
            continue;
        std::memcpy(sample, samples.first[k], CLASS_SAMPLE_SIZE);
        long long all = 0;
        for (int script = 1; script < SCRIPT_COUNT; script++)
            all += samples.letters[k][script];
        for (int script = 1; script < SCRIPT_COUNT; script++)
            if (2 * samples.letters[k][script] > all && samples.has_candidate[k][script])
                std::memcpy(sample, samples.candidate[k][script], CLASS_SAMPLE_SIZE);
    }
    return true;
}

SubtitleListener sample_listener = {
    StartSamples,
    true,
    false,
    StartSampleSubtitle,
    PutSampleText,
    IgnoreLineBreak,
    MarkSampleParagraph,
    IgnoreStyle,
    FinishSamples,
    nullptr,
};

} // namespace

/* ListParagraphClasses
 *     Reads the whole input as Sync Save with every class would, writing nothing, for the
 *     classes of its P tags and the first words of each. */
void ListParagraphClasses()
{
    ConversionState &state = conversion_state;
    ConversionState::Options kept = state.options;
    state.options.chosen_class[0] = '\0';
    state.options.subtitle_listener = &sample_listener;
    state.paragraphs.listing_classes = true;
    RunConversion(ConversionMode::Sync);
    state.paragraphs.listing_classes = false;
    state.options = kept;
}
