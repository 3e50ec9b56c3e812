// The shell's process-wide state and the functions the frame and the window share.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include "conversion.h"

constexpr int TEXT_BUFFER_SIZE = 100;
constexpr int PATH_BUFFER_SIZE = 256;
constexpr int WINDOW_WIDTH = 300; // at 96 DPI
constexpr int WINDOW_HEIGHT = 200;

struct AppState {
    HINSTANCE instance_handle;               // for the About box's template
    char window_title[TEXT_BUFFER_SIZE];     // from the string table
    char class_name[TEXT_BUFFER_SIZE];       // from the string table
    wchar_t path_buffer[PATH_BUFFER_SIZE];   // the file name of both file dialogs, in UTF-16
    wchar_t subtitle_path[PATH_BUFFER_SIZE]; // the subtitle chosen, input of every save
    wchar_t save_folder[PATH_BUFFER_SIZE];   // the subtitle's folder, where Save's dialog opens
    OPENFILENAMEW file_dialog;               // shared by the open and the save dialog
    UINT window_dpi;                         // the DPI the window is drawn for
    HFONT paint_font;                        // the painted lines' font; none at 96 DPI
    DWORD save_type;      // the type last chosen in Save's dialog, from 1; 0 before any save
    DWORD sync_save_type; // the same for Sync Save's dialog
    HMENU language_menu;  // the chosen subtitle's Language menu, or none
    int language_count;   // the classes it lists
    char language_classes[CLASS_LIST_SIZE][CLASS_NAME_SIZE]; // their names, as listed
    int chosen_language;     // 0 for every class, else the class kept by saves, from 1
    bool languages_together; // All together: Sync Save merges every class into one cue per moment
};

extern AppState app_state;

// The name part of a path: what follows its last separator.
const wchar_t *FileNameOf(const wchar_t *path);

ATOM RegisterMainClass(HINSTANCE instance);
bool CreateMainWindow(HINSTANCE instance, int show_command);
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
