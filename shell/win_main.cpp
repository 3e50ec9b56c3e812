// Start-up: the strings, the window class, the main window and the message loop.
#include <windows.h>

#include "app_state.h"
#include "resource.h"

#include <cstddef>

#ifndef _WIN64
// The 32-bit release keeps the record sizes of the systems it was made for.
static_assert(sizeof(WNDCLASSEXA) == 48, "WNDCLASSEXA of 32-bit Windows");
#endif

/* RegisterMainClass
 *     Registers the main window's class: its procedure, icons, cursor, brush and menu. */
ATOM RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSEXA window_class;
    window_class.cbSize = sizeof(WNDCLASSEXA);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = MainWindowProc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(ICON_LARGE));
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszMenuName = MAKEINTRESOURCEA(RES_MAIN);
    window_class.lpszClassName = app_state.class_name;
    window_class.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(ICON_SMALL));
    return RegisterClassExA(&window_class);
}

/* CreateMainWindow
 *     Creates the 300 x 200 main window at (100, 100) and shows it; false if it could not. */
bool CreateMainWindow(HINSTANCE instance, int show_command)
{
    app_state.instance_handle = instance;
    HWND hwnd = CreateWindowExA(0,                      // no extended style
                                app_state.class_name,   // registered by RegisterMainClass
                                app_state.window_title, // caption
                                WS_OVERLAPPEDWINDOW,    // style
                                100,                    // x
                                100,                    // y
                                WINDOW_WIDTH,           // scaled by WM_CREATE
                                WINDOW_HEIGHT,          //   at other DPIs
                                nullptr,                // no parent
                                nullptr,                // the class menu
                                instance,               // the program
                                nullptr);               // no creation parameter
    if (hwnd == nullptr)
        return false;
    ShowWindow(hwnd, show_command);
    UpdateWindow(hwnd);
    return true;
}

/* WinMain
 *     Runs the program: the message loop ends with the quit code WM_DESTROY posts. */
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    LoadStringA(instance, STR_TITLE, app_state.window_title, TEXT_BUFFER_SIZE);
    LoadStringA(instance, STR_CLASS, app_state.class_name, TEXT_BUFFER_SIZE);
    RegisterMainClass(instance);
    if (!CreateMainWindow(instance, show_command))
        return 0;
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(RES_MAIN));
    MSG message;
    // -1 is a failure, not a message: looping on it would never end.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(message.hwnd, accelerators, &message) == 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
