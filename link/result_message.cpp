// The result message box: the text of a result code, shown through the program's error report
// (a box owned by the main window, captioned "HLR8", after which pressed buttons come up).
#include "link/camera_driver.h"

#include "control/panel_status.h"

void ShowResultMessage(CameraDriver* driver, ResultCode code)
{
    char text[RESULT_TEXT_SIZE];
    if (!FormatResultMessage(code, driver->lastResult, text, sizeof text))
        return;
    ReportError("%s", text);
}
