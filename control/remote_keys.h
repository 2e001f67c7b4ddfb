// Unsolicited frames from the camera: reports it sends on its own and the keys of its infrared
// remote control. A remote key stands for a panel button and runs that button's action
// (panel_actions.h); the remote arrows move through the remote ramp (remote_ramp.h).
//
// Principles of operation:
// - DispatchNotification runs inside the main window's WM_CAMERA_EVENT handling, with the
//   eventGate at 0 and commandBusy at 0. Reports the panel has no use for are
//   ignored, unknown command and key codes are reported in a box, and remote keys act on
//   press and on release, each mirrored on its panel button.
// - A remote key makes the camera ready before its action. Click actions run on the release;
//   movements start on the press and stop on the release.
// - A camera event that reaches the window while it is busy is dropped. When the dropped frame
//   is the release of a remote motion key (an arrow, zoom or focus near/far), its stop is kept
//   and sent as soon as the console is free again (SendDroppedStops), so the camera never keeps
//   moving after the operator let go. Dropped presses and other keys stay dropped.
// - The release of a motion key stops its motion even when OPERATE or the remote was switched
//   off while the camera moved; every stop the camera refuses is sent once more. With the
//   remote ignored, a release with nothing of its kind moving is ignored too.
// - A frame is read only as far as its length byte reaches: a ring slot still holds the bytes
//   of older frames after a short one, and a stale key code must not start a motion.
// - OPERATE from the remote follows the panel button's rule (ToggleOperateMode): an open of
//   the port on the way does not change which state the key asks for.
//
// Operations:
//   DispatchNotification    one event frame.
//   NoteDroppedCameraEvent  a WM_CAMERA_EVENT frame the window dropped.
//   SendDroppedStops        the stops of dropped releases, once commandBusy and eventGate
//                           allow; the main window calls it whenever a busy handler ends.
//   StopRemoteMotions       every motion a remote key started and whose release has not been
//                           handled, stopped as its release would. The dialogs call it before
//                           they open: no remote release reaches the panel while one is open;
//                           closing the link calls it too: no release reaches a closed port.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "link/camera_driver.h"

const uint8_t REMOTE_KEY_OPERATE = 0x41;
const uint8_t REMOTE_KEY_LAST = 0xF0; // codes above are reported as unknown

void DispatchNotification(HWND window, CameraDriver* driver, const uint8_t* frame);
void NoteDroppedCameraEvent(HWND window, const uint8_t* frame);
void SendDroppedStops(HWND window);
void StopRemoteMotions(HWND window);
