// What Save and Sync Save do with files, apart from the dialogs: each returns the error text
// to show, or none when the step succeeded.
#pragma once

#include "conversion.h"
#include "convert_file.h"

#include <windows.h>

#include <cstddef>

// One type of a save dialog's list: what it writes, as smi2txt's options would ask for it.
struct SaveType {
    const wchar_t *extension; // of its files, without the dot
    bool utf8_output;         // -u: UTF-8 without a byte order mark, whatever the subtitle's
    CueFormat cue_format;     // --format=srt or vtt; None for Save's and Sync Save's text
};

// The error box's text for a conversion step's outcome, or none when it succeeded.
const char *OutcomeText(ConversionOutcome outcome);

// Opens the chosen subtitle as the conversion's input.
const char *OpenChosenSubtitle();

// Hands the type and the class (empty for every class) to the conversion, as -u, --format and
// --class hand them to smi2txt, so the file is the one smi2txt.exe would write.
void ChooseSaveOptions(const SaveType &type, const char *chosen_class, bool merges_classes);

// Converts the open input into output_path, replacing that file only when everything
// succeeded. Closes the input whatever happens.
const char *WriteTextFile(const wchar_t *output_path, ConversionMode mode);

// The box that follows a save that succeeded, into text (size bytes): "Convert OK", and what
// became U+FFFD when the subtitle held bytes its encoding does not have.
void DescribeSavedFile(char *text, std::size_t size);

// Reads the chosen subtitle's classes and the first words of each into class_list, in UTF-8;
// false when it cannot be read.
bool ListChosenSubtitleClasses();

// The text for a file dialog that failed with CommDlgExtendedError's code (not 0: a cancel).
const char *FileDialogFailureText(DWORD error);
