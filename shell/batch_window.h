// The batch window: many subtitles converted in one step, each as smi2txt -d converts it.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

// Characters a file dialog that chooses several files may return: 32 KiB.
constexpr DWORD SEVERAL_FILES_BUFFER_SIZE = 16384;

// The batch window's types, in the order of its list.
constexpr DWORD BATCH_TYPE_COUNT = 6;

// The files of a dialog that allows several (OFN_ALLOWMULTISELECT | OFN_EXPLORER): one full
// path, or a folder then names, each ended by a zero, then an empty string.
std::vector<std::wstring> ReadChosenFiles(const wchar_t *buffer);

// The files of a drop, every one whatever its length; the drop is finished.
std::vector<std::wstring> ReadDroppedFiles(HDROP drop);

// Opens the batch window owned by owner with files listed, until it is closed.
void RunBatchWindow(HWND owner, const std::vector<std::wstring> &files);

// Adds files to the open batch window, as a drop on it does; false when none is open.
bool AddToBatchWindow(const std::vector<std::wstring> &files);
