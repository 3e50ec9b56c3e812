// smi2txt.exe's arguments: read in UTF-16, since the runtime's argv loses every letter outside
// the ANSI code page, and its wildcards expanded as Windows programs expand them.
#include "windows_arguments.h"

#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

// Options whose value is the next argument: a value is never a pattern.
static const wchar_t *const VALUE_OPTIONS[] = {L"-o",       L"--output", L"--class",     L"--from",
                                               L"--format", L"-d",       L"--output-dir"};

static std::vector<std::string> argument_texts;
static std::vector<char *> argument_list;

/* NarrowArgument
 *     An argument in UTF-8. */
static std::string NarrowArgument(const std::wstring &argument)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, argument.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, argument.c_str(), -1, &text[0], size, nullptr, nullptr);
    text.resize(std::strlen(text.c_str()));
    return text;
}

/* IsPattern
 *     True for an input holding * or ?, which no Windows file name can hold. */
static bool IsPattern(const wchar_t *argument)
{
    return std::wcspbrk(argument, L"*?") != nullptr;
}

/* TakesValue
 *     True for an option whose value is the next argument. */
static bool TakesValue(const wchar_t *argument)
{
    for (const wchar_t *option : VALUE_OPTIONS)
        if (std::wcscmp(argument, option) == 0)
            return true;
    return false;
}

/* IsEarlierName
 *     The order of the expanded names: as Explorer lists them, case aside. */
static bool IsEarlierName(const std::wstring &first, const std::wstring &second)
{
    int order = _wcsicmp(first.c_str(), second.c_str());
    return order != 0 ? order < 0 : first < second;
}

/* ExpandPattern
 *     Appends the files pattern matches, its folder part kept as written; false for none.
 *     Folders are left out, and so are files matched only by their short 8.3 names. */
static bool ExpandPattern(const wchar_t *pattern)
{
    const wchar_t *name = pattern;
    for (const wchar_t *p = pattern; *p != L'\0'; ++p)
        if (*p == L'\\' || *p == L'/' || *p == L':')
            name = p + 1;
    std::wstring folder(pattern, static_cast<size_t>(name - pattern));

    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                PathMatchSpecW(found.cFileName, name))
                names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end(), IsEarlierName);
    for (const std::wstring &match : names)
        argument_texts.push_back(NarrowArgument(folder + match));
    return !names.empty();
}

char **ReadWindowsArguments(int *argc)
{
    int count = 0;
    LPWSTR *arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) {
        std::fprintf(stderr, "smi2txt: cannot read the command line\n");
        return nullptr;
    }
    bool options_ended = false;
    bool value_next = false;
    for (int k = 0; k < count; ++k) {
        const wchar_t *argument = arguments[k];
        bool is_option = !options_ended && argument[0] == L'-' && argument[1] != L'\0';
        if (k > 0 && !value_next && !is_option && IsPattern(argument)) {
            if (!ExpandPattern(argument)) {
                std::fprintf(stderr, "smi2txt: %s: no file matches this pattern\n",
                             NarrowArgument(argument).c_str());
                LocalFree(arguments);
                return nullptr;
            }
        } else {
            argument_texts.push_back(NarrowArgument(argument));
        }
        value_next = is_option && TakesValue(argument);
        if (is_option && std::wcscmp(argument, L"--") == 0)
            options_ended = true;
    }
    LocalFree(arguments);
    for (std::string &text : argument_texts)
        argument_list.push_back(&text[0]);
    argument_list.push_back(nullptr);
    *argc = static_cast<int>(argument_texts.size());
    return argument_list.data();
}
