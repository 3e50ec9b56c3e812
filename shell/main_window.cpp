// The main window: its painted instructions and its commands.
#include <windows.h>

#include <commdlg.h>

#include "app_state.h"
#include "conversion_state.h"
#include "convert_file.h"
#include "resource.h"
#include "text_file.h"
#include "ui_texts.h"

#include <cstddef>
#include <cstring>

#ifndef _WIN64
// The 32-bit release gives the dialog the record of the systems before Windows 2000.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76,
              "OPENFILENAME_SIZE_VERSION_400A of 32-bit Windows");
#endif

/* FillFileDialog
 *     Prepares the one dialog record both file dialogs share, every member written out. */
static void FillFileDialog(HWND hwnd)
{
    OPENFILENAMEA &dialog = app_state.file_dialog;
    std::memset(&dialog, 0, OPENFILENAME_SIZE_VERSION_400A);
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = hwnd;
    dialog.hInstance = nullptr;
    dialog.lpstrFilter = nullptr; // set before each dialog
    dialog.lpstrCustomFilter = nullptr;
    dialog.nMaxCustFilter = 0;
    dialog.nFilterIndex = 0;
    dialog.lpstrFile = app_state.path_buffer;
    dialog.nMaxFile = PATH_BUFFER_SIZE;
    dialog.lpstrFileTitle = nullptr;
    dialog.nMaxFileTitle = 0;
    dialog.lpstrInitialDir = nullptr;
    dialog.lpstrTitle = nullptr;
    dialog.Flags = 0;
    dialog.nFileOffset = 0;
    dialog.nFileExtension = 0;
    dialog.lpstrDefExt = DEFAULT_EXTENSION;
    dialog.lCustData = 0;
    dialog.lpfnHook = nullptr;
    dialog.lpTemplateName = nullptr;
}

/* ShowError
 *     A warning box owned by the main window. */
static void ShowError(HWND hwnd, const char *text)
{
    MessageBoxA(hwnd, text, ERROR_CAPTION, MB_OK | MB_ICONWARNING);
}

/* ReportDialogFailure
 *     Tells a failed file dialog from a cancelled one and explains the failure. The buffer
 *     may hold a size instead of a name then, so it starts the next dialog empty. */
static void ReportDialogFailure(HWND hwnd)
{
    DWORD error = CommDlgExtendedError();
    if (error == 0)
        return;
    std::memset(app_state.path_buffer, 0, PATH_BUFFER_SIZE);
    ShowError(hwnd, FileDialogFailureText(error));
}

/* ChooseSubtitle
 *     Open: lets the user choose the subtitle; nothing is opened until a save. */
static void ChooseSubtitle(HWND hwnd)
{
    app_state.file_dialog.lpstrFilter = SUBTITLE_FILTER;
    if (!GetOpenFileNameA(&app_state.file_dialog)) {
        ReportDialogFailure(hwnd);
        return;
    }
    std::memcpy(app_state.subtitle_path, app_state.path_buffer, PATH_BUFFER_SIZE);
    MessageBoxA(hwnd, OPEN_OK_TEXT, OPEN_OK_CAPTION, MB_OK);
}

/* SaveTextFile
 *     Save and Sync Save: converts the chosen subtitle into the file the save dialog names.
 *     "Convert OK" comes only once that file is complete and closed. */
static void SaveTextFile(HWND hwnd, ConversionMode mode)
{
    app_state.file_dialog.lpstrFilter = TEXT_FILTER;
    const char *error = OpenChosenSubtitle();
    if (error != nullptr) {
        ShowError(hwnd, error);
        return;
    }
    std::memset(app_state.path_buffer, 0, PATH_BUFFER_SIZE);
    if (!GetSaveFileNameA(&app_state.file_dialog)) {
        CloseSubtitle(); // the subtitle stays chosen for the next save
        ReportDialogFailure(hwnd);
        return;
    }
    error = WriteTextFile(app_state.path_buffer, mode);
    if (error != nullptr) {
        ShowError(hwnd, error);
        return;
    }
    MessageBoxA(hwnd, CONVERT_OK_TEXT, CONVERT_OK_TEXT, MB_OK);
}

/* PaintInstructions
 *     Draws the four lines with their byte counts; the padding after them stays undrawn. */
static void PaintInstructions(HWND hwnd)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    TextOutA(dc, 10, 10, PAINT_LINE_1, PAINT_LINE_1_COUNT);
    TextOutA(dc, 10, 30, PAINT_LINE_2, PAINT_LINE_2_COUNT);
    TextOutA(dc, 10, 60, PAINT_LINE_3, PAINT_LINE_3_COUNT);
    TextOutA(dc, 10, 85, PAINT_LINE_4, PAINT_LINE_4_COUNT);
    EndPaint(hwnd, &paint);
}

/* ShowAboutBox
 *     Runs the About box until it is closed. */
static void ShowAboutBox(HWND hwnd)
{
    DialogBoxParamA(app_state.instance_handle,   // the program's resources
                    MAKEINTRESOURCEA(DLG_ABOUT), // template
                    hwnd,                        // owner
                    AboutDialogProc,             // procedure
                    0);                          // no parameter
}

/* MainWindowProc
 *     Dispatches on the message, then on the command; the rest goes to DefWindowProcA. */
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE: FillFileDialog(hwnd); return 0;
    case WM_PAINT: PaintInstructions(hwnd); return 0;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case CMD_OPEN: ChooseSubtitle(hwnd); return 0;
        case CMD_SAVE: SaveTextFile(hwnd, ConversionMode::Plain); return 0;
        case CMD_SYNC_SAVE: SaveTextFile(hwnd, ConversionMode::Sync); return 0;
        case CMD_ABOUT: ShowAboutBox(hwnd); return 0;
        case CMD_EXIT: DestroyWindow(hwnd); return 0;
        }
        break;
    case WM_DESTROY:
        CloseStreams();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}
