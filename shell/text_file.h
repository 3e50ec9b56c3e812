// What Save and Sync Save do with files, apart from the dialogs: each returns the error text
// to show, or none when the step succeeded.
#pragma once

#include "conversion_state.h"

#include <windows.h>

// Opens the chosen subtitle as the conversion's input; refuses a UTF-16 one.
const char *OpenChosenSubtitle();

// Converts the open input into output_path, replacing that file only when everything
// succeeded. Closes the input whatever happens.
const char *WriteTextFile(const wchar_t *output_path, ConversionMode mode);

// The text for a file dialog that failed with CommDlgExtendedError's code (not 0: a cancel).
const char *FileDialogFailureText(DWORD error);
