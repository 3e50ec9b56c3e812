// The save commands' file work, done by the shared conversion routine, in the box texts.
#include "text_file.h"

#include <windows.h>

#include <cderr.h>

#include "app_state.h"
#include "convert_file.h"
#include "ui_texts.h"

/* OutcomeText
 *     The error box's text for a step's outcome, or none when the step succeeded. */
static const char *OutcomeText(ConversionOutcome outcome)
{
    switch (outcome) {
    case ConversionOutcome::Succeeded: return nullptr;
    case ConversionOutcome::CannotOpenInput: return CANNOT_OPEN_SUBTITLE_TEXT;
    case ConversionOutcome::OutputIsInput: return SAME_AS_SUBTITLE_TEXT;
    case ConversionOutcome::CannotCreateOutput: return CANNOT_CREATE_OUTPUT_TEXT;
    case ConversionOutcome::NoSyncTag: return NO_SYNC_TAG_TEXT;
    case ConversionOutcome::ReadFailed:
    case ConversionOutcome::WriteFailed:
    case ConversionOutcome::NoParagraphOfClass:
    case ConversionOutcome::CuesFailed: return CONVERSION_FAILED_TEXT;
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
 *     so a refused subtitle never costs a file. */
const char *OpenChosenSubtitle()
{
    CloseSubtitle();
    char path[UTF8_PATH_SIZE];
    if (app_state.subtitle_path[0] == L'\0' || !NarrowPath(app_state.subtitle_path, path))
        return CANNOT_OPEN_SUBTITLE_TEXT;
    return OutcomeText(OpenSubtitle(path));
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

const char *FileDialogFailureText(DWORD error)
{
    return error == FNERR_BUFFERTOOSMALL ? PATH_TOO_LONG_TEXT : CANNOT_CHOOSE_FILE_TEXT;
}
