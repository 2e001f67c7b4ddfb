// The Image Control dialog: exposure (automatic, or AGC gain, shutter speed and iris by hand)
// and white balance (automatic, or a red-to-blue level by hand).
//
// Principles of operation:
// - Every change goes to the camera at once: a radio button when it is clicked, a scroll bar
//   when its thumb is let go or an arrow or the page area is clicked, and once more at the end
//   of every scroll. Nothing is sent while the thumb is dragged.
// - OK keeps the new values in the camera settings; Cancel leaves them as they were, while
//   the camera keeps what was sent.
// - While it is open the dialog works on its own copy of the record, handed to DialogBoxParam
//   and kept in the dialog's DWLP_USER; what goes to the camera is sent by
//   control/image_settings.h.
// - The AGC, shutter and iris bars are enabled only in manual exposure, the white-balance bar
//   only in manual white balance.
// - When the dialog opens, the exposure bars show what the camera reports, if it answers.
//
// Operations:
//   ShowImageControl        runs the dialog; 1 after OK (the record holds its values), 0 after
//                           Cancel or the close box (the record is unchanged).
//   ImageControlDlgProc     the dialog procedure.
//   UpdateImageControls     the two mode pairs marked and the bars that apply enabled.
//   RefreshImageControls    the exposure levels read from the camera and shown; the driver's
//                           lastResult.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "link/camera_driver.h"

struct ImageControlRecord
{
    int32_t exposureAuto;      // 1 auto, 0 manual
    int32_t whiteBalanceAuto;  // 1 auto, 0 manual
    int32_t agcLevel;          // 3..127
    int32_t shutterLevel;      // 0..132
    int32_t irisLevel;         // 84..169
    int32_t whiteBalanceLevel; // 0..255
    CameraDriver* driver;
};

INT_PTR ShowImageControl(HWND owner, ImageControlRecord* record);
INT_PTR CALLBACK ImageControlDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void UpdateImageControls(HWND dialog);
ResultCode RefreshImageControls(HWND dialog);
