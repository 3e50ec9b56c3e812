// The shell's process-wide state and the functions the frame and the window share.
#pragma once

#include <windows.h>

#include <commdlg.h>

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
};

extern AppState app_state;

ATOM RegisterMainClass(HINSTANCE instance);
bool CreateMainWindow(HINSTANCE instance, int show_command);
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
