// The panel's buttons and the keyboard: what a press, a release or a key does to the camera.
#pragma once

#include <windows.h>

// A panel button's notification: the control id in the low 16 bits of controlId, the action
// (BN_PANEL_PRESSED or BN_PANEL_RELEASED) in action. 0 when the id was refused, 1 otherwise.
int HandlePanelCommand(HWND window, WPARAM controlId, LPARAM action);
// A key pressed while the main window has the focus.
void HandleKeyDown(HWND window, WPARAM key);
