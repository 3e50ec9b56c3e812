// Tags by name: a SYNC tag starts a subtitle, a BR tag breaks a line, every other tag is
// removed. Nothing inside a tag after its name means anything but a SYNC tag's value.
#include "byte_io.h"
#include "conversion_state.h"

#include <cstdio>
#include <cstring>

/* ClassifyTagName
 *     What the first bytes of a tag's name (length counts them all) say the tag is, without
 *     regard to case. A closing tag means something only as «</P>». */
TagKind ClassifyTagName(const unsigned char *name, int length, bool closing)
{
    auto lower = [name](int k) { return name[k] | 0x20; }; // letters only are compared
    if (length == 1 && lower(0) == 'p')
        return closing ? TagKind::ParagraphEnd : TagKind::Paragraph;
    if (closing)
        return TagKind::Other;
    if (length == 4 && lower(0) == 's' && lower(1) == 'y' && lower(2) == 'n' && lower(3) == 'c')
        return TagKind::Sync;
    if (length == 2 && lower(0) == 'b' && lower(1) == 'r')
        return TagKind::LineBreak;
    return TagKind::Other;
}

/* ReadTagName
 *     Reads the name after a tag's '<' and sets tag_kind by it; current_char is left on the
 *     byte that ended the name. */
void ReadTagName()
{
    ConversionState &state = conversion_state;
    unsigned char name[TAG_NAME_SIZE];
    int length = 0;
    state.current_char = ReadByte();
    bool closing = state.current_char == '/';
    if (closing)
        state.current_char = ReadByte();
    // Look for the end of the name; only its first bytes are kept.
    while (!EndsTagName(state.current_char)) {
        if (length < TAG_NAME_SIZE)
            name[length++] = static_cast<unsigned char>(state.current_char);
        state.current_char = ReadByte();
    }
    state.tag_kind = ClassifyTagName(name, length, closing);
}

/* StartSubtitle
 *     A complete SYNC tag, its value captured (sync_value_length bytes): the text up to the
 *     next one is a subtitle, its stamp written before its first text byte, if it has one. */
void StartSubtitle()
{
    ConversionState &state = conversion_state;
    state.sync_value[state.sync_value_length] = '>';
    EndParagraph();
    state.in_subtitle = true;
    state.stamp_pending = true;
    state.blank_pending = false;
}

/* MarkLineBreak
 *     A complete line-break tag: white space in a subtitle; elsewhere the byte after it
 *     decides on a line end. */
void MarkLineBreak()
{
    ConversionState &state = conversion_state;
    if (state.text_hidden)
        return;
    if (!state.in_subtitle)
        state.line_break_pending = true;
    else if (!state.stamp_pending)
        state.blank_pending = true;
}

/* SkipLineBreak
 *     Discards a line-break tag. In a subtitle it is white space; elsewhere the byte after it
 *     decides on a line end. A tag cut off by the end of the input breaks nothing. */
void SkipLineBreak()
{
    SkipTagRest();
    if (conversion_state.current_char != EOF)
        MarkLineBreak();
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
        if (ReadsClasses())
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
    state.sync_value_length = length;
    StartSubtitle();
}
