// The Language menu, made from one reading of the chosen subtitle's classes.
#include "language_menu.h"

#include <windows.h>

#include "app_state.h"
#include "conversion.h"
#include "resource.h"
#include "text_file.h"
#include "ui_texts.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

static_assert(CMD_LANGUAGE_FIRST == CMD_LANGUAGE_ALL + 1 &&
                  CMD_LANGUAGE_LAST == CMD_LANGUAGE_ALL + CLASS_LIST_SIZE,
              "an item for every class a list may hold");
static_assert(CMD_LANGUAGE_ALL > CMD_SYNC_SAVE, "the Language items have ids of their own");

// An item's text: its number, the class and its first words, each '&' of theirs doubled.
constexpr int ITEM_TEXT_SIZE = 8 + 2 * CLASS_NAME_SIZE + 2 * CLASS_SAMPLE_SIZE;

/* AppendMenuText
 *     Adds UTF-8 text to an item's text, each '&' doubled so it shows instead of marking a key. */
static void AppendMenuText(wchar_t *text, const char *utf8)
{
    wchar_t wide[CLASS_SAMPLE_SIZE];
    if (MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, CLASS_SAMPLE_SIZE) == 0)
        return;
    size_t length = std::wcslen(text);
    for (const wchar_t *p = wide; *p != L'\0' && length + 2 < ITEM_TEXT_SIZE; ++p) {
        if (*p == L'&')
            text[length++] = L'&';
        text[length++] = *p;
    }
    text[length] = L'\0';
}

/* AddLanguageItem
 *     Puts a radio item at the end of menu. */
static void AddLanguageItem(HMENU menu, UINT command, wchar_t *text)
{
    MENUITEMINFOW item;
    std::memset(&item, 0, sizeof item);
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
    item.fType = MFT_STRING | MFT_RADIOCHECK;
    item.wID = command;
    item.dwTypeData = text;
    InsertMenuItemW(menu, static_cast<UINT>(GetMenuItemCount(menu)), TRUE, &item);
}

/* AddClassItem
 *     "&2 ENCC: Hello": the digit chooses it from the keyboard, up to the ninth class. */
static void AddClassItem(HMENU menu, int index)
{
    const ParagraphClass &entry = class_list.classes[index];
    wchar_t text[ITEM_TEXT_SIZE];
    std::swprintf(text, ITEM_TEXT_SIZE, index < 9 ? L"&%d " : L"%d ", index + 1);
    AppendMenuText(text, entry.name);
    if (entry.sample[0] != '\0') {
        std::wcscat(text, CLASS_SAMPLE_SEPARATOR);
        AppendMenuText(text, entry.sample);
    }
    AddLanguageItem(menu, static_cast<UINT>(CMD_LANGUAGE_FIRST + index), text);
}

/* RemoveLanguageMenu
 *     Takes the last subtitle's Language menu off the menu bar and destroys it. */
static void RemoveLanguageMenu(HWND hwnd)
{
    HMENU bar = GetMenu(hwnd);
    for (int k = 0; app_state.language_menu != nullptr && k < GetMenuItemCount(bar); k++)
        if (GetSubMenu(bar, k) == app_state.language_menu)
            DeleteMenu(bar, static_cast<UINT>(k), MF_BYPOSITION);
    app_state.language_menu = nullptr;
    app_state.language_count = 0;
    app_state.chosen_language = 0;
    app_state.languages_together = false;
}

/* BuildLanguageMenu
 *     All, checked, then the classes in order of first use; the names are kept for the saves,
 *     as later conversions refill the class list. */
void BuildLanguageMenu(HWND hwnd)
{
    RemoveLanguageMenu(hwnd);
    if (!ListChosenSubtitleClasses() || class_list.length < 2) {
        DrawMenuBar(hwnd);
        return;
    }
    HMENU menu = CreatePopupMenu();
    wchar_t text[ITEM_TEXT_SIZE];
    if (LoadStringW(app_state.instance_handle, STR_ALL, text, ITEM_TEXT_SIZE) == 0)
        text[0] = L'\0';
    AddLanguageItem(menu, CMD_LANGUAGE_ALL, text);
    if (LoadStringW(app_state.instance_handle, STR_TOGETHER, text, ITEM_TEXT_SIZE) == 0)
        text[0] = L'\0';
    AddLanguageItem(menu, CMD_LANGUAGE_TOGETHER, text);
    for (int k = 0; k < class_list.length; k++) {
        AddClassItem(menu, k);
        std::memcpy(app_state.language_classes[k], class_list.classes[k].name, CLASS_NAME_SIZE);
    }
    app_state.language_count = class_list.length;
    CheckMenuRadioItem(menu, CMD_LANGUAGE_ALL, CMD_LANGUAGE_ALL + app_state.language_count,
                       CMD_LANGUAGE_ALL, MF_BYCOMMAND);

    MENUITEMINFOW entry;
    std::memset(&entry, 0, sizeof entry);
    entry.cbSize = sizeof entry;
    entry.fMask = MIIM_STRING | MIIM_SUBMENU;
    if (LoadStringW(app_state.instance_handle, STR_LANGUAGE, text, ITEM_TEXT_SIZE) == 0)
        text[0] = L'\0';
    entry.dwTypeData = text;
    entry.hSubMenu = menu;
    HMENU bar = GetMenu(hwnd);
    // Before Help, the last menu of the bar.
    InsertMenuItemW(bar, static_cast<UINT>(GetMenuItemCount(bar) - 1), TRUE, &entry);
    app_state.language_menu = menu;
    DrawMenuBar(hwnd);
}

/* ChooseLanguage
 *     All (0) or a class of the list (from 1) becomes the one every save keeps. */
bool ChooseLanguage(UINT command)
{
    bool together = command == CMD_LANGUAGE_TOGETHER;
    if (!together && (command < CMD_LANGUAGE_ALL || command > CMD_LANGUAGE_LAST))
        return false;
    int chosen = together ? 0 : static_cast<int>(command - CMD_LANGUAGE_ALL);
    if (app_state.language_menu == nullptr || chosen > app_state.language_count)
        return true;
    // All together stands second, inside the range of positions the radio group spans.
    CheckMenuRadioItem(app_state.language_menu, CMD_LANGUAGE_ALL,
                       CMD_LANGUAGE_ALL + app_state.language_count, command, MF_BYCOMMAND);
    app_state.chosen_language = chosen;
    app_state.languages_together = together;
    return true;
}

/* ChosenLanguageLabel
 *     What the title names: the class kept, every class joined by '+' for All together, or
 *     nothing for All. */
const char *ChosenLanguageLabel()
{
    static char label[CLASS_LIST_SIZE * CLASS_NAME_SIZE];
    if (!app_state.languages_together)
        return ChosenClass();
    label[0] = '\0';
    for (int k = 0; k < app_state.language_count; k++) {
        if (k > 0)
            std::strcat(label, "+");
        std::strcat(label, app_state.language_classes[k]);
    }
    return label;
}

const char *ChosenClass()
{
    return app_state.chosen_language == 0
               ? ""
               : app_state.language_classes[app_state.chosen_language - 1];
}
