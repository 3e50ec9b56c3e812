// Tags by name: a SYNC tag starts a subtitle, a BR tag breaks a line, every other tag is
// removed. Nothing inside a tag after its name means anything but a SYNC tag's value.
#include "byte_io.h"
#include "conversion_state.h"

#include <cstdio>
#include <cstring>

namespace
{

// Long enough for the longest name that means something and one byte more.
constexpr int TAG_NAME_SIZE = 5;

bool EndsTagName(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '/' || c == '>' || c == EOF;
}

char ToLowerAscii(int c)
{
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

bool IsName(const char *name, int length, const char *expected)
{
    return length == static_cast<int>(std::strlen(expected)) &&
           std::memcmp(name, expected, static_cast<std::size_t>(length)) == 0;
}

/* StartSubtitle
 *     A complete SYNC tag: the text up to the next one is a subtitle, its stamp written before
 *     its first text byte, if it has one. */
void StartSubtitle()
{
    ConversionState &state = conversion_state;
    state.in_subtitle = true;
    state.stamp_pending = true;
    state.blank_pending = false;
}

} // namespace

/* ReadTagName
 *     Reads the name after a tag's '<' and sets tag_kind by it, without regard to case;
 *     current_char is left on the byte that ended the name. A closing tag means something
 *     only as «</P>». */
void ReadTagName()
{
    ConversionState &state = conversion_state;
    char name[TAG_NAME_SIZE];
    int length = 0;
    state.current_char = ReadByte();
    bool closing = state.current_char == '/';
    if (closing)
        state.current_char = ReadByte();
    // Look for the end of the name; only its first bytes are kept.
    while (!EndsTagName(state.current_char)) {
        if (length < TAG_NAME_SIZE)
            name[length++] = ToLowerAscii(state.current_char);
        state.current_char = ReadByte();
    }
    state.tag_kind = TagKind::Other;
    if (IsName(name, length, "p"))
        state.tag_kind = closing ? TagKind::ParagraphEnd : TagKind::Paragraph;
    else if (closing)
        state.tag_kind = TagKind::Other;
    else if (IsName(name, length, "sync"))
        state.tag_kind = TagKind::Sync;
    else if (IsName(name, length, "br"))
        state.tag_kind = TagKind::LineBreak;
}

/* SkipTagRest
 *     Discards the rest of a tag up to its '>' (left in current_char for WriteChar to drop). */
void SkipTagRest()
{
    ConversionState &state = conversion_state;
    // Look for the '>' that ends the tag, whatever stands before it.
    while (state.current_char != '>' && state.current_char != EOF)
        state.current_char = ReadByte();
}

/* SkipLineBreak
 *     Discards a line-break tag. In a subtitle it is white space; elsewhere the byte after it
 *     decides on a line end. A tag cut off by the end of the input breaks nothing. */
void SkipLineBreak()
{
    ConversionState &state = conversion_state;
    SkipTagRest();
    if (state.current_char == EOF || state.text_hidden)
        return;
    if (!state.in_subtitle)
        state.line_break_pending = true;
    else if (!state.stamp_pending)
        state.blank_pending = true;
}

/* SkipTagSync
 *     The sync-mode tag step: like SkipTag, and a SYNC tag starts a subtitle. */
void SkipTagSync()
{
    ConversionState &state = conversion_state;
    if (state.current_char != '<' || state.current_is_text)
        return;
    ReadTagName();
    if (state.tag_kind == TagKind::Sync)
        ReadSyncValue();
    else
        SkipMarkedTag();
}

/* SkipMarkedTag
 *     Discards a tag whose name has been read, doing what a line break or a paragraph's start
 *     or end does. A tag cut off by the end of the input does nothing. */
void SkipMarkedTag()
{
    ConversionState &state = conversion_state;
    switch (state.tag_kind) {
    case TagKind::LineBreak: SkipLineBreak(); return;
    case TagKind::Paragraph:
        if (state.chosen_class[0] != '\0' || state.listing_classes)
            ReadParagraphClass();
        else
            SkipTagRest();
        return;
    case TagKind::ParagraphEnd:
    case TagKind::Sync:
        SkipTagRest();
        if (state.current_char != EOF)
            EndParagraph();
        return;
    case TagKind::Other: SkipTagRest(); return;
    }
}

/* ReadSyncValue
 *     Captures what stands between the SYNC tag's first '=' and its '>' (at most 19 bytes, the
 *     rest dropped) and starts the subtitle. A tag cut off by the end starts nothing. */
void ReadSyncValue()
{
    ConversionState &state = conversion_state;
    std::memset(state.sync_value, 0, sizeof state.sync_value);
    std::int32_t length = 0;
    // Look for the value's '='; a tag without one has an empty value.
    while (state.current_char != '=' && state.current_char != '>' && state.current_char != EOF)
        state.current_char = ReadByte();
    if (state.current_char == '=') {
        state.current_char = ReadByte();
        // Look for the '>' that ends the tag, keeping what fits of the value.
        while (state.current_char != '>' && state.current_char != EOF) {
            if (length < SYNC_VALUE_SIZE - 1)
                state.sync_value[length++] = static_cast<char>(state.current_char);
            state.current_char = ReadByte();
        }
    }
    if (state.current_char == EOF)
        return;
    state.sync_value[length] = '>';
    state.sync_value_length = length;
    EndParagraph();
    StartSubtitle();
}
