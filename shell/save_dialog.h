// Save's and Sync Save's dialog: the types each lists, each dialog opening on the type last
// chosen in it, in this run or an earlier one.
#pragma once

#include "conversion.h"
#include "text_file.h"

#include <windows.h>

// The types of Save's and Sync Save's lists.
constexpr DWORD SAVE_TYPE_COUNT = 2;
constexpr DWORD SYNC_SAVE_TYPE_COUNT = 4;

// Asks in the dialog of mode's command for the file to write, proposing the subtitle's name
// with the type's extension in its folder. The type to write into path_buffer, or none when
// the dialog was cancelled or failed (CommDlgExtendedError tells which).
const SaveType *AskForSaveFile(ConversionMode mode);

// The timed format a name's extension asks for in Sync Save's dialog (.srt, .vtt in any case),
// or none.
const SaveType *TypeOfExtension(const wchar_t *path);
