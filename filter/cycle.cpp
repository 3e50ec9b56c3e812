// The steps of a cycle: a character read, its tag skipped, what is left written; and what a
// line or paragraph break waits for.
#include "byte_classes.h"
#include "byte_io.h"
#include "conversion_state.h"
#include "entity.h"
#include "steps.h"

#include <cstddef>
#include <cstdio>

namespace
{

/* WriteSubtitleText
 *     Hands the count bytes of one character of a subtitle to its listener; white space only
 *     marks a blank before the next text byte. */
void WriteSubtitleText(const unsigned char *bytes, std::size_t count)
{
    if (IsWhiteSpace(bytes[0])) {
        MarkBlank();
        return;
    }
    WriteSubtitleBytes(bytes, count);
}

/* WriteSaveText
 *     Writes the count bytes of one character outside a subtitle, after the line end that a
 *     paragraph break waits to write before text. */
void WriteSaveText(const unsigned char *bytes, std::size_t count)
{
    if (conversion_state.text.paragraph_break_pending)
        ResolveParagraphBreak(bytes[0]);
    WriteBytes(bytes, count);
}

} // namespace

/* ResolveLineBreak
 *     A line-break tag followed by anything but a line end or the end of the input writes a
 *     line end: the text after «<br>» on the same line starts a line of its own. */
void ResolveLineBreak()
{
    ConversionState &state = conversion_state;
    state.text.line_break_pending = false;
    int c = state.current_char;
    if (c != '\n' && c != '\r' && c != EOF) {
        WriteByte('\n');
        state.text.paragraph_break_pending = false; // the line end it waited for
    }
}

/* ResolveParagraphBreak
 *     With a paragraph break pending, before c is written: a line end written first takes its
 *     place, a blank or a tab waits with it, any other byte goes on a new line. */
void ResolveParagraphBreak(int c)
{
    ConversionState &state = conversion_state;
    if (c == ' ' || c == '\t')
        return;
    state.text.paragraph_break_pending = false;
    if (c != '\n' && c != '\r')
        WriteByte('\n');
}

/* WriteSubtitleBytes
 *     Hands the count bytes of a subtitle's text to its listener, with the blank that white
 *     space before them asks for. */
void WriteSubtitleBytes(const unsigned char *bytes, std::size_t count)
{
    ConversionState &state = conversion_state;
    Listener().put_text(bytes, count, state.text.blank_pending);
    state.text.first_text_pending = false;
    state.text.blank_pending = false;
}

/* ReadChar
 *     Reads the next character into current_char: a byte, or the character an entity stands for
 *     (then current_is_text). A removed entity gives way to the byte after it. Returns true when
 *     current_char came from an entity. */
bool ReadChar()
{
    ConversionState &state = conversion_state;
    for (;;) {
        state.current_char = ReadByte();
        state.text.current_is_text = false;
        state.text.current_is_markup = false;
        if (state.text.line_break_pending)
            ResolveLineBreak();
        if (state.current_char != '&')
            return false;
        EntityRead entity = ReadEntity();
        if (entity == EntityRead::NotAnEntity)
            return false; // the '&' is text, and what follows it is read as usual
        if (entity == EntityRead::Decoded) {
            state.text.current_is_text = true;
            return true;
        }
    }
}

/* SkipTag
 *     The Save tag step: discards a tag up to its '>' (left in current_char, marked as markup
 *     for WriteChar to drop) and does what its name says. */
void SkipTag()
{
    if (!ReadTagStart())
        return;
    SkipMarkedTag();
    conversion_state.text.current_is_markup = true;
}

/* WriteChar
 *     Writes current_char, or the character of the entity it stands for, unless it ended a
 *     tag, is EOF or is hidden; a '>' in the text is text. In a subtitle white space waits to
 *     be seen between two text bytes. */
void WriteChar()
{
    ConversionState &state = conversion_state;
    int c = state.current_char;
    if (c == EOF || state.text.current_is_markup || TextIsHidden())
        return;
    unsigned char byte[TEXT_SLACK] = {static_cast<unsigned char>(c)};
    const unsigned char *bytes = state.text.current_is_text ? state.text.entity_text : byte;
    std::size_t count =
        state.text.current_is_text ? static_cast<std::size_t>(state.text.entity_length) : 1;
    if (state.text.in_subtitle)
        WriteSubtitleText(bytes, count);
    else
        WriteSaveText(bytes, count);
}
