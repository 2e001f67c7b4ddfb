// Camera reports, remote-control keys and the remote ramp.
#include "control/remote_keys.h"

#include "app/settings_file.h"
#include "app/wait_cursor.h"
#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/panel_status.h"
#include "control/press_and_hold.h"
#include "panel/panel_button.h"
#include "panel/panel_layout.h"

int rampStep;
static int rampRunning;       // an accelerated remote arrow is held: its steps are wanted
static DWORD rampStartedAt;   // GetTickCount when its start command succeeded

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
    if (driver->exposureAuto == 0)
    {
        if (SetExposureAuto(driver, 1) != RESULT_OK)
            return driver->lastResult;
        driver->exposureAuto = 1;
    }
    uint16_t level = 0;
    ResultCode result = QueryBrightness(driver, &level);
    if (result != RESULT_OK)
        return result;
    return SetBrightness(driver, NextBrightnessLevel(level));
}

// --- Remote-control keys ---

enum Motion
{
    MOTION_NONE,
    MOTION_PAN_TILT,
    MOTION_ZOOM,
    MOTION_FOCUS,
    MOTION_KINDS
};

typedef void (*KeyAction)(HWND window, CameraDriver* driver, const struct RemoteKey* key);

struct RemoteKey
{
    uint8_t code;
    int button;         // panel button mirrored, or -1
    KeyAction pressed;  // 0: nothing
    KeyAction released; // 0: nothing
    StartCommand start; // the movement of motion keys
    int preset;         // 1..6 for preset keys
    Motion motion;      // what the release stops
};

static void FocusManualKey(HWND, CameraDriver* driver, const RemoteKey*)
{
    if (driver->autoFocus == 1 && FocusManual(driver) == RESULT_OK)
        driver->autoFocus = 0;
}

static void FocusAutoKey(HWND, CameraDriver* driver, const RemoteKey*)
{
    if (driver->autoFocus == 0 && FocusAuto(driver) == RESULT_OK)
        driver->autoFocus = 1;
}

static void HomeKey(HWND, CameraDriver* driver, const RemoteKey*)
{
    HomePanTilter(driver);
}

static void PresetKey(HWND, CameraDriver* driver, const RemoteKey* key)
{
    if (presetStoreMode)
    {
        presetStoreMode = 0; // store mode ends even when the store fails
        StorePreset(driver, key->preset);
        return;
    }
    BeginWaitCursor();
    RecallPreset(driver, key->preset);
    EndWaitCursor();
}

static void OperatePressed(HWND, CameraDriver*, const RemoteKey*)
{
    UpdateOperateLight();
}

static void OperateReleased(HWND, CameraDriver* driver, const RemoteKey*)
{
    ToggleOperateMode(driver); // the same rule as the panel's OPERATE button
    UpdateOperateLight();
}

static void StoreModeKey(HWND, CameraDriver*, const RemoteKey*)
{
    presetStoreMode = !presetStoreMode;
}

static void BrightKey(HWND, CameraDriver* driver, const RemoteKey*)
{
    StepBrightness(driver);
}

static void StartMotion(HWND, CameraDriver* driver, const RemoteKey* key)
{
    key->start(driver);
}

static void StopFocus(HWND, CameraDriver* driver, const RemoteKey*)
{
    SendStop(driver, FocusStop);
}

static void StopZoom(HWND, CameraDriver* driver, const RemoteKey*)
{
    SendStop(driver, ZoomStop);
}

// A ramp speed that a failed accelerated move left in the camera goes back first.
static void StartPanTilt(HWND window, CameraDriver* driver, const RemoteKey* key)
{
    if (!workingFlags.acceleratedSpeed)
    {
        if (RestoreConfiguredSpeeds(driver) == RESULT_OK)
            key->start(driver);
        return;
    }
    rampStep = 0;
    if (SendRampSpeed(driver, 0) != RESULT_OK || key->start(driver) != RESULT_OK)
    {
        RestoreSpeedsAfterFailure(driver);
        return;
    }
    rampRunning = 1;
    rampStartedAt = GetTickCount();
    if (!SetTimer(window, TIMER_RAMP, RAMP_FIRST_MS, 0))
        MessageBeep(0); // the arrow moves at the first step until released
}

