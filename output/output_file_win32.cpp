// The output file on Windows, with ANSI paths as the program's dialogs give them.
#include <windows.h>

#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <io.h>

OutputFile output_file;

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

static HANDLE OpenForQuery(const char *path)
{
    return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IsSameFile(FILE *input, const char *path)
{
    BY_HANDLE_FILE_INFORMATION input_info;
    BY_HANDLE_FILE_INFORMATION path_info;
    HANDLE input_handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(input)));
    if (input_handle == INVALID_HANDLE_VALUE ||
        !GetFileInformationByHandle(input_handle, &input_info))
        return false;
    HANDLE path_handle = OpenForQuery(path);
    if (path_handle == INVALID_HANDLE_VALUE)
        return false;
    BOOL known = GetFileInformationByHandle(path_handle, &path_info);
    CloseHandle(path_handle);
    return known && input_info.dwVolumeSerialNumber == path_info.dwVolumeSerialNumber &&
           input_info.nFileIndexHigh == path_info.nFileIndexHigh &&
           input_info.nFileIndexLow == path_info.nFileIndexLow;
}

/* CreateTempFile
 *     Makes a new empty file in the target's folder and leaves its name in temp_path. */
static bool CreateTempFile()
{
    char folder[OUTPUT_PATH_SIZE];
    std::strcpy(folder, output_file.target_path);
    char *slash = std::strrchr(folder, '\\');
    char *other = std::strrchr(folder, '/');
    if (other != nullptr && (slash == nullptr || other > slash))
        slash = other;
    if (slash == nullptr)
        std::strcpy(folder, ".");
    else if (slash == folder || slash[-1] == ':')
        slash[1] = '\0'; // a drive's or the root folder keeps its separator
    else
        slash[0] = '\0';
    if (std::strlen(folder) + 14 >= MAX_PATH) {
        errno = ENAMETOOLONG;
        return false;
    }
    if (GetTempFileNameA(folder, "vlm", 0, output_file.temp_path) == 0) {
        SetErrnoFromLastError();
        output_file.temp_path[0] = '\0';
        return false;
    }
    return true;
}

FILE *BeginOutputFile(const char *path)
{
    output_file = OutputFile{};
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
            output_file.stream = fopen(path, "w");
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
    output_file.stream = fopen(output_file.temp_path, "w");
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
        if (written && !MoveFileExA(output_file.temp_path, output_file.target_path,
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            SetErrnoFromLastError();
            written = false;
            saved = errno;
        }
        if (written)
            output_file.temp_path[0] = '\0';
        else
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
    if (output_file.temp_path[0] != '\0')
        DeleteFileA(output_file.temp_path);
    output_file.temp_path[0] = '\0';
}
