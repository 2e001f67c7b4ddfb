// The panel's status indication: lights, blinking and the error message boxes.
#include "control/panel_status.h"

#include <stdarg.h>

#include "app/settings_file.h"
#include "control/control_state.h"
#include "panel/indicator_light.h"
#include "panel/panel_button.h"

static const char REPORT_CAPTION[] = "HLR8";
static const char ERROR_BOX_CAPTION[] = "Error";
static const COLORREF LIGHT_OWN_COLOR = RGB(0, 0, 0); // so an idle light is black

int errorBlinking;
int blinkPhase;
HWND panelButtons[PANEL_BUTTON_COUNT];

int CreatePanelControls(HWND window)
{
    mainWindow = window;
    // Lights first: they stay above the buttons they sit on.
    for (int i = 0; i < PANEL_LIGHT_COUNT; ++i)
    {
        PanelLight* light = &panelLights[i];
        light->window = CreateIndicatorLight(window, ID_LIGHT_CAMERA_1 + i, light->x, light->y,
                                             light->state, LIGHT_OWN_COLOR);
    }
    for (int id = 0; id < PANEL_BUTTON_COUNT; ++id)
    {
        const LayoutRow* row = &panelMetrics.layout[id];
        panelButtons[id] = CreatePanelButton(window, row->label, id, row->x, row->y,
                                             panelMetrics.buttonWidth, panelMetrics.buttonHeight);
    }
    return 1;
}

void SetPanelLight(int index, int state)
{
    if (index < 0 || index >= PANEL_LIGHT_COUNT)
        return;
    panelLights[index].state = state;
    SetLightState(panelLights[index].window, state);
}

int PortLightIndex()
{
    int port = settingsImage.comPortIndex;
    return port >= 0 && port <= LIGHT_CAMERA_4 ? port : -1;
}

void ShowErrorState()
{
    errorBlinking = 1;
    blinkPhase = 1;
    cameraInitialized = 0;
    SetPanelLight(PortLightIndex(), LIGHT_RED);
    // Without the window a timer would belong to the thread, under an id KillTimer never finds.
    if (mainWindow && !SetTimer(mainWindow, TIMER_BLINK, BLINK_PERIOD_MS, 0))
        MessageBeep(0); // the light stays red without blinking
    UpdateOperateLight();
    ReleasePressedButtons();
}

void ShowNormalState()
{
    errorBlinking = 0;
    if (mainWindow)
        KillTimer(mainWindow, TIMER_BLINK);
    if (linkOpen)
    {
        SetPanelLight(PortLightIndex(), CameraIsReady(&cameraDriver) ? LIGHT_GREEN : LIGHT_IDLE);
    }
    else
    {
        for (int i = LIGHT_CAMERA_1; i <= LIGHT_CAMERA_4; ++i)
            SetPanelLight(i, LIGHT_IDLE);
    }
    UpdateOperateLight();
    ReleasePressedButtons();
}

void UpdateOperateLight()
{
    int ready = linkOpen && operateMode && CameraIsReady(&cameraDriver) && !errorBlinking;
    int wanted = ready ? LIGHT_GREEN : LIGHT_IDLE;
    if (panelLights[LIGHT_OPERATE].state != wanted)
        SetPanelLight(LIGHT_OPERATE, wanted);
}

void ReleasePressedButtons()
{
    for (int id = 0; id < PANEL_BUTTON_COUNT; ++id)
    {
        if (panelButtons[id] && GetButtonState(panelButtons[id]) == BUTTON_PRESSED)
            SetButtonState(panelButtons[id], BUTTON_UP);
    }
}

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

void OnBlinkTimer(HWND window, UINT_PTR timerId)
{
    if (timerId == TIMER_BLINK && errorBlinking)
        PostMessageA(window, WM_BLINK_TICK, 0, 0);
}

void OnBlinkTick()
{
    if (!errorBlinking)
        return; // a tick queued before the indication ended
    int index = PortLightIndex();
    if (index >= 0)
        SetLightState(panelLights[index].window, blinkPhase ? LIGHT_RED : LIGHT_OFF);
    blinkPhase = !blinkPhase;
}

void OnCameraPower(WPARAM cameraUp)
{
    SetPanelLight(PortLightIndex(), cameraUp ? LIGHT_GREEN : LIGHT_IDLE);
}

void OnLinkStatus(WPARAM failing)
{
    if (failing && !errorBlinking)
        ShowErrorState();
    else if (!failing && errorBlinking)
        ShowNormalState();
}
