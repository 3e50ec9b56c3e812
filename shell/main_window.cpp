// The main window: its painted instructions and its commands.
#include <windows.h>

#include <commdlg.h>
#include <shellapi.h>

#include "app_state.h"
#include "batch_window.h"
#include "conversion.h"
#include "convert_file.h"
#include "language_menu.h"
#include "resource.h"
#include "save_dialog.h"
#include "saved_choices.h"
#include "text_file.h"
#include "ui_texts.h"
#include "window_dpi.h"

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <iterator>

#ifndef _WIN64
// The 32-bit release gives the dialog the record of the systems before Windows 2000.
static_assert(offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR) == 76,
              "OPENFILENAME_SIZE_VERSION_400W of 32-bit Windows");
#endif

// What Open asks of the user: files that exist, one or several (Save's dialog is in
// save_dialog.cpp).
constexpr DWORD OPEN_FLAGS =
    OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_EXPLORER;

// Posted at start when the arguments name several subtitles: the batch window opens once the
// main window is up.
constexpr UINT OPEN_BATCH_MESSAGE = WM_APP + 20;
static std::vector<std::wstring> starting_files;

/* FillFileDialog
 *     Prepares the one dialog record both file dialogs share, every member written out. */
static void FillFileDialog(HWND hwnd)
{
    OPENFILENAMEW &dialog = app_state.file_dialog;
    std::memset(&dialog, 0, OPENFILENAME_SIZE_VERSION_400W);
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
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
    dialog.lpstrInitialDir = nullptr; // set before each dialog
    dialog.lpstrTitle = nullptr;
    dialog.Flags = 0; // set before each dialog
    dialog.nFileOffset = 0;
    dialog.nFileExtension = 0;
    dialog.lpstrDefExt = nullptr; // set before each dialog
    dialog.lCustData = 0;         // for the save dialog's hook
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
    std::memset(app_state.path_buffer, 0, sizeof app_state.path_buffer);
    ShowError(hwnd, FileDialogFailureText(error));
}

/* ShowSubtitleInTitle
 *     "movie.smi - Velmora", "movie.smi [ENCC] - Velmora" with a class chosen. Set through the
 *     wide default procedure, an ANSI window keeps a name outside the ANSI code page whole. */
static void ShowSubtitleInTitle(HWND hwnd)
{
    constexpr int LABEL_SIZE = 1024; // the classes of All together, joined
    wchar_t title[PATH_BUFFER_SIZE + LABEL_SIZE + TEXT_BUFFER_SIZE + 8];
    wchar_t program[TEXT_BUFFER_SIZE];
    wchar_t chosen_class[LABEL_SIZE];
    if (MultiByteToWideChar(UI_CODE_PAGE, 0, app_state.window_title, -1, program,
                            TEXT_BUFFER_SIZE) == 0)
        program[0] = L'\0';
    if (MultiByteToWideChar(CP_UTF8, 0, ChosenLanguageLabel(), -1, chosen_class, LABEL_SIZE) == 0)
        chosen_class[0] = L'\0';
    std::wcscpy(title, FileNameOf(app_state.subtitle_path));
    if (chosen_class[0] != L'\0') {
        std::wcscat(title, TITLE_CLASS_OPEN);
        std::wcscat(title, chosen_class);
        std::wcscat(title, TITLE_CLASS_CLOSE);
    }
    std::wcscat(title, TITLE_SEPARATOR);
    std::wcscat(title, program);
    DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title));
}

/* KeepSubtitle
 *     Makes path the subtitle every save reads, whichever way it came, with its own Language
 *     menu; false, after saying so, when it is longer than the program's paths. */
static bool KeepSubtitle(HWND hwnd, const wchar_t *path)
{
    if (std::wcslen(path) >= PATH_BUFFER_SIZE) {
        ShowError(hwnd, PATH_TOO_LONG_TEXT);
        return false;
    }
    std::wcscpy(app_state.subtitle_path, path);
    BuildLanguageMenu(hwnd);
    ShowSubtitleInTitle(hwnd);
    return true;
}

/* ChooseSubtitle
 *     Open: lets the user choose the subtitle, or several for the batch window; nothing is
 *     converted until a save. */
