#include "panel/window_instance.h"

HINSTANCE WindowInstance(HWND window)
{
    HINSTANCE instance = window ? (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE) : 0;
    return instance ? instance : GetModuleHandleA(0);
}
