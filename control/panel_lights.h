// The panel's status lights: the five lights (one per port on the CAMERA buttons, one on
// OPERATE), the red blinking of the selected port's light while the link fails, and the lights'
// reactions to the camera's power and link status messages.
//
// Principles of operation:
// - The light of the selected port is green while the camera answers, idle (black) otherwise,
//   and blinks red and black every 100 ms while the error indication is active. The OPERATE
//   light is green only with the port open, OPERATE on, the camera answering and no error.
// - The error indication starts with ShowErrorState and ends with ShowNormalState; both release
//   every button drawn pressed (panel_window.h), so a failure in the middle of a hold never
//   leaves a key down.
// - The blink timer (TIMER_BLINK, 100 ms) posts WM_BLINK_TICK to the main window; a tick still
//   queued after the indication ended does nothing.
// - panelLights (panel_layout.h) keeps the state last stored with SetPanelLight; the blinking
//   changes only the light itself.
//
// Operations:
//   SetPanelLight          stores and shows a light's state; a negative index is ignored.
//   PortLightIndex         comPortIndex when it is 0..3, else -1.
//   ShowErrorState         starts the indication (and clears cameraInitialized).
//   ShowNormalState        ends it: green or idle from cameraReady, all port lights idle when
//                          no port is open.
//   UpdateOperateLight     recomputes the OPERATE light.
//   OnBlinkTimer, OnBlinkTick, OnCameraPower, OnLinkStatus
//                          the main window's reactions to TIMER_BLINK, WM_BLINK_TICK,
//                          WM_CAMERA_POWER and WM_LINK_STATUS.
#pragma once

#include <windows.h>

const UINT BLINK_PERIOD_MS = 100;

extern int errorBlinking; // the error indication is active
extern int blinkPhase;    // the next blink tick shows red (1) or black (0)

void SetPanelLight(int index, int state);
int PortLightIndex();
void ShowErrorState();
void ShowNormalState();
void UpdateOperateLight();

void OnBlinkTimer(HWND window, UINT_PTR timerId); // other timers are not its business
void OnBlinkTick();
void OnCameraPower(WPARAM cameraUp);
void OnLinkStatus(WPARAM failing);
