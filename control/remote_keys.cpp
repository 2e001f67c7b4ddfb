// Camera reports and the keys of the remote control.
#include "control/remote_keys.h"

#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/error_report.h"
#include "control/panel_actions.h"
#include "control/panel_lights.h"
#include "control/panel_window.h"
#include "control/press_and_hold.h"
#include "control/remote_ramp.h"
#include "panel/panel_button.h"
#include "panel/panel_layout.h"
#include "services/settings_file.h"
#include "services/speed_limits.h"
#include "services/wait_cursor.h"
#include "services/window_messages.h"

// --- Remote-control keys ---

// A key of the remote and the panel button it stands for (-1: a key the panel has no use for).
struct RemoteKey
{
    uint8_t code;
    int button;
};

static const RemoteKey REMOTE_KEYS[] = {
    {0x00, ID_FOCUS_MANUAL},
    {0x01, ID_HOME},
    {0x10, ID_PRESET_1},
    {0x20, ID_PRESET_2},
    {0x30, ID_PRESET_3},
    {0x40, ID_PRESET_4},
    {0x50, ID_PRESET_5},
    {0x60, ID_PRESET_6},
    {0x11, -1},
    {0xA1, -1},
    {REMOTE_KEY_OPERATE, ID_OPERATE},
    {0x51, ID_PRESET},
    {0x70, ID_FOCUS_AUTO},
    {0x80, ID_FOCUS_NEAR},
    {0x90, ID_FOCUS_FAR},
    {0x91, ID_BRIGHT},
    {0xA0, ID_ZOOM_WIDE},
    {0xB0, ID_ZOOM_TELE},
    {0xC0, ID_TILT_UP},
    {0xD0, ID_TILT_DOWN},
    {0xE0, ID_PAN_LEFT},
    {0xF0, ID_PAN_RIGHT},
};

// The remote key whose motion runs, per kind of motion (ActionKind), or -1: pressed, release
// not yet handled.
static int movingKey[ACTION_KINDS] = {-1, -1, -1, -1};

static const RemoteKey* FindRemoteKey(uint8_t code)
{
    if (code > REMOTE_KEY_LAST)
        return 0;
    for (const RemoteKey& key : REMOTE_KEYS)
        if (key.code == code)
            return &key;
    return 0;
}

// The kind of motion a key runs; ACTION_CLICK for a key that runs none, or no key at all.
static int KeyMotion(const RemoteKey* key)
{
    return key && key->button >= 0 ? PANEL_ACTIONS[key->button].kind : ACTION_CLICK;
}

// The release of a key whose kind of motion runs always stops it: OPERATE or the remote may
// have been switched off while the camera was moving. With nothing of its kind moving there is
// nothing to stop, and an ignored remote stays ignored.
static int StopsRunningMotion(uint8_t code, int pressed)
{
    int motion = KeyMotion(FindRemoteKey(code));
    return !pressed && motion != ACTION_CLICK && movingKey[motion] >= 0;
}

// A movement button's action as the remote runs it: started by the press, stopped by the
// release; the arrows through the remote ramp.
static void RemoteMotion(HWND window, CameraDriver* driver, const PanelAction* action, int pressed)
{
    if (action->kind == ACTION_PAN_TILT)
    {
        if (pressed)
            StartRemotePanTilt(window, driver, ActionStartCommand(action));
        else
            StopRemotePanTilt(window, driver);
    }
    else if (pressed)
    {
        action->start(driver);
    }
    else
    {
        SendStop(driver, action->stop);
    }
}

static void RemoteKeyEvent(HWND window, CameraDriver* driver, uint8_t code, int pressed)
{
    int stopping = StopsRunningMotion(code, pressed);
    if (!cameraSettings.irRemoteEnabled && !stopping)
        return;
    const RemoteKey* key = FindRemoteKey(code);
    if (!ActionAllowed(key ? key->button : -1) && !stopping)
        return;
    int ready = code == REMOTE_KEY_OPERATE ? EnsureCameraReadyForOperate(driver)
                                           : EnsureCameraReady(driver);
    if (!ready)
        return;
    if (!key)
    {
        ReportError("Unknown REMOTE Notification 0x%02X", code);
        return;
    }
    if (key->button < 0)
        return; // a key the panel has no use for: known, and nothing to do
    const PanelAction* action = &PANEL_ACTIONS[key->button];
    SetButtonState(panelButtons[key->button], pressed ? BUTTON_PRESSED : BUTTON_UP);
    if (action->kind != ACTION_CLICK)
    {
        movingKey[action->kind] = pressed ? key->code : -1;
        RemoteMotion(window, driver, action, pressed);
    }
    else if (!pressed)
    {
        RunClickAction(window, key->button, driver, 1); // made ready above
    }
    // OPERATE's ready step puts back the state shown before any open on the way; the light
    // follows on the press, and on the release after the toggle.
    if (code == REMOTE_KEY_OPERATE)
        UpdateOperateLight();
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

// --- Releases dropped while the console was busy ---

static int droppedRelease[ACTION_KINDS] = {-1, -1, -1, -1}; // key code per motion, or -1
static int droppedReleasePosted;

void NoteDroppedCameraEvent(HWND window, const uint8_t* frame)
{
    if (!IsRemoteKeyFrame(frame) || frame[KEY_STATE_BYTE] != 0)
        return;
    const RemoteKey* key = FindRemoteKey(frame[KEY_CODE_BYTE]);
    int motion = KeyMotion(key);
    if (motion == ACTION_CLICK)
        return;
    droppedRelease[motion] = key->code;
    if (!droppedReleasePosted && PostMessageA(window, WM_DROPPED_RELEASE, 0, 0))
        droppedReleasePosted = 1;
}

// The release of a motion key, handled as if it had come from the remote.
static void ReleaseMotionKey(HWND window, int code)
{
    CameraDriver* driver = &cameraDriver;
    int gate = eventGate; // a link closed inside an event's handling keeps it shut
    eventGate = 0;        // as for the frame itself: no event inside its handling
    RemoteKeyEvent(window, driver, (uint8_t)code, 0);
    eventGate = gate;
}

// Each running motion is released while it is still marked running, so that its stop passes
// with the remote or OPERATE off; it counts as ended even when the stop could not be sent.
// Dropped releases are settled too: that of a running motion by the same stop, that of a
// motion whose press was dropped as well by nothing, since nothing moves for it (sending it
// could reopen a link being closed).
void StopRemoteMotions(HWND window)
{
    for (int motion = ACTION_PAN_TILT; motion < ACTION_KINDS; ++motion)
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
    if (commandBusy || eventGate == 0)
        return; // the handler that holds them calls again when it ends
    for (int motion = ACTION_PAN_TILT; motion < ACTION_KINDS; ++motion)
    {
        int code = droppedRelease[motion];
        droppedRelease[motion] = -1;
        if (code >= 0)
            ReleaseMotionKey(window, code);
    }
}
