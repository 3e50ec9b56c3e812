// The output file on Windows. Paths come in UTF-8 and the files are opened by their UTF-16
// names, so a name outside the ANSI code page is the file it names.
#include <windows.h>

#include <winternl.h>

#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <io.h>

OutputFile output_file;

// The temporary file's name as the system takes it, so a signal handler can remove it without
// converting anything.
static wchar_t temp_path_wide[OUTPUT_PATH_SIZE];

/* SetErrnoFromLastError
 *     Gives a failed Windows call an errno the callers can describe. */
static void SetErrnoFromLastError()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT: errno = EACCES; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: errno = ENOSPC; break;
    case ERROR_FILENAME_EXCED_RANGE: errno = ENAMETOOLONG; break;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY: errno = EINVAL; break;
    default: errno = EIO; break;
    }
}

bool WidenPath(const char *path, wchar_t *wide, int size)
{
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, size) == 0) {
        errno = GetLastError() == ERROR_INSUFFICIENT_BUFFER ? ENAMETOOLONG : EINVAL;
        return false;
    }
    return true;
}

FILE *OpenPathStream(const char *path, const char *mode)
{
    static wchar_t wide[OUTPUT_PATH_SIZE];
    wchar_t wide_mode[8];
    if (!WidenPath(path, wide, OUTPUT_PATH_SIZE) || !WidenPath(mode, wide_mode, 8))
        return nullptr;
    return _wfopen(wide, wide_mode);
}

static HANDLE OpenForQuery(const char *path)
{
    static wchar_t wide[OUTPUT_PATH_SIZE];
    if (!WidenPath(path, wide, OUTPUT_PATH_SIZE)) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// What tells one disk file from every other.
struct FileIdentity {
    DWORD volume;      // the volume's serial number, when volume_known
    bool volume_known; // the handle could tell its volume
    ULONGLONG index;   // the file's number on its volume
};

/* ReadHandleIdentity
 *     Fills identity for a handle of a disk file; false for anything else (a pipe, a device)
 *     or a handle that tells nothing. */
static bool ReadHandleIdentity(HANDLE handle, FileIdentity *identity)
{
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info)) {
        identity->volume = info.dwVolumeSerialNumber;
        identity->volume_known = true;
        identity->index = (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
        return true;
    }
    // A handle opened only for writing (a redirected standard output) may not read the file's
    // attributes; its index needs no right at all.
    IO_STATUS_BLOCK status;
    FILE_INTERNAL_INFORMATION internal;
    if (!NT_SUCCESS(NtQueryInformationFile(handle, &status, &internal, sizeof internal,
                                           FileInternalInformation)))
        return false;
    identity->volume = 0;
    identity->volume_known = false;
    identity->index = static_cast<ULONGLONG>(internal.IndexNumber.QuadPart);
    return true;
}

/* ReadStreamIdentity
 *     The same for the file a stream is open on. */
static bool ReadStreamIdentity(FILE *stream, FileIdentity *identity)
{
    return ReadHandleIdentity(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), identity);
}

/* IsSameIdentity
 *     True when both name one file. Without a volume the index alone decides: refusing a rare
 *     stranger is better than writing into the input. */
static bool IsSameIdentity(const FileIdentity &first, const FileIdentity &second)
{
    if (first.index != second.index)
        return false;
    return !first.volume_known || !second.volume_known || first.volume == second.volume;
}

bool IsSameFile(FILE *input, const char *path)
{
    FileIdentity input_identity;
    FileIdentity path_identity;
    if (!ReadStreamIdentity(input, &input_identity))
        return false;
    HANDLE path_handle = OpenForQuery(path);
    if (path_handle == INVALID_HANDLE_VALUE)
        return false;
    bool known = ReadHandleIdentity(path_handle, &path_identity);
    CloseHandle(path_handle);
    return known && IsSameIdentity(input_identity, path_identity);
}

// The runtime's fstat gives every disk file the same device and inode (0): only the system's
// file index tells two open files apart.
bool IsSameOpenFile(FILE *input, FILE *output)
{
    FileIdentity input_identity;
    FileIdentity output_identity;
    return ReadStreamIdentity(input, &input_identity) &&
           ReadStreamIdentity(output, &output_identity) &&
           IsSameIdentity(input_identity, output_identity);
}

