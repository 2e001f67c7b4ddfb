// Program start and the message loop.
#include "app/program_start.h"

#include "app/main_window.h"
#include "control/camera_connection.h"
#include "control/control_port.h"
#include "control/control_state.h"
#include "control/error_report.h"
#include "control/panel_window.h"
#include "control/remote_keys.h"
#include "dialogs/preset_cycle.h"
#include "panel/panel_colors.h"
#include "panel/panel_layout.h"
#include "services/line_server.h"
#include "services/command_words.h"
#include "services/settings_file.h"

HINSTANCE appInstance;
VirtualCameraOptions virtualCameraOptions;
LineTraceOption lineTrace;
int rejectedSwitches;

static char firstRejectedSwitch[64]; // shown in the box, cut to fit

// The next token of the command line into token (size bytes). Returns the text after it, or 0
// when there is no further token. *tooLong is set when the token did not fit; it is then
// skipped whole and token holds its beginning.
static const char* NextToken(const char* text, char* token, int size, int* tooLong)
{
    while (*text == ' ')
        ++text;
    if (*text == 0)
        return 0;
    int length = 0;
    int quoted = 0;
    *tooLong = 0;
    for (; *text && (quoted || *text != ' '); ++text)
    {
        if (*text == '"')
            quoted = !quoted;
        if (length < size - 1)
            token[length++] = *text;
        else
            *tooLong = 1;
    }
    token[length] = 0;
    return text;
}

static void RejectSwitch(const char* token)
{
    if (rejectedSwitches++ == 0)
        lstrcpynA(firstRejectedSwitch, token, sizeof firstRejectedSwitch);
}

// /LINELOG:<path>: one pair of surrounding double quotes is removed. A path too long for the
// token is never cut short: it is kept (its beginning) only to be named in the message.
// Returns 0 when the token is no line-trace switch.
static int TakeLineTraceSwitch(const char* token, int tooLong)
{
    const char* path = 0;
    if ((token[0] != '-' && token[0] != '/') || !StartsWithWord(token + 1, "LINELOG", &path))
        return 0;
    if (*path != ':')
    {
        if (*path)
            return 0; // another word that begins alike
        RejectSwitch(token);
        return 1;
    }
    ++path;
    int length = lstrlenA(path);
    if (path[0] == '"' && (tooLong || (length >= 2 && path[length - 1] == '"')))
    {
        ++path;
        length -= tooLong ? 1 : 2; // the closing quote of a path cut short is not there
    }
    if (length == 0 || path[0] == '"')
    {
        RejectSwitch(token);
        return 1;
    }
    lineTrace.pathTooLong = tooLong;
    lstrcpynA(lineTrace.path, path,
              length + 1 < LINE_TRACE_PATH_SIZE ? length + 1 : LINE_TRACE_PATH_SIZE);
    return 1;
}

static void TakeToken(const char* token, int tooLong)
{
    if ((token[0] == '-' || token[0] == '/') && token[1] == 'D')
    {
        debugTitles = 1;
        return;
    }
    if (TakeLineTraceSwitch(token, tooLong))
        return;
    if (tooLong)
    {
        // Only its beginning is known: ask on scratch copies whether it was meant for us.
        VirtualCameraOptions scratch;
        ResetVirtualCameraOptions(&scratch);
        ControlPortOptions scratchControl;
        ResetControlPortOptions(&scratchControl);
        if (ParseVirtualCameraSwitch(&scratch, token) != SIM_SWITCH_NOT_OURS ||
            ParseControlPortSwitch(&scratchControl, token) != CONTROL_SWITCH_NOT_OURS)
            RejectSwitch(token);
        return;
    }
    ControlSwitch control = ParseControlPortSwitch(&controlPortOptions, token);
    if (control != CONTROL_SWITCH_NOT_OURS)
    {
        if (control == CONTROL_SWITCH_INVALID)
            RejectSwitch(token);
        return;
    }
    if (ParseVirtualCameraSwitch(&virtualCameraOptions, token) == SIM_SWITCH_INVALID)
        RejectSwitch(token);
}

void ParseCommandLine(const char* commandLine)
{
    if (!commandLine)
        return;
    char token[COMMAND_TOKEN_SIZE];
    int tooLong = 0;
    const char* rest = commandLine;
    while ((rest = NextToken(rest, token, sizeof token, &tooLong)) != 0)
        TakeToken(token, tooLong);
}

