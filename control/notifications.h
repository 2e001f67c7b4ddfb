// Unsolicited frames from the camera (reports and remote-control keys) and the speed ramp of
// the remote-control arrows.
#pragma once

#include <windows.h>

#include "link/camera_driver.h"

const UINT_PTR TIMER_RAMP = 6;
const UINT WM_RAMP_STEP = 1032;

// An event frame the reader thread (or a transaction) handed to the main window.
void DispatchNotification(HWND window, CameraDriver* driver, const uint8_t* frame);
// One step of the remote-control ramp (WM_RAMP_STEP).
void OnRampStep(HWND window);
