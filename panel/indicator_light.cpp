// The panel's indicator light: window class "__hlrLight__", its window procedure and its
// painting, and the light's own brush, which lives as long as the window.
#include "panel/indicator_light.h"

#include "panel/panel_layout.h"
#include "panel/window_instance.h"

// Window extra bytes: the LightState as an int32 at offset 0, then the own brush handle in a
// pointer-sized slot (SetWindowLongPtr), placed at the next pointer-aligned offset. On a 32-bit
// build that is offset 4 and 8 bytes in all; on a 64-bit build a handle needs 8 bytes, so the
// slot moves to offset 8 and the light reserves 16.
static const int LIGHT_STATE_OFFSET = 0;
static const int LIGHT_BRUSH_OFFSET =
    (int)((sizeof(LONG) + sizeof(LONG_PTR) - 1) / sizeof(LONG_PTR) * sizeof(LONG_PTR));
static const int LIGHT_EXTRA_BYTES = LIGHT_BRUSH_OFFSET + (int)sizeof(LONG_PTR);

// Body and corner colours of the lit states, LIGHT_RED to LIGHT_YELLOW.
struct LampColors
{
    COLORREF body;
    COLORREF corner;
};

static const LampColors LAMP_COLORS[] = {
    {RGB(255, 0, 0), RGB(136, 0, 0)},     // LIGHT_RED
    {RGB(0, 255, 0), RGB(0, 136, 0)},     // LIGHT_GREEN
    {RGB(0, 0, 255), RGB(0, 0, 136)},     // LIGHT_BLUE
    {RGB(0, 255, 255), RGB(0, 136, 136)}, // LIGHT_CYAN
    {RGB(255, 0, 255), RGB(136, 0, 136)}, // LIGHT_MAGENTA
    {RGB(255, 255, 0), RGB(136, 136, 0)}, // LIGHT_YELLOW
};

// The four dim pixels of a lit light; the coordinates are fixed, the light is always 3 x 3.
static const POINT LAMP_CORNERS[] = {{0, 0}, {2, 2}, {0, 2}, {2, 0}};

static int lightClassRegistered; // set once the class is registered; kept for the whole run

static LRESULT CALLBACK IndicatorLightProc(HWND light, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the class at the first creation; a failure is tried again at the next one.
static int RegisterIndicatorLightClass(HINSTANCE instance)
{
    return RegisterControlClass(&lightClassRegistered, instance, INDICATOR_LIGHT_CLASS,
                                IndicatorLightProc, LIGHT_EXTRA_BYTES, BLACK_BRUSH);
}

static int StoredLightState(HWND light)
{
    return (int)GetWindowLongA(light, LIGHT_STATE_OFFSET);
}

static HBRUSH OwnBrush(HWND light)
{
    return (HBRUSH)GetWindowLongPtrA(light, LIGHT_BRUSH_OFFSET);
}

HWND CreateIndicatorLight(HWND parent, int id, int x, int y, int state, COLORREF ownColor)
{
    HINSTANCE instance = WindowInstance(parent);
    if (!RegisterIndicatorLightClass(instance))
        return 0;
    HWND light = CreateWindowExA(0, INDICATOR_LIGHT_CLASS, 0, WS_CHILD | WS_VISIBLE, x, y,
                                 LIGHT_SIZE, LIGHT_SIZE, parent, (HMENU)(INT_PTR)id, instance, 0);
    if (!light)
        return 0;
    HBRUSH ownBrush = CreateSolidBrush(ownColor);
    SetWindowLongA(light, LIGHT_STATE_OFFSET, state);
    SetWindowLongPtrA(light, LIGHT_BRUSH_OFFSET, (LONG_PTR)ownBrush);
    EnableWindow(light, FALSE);
    ShowWindow(light, SW_SHOW);
    UpdateWindow(light);
    return light;
}

void MoveIndicatorLight(HWND light, int x, int y)
{
    SetWindowPos(light, 0, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void SetLightState(HWND light, int state)
{
    if (!light)
        return; // GetDC(0) would paint on the screen
    HDC dc = GetDC(light);
    SetWindowLongA(light, LIGHT_STATE_OFFSET, state);
    PaintLight(light, dc);
    ReleaseDC(light, dc);
}

void PaintLight(HWND light, HDC dc)
{
    int state = StoredLightState(light);
    HBRUSH body = 0;   // the stock black, the own or a created brush
    HBRUSH corner = 0; // lit states only; then both brushes are created here and deleted here
    if (state == LIGHT_OFF)
        body = (HBRUSH)GetStockObject(BLACK_BRUSH);
    else if (state == LIGHT_IDLE)
        body = OwnBrush(light);
    else if (state >= LIGHT_RED && state <= LIGHT_YELLOW)
    {
        const LampColors* colors = &LAMP_COLORS[state - LIGHT_RED];
        body = CreateSolidBrush(colors->body);
        corner = CreateSolidBrush(colors->corner);
    }
    else
        return;

    RECT client;
    GetClientRect(light, &client);
    HGDIOBJ previous = SelectObject(dc, body);
    PatBlt(dc, 0, 0, client.right, client.bottom, PATCOPY);
    if (corner)
    {
        SelectObject(dc, corner);
        for (const POINT& pixel : LAMP_CORNERS)
            PatBlt(dc, pixel.x, pixel.y, 1, 1, PATCOPY);
    }
    SelectObject(dc, previous);
    if (corner)
    {
        DeleteObject(body);
        DeleteObject(corner);
    }
}

static void OnPaint(HWND light)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(light, &paint);
    PaintLight(light, dc);
    EndPaint(light, &paint);
}

// The own brush goes with the window; the slot is cleared so that it is deleted only once.
static void DeleteOwnBrush(HWND light)
{
    HBRUSH ownBrush = OwnBrush(light);
    if (!ownBrush)
        return;
    SetWindowLongPtrA(light, LIGHT_BRUSH_OFFSET, 0);
    DeleteObject(ownBrush);
}

static LRESULT CALLBACK IndicatorLightProc(HWND light, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_PAINT:
        OnPaint(light);
        return 0;
    case WM_DESTROY:
        DeleteOwnBrush(light);
        return 0;
    default:
        return DefWindowProcA(light, message, wParam, lParam);
    }
}
