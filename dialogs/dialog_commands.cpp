// The dialog commands of the system menu.
#include "dialogs/dialog_commands.h"

#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/remote_keys.h"
#include "control/panel_lights.h"
#include "control/panel_window.h"
#include "services/wait_cursor.h"
#include "dialogs/about_box.h"
#include "dialogs/image_control.h"
#include "dialogs/preset_cycle.h"
#include "dialogs/program_options.h"
#include "services/wait_cursor.h"

// Every command below runs its dialog modally inside the system command, where no camera event
// is handled: a motion the remote started is stopped first, or its release would come too late.

void RunProgramOptionsCommand(HWND window)
{
    StopRemoteMotions(window);
    ProgramOptionsRecord options = CurrentProgramOptions();
    if (!ShowProgramOptions(window, &options))
    {
        EndWaitCursor();
        return;
    }
    BeginWaitCursor();
    ApplyProgramOptions(window, &options);
    EndWaitCursor();
}

// OPERATE is switched on for the dialog when it was off; 0 when the camera cannot be made
// ready or refuses, and OPERATE stays off (a port that had to be opened switched it on).
static int TurnOperateOn()
{
    if (operateMode)
        return 1;
    if (!EnsureCameraReady(&cameraDriver))
    {
        operateMode = 0;
        UpdateOperateLight();
        return 0;
    }
    operateMode = 1;
    if (ApplyOperateMode(&cameraDriver) != RESULT_OK)
    {
        operateMode = 0;
        UpdateOperateLight();
        return 0;
    }
    UpdateOperateLight();
    return 1;
}

void RunImageControlCommand(HWND window)
{
    StopRemoteMotions(window);
    if (!TurnOperateOn())
        return;
    CameraDriver* driver = &cameraDriver;
    ImageControlRecord image = {driver->exposureAuto,     driver->whiteBalanceAuto,
                                driver->agcLevel,         driver->shutterLevel,
                                driver->irisLevel,        driver->whiteBalanceLevel,
                                driver};
    if (ShowImageControl(window, &image))
    {
        driver->exposureAuto = image.exposureAuto;
        driver->whiteBalanceAuto = image.whiteBalanceAuto;
    }
    driver->agcLevel = image.agcLevel;
    driver->shutterLevel = image.shutterLevel;
    driver->irisLevel = image.irisLevel;
    driver->whiteBalanceLevel = image.whiteBalanceLevel;
    UpdateOperateLight();
}

void RunPresetCycleCommand(HWND window)
{
    StopRemoteMotions(window);
    CameraDriver* driver = &cameraDriver;
    PresetCycleRecord cycle = {driver->presetCycleCount, driver->presetCycleInterval, 0, 0, 0,
                               driver};
    if (ShowPresetCycle(window, &cycle))
    {
        driver->presetCycleCount = cycle.cyclesToRun;
        driver->presetCycleInterval = cycle.intervalIndex;
    }
}

void RunAboutCommand(HWND window)
{
    StopRemoteMotions(window);
    const uint8_t versions[UNIT_VERSION_COUNT] = {
        cameraDriver.ccuVersion, cameraDriver.headVersion, cameraDriver.panTilterVersion};
    ShowAbout(window, SHORT_TITLE, SOFTWARE_VERSION, versions);
}
