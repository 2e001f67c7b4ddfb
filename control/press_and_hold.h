// Press-and-hold movements: pan, tilt and zoom run while the operator holds a panel button or a
// key, and stop when it is let go.
//
// Principles of operation:
// - A hold starts the movement, waits for the release, stops the movement and releases the
//   mouse capture. It runs inside the main window's WM_COMMAND or WM_KEYDOWN handling and
//   dispatches nothing: it removes and discards every mouse message (button holds) or key
//   message (key holds) of the thread, so auto-repeat and other clicks or keys are swallowed;
//   every other message waits in the queue until the hold returns.
// - The camera stops when the operator lets go, whatever way the letting go reaches us. A button
//   hold ends at WM_LBUTTONUP or as soon as the button loses the mouse capture (another window
//   took it, WM_CANCELMODE). A key hold ends at the first WM_KEYUP of any key, as soon as the
//   held key is no longer down or the window has lost the keyboard focus (Alt+Tab, a window
//   popping up), where no WM_KEYUP would ever come, or when the held key's auto-repeat stops
//   for longer than the keyboard settings allow (KeyRepeatAllowanceMs): under X without a window
//   manager a key released over another window reaches us in none of the other ways. On
//   Windows a held key repeats for as long as it is down, so the watch costs nothing there;
//   where nothing repeats (injected input) the hold ends early, which stops the camera. Each
//   end sends the stop. The first repeat's allowance counts from the key press (the time its
//   WM_KEYDOWN was queued), not from the hold's late start behind a slow command. Until that
//   first repeat arrives, the pointer leaving the window also ends the hold: under X the keys
//   follow the pointer, and the key-up goes elsewhere. Where FilterKeys has switched the
//   repeat off, the repeats are not watched. With panReversed the movement is the
//   other arrow's, so a left or right hold watches both arrows, their state and their repeats.
// - When a key hold ends, however it ends, the key messages still queued are discarded: each
//   queued auto-repeat would otherwise start a movement of its own after the operator let go.
// - Accelerated holds start at speed step 0 of RampSpeedTable and step up when more than 500 ms
//   and more than 2500 ms have passed since the start command succeeded; the release restores
//   the configured speeds. A failing speed step ends the hold at once, and the stop is sent
//   then: the camera is moving and nothing would stop it later.
// - A ramp speed may stay in the camera when a command of an accelerated movement fails
//   (here or in the remote ramp). The module notes it: after the failure the configured speeds
//   are sent at once while the camera answers, otherwise before the next movement at the
//   configured speed (RestoreConfiguredSpeeds), so no later move runs at a ramp speed.
// - Every stop that fails is sent once more (SendStop), unless the port is closed.
// - Between looks at the queue the loops wait for input for at most a few milliseconds (and
//   never past the next speed step or the key's repeat deadline), instead of spinning a core
//   for the whole hold.
//
// Operations (holds return 1 when the movement was started and stopped without error, else 0):
//   HoldButtonPanTilt, HoldButtonPanTiltAccelerated   a pan/tilt arrow button.
//   HoldKeyPanTilt, HoldKeyPanTiltAccelerated         an arrow key.
//   HoldKeyZoom                                        numeric-keypad plus (tele), minus (wide).
//   WaitForMouseRelease   the button holds of focus and zoom, whose commands the caller sends.
//   MouseReleased, KeyReleased   remove at most one message of their range; 1 for the release.
//   SendStop              a stop, sent again once when it failed and the port is open.
//   SendRampSpeed, SendConfiguredSpeeds, RestoreConfiguredSpeeds, RestoreSpeedsAfterFailure,
//   StopAcceleratedPanTilt  the pan/tilt speeds of accelerated movements and their way back.
//   KeyRepeatAllowanceMs  how long a key hold waits for the next auto-repeat.
//   PanTiltStartCommand   the start command for a pair of direction keys (-1: no movement).
#pragma once

#include <windows.h>

#include "link/camera_driver.h"

const int NO_DIRECTION = -1;

struct PanTiltSpeed
{
    int pan;
    int tilt;
};
const int RAMP_STEPS = 3;
extern const PanTiltSpeed RampSpeedTable[RAMP_STEPS]; // {5, 5}, {23, 23}, {64, 23}

typedef ResultCode (*StartCommand)(CameraDriver* driver);
typedef ResultCode (*StopCommand)(CameraDriver* driver);

// 0 when both keys are NO_DIRECTION.
StartCommand PanTiltStartCommand(int horizontalKey, int verticalKey);

int HoldButtonPanTilt(HWND button, int horizontalKey, int verticalKey, CameraDriver* driver);
int HoldButtonPanTiltAccelerated(HWND button, int horizontalKey, int verticalKey,
                                 CameraDriver* driver);
int HoldKeyPanTilt(HWND window, int key, CameraDriver* driver);
int HoldKeyPanTiltAccelerated(HWND window, int key, CameraDriver* driver);
int HoldKeyZoom(HWND window, int key, CameraDriver* driver);
int WaitForMouseRelease(HWND button);
int MouseReleased();
int KeyReleased();
// Sends a stop command, and once more when it failed on an open port: a stop refused or lost
// leaves the camera moving.
ResultCode SendStop(CameraDriver* driver, StopCommand stop);

// Sends step 0..2 of RampSpeedTable, noting that the camera may now hold a ramp speed.
ResultCode SendRampSpeed(CameraDriver* driver, int step);
// Sends the camera settings' panSpeed and tiltSpeed; on success the note is cleared.
ResultCode SendConfiguredSpeeds(CameraDriver* driver);
// Stops an accelerated pan/tilt and puts the configured speeds back (at once, or after a
// failed stop as RestoreSpeedsAfterFailure says); 1 when the stop and the speeds succeeded.
int StopAcceleratedPanTilt(CameraDriver* driver);
// SendConfiguredSpeeds if a ramp speed may be in the camera, else RESULT_OK without a frame.
ResultCode RestoreConfiguredSpeeds(CameraDriver* driver);
// After a failed command of an accelerated movement: restores the configured speeds now if the
// camera still answers; otherwise the next RestoreConfiguredSpeeds does.
void RestoreSpeedsAfterFailure(CameraDriver* driver);

// How long a key hold waits for an auto-repeat of its key before it takes the key as let go,
// from the hold's start (repeatsSeen 0) or from the latest repeat. delaySetting and
// speedSetting are SPI_GETKEYBOARDDELAY (0..3) and SPI_GETKEYBOARDSPEED (0..31); values out of
// range count as the nearest end. Before the first repeat: the repeat delay, (delay + 1) *
// 250 ms, with 250 ms to spare; after it: two repeat periods, at least 250 ms.
DWORD KeyRepeatAllowanceMs(int delaySetting, int speedSetting, int repeatsSeen);
