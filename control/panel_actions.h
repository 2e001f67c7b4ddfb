// The panel's buttons and the keyboard: what a press of each of the 29 buttons and of the
// console's keys does to the camera and to the panel's own state.
//
// Principles of operation:
// - The main window calls these with commandBusy set. With OPERATE off only OPERATE and
//   CAMERA 1 to 4 act; every other id is refused (0) and sends nothing.
// - Only the press (BN_PANEL_PRESSED) acts. Click-type buttons first wait for the mouse button
//   to come up (TrackButtonRelease), then act; movement buttons and keys run a hold
//   (press_and_hold.h) that stops the movement when the operator lets go. A release
//   (BN_PANEL_RELEASED), also a stray one after a lost capture, only refreshes the OPERATE
//   light.
// - Actions that send commands first make the camera ready (EnsureCameraReady) and are skipped
//   when it cannot be; Home from the keyboard is the exception and is sent at once.
// - panReversed swaps left and right of the panel arrows and the arrow keys.
//
// Operations:
//   HandlePanelCommand   a button notification; 0 when the id was refused, else 1.
//   HandleKeyDown        a key pressed while the main window has the focus.
//   StartButtonPanTilt   the hold for a pan/tilt button, after the panReversed swap.
//   StartKeyPanTilt      the hold for an arrow key, after the panReversed swap.
#pragma once

#include <windows.h>

#include "link/camera_driver.h"

int HandlePanelCommand(HWND window, WPARAM controlId, LPARAM action);
void HandleKeyDown(HWND window, WPARAM key);
int StartButtonPanTilt(HWND button, int horizontalKey, int verticalKey, CameraDriver* driver);
int StartKeyPanTilt(HWND window, int key, CameraDriver* driver);
