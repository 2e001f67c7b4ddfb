// The main window: the fixed-size panel window with its caption and system menu, the routing of
// every message to the camera control, the two panel sizes, and the shutdown clean-up.
//
// Principles of operation:
// - MainWindowProc only dispatches; each group of messages has its own handler.
// - commandBusy guards every user-driven handler: while it is set keys and panel commands are
//   dropped, system commands get only default processing and camera events are dropped.
//   eventGate keeps a second camera event from being handled inside the first.
// - The window is never maximized: the maximize box (and a double click on the caption)
//   switches between the large and the small panel instead.
// - The first WM_CLOSE or WM_QUERYENDSESSION writes the settings; the file is written at most
//   once a run. WM_CLOSE then closes the camera. A log-off (sent by the system, so it may arrive
//   inside a transaction's or a hold's wait) closes it only where nothing else runs: at once
//   when the console is idle, else once the running command has ended; a running preset tour
//   stops. A cancelled log-off (WM_ENDSESSION FALSE) leaves a console that works: the label
//   font lives until WM_DESTROY, and the next command opens a closed camera again.
// - A saved place whose caption lies on no monitor is not used: the window is centred. A
//   maximized show command shows the panel normally.
//
// Operations:
//   RegisterMainWindowClass  class "HLR8"; 0 when registration fails.
//   CreateMainWindow         the window at the place ChooseWindowPlace gives, sized for the
//                            panel in force. 0 when it fails.
//   ChooseWindowPlace        saved, default or centred, from the load, the saved corner and
//                            whether the caption there lies on a monitor.
//   CaptionOnSomeMonitor     1 when the rectangle meets a monitor.
//   PanelShowCommand         the show command for the panel: maximized becomes normal.
//   MainWindowProc           the window procedure.
//   HandleSystemCommand      1 when handled, 0 for default processing.
//   ShutdownCleanup          blink timer, a remote motion stopped, camera port, settings file.
//   EditSystemMenu           the console's items in the window's system menu.
#pragma once

#include <windows.h>

const char MAIN_WINDOW_CLASS[] = "HLR8";
// A visible popup with a caption, the system menu and the minimize and maximize boxes (the
// maximize box switches the panel size), its children clipped.
const DWORD MAIN_WINDOW_STYLE = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU |
                                WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
static_assert(MAIN_WINDOW_STYLE == 0x92CB0000, "the main window's style is unchanged");

// System-menu commands of the console.
const UINT IDM_INIT_CAMERA = 1;
const UINT IDM_PROGRAM_OPTIONS = 2;
const UINT IDM_IMAGE_CONTROL = 3;
const UINT IDM_PRESET_CYCLE = 4;
const UINT IDM_ABOUT = 5;

// Ticks (QueryPerformanceCounter) at the end of the window's first WM_PAINT; 0 before it. For
// the start-up benchmark.
extern LONGLONG firstPaintEndTicks;

// Where the main window opens; the value is its creation parameter.
enum WindowPlace
{
    PLACE_SAVED,   // at the saved corner
    PLACE_DEFAULT, // the window system's default place
    PLACE_CENTRED, // centred as at a first start
};
typedef int (*CaptionTest)(const RECT* caption);

ATOM RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance, int left, int top);
WindowPlace ChooseWindowPlace(int loaded, int left, int top, int width, int captionHeight,
                              CaptionTest onSomeMonitor);
int CaptionOnSomeMonitor(const RECT* caption);
int PanelShowCommand(int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int HandleSystemCommand(HWND window, WPARAM command, LPARAM lParam);
void ShutdownCleanup(HWND window);
void EditSystemMenu(HWND window);
