#include "panel/window_instance.h"

HINSTANCE WindowInstance(HWND window)
{
    HINSTANCE instance = window ? (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE) : 0;
    return instance ? instance : GetModuleHandleA(0);
}

int RegisterControlClass(int* registered, HINSTANCE instance, const char* className,
                         WNDPROC procedure, int extraBytes, int backgroundBrush)
{
    if (*registered)
        return 1;
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = extraBytes;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(0, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(backgroundBrush);
    windowClass.lpszClassName = className;
    *registered = RegisterClassA(&windowClass) != 0;
    return *registered;
}
