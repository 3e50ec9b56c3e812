// The batch window: its list of subtitles, its choices, and the thread that converts them one by
// one through the routine smi2txt's batch uses, posting each result to the window.
#include "batch_window.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <process.h>
#include <shlobj.h>

#include "app_state.h"
#include "conversion_state.h"
#include "convert_file.h"
#include "convert_into_folder.h"
#include "resource.h"
#include "saved_choices.h"
#include "text_file.h"
#include "ui_texts.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>

// Posted by the thread: a row's result is in its record (wparam: the row); the batch ended.
constexpr UINT FILE_DONE_MESSAGE = WM_APP + 10;
constexpr UINT BATCH_DONE_MESSAGE = WM_APP + 11;
constexpr int PROGRESS_STEPS = 1000;
constexpr int RESULT_TEXT_SIZE = 2 * CLASS_NAME_SIZE + TEXT_BUFFER_SIZE;

// One type of the list: what it writes, as smi2txt's options would ask for it.
struct BatchType {
    const wchar_t *name;
    ConversionMode mode;
    CueFormat cue_format;
    bool utf8_output;
    const char *extension;
};
static const BatchType BATCH_TYPES[] = {
    {L"Txt File (Save)", ConversionMode::Plain, CueFormat::None, false, ".txt"},
    {L"UTF-8 Txt File (Save)", ConversionMode::Plain, CueFormat::None, true, ".txt"},
    {L"Txt File (Sync Save)", ConversionMode::Sync, CueFormat::None, false, ".txt"},
    {L"UTF-8 Txt File (Sync Save)", ConversionMode::Sync, CueFormat::None, true, ".txt"},
    {L"SubRip (*.srt)", ConversionMode::Sync, CueFormat::Srt, true, ".srt"},
    {L"WebVTT (*.vtt)", ConversionMode::Sync, CueFormat::Vtt, true, ".vtt"},
};
static_assert(std::size(BATCH_TYPES) == BATCH_TYPE_COUNT, "a type for each place");

// The language list's entries before the classes of the files, each writing every class.
// Another fixed entry is one more line here.
static const wchar_t *const FIXED_LANGUAGES[] = {
    BATCH_ALL_LANGUAGES,
    BATCH_ALL_TOGETHER,
};
constexpr LRESULT TOGETHER_ENTRY = 1; // every class in one cue per moment, for the timed types
constexpr int FIXED_LANGUAGE_COUNT = static_cast<int>(std::size(FIXED_LANGUAGES));

enum class RowResult { Waiting, Converted, Skipped, Failed };

// One listed subtitle.
struct BatchRow {
    std::wstring path;
    std::string utf8_path;            // as the conversion takes it
    std::vector<std::string> classes; // of its P tags, as it spells them
    long long bytes;                  // its size, for the progress bar
    RowResult result;                 // written by the thread before it posts the row
    wchar_t result_text[RESULT_TEXT_SIZE];
};

// One language of the list after the fixed entries: a class, and the files that hold it.
struct ListedLanguage {
    std::string name; // as the first file that holds it spells it
    int files;
};

// The open window's state; the thread reads only the rows and the job.
struct BatchState {
    HWND dialog; // none while no window is open
    std::vector<BatchRow> rows;
    std::vector<ListedLanguage> languages;
    HANDLE thread; // none while no batch runs
    volatile LONG stop_asked;
    bool close_after; // Close stopped the batch: the window goes once it ended
    FolderChoices job;
    long long total_bytes;
    long long done_bytes;
    int converted, skipped, failed, finished;
};
static BatchState batch_state;

/* ToUtf8
 *     A UTF-16 text in UTF-8; empty when it is no valid UTF-16. */
static std::string ToUtf8(const std::wstring &text)
{
    int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.c_str(), -1, nullptr, 0,
                                   nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.c_str(), -1, &utf8[0], size, nullptr,
                        nullptr);
    utf8.resize(static_cast<size_t>(size - 1));
    return utf8;
}

static std::wstring ToWide(const char *text, UINT code_page)
{
    wchar_t wide[RESULT_TEXT_SIZE];
    if (MultiByteToWideChar(code_page, 0, text, -1, wide, RESULT_TEXT_SIZE) == 0)
        return std::wstring();
    return wide;
}