// A ramp that is running is ended even if the option was switched off meanwhile.
static void StopPanTilt(HWND window, CameraDriver* driver, const RemoteKey*)
{
    if (!workingFlags.acceleratedSpeed && !rampRunning)
    {
        SendStop(driver, PanTiltStop);
        return;
    }
    KillTimer(window, TIMER_RAMP);
    rampRunning = 0;
    StopAcceleratedPanTilt(driver);
}

static const RemoteKey REMOTE_KEYS[] = {
    {0x00, ID_FOCUS_MANUAL, 0, FocusManualKey, 0, 0, MOTION_NONE},
    {0x01, ID_HOME, 0, HomeKey, 0, 0, MOTION_NONE},
    {0x10, ID_PRESET_1, 0, PresetKey, 0, 1, MOTION_NONE},
    {0x20, ID_PRESET_2, 0, PresetKey, 0, 2, MOTION_NONE},
    {0x30, ID_PRESET_3, 0, PresetKey, 0, 3, MOTION_NONE},
    {0x40, ID_PRESET_4, 0, PresetKey, 0, 4, MOTION_NONE},
    {0x50, ID_PRESET_5, 0, PresetKey, 0, 5, MOTION_NONE},
    {0x60, ID_PRESET_6, 0, PresetKey, 0, 6, MOTION_NONE},
    {0x11, -1, 0, 0, 0, 0, MOTION_NONE},
    {0xA1, -1, 0, 0, 0, 0, MOTION_NONE},
    {REMOTE_KEY_OPERATE, ID_OPERATE, OperatePressed, OperateReleased, 0, 0, MOTION_NONE},
    {0x51, ID_PRESET, 0, StoreModeKey, 0, 0, MOTION_NONE},
    {0x70, ID_FOCUS_AUTO, 0, FocusAutoKey, 0, 0, MOTION_NONE},
    {0x80, ID_FOCUS_NEAR, StartMotion, StopFocus, FocusNearStart, 0, MOTION_FOCUS},
    {0x90, ID_FOCUS_FAR, StartMotion, StopFocus, FocusFarStart, 0, MOTION_FOCUS},
    {0x91, ID_BRIGHT, 0, BrightKey, 0, 0, MOTION_NONE},
    {0xA0, ID_ZOOM_WIDE, StartMotion, StopZoom, ZoomWideStart, 0, MOTION_ZOOM},
    {0xB0, ID_ZOOM_TELE, StartMotion, StopZoom, ZoomTeleStart, 0, MOTION_ZOOM},
    {0xC0, ID_TILT_UP, StartPanTilt, StopPanTilt, TiltUpStart, 0, MOTION_PAN_TILT},
    {0xD0, ID_TILT_DOWN, StartPanTilt, StopPanTilt, TiltDownStart, 0, MOTION_PAN_TILT},
    {0xE0, ID_PAN_LEFT, StartPanTilt, StopPanTilt, PanLeftStart, 0, MOTION_PAN_TILT},
    {0xF0, ID_PAN_RIGHT, StartPanTilt, StopPanTilt, PanRightStart, 0, MOTION_PAN_TILT},
};

// The remote key whose motion runs, per kind of motion, or -1: pressed, release not yet handled.
static int movingKey[MOTION_KINDS] = {-1, -1, -1, -1};

static const RemoteKey* FindRemoteKey(uint8_t code)
{
    if (code > REMOTE_KEY_LAST)
        return 0;
    for (const RemoteKey& key : REMOTE_KEYS)
        if (key.code == code)
            return &key;
    return 0;
}

