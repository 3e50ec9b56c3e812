// One subtitle converted as both programs convert it: the input opened and examined before any
// output exists, an output that is the input refused, the text written through the safe output
// file. Each step returns an outcome that the front end puts in its own words.
#pragma once

#include "conversion.h"

enum class ConversionOutcome {
    Succeeded,          // the input is open, or the text is complete (and in place)
    CannotOpenInput,    // errno says why (EISDIR for a folder)
    OutputIsInput,      // the output is the input file itself
    CannotCreateOutput, // errno says why
    ReadFailed,         // a read of the input failed; errno says why, or is 0
    WriteFailed,        // a write, the close or the move failed; errno says why
    NoSyncTag,          // Sync Save of an input with no complete SYNC tag: nothing was written
    NoParagraphOfClass, // a class was chosen and no P tag has it: nothing was written
    CuesFailed,         // the timed formats could not hold or order the cues; FailedCues says why
};

// Opens the subtitle at path as the conversion's input and looks at its first bytes.
// Unless it succeeded, nothing is left open.
ConversionOutcome OpenSubtitle(const char *path);

// The same for standard input.
ConversionOutcome OpenStandardInput();

// The same for a stream the caller made (over memory, or over callbacks), which the conversion
// then owns: CloseSubtitle closes it.
ConversionOutcome OpenSubtitleStream(FILE *stream);

// With options.merges_classes, Sync Save and the timed formats write one cue per moment holding
// every class kept (cues/cue_merge.h), in UTF-8; a front end only sets it. Save, which has no
// times, then writes every class as it would without it.

// Converts the open input into output_path, replacing that file only when everything
// succeeded. Closes the input whatever happens.
ConversionOutcome ConvertIntoFile(const char *output_path, ConversionMode mode);

// Converts the open input to standard output, which stays open: checking its writes with
// fflush is the caller's. Closes the input whatever happens.
ConversionOutcome ConvertIntoStandardOutput(ConversionMode mode);

// Converts the open input into output, a stream the caller made, which stays open; its writes
// are checked. When the starts go back late and both streams can go back to their start (seek),
// the output is begun again and the input read again holding every cue, as ConvertIntoFile
// does. Closes the input whatever happens.
ConversionOutcome ConvertIntoStream(FILE *output, ConversionMode mode);

// Reads the open input for the classes of its P tags into class_list. Closes the input
// whatever happens.
ConversionOutcome ListSubtitleClasses();

// Closes the input and forgets the last conversion, leaving standard input open.
void CloseSubtitle();
