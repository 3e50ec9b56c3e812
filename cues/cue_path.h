// The cue path: Sync Save's subtitles as cues with a start and an end, in the timed formats.
// It listens to the filter's subtitle events and writes each cue's text into the output as it
// is read, in the chosen format (cue_writer.h); the cue's number and times go in front of it
// once its end is known: the start of the next SYNC tag that counts and starts later.
#pragma once

#include "subtitle_events.h"

#include <cstddef>
#include <cstdint>

constexpr std::size_t CUE_TEXT_LIMIT = 64 * 1024; // text one cue may hold
constexpr std::size_t HELD_CUES_LIMIT =
    64 * 1024 * 1024; // text a file whose starts go back may hold
// Cues held before writing begins, counted as the memory they take in the chosen format: a
// file that gives one language after the other goes back within it. Past it, with every start in
// order so far, cues are written as their ends are known, and memory stays flat.
constexpr std::size_t CUE_WINDOW = 1024 * 1024;
constexpr std::uint32_t CUE_LAST_DURATION = 4000; // ms, when no later start ends a cue

// Why the cues of a file could not be written.
enum class CueFailure {
    None,
    CueTooLong,     // a cue holds more than CUE_TEXT_LIMIT bytes of text
    TooManyHeld,    // the held cues passed HELD_CUES_LIMIT
    StartsWentBack, // a start went back behind cues already written
    ClassesFirst,   // merged TSV names every class first: an input read once cannot
};

// The listener that writes the subtitles as options.cue_format's cues, for
// options.subtitle_listener.
const SubtitleListener *CueListener();

// What went wrong with the last file's cues, or None.
CueFailure FailedCues();
// Sets it, for the merge (cue_merge.h), which writes cues of its own.
void SetCueFailure(CueFailure failure);