// The release of a key whose kind of motion runs always stops it: OPERATE or the remote may
// have been switched off while the camera was moving. With nothing of its kind moving there is
// nothing to stop, and an ignored remote stays ignored.
static int StopsRunningMotion(uint8_t code, int pressed)
{
    const RemoteKey* key = FindRemoteKey(code);
    return !pressed && key && key->motion != MOTION_NONE && movingKey[key->motion] >= 0;
}

static void RemoteKeyEvent(HWND window, CameraDriver* driver, uint8_t code, int pressed)
{
    int stopping = StopsRunningMotion(code, pressed);
    if (!driver->irRemoteEnabled && !stopping)
        return;
    if (!operateMode && code != REMOTE_KEY_OPERATE && !stopping)
        return;
    int ready = code == REMOTE_KEY_OPERATE ? EnsureCameraReadyForOperate(driver)
                                           : EnsureCameraReady(driver);
    if (!ready)
        return;
    const RemoteKey* key = FindRemoteKey(code);
    if (!key)
    {
        ReportError("Unknown REMOTE Notification 0x%02X", code);
        return;
    }
    if (key->button >= 0)
        SetButtonState(panelButtons[key->button], pressed ? BUTTON_PRESSED : BUTTON_UP);
    if (key->motion != MOTION_NONE)
        movingKey[key->motion] = pressed ? key->code : -1;
    KeyAction action = pressed ? key->pressed : key->released;
    if (action)
        action(window, driver, key);
}

// --- Dispatch by unit ---

template <int N> static int Ignored(uint8_t command, const uint8_t (&codes)[N])
{
    for (uint8_t code : codes)
        if (code == command)
            return 1;
    return 0;
}

// A frame of length byte N has N + 1 bytes: the length, N - 1 bytes of content (device,
// command, parameters) and the checksum. A ring slot still holds the bytes of an older, longer
// frame after a short one, so every byte is read only once the length byte says it is content.
static int FrameHolds(const uint8_t* frame, int index)
{
    return frame && index < frame[0];
}

const int KEY_STATE_BYTE = 3; // of REMOTE_NOTIFY: nonzero while the key is held
const int KEY_CODE_BYTE = 4;

// An unsolicited report of a unit: not an acknowledgement, not an error report.
static int IsEventFrame(const uint8_t* frame)
{
    return FrameHolds(frame, 2) && !(frame[1] & ACK_FLAG) && (frame[2] & EVENT_FLAG) &&
           !(frame[2] & ERROR_FLAG);
}

// A remote key report long enough to hold the key's state and code.
static int IsRemoteKeyFrame(const uint8_t* frame)
{
    return IsEventFrame(frame) && FrameDevice(frame) == DEVICE_PAN_TILTER &&
           FrameCommand(frame) == REMOTE_NOTIFY && FrameHolds(frame, KEY_CODE_BYTE);
}

void DispatchNotification(HWND window, CameraDriver* driver, const uint8_t* frame)
{
    if (!IsEventFrame(frame))
        return;
    uint8_t command = FrameCommand(frame);
    switch (FrameDevice(frame))
    {
    case DEVICE_CCU:
    {
        static const uint8_t ignored[] = {ERROR_NOTIFY, DISPLAY_NOTIFY};
        if (!Ignored(command, ignored))
            ReportError("Unknown Video Adapter Notification 0x%02X", command);
        break;
    }
    case DEVICE_CAMERA_HEAD:
    {
        static const uint8_t ignored[] = {ERROR_NOTIFY, DISPLAY_NOTIFY, FOCUS_NOTIFY, ZOOM_NOTIFY,
                                          24};
        if (!Ignored(command, ignored))
            ReportError("Unknown Camera Head Notification 0x%02X", command);
        break;
    }
    case DEVICE_PAN_TILTER:
    {
        static const uint8_t ignored[] = {ERROR_NOTIFY, LIMIT_NOTIFY, POWER_NOTIFY};
        if (command == REMOTE_NOTIFY)
        {
            if (IsRemoteKeyFrame(frame)) // a shorter one has no key to act on
                RemoteKeyEvent(window, driver, frame[KEY_CODE_BYTE], frame[KEY_STATE_BYTE] != 0);
        }
        else if (!Ignored(command, ignored))
            ReportError("Unknown Pan/Tilter Notification 0x%02X", command);
        break;
    }
    default:
        break;
    }
}

