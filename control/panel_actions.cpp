// The operator's actions by panel button, and the buttons and keys that run them.
#include "control/panel_actions.h"

#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/panel_lights.h"
#include "control/panel_window.h"
#include "control/press_and_hold.h"
#include "control/remote_keys.h"
#include "panel/panel_button.h"
#include "panel/panel_layout.h"
#include "services/settings_file.h"
#include "services/wait_cursor.h"

int SwappedHorizontal(int key)
{
    if (!workingFlags.panReversed)
        return key;
    return key == VK_LEFT ? VK_RIGHT : key == VK_RIGHT ? VK_LEFT : key;
}

int StartButtonPanTilt(HWND button, int horizontalKey, int verticalKey, CameraDriver* driver)
{
    horizontalKey = SwappedHorizontal(horizontalKey);
    if (workingFlags.acceleratedSpeed)
        return HoldButtonPanTiltAccelerated(button, horizontalKey, verticalKey, driver);
    return HoldButtonPanTilt(button, horizontalKey, verticalKey, driver);
}

int StartKeyPanTilt(HWND window, int key, CameraDriver* driver)
{
    key = SwappedHorizontal(key);
    if (workingFlags.acceleratedSpeed)
        return HoldKeyPanTiltAccelerated(window, key, driver);
    return HoldKeyPanTilt(window, key, driver);
}

// --- Click actions ---

static int CameraReady(const ActionCall* call)
{
    return call->cameraReady || EnsureCameraReady(call->driver);
}

// The camera is made ready only when the focus mode is to change.
static void SetFocusMode(const ActionCall* call, int automatic)
{
    CameraDriver* driver = call->driver;
    if (cameraSettings.autoFocus == automatic || !CameraReady(call))
        return;
    ResultCode result = automatic ? FocusAuto(driver) : FocusManual(driver);
    if (result == RESULT_OK)
        cameraSettings.autoFocus = automatic;
}

static void FocusAutoAction(const ActionCall* call)
{
    SetFocusMode(call, 1);
}

static void FocusManualAction(const ActionCall* call)
{
    SetFocusMode(call, 0);
}

static void StoreModeAction(const ActionCall*)
{
    presetStoreMode = !presetStoreMode;
}

static void OperateAction(const ActionCall* call)
{
    ToggleOperateMode(call->driver);
}

// Store mode ends only when the store succeeded: a press after a failed store stores again
// instead of recalling a preset, which would move the camera unasked.
static void PresetAction(const ActionCall* call)
{
    CameraDriver* driver = call->driver;
    int preset = call->id - ID_PRESET_1 + 1;
    if (!CameraReady(call))
        return;
    if (presetStoreMode)
    {
        if (StorePreset(driver, preset) == RESULT_OK)
            presetStoreMode = 0;
        return;
    }
    BeginWaitCursor();
    RecallPreset(driver, &cameraSettings, preset);
    EndWaitCursor();
}

static void PanReverseAction(const ActionCall*)
{
    workingFlags.panReversed = !workingFlags.panReversed;
}

static void BrightAction(const ActionCall* call)
{
    if (CameraReady(call))
        StepBrightness(call->driver);
}

static void HomeAction(const ActionCall* call)
{
    if (CameraReady(call))
        HomePanTilter(call->driver);
}

static void CameraAction(const ActionCall* call)
{
    SetButtonState(panelButtons[call->id], BUTTON_UP);
    OpenCamera(call->window, call->id - ID_CAMERA_1, settingsImage.baudRate, 0);
}

// --- The table ---

