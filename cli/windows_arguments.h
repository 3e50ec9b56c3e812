// smi2txt.exe's command line as Windows gives it: UTF-16 names and wildcards that the program,
// not the shell, expands.
#pragma once

// The program's arguments in UTF-8, as argv would hold them, with each input holding * or ?
// replaced by the files it matches in sorted order; argc is set to their count. None, after
// naming the pattern on standard error, when a pattern matches no file.
char **ReadWindowsArguments(int *argc);
