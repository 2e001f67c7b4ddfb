// What the four dialogs share: the record each opening works on, the step rule of their
// horizontal scroll bars and the numbers in their edit boxes. Their templates are loaded from
// the owner's module (WindowInstance).
#pragma once

#include <windows.h>

#include "panel/window_instance.h"

// Where a scroll code moves a bar that stands at current: a line is one step, a page
// pageStep steps, the thumb codes take thumbPosition, the ends go to minimum and maximum;
// any other code (SB_ENDSCROLL) keeps the current place. Always within minimum..maximum.
int ScrollTarget(int code, int thumbPosition, int current, int minimum, int maximum,
                 int pageStep);
// The bar's new place from a WM_HSCROLL message's wParam.
int ScrollTargetOf(WPARAM wParam, HWND bar, int minimum, int maximum, int pageStep);

// The box's text as a signed number: 1 with *value set when it is one within
// minimum..maximum, else 0 and *value untouched.
int ReadNumberInRange(HWND dialog, int id, int minimum, int maximum, int* value);
void ShowNumber(HWND dialog, int id, int value);
// A two-state check box or radio button marked when on is non-zero.
void ShowChecked(HWND dialog, int id, int on);

// The record a dialog works on, handed to DialogBoxParam: kept in the dialog's DWLP_USER at
// WM_INITDIALOG (lParam) and read back from there for every later message; 0 for the messages
// before WM_INITDIALOG.
void* DialogRecord(HWND dialog, UINT message, LPARAM lParam);
