// Prints every visible top-level window and its controls, for the end-to-end tests to read
// what X cannot tell them: static texts, owners, client areas and message box icons. With
// "drop PATH..." it drops those files on the program's window instead; with "copy TEXT" it puts
// TEXT on the clipboard; with "dpi DPI" it tells the window its monitor's DPI changed.
// Texts are read in UTF-16, so a title outside the ANSI code page arrives whole, and printed as
// hex bytes of their UTF-8.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

/* PrintHex
 *     Writes a text as " key=" and the bytes of its UTF-8 in hex. */
static void PrintHex(const char *key, const wchar_t *text)
{
    char utf8[4096];
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr) == 0)
        utf8[0] = '\0';
    std::printf(" %s=", key);
    for (const char *p = utf8; *p != '\0'; ++p)
        std::printf("%02x", static_cast<unsigned char>(*p));
}

/* DrawnIcon
 *     A system icon as a message box draws it: 32 x 32 on the dialog's face colour. */
static void DrawnIcon(LPCSTR id, COLORREF *pixels)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, 32, 32};
    FillRect(dc, &all, GetSysColorBrush(COLOR_3DFACE));
    DrawIconEx(dc, 0, 0, LoadIconA(nullptr, id), 32, 32, 0, nullptr, DI_NORMAL);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            pixels[y * 32 + x] = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

/* IconName
 *     Which system icon the screen shows at a message box's icon control. Icon handles do not
 *     cross processes, so the pixels are compared instead. */
static const char *IconName(HWND control)
{
    static const struct {
        const char *name;
        LPCSTR id;
    } known[] = {{"warning", IDI_WARNING},
                 {"error", IDI_ERROR},
                 {"information", IDI_INFORMATION},
                 {"question", IDI_QUESTION}};
    static COLORREF shown[32 * 32];
    static COLORREF candidate[32 * 32];
    RECT rect;
    GetWindowRect(control, &rect);
    HDC screen = GetDC(nullptr);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            shown[y * 32 + x] = GetPixel(screen, rect.left + x, rect.top + y);
    ReleaseDC(nullptr, screen);
    for (const auto &entry : known) {
        DrawnIcon(entry.id, candidate);
        if (std::memcmp(shown, candidate, sizeof shown) == 0)
            return entry.name;
    }
    // An empty icon control shows only the box's background.
    for (int y = 0; y < 32 && y < rect.bottom - rect.top; ++y)
        for (int x = 0; x < 32 && x < rect.right - rect.left; ++x)
            if (shown[y * 32 + x] != shown[0])
                return "other";
    return "none";
}

/* PrintComboItems
 *     Writes a combo box's list as " items=" and each item's UTF-8 in hex, the items parted by
 *     commas: what a dialog offers beyond the item shown. */
static void PrintComboItems(HWND control)
{
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(control, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count) ||
        static_cast<LRESULT>(count) <= 0)
        return;
    std::printf(" items=");
    for (DWORD_PTR k = 0; k < count && k < 64; ++k) {
        wchar_t item[1024] = L"";
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(control, CB_GETLBTEXTLEN, k, 0, SMTO_ABORTIFHUNG, 2000, &length) ||
            length >= 1024 ||
            !SendMessageTimeoutW(control, CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(item),
                                 SMTO_ABORTIFHUNG, 2000, &length))
            item[0] = L'\0';
        char utf8[4096];
        if (WideCharToMultiByte(CP_UTF8, 0, item, -1, utf8, sizeof utf8, nullptr, nullptr) == 0)
            utf8[0] = '\0';
        std::printf(k == 0 ? "" : ",");
        for (const char *p = utf8; *p != '\0'; ++p)
            std::printf("%02x", static_cast<unsigned char>(*p));
    }
}

static BOOL CALLBACK PrintControl(HWND control, LPARAM)
{
    char class_name[64];
    wchar_t wide_class[64];
    wchar_t text[1024];
    GetClassNameA(control, class_name, sizeof class_name);
    GetClassNameW(control, wide_class, 64);
    GetWindowTextW(control, text, 1024);
    // Edit controls and combo boxes keep their texts to themselves: only asking them tells
    // what a dialog proposes.
    DWORD_PTR copied = 0;
    if ((std::strcmp(class_name, "Edit") == 0 || std::strcmp(class_name, "ComboBox") == 0) &&
        !SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 2000, &copied))
        text[0] = L'\0';
    RECT rect;
    GetWindowRect(control, &rect);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    std::printf("C parent=%p id=%d style=%08lx rect=%ld,%ld,%ld,%ld visible=%d",
                static_cast<void *>(GetParent(control)), GetDlgCtrlID(control),
                static_cast<unsigned long>(style), rect.left, rect.top, rect.right, rect.bottom,
                IsWindowVisible(control) ? 1 : 0);
    PrintHex("class", wide_class);
    PrintHex("text", text);
    if (std::strcmp(class_name, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        std::printf(" icon=%s", IconName(control));
    }
    if (std::strcmp(class_name, "ComboBox") == 0)
        PrintComboItems(control);
    if (std::strcmp(class_name, "Button") == 0)
        std::printf(" checked=%d", static_cast<int>(SendMessageW(control, BM_GETCHECK, 0, 0)));
    std::printf("\n");
    return TRUE;
}

