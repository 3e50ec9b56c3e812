// The cue buffer: Sync Save's subtitles as cues with a start and an end, handed on to the writer
// of the chosen timed format (cue_writer.h) in order of their starts. The steps (filter/) hand
// it each subtitle's pieces instead of writing stamps; it writes through the filter's write
// buffer. A cue's end is the start of the next SYNC tag that counts and starts later.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t CUE_TEXT_LIMIT = 64 * 1024; // text one cue may hold
constexpr std::size_t HELD_CUES_LIMIT =
    64 * 1024 * 1024; // text a file whose starts go back may hold
// Cues held before writing begins: a file that gives one language after the other goes back
// within it. Past it, with every start in order so far, cues are written as their ends are
// known, and memory stays flat.
constexpr std::size_t CUE_WINDOW = 1024 * 1024;
constexpr std::uint32_t CUE_LAST_DURATION = 4000; // ms, when no later start ends a cue

// Why the cues of a file could not be written.
enum class CueFailure {
    None,
    CueTooLong,     // a cue holds more than CUE_TEXT_LIMIT bytes of text
    TooManyHeld,    // the held cues passed HELD_CUES_LIMIT
    StartsWentBack, // a start went back behind cues already written
};

// A conversion begins: nothing held, the format's head written.
void StartCues();

// A complete SYNC tag of the given start (ms): the subtitle before it is done.
void StartCue(std::uint32_t start);

// A P tag in a subtitle: the text after it is a paragraph of class_name. of_chosen_class: a
// class is chosen and this is it.
void StartCueParagraph(const char *class_name, bool of_chosen_class);

// A </P> tag in a subtitle: the text after it is a paragraph of no class.
void EndCueParagraph();

// A line-break tag in a subtitle: the line ends.
void BreakCueLine();

// Text bytes of a subtitle; blank_before: white space stood between them and the text before.
void PutCueText(const unsigned char *bytes, std::size_t count, bool blank_before);

// The end of the input: the last cues get their ends and everything held is written.
void FinishCues();

// What went wrong with the file's cues, or None.
CueFailure FailedCues();
