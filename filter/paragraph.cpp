// Paragraphs and their classes: a file can carry several languages, one class each
// («<P Class=ENCC>», «<P Class=KRCC>»), and a user may want the text of one alone.
#include "byte_io.h"
#include "conversion.h"
#include "conversion_state.h"
#include "steps.h"

#include <cstdio>
#include <cstring>

namespace
{

int last_class;                  // the entry of class_list the last P tag counted in
unsigned long long chosen_found; // a bit for each name of the chosen list a P tag had

// Long enough for "class" or "color" and one byte more.
constexpr int ATTRIBUTE_NAME_SIZE = 6;

// What ends «NAME» in the short form of a P tag, «<P Class=NAME>», or makes it another form.
struct ShortClassEnds {
    bool of[256];
};
constexpr ShortClassEnds ENDS_SHORT_CLASS = [] {
    ShortClassEnds table{};
    for (int c = 0; c < 256; c++)
        table.of[c] = c == '>' || c == '"' || c == '\'' || (BYTE_CLASSES.of[c] & WHITE_SPACE) != 0;
    return table;
}();

char ToLowerAscii(int c)
{
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

bool EqualIgnoringCase(const char *left, const char *right)
{
    while (*left != '\0' && ToLowerAscii(*left) == ToLowerAscii(*right)) {
        left++;
        right++;
    }
    return ToLowerAscii(*left) == ToLowerAscii(*right);
}

/* SkipBlanks
 *     Reads on from current_char past blanks, tabs and line ends. */
void SkipBlanks()
{
    ConversionState &state = conversion_state;
    while (IsWhiteSpace(state.current_char))
        state.current_char = ReadByte();
}

/* ReadAttributeName
 *     Reads an attribute's name from current_char on; true when it is wanted (five lower-case
 *     letters), in any case. */
bool ReadAttributeName(const char *wanted)
{
    ConversionState &state = conversion_state;
    char name[ATTRIBUTE_NAME_SIZE];
    int length = 0;
    int c = state.current_char;
    // Look for the end of the name; only its first bytes are kept.
    while (!IsWhiteSpace(c) && c != '=' && c != '>' && c != '/' && c != EOF) {
        if (length < ATTRIBUTE_NAME_SIZE)
            name[length++] = ToLowerAscii(c);
        c = ReadByte();
    }
    state.current_char = c;
    return length == 5 && std::memcmp(name, wanted, 5) == 0;
}

/* ReadAttributeValue
 *     Reads a value in double or single quotes, or bare up to a blank or the tag's '>'; keeps
 *     what fits of it in the size bytes at kept (none when null) and returns how much that is.
 *     *cut tells whether a byte but white space was left out. The tag's '>' ends a quoted value
 *     too. */
int ReadAttributeValue(char *kept, int size, bool *cut)
{
    ConversionState &state = conversion_state;
    int length = 0;
    int quote = state.current_char == '"' || state.current_char == '\'' ? state.current_char : 0;
    if (quote != 0)
        state.current_char = ReadByte();
    // Look for the end of the value.
    while (state.current_char != EOF && state.current_char != '>' &&
           (quote != 0 ? state.current_char != quote : !IsWhiteSpace(state.current_char))) {
        if (kept != nullptr && length < size)
            kept[length++] = static_cast<char>(state.current_char);
        else if (kept != nullptr && !IsAsciiWhiteSpace(state.current_char))
            *cut = true;
        state.current_char = ReadByte();
    }
    if (quote != 0 && state.current_char == quote)
        state.current_char = ReadByte();
    return length;
}

/* ReadAttribute
 *     Reads a tag's attributes up to its '>' for the value of the first one named wanted; keeps
 *     what fits in the size bytes at kept and returns its length, -1 when there is none. */
int ReadAttribute(const char *wanted, char *kept, int size, bool *cut)
{
    ConversionState &state = conversion_state;
    int found = -1;
    *cut = false;
    // Look at one attribute at a time until the tag's '>'.
    for (;;) {
        while (IsWhiteSpace(state.current_char) || state.current_char == '/')
            state.current_char = ReadByte();
        if (state.current_char == '>' || state.current_char == EOF)
            return found;
        bool is_wanted = ReadAttributeName(wanted);
        SkipBlanks();
        if (state.current_char != '=')
            continue; // an attribute without a value
        state.current_char = ReadByte();
        SkipBlanks();
        bool keep = is_wanted && found < 0;
        int length = ReadAttributeValue(keep ? kept : nullptr, size, cut);
        if (keep)
            found = length;
    }
}

/* FindAttributeAt
 *     ReadAttribute for a tag whole in memory from p to its '>': where the first value of
 *     wanted begins and its length, -1 when there is none. */
int FindAttributeAt(const unsigned char *p, const char *wanted, const unsigned char **value)
{
    int found = -1;
    // Look at one attribute at a time until the tag's '>'.
    for (;;) {
        while (IsWhiteSpace(*p) || *p == '/')
            p++;
        if (*p == '>')
            return found;
        const unsigned char *name = p;
        while (!IsWhiteSpace(*p) && *p != '=' && *p != '>' && *p != '/')
            p++;
        bool is_wanted = p - name == 5;
        for (int k = 0; k < 5 && is_wanted; k++)
            is_wanted = ToLowerAscii(name[k]) == wanted[k];
        while (IsWhiteSpace(*p))
            p++;
        if (*p != '=')
            continue; // an attribute without a value
        p++;
        while (IsWhiteSpace(*p))
            p++;
        // The value, in quotes or bare; the tag's '>' ends it either way.
        unsigned char quote = *p == '"' || *p == '\'' ? *p : 0;
        if (quote != 0)
            p++;
        const unsigned char *start = p;
        while (*p != '>' && (quote != 0 ? *p != quote : !IsWhiteSpace(*p)))
            p++;
        if (is_wanted && found < 0) {
            *value = start;
            found = static_cast<int>(p - start);
        }
        if (quote != 0 && *p == quote)
            p++;
    }
}

/* RecordClass
 *     Counts a P tag of paragraph_class in class_list, adding the class when it is new. */
void RecordClass()
{
    ConversionState &state = conversion_state;
    // Most P tags have the class of the one before.
    if (last_class < class_list.length &&
        std::strcmp(class_list.classes[last_class].name, state.paragraphs.paragraph_class) == 0) {
        class_list.classes[last_class].count++;
        return;
    }
    int listed = FindListedClass(state.paragraphs.paragraph_class);
    if (listed >= 0) {
        class_list.classes[listed].count++;
        last_class = listed;
        return;
    }
    if (class_list.length == CLASS_LIST_SIZE)
        return;
    last_class = class_list.length;
    ParagraphClass &entry = class_list.classes[class_list.length++];
    std::memcpy(entry.name, state.paragraphs.paragraph_class, sizeof entry.name);
    entry.count = 1;
}

/* OpenParagraph
 *     A complete P tag: its text is written when its class is the chosen one. */
/* DropCutCharacter
 *     A class kept at its size may end in the first bytes of a character; in Unicode text they
 *     are dropped, so that every name written out is whole UTF-8. */
void DropCutCharacter(char *name)
{
    std::size_t length = std::strlen(name);
    std::size_t lead = length;
    while (lead > 0 && length - lead < 3 &&
           (static_cast<unsigned char>(name[lead - 1]) & 0xC0) == 0x80)
        lead--;
    if (lead == 0)
        return;
    auto first = static_cast<unsigned char>(name[lead - 1]);
    std::size_t whole = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    if (whole > length - lead + 1)
        name[lead - 1] = '\0';
}

void OpenParagraph()
{
    ConversionState &state = conversion_state;
    if (state.reading.text_is_unicode)
        DropCutCharacter(state.paragraphs.paragraph_class);
    bool choosing = state.options.chosen_class[0] != '\0';
    // The list only tells what a chosen class could have been.
    if (state.paragraphs.paragraph_class[0] != '\0' &&
        (choosing || state.paragraphs.listing_classes))
        RecordClass();
    int item = choosing ? ChosenClassIndex(state.paragraphs.paragraph_class) : -1;
    // A class whose own name holds a comma, chosen whole, is not a list.
    bool whole = choosing && item < 0 && state.paragraphs.paragraph_class[0] != '\0' &&
                 EqualIgnoringCase(state.paragraphs.paragraph_class, state.options.chosen_class);
    bool chosen = item >= 0 || whole;
    if (chosen)
        chosen_found |= whole ? ~0ull : 1ull << item;
    MarkParagraphTag(state.paragraphs.paragraph_class, chosen);
    if (state.options.chosen_class[0] == '\0')
        return;
    state.paragraphs.text_hidden = !chosen;
    state.paragraphs.chosen_class_found = state.paragraphs.chosen_class_found || chosen;
}

} // namespace

/* MarkParagraphTag
 *     A P tag of class_name, or a </P> tag (null), in a subtitle: white space in Sync Save, a
 *     paragraph to the listener. */
void MarkParagraphTag(const char *class_name, bool of_chosen_class)
{
    if (!conversion_state.text.in_subtitle)
        return;
    MarkBlank();
    Listener().mark_paragraph(class_name, of_chosen_class);
}

bool SameClassName(const char *left, const char *right)
{
    return EqualIgnoringCase(left, right);
}

/* ChosenClassIndex
 *     Which name of the chosen list («A» or «A,B»), from 0, class_name is in any case; -1 for
 *     none or an empty class. */
int ChosenClassIndex(const char *class_name)
{
    if (class_name[0] == '\0')
        return -1;
    const char *name = conversion_state.options.chosen_class;
    for (int item = 0; *name != '\0'; item++) {
        const char *left = class_name;
        while (*left != '\0' && *name != ',' && *name != '\0' &&
               ToLowerAscii(*left) == ToLowerAscii(*name)) {
            left++;
            name++;
        }
        if (*left == '\0' && (*name == ',' || *name == '\0'))
            return item;
        while (*name != ',' && *name != '\0')
            name++;
        if (*name == ',')
            name++;
    }
    return -1;
}

/* MissedClassName
 *     The first name of the chosen list that no P tag had, put at out (CLASS_NAME_SIZE bytes);
 *     false when every one had one. */
bool MissedClassName(char *out)
{
    const char *name = conversion_state.options.chosen_class;
    for (int item = 0; *name != '\0'; item++) {
        std::size_t length = std::strcspn(name, ",");
        if ((chosen_found & (1ull << item)) == 0) {
            std::memcpy(out, name, length);
            out[length] = '\0';
            return true;
        }
        name += length + (name[length] == ',' ? 1 : 0);
    }
    return false;
}

/* FindListedClass
 *     The entry of class_list for class_name, in any case; -1 when it has none. */
int FindListedClass(const char *class_name)
{
    for (int k = 0; k < class_list.length; k++)
        if (EqualIgnoringCase(class_list.classes[k].name, class_name))
            return k;
    return -1;
}

/* ReadParagraphClass
 *     Reads a P tag's attributes up to its '>' for the value of its Class; the paragraph opens
 *     when the tag is complete, ending the one before. */
void ReadParagraphClass()
{
    ConversionState &state = conversion_state;
    bool cut = false;
    int length =
        ReadAttribute("class", state.paragraphs.paragraph_class, CLASS_NAME_SIZE - 1, &cut);
    state.paragraphs.paragraph_class[length < 0 ? 0 : length] = '\0';
    if (state.current_char == EOF)
        return; // a tag cut off by the end of the input opens nothing
    EndParagraph();
    OpenParagraph();
}

/* ReadParagraphClassAt
 *     ReadParagraphClass for a P tag that stands whole in memory from p, the byte after its
 *     name, to its '>' at gt. False, reading nothing, when it holds a byte the steps would read
 *     otherwise (a CR before an LF). */
bool ReadParagraphClassAt(const unsigned char *p, const unsigned char *gt)
{
    ConversionState &state = conversion_state;
    // Most tags are «<P Class=NAME>»: told at one look when NAME is short and ends the tag.
    if (std::memcmp(p, " Class=", 7) == 0) {
        const unsigned char *value = p + 7;
        std::size_t length = 0;
        while (length < CLASS_NAME_SIZE - 1 && !ENDS_SHORT_CLASS.of[value[length]])
            length++;
        if (length > 0 && value[length] == '>') {
            std::memcpy(state.paragraphs.paragraph_class, value, length);
            state.paragraphs.paragraph_class[length] = '\0';
            EndParagraph();
            OpenParagraph();
            return true;
        }
    }
    if (state.reading.joins_line_ends && std::memchr(p, '\r', static_cast<std::size_t>(gt - p)))
        return false;
    const unsigned char *value = nullptr;
    int length = FindAttributeAt(p, "class", &value);
    if (length > CLASS_NAME_SIZE - 1)
        length = CLASS_NAME_SIZE - 1;
    if (length > 0)
        std::memcpy(state.paragraphs.paragraph_class, value, static_cast<std::size_t>(length));
    state.paragraphs.paragraph_class[length < 0 ? 0 : length] = '\0';
    EndParagraph();
    OpenParagraph();
    return true;
}

/* ReadFontColour
 *     Reads a font tag's attributes up to its '>' for its color value. Of a value longer than
 *     font_colour holds, what the colour rules look at is kept. */
void ReadFontColour()
{
    ConversionState::Paragraphs &paragraphs = conversion_state.paragraphs;
    paragraphs.font_colour_length = ReadAttribute("color", paragraphs.font_colour,
                                                  COLOUR_VALUE_SIZE, &paragraphs.font_colour_cut);
}

/* ReadFontColourAt
 *     ReadFontColour for a font tag whole in memory from p to its '>'. False, reading nothing,
 *     when its value holds a CR that the steps would read with its LF as one byte. */
bool ReadFontColourAt(const unsigned char *p)
{
    ConversionState::Paragraphs &paragraphs = conversion_state.paragraphs;
    const unsigned char *value = nullptr;
    int length = -1;
    // Most tags are «<font color=VALUE>» or «<font color="VALUE">»: told at one look when
    // VALUE is short and ends the tag.
    if (p[0] == ' ' && (p[1] | 0x20) == 'c' && (p[2] | 0x20) == 'o' && (p[3] | 0x20) == 'l' &&
        (p[4] | 0x20) == 'o' && (p[5] | 0x20) == 'r' && p[6] == '=') {
        const unsigned char *start = p + 7;
        unsigned char quote = *start == '"' || *start == '\'' ? *start : 0;
        start += quote != 0 ? 1 : 0;
        int count = 0;
        while (count < COLOUR_VALUE_SIZE && start[count] != '>' && start[count] != quote &&
               !IsWhiteSpace(start[count]))
            count++;
        const unsigned char *after = start + count + (quote != 0 && start[count] == quote);
        if (*after == '>' && (quote == 0 || start[count] == quote)) {
            value = start;
            length = count;
        }
    }
    if (value == nullptr)
        length = FindAttributeAt(p, "color", &value);
    if (length > 0 && conversion_state.reading.joins_line_ends &&
        std::memchr(value, '\r', static_cast<std::size_t>(length)) != nullptr)
        return false;
    int kept = length > COLOUR_VALUE_SIZE ? COLOUR_VALUE_SIZE : length;
    paragraphs.font_colour_length = kept;
    paragraphs.font_colour_cut = false;
    for (int k = kept; k < length && !paragraphs.font_colour_cut; k++)
        paragraphs.font_colour_cut = !IsAsciiWhiteSpace(value[k]);
    if (kept > 0)
        std::memcpy(paragraphs.font_colour, value, static_cast<std::size_t>(kept));
    return true;
}

/* EndParagraph
 *     Ends a paragraph of the chosen class: in a subtitle it is white space, elsewhere it ends
 *     its line. What follows is hidden until the next paragraph of that class. */
void EndParagraph()
{
    ConversionState &state = conversion_state;
    if (state.options.chosen_class[0] == '\0' || state.paragraphs.text_hidden)
        return;
    state.paragraphs.text_hidden = true;
    if (!state.text.in_subtitle) {
        if (state.options.mode == ConversionMode::Plain && state.writing.mid_line)
            WriteByte('\n');
    } else {
        MarkParagraphTag(nullptr, false);
    }
}

/* StartParagraphs
 *     Before a conversion: outside any paragraph, so hidden when a class is chosen. */
void StartParagraphs()
{
    ConversionState &state = conversion_state;
    state.paragraphs.text_hidden = state.options.chosen_class[0] != '\0';
    state.paragraphs.chosen_class_found = false;
    chosen_found = 0;
    class_list.length = 0;
}

bool ReadsClasses()
{
    const ConversionState &state = conversion_state;
    return state.options.chosen_class[0] != '\0' || state.paragraphs.listing_classes ||
           (state.options.mode == ConversionMode::Sync && Listener().reads_classes);
}

bool ReadsStyles()
{
    return conversion_state.options.mode == ConversionMode::Sync && Listener().reads_styles;
}

bool MissedChosenClass()
{
    char name[CLASS_NAME_SIZE];
    return conversion_state.options.chosen_class[0] != '\0' && MissedClassName(name);
}
