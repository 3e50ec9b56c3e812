// Text for a reader at a terminal: whether standard output shows UTF-8 as text, and on
// Windows the console's own way of writing it, which no code page limits.
#pragma once

#include <cstddef>

// Whether standard output is a terminal that shows UTF-8: on Linux one whose locale uses UTF-8,
// on Windows a console, written with WriteConsoleW.
bool StandardOutputShowsUtf8();

// Makes the conversion write its UTF-8 text to the console when standard output is one
// (Windows); false when it is not, and standard output is written as a stream.
bool WriteTextToConsole();
