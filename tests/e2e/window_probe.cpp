// Prints every visible top-level window and its controls, for the end-to-end tests to read
// what X cannot tell them: static texts, owners, client areas and message box icons.
// Texts are printed as hex bytes in the windows' own code page.
#include <windows.h>

#include <cstdio>
#include <cstring>

/* PrintHex
 *     Writes a text as " key=" and its bytes in hex, so any code page passes through. */
static void PrintHex(const char *key, const char *text)
{
    std::printf(" %s=", key);
    for (const char *p = text; *p != '\0'; ++p)
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

static BOOL CALLBACK PrintControl(HWND control, LPARAM)
{
    char class_name[64];
    char text[1024];
    GetClassNameA(control, class_name, sizeof class_name);
    GetWindowTextA(control, text, sizeof text);
    RECT rect;
    GetWindowRect(control, &rect);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    std::printf("C parent=%p id=%d style=%08lx rect=%ld,%ld,%ld,%ld visible=%d",
                static_cast<void *>(GetParent(control)), GetDlgCtrlID(control),
                static_cast<unsigned long>(style), rect.left, rect.top, rect.right, rect.bottom,
                IsWindowVisible(control) ? 1 : 0);
    PrintHex("class", class_name);
    PrintHex("text", text);
    if (std::strcmp(class_name, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        std::printf(" icon=%s", IconName(control));
    }
    std::printf("\n");
    return TRUE;
}

static BOOL CALLBACK PrintTopWindow(HWND window, LPARAM)
{
    if (!IsWindowVisible(window))
        return TRUE;
    char class_name[64];
    char title[1024];
    char owner_class[64] = "";
    GetClassNameA(window, class_name, sizeof class_name);
    GetWindowTextA(window, title, sizeof title);
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner != nullptr)
        GetClassNameA(owner, owner_class, sizeof owner_class);
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

int main()
{
    EnumWindows(PrintTopWindow, 0);
    return 0;
}
