// The module a window belongs to, where the resources and classes of its children and dialogs
// are found: the window's own instance, or the program file's when there is no window (or it
// has none).
#pragma once

#include <windows.h>

HINSTANCE WindowInstance(HWND window);