// 1 when a trace was asked for and cannot be written.
static int StartLineTrace()
{
    if (!lineTrace.path[0])
        return 0;
    return lineTrace.pathTooLong || !OpenLineTrace(lineTrace.path);
}

// The trace is opened right before the cameras are attached, so that its clock and theirs
// start together; its message waits until both are running.
static void StartVirtualCameras()
{
    if (rejectedSwitches)
        ShowErrorBox("Command-line switch not understood and ignored: %s", firstRejectedSwitch);
    int traceFailed = StartLineTrace();
    // Attaches nothing when no switch asked for a camera.
    if (AttachVirtualCameras(&virtualCameraOptions) != RESULT_OK)
        ShowErrorBox("The virtual cameras or their frame log could not be set up.");
    if (traceFailed && lineTrace.pathTooLong)
        ShowErrorBox("Cannot write the line trace: its path is too long (%.60s...).",
                     lineTrace.path);
    else if (traceFailed)
        ShowErrorBox("Cannot write the line trace to %s", lineTrace.path);
}

// A port that cannot listen (taken by another program, an address not of this computer) is
// named in one box; the console runs on without it.
static void StartControlPortIfAsked(HWND window)
{
    const ControlPortOptions* options = &controlPortOptions;
    if (!options->enabled)
        return;
    char reason[LINE_SERVER_REASON_SIZE];
    if (StartControlPort(window, options, reason, sizeof reason))
        return;
    ULONG address = options->address;
    ShowErrorBox("The control port cannot listen on %d.%d.%d.%d:%d: %s", (int)(address & 0xFF),
                 (int)((address >> 8) & 0xFF), (int)((address >> 16) & 0xFF),
                 (int)(address >> 24), options->port, reason);
}

static void DetectColorMode()
{
    HDC screen = GetDC(0);
    highColorDisplay = HighColorForDevice(screen);
    ReleaseDC(0, screen);
}

int StartConsole(HINSTANCE instance, HINSTANCE previousInstance, const char* commandLine,
                 int showCommand)
{
    appInstance = instance;
    if (!previousInstance && !RegisterMainWindowClass(instance))
        return 0;
    ResetVirtualCameraOptions(&virtualCameraOptions);
    ResetControlPortOptions(&controlPortOptions);
    ResetLineTraceOption();
    ParseCommandLine(commandLine);
    ResetDriver(&cameraDriver);
    ResetCameraControlState();
    LoadSettingsAtStart(&settingsImage, &workingFlags, &cameraDriver.portIndex,
                        &cameraDriver.lineSpeed, instance, GetSystemMetrics(SM_CXSCREEN),
                        GetSystemMetrics(SM_CYSCREEN), GetSystemMetrics(SM_CYCAPTION));
    DetectColorMode();
    if (!SetupPanelLayout(workingFlags.largeWindow))
        return 0;

    HWND window = CreateMainWindow(instance, settingsImage.windowRect.left,
                                   settingsImage.windowRect.top);
    if (!window)
        return 0;
    mainWindow = window;
    ShowWindow(window, PanelShowCommand(showCommand));
    // Windows may show the first window of a program with the show command of its start-up
    // information instead of the one given; the panel is still never zoomed.
    if (IsZoomed(window))
        ShowWindow(window, SW_RESTORE);
    UpdateWindow(window);
    if (panelMetrics.labelFont)
        SendMessageA(window, WM_SETFONT, (WPARAM)panelMetrics.labelFont, 0);
    SetMainWindowTitle(window, 0);

    StartVirtualCameras();
    OpenCamera(mainWindow, settingsImage.comPortIndex, settingsImage.baudRate, 0);
    SendDroppedStops(mainWindow); // releases dropped while its message box was up
    StartControlPortIfAsked(mainWindow);
    return 1;
}

int RunMessageLoop()
{
    MSG message;
    for (;;)
    {
        BOOL got = GetMessageA(&message, 0, 0, 0);
        if (got == 0)
            return (int)(message.wParam & 0xFFFF); // WM_QUIT
        if (got == -1)
            return 0; // the queue cannot be read: nothing more will come
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void ResetLineTraceOption()
{
    lineTrace.path[0] = 0;
    lineTrace.pathTooLong = 0;
}

void EndConsole()
{
    StopControlPort();
    DetachVirtualCameras();
    CloseLineTrace();
}
