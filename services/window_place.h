// Window placement: where the console's windows stand on the screen and in the stacking order.
// The main window and every dialog use these; they read nothing of the console but the
// always-on-top option.
//
// Operations:
//   CenterWindow         centred, lifted by one caption height but not above the screen.
//   PlaceInStackingBand  topmost or not, as workingFlags.alwaysOnTop says.
#pragma once

#include <windows.h>

void CenterWindow(HWND window);
void PlaceInStackingBand(HWND window);