const PanelAction PANEL_ACTIONS[PANEL_BUTTON_COUNT] = {
    {ID_FOCUS_AUTO, ACTION_CLICK, 0, FocusAutoAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_FOCUS_MANUAL, ACTION_CLICK, 0, FocusManualAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_FOCUS_NEAR, ACTION_FOCUS, 0, 0, FocusNearStart, FocusStop, NO_DIRECTION, NO_DIRECTION},
    {ID_FOCUS_FAR, ACTION_FOCUS, 0, 0, FocusFarStart, FocusStop, NO_DIRECTION, NO_DIRECTION},
    {ID_PRESET, ACTION_CLICK, 0, StoreModeAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_OPERATE, ACTION_CLICK, 1, OperateAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_PRESET_1, ACTION_CLICK, 0, PresetAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_PRESET_2, ACTION_CLICK, 0, PresetAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_PRESET_3, ACTION_CLICK, 0, PresetAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_PRESET_4, ACTION_CLICK, 0, PresetAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_PRESET_5, ACTION_CLICK, 0, PresetAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_PRESET_6, ACTION_CLICK, 0, PresetAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_ZOOM_WIDE, ACTION_ZOOM, 0, 0, ZoomWideStart, ZoomStop, NO_DIRECTION, NO_DIRECTION},
    {ID_ZOOM_TELE, ACTION_ZOOM, 0, 0, ZoomTeleStart, ZoomStop, NO_DIRECTION, NO_DIRECTION},
    {ID_PAN_REVERSE, ACTION_CLICK, 0, PanReverseAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_BRIGHT, ACTION_CLICK, 0, BrightAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_PAN_LEFT, ACTION_PAN_TILT, 0, 0, 0, 0, VK_LEFT, NO_DIRECTION},
    {ID_TILT_UP, ACTION_PAN_TILT, 0, 0, 0, 0, NO_DIRECTION, VK_UP},
    {ID_HOME, ACTION_CLICK, 0, HomeAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_TILT_DOWN, ACTION_PAN_TILT, 0, 0, 0, 0, NO_DIRECTION, VK_DOWN},
    {ID_PAN_RIGHT, ACTION_PAN_TILT, 0, 0, 0, 0, VK_RIGHT, NO_DIRECTION},
    {ID_UP_LEFT, ACTION_PAN_TILT, 0, 0, 0, 0, VK_LEFT, VK_UP},
    {ID_DOWN_LEFT, ACTION_PAN_TILT, 0, 0, 0, 0, VK_LEFT, VK_DOWN},
    {ID_UP_RIGHT, ACTION_PAN_TILT, 0, 0, 0, 0, VK_RIGHT, VK_UP},
    {ID_DOWN_RIGHT, ACTION_PAN_TILT, 0, 0, 0, 0, VK_RIGHT, VK_DOWN},
    {ID_CAMERA_1, ACTION_CLICK, 1, CameraAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_CAMERA_2, ACTION_CLICK, 1, CameraAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_CAMERA_3, ACTION_CLICK, 1, CameraAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
    {ID_CAMERA_4, ACTION_CLICK, 1, CameraAction, 0, 0, NO_DIRECTION, NO_DIRECTION},
};

// The console's keys and the buttons they stand for.
struct ActionKey
{
    WPARAM key;
    int button;
};

static const ActionKey ACTION_KEYS[] = {
    {VK_HOME, ID_HOME},          {VK_LEFT, ID_PAN_LEFT},  {VK_UP, ID_TILT_UP},
    {VK_RIGHT, ID_PAN_RIGHT},    {VK_DOWN, ID_TILT_DOWN}, {VK_ADD, ID_ZOOM_TELE},
    {VK_SUBTRACT, ID_ZOOM_WIDE},
};

int ActionAllowed(int id)
{
    return operateMode || (id >= 0 && id < PANEL_BUTTON_COUNT && PANEL_ACTIONS[id].alwaysActive);
}

void RunClickAction(HWND window, int id, CameraDriver* driver, int cameraReady)
{
    ActionCall call = {window, id, driver, cameraReady};
    if (PANEL_ACTIONS[id].click)
        PANEL_ACTIONS[id].click(&call);
}

StartCommand ActionStartCommand(const PanelAction* action)
{
    if (action->kind == ACTION_PAN_TILT)
        return PanTiltStartCommand(action->horizontalKey, action->verticalKey);
    return action->start;
}

// --- Buttons ---

// NEAR and FAR: the focus moves while the button is held; the button comes up before the stop.
static void HoldFocus(HWND button, CameraDriver* driver, const PanelAction* action)
{
    if (!EnsureCameraReady(driver) || action->start(driver) != RESULT_OK)
        return;
    cameraSettings.autoFocus = 0;
    WaitForMouseRelease(button);
    SetButtonState(button, BUTTON_UP);
    SendStop(driver, action->stop);
}

// WIDE and TELE: a failed stop leaves the button drawn pressed, a sign that the zoom may run.
static void HoldZoom(HWND button, CameraDriver* driver, const PanelAction* action)
{
    if (!EnsureCameraReady(driver) || action->start(driver) != RESULT_OK)
        return;
    WaitForMouseRelease(button);
    if (SendStop(driver, action->stop) == RESULT_OK)
        SetButtonState(button, BUTTON_UP);
}

static void PressButton(HWND window, int id)
{
    const PanelAction* action = &PANEL_ACTIONS[id];
    CameraDriver* driver = &cameraDriver;
    HWND button = panelButtons[id];
    switch (action->kind)
    {
    case ACTION_CLICK:
        TrackButtonRelease(button);
        RunClickAction(window, id, driver, 0);
        break;
    case ACTION_PAN_TILT:
        StartButtonPanTilt(button, action->horizontalKey, action->verticalKey, driver);
        SetButtonState(button, BUTTON_UP);
        break;
    case ACTION_ZOOM:
        HoldZoom(button, driver, action);
        break;
    case ACTION_FOCUS:
        HoldFocus(button, driver, action);
        break;
    default:
        break;
    }
}

int HandlePanelCommand(HWND window, WPARAM controlId, LPARAM action)
{
    int id = LOWORD(controlId);
    if (id >= PANEL_BUTTON_COUNT || !ActionAllowed(id))
        return 0;
    if (action == BN_PANEL_PRESSED)
        PressButton(window, id);
    UpdateOperateLight();
    return 1;
}

// --- Keys ---

int ActionKeyButton(WPARAM key)
{
    for (const ActionKey& actionKey : ACTION_KEYS)
        if (actionKey.key == key)
            return actionKey.button;
    return -1;
}

void HandleKeyDown(HWND window, WPARAM key)
{
    int id = ActionKeyButton(key);
    if (id < 0 || !ActionAllowed(id))
        return;
    CameraDriver* driver = &cameraDriver;
    switch (PANEL_ACTIONS[id].kind)
    {
    case ACTION_CLICK:
        RunClickAction(window, id, driver, 1); // at once: a failure shows through the link status
        break;
    case ACTION_PAN_TILT:
        StartKeyPanTilt(window, (int)key, driver);
        break;
    case ACTION_ZOOM:
        HoldKeyZoom(window, (int)key, driver);
        break;
    default:
        break;
    }
}

// --- Brightness ---

int NextBrightnessLevel(int level)
{
    if (level < 72)
        return 72;
    if (level < 96)
        return 96;
    if (level < 144)
        return 144;
    return 72;
}

ResultCode StepBrightness(CameraDriver* driver)
{
    if (cameraSettings.exposureAuto == 0)
    {
        if (SetExposureAuto(driver, 1) != RESULT_OK)
            return LinkLastResult(driver);
        cameraSettings.exposureAuto = 1;
    }
    uint16_t level = 0;
    ResultCode result = QueryBrightness(driver, &level);
    if (result != RESULT_OK)
        return result;
    return SetBrightness(driver, NextBrightnessLevel(level));
}
