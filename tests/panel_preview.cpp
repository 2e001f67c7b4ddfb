// Shows the panel in a real window, as the program paints it, for a screenshot: the layout
// tables, the label font, the buttons, the lights and the painter, without the camera.
// Usage: panel_preview.exe large|small [lights]   ("lights": camera 2 green, OPERATE green,
// camera 1 red, a button pressed, so that every look appears in one picture). Runs until the
// window is closed.
#include <windows.h>
#include <string.h>

#include "control/control_state.h"
#include "control/panel_lights.h"
#include "control/panel_window.h"
#include "panel/indicator_light.h"
#include "panel/panel_button.h"
#include "panel/panel_colors.h"
#include "panel/panel_painter.h"
#include "services/settings_file.h"

static LRESULT CALLBACK PreviewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT)
    {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        PaintPanel(window, dc);
        EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_DESTROY)
    {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv)
{
    workingFlags.largeWindow = argc > 1 && strcmp(argv[1], "large") == 0;
    int showLights = argc > 2 && strcmp(argv[2], "lights") == 0;
    HDC screen = GetDC(0);
    highColorDisplay = HighColorForDevice(screen);
    ReleaseDC(0, screen);
    SetupPanelLayout(workingFlags.largeWindow);

    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = PreviewProc;
    windowClass.hInstance = GetModuleHandleA(0);
    windowClass.hCursor = LoadCursorA(0, (LPCSTR)IDC_ARROW);
    windowClass.lpszClassName = "HLR8";
    RegisterClassA(&windowClass);
    // A popup has no frame: under a bare X server the window is exactly the client area.
    HWND window =
        CreateWindowA("HLR8", "HLR8", WS_POPUP | WS_CLIPCHILDREN, 0, 0, panelMetrics.panelWidth,
                      panelMetrics.panelHeight, 0, 0, GetModuleHandleA(0), 0);
    if (!window)
        return 1;
    CreatePanelControls(window);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    if (showLights)
    {
        SetPanelLight(LIGHT_CAMERA_1, LIGHT_RED);
        SetPanelLight(LIGHT_CAMERA_2, LIGHT_GREEN);
        SetPanelLight(LIGHT_OPERATE, LIGHT_GREEN);
        SetButtonState(panelButtons[ID_HOME], BUTTON_PRESSED);
    }
    MSG message;
    while (GetMessageA(&message, 0, 0, 0) > 0)
    {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
