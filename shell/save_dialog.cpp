// The save dialog's types: what each writes, which one the dialog opens on, and the name it
// proposes and completes.
#include "save_dialog.h"

#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include "app_state.h"
#include "saved_choices.h"
#include "ui_texts.h"

#include <cstring>
#include <cwchar>
#include <iterator>

// What the save dialog asks: it follows the type chosen in a hook, and asks before it replaces
// a file. With a hook the dialog is sizable only when asked to be.
constexpr DWORD SAVE_FLAGS = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                             OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;

// The types in the order of SAVE_FILTER and SYNC_SAVE_FILTER.
static const SaveType SAVE_TYPES[] = {
    {L"txt", false, CueFormat::None}, // the subtitle's own bytes
    {L"txt", true, CueFormat::None},  // smi2txt -u
};
static const SaveType SYNC_SAVE_TYPES[] = {
    {L"txt", false, CueFormat::None}, // smi2txt --sync
    {L"txt", true, CueFormat::None},  // smi2txt -u --sync
    {L"srt", true, CueFormat::Srt},   // smi2txt --format=srt
    {L"vtt", true, CueFormat::Vtt},   // smi2txt --format=vtt
};

/* CountFilterTypes
 *     The name and pattern pairs of a dialog's filter. */
constexpr DWORD CountFilterTypes(const wchar_t *filter)
{
    DWORD strings = 0;
    for (const wchar_t *p = filter; *p != L'\0'; ++p) {
        while (*p != L'\0')
            ++p;
        ++strings;
    }
    return strings / 2;
}
static_assert(CountFilterTypes(SAVE_FILTER) == std::size(SAVE_TYPES), "a type for each filter");
static_assert(std::size(SAVE_TYPES) == SAVE_TYPE_COUNT &&
                  std::size(SYNC_SAVE_TYPES) == SYNC_SAVE_TYPE_COUNT,
              "the counts the kept choices are checked against");
static_assert(CountFilterTypes(SYNC_SAVE_FILTER) == std::size(SYNC_SAVE_TYPES),
              "a type for each filter");

// One command's dialog: its list, and where the type last chosen in it is kept.
struct SaveDialog {
    const wchar_t *filter;
    const SaveType *types;
    DWORD type_count;
    DWORD *chosen_type; // from 1; 0 until a save with this dialog succeeded
};
static const SaveDialog SAVE_DIALOG = {SAVE_FILTER, SAVE_TYPES, std::size(SAVE_TYPES),
                                       &app_state.save_type};
static const SaveDialog SYNC_SAVE_DIALOG = {SYNC_SAVE_FILTER, SYNC_SAVE_TYPES,
                                            std::size(SYNC_SAVE_TYPES), &app_state.sync_save_type};

/* TypeAt
 *     The type at a dialog's filter index (from 1); the first for any index the list lacks. */
static const SaveType &TypeAt(const SaveDialog &dialog, DWORD index)
{
    return index >= 1 && index <= dialog.type_count ? dialog.types[index - 1] : dialog.types[0];
}

/* ExtensionOf
 *     What follows the last dot of a path's name, or none when the name has no dot. */
static const wchar_t *ExtensionOf(const wchar_t *path)
{
    const wchar_t *dot = std::wcsrchr(FileNameOf(path), L'.');
    return dot == nullptr ? nullptr : dot + 1;
}

/* RenameForType
 *     A name in the dialog that ends in one of its list's extensions takes the extension of the
 *     type just chosen, so the name shown is the file that will be written; any other name is
 *     the user's and stays. */
static void RenameForType(HWND frame, const SaveDialog &dialog, const SaveType &type)
{
    wchar_t name[PATH_BUFFER_SIZE];
    LRESULT length =
        SendMessageW(frame, CDM_GETSPEC, PATH_BUFFER_SIZE, reinterpret_cast<LPARAM>(name));
    if (length <= 0 || length > PATH_BUFFER_SIZE)
        return;
    const wchar_t *extension = ExtensionOf(name);
    if (extension == nullptr || _wcsicmp(extension, type.extension) == 0)
        return;
    bool listed = false;
    for (DWORD k = 0; k < dialog.type_count; k++)
        listed = listed || _wcsicmp(extension, dialog.types[k].extension) == 0;
    size_t at = static_cast<size_t>(extension - name);
    if (!listed || at + std::wcslen(type.extension) >= PATH_BUFFER_SIZE)
        return;
    std::wcscpy(name + at, type.extension);
    // Wine and dialogs with a hook show the name in an edit; Windows' own in a combo box.
    int control = IsWindowVisible(GetDlgItem(frame, cmb13)) ? cmb13 : edt1;
    SendMessageW(frame, CDM_SETCONTROLTEXT, control, reinterpret_cast<LPARAM>(name));
}

// Posted by the hook to itself: the dialog has set its own focus by the time it arrives.
constexpr UINT SELECT_NAME_MESSAGE = WM_APP + 1;

/* SelectProposedName
 *     Selects the name so that typing replaces it; the focus goes to it too, unless it is in
 *     the type list, where arrows still choose the type. */
