// The window's scale: its sizes are given for 96 DPI and scaled by the window's DPI.
// The helpers of newer systems are looked up at run time, so the program still starts on
// systems that lack them.
#pragma once

#include <windows.h>

constexpr UINT BASE_DPI = 96;

// The DPI of the monitor hwnd is on (the system's where the system cannot tell).
UINT ReadWindowDpi(HWND hwnd);

// A 96-DPI figure at app_state.window_dpi.
int ScaleToDpi(int value);

// Makes app_state.paint_font for app_state.window_dpi, replacing the last one; at 96 DPI there
// is none and the stock font is used.
void MakePaintFont();
