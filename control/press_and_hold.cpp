// Press-and-hold movements and their release detection.
#include "control/press_and_hold.h"

#include "commands/camera_commands.h"
#include "control/camera_startup.h"

const PanTiltSpeed RampSpeedTable[RAMP_STEPS] = {{5, 5}, {23, 23}, {64, 23}};

const DWORD INPUT_WAIT_MS = 5; // longest wait for input between two looks at the queue
const UINT KEY_MESSAGES_LAST = 0x108; // WM_KEYFIRST..0x108: WM_UNICHAR (0x109) is not ours

StartCommand PanTiltStartCommand(int horizontalKey, int verticalKey)
{
    if (horizontalKey == VK_LEFT)
        return verticalKey == VK_UP     ? PanTiltUpLeftStart
               : verticalKey == VK_DOWN ? PanTiltDownLeftStart
                                        : PanLeftStart;
    if (horizontalKey == VK_RIGHT)
        return verticalKey == VK_UP     ? PanTiltUpRightStart
               : verticalKey == VK_DOWN ? PanTiltDownRightStart
                                        : PanRightStart;
    if (verticalKey == VK_UP)
        return TiltUpStart;
    if (verticalKey == VK_DOWN)
        return TiltDownStart;
    return 0;
}

static StartCommand ArrowKeyStartCommand(int key)
{
    if (key == VK_LEFT || key == VK_RIGHT)
        return PanTiltStartCommand(key, NO_DIRECTION);
    return PanTiltStartCommand(NO_DIRECTION, key);
}

static int RemovedMessageIs(UINT first, UINT last, UINT release)
{
    MSG message;
    if (!PeekMessageA(&message, 0, first, last, PM_REMOVE))
        return 0;
    return message.message == release;
}

int MouseReleased()
{
    return RemovedMessageIs(WM_MOUSEFIRST, WM_MBUTTONDBLCLK, WM_LBUTTONUP);
}

int KeyReleased()
{
    return RemovedMessageIs(WM_KEYFIRST, KEY_MESSAGES_LAST, WM_KEYUP);
}

// Waits until input, a posted or a sent message arrives, or at most ms; dispatches nothing.
// A release may come as input or as a posted message; a sent one may take the capture.
static void WaitForInput(DWORD ms)
{
    MsgWaitForMultipleObjects(0, 0, FALSE, ms, QS_INPUT | QS_POSTMESSAGE | QS_SENDMESSAGE);
}

// What lets go of a hold: a button, or a key on a window.
struct HoldRelease
{
    HWND window; // the button (button holds) or the main window (key holds)
    int key;     // the held key, or 0 for a button hold
};

static int KeyDown(int key)
{
    return (GetAsyncKeyState(key) & 0x8000) != 0;
}

// The key that moves left or right may be the other arrow (panReversed): either counts.
static int HeldKeyDown(int key)
{
    if (key == VK_LEFT || key == VK_RIGHT)
        return KeyDown(VK_LEFT) || KeyDown(VK_RIGHT);
    return KeyDown(key);
}

// 1 once the operator has let go, in whichever way it shows.
static int LetGo(const HoldRelease* release)
{
    if (release->key == 0)
        return MouseReleased() || GetCapture() != release->window;
    HWND focus = GetFocus();
    int hasFocus = focus == release->window || IsChild(release->window, focus);
    return KeyReleased() || !hasFocus || !HeldKeyDown(release->key);
}

ResultCode SendStop(CameraDriver* driver, StopCommand stop)
{
    ResultCode result = stop(driver);
    if (result == RESULT_NAK)
        result = stop(driver);
    return result;
}

static void WaitForLetGo(const HoldRelease* release)
{
    while (!LetGo(release))
        WaitForInput(INPUT_WAIT_MS);
}

int WaitForMouseRelease(HWND button)
{
    SetCapture(button);
    HoldRelease release = {button, 0};
    WaitForLetGo(&release);
    ReleaseCapture();
    return 1;
}

