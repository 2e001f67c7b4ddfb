// The error report: the "HLR8" and "Error" message boxes, and result texts shown in the first.
#include "control/error_report.h"

#include <stdarg.h>

#include "control/control_state.h"
#include "control/panel_window.h"

static const char REPORT_CAPTION[] = "HLR8";
static const char ERROR_BOX_CAPTION[] = "Error";

// Formats the text and shows it in a box. wvsprintfA writes at most 1024 characters whatever
// the buffer: format into one that size and cut the text to what a box shows.
static void ShowFormattedBox(HWND owner, const char* caption, UINT style, const char* format,
                             va_list arguments)
{
    char formatted[1025];
    char text[MESSAGE_TEXT_SIZE];
    wvsprintfA(formatted, format, arguments);
    lstrcpynA(text, formatted, MESSAGE_TEXT_SIZE);
    MessageBoxA(owner, text, caption, style);
}

void ReportError(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    ShowFormattedBox(mainWindow, REPORT_CAPTION, MB_OK, format, arguments);
    va_end(arguments);
    ReleasePressedButtons();
}

void ShowErrorBox(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    ShowFormattedBox(0, ERROR_BOX_CAPTION, MB_OK | MB_TASKMODAL, format, arguments);
    va_end(arguments);
}

void ShowResultMessage(CameraDriver* driver, ResultCode code)
{
    char text[RESULT_TEXT_SIZE];
    if (!FormatResultMessage(code, LinkLastResult(driver), text, sizeof text))
        return;
    ReportError("%s", text);
}
