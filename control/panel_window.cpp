// The panel window's controls: creation, release, re-placement for a panel size, and the title.
#include "control/panel_window.h"

#include "control/control_state.h"
#include "panel/indicator_light.h"
#include "panel/panel_button.h"
#include "services/settings_file.h"

static const COLORREF LIGHT_OWN_COLOR = RGB(0, 0, 0); // so an idle light is black

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

void ReleasePressedButtons()
{
    for (int id = 0; id < PANEL_BUTTON_COUNT; ++id)
    {
        if (panelButtons[id] && GetButtonState(panelButtons[id]) == BUTTON_PRESSED)
            SetButtonState(panelButtons[id], BUTTON_UP);
    }
}

int RelayoutPanel(HWND window)
{
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER;
    SetWindowPos(window, 0, 0, 0, 0, 0, keep | SWP_HIDEWINDOW);
    SetWindowPos(window, 0, 0, 0, panelMetrics.panelWidth,
                 panelMetrics.panelHeight + GetSystemMetrics(SM_CYCAPTION),
                 SWP_NOMOVE | SWP_NOZORDER);
    for (int i = 0; i < PANEL_LIGHT_COUNT; ++i)
        MoveIndicatorLight(panelLights[i].window, panelLights[i].x, panelLights[i].y);
    for (int id = 0; id < PANEL_BUTTON_COUNT; ++id)
    {
        const LayoutRow* row = &panelMetrics.layout[id];
        SetWindowPos(panelButtons[id], 0, row->x, row->y, panelMetrics.buttonWidth,
                     panelMetrics.buttonHeight, SWP_NOZORDER);
    }
    SetWindowPos(window, 0, 0, 0, 0, 0, keep | SWP_SHOWWINDOW);
    for (int i = 0; i < PANEL_LIGHT_COUNT; ++i)
        SetWindowPos(panelLights[i].window, 0, 0, 0, 0, 0, keep | SWP_SHOWWINDOW);
    for (int id = 0; id < PANEL_BUTTON_COUNT; ++id)
        SetWindowPos(panelButtons[id], 0, 0, 0, 0, 0, keep | SWP_SHOWWINDOW);
    return 1;
}

void SetMainWindowTitle(HWND window, int minimized)
{
    SetWindowTextA(window, workingFlags.largeWindow || minimized ? LONG_TITLE : SHORT_TITLE);
}

void ShowPanelSize(HWND window)
{
    SetupPanelLayout(workingFlags.largeWindow);
    RelayoutPanel(window);
    SetMainWindowTitle(window, 0);
}
