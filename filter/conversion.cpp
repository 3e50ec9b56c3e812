// The loop that repeats the steps of a cycle, the fast path first, and the end of a conversion.
#include "conversion.h"

#include "byte_io.h"
#include "conversion_state.h"
#include "steps.h"

#include <cstdio>
#include <cstring>

namespace
{

/* StartConversion
 *     Forgets where the last conversion's text stood. */
void StartConversion()
{
    ConversionState &state = conversion_state;
    StartBuffers();
    decoding_report = DecodingReport{}; // before a fill decodes UTF-16
    state.text = ConversionState::Text{};
    state.text.listener = state.options.subtitle_listener != nullptr
                              ? state.options.subtitle_listener
                              : &stamp_listener;
    StartParagraphs();
    if (state.options.mode == ConversionMode::Sync)
        Listener().start_conversion();
}

/* EndConversion
 *     Lets the listener end the last subtitle and hands everything written to the output
 *     stream. */
void EndConversion()
{
    EndParagraph();
    bool kept =
        conversion_state.options.mode == ConversionMode::Plain || Listener().finish_conversion();
    if (!kept || MissedSyncTag() || MissedChosenClass()) {
        DiscardOutput(); // not even a byte order mark: nothing of the input was wanted
        return;
    }
    FinishWriting();
}

} // namespace

bool MissedSyncTag()
{
    return conversion_state.options.mode == ConversionMode::Sync &&
           !conversion_state.text.in_subtitle;
}

/* RunConversion
 *     Runs read, tag step and write until a read meets the end of the input, then writes out
 *     what the filter holds. Each cycle first copies at once what it would copy byte by byte. */
void RunConversion(ConversionMode mode)
{
    ConversionState &state = conversion_state;
    state.options.mode = mode;
    StartConversion();
    CopyByteOrderMark();
    StartDecoding();
    DetectUnicodeText();
    if (mode == ConversionMode::Sync) {
        while (!state.reading.input_ended) {
            CopyTextRun();
            ReadChar();
            SkipTagSync();
            WriteChar();
        }
    } else {
        while (!state.reading.input_ended) {
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
    state.input_stream = nullptr;
    state.output_stream = nullptr;
    ForgetConversion();
}

/* ForgetConversion
 *     Forgets every part but the streams and what the caller chose, which stays for the next. */
void ForgetConversion()
{
    ConversionState &state = conversion_state;
    state.current_char = 0;
    std::memset(state.sync_value, 0, sizeof state.sync_value);
    state.sync_value_length = 0;
    state.reading = ConversionState::Reading{};
    state.utf16 = ConversionState::Utf16{};
    state.decoding = ConversionState::Decoding{};
    state.writing = ConversionState::Writing{};
    state.text = ConversionState::Text{};
    state.paragraphs = ConversionState::Paragraphs{};
}
