// The save commands' file work, done by the shared conversion routine, in the box texts.
#include "text_file.h"

#include <windows.h>

#include <cderr.h>

#include "app_state.h"
#include "convert_file.h"
#include "cue_path.h"
#include "ui_texts.h"

#include <cstdio>
#include <cstring>

/* OutcomeText
 *     The error box's text for a step's outcome, or none when the step succeeded. */
const char *OutcomeText(ConversionOutcome outcome)
{
    switch (outcome) {
    case ConversionOutcome::Succeeded: return nullptr;
    case ConversionOutcome::CannotOpenInput: return CANNOT_OPEN_SUBTITLE_TEXT;
    case ConversionOutcome::OutputIsInput: return SAME_AS_SUBTITLE_TEXT;
    case ConversionOutcome::CannotCreateOutput: return CANNOT_CREATE_OUTPUT_TEXT;
    case ConversionOutcome::NoSyncTag: return NO_SYNC_TAG_TEXT;
    case ConversionOutcome::CuesFailed:
        if (FailedCues() == CueFailure::CueTooLong || FailedCues() == CueFailure::TooManyHeld)
            return SUBTITLE_TOO_LONG_TEXT;
        return CONVERSION_FAILED_TEXT;
    case ConversionOutcome::ReadFailed:
    case ConversionOutcome::WriteFailed:
    case ConversionOutcome::NoParagraphOfClass: return CONVERSION_FAILED_TEXT;
    }
    return CONVERSION_FAILED_TEXT;
}

// A path of the dialogs in UTF-8, as the conversion takes it: at most three bytes a character.
constexpr int UTF8_PATH_SIZE = 3 * PATH_BUFFER_SIZE + 1;

/* NarrowPath
 *     A UTF-16 path in UTF-8; false when it is no valid UTF-16 or too long. */
static bool NarrowPath(const wchar_t *path, char *utf8)
{
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path, -1, utf8, UTF8_PATH_SIZE,
                               nullptr, nullptr) != 0;
}

/* OpenChosenSubtitle
 *     Opens subtitle_path as the input and looks at its first bytes before the save dialog,
 *     so a subtitle that cannot be read never costs a file. */
const char *OpenChosenSubtitle()
{
    CloseSubtitle();
    char path[UTF8_PATH_SIZE];
    if (app_state.subtitle_path[0] == L'\0' || !NarrowPath(app_state.subtitle_path, path))
        return CANNOT_OPEN_SUBTITLE_TEXT;
    return OutcomeText(OpenSubtitle(path));
}

/* ChooseSaveOptions
 *     The options smi2txt.exe sets for -u, --format and --class when it writes into a file;
 *     whatever else it could set stays as at start. */
void ChooseSaveOptions(const SaveType &type, const char *chosen_class, bool merges_classes)
{
    ConversionState::Options &options = conversion_state.options;
    options.merges_classes = merges_classes; // Save, which has no times, writes every class
    std::snprintf(options.chosen_class, sizeof options.chosen_class, "%s", chosen_class);
    options.cue_format = type.cue_format;
    options.utf8_output = type.utf8_output;
    options.drops_styles = false; // smi2txt keeps the styles unless --no-styles
}

/* WriteTextFile
 *     Converts the open input into output_path through a temporary file beside it. */
const char *WriteTextFile(const wchar_t *output_path, ConversionMode mode)
{
    char path[UTF8_PATH_SIZE];
    if (!NarrowPath(output_path, path)) {
        CloseSubtitle();
        return CANNOT_CREATE_OUTPUT_TEXT;
    }
    return OutcomeText(ConvertIntoFile(path, mode));
}

/* DescribeSavedFile
 *     "Convert OK", with the count of bytes written as U+FFFD after it when there were any. */
void DescribeSavedFile(char *text, std::size_t size)
{
    if (decoding_report.invalid_bytes == 0)
        std::snprintf(text, size, "%s", CONVERT_OK_TEXT);
    else
        std::snprintf(text, size, INVALID_BYTES_FORMAT, CONVERT_OK_TEXT,
                      decoding_report.encoding_name, decoding_report.invalid_bytes);
}

/* ListChosenSubtitleClasses
 *     One reading of the chosen subtitle for its classes, with the first words decoded into
 *     UTF-8 whatever the subtitle's encoding; the choice of UTF-8 for saves stays as it was. */
bool ListChosenSubtitleClasses()
{
    class_list.length = 0;
    if (OpenChosenSubtitle() != nullptr)
        return false;
    ConversionState::Options &options = conversion_state.options;
    bool utf8_output = options.utf8_output;
    options.utf8_output = true;
    options.chosen_class[0] = '\0';
    options.cue_format = CueFormat::None;
    ConversionOutcome outcome = ListSubtitleClasses();
    options.utf8_output = utf8_output;
    return outcome == ConversionOutcome::Succeeded;
}

const char *FileDialogFailureText(DWORD error)
{
    return error == FNERR_BUFFERTOOSMALL ? PATH_TOO_LONG_TEXT : CANNOT_CHOOSE_FILE_TEXT;
}