std::vector<std::wstring> ReadChosenFiles(const wchar_t *buffer)
{
    std::vector<std::wstring> files;
    const wchar_t *first = buffer;
    const wchar_t *name = first + std::wcslen(first) + 1;
    if (*name == L'\0') {
        files.push_back(first);
        return files;
    }
    std::wstring folder = first;
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    for (; *name != L'\0'; name += std::wcslen(name) + 1)
        files.push_back(folder + name);
    return files;
}

std::vector<std::wstring> ReadDroppedFiles(HDROP drop)
{
    std::vector<std::wstring> files;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT k = 0; k < count; k++) {
        UINT length = DragQueryFileW(drop, k, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        if (length > 0 && DragQueryFileW(drop, k, &path[0], length + 1) == length) {
            path.resize(length);
            files.push_back(path);
        }
    }
    DragFinish(drop);
    return files;
}

/* FileSize
 *     A file's size in bytes, 0 when it cannot be asked. */
static long long FileSize(const std::wstring &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

/* ReadClasses
 *     The classes of a subtitle's P tags, by the routine --classes uses; none when it cannot be
 *     read (its conversion then says why). */
static std::vector<std::string> ReadClasses(const std::string &utf8_path)
{
    std::vector<std::string> classes;
    ConversionState::Options &options = conversion_state.options;
    options.chosen_class[0] = '\0';
    options.cue_format = CueFormat::None;
    if (OpenSubtitle(utf8_path.c_str()) != ConversionOutcome::Succeeded)
        return classes;
    if (ListSubtitleClasses() != ConversionOutcome::Succeeded)
        return classes;
    for (int k = 0; k < class_list.length; k++)
        classes.push_back(class_list.classes[k].name);
    return classes;
}

/* SameClass
 *     Class names compared as --class compares them: without regard to case. */
static bool SameClass(const std::string &a, const std::string &b)
{
    return _stricmp(a.c_str(), b.c_str()) == 0;
}

/* Control
 *     One of the window's controls. */
static HWND Control(int id)
{
    return GetDlgItem(batch_state.dialog, id);
}

/* ChosenLanguageName
 *     The class chosen in the list, in UTF-16; empty for a fixed entry. */
static std::wstring ChosenLanguageName()
{
    LRESULT index = SendMessageW(Control(IDC_BATCH_LANGUAGE), CB_GETCURSEL, 0, 0);
    int listed = static_cast<int>(index) - FIXED_LANGUAGE_COUNT;
    if (index == CB_ERR || listed < 0 || listed >= static_cast<int>(batch_state.languages.size()))
        return std::wstring();
    return ToWide(batch_state.languages[static_cast<size_t>(listed)].name.c_str(), CP_UTF8);
}

/* FillLanguages
 *     The fixed entries, then each class of the rows in their order with how many files hold
 *     it; the class chosen before (by name) stays chosen, else All. */
static void FillLanguages(const std::wstring &keep)
{
    std::vector<ListedLanguage> &languages = batch_state.languages;
    languages.clear();
    for (const BatchRow &row : batch_state.rows)
        for (const std::string &name : row.classes) {
            bool found = false;
            for (ListedLanguage &language : languages)
                if (SameClass(language.name, name)) {
                    language.files++;
                    found = true;
                    break;
                }
            if (!found)
                languages.push_back({name, 1});
        }
    HWND list = Control(IDC_BATCH_LANGUAGE);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const wchar_t *text : FIXED_LANGUAGES)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    int chosen = 0;
    std::string kept = ToUtf8(keep);
    for (size_t k = 0; k < languages.size(); k++) {
        wchar_t text[CLASS_NAME_SIZE + 16];
        std::swprintf(text, std::size(text), BATCH_CLASS_FORMAT,
                      ToWide(languages[k].name.c_str(), CP_UTF8).c_str(), languages[k].files);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (!kept.empty() && SameClass(languages[k].name, kept))
            chosen = FIXED_LANGUAGE_COUNT + static_cast<int>(k);
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
}

/* SetRowText
 *     A cell of the list in UTF-16. */
static void SetRowText(int row, int column, const wchar_t *text)
{
    LVITEMW item;
    std::memset(&item, 0, sizeof item);
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t *>(text);
    SendMessageW(Control(IDC_BATCH_LIST), LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

/* AddFiles
 *     Lists the files not listed yet, each with its classes; a path longer than the program's
 *     paths is refused with a box, after the others are listed. */
static void AddFiles(const std::vector<std::wstring> &files)
{
    std::wstring keep = ChosenLanguageName();
    HWND list = Control(IDC_BATCH_LIST);
    bool too_long = false;
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (const std::wstring &file : files) {
        if (file.size() >= PATH_BUFFER_SIZE) {
            too_long = true;
            continue;
        }
        bool listed = false;
        for (const BatchRow &row : batch_state.rows)
            listed = listed || _wcsicmp(row.path.c_str(), file.c_str()) == 0;
        if (listed)
            continue;
        BatchRow row;
        row.path = file;
        row.utf8_path = ToUtf8(file);
        row.classes = ReadClasses(row.utf8_path);
        row.bytes = FileSize(file);
        row.result = RowResult::Waiting;
        row.result_text[0] = L'\0';
        batch_state.rows.push_back(row);
        int index = static_cast<int>(batch_state.rows.size()) - 1;
        std::wstring folder(file.c_str(),
                            static_cast<size_t>(FileNameOf(file.c_str()) - file.c_str()));
        LVITEMW item;
        std::memset(&item, 0, sizeof item);
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = const_cast<wchar_t *>(FileNameOf(file.c_str()));
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        SetRowText(index, 1, folder.c_str());
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    FillLanguages(keep);
    if (too_long)
        MessageBoxA(batch_state.dialog, PATH_TOO_LONG_TEXT, ERROR_CAPTION, MB_OK | MB_ICONWARNING);
}

/* RemoveSelectedRows
 *     Takes the selected rows out, from the last so the indexes stay true. */
static void RemoveSelectedRows()
{
    std::wstring keep = ChosenLanguageName();
    HWND list = Control(IDC_BATCH_LIST);
    for (int k = static_cast<int>(batch_state.rows.size()) - 1; k >= 0; k--) {
        if (SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(k), LVIS_SELECTED) == 0)
            continue;
        SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(k), 0);
        batch_state.rows.erase(batch_state.rows.begin() + k);
    }
    FillLanguages(keep);
}

/* AskForFiles
 *     Add...: Open's dialog, choosing one file or several. */
static void AskForFiles()
{
    static wchar_t buffer[SEVERAL_FILES_BUFFER_SIZE];
    std::memset(buffer, 0, sizeof buffer);
    OPENFILENAMEW record;
    std::memset(&record, 0, sizeof record);
    record.lStructSize = sizeof record;
    record.hwndOwner = batch_state.dialog;
    record.lpstrFilter = SUBTITLE_FILTER;
    record.nFilterIndex = 1;
    record.lpstrFile = buffer;
    record.nMaxFile = SEVERAL_FILES_BUFFER_SIZE;
    record.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT |
                   OFN_EXPLORER;
    record.lpstrDefExt = SUBTITLE_EXTENSION;
    if (GetOpenFileNameW(&record))
        AddFiles(ReadChosenFiles(buffer));
}

/* AskForFolder
 *     Browse...: the folder chooser, starting nowhere in particular; the folder goes into 3007. */
static void AskForFolder()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BROWSEINFOW info;
    std::memset(&info, 0, sizeof info);
    info.hwndOwner = batch_state.dialog;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (chosen == nullptr)
        return;
    wchar_t folder[MAX_PATH];
    if (SHGetPathFromIDListW(chosen, folder))
        SetDlgItemTextW(batch_state.dialog, IDC_BATCH_FOLDER, folder);
    CoTaskMemFree(chosen);
}

/* ShowBeside
 *     The folder and its chooser are for files that do not go beside each subtitle. */
static void ShowBeside()
{
    bool beside = IsDlgButtonChecked(batch_state.dialog, IDC_BATCH_BESIDE) == BST_CHECKED;
    EnableWindow(Control(IDC_BATCH_FOLDER), !beside);
    EnableWindow(Control(IDC_BATCH_BROWSE), !beside);
}

/* KeepChoices
 *     What the controls show, into batch_choices and the registry. */
static void KeepChoices()
{
    HWND dialog = batch_state.dialog;
    LRESULT type = SendMessageW(Control(IDC_BATCH_TYPE), CB_GETCURSEL, 0, 0);
    batch_choices.type = type == CB_ERR ? 0 : static_cast<DWORD>(type);
    std::wstring language = ChosenLanguageName();
    if (language.size() < CLASS_NAME_SIZE)
        std::wcscpy(batch_choices.language, language.c_str());
    GetDlgItemTextW(dialog, IDC_BATCH_FOLDER, batch_choices.folder, PATH_BUFFER_SIZE);
    batch_choices.beside = IsDlgButtonChecked(dialog, IDC_BATCH_BESIDE) == BST_CHECKED;
    batch_choices.replace = IsDlgButtonChecked(dialog, IDC_BATCH_REPLACE) == BST_CHECKED;
    WriteBatchChoices();
}

/* ShowSummary
 *     "24개 중 23개 변환, 1개 건너뜀, 0개 오류", and after Stop what was left. */
static void ShowSummary(int left)
{
    char text[2 * TEXT_BUFFER_SIZE];
    int length = std::snprintf(text, sizeof text, BATCH_SUMMARY_FORMAT,
                               static_cast<int>(batch_state.rows.size()), batch_state.converted,
                               batch_state.skipped, batch_state.failed);
    if (left > 0 && length > 0 && static_cast<size_t>(length) < sizeof text)
        std::snprintf(text + length, sizeof text - static_cast<size_t>(length), BATCH_LEFT_FORMAT,
                      left);
    SetDlgItemTextW(batch_state.dialog, IDC_BATCH_SUMMARY, ToWide(text, UI_CODE_PAGE).c_str());
}

/* DescribeResult
 *     A row's result in the main window's words, into the row. */
static void DescribeResult(BatchRow &row, const FolderResult &result)
{
    char text[RESULT_TEXT_SIZE];
    if (result.skipped) {
        row.result = RowResult::Skipped;
        std::snprintf(text, sizeof text, "%s", BATCH_SKIPPED_TEXT);
    } else if (result.outcome == ConversionOutcome::Succeeded) {
        row.result = RowResult::Converted;
        if (batch_state.job.mode == ConversionMode::Sync && result.cues > 0)
            std::snprintf(text, sizeof text, BATCH_CUES_FORMAT, result.cues);
        else
            std::snprintf(text, sizeof text, "%s", BATCH_CONVERTED_TEXT);
    } else if (result.outcome == ConversionOutcome::NoParagraphOfClass) {
        row.result = RowResult::Failed;
        // The class is ASCII or UTF-8; the text around it is in the program's code page.
        std::wstring wide = ToWide(BATCH_NO_CLASS_FORMAT, UI_CODE_PAGE);
        std::wstring name = ToWide(batch_state.job.chosen_class.c_str(), CP_UTF8);
        size_t at = wide.find(L"%s");
        if (at != std::wstring::npos)
            wide.replace(at, 2, name);
        std::swprintf(row.result_text, RESULT_TEXT_SIZE, L"%ls", wide.c_str());
        return;
    } else {
        row.result = RowResult::Failed;
        std::snprintf(text, sizeof text, "%s", OutcomeText(result.outcome));
    }
    std::swprintf(row.result_text, RESULT_TEXT_SIZE, L"%ls", ToWide(text, UI_CODE_PAGE).c_str());
}

/* ConvertRows
 *     The thread: each row in turn through the routine smi2txt's batch uses, until the rows end
 *     or Stop is asked; each result is posted, then the end. */
static unsigned __stdcall ConvertRows(void *)
{
    HWND dialog = batch_state.dialog;
    size_t count = batch_state.rows.size();
    for (size_t k = 0; k < count; k++) {
        if (InterlockedCompareExchange(&batch_state.stop_asked, 0, 0) != 0)
            break;
        BatchRow &row = batch_state.rows[k];
        FolderResult result = ConvertIntoFolder(row.utf8_path, batch_state.job);
        DescribeResult(row, result);
        PostMessageW(dialog, FILE_DONE_MESSAGE, static_cast<WPARAM>(k), 0);
    }
    PostMessageW(dialog, BATCH_DONE_MESSAGE, 0, 0);
    return 0;
}

/* ShowRunning
 *     While a batch runs: Convert reads Stop, and the list and its choices wait. */
static void ShowRunning(bool running)
{
    SetDlgItemTextW(batch_state.dialog, IDOK, running ? BATCH_STOP_BUTTON : BATCH_CONVERT_BUTTON);
    for (int id : {IDC_BATCH_ADD, IDC_BATCH_REMOVE, IDC_BATCH_TYPE, IDC_BATCH_LANGUAGE,
                   IDC_BATCH_BESIDE, IDC_BATCH_REPLACE})
        EnableWindow(Control(id), !running);
    if (running) {
        EnableWindow(Control(IDC_BATCH_FOLDER), FALSE);
        EnableWindow(Control(IDC_BATCH_BROWSE), FALSE);
    } else {
        ShowBeside();
    }
}

/* StartBatch
 *     Convert: the choices handed to the conversion as smi2txt's options hand them, the rows
 *     emptied of their last results, and the thread started. */
static void StartBatch()
{
    if (batch_state.rows.empty())
        return;
    KeepChoices();
    const BatchType &type =
        BATCH_TYPES[batch_choices.type < BATCH_TYPE_COUNT ? batch_choices.type : 0];
    FolderChoices &job = batch_state.job;
    job.output_dir = batch_choices.beside ? std::string() : ToUtf8(batch_choices.folder);
    if (!batch_choices.beside && job.output_dir.empty()) {
        MessageBoxA(batch_state.dialog, CANNOT_CREATE_OUTPUT_TEXT, ERROR_CAPTION,
                    MB_OK | MB_ICONWARNING);
        SetFocus(Control(IDC_BATCH_FOLDER));
        return;
    }
    job.chosen_class = ToUtf8(ChosenLanguageName());
    job.extension = type.extension;
    job.mode = type.mode;
    job.force = batch_choices.replace;
    job.counts_cues = true;
    ConversionState::Options &options = conversion_state.options;
    std::snprintf(options.chosen_class, sizeof options.chosen_class, "%s",
                  job.chosen_class.c_str());
    options.cue_format = type.cue_format;
    options.utf8_output = type.utf8_output;
    options.drops_styles = false; // smi2txt keeps the styles unless --no-styles
    // The Save types have no times: with All together they write every class, as All does.
    options.merges_classes =
        SendMessageW(Control(IDC_BATCH_LANGUAGE), CB_GETCURSEL, 0, 0) == TOGETHER_ENTRY;

    batch_state.total_bytes = 0;
    for (size_t k = 0; k < batch_state.rows.size(); k++) {
        batch_state.rows[k].result = RowResult::Waiting;
        batch_state.total_bytes += batch_state.rows[k].bytes;
        SetRowText(static_cast<int>(k), 2, L"");
    }
    batch_state.done_bytes = 0;
    batch_state.converted = batch_state.skipped = batch_state.failed = batch_state.finished = 0;
    batch_state.stop_asked = 0;
    batch_state.close_after = false;
    SendMessageW(Control(IDC_BATCH_PROGRESS), PBM_SETPOS, 0, 0);
    SetDlgItemTextW(batch_state.dialog, IDC_BATCH_SUMMARY, L"");
    ShowRunning(true);
    batch_state.thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ConvertRows, nullptr, 0, nullptr));
    if (batch_state.thread == nullptr)
        ShowRunning(false);
}

