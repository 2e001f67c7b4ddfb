// Program start and the message loop.
#include "app/program_start.h"

#include "app/main_window.h"
#include "app/settings_file.h"
#include "control/camera_startup.h"
#include "control/control_state.h"
#include "control/notifications.h"
#include "control/panel_status.h"
#include "panel/panel_colors.h"
#include "panel/panel_layout.h"

HINSTANCE appInstance;
int debugTitles;
VirtualCameraOptions virtualCameraOptions;
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

static void TakeToken(const char* token, int tooLong)
{
    if ((token[0] == '-' || token[0] == '/') && token[1] == 'D')
    {
        debugTitles = 1;
        return;
    }
    if (tooLong)
    {
        // Only its beginning is known: ask on a scratch copy whether it was meant for us.
        VirtualCameraOptions scratch;
        ResetVirtualCameraOptions(&scratch);
        if (ParseVirtualCameraSwitch(&scratch, token) != SIM_SWITCH_NOT_OURS)
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

static void StartVirtualCameras()
{
    if (rejectedSwitches)
        ShowErrorBox("Command-line switch not understood and ignored: %s", firstRejectedSwitch);
    // Attaches nothing when no switch asked for a camera.
    if (AttachVirtualCameras(&virtualCameraOptions) != RESULT_OK)
        ShowErrorBox("The virtual cameras or their frame log could not be set up.");
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
    ParseCommandLine(commandLine);
    ResetDriver(&cameraDriver);
    LoadSettingsAtStart(&settingsImage, &workingFlags, &cameraDriver, instance,
                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                        GetSystemMetrics(SM_CYCAPTION));
    DetectColorMode();
    if (!SetupPanelLayout(0))
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

void EndConsole()
{
    DetachVirtualCameras();
}
