// The shell's process-wide state and the functions the frame and the window share.
#pragma once

#include <windows.h>

#include <commdlg.h>

constexpr int TEXT_BUFFER_SIZE = 100;
constexpr int PATH_BUFFER_SIZE = 256;

struct AppState {
    HINSTANCE instance_handle;            // for the About box's template
    char window_title[TEXT_BUFFER_SIZE];  // from the string table
    char class_name[TEXT_BUFFER_SIZE];    // from the string table
    char path_buffer[PATH_BUFFER_SIZE];   // the file name of both file dialogs
    char subtitle_path[PATH_BUFFER_SIZE]; // the subtitle Open chose, input of every save
    OPENFILENAMEA file_dialog;            // shared by the open and the save dialog
};

extern AppState app_state;

ATOM RegisterMainClass(HINSTANCE instance);
bool CreateMainWindow(HINSTANCE instance, int show_command);
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
