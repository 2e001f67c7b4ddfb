// The camera settings the program keeps, and their values at every opening of the port.
#include "commands/camera_settings.h"

#include "services/speed_limits.h"

void ResetCameraSettings(CameraSettingsRecord* settings)
{
    settings->irRemoteEnabled = 1;
    settings->whiteBalanceAuto = 1;
    settings->exposureAuto = 1;
    settings->autoFocus = 1;
    settings->agcLevel = 0;
    settings->shutterLevel = 0;
    settings->irisLevel = 0;
    settings->whiteBalanceLevel = 128;
    settings->panSpeed = DEFAULT_PAN_TILT_SPEED;
    settings->tiltSpeed = DEFAULT_PAN_TILT_SPEED;
    settings->zoomSpeed = DEFAULT_ZOOM_SPEED;
    settings->presetCycleCount = 100;
    settings->presetCycleInterval = 0;
    settings->ccuVersion = 0;
    settings->headVersion = 0;
    settings->panTilterVersion = 0;
}
