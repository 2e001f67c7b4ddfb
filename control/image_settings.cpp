// The exposure and white balance settings sent to the camera.
#include "control/image_settings.h"

#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"

const int WHITE_BALANCE_AUTO_MODE = 0;
const int WHITE_BALANCE_MANUAL_MODE = 1;

// The command of each level, in the order of ImageLevel.
static ResultCode (*const LEVEL_COMMANDS[])(CameraDriver* driver, int value) = {
    SetAgcGain, SetShutterSpeed, SetIris, SetWhiteBalanceLevel};

void SendImageLevel(CameraDriver* driver, ImageLevel level, int value)
{
    if (EnsureCameraReady(driver))
        LEVEL_COMMANDS[level](driver, value);
}

void SendExposureMode(CameraDriver* driver, int automatic)
{
    if (EnsureCameraReady(driver))
        SetExposureAuto(driver, automatic);
}

void SendWhiteBalanceMode(CameraDriver* driver, int automatic, int manualLevel)
{
    if (!EnsureCameraReady(driver))
        return;
    if (automatic)
        SetWhiteBalanceMode(driver, WHITE_BALANCE_AUTO_MODE);
    else if (SetWhiteBalanceMode(driver, WHITE_BALANCE_MANUAL_MODE) == RESULT_OK)
        SetWhiteBalanceLevel(driver, manualLevel);
}

int ReadExposureLevels(CameraDriver* driver, int* agc, int* shutter, int* iris)
{
    if (!EnsureCameraReady(driver))
        return 0;
    QueryExposureState(driver, 0, 0, agc, shutter, iris);
    return 1;
}
