// Press-and-hold movements and their release detection.
#include "control/press_and_hold.h"

#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "services/speed_limits.h"

const PanTiltSpeed RampSpeedTable[RAMP_STEPS] = {{5, 5}, {23, 23}, {64, 23}};

const DWORD INPUT_WAIT_MS = 5;        // longest wait for input between two looks at the queue
const UINT KEY_MESSAGES_LAST = 0x108; // WM_KEYFIRST..0x108: WM_UNICHAR (0x109) is not ours
const int KEY_MESSAGES_PER_LOOK = 64; // bounds one look at the queue under a flood of keys
const int QUEUE_LIMIT = 10000;        // the most messages a thread's queue holds on Windows

// Keyboard repeat settings as SystemParametersInfo reports them, and what they stand for.
const int KEYBOARD_DELAY_MAX = 3;  // 0..3: about 250..1000 ms before the first repeat
const int KEYBOARD_SPEED_MAX = 31; // 0..31: about 2.5..30 repeats a second
const DWORD REPEAT_DELAY_STEP_MS = 250;
const DWORD REPEAT_DELAY_MARGIN_MS = 250; // X's own delay (660 ms) is longer than Wine reports
const DWORD REPEAT_GAP_MIN_MS = 250;
const int DEFAULT_KEYBOARD_DELAY = 1;
const int DEFAULT_KEYBOARD_SPEED = 31;
const DWORD KEY_PRESS_AGE_MAX_MS = 2000; // an older message time is not this key press's

static int rampSpeedMayBeSet; // a ramp speed may be in the camera instead of the configured one

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