// Captures the mouse, makes the camera ready and sends the start; 0 (capture released) when
// the movement did not start.
static int StartHold(HWND captureWindow, StartCommand start, CameraDriver* driver,
                     const PanTiltSpeed* speed)
{
    SetCapture(captureWindow);
    int started = start && EnsureCameraReady(driver) &&
                  (!speed || SetPanTiltSpeed(driver, speed->pan, speed->tilt) == RESULT_OK) &&
                  start(driver) == RESULT_OK;
    if (!started)
        ReleaseCapture();
    return started;
}

// A movement at the configured speed: start, wait for the let-go, stop.
static int HoldMotion(const HoldRelease* release, StartCommand start, StopCommand stop,
                      CameraDriver* driver)
{
    if (!StartHold(release->window, start, driver, 0))
        return 0;
    WaitForLetGo(release);
    ResultCode stopped = SendStop(driver, stop);
    ReleaseCapture();
    return stopped == RESULT_OK;
}

// How long the loop may wait for input: never past the moment the next speed step is due
// (the first millisecond after its time).
static DWORD WaitBeforeNextStep(int step, DWORD elapsed)
{
    if (step >= 2)
        return INPUT_WAIT_MS;
    DWORD dueAt = (step == 0 ? RAMP_STEP_1_MS : RAMP_STEP_2_MS) + 1;
    DWORD untilDue = dueAt > elapsed ? dueAt - elapsed : 0;
    return untilDue < INPUT_WAIT_MS ? untilDue : INPUT_WAIT_MS;
}

static int HoldPanTiltAccelerated(const HoldRelease* release, StartCommand start,
                                  CameraDriver* driver)
{
    if (!StartHold(release->window, start, driver, &RampSpeedTable[0]))
        return 0;
    DWORD startedAt = GetTickCount();
    int step = 0;
    for (;;)
    {
        DWORD elapsed = GetTickCount() - startedAt;
        int due = step == 0 && elapsed > RAMP_STEP_1_MS ? 1
                  : step == 1 && elapsed > RAMP_STEP_2_MS ? 2
                                                          : 0;
        if (due)
        {
            step = due;
            if (SetPanTiltSpeed(driver, RampSpeedTable[step].pan, RampSpeedTable[step].tilt) !=
                RESULT_OK)
            {
                SendStop(driver, PanTiltStop); // the camera is moving: stop it now
                ReleaseCapture();
                return 0;
            }
        }
        if (LetGo(release))
            break;
        WaitForInput(WaitBeforeNextStep(step, elapsed));
    }
    int result = SendStop(driver, PanTiltStop) == RESULT_OK &&
                 SetPanTiltSpeed(driver, driver->panSpeed, driver->tiltSpeed) == RESULT_OK;
    ReleaseCapture();
    return result;
}

int HoldButtonPanTilt(HWND button, int horizontalKey, int verticalKey, CameraDriver* driver)
{
    HoldRelease release = {button, 0};
    return HoldMotion(&release, PanTiltStartCommand(horizontalKey, verticalKey), PanTiltStop,
                      driver);
}

int HoldButtonPanTiltAccelerated(HWND button, int horizontalKey, int verticalKey,
                                 CameraDriver* driver)
{
    HoldRelease release = {button, 0};
    return HoldPanTiltAccelerated(&release, PanTiltStartCommand(horizontalKey, verticalKey),
                                  driver);
}

int HoldKeyPanTilt(HWND window, int key, CameraDriver* driver)
{
    HoldRelease release = {window, key};
    return HoldMotion(&release, ArrowKeyStartCommand(key), PanTiltStop, driver);
}

int HoldKeyPanTiltAccelerated(HWND window, int key, CameraDriver* driver)
{
    HoldRelease release = {window, key};
    return HoldPanTiltAccelerated(&release, ArrowKeyStartCommand(key), driver);
}

int HoldKeyZoom(HWND window, int key, CameraDriver* driver)
{
    HoldRelease release = {window, key};
    StartCommand start = key == VK_ADD ? ZoomTeleStart : key == VK_SUBTRACT ? ZoomWideStart : 0;
    return HoldMotion(&release, start, ZoomStop, driver);
}
