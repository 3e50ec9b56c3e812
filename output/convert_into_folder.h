// One input of a batch converted into the file named after it, beside it or in a folder: the
// step smi2txt's batch and -d take, and the Windows program's batch window, file for file.
#pragma once

#include "conversion_state.h"
#include "convert_file.h"

#include <string>

// What a batch asks of every file: where, which class, which extension, whether to replace.
struct FolderChoices {
    std::string output_dir;   // empty: beside each input
    std::string chosen_class; // empty: every class
    const char *extension;    // of the format, with its dot: ".srt"
    ConversionMode mode;
    bool force;       // a file that exists is replaced
    bool counts_cues; // SubRip's and WebVTT's cues are counted once written (a second reading)
};

// What became of one input.
struct FolderResult {
    std::string output;        // the file named after the input
    bool skipped;              // it existed and force was not given: nothing was touched
    ConversionOutcome outcome; // unless skipped
    long cues;                 // the cues counted; 0 unless counts_cues
};

// The file input is written to: beside it, or in output_dir, its extension replaced by
// extension, the class in lower case before it («movie.encc.srt»).
std::string NameOutputFile(const std::string &input, const FolderChoices &choices);

// Converts input into the file NameOutputFile gives, with the options already handed to the
// conversion; a file that exists is left alone unless choices.force.
FolderResult ConvertIntoFolder(const std::string &input, const FolderChoices &choices);