static void SelectProposedName(HWND frame)
{
    // Wine and dialogs with a hook show the name in an edit; Windows' own in a combo box.
    HWND name = IsWindowVisible(GetDlgItem(frame, cmb13)) ? GetDlgItem(frame, cmb13)
                                                          : GetDlgItem(frame, edt1);
    if (name == nullptr)
        return;
    if (GetFocus() == GetDlgItem(frame, cmb1)) {
        if (name == GetDlgItem(frame, cmb13))
            SendMessageW(name, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
        else
            SendMessageW(name, EM_SETSEL, 0, -1);
        return;
    }
    // As Tab does: the focus, and the whole text of an edit selected.
    SendMessageW(frame, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(name), TRUE);
}

/* FollowSaveType
 *     The save dialog's hook: when another type is chosen, a name typed without extension gets
 *     that type's, and the replace prompt asks about the file that will be written; when it
 *     opens and after each type, the proposed name is selected. */
static UINT_PTR CALLBACK FollowSaveType(HWND hook, UINT message, WPARAM, LPARAM lparam)
{
    if (message == SELECT_NAME_MESSAGE) {
        SelectProposedName(GetParent(hook));
        return 0;
    }
    if (message != WM_NOTIFY)
        return 0;
    const OFNOTIFYW *notify = reinterpret_cast<const OFNOTIFYW *>(lparam);
    if (notify->hdr.code == CDN_INITDONE) {
        PostMessageW(hook, SELECT_NAME_MESSAGE, 0, 0);
        return 0;
    }
    if (notify->hdr.code != CDN_TYPECHANGE)
        return 0;
    const SaveDialog &dialog = *reinterpret_cast<const SaveDialog *>(notify->lpOFN->lCustData);
    const SaveType &type = TypeAt(dialog, notify->lpOFN->nFilterIndex);
    HWND frame = GetParent(hook);
    SendMessageW(frame, CDM_SETDEFEXT, 0, reinterpret_cast<LPARAM>(type.extension));
    RenameForType(frame, dialog, type);
    PostMessageW(hook, SELECT_NAME_MESSAGE, 0, 0);
    return 0;
}

/* ProposeName
 *     Starts the save dialog in the subtitle's folder with its name and extension:
 *     "movie.srt". */
static void ProposeName(const wchar_t *extension)
{
    const wchar_t *name = FileNameOf(app_state.subtitle_path);
    size_t folder_length = static_cast<size_t>(name - app_state.subtitle_path);
    std::memset(app_state.save_folder, 0, sizeof app_state.save_folder);
    std::wmemcpy(app_state.save_folder, app_state.subtitle_path, folder_length);
    std::memset(app_state.path_buffer, 0, sizeof app_state.path_buffer);
    std::wcscpy(app_state.path_buffer, name);
    wchar_t *dot = std::wcsrchr(app_state.path_buffer, L'.');
    if (dot != nullptr && dot != app_state.path_buffer)
        *dot = L'\0';
    // A name that leaves no room for the extension is proposed without it.
    if (std::wcslen(app_state.path_buffer) + 1 + std::wcslen(extension) < PATH_BUFFER_SIZE) {
        std::wcscat(app_state.path_buffer, L".");
        std::wcscat(app_state.path_buffer, extension);
    }
    app_state.file_dialog.lpstrInitialDir = folder_length > 0 ? app_state.save_folder : nullptr;
}

/* AskForSaveFile
 *     Opens the dialog on the type last chosen in it; the one chosen now is kept for the next
 *     save, and in Sync Save a name typed with .srt or .vtt writes that format. */
const SaveType *AskForSaveFile(ConversionMode mode)
{
    const SaveDialog &dialog = mode == ConversionMode::Plain ? SAVE_DIALOG : SYNC_SAVE_DIALOG;
    DWORD index = *dialog.chosen_type >= 1 ? *dialog.chosen_type : 1;
    const SaveType &proposed = TypeAt(dialog, index);
    ProposeName(proposed.extension);
    OPENFILENAMEW &record = app_state.file_dialog;
    record.lpstrFilter = dialog.filter;
    record.nFilterIndex = index;
    record.Flags = SAVE_FLAGS;
    record.lpstrDefExt = proposed.extension;
    record.lCustData = reinterpret_cast<LPARAM>(&dialog);
    record.lpfnHook = FollowSaveType;
    if (!GetSaveFileNameW(&record))
        return nullptr;
    *dialog.chosen_type = record.nFilterIndex;
    WriteSaveTypes();
    const SaveType *named =
        mode == ConversionMode::Sync ? TypeOfExtension(record.lpstrFile) : nullptr;
    return named != nullptr ? named : &TypeAt(dialog, record.nFilterIndex);
}

/* TypeOfExtension
 *     SubRip for a name ending in .srt, WebVTT for .vtt, whatever their case. */
const SaveType *TypeOfExtension(const wchar_t *path)
{
    const wchar_t *extension = ExtensionOf(path);
    if (extension == nullptr)
        return nullptr;
    for (const SaveType &type : SYNC_SAVE_TYPES)
        if (type.cue_format != CueFormat::None && _wcsicmp(extension, type.extension) == 0)
            return &type;
    return nullptr;
}
