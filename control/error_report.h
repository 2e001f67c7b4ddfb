// The console's error report: the two kinds of message box a failure reaches the operator in,
// and the text of a link or command result shown in the first kind.
//
// Principles of operation:
// - ReportError shows a box captioned "HLR8" with OK, owned by the main window, and then
//   releases every button drawn pressed, so a failure in the middle of a hold never leaves a
//   key down. ShowErrorBox shows a task-modal box captioned "Error" without owner.
// - Texts are formatted with wvsprintfA and cut to the 259 characters a box shows.
//
// Operations:
//   ReportError        "HLR8" box with OK, owned by the main window; then releases buttons.
//   ShowErrorBox       task-modal "Error" box without owner.
//   ShowResultMessage  the text of a result code through ReportError; nothing for 0.
#pragma once

#include <windows.h>

#include "link/camera_driver.h"

const int MESSAGE_TEXT_SIZE = 260; // message box texts are limited to 259 characters

void ReportError(const char* format, ...);
void ShowErrorBox(const char* format, ...);
// The unknown-code texts carry the driver's lastResult (link/result_codes.h).
void ShowResultMessage(CameraDriver* driver, ResultCode code);
