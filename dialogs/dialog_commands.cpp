// The dialog commands of the system menu.
#include "dialogs/dialog_commands.h"

#include "control/camera_connection.h"
#include "control/control_port.h"
#include "control/control_state.h"
#include "control/panel_lights.h"
#include "control/panel_window.h"
#include "control/remote_keys.h"
#include "dialogs/about_box.h"
#include "dialogs/image_control.h"
#include "dialogs/preset_cycle.h"
#include "dialogs/program_options.h"
#include "services/wait_cursor.h"

// Every command below runs its dialog modally inside the system command, where no camera event
// is handled: a motion the remote or a control client started is stopped first, or its release
// would come too late.

void RunProgramOptionsCommand(HWND window)
{
    StopOutsideMotions(window);
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

void RunImageControlCommand(HWND window)
{
    StopOutsideMotions(window);
    if (!SwitchOperateOn(&cameraDriver))
        return;
    CameraDriver* driver = &cameraDriver;
    ImageControlRecord image = {cameraSettings.exposureAuto,
                                cameraSettings.whiteBalanceAuto,
                                cameraSettings.agcLevel,
                                cameraSettings.shutterLevel,
                                cameraSettings.irisLevel,
                                cameraSettings.whiteBalanceLevel,
                                driver};
    if (ShowImageControl(window, &image))
    {
        cameraSettings.exposureAuto = image.exposureAuto;
        cameraSettings.whiteBalanceAuto = image.whiteBalanceAuto;
    }
    cameraSettings.agcLevel = image.agcLevel;
    cameraSettings.shutterLevel = image.shutterLevel;
    cameraSettings.irisLevel = image.irisLevel;
    cameraSettings.whiteBalanceLevel = image.whiteBalanceLevel;
    UpdateOperateLight();
}

void RunPresetCycleCommand(HWND window)
{
    StopOutsideMotions(window);
    CameraDriver* driver = &cameraDriver;
    PresetCycleRecord cycle = {
        cameraSettings.presetCycleCount, cameraSettings.presetCycleInterval, 0, 0, 0, driver};
    if (ShowPresetCycle(window, &cycle))
    {
        cameraSettings.presetCycleCount = cycle.cyclesToRun;
        cameraSettings.presetCycleInterval = cycle.intervalIndex;
    }
}

void RunAboutCommand(HWND window)
{
    StopOutsideMotions(window);
    const uint8_t versions[UNIT_VERSION_COUNT] = {
        cameraSettings.ccuVersion, cameraSettings.headVersion, cameraSettings.panTilterVersion};
    ShowAbout(window, SHORT_TITLE, SOFTWARE_VERSION, versions);
}
