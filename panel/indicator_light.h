// The panel's indicator light, window class "__hlrLight__": a 3 x 3 child window showing one of
// eight states. A lit state is a plus of a bright colour with four dim corners, like a small
// lamp. The light has no behaviour of its own; the status indication decides its state.
//
// Operations:
//   CreateIndicatorLight  the light window with its own brush (the colour of LIGHT_IDLE),
//                         disabled, shown and painted; 0 when the class cannot be registered
//                         or the window created.
//   MoveIndicatorLight    moves it, keeping its size and its place among the siblings.
//   SetLightState         stores the state and paints at once through the window's context.
//   PaintLight            draws the stored state; a state outside 0..7 draws nothing.
// The own brush is deleted when the window is destroyed.
#pragma once

#include <windows.h>

const char INDICATOR_LIGHT_CLASS[] = "__hlrLight__";

enum LightState
{
    LIGHT_OFF = 0,     // black
    LIGHT_IDLE = 1,    // the light's own colour (black on the panel)
    LIGHT_RED = 2,     // 255,0,0 with 136,0,0 corners
    LIGHT_GREEN = 3,   // 0,255,0 with 0,136,0 corners
    LIGHT_BLUE = 4,    // 0,0,255 with 0,0,136 corners
    LIGHT_CYAN = 5,    // 0,255,255 with 0,136,136 corners
    LIGHT_MAGENTA = 6, // 255,0,255 with 136,0,136 corners
    LIGHT_YELLOW = 7,  // 255,255,0 with 136,136,0 corners
};

HWND CreateIndicatorLight(HWND parent, int id, int x, int y, int state, COLORREF ownColor);
void MoveIndicatorLight(HWND light, int x, int y);
void SetLightState(HWND light, int state);
void PaintLight(HWND light, HDC dc);
