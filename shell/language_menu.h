// The Language menu of a bilingual subtitle: an item for each class of its P tags, the one
// chosen kept by every later save.
#pragma once

#include <windows.h>

// Builds the Language menu of the subtitle just chosen, before Help, when its P tags have two
// or more classes, in place of the last subtitle's; every class is chosen again.
void BuildLanguageMenu(HWND hwnd);

// A Language item: it alone is checked and its class kept. False for any other command.
bool ChooseLanguage(UINT command);

// The class every save keeps, in UTF-8 as the subtitle's list names it; empty for all.
const char *ChosenClass();

// The class kept, or every class joined by '+' when they go together, for the title.
const char *ChosenLanguageLabel();
