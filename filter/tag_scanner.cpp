// Tags by name: a SYNC tag starts a subtitle, a BR tag breaks a line, P tags stand apart,
// STYLE, SAMIPARAM and SCRIPT open blocks that are markup whole, every other tag is removed.
// Nothing inside a tag after its name means anything but a SYNC tag's value or a P tag's class.
#include "tag_scanner.h"
#include "byte_io.h"
#include "conversion_state.h"
#include "fast_scans.h"
#include "steps.h"

#include <cstdio>
#include <cstring>

/* EndsParameterBlock
 *     Whether a tag of kind, read inside the parameter block open now, ends it: its own end
 *     tag, </HEAD>, <BODY> or a SYNC tag. */
bool EndsParameterBlock(TagKind kind)
{
    switch (conversion_state.text.parameter_block) {
    case TagKind::Style:
        if (kind == TagKind::StyleEnd)
            return true;
        break;
    case TagKind::SamiParam:
        if (kind == TagKind::SamiParamEnd)
            return true;
        break;
    case TagKind::Script:
        if (kind == TagKind::ScriptEnd)
            return true;
        break;
    default: break;
    }
    return kind == TagKind::HeadEnd || kind == TagKind::Body || kind == TagKind::Sync;
}

/* OpensTag
 *     With current_char a '<' of the input: whether it opens a tag. Followed by white space, a
 *     digit or the end of the input it is text, and the byte after it stays unread. */
bool OpensTag()
{
    ConversionState &state = conversion_state;
    if (EnsureLookAhead(1) == 0)
        return false;
    return !KeepsLessThan(read_buffer[state.reading.read_position]);
}

/* ReadTagName
 *     Reads the name after a tag's '<' and sets tag_kind by it; current_char is left on the
 *     byte that ended the name. In a parameter block every '<' starts a name again. */
void ReadTagName()
{
    ConversionState &state = conversion_state;
    unsigned char name[TAG_NAME_SIZE + 1] = {}; // and a blank after it, for ClassifyTagName
    int length = 0;
    state.current_char = ReadByte();
    bool closing = state.current_char == '/';
    if (closing)
        state.current_char = ReadByte();
    // Look for the end of the name; only its first bytes are kept.
    while (!EndsTagName(state.current_char)) {
        if (state.current_char == '<' && state.text.parameter_block != TagKind::Other) {
            length = 0;
            state.current_char = ReadByte();
            closing = state.current_char == '/';
            if (closing)
                state.current_char = ReadByte();
            continue;
        }
        if (length < TAG_NAME_SIZE)
            name[length++] = static_cast<unsigned char>(state.current_char);
        state.current_char = ReadByte();
    }
    name[length < TAG_NAME_SIZE ? length : TAG_NAME_SIZE] = ' ';
    int ignored;
    state.text.tag_kind = ClassifyTagName(name, closing, &ignored, ReadsStyles());
}

/* StartSubtitle
 *     A complete SYNC tag, its value captured (sync_value_length bytes): the text up to the
 *     next one is a subtitle, its stamp written before its first text byte, if it has one. */
void StartSubtitle()
{
    ConversionState &state = conversion_state;
    state.sync_value[state.sync_value_length] = '>';
    EndParagraph();
    state.text.in_subtitle = true;
    state.text.first_text_pending = true;
    state.text.blank_pending = false;
    Listener().start_subtitle();
}

/* MarkStyleTag
 *     A complete style tag of kind in a subtitle, for a listener that reads them; a font's
 *     color attribute has been read. */
void MarkStyleTag(TagKind kind)
{
    if (!ReadsStyles() || TextIsHidden() || !conversion_state.text.in_subtitle)
        return;
    StyleTag tag;
    bool closing;
    if (!StyleOfTag(kind, &tag, &closing))
        return;
    Listener().mark_style(tag, closing);
}

/* StartParameterBlock
 *     A complete tag of kind: when it is a STYLE, SAMIPARAM or SCRIPT tag, what follows is a
 *     parameter block. Returns whether it is. */
bool StartParameterBlock(TagKind kind)
{
    if (!OpensParameterBlock(kind))
        return false;
    conversion_state.text.parameter_block = kind;
    return true;
}

/* MarkLineBreak
 *     A complete line-break tag: white space in a subtitle; elsewhere the byte after it
 *     decides on a line end. */
void MarkLineBreak()
{
    ConversionState &state = conversion_state;
    if (TextIsHidden())
        return;
    if (!state.text.in_subtitle) {
        state.text.line_break_pending = true;
        return;
    }
    MarkBlank();
    Listener().break_line();
}

/* MarkParagraph
 *     A complete P, </P> or, in Save, SYNC tag of kind with no class chosen: a paragraph in a
 *     subtitle; in Save a line that holds text ends before the next text byte. */
void MarkParagraph(TagKind kind)
{
    ConversionState &state = conversion_state;
    if (state.options.chosen_class[0] != '\0' || TextIsHidden())
        return;
    if (state.text.in_subtitle)
        MarkParagraphTag(kind == TagKind::Paragraph ? "" : nullptr, false);
    else if (!state.text.paragraph_break_pending && LineHoldsText())
        state.text.paragraph_break_pending = true;
}

/* FinishTag
 *     What a complete tag of kind does once its '>' is read; a SYNC tag here is Save's. */
void FinishTag(TagKind kind)
{
    if (StartParameterBlock(kind))
        return;
    switch (kind) {
    case TagKind::LineBreak: MarkLineBreak(); return;
    case TagKind::Paragraph: MarkParagraph(kind); return;
    case TagKind::ParagraphEnd:
    case TagKind::Sync:
        EndParagraph();
        MarkParagraph(kind);
        return;
    default: MarkStyleTag(kind); return;
    }
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

/* ReadTagStart
 *     Reads the name of the tag current_char opens, if it opens one. False when the tag
 *     means nothing here: it is text, or it does not end the parameter block it stands in. */
bool ReadTagStart()
{
    ConversionState &state = conversion_state;
    if (state.current_char != '<' || state.text.current_is_text || !OpensTag())
        return false;
    ReadTagName();
    if (state.text.parameter_block == TagKind::Other)
        return true;
    if (!EndsParameterBlock(state.text.tag_kind))
        return false; // the block goes on: the byte after the name is read as any other
    state.text.parameter_block = TagKind::Other;
    return true;
}

/* SkipTagSync
 *     The sync-mode tag step: like SkipTag, and a SYNC tag starts a subtitle. */
void SkipTagSync()
{
    ConversionState &state = conversion_state;
    if (!ReadTagStart())
        return;
    if (state.text.tag_kind == TagKind::Sync)
        ReadSyncValue();
    else
        SkipMarkedTag();
    state.text.current_is_markup = true; // the tag's '>', or the input's end
}

/* SkipMarkedTag
 *     Discards a tag whose name has been read, doing what it does when complete; a P tag's
 *     class is read when classes matter. A tag cut off by the end of the input does nothing. */
void SkipMarkedTag()
{
    ConversionState &state = conversion_state;
    if (state.text.tag_kind == TagKind::Paragraph && ReadsClasses()) {
        ReadParagraphClass();
        return;
    }
    if (state.text.tag_kind == TagKind::LineBreak) {
        SkipLineBreak();
        return;
    }
    if (state.text.tag_kind == TagKind::Font && ReadsStyles()) {
        ReadFontColour();
        if (state.current_char != EOF)
            MarkStyleTag(TagKind::Font);
        return;
    }
    SkipTagRest();
    if (state.current_char != EOF)
        FinishTag(state.text.tag_kind);
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