/* StopBatch
 *     The batch ends after the file being converted. */
static void StopBatch()
{
    InterlockedExchange(&batch_state.stop_asked, 1);
}

/* ShowFileDone
 *     A row's result in the list, the bar moved by its bytes. */
static void ShowFileDone(size_t k)
{
    if (k >= batch_state.rows.size())
        return;
    const BatchRow &row = batch_state.rows[k];
    SetRowText(static_cast<int>(k), 2, row.result_text);
    batch_state.finished++;
    batch_state.converted += row.result == RowResult::Converted;
    batch_state.skipped += row.result == RowResult::Skipped;
    batch_state.failed += row.result == RowResult::Failed;
    batch_state.done_bytes += row.bytes;
    long long total = batch_state.total_bytes > 0 ? batch_state.total_bytes : 1;
    SendMessageW(Control(IDC_BATCH_PROGRESS), PBM_SETPOS,
                 static_cast<WPARAM>(batch_state.done_bytes * PROGRESS_STEPS / total), 0);
    SendMessageW(Control(IDC_BATCH_LIST), LVM_ENSUREVISIBLE, k, FALSE);
}

/* EndBatch
 *     The thread ended: the summary, the buttons back, and the window closed if Close asked. */
static void EndBatch()
{
    WaitForSingleObject(batch_state.thread, INFINITE);
    CloseHandle(batch_state.thread);
    batch_state.thread = nullptr;
    ShowSummary(static_cast<int>(batch_state.rows.size()) - batch_state.finished);
    ShowRunning(false);
    if (batch_state.close_after)
        EndDialog(batch_state.dialog, IDCANCEL);
}

