// Opening, initializing and closing the camera connection.
#include "control/camera_connection.h"

#include "commands/camera_commands.h"
#include "control/control_port.h"
#include "control/control_state.h"
#include "control/error_report.h"
#include "control/panel_lights.h"
#include "control/press_and_hold.h"
#include "control/remote_keys.h"
#include "services/settings_file.h"
#include "services/wait_cursor.h"

int OpenCamera(HWND window, int portIndex, int baudRate, int homeAfterInit)
{
    int outerBusy = commandBusy;
    BeginWaitCursor();
    commandBusy = 1;
    if (linkOpen)
        CloseCamera();

    operateMode = 1;
    presetStoreMode = 0;
    ShowNormalState(); // no port is open here: it also shows the four port lights idle
    if (portIndex >= 0)
        settingsImage.comPortIndex = portIndex;
    if (baudRate >= 0)
        settingsImage.baudRate = baudRate;

    CameraDriver* driver = &cameraDriver;
    ResetCameraControlState(); // each opening of the port starts from the defaults
    if (OpenPort(driver, window, settingsImage.comPortIndex, settingsImage.baudRate) != RESULT_OK)
    {
        // A port opened before a later step failed would stay open with linkOpen clear, and
        // nothing would ever close it; closing keeps lastResult.
        ClosePort(driver);
        ShowErrorState();
        EndWaitCursor();
        commandBusy = outerBusy;
        ShowResultMessage(driver, LinkLastResult(driver));
        return 0;
    }
    linkOpen = 1;

    if (WaitForCts(driver, CTS_WAIT_MS) == RESULT_OK)
    {
        if (InitializeCamera(driver) && homeAfterInit)
            HomePanTilter(driver);
    }
    if (LinkLastResult(driver) != RESULT_OK)
        ShowErrorState();
    else
        ShowNormalState();

    EndWaitCursor();
    UpdateOperateLight();
    // The box is up while commandBusy is still set: a camera event meanwhile is dropped.
    ShowResultMessage(driver, LinkLastResult(driver));
    commandBusy = outerBusy;
    return LinkLastResult(driver) == RESULT_OK;
}

void CloseCameraLink(int pauseAfterClose)
{
    if (!linkOpen)
        return;
    // The release of a motion the remote or a control client started would arrive on a closed
    // port, and the ramp timer would go on setting speeds on the next camera: all end here, on
    // this camera.
    StopOutsideMotions(mainWindow);
    CameraDriver* driver = &cameraDriver;
    if (controlModeSet == 1)
    {
        SelectMode(driver, CCU_MODE_STANDALONE);
        controlModeSet = 0;
        Delay(CLOSE_PAUSE_MS);
    }
    ClosePort(driver);
    linkOpen = 0;
    cameraInitialized = 0;
    if (pauseAfterClose)
        Delay(CLOSE_PAUSE_MS);
}

void CloseCamera()
{
    CloseCameraLink(1);
}

// The steps of the initialization after the CTS check and mode 0, in order; each gives the
// driver's result.
static ResultCode QueryUnitVersions(CameraDriver* driver)
{
    uint8_t versions[VERSION_COUNT] = {cameraSettings.ccuVersion, cameraSettings.headVersion,
                                       cameraSettings.panTilterVersion};
    ResultCode result = QueryVersions(driver, versions);
    // The bytes of the units asked before a failure are written too.
    cameraSettings.ccuVersion = versions[0];
    cameraSettings.headVersion = versions[1];
    cameraSettings.panTilterVersion = versions[2];
    return result;
}

static ResultCode ApplySpeeds(CameraDriver* driver)
{
    ResultCode result = ZoomStop(driver);
    if (result == RESULT_OK)
        result = SetZoomSpeed(driver, cameraSettings.zoomSpeed);
    if (result == RESULT_OK)
        result = SendConfiguredSpeeds(driver); // also ends a ramp speed a failure left behind
    return result;
}

