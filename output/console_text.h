// Which encoding the text is written in when the user names none, and on Windows the
// console's own way of writing it, which no code page limits.
#pragma once

#include <cstddef>

// Whether Save and Sync Save write UTF-8 unless told otherwise. On POSIX systems when the
// user's locale uses UTF-8, to a terminal, a pipe or a file alike, as other text tools write
// the locale's encoding; on Windows when standard output is a console, written with
// WriteConsoleW, since Windows keeps text files in the ANSI code page.
bool WritesUtf8ByDefault(bool to_standard_output);

// Makes the conversion write its UTF-8 text to the console when standard output is one
// (Windows); false when it is not, and standard output is written as a stream.
bool WriteTextToConsole();
