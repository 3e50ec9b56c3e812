// The window's DPI and what is scaled by it.
#include "window_dpi.h"

#include "app_state.h"

// The stock system font's cell at 96 DPI, which the painted lines keep at every scale.
constexpr int SYSTEM_FONT_HEIGHT = 16;
constexpr int SYSTEM_FONT_WIDTH = 8;

/* LookUpUser32
 *     A function of user32 that older systems lack, or none. */
static void (*LookUpUser32(const char *name))()
{
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (user32 == nullptr)
        return nullptr;
    // Through a function type without arguments: the one cast GCC accepts between them.
    return reinterpret_cast<void (*)()>(GetProcAddress(user32, name));
}

/* ReadScreenDpi
 *     The screen's DPI, as systems before Windows 10 tell it. */
static UINT ReadScreenDpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : BASE_DPI;
}

UINT ReadWindowDpi(HWND hwnd)
{
    using GetDpiForWindowCall = UINT(WINAPI *)(HWND);
    auto get_dpi = reinterpret_cast<GetDpiForWindowCall>(LookUpUser32("GetDpiForWindow"));
    UINT dpi = get_dpi != nullptr ? get_dpi(hwnd) : 0;
    return dpi != 0 ? dpi : ReadScreenDpi();
}

int ScaleToDpi(int value)
{
    return MulDiv(value, static_cast<int>(app_state.window_dpi), BASE_DPI);
}

void MakePaintFont()
{
    if (app_state.paint_font != nullptr)
        DeleteObject(app_state.paint_font);
    app_state.paint_font = nullptr;
    if (app_state.window_dpi == BASE_DPI)
        return;
    // The stock font's face and character set at a scaled cell; TrueType is preferred, as a
    // raster face would only be stretched.
    LOGFONTA font;
    if (GetObjectA(GetStockObject(SYSTEM_FONT), sizeof font, &font) == 0)
        return;
    font.lfHeight = ScaleToDpi(SYSTEM_FONT_HEIGHT);
    font.lfWidth = ScaleToDpi(SYSTEM_FONT_WIDTH);
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    app_state.paint_font = CreateFontIndirectA(&font);
}
