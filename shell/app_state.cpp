// The shell's process-wide record, zero at start, and what its paths are read with.
#include "app_state.h"

AppState app_state;

/* FileNameOf
 *     What follows a path's last separator. */
const wchar_t *FileNameOf(const wchar_t *path)
{
    const wchar_t *name = path;
    for (const wchar_t *p = path; *p != L'\0'; ++p)
        if (*p == L'\\' || *p == L'/' || *p == L':')
            name = p + 1;
    return name;
}
