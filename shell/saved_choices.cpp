// The registry values the program keeps between runs, and nothing else it writes there.
#include "saved_choices.h"

#include <cwchar>

BatchChoices batch_choices = {0, L"", L"", true, false};

constexpr wchar_t CHOICES_KEY[] = L"Software\\Velmora";
constexpr wchar_t SAVE_TYPE_VALUE[] = L"SaveType";
constexpr wchar_t SYNC_SAVE_TYPE_VALUE[] = L"SyncSaveType";
constexpr wchar_t BATCH_TYPE_VALUE[] = L"BatchType";
constexpr wchar_t BATCH_LANGUAGE_VALUE[] = L"BatchLanguage";
constexpr wchar_t BATCH_FOLDER_VALUE[] = L"BatchFolder";
constexpr wchar_t BATCH_BESIDE_VALUE[] = L"BatchBeside";
constexpr wchar_t BATCH_REPLACE_VALUE[] = L"BatchReplace";

/* ReadNumber
 *     A DWORD value no greater than limit into number; anything else leaves number as it was. */
static void ReadNumber(HKEY key, const wchar_t *name, DWORD limit, DWORD *number)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof value && value <= limit)
        *number = value;
}

/* ReadFlag
 *     A DWORD value of 0 or 1 into flag. */
static void ReadFlag(HKEY key, const wchar_t *name, bool *flag)
{
    DWORD value = *flag ? 1 : 0;
    ReadNumber(key, name, 1, &value);
    *flag = value == 1;
}

/* ReadText
 *     A REG_SZ value that fits text (size characters with its zero); else text stays. */
static void ReadText(HKEY key, const wchar_t *name, wchar_t *text, DWORD size)
{
    wchar_t value[PATH_BUFFER_SIZE + 1];
    DWORD bytes = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ || bytes % sizeof(wchar_t) != 0)
        return;
    value[bytes / sizeof(wchar_t)] = L'\0';
    if (std::wcslen(value) < size)
        std::wcscpy(text, value);
}

void ReadSavedChoices(DWORD save_types, DWORD sync_save_types, DWORD batch_types)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, CHOICES_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    ReadNumber(key, SAVE_TYPE_VALUE, save_types, &app_state.save_type);
    ReadNumber(key, SYNC_SAVE_TYPE_VALUE, sync_save_types, &app_state.sync_save_type);
    if (batch_types > 0)
        ReadNumber(key, BATCH_TYPE_VALUE, batch_types - 1, &batch_choices.type);
    ReadText(key, BATCH_LANGUAGE_VALUE, batch_choices.language, CLASS_NAME_SIZE);
    ReadText(key, BATCH_FOLDER_VALUE, batch_choices.folder, PATH_BUFFER_SIZE);
    ReadFlag(key, BATCH_BESIDE_VALUE, &batch_choices.beside);
    ReadFlag(key, BATCH_REPLACE_VALUE, &batch_choices.replace);
    RegCloseKey(key);
}

/* OpenChoicesKey
 *     The key, made when it is not there yet; none when the registry refuses. */
static HKEY OpenChoicesKey()
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, CHOICES_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

static void WriteNumber(HKEY key, const wchar_t *name, DWORD value)
{
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
}

static void WriteText(HKEY key, const wchar_t *name, const wchar_t *text)
{
    DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), bytes);
}

void WriteSaveTypes()
{
    HKEY key = OpenChoicesKey();
    if (key == nullptr)
        return;
    WriteNumber(key, SAVE_TYPE_VALUE, app_state.save_type);
    WriteNumber(key, SYNC_SAVE_TYPE_VALUE, app_state.sync_save_type);
    RegCloseKey(key);
}

void WriteBatchChoices()
{
    HKEY key = OpenChoicesKey();
    if (key == nullptr)
        return;
    WriteNumber(key, BATCH_TYPE_VALUE, batch_choices.type);
    WriteText(key, BATCH_LANGUAGE_VALUE, batch_choices.language);
    WriteText(key, BATCH_FOLDER_VALUE, batch_choices.folder);
    WriteNumber(key, BATCH_BESIDE_VALUE, batch_choices.beside ? 1 : 0);
    WriteNumber(key, BATCH_REPLACE_VALUE, batch_choices.replace ? 1 : 0);
    RegCloseKey(key);
}
