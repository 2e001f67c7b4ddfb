// The module a window belongs to, where the resources and classes of its children and dialogs
// are found: the window's own instance, or the program file's when there is no window (or it
// has none); and the registration the panel's two control classes share.
#pragma once

#include <windows.h>

HINSTANCE WindowInstance(HWND window);

// Registers a panel control class (redrawn whole on resize, the arrow cursor, no double clicks:
// a double click is two presses) once per run; *registered is set on success, and a failure is
// tried again at the next call. 1 when the class is registered.
int RegisterControlClass(int* registered, HINSTANCE instance, const char* className,
                         WNDPROC procedure, int extraBytes, int backgroundBrush);
