// The conversion of one subtitle, the same for smi2txt and the Windows program.
#include "convert_file.h"

#include "console_text.h"
#include "conversion.h"
#include "cue_merge.h"
#include "cue_path.h"
#include "output_file.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <sys/stat.h>

#if defined(_WIN32)
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#endif

/* CloseSubtitleWith
 *     Closes the input and returns outcome, with errno as the step that failed left it. */
static ConversionOutcome CloseSubtitleWith(ConversionOutcome outcome)
{
    int saved = errno;
    CloseSubtitle();
    errno = saved;
    return outcome;
}

/* OpenInputStream
 *     Opens path for reading in mode ("r" or "rb"). The filter reads in blocks of its own, so
 *     the stream needs no buffer: each block is one read of the file. */
static FILE *OpenInputStream(const char *path, const char *mode)
{
#if defined(_WIN32)
    FILE *stream = OpenPathStream(path, mode);
#else
    FILE *stream = fopen(path, mode);
#endif
    if (stream != nullptr)
        setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

/* IsFolder
 *     True when path names a folder, which opens for reading on some systems but holds no text. */
static bool IsFolder(const char *path)
{
#if defined(_WIN32)
    static wchar_t wide[OUTPUT_PATH_SIZE];
    if (!WidenPath(path, wide, OUTPUT_PATH_SIZE))
        return false;
    DWORD attributes = GetFileAttributesW(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
#endif
}

/* OpenSubtitle
 *     Opens path into input_stream and reads its byte order mark before any output exists, so a
 *     subtitle that cannot be read never costs a file. */
ConversionOutcome OpenSubtitle(const char *path)
{
    ConversionState &state = conversion_state;
    CloseSubtitle();
    if (IsFolder(path)) {
        errno = EISDIR;
        return ConversionOutcome::CannotOpenInput;
    }
    // Windows' text mode would end UTF-16 text at a 0x1A byte inside a character, so the mark
    // is looked for in binary; a byte file is then read in text mode, as Windows reads it.
    state.input_stream = OpenInputStream(path, "rb");
    if (state.input_stream == nullptr)
        return ConversionOutcome::CannotOpenInput;
    TextEncoding encoding = DetectTextEncoding();
#if defined(_WIN32)
    state.options.input_binary = true;
    if (encoding == TextEncoding::Bytes) {
        fclose(state.input_stream);
        state.input_stream = OpenInputStream(path, "r");
        state.options.input_binary = false;
        if (state.input_stream == nullptr)
            return CloseSubtitleWith(ConversionOutcome::CannotOpenInput);
        DetectTextEncoding();
    }
#else
    (void)encoding; // outside Windows "r" is "rb": one stream serves every encoding
#endif
    return ConversionOutcome::Succeeded;
}

/* OpenStandardInput
 *     Makes standard input the input and reads its byte order mark. */
ConversionOutcome OpenStandardInput()
{
    ConversionState &state = conversion_state;
    CloseSubtitle();
#if defined(_WIN32)
    // Standard input cannot be opened again once its first bytes are read: it is read in
    // binary for a UTF-16 mark, and the filter then applies the text-mode rules itself.
    state.options.input_binary = _setmode(_fileno(stdin), _O_BINARY) != -1;
#endif
    state.input_stream = stdin;
    setvbuf(stdin, nullptr, _IONBF, 0);
    DetectTextEncoding();
    return ConversionOutcome::Succeeded;
}

/* OpenSubtitleStream
 *     Makes stream the input and reads its byte order mark. */
ConversionOutcome OpenSubtitleStream(FILE *stream)
{
    ConversionState &state = conversion_state;
    CloseSubtitle();
    state.options.input_binary = true; // the filter applies the text-mode rules itself
    state.input_stream = stream;
    DetectTextEncoding();
    return ConversionOutcome::Succeeded;
}

/* WritesUtf16
 *     Whether the text is written as UTF-16, as the input is, rather than in bytes. */
static bool WritesUtf16(ConversionMode mode)
{
    const ConversionState &state = conversion_state;
    return state.reading.encoding != TextEncoding::Bytes && !state.options.utf8_output &&
           !(state.options.merges_classes && mode == ConversionMode::Sync);
}

/* ChooseListener
 *     Who takes Sync Save's subtitles: the cue path for a timed format, else the stamps. */
static void ChooseListener()
{
    ConversionState::Options &options = conversion_state.options;
    options.subtitle_listener = options.cue_format != CueFormat::None ? CueListener() : nullptr;
    if (options.merges_classes)
        options.subtitle_listener = MergeListener();
}

/* RunChosenConversion
 *     RunConversion, merged when the classes merge: in UTF-8, and for a format whose head names
 *     the classes after a first reading that learns them, which an input read once (a pipe,
 *     standard input) cannot give. */
static void RunChosenConversion(ConversionMode mode)
{
    ConversionState &state = conversion_state;
    ConversionState::Options &options = state.options;
    // Save has no times: it writes every class, as without the merge.
    if (!options.merges_classes || mode != ConversionMode::Sync) {
        RunConversion(mode);
        return;
    }
    bool utf8_output = options.utf8_output;
    options.utf8_output = true;
    bool ready = true;
    if (MergeNeedsClassesFirst()) {
        options.subtitle_listener = MergeClassesListener();
        RunConversion(mode);
        ready = !ferror(state.input_stream) && !MissedSyncTag() && !MissedChosenClass() &&
                FailedCues() == CueFailure::None;
        if (ready && (state.input_stream == stdin || fseek(state.input_stream, 0, SEEK_SET) != 0)) {
            SetCueFailure(CueFailure::ClassesFirst);
            ready = false;
        }
        if (ready) {
            ForgetConversion();
            DetectTextEncoding();
        }
        options.subtitle_listener = MergeListener();
    }
    if (ready)
        RunConversion(mode);
    options.utf8_output = utf8_output;
}

/* ConversionFailure
 *     Why the conversion just run gave no text to keep, or Succeeded: a failed read, then a
 *     Sync Save without subtitles, then a class no paragraph has, then cues that failed. */
static ConversionOutcome ConversionFailure()
{
    if (ferror(conversion_state.input_stream))
        return ConversionOutcome::ReadFailed;
    if (MissedSyncTag())
        return ConversionOutcome::NoSyncTag;
    if (MissedChosenClass())
        return ConversionOutcome::NoParagraphOfClass;
    // The cue path keeps its last failure: a conversion of another format after it has none.
    if (conversion_state.options.cue_format != CueFormat::None && FailedCues() != CueFailure::None)
        return ConversionOutcome::CuesFailed;
    return ConversionOutcome::Succeeded;
}

/* RewindSubtitle
 *     Makes the input a regular file read again from its first byte, as just opened; false
 *     when it cannot go back (a pipe, a terminal). */
static bool RewindSubtitle()
{
    ConversionState &state = conversion_state;
    struct stat info;
    if (fstat(fileno(state.input_stream), &info) != 0 || !S_ISREG(info.st_mode) ||
        fseek(state.input_stream, 0, SEEK_SET) != 0)
        return false;
    ForgetConversion();
    DetectTextEncoding();
    return true;
}

/* ConvertHoldingEveryCue
 *     Runs the conversion again, the input read from its start into the output begun anew,
 *     holding every cue so that starts may go back anywhere. */
static ConversionOutcome ConvertHoldingEveryCue(ConversionMode mode)
{
    ConversionState &state = conversion_state;
    errno = 0;
    state.options.holds_every_cue = true;
    RunChosenConversion(mode);
    state.options.holds_every_cue = false;
    return ConversionFailure();
}

/* ConvertIntoFile
 *     Runs the conversion into a temporary file beside output_path and moves it over the
 *     target only after every read, write and the close succeeded. */
ConversionOutcome ConvertIntoFile(const char *output_path, ConversionMode mode)
{
    ConversionState &state = conversion_state;
    if (IsSameFile(state.input_stream, output_path))
        return CloseSubtitleWith(ConversionOutcome::OutputIsInput);
    // UTF-16 is written in binary: the text mode would put a 0D byte before every 0A byte,
    // splitting code units.
    state.output_stream = BeginOutputFile(output_path, WritesUtf16(mode));
    if (state.output_stream == nullptr)
        return CloseSubtitleWith(ConversionOutcome::CannotCreateOutput);
    errno = 0;
    ChooseListener();
    RunChosenConversion(mode);
    state.output_stream = nullptr; // closed by FinishOutputFile or AbandonOutputFile
    // A failed read leaves the text incomplete: it must not replace the target. Nor must the
    // nothing written for an input without subtitles or a class no paragraph has.
    ConversionOutcome failure = ConversionFailure();
    // Cues written as read met a start that goes back behind them: a file can read it again
    // holding every cue, as a stream cannot.
    if (failure == ConversionOutcome::CuesFailed && FailedCues() == CueFailure::StartsWentBack) {
        AbandonOutputFile();
        if (!RewindSubtitle())
            return CloseSubtitleWith(failure);
        state.output_stream = BeginOutputFile(output_path, WritesUtf16(mode));
        if (state.output_stream == nullptr)
            return CloseSubtitleWith(ConversionOutcome::CannotCreateOutput);
        failure = ConvertHoldingEveryCue(mode);
        state.output_stream = nullptr;
    }
    if (failure != ConversionOutcome::Succeeded) {
        int saved = errno;
        AbandonOutputFile();
        errno = saved;
        return CloseSubtitleWith(failure);
    }
    if (!FinishOutputFile())
        return CloseSubtitleWith(ConversionOutcome::WriteFailed);
    return CloseSubtitleWith(ConversionOutcome::Succeeded);
}

/* ConvertIntoStandardOutput
 *     Runs the conversion to standard output, unless that is the very file being read. */
ConversionOutcome ConvertIntoStandardOutput(ConversionMode mode)
{
    ConversionState &state = conversion_state;
    if (IsSameOpenFile(state.input_stream, stdout))
        return CloseSubtitleWith(ConversionOutcome::OutputIsInput);
#if defined(_WIN32)
    if (WritesUtf16(mode) && _setmode(_fileno(stdout), _O_BINARY) == -1)
        return CloseSubtitleWith(ConversionOutcome::WriteFailed);
#endif
    state.output_stream = stdout;
    if (state.options.utf8_output)
        WriteTextToConsole();
    errno = 0;
    ChooseListener();
    RunChosenConversion(mode);
    state.options.text_writer = nullptr;
    state.output_stream = nullptr; // standard output stays open
    return CloseSubtitleWith(ConversionFailure());
}

/* ConvertIntoStream
 *     Runs the conversion into output; a file whose starts go back late is converted again
 *     holding every cue, after both streams went back to their start. */
ConversionOutcome ConvertIntoStream(FILE *output, ConversionMode mode)
{
    ConversionState &state = conversion_state;
    state.output_stream = output;
    errno = 0;
    ChooseListener();
    RunChosenConversion(mode);
    ConversionOutcome failure = ConversionFailure();
    if (failure == ConversionOutcome::CuesFailed && FailedCues() == CueFailure::StartsWentBack &&
        fseek(output, 0, SEEK_SET) == 0 && fseek(state.input_stream, 0, SEEK_SET) == 0) {
        ForgetConversion();
        DetectTextEncoding();
        failure = ConvertHoldingEveryCue(mode);
    }
    state.output_stream = nullptr; // the caller's to close
    if (failure == ConversionOutcome::Succeeded && (fflush(output) != 0 || ferror(output)))
        failure = ConversionOutcome::WriteFailed;
    return CloseSubtitleWith(failure);
}

/* ListSubtitleClasses
 *     Reads the whole input for the classes of its P tags, writing nothing. */
ConversionOutcome ListSubtitleClasses()
{
    errno = 0;
    ListParagraphClasses();
    if (ferror(conversion_state.input_stream))
        return CloseSubtitleWith(ConversionOutcome::ReadFailed);
    return CloseSubtitleWith(ConversionOutcome::Succeeded);
}

/* CloseSubtitle
 *     Closes the input, standard input excepted, and forgets what the last conversion did. */
void CloseSubtitle()
{
    ConversionState &state = conversion_state;
    if (state.input_stream == stdin)
        state.input_stream = nullptr;
    CloseStreams();
    state.options.input_binary = false;
}