static ResultCode ApplyAutoExposure(CameraDriver* driver)
{
    ResultCode result = SetWhiteBalanceMode(driver, 0);
    if (result == RESULT_OK)
        result = SetExposureParam3(driver, 0);
    if (result == RESULT_OK)
        result = SetExposureAuto(driver, 1);
    if (result == RESULT_OK)
        result = SetExposureParam2(driver, 0, 0);
    if (result == RESULT_OK)
        result = QueryExposureState(driver, 0, 0, &cameraSettings.agcLevel,
                                    &cameraSettings.shutterLevel, &cameraSettings.irisLevel);
    return result;
}

static ResultCode RunInitializationSequence(CameraDriver* driver)
{
    ResultCode result = WaitForCts(driver, 0);
    if (result != RESULT_OK)
        return result;
    result = SelectMode(driver, CCU_MODE_PROGRAM);
    if (result != RESULT_OK)
        return result;
    controlModeSet = 1;
    SetCameraEventsEnabled(driver, 1); // the reader thread posts line changes and event frames now
    result = QueryUnitVersions(driver);
    if (result == RESULT_OK)
        result = ApplySpeeds(driver);
    if (result == RESULT_OK)
        result = ApplyOperateMode(driver);
    if (result == RESULT_OK)
        result = ApplyAutoExposure(driver);
    return result;
}

int InitializeCamera(CameraDriver* driver)
{
    if (cameraInitialized)
        return 1;
    int outerBusy = commandBusy;
    commandBusy = 1;
    if (RunInitializationSequence(driver) != RESULT_OK)
    {
        cameraInitialized = 0;
        commandBusy = outerBusy;
        ShowErrorState(); // the caller shows the message of lastResult
        return 0;
    }
    commandBusy = outerBusy;
    cameraInitialized = 1;
    ShowNormalState();
    return 1;
}

int EnsureCameraReady(CameraDriver* driver)
{
    int outerBusy = commandBusy;
    if (!linkOpen)
    {
        if (!OpenCamera(mainWindow, settingsImage.comPortIndex, settingsImage.baudRate, 0))
        {
            commandBusy = outerBusy;
            return 0;
        }
    }
    else if (!cameraInitialized && !InitializeCamera(driver))
    {
        commandBusy = outerBusy;
        return 0;
    }
    WaitForCts(driver, 0);
    commandBusy = outerBusy;
    return LinkLastResult(driver) == RESULT_OK;
}

int EnsureCameraReadyForOperate(CameraDriver* driver)
{
    int shown = operateMode;
    int ready = EnsureCameraReady(driver);
    operateMode = shown; // an open on the way switched it on; the toggle goes from what was shown
    return ready;
}

int ToggleOperateMode(CameraDriver* driver)
{
    if (!EnsureCameraReadyForOperate(driver))
        return 0;
    operateMode = !operateMode;
    ApplyOperateMode(driver);
    return 1;
}

int SwitchOperateOn(CameraDriver* driver)
{
    if (operateMode)
        return 1;
    int on = EnsureCameraReady(driver);
    operateMode = on;
    if (on && ApplyOperateMode(driver) != RESULT_OK)
        operateMode = on = 0;
    UpdateOperateLight();
    return on;
}

ResultCode ApplyOperateMode(CameraDriver* driver)
{
    int on = operateMode ? 1 : 0;
    cameraSettings.autoFocus = on; // whatever the commands below return
    ResultCode result = SetMute1(driver, !on);
    if (result == RESULT_OK)
        result = SetMute2(driver, !on);
    if (result == RESULT_OK)
        result = on ? FocusAuto(driver) : FocusManual(driver);
    if (result == RESULT_OK)
        result = SetLed(driver, on ? 0 : 3, 1, 0);
    return LinkLastResult(driver);
}

int BringCameraBack(CameraDriver* driver)
{
    if (SelectMode(driver, CCU_MODE_PROGRAM) != RESULT_OK)
        return 0;
    controlModeSet = 1;
    return InitializeCamera(driver);
}
