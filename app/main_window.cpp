// The main window: message routing, system menu, panel size, shutdown.
#include "app/main_window.h"

#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_port.h"
#include "control/control_state.h"
#include "control/driver_snapshot.h"
#include "control/panel_actions.h"
#include "control/panel_lights.h"
#include "control/panel_window.h"
#include "control/remote_keys.h"
#include "control/remote_ramp.h"
#include "dialogs/dialog_commands.h"
#include "dialogs/preset_cycle.h"
#include "panel/panel_button.h"
#include "panel/panel_layout.h"
#include "panel/panel_painter.h"
#include "services/settings_file.h"
#include "services/wait_cursor.h"
#include "services/window_messages.h"
#include "services/window_place.h"

LONGLONG firstPaintEndTicks;

ATOM RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "HLRICON");
    windowClass.hCursor = LoadCursorA(0, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    return RegisterClassA(&windowClass);
}

int CaptionOnSomeMonitor(const RECT* caption)
{
    return MonitorFromRect(caption, MONITOR_DEFAULTTONULL) != 0;
}

// A saved place is kept while the window's caption lies on a monitor, any of them (one left of
// or above the primary has negative coordinates): the operator can grab it there. A place on
// none (a monitor since unplugged, a damaged file) would open the console out of sight at
// every start, and save it back; it is centred as at a first start instead.
WindowPlace ChooseWindowPlace(int loaded, int left, int top, int width, int captionHeight,
                              CaptionTest onSomeMonitor)
{
    if (!loaded)
        return PLACE_CENTRED;
    if (left == UNSET_POSITION || top == UNSET_POSITION)
        return PLACE_DEFAULT; // reset at load: beyond the screen's right or bottom edge
    RECT caption = {left, top, left + width, top + captionHeight};
    return onSomeMonitor(&caption) ? PLACE_SAVED : PLACE_CENTRED;
}

// The fixed panel is never zoomed to the work area: a maximized start (a shortcut set to
// "Maximized") shows it at its own size. Other commands, minimized ones too, stay.
int PanelShowCommand(int showCommand)
{
    return showCommand == SW_SHOWMAXIMIZED ? SW_SHOWNORMAL : showCommand;
}

HWND CreateMainWindow(HINSTANCE instance, int left, int top)
{
    int caption = GetSystemMetrics(SM_CYCAPTION);
    WindowPlace place =
        ChooseWindowPlace(settingsLoaded, left, top, panelMetrics.panelWidth, caption,
                          CaptionOnSomeMonitor);
    // A popup window takes the default place (CW_USEDEFAULT) only in x, and then ignores y; an
    // unset top under a set left would be taken as the coordinate -2147483648, off the screen.
    // A window to be centred is moved when it is created.
    if (place != PLACE_SAVED)
        left = CW_USEDEFAULT;
    int height = panelMetrics.panelHeight + caption;
    return CreateWindowExA(0, MAIN_WINDOW_CLASS, "", MAIN_WINDOW_STYLE, left, top,
                           panelMetrics.panelWidth, height, 0, 0, instance,
                           (LPVOID)(INT_PTR)place);
}

// The console's items go between Maximize and Close; Size goes, since the panel is fixed.
void EditSystemMenu(HWND window)
{
    HMENU menu = GetSystemMenu(window, FALSE);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    InsertMenuA(menu, 4, MF_BYPOSITION | MF_SEPARATOR, 0, 0);
    InsertMenuA(menu, 5, MF_BYPOSITION | MF_STRING, IDM_PROGRAM_OPTIONS, "&Program Options...");
    InsertMenuA(menu, 6, MF_BYPOSITION | MF_STRING, IDM_IMAGE_CONTROL, "&Image Control...");
    InsertMenuA(menu, 7, MF_BYPOSITION | MF_STRING, IDM_PRESET_CYCLE, "&Preset Cycle Mode...");
    InsertMenuA(menu, 8, MF_BYPOSITION | MF_SEPARATOR, 0, 0);
    InsertMenuA(menu, 9, MF_BYPOSITION | MF_STRING, IDM_INIT_CAMERA, "Initialize &Camera");
    InsertMenuA(menu, 10, MF_BYPOSITION | MF_SEPARATOR, 0, 0);
    InsertMenuA(menu, 11, MF_BYPOSITION | MF_STRING, IDM_ABOUT, "A&bout...");
}