static int Clamp(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

DWORD KeyRepeatAllowanceMs(int delaySetting, int speedSetting, int repeatsSeen)
{
    if (repeatsSeen == 0)
        return (DWORD)(Clamp(delaySetting, 0, KEYBOARD_DELAY_MAX) + 1) * REPEAT_DELAY_STEP_MS +
               REPEAT_DELAY_MARGIN_MS;
    // 2.5 + speed * 27.5 / 31 repeats a second, as a period in ms.
    int speed = Clamp(speedSetting, 0, KEYBOARD_SPEED_MAX);
    DWORD twoPeriods = 2 * (62000 / (155 + 55 * (DWORD)speed));
    return twoPeriods > REPEAT_GAP_MIN_MS ? twoPeriods : REPEAT_GAP_MIN_MS;
}

static int KeyboardSetting(UINT action, int fallback)
{
    DWORD value = 0; // SPI_GETKEYBOARDDELAY writes an int, SPI_GETKEYBOARDSPEED a DWORD
    if (!SystemParametersInfoA(action, 0, &value, 0))
        return fallback;
    return (int)value;
}

// What lets go of a hold: a button, or a key on a window. A key hold also watches the key's
// auto-repeat: where the key-up and the key state never reach us (under X without a window
// manager, the key released with the pointer over another window), the repeats stopping is
// the only sign left that the operator let go.
struct HoldRelease
{
    HWND window;         // the button (button holds) or the main window (key holds)
    int key;             // the held key, or 0 for a button hold
    DWORD lastKeyDownAt; // when the hold began, then the time of the latest repeat seen
    int repeatsSeen;     // WM_KEYDOWN messages of the held key removed by the hold
    int delaySetting;    // SPI_GETKEYBOARDDELAY
    int speedSetting;    // SPI_GETKEYBOARDSPEED
    int pointerInside;   // the pointer was over the window when the key hold began
    int keysRepeat;      // the keyboard repeats held keys: the repeats are watched
};

// FilterKeys (an accessibility option) may switch the repeat off: held keys then send one
// WM_KEYDOWN, and a watch of their repeats would end every hold.
static int KeyboardRepeats()
{
    FILTERKEYS filter = {sizeof filter, 0, 0, 0, 0, 0};
    if (!SystemParametersInfoA(SPI_GETFILTERKEYS, sizeof filter, &filter, 0))
        return 1;
    return !(filter.dwFlags & FKF_FILTERKEYSON) || filter.iRepeatMSec != 0;
}

static int PointerOver(HWND window)
{
    POINT pointer;
    RECT area;
    return GetCursorPos(&pointer) && GetWindowRect(window, &area) && PtInRect(&area, pointer);
}

// Until the first auto-repeat confirms that the key is held, the pointer leaving the window
// counts as a let-go. Under X without a window manager the keyboard follows the pointer: the
// key-up then goes to another window, and before the first repeat (X waits 660 ms for it)
// nothing else would tell us. On Windows the pointer does not steer the keys, and it only
// ends a hold when it leaves the window within the keyboard's repeat delay (a stop, never a
// runaway); once the key repeats, the pointer no longer counts.
static int PointerLeftBeforeFirstRepeat(const HoldRelease* release)
{
    return release->pointerInside && release->repeatsSeen == 0 && !PointerOver(release->window);
}

// When the key that starts a hold went down: the time its WM_KEYDOWN was queued, which is the
// message being handled. A key-down that waited behind a slow command starts its hold late;
// counting the first repeat's allowance from the press keeps such a hold from running that
// much longer when the key-up never comes. A time from the future or from long ago is not the
// press's (the message was sent, not queued): then it is now.
static DWORD KeyPressedAt()
{
    DWORD now = GetTickCount();
    DWORD queuedAt = (DWORD)GetMessageTime();
    DWORD age = now - queuedAt;
    return (LONG)age < 0 || age > KEY_PRESS_AGE_MAX_MS ? now : queuedAt;
}

static HoldRelease ButtonRelease(HWND button)
{
    HoldRelease release = {button, 0, 0, 0, 0, 0, 0, 0};
    return release;
}

static HoldRelease KeyRelease(HWND window, int key)
{
    HoldRelease release = {window, key, KeyPressedAt(), 0, 0, 0, 0, KeyboardRepeats()};
    release.delaySetting = KeyboardSetting(SPI_GETKEYBOARDDELAY, DEFAULT_KEYBOARD_DELAY);
    release.speedSetting = KeyboardSetting(SPI_GETKEYBOARDSPEED, DEFAULT_KEYBOARD_SPEED);
    release.pointerInside = PointerOver(window);
    return release;
}

static int KeyDown(int key)
{
    return (GetAsyncKeyState(key) & 0x8000) != 0;
}

// The key that moves left or right may be the other arrow (panReversed): either counts.
static int IsHeldKey(int heldKey, int key)
{
    if (heldKey == VK_LEFT || heldKey == VK_RIGHT)
        return key == VK_LEFT || key == VK_RIGHT;
    return key == heldKey;
}

static int HeldKeyDown(int key)
{
    if (key == VK_LEFT || key == VK_RIGHT)
        return KeyDown(VK_LEFT) || KeyDown(VK_RIGHT);
    return KeyDown(key);
}

// A repeat counts from the time it was queued, so that repeats that waited out a slow command
// do not stretch the hold; a time stamp ahead of the clock is taken as now.
static void NoteRepeat(HoldRelease* release, DWORD queuedAt)
{
    DWORD now = GetTickCount();
    DWORD at = (LONG)(now - queuedAt) < 0 ? now : queuedAt;
    if ((LONG)(at - release->lastKeyDownAt) > 0)
        release->lastKeyDownAt = at;
    ++release->repeatsSeen;
}

// Removes the key messages queued for the thread, noting the held key's repeats; 1 at the
// first WM_KEYUP (what follows it stays queued).
static int TakeKeyMessages(HoldRelease* release)
{
    MSG message;
    for (int i = 0; i < KEY_MESSAGES_PER_LOOK; ++i)
    {
        if (!PeekMessageA(&message, 0, WM_KEYFIRST, KEY_MESSAGES_LAST, PM_REMOVE))
            return 0;
        if (message.message == WM_KEYUP)
            return 1;
        if (message.message == WM_KEYDOWN && IsHeldKey(release->key, (int)message.wParam))
            NoteRepeat(release, message.time);
    }
    return 0;
}

// When the key counts as let go if no further repeat comes, in GetTickCount time.
static DWORD RepeatDeadline(const HoldRelease* release)
{
    return release->lastKeyDownAt +
           KeyRepeatAllowanceMs(release->delaySetting, release->speedSetting, release->repeatsSeen);
}

static int RepeatsStopped(const HoldRelease* release)
{
    return release->keysRepeat && (LONG)(GetTickCount() - RepeatDeadline(release)) > 0;
}

// 1 once the operator has let go, in whichever way it shows.
static int LetGo(HoldRelease* release)
{
    if (release->key == 0)
        return MouseReleased() || GetCapture() != release->window;
    HWND focus = GetFocus();
    int hasFocus = focus == release->window || IsChild(release->window, focus);
    return TakeKeyMessages(release) || !hasFocus || !HeldKeyDown(release->key) ||
           RepeatsStopped(release) || PointerLeftBeforeFirstRepeat(release);
}

// A wait for input cut short so that it never sleeps past the repeat deadline of a key hold.
static DWORD WaitBeforeLetGoCheck(const HoldRelease* release, DWORD ms)
{
    if (release->key == 0 || !release->keysRepeat)
        return ms;
    LONG untilDeadline = (LONG)(RepeatDeadline(release) - GetTickCount()) + 1;
    if (untilDeadline <= 0)
        return 0;
    return (DWORD)untilDeadline < ms ? (DWORD)untilDeadline : ms;
}

// When a key hold ends, the key messages still queued go with it: auto-repeats that waited
// behind a slow or failed command would each start a new movement after the operator let go.
static void DiscardQueuedKeys(const HoldRelease* release)
{
    if (release->key == 0)
        return;
    MSG message;
    for (int i = 0; i < QUEUE_LIMIT; ++i) // a stop that timed out twice queues 300 repeats
        if (!PeekMessageA(&message, 0, WM_KEYFIRST, KEY_MESSAGES_LAST, PM_REMOVE))
            return;
}

// A second stop for every failure but a closed port: a stop refused, lost on the line or timed
// out may have left the camera moving, and only the port being closed means nothing can be
// sent at all.
ResultCode SendStop(CameraDriver* driver, StopCommand stop)
{
    ResultCode result = stop(driver);
    if (result != RESULT_OK && PortIsOpen(driver))
        result = stop(driver);
    return result;
}

// --- Speeds left in the camera by the ramp ---

ResultCode SendRampSpeed(CameraDriver* driver, int step)
{
    rampSpeedMayBeSet = 1; // even a failed command may have reached the camera
    return SetPanTiltSpeed(driver, RampSpeedTable[step].pan, RampSpeedTable[step].tilt);
}

ResultCode SendConfiguredSpeeds(CameraDriver* driver)
{
    ResultCode result = SetPanTiltSpeed(driver, cameraSettings.panSpeed, cameraSettings.tiltSpeed);
    if (result == RESULT_OK)
        rampSpeedMayBeSet = 0;
    return result;
}

ResultCode RestoreConfiguredSpeeds(CameraDriver* driver)
{
    return rampSpeedMayBeSet ? SendConfiguredSpeeds(driver) : RESULT_OK;
}

void RestoreSpeedsAfterFailure(CameraDriver* driver)
{
    // A camera that stopped answering would only cost another time-out now; the next
    // movement at the configured speed sends them first instead.
    if (CameraIsReady(driver))
        RestoreConfiguredSpeeds(driver);
}

// --- The holds ---

static void WaitForLetGo(HoldRelease* release)
{
    while (!LetGo(release))
        WaitForInput(WaitBeforeLetGoCheck(release, INPUT_WAIT_MS));
}

int WaitForMouseRelease(HWND button)
{
    SetCapture(button);
    HoldRelease release = ButtonRelease(button);
    WaitForLetGo(&release);
    ReleaseCapture();
    return 1;
}

// What a hold sends before its start command.
enum StartSpeed
{
    SPEED_UNTOUCHED,  // zoom: the pan/tilt speeds do not matter
    SPEED_CONFIGURED, // the configured speeds, if the ramp may have left others in the camera
    SPEED_RAMP_FIRST  // step 0 of the ramp
};

static ResultCode SendStartSpeed(CameraDriver* driver, StartSpeed speed)
{
    if (speed == SPEED_CONFIGURED)
        return RestoreConfiguredSpeeds(driver);
    if (speed == SPEED_RAMP_FIRST)
        return SendRampSpeed(driver, 0);
    return RESULT_OK;
}

// The end of every hold: the capture released, the key messages queued meanwhile gone.
static void EndHold(const HoldRelease* release)
{
    ReleaseCapture();
    DiscardQueuedKeys(release);
}

// Captures the mouse, makes the camera ready and sends the start; 0 (hold ended) when the
// movement did not start.
static int StartHold(const HoldRelease* release, StartCommand start, CameraDriver* driver,
                     StartSpeed speed)
{
    SetCapture(release->window);
    int ready = start && EnsureCameraReady(driver);
    int started = ready && SendStartSpeed(driver, speed) == RESULT_OK && start(driver) == RESULT_OK;
    if (!started)
    {
        if (ready && speed == SPEED_RAMP_FIRST)
            RestoreSpeedsAfterFailure(driver);
        EndHold(release);
    }
    return started;
}

// A movement at the configured speed: start, wait for the let-go, stop.
static int HoldMotion(HoldRelease* release, StartCommand start, StopCommand stop,
                      CameraDriver* driver, StartSpeed speed)
{
    if (!StartHold(release, start, driver, speed))
        return 0;
    WaitForLetGo(release);
    ResultCode stopped = SendStop(driver, stop);
    EndHold(release);
    return stopped == RESULT_OK;
}

// How long the loop may wait for input: never past the moment the next speed step is due
// (the first millisecond after its time).
static DWORD WaitBeforeNextStep(int step, DWORD elapsed)
{
    if (step >= 2)
        return INPUT_WAIT_MS;
    DWORD dueAt = (step == 0 ? RAMP_STEP_1_AFTER_START_MS : RAMP_STEP_2_AFTER_START_MS) + 1;
    DWORD untilDue = dueAt > elapsed ? dueAt - elapsed : 0;
    return untilDue < INPUT_WAIT_MS ? untilDue : INPUT_WAIT_MS;
}

int StopAcceleratedPanTilt(CameraDriver* driver)
{
    if (SendStop(driver, PanTiltStop) != RESULT_OK)
    {
        RestoreSpeedsAfterFailure(driver);
        return 0;
    }
    return SendConfiguredSpeeds(driver) == RESULT_OK;
}

static int HoldPanTiltAccelerated(HoldRelease* release, StartCommand start, CameraDriver* driver)
{
    if (!StartHold(release, start, driver, SPEED_RAMP_FIRST))
        return 0;
    DWORD startedAt = GetTickCount();
    int step = 0;
    int result = 0;
    for (;;)
    {
        DWORD elapsed = GetTickCount() - startedAt;
        int due = step == 0 && elapsed > RAMP_STEP_1_AFTER_START_MS   ? 1
                  : step == 1 && elapsed > RAMP_STEP_2_AFTER_START_MS ? 2
                                                                      : 0;
        if (due)
        {
            step = due;
            if (SendRampSpeed(driver, step) != RESULT_OK)
            {
                StopAcceleratedPanTilt(driver); // the camera is moving: stop it now
                break;
            }
        }
        if (LetGo(release))
        {
            result = StopAcceleratedPanTilt(driver);
            break;
        }
        WaitForInput(WaitBeforeLetGoCheck(release, WaitBeforeNextStep(step, elapsed)));
    }
    EndHold(release);
    return result;
}

int HoldButtonPanTilt(HWND button, int horizontalKey, int verticalKey, CameraDriver* driver)
{
    HoldRelease release = ButtonRelease(button);
    return HoldMotion(&release, PanTiltStartCommand(horizontalKey, verticalKey), PanTiltStop,
                      driver, SPEED_CONFIGURED);
}

int HoldButtonPanTiltAccelerated(HWND button, int horizontalKey, int verticalKey,
                                 CameraDriver* driver)
{
    HoldRelease release = ButtonRelease(button);
    return HoldPanTiltAccelerated(&release, PanTiltStartCommand(horizontalKey, verticalKey),
                                  driver);
}

int HoldKeyPanTilt(HWND window, int key, CameraDriver* driver)
{
    HoldRelease release = KeyRelease(window, key);
    return HoldMotion(&release, ArrowKeyStartCommand(key), PanTiltStop, driver, SPEED_CONFIGURED);
}

int HoldKeyPanTiltAccelerated(HWND window, int key, CameraDriver* driver)
{
    HoldRelease release = KeyRelease(window, key);
    return HoldPanTiltAccelerated(&release, ArrowKeyStartCommand(key), driver);
}

int HoldKeyZoom(HWND window, int key, CameraDriver* driver)
{
    HoldRelease release = KeyRelease(window, key);
    StartCommand start = key == VK_ADD ? ZoomTeleStart : key == VK_SUBTRACT ? ZoomWideStart : 0;
    return HoldMotion(&release, start, ZoomStop, driver, SPEED_UNTOUCHED);
}