static void ChooseSubtitle(HWND hwnd)
{
    static wchar_t chosen[SEVERAL_FILES_BUFFER_SIZE];
    std::memset(chosen, 0, sizeof chosen);
    OPENFILENAMEW &record = app_state.file_dialog;
    record.lpstrFilter = SUBTITLE_FILTER;
    record.nFilterIndex = 1;
    record.lpstrInitialDir = nullptr;
    record.Flags = OPEN_FLAGS;
    record.lpstrDefExt = SUBTITLE_EXTENSION;
    record.lCustData = 0;
    record.lpfnHook = nullptr;
    record.lpstrFile = chosen;
    record.nMaxFile = SEVERAL_FILES_BUFFER_SIZE;
    BOOL accepted = GetOpenFileNameW(&app_state.file_dialog);
    record.lpstrFile = app_state.path_buffer; // the save dialog's
    record.nMaxFile = PATH_BUFFER_SIZE;
    if (!accepted) {
        ReportDialogFailure(hwnd);
        return;
    }
    std::vector<std::wstring> files = ReadChosenFiles(chosen);
    if (files.size() > 1) {
        RunBatchWindow(hwnd, files);
        return;
    }
    if (KeepSubtitle(hwnd, files[0].c_str()))
        MessageBoxA(hwnd, OPEN_OK_TEXT, OPEN_OK_CAPTION, MB_OK);
}

/* SaveTextFile
 *     Save and Sync Save: converts the chosen subtitle into the file and type the save dialog
 *     names, keeping the class chosen. "Convert OK" comes only once that file is complete and
 *     closed. */
static void SaveTextFile(HWND hwnd, ConversionMode mode)
{
    const char *error = OpenChosenSubtitle();
    if (error != nullptr) {
        ShowError(hwnd, error);
        return;
    }
    const SaveType *type = AskForSaveFile(mode);
    if (type == nullptr) {
        CloseSubtitle(); // the subtitle stays chosen for the next save
        ReportDialogFailure(hwnd);
        return;
    }
    ChooseSaveOptions(*type, ChosenClass(), app_state.languages_together);
    error = WriteTextFile(app_state.path_buffer, mode);
    if (error != nullptr) {
        ShowError(hwnd, error);
        return;
    }
    char report[2 * TEXT_BUFFER_SIZE]; // room for the count and the encoding's name
    DescribeSavedFile(report, sizeof report);
    MessageBoxA(hwnd, report, CONVERT_OK_TEXT, MB_OK);
}

/* TakeDroppedFiles
 *     One file dropped on the window is opened as Open opens it; several go to the batch
 *     window, or into it when it is open. */
static void TakeDroppedFiles(HWND hwnd, HDROP drop)
{
    std::vector<std::wstring> files = ReadDroppedFiles(drop);
    if (files.empty() || AddToBatchWindow(files))
        return;
    if (files.size() > 1) {
        RunBatchWindow(hwnd, files);
        return;
    }
    if (files[0].size() >= PATH_BUFFER_SIZE) {
        ShowError(hwnd, PATH_TOO_LONG_TEXT);
        return;
    }
    if (KeepSubtitle(hwnd, files[0].c_str()))
        MessageBoxA(hwnd, OPEN_OK_TEXT, OPEN_OK_CAPTION, MB_OK);
}

/* TakeStartingSubtitle
 *     The arguments at start ("Open with", a drop on the program's icon): one is the subtitle,
 *     without a box; several open the batch window. They are made absolute, as the dialogs
 *     may change the current folder. */
