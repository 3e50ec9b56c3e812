// The choices kept between runs under HKEY_CURRENT_USER\Software\Velmora: the save dialogs'
// last types and the batch window's choices. A value missing or wrong is left out, never an
// error.
#pragma once

#include <windows.h>

#include "app_state.h"

// The batch window's choices, as its controls show them.
struct BatchChoices {
    DWORD type;                        // index in its list, from 0
    wchar_t language[CLASS_NAME_SIZE]; // a class by name; empty for All
    wchar_t folder[PATH_BUFFER_SIZE];  // where files go when not beside each subtitle
    bool beside;                       // beside each subtitle
    bool replace;                      // replace existing files
};

extern BatchChoices batch_choices;

// Reads every value into app_state's save types and batch_choices, keeping what is there for
// a value that is missing or wrong. type_count bounds the batch window's type.
void ReadSavedChoices(DWORD save_types, DWORD sync_save_types, DWORD batch_types);

// Writes the save dialogs' last types.
void WriteSaveTypes();

// Writes batch_choices.
void WriteBatchChoices();
