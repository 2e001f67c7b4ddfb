// The remote arrows' movement and its speed ramp.
#include "control/remote_ramp.h"

#include "commands/camera_commands.h"
#include "control/control_state.h"
#include "control/remote_keys.h"
#include "services/settings_file.h"
#include "services/speed_limits.h"
#include "services/window_messages.h"

int rampStep;
static int rampRunning;     // an accelerated remote arrow is held: its steps are wanted
static DWORD rampStartedAt; // GetTickCount when its start command succeeded

// A ramp speed that a failed accelerated move left in the camera goes back first.
ResultCode StartRemotePanTilt(HWND window, CameraDriver* driver, StartCommand start)
{
    if (!workingFlags.acceleratedSpeed)
    {
        ResultCode restored = RestoreConfiguredSpeeds(driver);
        return restored == RESULT_OK ? start(driver) : restored;
    }
    rampStep = 0;
    ResultCode result = SendRampSpeed(driver, 0);
    if (result == RESULT_OK)
        result = start(driver);
    if (result != RESULT_OK)
    {
        RestoreSpeedsAfterFailure(driver);
        return result;
    }
    rampRunning = 1;
    rampStartedAt = GetTickCount();
    if (!SetTimer(window, TIMER_RAMP, RAMP_STEP_1_AFTER_START_MS, 0))
        MessageBeep(0); // the arrow moves at the first step until released
    return RESULT_OK;
}

// A ramp that is running is ended even if the option was switched off meanwhile.
void StopRemotePanTilt(HWND window, CameraDriver* driver)
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

// The second step is due 2500 ms after the start, as in a held button: the timer runs for
// 2000 ms less the time the first step's command took (at least 1 ms, at most 2000 ms).
static UINT UntilSecondStep()
{
    DWORD dueAt = RAMP_STEP_2_AFTER_START_MS;
    DWORD elapsed = GetTickCount() - rampStartedAt;
    if (elapsed >= dueAt)
        return 1;
    DWORD longest = RAMP_STEP_2_AFTER_STEP_1_MS;
    return dueAt - elapsed < longest ? dueAt - elapsed : longest;
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
