// The panel's push button: window class "__hlrButton__", its window procedure, its painting and
// the release tracking the parent uses for click-type buttons.
#include "panel/panel_button.h"

#include "panel/panel_colors.h"
#include "panel/window_instance.h"

// The ButtonState lives in the window's extra bytes, one int32 at offset 0.
static const int BUTTON_STATE_OFFSET = 0;
static const int BUTTON_EXTRA_BYTES = sizeof(LONG);

// While tracking, an empty poll waits this long for mouse input before it looks again, so the
// loop does not spin a core; mouse input ends the wait at once.
static const DWORD TRACK_IDLE_WAIT_MS = 5;

static int buttonClassRegistered; // set once the class is registered; kept for the whole run

static LRESULT CALLBACK PanelButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the class at the first creation; a failure is tried again at the next one.
static int RegisterPanelButtonClass(HINSTANCE instance)
{
    return RegisterControlClass(&buttonClassRegistered, instance, PANEL_BUTTON_CLASS,
                                PanelButtonProc, BUTTON_EXTRA_BYTES, GRAY_BRUSH);
}

HWND CreatePanelButton(HWND parent, const char* text, int id, int x, int y, int width, int height)
{
    HINSTANCE instance = WindowInstance(parent);
    if (!RegisterPanelButtonClass(instance))
        return 0;
    HWND button =
        CreateWindowExA(0, PANEL_BUTTON_CLASS, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y,
                        width, height, parent, (HMENU)(INT_PTR)id, instance, 0);
    if (!button)
    {
        MessageBeep(0);
        return 0;
    }
    SetWindowLongA(button, BUTTON_STATE_OFFSET, BUTTON_UP);
    ShowWindow(button, SW_SHOW);
    UpdateWindow(button);
    return button;
}

void SetButtonState(HWND button, int state)
{
    if (!button)
        return; // GetDC(0) would paint on the screen
    HDC dc = GetDC(button);
    SetWindowLongA(button, BUTTON_STATE_OFFSET, state);
    EnableWindow(button, state != BUTTON_DISABLED);
    PaintButton(button, dc, state);
    ReleaseDC(button, dc);
}

int GetButtonState(HWND button)
{
    return (int)GetWindowLongA(button, BUTTON_STATE_OFFSET);
}

// Takes and discards mouse messages until the left button is released. The loop also ends when
// the button loses the capture (another window took it, or a WM_CANCELMODE released it): no
// WM_LBUTTONUP would reach this thread's queue for it then, and waiting for one would hang the
// program. Only the mouse range is removed; any other message stays queued, and nothing
// removed is dispatched. Sent messages from other threads are still delivered by PeekMessage.
void TrackButtonRelease(HWND button)
{
    SetCapture(button);
    MSG message;
    while (GetCapture() == button)
    {
        if (PeekMessageA(&message, 0, WM_MOUSEFIRST, WM_MBUTTONDBLCLK, PM_REMOVE))
        {
            if (message.message == WM_LBUTTONUP)
                break;
            continue;
        }
        MsgWaitForMultipleObjects(0, 0, FALSE, TRACK_IDLE_WAIT_MS, QS_MOUSE | QS_SENDMESSAGE);
    }
    if (GetCapture() == button)
        ReleaseCapture();
    if (IsWindow(button))
        SetButtonState(button, BUTTON_UP);
}

static void FillPixels(HDC dc, int x, int y, int width, int height)
{
    PatBlt(dc, x, y, width, height, PATCOPY);
}

void PaintButton(HWND button, HDC dc, int state)
{
    RECT client;
    GetClientRect(button, &client);
    int width = client.right;
    int height = client.bottom;
    HBRUSH grey = CreateSolidBrush(PanelGrey());

    HGDIOBJ previous = SelectObject(dc, GetStockObject(BLACK_BRUSH));
    FillPixels(dc, 0, 0, width, height);

    SelectObject(dc, grey);
    FillPixels(dc, 0, 0, 1, 1);
    FillPixels(dc, width - 1, 0, 1, 1);
    FillPixels(dc, width - 1, height - 1, 1, 1);
    FillPixels(dc, 0, height - 1, 1, 1);

    if (state == BUTTON_PRESSED)
    {
        FillPixels(dc, width - 2, 2, 1, height - 4);
        FillPixels(dc, 2, height - 2, width - 4, 1);
    }
    else if (state == BUTTON_UP || state == BUTTON_DISABLED)
    {
        FillPixels(dc, 2, 2, width - 4, 1);
        FillPixels(dc, 2, 2, 1, height - 4);
    }

    SelectObject(dc, previous);
    DeleteObject(grey);
}

static void OnPaint(HWND button)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(button, &paint);
    PaintButton(button, dc, GetButtonState(button));
    EndPaint(button, &paint);
}

// Shows the new state at once, then tells the parent; the parent's handling runs inside this
// call (a click-type button's whole click happens here).
static void ChangeAndNotify(HWND button, int state, LPARAM code)
{
    SetButtonState(button, state);
    WPARAM id = (WPARAM)(UINT_PTR)LOWORD(GetDlgCtrlID(button));
    SendMessageA(GetParent(button), WM_COMMAND, id, code);
}

static LRESULT CALLBACK PanelButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_PAINT:
        OnPaint(button);
        return 0;
    case WM_LBUTTONDOWN:
        ChangeAndNotify(button, BUTTON_PRESSED, BN_PANEL_PRESSED);
        return 0;
    case WM_LBUTTONUP:
        ChangeAndNotify(button, BUTTON_UP, BN_PANEL_RELEASED);
        return 0;
    default:
        return DefWindowProcA(button, message, wParam, lParam);
    }
}
