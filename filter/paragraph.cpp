// Paragraphs and their classes: a file can carry several languages, one class each
// («<P Class=ENCC>», «<P Class=KRCC>»), and a user may want the text of one alone.
#include "byte_io.h"
#include "conversion_state.h"

#include <cstdio>
#include <cstring>

ClassList class_list;

namespace
{

// Long enough for "class" and one byte more.
constexpr int ATTRIBUTE_NAME_SIZE = 6;

bool IsBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

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
    while (IsBlank(state.current_char))
        state.current_char = ReadByte();
}

/* ReadAttributeName
 *     Reads an attribute's name from current_char on; true when it is "class", in any case. */
bool ReadAttributeName()
{
    ConversionState &state = conversion_state;
    char name[ATTRIBUTE_NAME_SIZE];
    int length = 0;
    int c = state.current_char;
    // Look for the end of the name; only its first bytes are kept.
    while (!IsBlank(c) && c != '=' && c != '>' && c != '/' && c != EOF) {
        if (length < ATTRIBUTE_NAME_SIZE)
            name[length++] = ToLowerAscii(c);
        c = ReadByte();
    }
    state.current_char = c;
    return length == 5 && std::memcmp(name, "class", 5) == 0;
}

/* ReadAttributeValue
 *     Reads a value in double or single quotes, or bare up to a blank or the tag's '>'; keeps
 *     what fits in paragraph_class when keep is set. The tag's '>' ends a quoted value too. */
void ReadAttributeValue(bool keep)
{
    ConversionState &state = conversion_state;
    int length = 0;
    int quote = state.current_char == '"' || state.current_char == '\'' ? state.current_char : 0;
    if (quote != 0)
        state.current_char = ReadByte();
    // Look for the end of the value.
    while (state.current_char != EOF && state.current_char != '>' &&
           (quote != 0 ? state.current_char != quote : !IsBlank(state.current_char))) {
        if (keep && length < CLASS_NAME_SIZE - 1)
            state.paragraph_class[length++] = static_cast<char>(state.current_char);
        state.current_char = ReadByte();
    }
    if (quote != 0 && state.current_char == quote)
        state.current_char = ReadByte();
    if (keep)
        state.paragraph_class[length] = '\0';
}

/* RecordClass
 *     Counts a P tag of paragraph_class in class_list, adding the class when it is new. */
void RecordClass()
{
    ConversionState &state = conversion_state;
    for (int k = 0; k < class_list.length; k++) {
        if (EqualIgnoringCase(class_list.classes[k].name, state.paragraph_class)) {
            class_list.classes[k].count++;
            return;
        }
    }
    if (class_list.length == CLASS_LIST_SIZE)
        return;
    ParagraphClass &entry = class_list.classes[class_list.length++];
    std::memcpy(entry.name, state.paragraph_class, sizeof entry.name);
    entry.count = 1;
}

/* OpenParagraph
 *     A complete P tag: its text is written when its class is the chosen one. */
void OpenParagraph()
{
    ConversionState &state = conversion_state;
    if (state.paragraph_class[0] != '\0')
        RecordClass();
    if (state.chosen_class[0] == '\0')
        return;
    bool chosen = state.paragraph_class[0] != '\0' &&
                  EqualIgnoringCase(state.paragraph_class, state.chosen_class);
    state.text_hidden = !chosen;
    state.chosen_class_found = state.chosen_class_found || chosen;
}

} // namespace

/* ReadParagraphClass
 *     Reads a P tag's attributes up to its '>' for the value of its Class; the paragraph opens
 *     when the tag is complete, ending the one before. */
void ReadParagraphClass()
{
    ConversionState &state = conversion_state;
    bool found = false;
    state.paragraph_class[0] = '\0';
    // Look at one attribute at a time until the tag's '>'.
    for (;;) {
        while (IsBlank(state.current_char) || state.current_char == '/')
            state.current_char = ReadByte();
        if (state.current_char == '>' || state.current_char == EOF)
            break;
        bool is_class = ReadAttributeName();
        SkipBlanks();
        if (state.current_char != '=')
            continue; // an attribute without a value
        state.current_char = ReadByte();
        SkipBlanks();
        ReadAttributeValue(is_class && !found);
        found = found || is_class;
    }
    if (state.current_char == EOF)
        return; // a tag cut off by the end of the input opens nothing
    EndParagraph();
    OpenParagraph();
}

/* EndParagraph
 *     Ends a paragraph of the chosen class: in a subtitle it is white space, elsewhere it ends
 *     its line. What follows is hidden until the next paragraph of that class. */
void EndParagraph()
{
    ConversionState &state = conversion_state;
    if (state.chosen_class[0] == '\0' || state.text_hidden)
        return;
    state.text_hidden = true;
    if (!state.in_subtitle) {
        if (state.mode == ConversionMode::Plain && state.mid_line)
            WriteByte('\n');
    } else if (!state.stamp_pending) {
        state.blank_pending = true;
    }
}

bool ReadsClasses()
{
    return conversion_state.chosen_class[0] != '\0' || conversion_state.listing_classes;
}

bool MissedChosenClass()
{
    return conversion_state.chosen_class[0] != '\0' && !conversion_state.chosen_class_found;
}

/* ListParagraphClasses
 *     Reads the whole input for its P tags and their classes, writing nothing. A '<' in an
 *     entity is never a raw byte, so every raw '<' that opens a tag is one; inside a parameter
 *     block only a tag that ends it means anything. */
void ListParagraphClasses()
{
    ConversionState &state = conversion_state;
    state.listing_classes = true;
    state.parameter_block = TagKind::Other;
    class_list.length = 0;
    while (!state.input_ended) {
        state.current_char = ReadByte();
        if (state.current_char != '<' || !OpensTag())
            continue;
        ReadTagName();
        if (state.parameter_block != TagKind::Other) {
            if (!EndsParameterBlock(state.tag_kind))
                continue;
            state.parameter_block = TagKind::Other;
        }
        if (state.tag_kind == TagKind::Paragraph) {
            ReadParagraphClass();
            continue;
        }
        SkipTagRest();
        if (OpensParameterBlock(state.tag_kind) && state.current_char != EOF)
            state.parameter_block = state.tag_kind;
    }
    state.listing_classes = false;
}
