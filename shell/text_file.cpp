// The file work of the save commands: open the subtitle, write the text file safely.
#include "text_file.h"

#include <windows.h>

#include <cderr.h>

#include "app_state.h"
#include "output_file.h"
#include "ui_texts.h"

#include <cstdio>

/* OpenChosenSubtitle
 *     Opens subtitle_path into input_stream and looks at its first bytes before any output
 *     exists, so a refused subtitle never costs a file. */
const char *OpenChosenSubtitle()
{
    CloseStreams();
    if (app_state.subtitle_path[0] == '\0')
        return CANNOT_OPEN_SUBTITLE_TEXT;
    DWORD attributes = GetFileAttributesA(app_state.subtitle_path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return CANNOT_OPEN_SUBTITLE_TEXT;
    conversion_state.input_stream = fopen(app_state.subtitle_path, "r");
    if (conversion_state.input_stream == nullptr)
        return CANNOT_OPEN_SUBTITLE_TEXT;
    if (DetectTextEncoding() != TextEncoding::Bytes) {
        CloseStreams();
        return UTF16_SUBTITLE_TEXT;
    }
    return nullptr;
}

/* WriteTextFile
 *     Runs the conversion into a temporary file beside output_path and moves it over the
 *     target only after every read, write and the close succeeded. */
const char *WriteTextFile(const char *output_path, ConversionMode mode)
{
    if (IsSameFile(conversion_state.input_stream, output_path)) {
        CloseStreams();
        return SAME_AS_SUBTITLE_TEXT;
    }
    conversion_state.output_stream = BeginOutputFile(output_path, false);
    if (conversion_state.output_stream == nullptr) {
        CloseStreams();
        return CANNOT_CREATE_OUTPUT_TEXT;
    }
    RunConversion(mode);
    conversion_state.output_stream = nullptr; // closed by FinishOutputFile or AbandonOutputFile
    // A failed read leaves the text incomplete: it must not replace the target.
    if (ferror(conversion_state.input_stream)) {
        AbandonOutputFile();
        CloseStreams();
        return CONVERSION_FAILED_TEXT;
    }
    bool written = FinishOutputFile();
    CloseStreams();
    return written ? nullptr : CONVERSION_FAILED_TEXT;
}

const char *FileDialogFailureText(DWORD error)
{
    return error == FNERR_BUFFERTOOSMALL ? PATH_TOO_LONG_TEXT : CANNOT_CHOOSE_FILE_TEXT;
}
