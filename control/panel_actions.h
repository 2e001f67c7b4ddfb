// The operator's actions, one per panel button, and the three ways to them: the 29 buttons,
// the console's keys and the keys of the camera's remote control (remote_keys.h). A key or a
// remote key stands for a panel button and runs that button's action.
//
// Principles of operation:
// - PANEL_ACTIONS holds one row per control id, at the id's index. The row's kind says how the
//   action runs from each way:
//     ACTION_CLICK     acts once: from a button after the mouse button is up again
//                      (TrackButtonRelease), from a remote key on its release, from a key at once.
//     ACTION_PAN_TILT  moves to the row's directions while held: from a button or an arrow key a
//                      hold (press_and_hold.h) after the panReversed swap; from a remote arrow,
//                      unswapped, from its press to its release with the remote ramp.
//     ACTION_ZOOM, ACTION_FOCUS   the row's start command while held, its stop at the end.
// - With OPERATE off only the rows marked alwaysActive (OPERATE, CAMERA 1 to 4) act; a key or
//   remote code without a button counts as unmarked (ActionAllowed).
// - The main window calls HandlePanelCommand and HandleKeyDown with commandBusy set. Only the
//   press (BN_PANEL_PRESSED) acts; movement buttons and keys run a hold that stops the movement
//   when the operator lets go. A release (BN_PANEL_RELEASED), also a stray one after a lost
//   capture, only refreshes the OPERATE light.
// - Click actions that send commands first make the camera ready (EnsureCameraReady) and are
//   skipped when it cannot be, unless the caller has it ready already: the remote makes it
//   ready before each key, and Home from the keyboard is sent at once.
// - OPERATE toggles by one rule from every way (ToggleOperateMode).
// - A preset button stores in store mode, else recalls. Store mode ends only when the store
//   succeeded: after a failed store the next preset press stores again rather than recalling a
//   preset, which would move the camera on air.
// - A focus hold from a button notes manual focus (autoFocus 0); the remote's NEAR and FAR
//   leave autoFocus as it is.
//
// Operations:
//   HandlePanelCommand   a button notification; 0 when the id was refused, else 1.
//   HandleKeyDown        a key pressed while the main window has the focus.
//   ActionAllowed        1 when the action of a control id (or -1: none) may run now.
//   RunClickAction       the action of an ACTION_CLICK row, without the wait for the mouse.
//   ActionStartCommand   the start command of a movement row (pan/tilt: from its directions).
//   StartButtonPanTilt   the hold for a pan/tilt button, after the panReversed swap.
//   StartKeyPanTilt      the hold for an arrow key, after the panReversed swap.
//   SwappedHorizontal    VK_LEFT and VK_RIGHT swapped while panReversed is on.
//   ActionKeyButton      the panel button a console key stands for; -1 for other keys.
//   StepBrightness       BRIGHT: auto exposure on if needed, then the next brightness level.
//   NextBrightnessLevel  72, 96, 144, 72, ... from the level read.
#pragma once

#include <windows.h>

#include "control/press_and_hold.h"
#include "link/camera_driver.h"
#include "panel/panel_layout.h"

enum ActionKind
{
    ACTION_CLICK,
    ACTION_PAN_TILT,
    ACTION_ZOOM,
    ACTION_FOCUS,
    ACTION_KINDS
};

// One run of a click action.
struct ActionCall
{
    HWND window;          // the main window
    int id;               // the button acted for
    CameraDriver* driver; // the camera acted on
    int cameraReady;      // 1: commands go without EnsureCameraReady first
};

typedef void (*ClickAction)(const ActionCall* call);

struct PanelAction
{
    int id;             // the control id, which is the row's index
    ActionKind kind;    // how the action runs
    int alwaysActive;   // acts with OPERATE off too
    ClickAction click;  // ACTION_CLICK: what it does
    StartCommand start; // ACTION_ZOOM, ACTION_FOCUS: the movement
    StopCommand stop;   // ACTION_ZOOM, ACTION_FOCUS: its end
    int horizontalKey;  // ACTION_PAN_TILT: VK_LEFT, VK_RIGHT or NO_DIRECTION, before any swap
    int verticalKey;    // ACTION_PAN_TILT: VK_UP, VK_DOWN or NO_DIRECTION
};

extern const PanelAction PANEL_ACTIONS[PANEL_BUTTON_COUNT];

int HandlePanelCommand(HWND window, WPARAM controlId, LPARAM action);
void HandleKeyDown(HWND window, WPARAM key);
int ActionAllowed(int id);
void RunClickAction(HWND window, int id, CameraDriver* driver, int cameraReady);
StartCommand ActionStartCommand(const PanelAction* action);
int StartButtonPanTilt(HWND button, int horizontalKey, int verticalKey, CameraDriver* driver);
int StartKeyPanTilt(HWND window, int key, CameraDriver* driver);
int SwappedHorizontal(int key);
int ActionKeyButton(WPARAM key); // the button a console key stands for, or -1
ResultCode StepBrightness(CameraDriver* driver);
int NextBrightnessLevel(int level);
