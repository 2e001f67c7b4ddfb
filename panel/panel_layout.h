// The panel's layout: the two constant tables (large and small window), the sizes that go with
// each, the shared label font and the places of the five indicator lights.
//
// Principles of operation:
// - A button's control id is its row number in the table (0..28); row 29 is the "ZOOM" caption
//   between WIDE and TELE, painted but never a control.
// - panelMetrics is replaced as a whole by SetupPanelLayout, for the panel size its caller
//   asks for (the large-window option); painting, control creation and re-placement all read
//   it.
// - The label font lives from one SetupPanelLayout to the next (or until the main window goes):
//   there is only ever one.
// - panelLights holds each light's window, its last stored state and its place; the state
//   survives size changes.
//
// Operations:
//   SetupPanelLayout   table, metrics and font for the size asked for, light places; always 1.
//   LightPosition      where a light sits on its button for the current metrics.
#pragma once

#include <windows.h>
#include <stdint.h>

// Control ids: the row numbers of the table.
enum PanelControlId
{
    ID_FOCUS_AUTO = 0,
    ID_FOCUS_MANUAL = 1,
    ID_FOCUS_NEAR = 2,
    ID_FOCUS_FAR = 3,
    ID_PRESET = 4,
    ID_OPERATE = 5,
    ID_PRESET_1 = 6,
    ID_PRESET_2 = 7,
    ID_PRESET_3 = 8,
    ID_PRESET_4 = 9,
    ID_PRESET_5 = 10,
    ID_PRESET_6 = 11,
    ID_ZOOM_WIDE = 12,
    ID_ZOOM_TELE = 13,
    ID_PAN_REVERSE = 14,
    ID_BRIGHT = 15,
    ID_PAN_LEFT = 16,
    ID_TILT_UP = 17,
    ID_HOME = 18,
    ID_TILT_DOWN = 19,
    ID_PAN_RIGHT = 20,
    ID_UP_LEFT = 21,
    ID_DOWN_LEFT = 22,
    ID_UP_RIGHT = 23,
    ID_DOWN_RIGHT = 24,
    ID_CAMERA_1 = 25,
    ID_CAMERA_2 = 26,
    ID_CAMERA_3 = 27,
    ID_CAMERA_4 = 28,
};

const int PANEL_BUTTON_COUNT = 29;
const int PANEL_ROW_COUNT = 30;
const int ZOOM_LABEL_ROW = 29; // label only, no control

// Light indices, and the control ids of the lights (29 + index).
enum PanelLightIndex
{
    LIGHT_CAMERA_1 = 0,
    LIGHT_CAMERA_2 = 1,
    LIGHT_CAMERA_3 = 2,
    LIGHT_CAMERA_4 = 3,
    LIGHT_OPERATE = 4,
};
const int PANEL_LIGHT_COUNT = 5;
const int ID_LIGHT_CAMERA_1 = 29;
const int ID_LIGHT_CAMERA_2 = 30;
const int ID_LIGHT_CAMERA_3 = 31;
const int ID_LIGHT_CAMERA_4 = 32;
const int ID_LIGHT_OPERATE = 33;
const int LIGHT_SIZE = 3; // a light is 3 x 3 pixels

const char LABEL_FONT_FACE[] = "Small Fonts";

// One row of a layout table.
struct LayoutRow
{
    int32_t x;           // left edge of the control, client pixels
    int32_t y;           // top edge; labels are drawn above this line
    int32_t labelBoxed;  // 1: the label sits on a small patch of panel grey
    int32_t labelDark;   // 1: the texts are black instead of the light text colour
    const char* heading; // second line above the label (group heading), or 0
    const char* label;   // line directly above the control, also the button's text, or 0
};

typedef LayoutRow PanelLayout[PANEL_ROW_COUNT];

extern const PanelLayout largePanelLayout;
extern const PanelLayout smallPanelLayout;

// The values that go with the table in force.
struct PanelMetrics
{
    int buttonWidth;         // 31 large, 21 small
    int buttonHeight;        // 15 large, 11 small
    int panelWidth;          // width of the main window
    int panelHeight;         // height of the main window below its caption
    int fontHeight;          // lfHeight of the label font: 10 large, 8 small
    const LayoutRow* layout; // the table in force (PANEL_ROW_COUNT rows)
    HFONT labelFont;         // label font for this size; stored even when creation failed
};

// One indicator light of the panel.
struct PanelLight
{
    HWND window;   // the light's window, once the controls are created
    int32_t state; // last LightState stored through SetPanelLight; LIGHT_IDLE at start
    int32_t x;     // left edge of the 3 x 3 light, client pixels
    int32_t y;     // top edge
};

extern PanelMetrics panelMetrics;
extern PanelLight panelLights[PANEL_LIGHT_COUNT];

// The row of the table whose button carries the light of that index (25..28, 5).
int LightRow(int lightIndex);
// Selects the table and metrics of the large panel (largePanel non-zero) or the small one,
// recreates the label font and recomputes the light places.
int SetupPanelLayout(int largePanel);
