// The panel's push button, window class "__hlrButton__": a small black key with a one-pixel
// grey highlight on its top and left edges (up) or its right and bottom edges (pressed). It
// draws no text; its label is printed on the panel above it.
//
// Principles of operation:
// - On its own it only reports: a left press shows it pressed and sends WM_COMMAND (id,
//   BN_PANEL_PRESSED) to the parent; a left release shows it up and sends BN_PANEL_RELEASED.
//   Both are sent synchronously, from inside the button's own mouse message.
// - Holding the pressed look, mirroring a remote-control key and releasing every pressed
//   button are the parent's business, through the operations below.
// - The state lives in the window's extra bytes; SetButtonState paints at once through the
//   window's device context.
//
// Operations:
//   CreatePanelButton   the button window, BUTTON_UP, shown and painted; 0 when the class
//                       cannot be registered or the window created (then a beep).
//   SetButtonState      stores, enables (disables for BUTTON_DISABLED) and paints at once.
//   GetButtonState      the stored state.
//   TrackButtonRelease  pressed until the left mouse button is released, then BUTTON_UP; the
//                       release is consumed, so no BN_PANEL_RELEASED follows.
//   PaintButton         the whole client area for a state, into any device context.
#pragma once

#include <windows.h>

const char PANEL_BUTTON_CLASS[] = "__hlrButton__";

enum ButtonState
{
    BUTTON_PRESSED = 0,  // highlight on the right and bottom inner edges
    BUTTON_UP = 1,       // highlight on the top and left inner edges
    BUTTON_DISABLED = 2, // drawn as up; the window is disabled
};

// Notification codes: WM_COMMAND carries the button's id in wParam and the code in lParam.
const LPARAM BN_PANEL_PRESSED = 101;
const LPARAM BN_PANEL_RELEASED = 100;

HWND CreatePanelButton(HWND parent, const char* text, int id, int x, int y, int width, int height);
void SetButtonState(HWND button, int state);
int GetButtonState(HWND button);
void TrackButtonRelease(HWND button);
void PaintButton(HWND button, HDC dc, int state);
