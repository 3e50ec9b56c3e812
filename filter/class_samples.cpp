// The classes of a file and a sample of each: the first words of the first subtitle in which
// the class has text, so that a user tells the languages of a bilingual file apart without
// knowing their names. One reading of Sync Save fills both.
#include "byte_io.h"
#include "conversion.h"
#include "conversion_state.h"
#include "steps.h"

#include <cstring>

namespace
{

constexpr std::size_t SAMPLE_CHARACTERS = 30;

// The process-wide record of the samples being read.
struct ClassSamples {
    int subtitle;      // counts the SYNC tags read
    int paragraph;     // counts the paragraphs read, to tell when one class's text goes on
    int current_class; // the entry of class_list the text stands under, or -1
    int last_subtitle[CLASS_LIST_SIZE];  // the subtitle a class's sample text came from
    int last_paragraph[CLASS_LIST_SIZE]; // and its paragraph
    bool done[CLASS_LIST_SIZE];          // the class's first subtitle with text has passed
    std::size_t length[CLASS_LIST_SIZE]; // bytes of its sample, which may pass 30 characters
    std::size_t characters[CLASS_LIST_SIZE];
};

ClassSamples class_samples;

/* CutSample
 *     Cuts the sample of entry k to at most 30 characters at its last blank that keeps whole
 *     words, or at 30 characters when its first word is longer. */
void CutSample(int k)
{
    ClassSamples &samples = class_samples;
    char *sample = class_list.classes[k].sample;
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
    samples = ClassSamples{};
    samples.current_class = -1;
    for (int k = 0; k < CLASS_LIST_SIZE; k++)
        samples.last_subtitle[k] = -1;
}

/* EndSampleSubtitle
 *     A subtitle is over: the classes it gave text to have their samples. */
void EndSampleSubtitle()
{
    ClassSamples &samples = class_samples;
    for (int k = 0; k < class_list.length; k++) {
        if (!samples.done[k] && samples.last_subtitle[k] == samples.subtitle) {
            samples.done[k] = true;
            CutSample(k);
        }
    }
}

void StartSampleSubtitle()
{
    EndSampleSubtitle();
    class_samples.subtitle++;
    class_samples.current_class = -1;
}

/* PutSampleText
 *     Adds text to the sample of the class it stands under, up to one character past 30, a
 *     blank before it when it goes on the class's text of this subtitle. */
void PutSampleText(const unsigned char *bytes, std::size_t count, bool blank_before)
{
    ClassSamples &samples = class_samples;
    int k = samples.current_class;
    if (k < 0 || samples.done[k])
        return;
    char *sample = class_list.classes[k].sample;
    bool goes_on = samples.last_subtitle[k] == samples.subtitle;
    bool blank = goes_on && (blank_before || samples.last_paragraph[k] != samples.paragraph);
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

bool FinishSamples()
{
    EndSampleSubtitle();
    for (int k = 0; k < class_list.length; k++)
        if (!class_samples.done[k])
            class_list.classes[k].sample[0] = '\0';
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