/* CreateTempFile
 *     Makes a new empty file in the target's folder and leaves its name in temp_path. */
static bool CreateTempFile()
{
    wchar_t folder[OUTPUT_PATH_SIZE];
    if (!WidenPath(output_file.target_path, folder, OUTPUT_PATH_SIZE))
        return false;
    wchar_t *slash = std::wcsrchr(folder, L'\\');
    wchar_t *other = std::wcsrchr(folder, L'/');
    if (other != nullptr && (slash == nullptr || other > slash))
        slash = other;
    if (slash == nullptr)
        std::wcscpy(folder, L".");
    else if (slash == folder || slash[-1] == L':')
        slash[1] = L'\0'; // a drive's or the root folder keeps its separator
    else
        slash[0] = L'\0';
    if (std::wcslen(folder) + 14 >= MAX_PATH) {
        errno = ENAMETOOLONG;
        return false;
    }
    if (GetTempFileNameW(folder, L"vlm", 0, temp_path_wide) == 0) {
        SetErrnoFromLastError();
        temp_path_wide[0] = L'\0';
        return false;
    }
    // The folder came from UTF-8 and the rest is ASCII: the name always fits back.
    WideCharToMultiByte(CP_UTF8, 0, temp_path_wide, -1, output_file.temp_path, OUTPUT_PATH_SIZE,
                        nullptr, nullptr);
    return true;
}

FILE *BeginOutputFile(const char *path, bool binary)
{
    const char *mode = binary ? "wb" : "w";
    output_file = OutputFile{};
    temp_path_wide[0] = L'\0';
    if (std::strlen(path) >= sizeof output_file.target_path) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    std::strcpy(output_file.target_path, path);

    HANDLE handle = OpenForQuery(path);
    if (handle != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        DWORD type = GetFileType(handle);
        BOOL known = GetFileInformationByHandle(handle, &info);
        CloseHandle(handle);
        if (known && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            errno = EISDIR;
            return nullptr;
        }
        if (type != FILE_TYPE_DISK) {
            output_file.direct = true; // a device such as NUL: write it, never replace it
            output_file.stream = OpenPathStream(path, mode);
            return output_file.stream;
        }
        if (known && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
            errno = EACCES;
            return nullptr;
        }
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        SetErrnoFromLastError();
        return nullptr;
    }

    if (!CreateTempFile())
        return nullptr;
    output_file.stream = _wfopen(temp_path_wide, binary ? L"wb" : L"w");
    if (output_file.stream == nullptr) {
        int saved = errno;
        RemoveTempFile();
        errno = saved;
    }
    return output_file.stream;
}

bool FinishOutputFile()
{
    FILE *stream = output_file.stream;
    output_file.stream = nullptr;
    if (stream == nullptr)
        return false;
    bool written = fflush(stream) == 0 && !ferror(stream);
    int saved = errno;
    // Make the data durable before the name points at it, so a crash cannot leave it empty.
    if (written && !output_file.direct && _commit(_fileno(stream)) != 0) {
        written = false;
        saved = errno;
    }
    if (fclose(stream) != 0 && written) {
        written = false;
        saved = errno;
    }
    if (!output_file.direct) {
        static wchar_t target[OUTPUT_PATH_SIZE];
        if (written && !WidenPath(output_file.target_path, target, OUTPUT_PATH_SIZE)) {
            written = false;
            saved = errno;
        }
        if (written && !MoveFileExW(temp_path_wide, target,
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            SetErrnoFromLastError();
            written = false;
            saved = errno;
        }
        if (written) {
            output_file.temp_path[0] = '\0';
            temp_path_wide[0] = L'\0';
        } else
            RemoveTempFile();
    }
    if (!written && saved == 0)
        saved = EIO;
    errno = saved;
    return written;
}

void AbandonOutputFile()
{
    if (output_file.stream != nullptr)
        fclose(output_file.stream);
    output_file.stream = nullptr;
    RemoveTempFile();
}

void RemoveTempFile()
{
    if (temp_path_wide[0] != L'\0')
        DeleteFileW(temp_path_wide);
    temp_path_wide[0] = L'\0';
    output_file.temp_path[0] = '\0';
}