// Minimized, nothing but About can run: the other commands talk to the camera or the panel.
// The window has no menu bar, so every menu it initializes is its system menu; Wine hands over
// a wrapper around the handle GetSystemMenu gives, and a search by command finds the items in
// either.
static void EnableSystemMenuItems(HWND window, HMENU menu)
{
    UINT state = IsIconic(window) ? MF_GRAYED : MF_ENABLED;
    for (UINT id = IDM_INIT_CAMERA; id <= IDM_PRESET_CYCLE; ++id)
        EnableMenuItem(menu, id, MF_BYCOMMAND | state);
}

static void SwitchPanelSize(HWND window)
{
    workingFlags.largeWindow = workingFlags.largeWindow == 0 ? 1 : 0;
    ShowPanelSize(window);
}

// Initialize Camera: reopen, initialize, send the camera home, then set the pan tilter up.
static void ReinitializeCamera()
{
    BeginWaitCursor();
    int opened = OpenCamera(mainWindow, settingsImage.comPortIndex, settingsImage.baudRate, 1);
    int setupFailed = opened && SetupPanTilter(&cameraDriver) != RESULT_OK;
    if (!setupFailed)
        UpdateOperateLight();
    EndWaitCursor();
}

// A double click on the caption asks for SC_MAXIMIZE | HTCAPTION: it must switch the panel
// size like the maximize box, never maximize the fixed panel. Every other command is taken
// whole.
static WPARAM SystemCommandOf(WPARAM command)
{
    return (command & 0xFFF0) == SC_MAXIMIZE ? SC_MAXIMIZE : command;
}

int HandleSystemCommand(HWND window, WPARAM command, LPARAM)
{
    switch (SystemCommandOf(command))
    {
    case IDM_INIT_CAMERA:
        ReinitializeCamera();
        return 1;
    case IDM_PROGRAM_OPTIONS:
        RunProgramOptionsCommand(window);
        return 1;
    case IDM_IMAGE_CONTROL:
        RunImageControlCommand(window);
        return 1;
    case IDM_PRESET_CYCLE:
        RunPresetCycleCommand(window);
        return 1;
    case IDM_ABOUT:
        RunAboutCommand(window);
        return 1;
    case SC_MAXIMIZE:
        SwitchPanelSize(window);
        return 1;
    case SC_CLOSE:
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 1;
    default:
        return 0;
    }
}

// The state of the camera link into the settings image, while the link is open.
static void KeepDriverSnapshot()
{
    uint8_t snapshot[DRIVER_SNAPSHOT_SIZE];
    WriteProgramDriverSnapshot(snapshot);
    TakeDriverSnapshot(&settingsImage, snapshot, linkOpen);
}

// The camera's half of the shutdown. A motion the remote started is stopped first: its release
// could not arrive once the port is closed. The driver snapshot is taken for the settings
// file before the port closes. Camera events that arrive meanwhile are dropped: a remote press
// handled inside the close would start a motion just before the port closes.
static void CloseCameraAtShutdown(HWND window)
{
    if (!linkOpen)
        return;
    int outerBusy = commandBusy;
    commandBusy = 1;
    StopOutsideMotions(window); // before the snapshot, so that it keeps the record after the stop
    KeepDriverSnapshot();
    CloseCameraLink(0);
    commandBusy = outerBusy;
}

static void SaveSettingsNow(HWND window)
{
    KeepDriverSnapshot();
    SaveSettingsAtShutdown(&settingsImage, &workingFlags, window,
                           (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE));
}

void ShutdownCleanup(HWND window)
{
    BeginWaitCursor();
    KillTimer(window, TIMER_BLINK);
    StopControlPort(); // its clients' held movements stop while the camera is still open
    CloseCameraAtShutdown(window);
    SaveSettingsNow(window);
    EndWaitCursor();
}

static void DeleteLabelFont()
{
    if (!panelMetrics.labelFont)
        return;
    DeleteObject(panelMetrics.labelFont);
    panelMetrics.labelFont = 0;
}