static BOOL CALLBACK PrintTopWindow(HWND window, LPARAM)
{
    if (!IsWindowVisible(window))
        return TRUE;
    wchar_t class_name[64];
    wchar_t title[1024];
    wchar_t owner_class[64] = L"";
    GetClassNameW(window, class_name, 64);
    GetWindowTextW(window, title, 1024);
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner != nullptr)
        GetClassNameW(owner, owner_class, 64);
    RECT rect;
    GetWindowRect(window, &rect);
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    std::printf("W hwnd=%p rect=%ld,%ld,%ld,%ld client=%ld,%ld,%ld,%ld caption=%d",
                static_cast<void *>(window), rect.left, rect.top, rect.right, rect.bottom, origin.x,
                origin.y, client.right, client.bottom, GetSystemMetrics(SM_CYCAPTION));
    PrintHex("class", class_name);
    PrintHex("title", title);
    PrintHex("owner", owner_class);
    std::printf("\n");
    EnumChildWindows(window, PrintControl, 0);
    return TRUE;
}

/* WriteIntoProgram
 *     Copies size bytes into new memory of the process that owns window; its address there,
 *     or none. */
static void *WriteIntoProgram(HWND window, const void *bytes, size_t size)
{
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process_id);
    if (process == nullptr)
        return nullptr;
    void *remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote != nullptr && !WriteProcessMemory(process, remote, bytes, size, nullptr))
        remote = nullptr;
    if (remote == nullptr)
        std::fprintf(stderr, "cannot write into the program (%lu)\n", GetLastError());
    CloseHandle(process);
    return remote;
}

/* DropFiles
 *     Drops paths on the window of class VELMORA as the shell does: a DROPFILES block with the
 *     UTF-16 names, in the receiving process (a drop's memory is that process's), then
 *     WM_DROPFILES. A fixed block's address is its handle. */
static int DropFiles(int count, wchar_t **paths)
{
    HWND window = FindWindowA("VELMORA", nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "no window to drop on\n");
        return 1;
    }
    std::vector<unsigned char> block(sizeof(DROPFILES));
    for (int k = 0; k < count; ++k) {
        const unsigned char *bytes = reinterpret_cast<const unsigned char *>(paths[k]);
        block.insert(block.end(), bytes, bytes + (std::wcslen(paths[k]) + 1) * sizeof(wchar_t));
    }
    block.insert(block.end(), sizeof(wchar_t), 0);
    DROPFILES header = {};
    header.pFiles = sizeof(DROPFILES);
    header.pt = {20, 20};
    header.fNC = FALSE;
    header.fWide = TRUE;
    std::memcpy(block.data(), &header, sizeof header);

    void *remote = WriteIntoProgram(window, block.data(), block.size());
    if (remote == nullptr)
        return 1;
    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
    return 0;
}

/* ChangeDpi
 *     Tells the program's window that its monitor now has dpi, as Windows does when the window
 *     moves to another monitor, proposing the rectangle the scaled size needs. */
static int ChangeDpi(int dpi)
{
    HWND window = FindWindowA("VELMORA", nullptr);
    if (window == nullptr)
        return 1;
    RECT proposed;
    GetWindowRect(window, &proposed);
    proposed.right = proposed.left + MulDiv(300, dpi, 96);
    proposed.bottom = proposed.top + MulDiv(200, dpi, 96);
    // The system does not carry the rectangle across processes: it goes where the program reads.
    void *remote = WriteIntoProgram(window, &proposed, sizeof proposed);
    if (remote == nullptr)
        return 1;
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote));
    return 0;
}

/* CopyText
 *     Puts text on the clipboard, for the tests to paste what X cannot type. */
static int CopyText(const wchar_t *text)
{
    size_t size = (std::wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory == nullptr || !OpenClipboard(nullptr))
        return 1;
    std::memcpy(GlobalLock(memory), text, size);
    GlobalUnlock(memory);
    EmptyClipboard();
    bool copied = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
    return copied ? 0 : 1;
}

int main()
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count > 2 && std::wcscmp(arguments[1], L"drop") == 0)
        return DropFiles(count - 2, arguments + 2);
    if (count == 3 && std::wcscmp(arguments[1], L"dpi") == 0)
        return ChangeDpi(_wtoi(arguments[2]));
    if (count == 3 && std::wcscmp(arguments[1], L"copy") == 0)
        return CopyText(arguments[2]);
    EnumWindows(PrintTopWindow, 0);
    return 0;
}
