// The camera work of the Image Control dialog: exposure and white balance, each change sent
// to the camera at once, and the exposure levels read back from it.
//
// Principles of operation:
// - Every operation first makes the camera ready (EnsureCameraReady) and sends nothing when it
//   cannot be. Results are not looked at here: a failure shows through the driver's status
//   report and stays in its lastResult.
// - White balance goes manual in two steps: the level is sent only once the camera has taken
//   the manual mode.
//
// Operations:
//   SendImageLevel          one level (AGC gain, shutter speed, iris, white balance) sent.
//   SendExposureMode        automatic or manual exposure sent.
//   SendWhiteBalanceMode    automatic white balance, or manual with its level, sent.
//   ReadExposureLevels      the AGC, shutter and iris levels the camera reports (what its reply
//                           lacks keeps its value); 0 when the camera cannot be made ready.
#pragma once

#include "link/camera_driver.h"

// The four levels of the Image Control dialog's bars.
enum ImageLevel
{
    IMAGE_AGC_GAIN,
    IMAGE_SHUTTER_SPEED,
    IMAGE_IRIS,
    IMAGE_WHITE_BALANCE_LEVEL
};

void SendImageLevel(CameraDriver* driver, ImageLevel level, int value);
void SendExposureMode(CameraDriver* driver, int automatic);
void SendWhiteBalanceMode(CameraDriver* driver, int automatic, int manualLevel);
int ReadExposureLevels(CameraDriver* driver, int* agc, int* shutter, int* iris);