static void TakeStartingSubtitle(HWND hwnd)
{
    int count = 0;
    LPWSTR *arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr)
        return;
    if (count > 2) {
        for (int k = 1; k < count; k++) {
            wchar_t path[SEVERAL_FILES_BUFFER_SIZE];
            DWORD length = GetFullPathNameW(arguments[k], std::size(path), path, nullptr);
            if (length > 0 && length < std::size(path))
                starting_files.push_back(path);
        }
        PostMessageW(hwnd, OPEN_BATCH_MESSAGE, 0, 0);
    } else if (count > 1 && arguments[1][0] != L'\0') {
        wchar_t path[PATH_BUFFER_SIZE];
        DWORD length = GetFullPathNameW(arguments[1], PATH_BUFFER_SIZE, path, nullptr);
        if (length == 0)
            ShowError(hwnd, CANNOT_OPEN_SUBTITLE_TEXT);
        else if (length >= PATH_BUFFER_SIZE)
            ShowError(hwnd, PATH_TOO_LONG_TEXT);
        else
            KeepSubtitle(hwnd, path);
    }
    LocalFree(arguments);
}

/* PrepareWindow
 *     WM_CREATE: the dialog record, the window's scale, drops, and a subtitle given at start. */
static void PrepareWindow(HWND hwnd)
{
    FillFileDialog(hwnd);
    ReadSavedChoices(SAVE_TYPE_COUNT, SYNC_SAVE_TYPE_COUNT, BATCH_TYPE_COUNT);
    app_state.window_dpi = ReadWindowDpi(hwnd);
    MakePaintFont();
    if (app_state.window_dpi != BASE_DPI)
        SetWindowPos(hwnd, nullptr, 0, 0, ScaleToDpi(WINDOW_WIDTH), ScaleToDpi(WINDOW_HEIGHT),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    DragAcceptFiles(hwnd, TRUE);
    TakeStartingSubtitle(hwnd);
}

/* ChangeDpi
 *     WM_DPICHANGED: a new scale, and the rectangle the system proposes for it. */
static void ChangeDpi(HWND hwnd, WPARAM wparam, const RECT *proposed)
{
    app_state.window_dpi = LOWORD(wparam);
    MakePaintFont();
    SetWindowPos(hwnd, nullptr, proposed->left, proposed->top, proposed->right - proposed->left,
                 proposed->bottom - proposed->top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, TRUE);
}

/* PaintInstructions
 *     Draws the four lines with their byte counts; the padding after them stays undrawn. */
static void PaintInstructions(HWND hwnd)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    HGDIOBJ old_font = nullptr;
    if (app_state.paint_font != nullptr)
        old_font = SelectObject(dc, app_state.paint_font);
    TextOutA(dc, ScaleToDpi(10), ScaleToDpi(10), PAINT_LINE_1, PAINT_LINE_1_COUNT);
    TextOutA(dc, ScaleToDpi(10), ScaleToDpi(30), PAINT_LINE_2, PAINT_LINE_2_COUNT);
    TextOutA(dc, ScaleToDpi(10), ScaleToDpi(60), PAINT_LINE_3, PAINT_LINE_3_COUNT);
    TextOutA(dc, ScaleToDpi(10), ScaleToDpi(85), PAINT_LINE_4, PAINT_LINE_4_COUNT);
    if (old_font != nullptr)
        SelectObject(dc, old_font);
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
    case WM_CREATE: PrepareWindow(hwnd); return 0;
    case WM_PAINT: PaintInstructions(hwnd); return 0;
    case WM_DROPFILES: TakeDroppedFiles(hwnd, reinterpret_cast<HDROP>(wparam)); return 0;
    case OPEN_BATCH_MESSAGE: RunBatchWindow(hwnd, starting_files); return 0;
    case WM_DPICHANGED: ChangeDpi(hwnd, wparam, reinterpret_cast<const RECT *>(lparam)); return 0;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case CMD_OPEN: ChooseSubtitle(hwnd); return 0;
        case CMD_SAVE: SaveTextFile(hwnd, ConversionMode::Plain); return 0;
        case CMD_SYNC_SAVE: SaveTextFile(hwnd, ConversionMode::Sync); return 0;
        case CMD_CONVERT_SEVERAL: RunBatchWindow(hwnd, {}); return 0;
        case CMD_ABOUT: ShowAboutBox(hwnd); return 0;
        case CMD_EXIT: DestroyWindow(hwnd); return 0;
        }
        if (ChooseLanguage(LOWORD(wparam))) { // a Language item: the title names its class
            ShowSubtitleInTitle(hwnd);
            return 0;
        }
        break;
    case WM_DESTROY:
        CloseStreams();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}