// --- Log-off ---
//
// WM_QUERYENDSESSION and WM_ENDSESSION are sent by the system from another thread: they arrive
// wherever this thread looks at its queue, also inside the wait of a transaction or of a hold.
// Closing the camera there would nest a transaction inside one whose receive interlock this
// thread holds (it would wait for ever), or close the port under a hold whose stop must still
// go out. So the settings are written at once, wherever the message arrives, and the camera is
// closed only where nothing of the console runs: at once when the console is idle, else from a
// posted message, which only a message loop dispatches, never a transaction's or a hold's wait.

static int handlerDepth;       // calls of MainWindowProc under way
static int logOffCloseOwed;    // the log-off's camera close waits for the running command
static int sessionEnding;      // from WM_QUERYENDSESSION until a cancelled log-off

// Nothing runs but the handler of the message that asks: no command, no camera event, no
// other message of this window.
static int ConsoleIdle()
{
    return handlerDepth == 1 && !commandBusy && eventGate;
}

static void CloseOwedCamera(HWND window)
{
    if (!logOffCloseOwed)
        return;
    logOffCloseOwed = 0;
    BeginWaitCursor();
    CloseCameraAtShutdown(window);
    EndWaitCursor();
}

static LRESULT OnQueryEndSession(HWND window)
{
    SaveSettingsNow(window);
    StopPresetTour(); // its next step would recall on a closed port
    sessionEnding = 1;
    SetControlPortSessionEnding(1);
    logOffCloseOwed = 1;
    if (ConsoleIdle())
        CloseOwedCamera(window);
    else
        PostMessageA(window, WM_CLOSE_OWED, 0, 0);
    return TRUE; // the log-off may go on
}

// TRUE: the session ends, and the process may be ended as soon as this returns (a close still
// owed to a running command is then left to the system, which closes the port with the
// process). FALSE: the log-off was cancelled; the console goes on, a closed camera is opened
// again by the next command that needs it, and the next close writes the settings again.
static LRESULT OnEndSession(HWND window, WPARAM ending)
{
    if (!ending)
    {
        logOffCloseOwed = 0;
        sessionEnding = 0;
        SetControlPortSessionEnding(0);
        settingsSaved = 0;
    }
    else if (ConsoleIdle())
    {
        CloseOwedCamera(window);
    }
    return 0;
}

// --- Message groups ---

static LRESULT OnCreate(HWND window, const CREATESTRUCTA* create)
{
    if ((INT_PTR)create->lpCreateParams == PLACE_CENTRED)
        CenterWindow(window);
    PlaceInStackingBand(window);
    CreatePanelControls(window);
    EditSystemMenu(window);
    sessionEnding = 0; // a new window has no log-off under way
    SetControlPortSessionEnding(0);
    logOffCloseOwed = 0;
    return 0;
}

static LRESULT OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintPanel(window, dc);
    EndPaint(window, &paint);
    if (!firstPaintEndTicks)
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        firstPaintEndTicks = now.QuadPart;
    }
    return 0;
}

static LRESULT OnSize(HWND window, WPARAM kind, LPARAM size)
{
    SetMainWindowTitle(window, kind == SIZE_MINIMIZED);
    if (kind == SIZE_MAXIMIZED)
        return 0;
    return DefWindowProcA(window, WM_SIZE, kind, size);
}

// Stops owed to releases that came while the console was busy: the remote's dropped releases
// and the control clients' let-go movements.
static void SendOwedStops(HWND window)
{
    SendDroppedStops(window);
    SendOwedControlStops(window);
}

// The console is free again: stops owed meanwhile go out now.
static void EndBusyHandler(HWND window)
{
    commandBusy = 0;
    SendOwedStops(window);
}

static LRESULT OnKeyDown(HWND window, WPARAM key)
{
    if (commandBusy)
        return 0; // dropped, not queued
    commandBusy = 1;
    int id = ActionKeyButton(key);
    if (id >= 0 && ActionAllowed(id))
        StopControlMovements(window); // the operator takes the camera over
    HandleKeyDown(window, key);
    EndBusyHandler(window);
    return 0;
}

static LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    // Menus and accelerators send 0 in the low half of lParam; 1 in the high half is refused.
    if (LOWORD(lParam) == 0 || HIWORD(lParam) == 1 || commandBusy)
        return 0;
    commandBusy = 1;
    int id = LOWORD(wParam);
    if (lParam == BN_PANEL_PRESSED && id < PANEL_BUTTON_COUNT && ActionAllowed(id))
    {
        StopControlMovements(window); // the operator takes the camera over
        SetButtonState(panelButtons[id], BUTTON_PRESSED); // a client may have held this one
    }
    LRESULT result = HandlePanelCommand(window, wParam, lParam);
    EndBusyHandler(window);
    return result;
}

static LRESULT OnSysCommand(HWND window, WPARAM command, LPARAM lParam)
{
    if (commandBusy)
    {
        // Default processing would maximize the fixed panel: a busy console ignores it.
        if (SystemCommandOf(command) == SC_MAXIMIZE)
            return 0;
        return DefWindowProcA(window, WM_SYSCOMMAND, command, lParam);
    }
    commandBusy = 1;
    int handled = HandleSystemCommand(window, command, lParam);
    EndBusyHandler(window);
    return handled ? 0 : DefWindowProcA(window, WM_SYSCOMMAND, command, lParam);
}

static LRESULT OnTimer(HWND window, UINT_PTR timerId)
{
    if (timerId == TIMER_RAMP)
        PostMessageA(window, WM_RAMP_STEP, 0, 0);
    else if (timerId == TIMER_CONTROL_HOLD)
        OnControlHoldTimer(window);
    else if (timerId == TIMER_CONTROL_READ)
        OnControlReadTimer(window);
    else
        OnBlinkTimer(window, timerId);
    return 0;
}

static LRESULT OnCameraEvent(HWND window, WPARAM kind, LPARAM frame)
{
    CameraDriver* driver = &cameraDriver;
    if (sessionEnding)
        return 0; // no camera is opened again during a log-off; its close stops every motion
    if (eventGate == 0 || commandBusy)
    {
        // Dropped; but a dropped release of a remote motion key still stops it later.
        if (kind == CAMERA_EVENT_FRAME)
            NoteDroppedCameraEvent(window, (const uint8_t*)frame);
        return 0;
    }
    SendOwedStops(window); // a stop still owed goes before anything new
    eventGate = 0;
    if (kind == CAMERA_EVENT_CTS_ON)
        BringCameraBack(driver);
    else if (kind == CAMERA_EVENT_FRAME)
        DispatchNotification(window, driver, (const uint8_t*)frame);
    eventGate = 1;
    SendOwedStops(window);
    return 0;
}

static LRESULT RouteMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_CREATE:
        return OnCreate(window, (const CREATESTRUCTA*)lParam);
    case WM_DESTROY:
        DeleteLabelFont(); // not at a log-off: a cancelled one leaves a console that paints
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        return OnSize(window, wParam, lParam);
    case WM_PAINT:
        return OnPaint(window);
    case WM_CLOSE:
        ShutdownCleanup(window);
        DestroyWindow(window);
        return 0;
    case WM_QUERYENDSESSION:
        return OnQueryEndSession(window);
    case WM_ENDSESSION:
        return OnEndSession(window, wParam);
    case WM_CLOSE_OWED:
        CloseOwedCamera(window);
        return 0;
    case WM_KEYDOWN:
        return OnKeyDown(window, wParam);
    case WM_COMMAND:
        return OnCommand(window, wParam, lParam);
    case WM_SYSCOMMAND:
        return OnSysCommand(window, wParam, lParam);
    case WM_TIMER:
        return OnTimer(window, (UINT_PTR)wParam);
    case WM_INITMENU:
        EnableSystemMenuItems(window, (HMENU)wParam);
        return 0;
    case WM_BLINK_TICK:
        OnBlinkTick();
        return 0;
    case WM_RAMP_STEP:
        OnRampStep(window);
        return 0;
    case WM_DROPPED_RELEASE:
        SendOwedStops(window);
        return 0;
    case WM_CONTROL_SOCKET:
        OnControlSocket(window, wParam, lParam);
        return 0;
    case WM_CAMERA_POWER:
        OnCameraPower(wParam);
        return 0;
    case WM_LINK_STATUS:
        OnLinkStatus(wParam);
        return 0;
    case WM_CAMERA_EVENT:
        return OnCameraEvent(window, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ++handlerDepth;
    LRESULT result = RouteMessage(window, message, wParam, lParam);
    --handlerDepth;
    return result;
}
