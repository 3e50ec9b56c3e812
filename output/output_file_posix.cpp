// The output file on POSIX systems.
#include "output_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

OutputFile output_file;

static const char TEMP_SUFFIX[] = ".XXXXXX";

bool IsSameFile(FILE *input, const char *path)
{
    struct stat input_info;
    struct stat path_info;
    if (fstat(fileno(input), &input_info) != 0 || stat(path, &path_info) != 0)
        return false;
    return input_info.st_dev == path_info.st_dev && input_info.st_ino == path_info.st_ino;
}

bool IsSameOpenFile(FILE *input, FILE *output)
{
    struct stat input_info;
    struct stat output_info;
    if (fstat(fileno(output), &output_info) != 0 || fstat(fileno(input), &input_info) != 0)
        return false;
    return S_ISREG(output_info.st_mode) && output_info.st_dev == input_info.st_dev &&
           output_info.st_ino == input_info.st_ino;
}

/* CreateTempFile
 *     Makes a new file beside the target, with the target's permissions when it exists and
 *     otherwise those a plain new file would get. Returns its descriptor, or -1. */
static int CreateTempFile(const struct stat *target_info)
{
    size_t length = std::strlen(output_file.target_path);
    if (length + sizeof TEMP_SUFFIX > sizeof output_file.temp_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(output_file.temp_path, output_file.target_path, length);
    std::memcpy(output_file.temp_path + length, TEMP_SUFFIX, sizeof TEMP_SUFFIX);
    int fd = mkstemp(output_file.temp_path);
    if (fd < 0) {
        output_file.temp_path[0] = '\0';
        return -1;
    }
    mode_t mode;
    if (target_info != nullptr) {
        mode = target_info->st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    return fd;
}

FILE *BeginOutputFile(const char *path, bool binary)
{
    const char *mode = binary ? "wb" : "w";
    output_file = OutputFile{};
    if (std::strlen(path) >= sizeof output_file.target_path) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    std::strcpy(output_file.target_path, path);
    // Replacing a link would cut it: write the file it points at instead.
    struct stat link_info;
    char resolved[PATH_MAX];
    if (lstat(path, &link_info) == 0 && S_ISLNK(link_info.st_mode) &&
        realpath(path, resolved) != nullptr &&
        std::strlen(resolved) < sizeof output_file.target_path)
        std::strcpy(output_file.target_path, resolved);
    path = output_file.target_path;

    struct stat info;
    bool exists = stat(path, &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    if (exists && !S_ISREG(info.st_mode)) {
        output_file.direct = true;
        output_file.stream = fopen(path, mode);
        return output_file.stream;
    }

    int fd = CreateTempFile(exists ? &info : nullptr);
    if (fd < 0)
        return nullptr;
    output_file.stream = fdopen(fd, mode);
    if (output_file.stream == nullptr) {
        int saved = errno;
        close(fd);
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
    if (written && !output_file.direct && fsync(fileno(stream)) != 0) {
        written = false;
        saved = errno;
    }
    if (fclose(stream) != 0 && written) {
        written = false;
        saved = errno;
    }
    if (!output_file.direct) {
        if (written && rename(output_file.temp_path, output_file.target_path) != 0) {
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
        unlink(output_file.temp_path);
    output_file.temp_path[0] = '\0';
}
