// The character filter: the three steps of a cycle, the loop that repeats them, and the end.
#include "byte_io.h"
#include "conversion_state.h"

#include <cstdio>
#include <cstring>

ConversionState conversion_state;

namespace
{

const unsigned char UTF8_BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};

bool IsWhiteSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/* WriteSubtitleText
 *     Writes the count bytes of one character into the subtitle's one line: the stamp before
 *     its first text byte, one blank for each run of white space between text bytes, nothing
 *     for white space at either end. */
void WriteSubtitleText(const unsigned char *bytes, std::size_t count)
{
    ConversionState &state = conversion_state;
    if (IsWhiteSpace(bytes[0])) {
        if (!state.stamp_pending)
            state.blank_pending = true;
        return;
    }
    StartSubtitleText();
    WriteBytes(bytes, count);
}

/* WriteSaveText
 *     Writes the count bytes of one character outside a subtitle, after the line end that a
 *     paragraph break waits to write before text. */
void WriteSaveText(const unsigned char *bytes, std::size_t count)
{
    if (conversion_state.paragraph_break_pending)
        ResolveParagraphBreak(bytes[0]);
    WriteBytes(bytes, count);
}

/* CopyByteOrderMark
 *     Copies a UTF-8 byte order mark that opens the input; the output still stands at the start
 *     of its first line, so a stamp that follows goes on that line. */
void CopyByteOrderMark()
{
    ConversionState &state = conversion_state;
    if (EnsureLookAhead(sizeof UTF8_BYTE_ORDER_MARK) < sizeof UTF8_BYTE_ORDER_MARK)
        return;
    for (std::size_t k = 0; k < sizeof UTF8_BYTE_ORDER_MARK; k++) {
        if (read_buffer[state.read_position + k] != UTF8_BYTE_ORDER_MARK[k])
            return;
    }
    WriteBytes(UTF8_BYTE_ORDER_MARK, sizeof UTF8_BYTE_ORDER_MARK);
    state.read_position += sizeof UTF8_BYTE_ORDER_MARK;
    state.mid_line = false;
    state.line_floor = state.write_length;
    state.text_is_unicode = true;
}

/* StartConversion
 *     Forgets where the last conversion's text stood. */
void StartConversion()
{
    ConversionState &state = conversion_state;
    state.input_ended = false;
    state.mid_line = false;
    state.line_floor = 0;
    state.line_text_written_out = false;
    state.text_is_unicode = state.encoding != TextEncoding::Bytes;
    state.line_break_pending = false;
    state.paragraph_break_pending = false;
    state.parameter_block = TagKind::Other;
    state.in_subtitle = false;
    state.stamp_pending = false;
    state.blank_pending = false;
    state.stamp_written = false;
    state.text_hidden = state.chosen_class[0] != '\0';
    state.chosen_class_found = false;
    class_list.length = 0;
}

/* EndConversion
 *     Ends the last subtitle's line and hands everything written to the output stream. */
void EndConversion()
{
    ConversionState &state = conversion_state;
    EndParagraph();
    if (MissedSyncTag() || MissedChosenClass()) {
        state.write_length = 0; // not even a byte order mark: nothing of the input was wanted
        return;
    }
    if (state.stamp_written && state.mid_line)
        WriteByte('\n');
    FinishWriting();
}

} // namespace

/* ResolveLineBreak
 *     A line-break tag followed by anything but a line end or the end of the input writes a
 *     line end: the text after «<br>» on the same line starts a line of its own. */
void ResolveLineBreak()
{
    ConversionState &state = conversion_state;
    state.line_break_pending = false;
    int c = state.current_char;
    if (c != '\n' && c != '\r' && c != EOF) {
        WriteByte('\n');
        state.paragraph_break_pending = false; // the line end it waited for
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
    state.paragraph_break_pending = false;
    if (c != '\n' && c != '\r')
        WriteByte('\n');
}

bool MissedSyncTag()
{
    return conversion_state.mode == ConversionMode::Sync && !conversion_state.in_subtitle;
}

/* StartSubtitleText
 *     Comes before a text byte of a subtitle: the stamp when it is the first, else one blank
 *     for the white space since the last. */
void StartSubtitleText()
{
    ConversionState &state = conversion_state;
    if (state.stamp_pending) {
        WriteTimeStamp();
        state.stamp_pending = false;
    } else if (state.blank_pending) {
        WriteByte(' ');
    }
    state.blank_pending = false;
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
        state.current_is_text = false;
        if (state.line_break_pending)
            ResolveLineBreak();
        if (state.current_char != '&')
            return false;
        EntityRead entity = ReadEntity();
        if (entity == EntityRead::NotAnEntity)
            return false; // the '&' is text, and what follows it is read as usual
        if (entity == EntityRead::Decoded) {
            state.current_is_text = true;
            return true;
        }
    }
}

/* SkipTag
 *     The Save tag step: discards a tag up to its '>' (left in current_char for WriteChar to
 *     drop) and does what its name says. */
void SkipTag()
{
    if (ReadTagStart())
        SkipMarkedTag();
}

/* WriteChar
 *     Writes current_char, or the character of the entity it stands for, unless it ended a
 *     tag, is a '>' in the text, is EOF or is hidden. In a subtitle white space waits to be
 *     seen between two text bytes. */
void WriteChar()
{
    ConversionState &state = conversion_state;
    int c = state.current_char;
    if (c == EOF || (c == '>' && !state.current_is_text) || TextIsHidden())
        return;
    unsigned char byte = static_cast<unsigned char>(c);
    const unsigned char *bytes = state.current_is_text ? state.entity_text : &byte;
    std::size_t count = state.current_is_text ? static_cast<std::size_t>(state.entity_length) : 1;
    if (state.in_subtitle)
        WriteSubtitleText(bytes, count);
    else
        WriteSaveText(bytes, count);
}

/* RunConversion
 *     Runs read, tag step and write until a read meets the end of the input, then writes out
 *     what the filter holds. Each cycle first copies at once what it would copy byte by byte. */
void RunConversion(ConversionMode mode)
{
    ConversionState &state = conversion_state;
    state.mode = mode;
    StartConversion();
    CopyByteOrderMark();
    DetectUnicodeText();
    if (mode == ConversionMode::Sync) {
        while (!state.input_ended) {
            CopyTextRun();
            ReadChar();
            SkipTagSync();
            WriteChar();
        }
    } else {
        while (!state.input_ended) {
            CopyTextRun();
            ReadChar();
            SkipTag();
            WriteChar();
        }
    }
    EndConversion();
}

/* CloseStreams
 *     Closes whichever streams are open and forgets what the last conversion read and wrote.
 *     The callers check for errors before: a close's own result is theirs to test. */
void CloseStreams()
{
    ConversionState &state = conversion_state;
    if (state.input_stream != nullptr)
        fclose(state.input_stream);
    if (state.output_stream != nullptr)
        fclose(state.output_stream);
    // Everything is forgotten but what the caller chose, which stays for the next.
    char chosen_class[CLASS_NAME_SIZE];
    std::memcpy(chosen_class, state.chosen_class, sizeof chosen_class);
    bool byte_at_a_time = state.byte_at_a_time;
    std::size_t fill_limit = state.fill_limit;
    state = ConversionState{};
    std::memcpy(state.chosen_class, chosen_class, sizeof chosen_class);
    state.byte_at_a_time = byte_at_a_time;
    state.fill_limit = fill_limit;
}