/* AddColumn
 *     A column of the list, its width in dialog units so it scales with the font. */
static void AddColumn(HWND list, int index, const wchar_t *title, int width)
{
    RECT units = {0, 0, width, 0};
    MapDialogRect(batch_state.dialog, &units);
    LVCOLUMNW column;
    std::memset(&column, 0, sizeof column);
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = units.right;
    column.pszText = const_cast<wchar_t *>(title);
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

/* PrepareBatchWindow
 *     WM_INITDIALOG: title, columns, the kept choices, the files it was opened with. */
static void PrepareBatchWindow(HWND dialog, const std::vector<std::wstring> &files)
{
    batch_state.dialog = dialog;
    batch_state.rows.clear();
    batch_state.languages.clear();
    DefWindowProcW(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(BATCH_TITLE));
    HWND list = Control(IDC_BATCH_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddColumn(list, 0, BATCH_COLUMN_FILE, 100);
    AddColumn(list, 1, BATCH_COLUMN_FOLDER, 100);
    AddColumn(list, 2, BATCH_COLUMN_RESULT, 100);
    HWND types = Control(IDC_BATCH_TYPE);
    for (const BatchType &type : BATCH_TYPES)
        SendMessageW(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(type.name));
    SendMessageW(types, CB_SETCURSEL,
                 batch_choices.type < BATCH_TYPE_COUNT ? batch_choices.type : 0, 0);
    SendMessageW(Control(IDC_BATCH_FOLDER), EM_LIMITTEXT, PATH_BUFFER_SIZE - 1, 0);
    SetDlgItemTextW(dialog, IDC_BATCH_FOLDER, batch_choices.folder);
    CheckDlgButton(dialog, IDC_BATCH_BESIDE, batch_choices.beside ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_BATCH_REPLACE, batch_choices.replace ? BST_CHECKED : BST_UNCHECKED);
    SendMessageW(Control(IDC_BATCH_PROGRESS), PBM_SETRANGE32, 0, PROGRESS_STEPS);
    ShowBeside();
    FillLanguages(batch_choices.language);
    AddFiles(files);
    DragAcceptFiles(dialog, TRUE);
}

/* CancelBatchWindow
 *     Escape and Close: with no batch running the window closes; while one runs both stop it,
 *     and Close then closes the window once the file being converted is done. */
static void CancelBatchWindow()
{
    if (batch_state.thread == nullptr) {
        KeepChoices();
        EndDialog(batch_state.dialog, IDCANCEL);
        return;
    }
    StopBatch();
    if ((GetKeyState(VK_ESCAPE) & 0x8000) == 0)
        batch_state.close_after = true;
}

/* BatchCommand
 *     Convert (or Stop), Close, Add, Remove, Browse and the check box that shows the folder. */
static void BatchCommand(int id)
{
    switch (id) {
    case IDOK:
        if (batch_state.thread == nullptr)
            StartBatch();
        else if ((GetKeyState(VK_RETURN) & 0x8000) == 0) // Enter does nothing while one runs
            StopBatch();
        return;
    case IDCANCEL: CancelBatchWindow(); return;
    case IDC_BATCH_ADD: AskForFiles(); return;
    case IDC_BATCH_REMOVE: RemoveSelectedRows(); return;
    case IDC_BATCH_BROWSE: AskForFolder(); return;
    case IDC_BATCH_BESIDE: ShowBeside(); return;
    }
}

/* BatchDialogProc
 *     Dispatches on the message, then on the command. */
static INT_PTR CALLBACK BatchDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        PrepareBatchWindow(dialog, *reinterpret_cast<const std::vector<std::wstring> *>(lparam));
        return TRUE;
    case WM_COMMAND: BatchCommand(LOWORD(wparam)); return TRUE;
    case WM_DROPFILES: {
        std::vector<std::wstring> files = ReadDroppedFiles(reinterpret_cast<HDROP>(wparam));
        if (batch_state.thread == nullptr)
            AddFiles(files);
        return TRUE;
    }
    case FILE_DONE_MESSAGE: ShowFileDone(static_cast<size_t>(wparam)); return TRUE;
    case BATCH_DONE_MESSAGE: EndBatch(); return TRUE;
    case WM_DESTROY: batch_state.dialog = nullptr; return FALSE;
    }
    return FALSE;
}

void RunBatchWindow(HWND owner, const std::vector<std::wstring> &files)
{
    if (batch_state.dialog != nullptr) {
        AddToBatchWindow(files);
        return;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    DialogBoxParamW(app_state.instance_handle, MAKEINTRESOURCEW(DLG_BATCH), owner, BatchDialogProc,
                    reinterpret_cast<LPARAM>(&files));
    batch_state.rows.clear();
}

bool AddToBatchWindow(const std::vector<std::wstring> &files)
{
    if (batch_state.dialog == nullptr)
        return false;
    if (batch_state.thread == nullptr)
        AddFiles(files);
    return true;
}
