// The panel's buttons and the keyboard.
#include "control/panel_actions.h"

#include "app/settings_file.h"
#include "app/wait_cursor.h"
#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/panel_status.h"
#include "control/press_and_hold.h"
#include "control/remote_keys.h"
#include "panel/panel_button.h"
#include "panel/panel_layout.h"

static int SwappedHorizontal(int key)
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

// --- Button actions ---

static void SetFocusMode(CameraDriver* driver, int automatic)
{
    if (driver->autoFocus == automatic || !EnsureCameraReady(driver))
        return;
    ResultCode result = automatic ? FocusAuto(driver) : FocusManual(driver);
    if (result == RESULT_OK)
        driver->autoFocus = automatic;
}

// NEAR and FAR: the focus moves while the button is held; the button comes up before the stop.
static void HoldFocus(HWND button, CameraDriver* driver, StartCommand start)
{
    if (!EnsureCameraReady(driver) || start(driver) != RESULT_OK)
        return;
    driver->autoFocus = 0;
    WaitForMouseRelease(button);
    SetButtonState(button, BUTTON_UP);
    SendStop(driver, FocusStop);
}

// WIDE and TELE: a failed stop leaves the button drawn pressed, a sign that the zoom may run.
static void HoldZoom(HWND button, CameraDriver* driver, StartCommand start)
{
    if (!EnsureCameraReady(driver) || start(driver) != RESULT_OK)
        return;
    WaitForMouseRelease(button);
    if (SendStop(driver, ZoomStop) == RESULT_OK)
        SetButtonState(button, BUTTON_UP);
}

static void PresetButton(CameraDriver* driver, int preset)
{
    if (!EnsureCameraReady(driver))
        return;
    if (presetStoreMode)
    {
        if (StorePreset(driver, preset) == RESULT_OK)
            presetStoreMode = 0; // a failed store leaves store mode on for a retry
        return;
    }
    BeginWaitCursor();
    RecallPreset(driver, preset);
    EndWaitCursor();
}

struct ArrowButton
{
    int id;
    int horizontalKey;
    int verticalKey;
};

static const ArrowButton ARROW_BUTTONS[] = {
    {ID_PAN_LEFT, VK_LEFT, NO_DIRECTION},  {ID_TILT_UP, NO_DIRECTION, VK_UP},
    {ID_TILT_DOWN, NO_DIRECTION, VK_DOWN}, {ID_PAN_RIGHT, VK_RIGHT, NO_DIRECTION},
    {ID_UP_LEFT, VK_LEFT, VK_UP},          {ID_DOWN_LEFT, VK_LEFT, VK_DOWN},
    {ID_UP_RIGHT, VK_RIGHT, VK_UP},        {ID_DOWN_RIGHT, VK_RIGHT, VK_DOWN},
};

static int HoldArrowButton(HWND button, int id, CameraDriver* driver)
{
    for (const ArrowButton& arrow : ARROW_BUTTONS)
    {
        if (arrow.id == id)
        {
            StartButtonPanTilt(button, arrow.horizontalKey, arrow.verticalKey, driver);
            SetButtonState(button, BUTTON_UP);
            return 1;
        }
    }
    return 0;
}

// Buttons that act once the mouse button is up again.
static void ClickButton(HWND window, HWND button, int id, CameraDriver* driver)
{
    TrackButtonRelease(button);
    if (id >= ID_PRESET_1 && id <= ID_PRESET_6)
    {
        PresetButton(driver, id - ID_PRESET_1 + 1);
        return;
    }
    if (id >= ID_CAMERA_1 && id <= ID_CAMERA_4)
    {
        SetButtonState(button, BUTTON_UP);
        OpenCamera(window, id - ID_CAMERA_1, settingsImage.baudRate, 0);
        return;
    }
    switch (id)
    {
    case ID_FOCUS_AUTO:
        SetFocusMode(driver, 1);
        break;
    case ID_FOCUS_MANUAL:
        SetFocusMode(driver, 0);
        break;
    case ID_PRESET:
        presetStoreMode = !presetStoreMode;
        break;
    case ID_OPERATE:
        ToggleOperateMode(driver);
        break;
    case ID_PAN_REVERSE:
        workingFlags.panReversed = !workingFlags.panReversed;
        break;
    case ID_BRIGHT:
        if (EnsureCameraReady(driver))
            StepBrightness(driver);
        break;
    case ID_HOME:
        if (EnsureCameraReady(driver))
            HomePanTilter(driver);
        break;
    }
}

static void PressButton(HWND window, int id)
{
    CameraDriver* driver = &cameraDriver;
    HWND button = panelButtons[id];
    switch (id)
    {
    case ID_FOCUS_NEAR:
        HoldFocus(button, driver, FocusNearStart);
        return;
    case ID_FOCUS_FAR:
        HoldFocus(button, driver, FocusFarStart);
        return;
    case ID_ZOOM_WIDE:
        HoldZoom(button, driver, ZoomWideStart);
        return;
    case ID_ZOOM_TELE:
        HoldZoom(button, driver, ZoomTeleStart);
        return;
    }
    if (!HoldArrowButton(button, id, driver))
        ClickButton(window, button, id, driver);
}

int HandlePanelCommand(HWND window, WPARAM controlId, LPARAM action)
{
    int id = LOWORD(controlId);
    int alwaysActive = id == ID_OPERATE || (id >= ID_CAMERA_1 && id <= ID_CAMERA_4);
    if ((!operateMode && !alwaysActive) || id >= PANEL_BUTTON_COUNT)
        return 0;
    if (action == BN_PANEL_PRESSED)
        PressButton(window, id);
    UpdateOperateLight();
    return 1;
}

void HandleKeyDown(HWND window, WPARAM key)
{
    if (!operateMode)
        return;
    CameraDriver* driver = &cameraDriver;
    switch (key)
    {
    case VK_HOME:
        HomePanTilter(driver); // at once: a failure shows through the link status
        break;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
        StartKeyPanTilt(window, (int)key, driver);
        break;
    case VK_ADD:
    case VK_SUBTRACT:
        HoldKeyZoom(window, (int)key, driver);
        break;
    }
}
