// The life of the camera connection: opening the port of the selected camera, waiting for the
// camera to raise CTS, the initialization sequence, bringing the camera back after it reappears
// on the line, and closing the port again.
//
// Principles of operation:
// - Everything runs on the GUI thread and blocks it while the driver's transactions run.
// - Each operation saves commandBusy, sets it while it works and restores the value it found,
//   so nested calls (a panel command whose EnsureCameraReady runs OpenCamera) leave it as the
//   outermost caller expects. The result message of OpenCamera is shown while it is still set,
//   so a camera event that arrives while the box is up is dropped, not queued.
// - Higher operations give 1 for success and 0 for failure and leave the reason in the driver's
//   lastResult; link operations give their ResultCode.
// - Each OpenCamera resets the camera settings with the driver (ResetCameraControlState before
//   OpenPort), so it initializes the camera with the default speeds (7, 70, 70) until the
//   Program Options dialog changes them.
// - Every OpenCamera switches OPERATE on and preset store mode off, and shows the port lights
//   of the new port; a failure starts the blinking of its light and shows the result text. An
//   OPERATE press that had to open the port toggles the state shown before that open, so the
//   press ends in the state the operator asked for.
// - Closing the port first stops every motion the remote started (and its speed ramp) on the
//   camera that runs it: its release would come on a closed port.
//
// Operations:
//   OpenCamera          (re)opens the port (-1 keeps the stored port or speed), waits up to
//                       3000 ms for CTS, initializes; sends the pan tilter home when asked.
//   CloseCamera         CCU back to mode 1 if it was switched, port closed, 500 ms pause.
//   InitializeCamera    the initialization sequence; 1 at once when already initialized.
//   EnsureCameraReady   opens and initializes on demand; 1 when a command may be sent now.
//   ApplyOperateMode    mutes, focus mode and LED for operateMode; returns lastResult.
//   ToggleOperateMode   OPERATE pressed (panel or remote): the other state than the one shown,
//                       applied; 0 and no change when the camera cannot be made ready.
//   SwitchOperateOn     OPERATE on for Image Control; it stays off when the camera cannot be
//                       made ready or refuses.
//   BringCameraBack     the reaction to CTS coming on: mode 0, then the initialization.
#pragma once

#include <windows.h>

#include "link/camera_driver.h"

const DWORD CTS_WAIT_MS = 3000;    // how long OpenCamera waits for the camera to raise CTS
const DWORD CLOSE_PAUSE_MS = 500;  // after mode 1 and after closing the port
const int CCU_MODE_PROGRAM = 0;    // the CCU mode while the program drives the camera
const int CCU_MODE_STANDALONE = 1; // the mode the CCU is left in when the port closes

int OpenCamera(HWND window, int portIndex, int baudRate, int homeAfterInit);
void CloseCamera();
// The closing steps shared with the program's shutdown: mode 1, port closed, flags cleared;
// the pause after closing only when pauseAfterClose is set.
void CloseCameraLink(int pauseAfterClose);
int InitializeCamera(CameraDriver* driver);
int EnsureCameraReady(CameraDriver* driver);
ResultCode ApplyOperateMode(CameraDriver* driver);
// EnsureCameraReady for an OPERATE press: operateMode keeps the value it had before, whatever
// an open on the way set it to.
int EnsureCameraReadyForOperate(CameraDriver* driver);
int ToggleOperateMode(CameraDriver* driver);
// OPERATE switched on when it is off (Image Control works only with it on): 1 when it is on;
// 0 when the camera cannot be made ready or refuses, and OPERATE stays off (a port that had to
// be opened on the way switched it on).
int SwitchOperateOn(CameraDriver* driver);
// 1 when the camera is in mode 0 again and initialized (or already was).
int BringCameraBack(CameraDriver* driver);
