// The line speed and the camera's speeds applied.
#include "control/speed_settings.h"

#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "services/settings_file.h"

// One axis's speed when it changed: the camera must be ready and accept it before the driver's
// cached value follows; the other axis keeps its cached speed, read once the camera is ready
// (a port reopened on the way resets it). 0 ends the application.
static int SendChangedAxisSpeed(int speed, int tiltAxis)
{
    CameraDriver* driver = &cameraDriver;
    int* cached = tiltAxis ? &cameraSettings.tiltSpeed : &cameraSettings.panSpeed;
    if (speed == *cached)
        return 1;
    if (!EnsureCameraReady(driver))
        return 0;
    int pan = tiltAxis ? cameraSettings.panSpeed : speed;
    int tilt = tiltAxis ? speed : cameraSettings.tiltSpeed;
    if (SetPanTiltSpeed(driver, pan, tilt) != RESULT_OK)
        return 0;
    *cached = speed;
    return 1;
}

void ApplyLineAndSpeeds(HWND window, int baudRate, int panTiltSpeed, int zoomSpeed)
{
    CameraDriver* driver = &cameraDriver;
    // Reopening the link resets the driver's cached values: the speeds below compare against
    // the defaults.
    if (baudRate != settingsImage.baudRate &&
        !OpenCamera(window, settingsImage.comPortIndex, baudRate, 0))
        return;
    // One speed for both axes: tilt first, then pan.
    if (!SendChangedAxisSpeed(panTiltSpeed, 1) || !SendChangedAxisSpeed(panTiltSpeed, 0))
        return;
    if (zoomSpeed != cameraSettings.zoomSpeed)
    {
        if (!EnsureCameraReady(driver) || SetZoomSpeed(driver, zoomSpeed) != RESULT_OK)
            return;
        cameraSettings.zoomSpeed = zoomSpeed;
    }
}
