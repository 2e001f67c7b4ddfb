// The panel's status lights: the port and OPERATE lights, and the blinking of a failing link.
#include "control/panel_lights.h"

#include "control/control_state.h"
#include "control/panel_window.h"
#include "panel/indicator_light.h"
#include "panel/panel_layout.h"
#include "services/settings_file.h"
#include "services/window_messages.h"

int errorBlinking;
int blinkPhase;

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
