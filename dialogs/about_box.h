// The About dialog: the program's version and the firmware versions of the camera's three
// units (CCU, camera head, pan tilter) as read at the last camera initialization.
//
// Operations:
//   ShowAbout      runs the dialog with its caption, the software version (103 reads 1.03)
//                  and the three unit version bytes (0x21 reads 0.21, 0x0A reads 0.0A).
//   AboutDlgProc   the dialog procedure. Ok, Enter and the close box close it; Escape does not.
#pragma once

#include <windows.h>
#include <stdint.h>

const int SOFTWARE_VERSION = 103; // 1.03
const int UNIT_VERSION_COUNT = 3; // CCU, camera head, pan tilter

void ShowAbout(HWND owner, const char* caption, int softwareVersion,
               const uint8_t unitVersions[UNIT_VERSION_COUNT]);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
