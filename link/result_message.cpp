// The result message box: a thin caller of the text formatting in result_codes.cpp.
#include "link/camera_driver.h"

void ShowResultMessage(CameraDriver* driver, ResultCode code)
{
    char text[RESULT_TEXT_SIZE];
    if (!FormatResultMessage(code, driver->lastResult, text, sizeof text))
        return;
    MessageBoxA(driver->notifyWindow, text, "HLR8", MB_OK);
}