// --- The remote ramp ---

// The second step is due 2500 ms after the start, as in a held button: the timer runs for
// 2000 ms less the time the first step's command took (at least 1 ms, at most 2000 ms).
static UINT UntilSecondStep()
{
    DWORD dueAt = RAMP_FIRST_MS + RAMP_SECOND_MS;
    DWORD elapsed = GetTickCount() - rampStartedAt;
    if (elapsed >= dueAt)
        return 1;
    return dueAt - elapsed < RAMP_SECOND_MS ? dueAt - elapsed : RAMP_SECOND_MS;
}

void OnRampStep(HWND window)
{
    KillTimer(window, TIMER_RAMP);
    if (!rampRunning)
        return; // queued before the release: the configured speeds are back already
    ++rampStep;
    CameraDriver* driver = &cameraDriver;
    if (rampStep == 1)
    {
        ResultCode result = SendRampSpeed(driver, 1);
        // A remote frame handled inside that command may have ended or restarted the ramp.
        if (result == RESULT_OK && rampRunning && rampStep == 1 &&
            !SetTimer(window, TIMER_RAMP, UntilSecondStep(), 0))
            MessageBeep(0);
    }
    else if (rampStep == 2)
    {
        SendRampSpeed(driver, 2);
    }
}

// --- Releases dropped while the console was busy ---

static int droppedRelease[MOTION_KINDS] = {-1, -1, -1, -1}; // key code per motion, or -1
static int droppedReleasePosted;

void NoteDroppedCameraEvent(HWND window, const uint8_t* frame)
{
    if (!IsRemoteKeyFrame(frame) || frame[KEY_STATE_BYTE] != 0)
        return;
    const RemoteKey* key = FindRemoteKey(frame[KEY_CODE_BYTE]);
    if (!key || key->motion == MOTION_NONE)
        return;
    droppedRelease[key->motion] = key->code;
    if (!droppedReleasePosted && PostMessageA(window, WM_DROPPED_RELEASE, 0, 0))
        droppedReleasePosted = 1;
}

// The release of a motion key, handled as if it had come from the remote.
static void ReleaseMotionKey(HWND window, int code)
{
    CameraDriver* driver = &cameraDriver;
    int gate = driver->eventGate; // a link closed inside an event's handling keeps it shut
    driver->eventGate = 0;        // as for the frame itself: no event inside its handling
    RemoteKeyEvent(window, driver, (uint8_t)code, 0);
    driver->eventGate = gate;
}

// Each running motion is released while it is still marked running, so that its stop passes
// with the remote or OPERATE off; it counts as ended even when the stop could not be sent.
// Dropped releases are settled too: that of a running motion by the same stop, that of a
// motion whose press was dropped as well by nothing, since nothing moves for it (sending it
// could reopen a link being closed).
void StopRemoteMotions(HWND window)
{
    for (int motion = MOTION_PAN_TILT; motion < MOTION_KINDS; ++motion)
    {
        droppedRelease[motion] = -1;
        if (movingKey[motion] < 0)
            continue;
        ReleaseMotionKey(window, movingKey[motion]);
        movingKey[motion] = -1;
    }
}

void SendDroppedStops(HWND window)
{
    droppedReleasePosted = 0;
    if (commandBusy || cameraDriver.eventGate == 0)
        return; // the handler that holds them calls again when it ends
    for (int motion = MOTION_PAN_TILT; motion < MOTION_KINDS; ++motion)
    {
        int code = droppedRelease[motion];
        droppedRelease[motion] = -1;
        if (code >= 0)
            ReleaseMotionKey(window, code);
    }
}
