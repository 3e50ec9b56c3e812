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

/* OpenChosenSubtitle
 *     Opens subtitle_path as the input and looks at its first bytes before the save dialog,
 *     so a refused subtitle never costs a file. */
const char *OpenChosenSubtitle()
{
    CloseSubtitle();
    if (app_state.subtitle_path[0] == '\0')
        return CANNOT_OPEN_SUBTITLE_TEXT;
    return OutcomeText(OpenSubtitle(app_state.subtitle_path));
}

/* WriteTextFile
 *     Converts the open input into output_path through a temporary file beside it. */
const char *WriteTextFile(const char *output_path, ConversionMode mode)
{
    return OutcomeText(ConvertIntoFile(output_path, mode));
}

const char *FileDialogFailureText(DWORD error)
{
    return error == FNERR_BUFFERTOOSMALL ? PATH_TOO_LONG_TEXT : CANNOT_CHOOSE_FILE_TEXT;
}
