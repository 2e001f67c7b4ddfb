// Window placement: centring a window, and the main window's place in the stacking order.
#include "services/window_place.h"

#include "services/settings_file.h"

void CenterWindow(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int x = (GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top)) / 2 -
            GetSystemMetrics(SM_CYCAPTION);
    if (y < 0)
        y = 0;
    SetWindowPos(window, 0, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void PlaceInStackingBand(HWND window)
{
    SetWindowPos(window, workingFlags.alwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}
