// The remote control's pan and tilt keys: the movement from a key's press to its release, and
// with acceleratedSpeed the speed ramp that steps it up by TIMER_RAMP (remote_keys.h).
//
// Principles of operation:
// - The remote arrows are not swapped by panReversed. With acceleratedSpeed they ramp through
//   RampSpeedTable by TIMER_RAMP, the steps due 500 ms and 2500 ms after the start as in a held
//   button; the release kills the timer, stops and restores the configured speeds, and a step
//   still queued after the release is dropped (it would overwrite the restored speeds).
// - A ramp speed that a failed accelerated move left in the camera goes back before the next
//   move at the configured speed.
// - A ramp that is running is ended by the release even if the option was switched off
//   meanwhile.
//
// Operations:
//   StartRemotePanTilt   a remote arrow pressed: its start command, ramped when accelerated;
//                        the first failing command's result.
//   StopRemotePanTilt    its release: the stop, and the configured speeds back after a ramp.
//   OnRampStep           WM_RAMP_STEP: the next speed step of the remote ramp.
#pragma once

#include <windows.h>

#include "control/press_and_hold.h"
#include "link/camera_driver.h"

extern int rampStep; // steps taken by the remote ramp since its arrow was pressed

ResultCode StartRemotePanTilt(HWND window, CameraDriver* driver, StartCommand start);
void StopRemotePanTilt(HWND window, CameraDriver* driver);
void OnRampStep(HWND window);
