// The Program Options dialog: line speed, pan/tilt and zoom speeds, Accelerated Speed Mode,
// panel size, always on top and the infrared remote control.
//
// Principles of operation:
// - The dialog only edits a record of seven values; ApplyProgramOptions carries the changes
//   out afterwards, in a fixed order, sending camera commands only for what changed. The
//   remote control's choice is stored last, so a reopen of the link on the way (which enables
//   the remote again) does not overrule it.
// - While it is open the dialog works on its own copy of the record, handed to DialogBoxParam
//   and kept in the dialog's DWLP_USER, with the line speed as an index into its list (0 4800,
//   1 9600, 2 14400). Cancel or the close box leave the caller's record as it was.
// - The line speed and the speeds are carried out by control/speed_settings.h.
// - The four check boxes are not automatic: the dialog keeps their state and marks them.
// - The speed box takes 1..70; anything else reverts to the current value when the box is
//   left, and also when OK is pressed with the box still holding the focus.
//
// Operations:
//   ShowProgramOptions      runs the dialog; 0 when cancelled, else the record holds the edits.
//   ProgramOptionsDlgProc   the dialog procedure.
//   CurrentProgramOptions   the record filled from the console's current values.
//   ApplyProgramOptions     the changes of an edited record, under the caller's wait cursor.
#pragma once

#include <windows.h>
#include <stdint.h>

struct ProgramOptionsRecord
{
    int32_t acceleratedSpeed;
    int32_t irRemoteEnabled;
    int32_t largeWindow;
    int32_t alwaysOnTop;
    int32_t baudRate; // 4800, 9600 or 14400; an index 0..2 in the dialog's copy
    int32_t panTiltSpeed; // 1..70, for both axes
    int32_t zoomSpeed;    // 0..7
};

INT_PTR ShowProgramOptions(HWND owner, ProgramOptionsRecord* record);
INT_PTR CALLBACK ProgramOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
ProgramOptionsRecord CurrentProgramOptions();
void ApplyProgramOptions(HWND window, const ProgramOptionsRecord* options);
