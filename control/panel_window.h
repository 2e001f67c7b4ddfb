// The panel window's controls and frame: the 29 buttons and 5 lights on the main window, their
// release when a failure interrupts a hold, their new places when the panel changes size, and
// the window's title for the size.
//
// Principles of operation:
// - The controls are created once, with the main window; a size change moves and resizes
//   them and the window, it never creates them again. The window is hidden while everything
//   moves and shown again once all of it stands at its new place.
// - The title is the long one for the large panel and for a minimized window, else the short
//   one.
//
// Operations:
//   CreatePanelControls    the five lights, then the 29 buttons, as children of the window,
//                          which becomes mainWindow (the owner of the boxes and the timer).
//   ReleasePressedButtons  every pressed button up again.
//   RelayoutPanel          window, lights and buttons sized and placed for the panel in force.
//   SetMainWindowTitle     "Norvo HL-R8" for the large panel (or minimized), else "HLR8".
//   ShowPanelSize          layout, window and title for the panel size in workingFlags.
#pragma once

#include <windows.h>

#include "panel/panel_layout.h"

const char LONG_TITLE[] = "Norvo HL-R8";
const char SHORT_TITLE[] = "HLR8";

extern HWND panelButtons[PANEL_BUTTON_COUNT]; // by control id

int CreatePanelControls(HWND window);
void ReleasePressedButtons();
int RelayoutPanel(HWND window);
void SetMainWindowTitle(HWND window, int minimized);
void ShowPanelSize(HWND window);
