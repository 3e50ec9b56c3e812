// Writing an output file without ever damaging what was there: a regular file is written to a
// temporary file beside it and moved over it only when everything succeeded; a device or pipe
// is written in place, never replaced.
#pragma once

#include <cstdio>

constexpr int OUTPUT_PATH_SIZE = 4352;

struct OutputFile {
    FILE *stream; // the stream to write, or none
    bool direct;  // the target is written in place (not a regular file)
    char target_path[OUTPUT_PATH_SIZE];
    char temp_path[OUTPUT_PATH_SIZE]; // empty unless a temporary file exists
};

extern OutputFile output_file;

// True when path names the very file input is reading (by identity, not by name).
bool IsSameFile(FILE *input, const char *path);

// True when output is a regular file and the very file input is reading: appending the text to
// the file being read would never end.
bool IsSameOpenFile(FILE *input, FILE *output);

// Opens the output for path, in binary when binary is set and otherwise in text mode (the
// platform's line ends). Returns the stream, or none with errno set.
FILE *BeginOutputFile(const char *path, bool binary);

// Flushes, closes and puts the output in place. Returns false, with errno set, when any write,
// the close or the move failed; the target is then as it was and no temporary file is left.
bool FinishOutputFile();

// Closes the output and removes the temporary file, leaving the target as it was.
void AbandonOutputFile();

// Removes the temporary file only; safe in a signal handler.
void RemoveTempFile();

#if defined(_WIN32)
// On Windows every path handed to these functions is UTF-8, so that any file name passes; the
// files are opened by their UTF-16 names.

// Writes path as UTF-16 into wide (size characters); false, with errno set, when it is not
// UTF-8 or does not fit.
bool WidenPath(const char *path, wchar_t *wide, int size);

// fopen for a UTF-8 path.
FILE *OpenPathStream(const char *path, const char *mode);
#endif
