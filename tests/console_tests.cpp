// The console in this process: the real main window (Wine's null graphics driver) on virtual
// cameras, started and closed as the program does it. Outcomes are read from the camera's frame
// log, the window itself and the settings file beside the test program.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/program_start.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/panel_lights.h"
#include "control/panel_window.h"
#include "dialogs/preset_cycle.h"
#include "panel/indicator_light.h"
#include "panel/panel_button.h"
#include "panel/panel_layout.h"
#include "services/settings_file.h"
#include "sim/virtual_camera.h"
#include "tests/box_closer.h"
#include "tests/console_fixture.h"
#include "tests/test_window.h"

static std::string Title()
{
    char text[64];
    GetWindowTextA(mainWindow, text, sizeof text);
    return text;
}

static SIZE OuterSize()
{
    RECT rect;
    GetWindowRect(mainWindow, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

static std::vector<std::string> SystemMenuTexts()
{
    std::vector<std::string> texts;
    HMENU menu = GetSystemMenu(mainWindow, FALSE);
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
    {
        char text[64] = "";
        if (GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION) == 0)
            lstrcpyA(text, "-");
        texts.push_back(text);
    }
    return texts;
}

static bool Grey(UINT id)
{
    return (GetMenuState(GetSystemMenu(mainWindow, FALSE), id, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

TEST_F(ConsoleTest, StartsInitializesAndClosesWithTheSettingsSaved)
{
    Start("/SIM");
    EXPECT_EQ(START_UP_REQUESTS, RequestsSince(0, 0));
    EXPECT_EQ(1, linkOpen);
    EXPECT_EQ(1, cameraInitialized);
    EXPECT_EQ(0, commandBusy);
    EXPECT_EQ(LIGHT_GREEN, panelLights[LIGHT_CAMERA_1].state);
    EXPECT_EQ(LIGHT_GREEN, panelLights[LIGHT_OPERATE].state);

    // The small panel, centred with no settings file: lifted by a caption, x not clamped.
    int caption = GetSystemMetrics(SM_CYCAPTION);
    SIZE size = OuterSize();
    EXPECT_EQ(114, size.cx);
    EXPECT_EQ(257 + caption, size.cy);
    RECT rect;
    GetWindowRect(mainWindow, &rect);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - size.cx) / 2, rect.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - size.cy) / 2 - caption, rect.top);
    EXPECT_EQ("HLR8", Title());
    // Windows adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(MAIN_WINDOW_STYLE, (DWORD)GetWindowLongA(mainWindow, GWL_STYLE) & ~WS_CLIPSIBLINGS);

    std::vector<std::string> menu = SystemMenuTexts();
    std::vector<std::string> console(menu.begin() + 4, menu.begin() + 12);
    EXPECT_EQ(std::vector<std::string>({"-", "&Program Options...", "&Image Control...",
                                        "&Preset Cycle Mode...", "-", "Initialize &Camera",
                                        "-", "A&bout..."}),
              console);
    EXPECT_EQ(-1, (int)GetMenuState(GetSystemMenu(mainWindow, FALSE), SC_SIZE, MF_BYCOMMAND));

    uint32_t before = LogCount(0);
    Close();
    EXPECT_EQ(Frames({SELECT_MODE_1}), RequestsSince(0, before));
    EXPECT_EQ(0, linkOpen);
    EXPECT_EQ(SETTINGS_IMAGE_SIZE, FileSize(SettingsPath()));
    EXPECT_EQ(rect.left, settingsImage.windowRect.left);
    EXPECT_EQ(rect.top, settingsImage.windowRect.top);
}

TEST_F(ConsoleTest, MaximizeSwitchesThePanelSizeAndNeverMaximizes)
{
    Start("/SIM");
    int caption = GetSystemMetrics(SM_CYCAPTION);
    struct Step
    {
        WPARAM command;
        int busy;
        int large;
    } steps[] = {
        {SC_MAXIMIZE, 0, 1},
        {SC_MAXIMIZE | HTCAPTION, 0, 0}, // a double click on the caption
        {SC_MAXIMIZE, 1, 0},             // refused while busy
        {SC_MAXIMIZE, 0, 1},
    };
    for (const Step& step : steps)
    {
        commandBusy = step.busy;
        SendMessageA(mainWindow, WM_SYSCOMMAND, step.command, 0);
        commandBusy = 0;
        SIZE size = OuterSize();
        EXPECT_EQ(step.large ? 160 : 114, size.cx);
        EXPECT_EQ((step.large ? 350 : 257) + caption, size.cy);
        EXPECT_EQ(step.large ? "Norvo HL-R8" : "HLR8", Title());
        EXPECT_FALSE(IsZoomed(mainWindow));
        RECT button;
        GetWindowRect(panelButtons[ID_CAMERA_4], &button);
        MapWindowPoints(0, mainWindow, (POINT*)&button, 2);
        const LayoutRow& row = (step.large ? largePanelLayout : smallPanelLayout)[ID_CAMERA_4];
        EXPECT_EQ(row.x, button.left);
        EXPECT_EQ(row.y, button.top);
        EXPECT_TRUE(IsWindowVisible(panelButtons[ID_CAMERA_4]));
    }
    Close();
    EXPECT_EQ(1, settingsImage.largeWindow);
}

TEST_F(ConsoleTest, MinimizedTitleMenuAndSavedPlace)
{
    Start("/SIM");
    RECT restored;
    GetWindowRect(mainWindow, &restored);
    ShowWindow(mainWindow, SW_MINIMIZE);
    RECT parked;
    GetWindowRect(mainWindow, &parked);
    EXPECT_EQ(-32000, parked.left) << "Windows parks a minimized window off-screen";
    EXPECT_EQ("Norvo HL-R8", Title());
    SendMessageA(mainWindow, WM_INITMENU, (WPARAM)GetSystemMenu(mainWindow, FALSE), 0);
    for (UINT id = IDM_INIT_CAMERA; id <= IDM_PRESET_CYCLE; ++id)
        EXPECT_TRUE(Grey(id)) << id;
    EXPECT_FALSE(Grey(IDM_ABOUT));

    // The log-off comes while minimized: the restored place is saved, once.
    SendMessageA(mainWindow, WM_QUERYENDSESSION, 0, 0);
    EXPECT_EQ(0, linkOpen);
    EXPECT_EQ(restored.left, settingsImage.windowRect.left);
    EXPECT_EQ(restored.top, settingsImage.windowRect.top);
    ASSERT_EQ(SETTINGS_IMAGE_SIZE, FileSize(SettingsPath()));
    DeleteFileA(SettingsPath().c_str());
    ShowWindow(mainWindow, SW_RESTORE);
    EXPECT_EQ("HLR8", Title());
    SendMessageA(mainWindow, WM_INITMENU, (WPARAM)GetSystemMenu(mainWindow, FALSE), 0);
    EXPECT_FALSE(Grey(IDM_INIT_CAMERA));
    Close();
    EXPECT_EQ(-1, FileSize(SettingsPath())) << "written a second time";
}

TEST_F(ConsoleTest, SavedSettingsPlaceTheLargeWindowWithoutCentring)
{
    SettingsImage saved;
    WorkingFlags flags = {1, 0, 0, 0};
    SetSettingsDefaults(&saved, &flags);
    saved.windowRect.left = 40;
    saved.windowRect.top = 30;
    saved.comPortIndex = 1;
    ASSERT_EQ(1, SaveSettingsToPath(&saved, SettingsPath().c_str()));
    Start("/SIM");
    EXPECT_EQ(1, settingsLoaded);
    RECT rect;
    GetWindowRect(mainWindow, &rect);
    EXPECT_EQ(40, rect.left);
    EXPECT_EQ(30, rect.top);
    EXPECT_EQ(160, rect.right - rect.left);
    EXPECT_EQ("Norvo HL-R8", Title());
    EXPECT_EQ(START_UP_REQUESTS, RequestsSince(1, 0)) << "the saved port is COM2";
    EXPECT_EQ(LIGHT_GREEN, panelLights[LIGHT_CAMERA_2].state);
}

static bool CameraInitialized(void*)
{
    return cameraInitialized != 0;
}

TEST_F(ConsoleTest, CameraEventsAreGatedAndCtsOnBringsTheCameraBack)
{
    Start("/SIM");
    // Dropped while a command runs or while another event is being handled.
    uint32_t start = LogCount(0);
    commandBusy = 1;
    SendMessageA(mainWindow, WM_CAMERA_EVENT, CAMERA_EVENT_CTS_ON, 0);
    commandBusy = 0;
    eventGate = 0;
    SendMessageA(mainWindow, WM_CAMERA_EVENT, CAMERA_EVENT_CTS_ON, 0);
    eventGate = 1;
    EXPECT_TRUE(RequestsSince(0, start).empty());

    // Power cycled while initialized: mode 0 again, nothing else.
    start = LogCount(0);
    PowerCycleVirtualCamera(VirtualCameraOnPort(0));
    PumpFor(800);
    EXPECT_EQ(Frames({START_UP_REQUESTS[0]}), RequestsSince(0, start));
    EXPECT_EQ(1, eventGate);

    // After a failure the camera's return runs the whole sequence.
    ShowErrorState();
    start = LogCount(0);
    PowerCycleVirtualCamera(VirtualCameraOnPort(0));
    EXPECT_TRUE(PumpUntil(CameraInitialized, 0, 3000));
    Frames expected = START_UP_REQUESTS;
    expected.insert(expected.begin(), START_UP_REQUESTS[0]); // mode 0, then the sequence
    EXPECT_EQ(expected, RequestsSince(0, start));
    EXPECT_EQ(0, errorBlinking);
    EXPECT_EQ(1, eventGate);

    // A refused mode 0: nothing more is sent, and the gate opens again.
    ShowErrorState();
    start = LogCount(0);
    ArmVirtualCameraFault(VirtualCameraOnPort(0), CAMERA_FAULT_NAK, 1);
    SendMessageA(mainWindow, WM_CAMERA_EVENT, CAMERA_EVENT_CTS_ON, 0);
    EXPECT_EQ(Frames({START_UP_REQUESTS[0]}), RequestsSince(0, start));
    EXPECT_EQ(0, cameraInitialized);
    EXPECT_EQ(1, eventGate);
    EXPECT_EQ(0, commandBusy);
}

TEST_F(ConsoleTest, NestedStartUpKeepsTheCallersBusyFlag)
{
    Start("/SIM");
    uint32_t start = LogCount(0);
    EXPECT_EQ(1, InitializeCamera(&cameraDriver)); // initialized: nothing sent
    EXPECT_TRUE(RequestsSince(0, start).empty());

    CloseCamera();
    for (int outer : {1, 0})
    {
        commandBusy = outer;
        EXPECT_EQ(1, EnsureCameraReady(&cameraDriver)); // opens and initializes
        EXPECT_EQ(outer, commandBusy);
        EXPECT_EQ(1, linkOpen);
        cameraInitialized = 0;
    }
    commandBusy = 0;
}

TEST_F(ConsoleTest, InitializeCameraOperateOffAndAPortThatCannotOpen)
{
    Start("/SIM:1");
    // Initialize Camera: reopen, the sequence, home, then the pan tilter's set-up.
    uint32_t start = LogCount(0);
    SendMessageA(mainWindow, WM_SYSCOMMAND, IDM_INIT_CAMERA, 0);
    Frames expected = {SELECT_MODE_1};
    expected.insert(expected.end(), START_UP_REQUESTS.begin(), START_UP_REQUESTS.end());
    expected.push_back("03 05 11"); // HomePanTilter
    expected.push_back("03 05 10"); // SetupPanTilter
    EXPECT_EQ(expected, RequestsSince(0, start));
    EXPECT_EQ(LIGHT_GREEN, panelLights[LIGHT_OPERATE].state);

    // With OPERATE off, a re-initialization mutes, focuses by hand and sets the LED for off.
    operateMode = 0;
    cameraInitialized = 0;
    start = LogCount(0);
    EXPECT_EQ(1, EnsureCameraReady(&cameraDriver));
    Frames requests = RequestsSince(0, start);
    ASSERT_EQ(START_UP_REQUESTS.size(), requests.size());
    EXPECT_EQ(Frames({"05 08 12 01 01", "05 08 12 02 01", "05 01 10 01 01", "06 05 19 03 01 00"}),
              Frames(requests.begin() + 7, requests.begin() + 11));
    EXPECT_EQ(0, cameraSettings.autoFocus);
    EXPECT_EQ(LIGHT_IDLE, panelLights[LIGHT_OPERATE].state);

    // COM2 has neither a camera nor a device here: the open fails with its message.
    SeenBox box = WithBoxCloser([] { OpenCamera(mainWindow, 1, -1, 0); });
    EXPECT_EQ("Error initializing communications", box.text);
    EXPECT_EQ(0, linkOpen);
    EXPECT_EQ(1, operateMode);
    EXPECT_EQ(1, errorBlinking);
    EXPECT_EQ(LIGHT_RED, panelLights[LIGHT_CAMERA_2].state);

    // System commands are refused while busy; Close posts WM_CLOSE.
    commandBusy = 1;
    box = WithBoxCloser([] { SendMessageA(mainWindow, WM_SYSCOMMAND, IDM_INIT_CAMERA, 0); });
    EXPECT_FALSE(box.found) << "Initialize Camera ran while busy";
    commandBusy = 0;
    SendMessageA(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0, RunMessageLoop());
    EXPECT_FALSE(IsWindow(mainWindow));
}

TEST_F(ConsoleTest, CameraThatNeverRaisesCtsIsReportedAndItsLightBlinks)
{
    Start("/SIM:13");
    UnplugVirtualCamera(VirtualCameraOnPort(2));
    uint32_t start = LogCount(0);
    DWORD began = GetTickCount();
    int opened = 1;
    SeenBox box = WithBoxCloser([&] { opened = OpenCamera(mainWindow, 2, -1, 0); });
    EXPECT_GE(GetTickCount() - began, CTS_WAIT_MS);
    EXPECT_EQ(0, opened);
    EXPECT_EQ("HL-R8 is not connected", box.text.substr(0, 22));
    EXPECT_EQ("HLR8", box.caption);
    EXPECT_EQ(Frames({SELECT_MODE_1}), RequestsSince(0, start)) << "COM1 left in mode 1";
    EXPECT_EQ(2, settingsImage.comPortIndex);
    EXPECT_EQ(1, linkOpen);
    EXPECT_EQ(1, errorBlinking);
    EXPECT_EQ(0, commandBusy);
    EXPECT_EQ(RESULT_NOT_CONNECTED, cameraDriver.lastResult);
    EXPECT_EQ(LIGHT_RED, panelLights[LIGHT_CAMERA_3].state);
    EXPECT_EQ(LIGHT_IDLE, panelLights[LIGHT_OPERATE].state);
    static int phase;
    phase = blinkPhase;
    EXPECT_TRUE(PumpUntil([](void*) { return blinkPhase != phase; }, 0, 300))
        << "the blink timer runs";
    EXPECT_EQ(1, errorBlinking);
}

TEST_F(ConsoleTest, CommandLineSwitches)
{
    struct Case
    {
        std::string line;
        int debug;
        int rejected;
        int com3; // a camera is asked for COM3
        std::string logPath;
        std::string tracePath = "";
    } cases[] = {
        {"-D", 1, 0, 0, ""},
        {"  /Dfoo  /SIM:3", 1, 0, 1, ""},
        {"-d D /d", 0, 0, 0, ""},
        {"/SIM:5 -SIM:1x", 0, 2, 0, ""},
        {"/SIMLOG:\"C:\\log dir\\frames.log\" /SIM:3", 0, 0, 1, "C:\\log dir\\frames.log"},
        {std::string(1000, 'x') + " -D", 1, 0, 0, ""},        // longer than any buffer
        {"/SIMLOG:C:\\" + std::string(400, 'a'), 0, 1, 0, ""}, // never cut short
        {"/linelog:\"C:\\a b\\t.log\"", 0, 0, 0, "", "C:\\a b\\t.log"},
        {"/LINELOG: /LINELOG /LINELOG:\"\" -LINELOGS:x -LineLog:Z:\\x.log", 0, 3, 0, "",
         "Z:\\x.log"}, // three malformed, one another word, the last path kept
    };
    for (const Case& c : cases)
    {
        debugTitles = 0;
        rejectedSwitches = 0;
        ResetVirtualCameraOptions(&virtualCameraOptions);
        ResetLineTraceOption();
        ParseCommandLine(c.line.c_str());
        EXPECT_EQ(c.debug, debugTitles) << c.line.substr(0, 60);
        EXPECT_EQ(c.rejected, rejectedSwitches) << c.line.substr(0, 60);
        EXPECT_EQ(c.com3, virtualCameraOptions.ports[2]) << c.line.substr(0, 60);
        EXPECT_EQ(c.logPath, virtualCameraOptions.logPath) << c.line.substr(0, 60);
        EXPECT_EQ(c.tracePath, lineTrace.path) << c.line.substr(0, 60);
    }
    ParseCommandLine(0);
    ParseCommandLine("");
}

// A saved edge beyond the screen's right or bottom edge is reset at start; the window then opens
// at the default place, on the screen, and is not centred.
TEST_F(ConsoleTest, PlaceResetAtStartOpensOnScreen)
{
    for (POINT saved : {POINT{5000, 30}, POINT{40, 5000}})
    {
        SettingsImage image;
        WorkingFlags flags = {0, 0, 0, 0};
        SetSettingsDefaults(&image, &flags);
        image.windowRect.left = saved.x;
        image.windowRect.top = saved.y;
        ASSERT_EQ(1, SaveSettingsToPath(&image, SettingsPath().c_str()));
        Start("/SIM");
        RECT rect;
        GetWindowRect(mainWindow, &rect);
        EXPECT_TRUE(rect.left >= 0 && rect.left < GetSystemMetrics(SM_CXSCREEN)) << rect.left;
        EXPECT_TRUE(rect.top >= 0 && rect.top < GetSystemMetrics(SM_CYSCREEN)) << rect.top;
        EXPECT_NE((GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2, rect.left);
        Close();
        EndConsole();
        settingsSaved = 0;
    }
}

// --- Log-off ---

static const char HOME[] = "03 05 11";
static const char PAN_LEFT[] = "06 05 12 01 02 00";
static const char PAN_TILT_STOP[] = "04 05 12 02";

// What the window answered to a log-off sent from another thread, as the system sends it, and
// what stood at that moment.
struct LogOffSeen
{
    LRESULT answer = -1;
    long settingsSize = -1;
    Frames requests; // from the mark on
};

// After delayMs, WM_QUERYENDSESSION, then WM_ENDSESSION with endSession (unless it is -1)
// queued without waiting for it. A console that hangs in the handler ends the test process
// with a failure: a test that waited for it would never end.
static std::thread LogOffLater(DWORD delayMs, uint32_t mark, int endSession, LogOffSeen* seen)
{
    return std::thread([=] {
        Sleep(delayMs);
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(mainWindow, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 8000,
                                 &answer))
        {
            fprintf(stderr, "FAILED: the console hangs in WM_QUERYENDSESSION\n");
            fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        if (endSession >= 0)
            SendNotifyMessageA(mainWindow, WM_ENDSESSION, endSession, 0);
        seen->answer = (LRESULT)answer;
        seen->settingsSize = FileSize(SettingsPath());
        seen->requests = RequestsSince(0, mark);
    });
}

static void PressHome()
{
    PostMessageA(panelButtons[ID_HOME], WM_LBUTTONUP, 0, 0);
    SendMessageA(mainWindow, WM_COMMAND, ID_HOME, BN_PANEL_PRESSED);
}

// HOME pressed on a camera that answers after a second: the log-off arrives inside the
// transaction's wait. Nothing of this thread's queue is dispatched after the command.
static void HomeWithLogOffInside(int endSession, LogOffSeen* seen, uint32_t* mark)
{
    SetVirtualCameraReplyDelay(VirtualCameraOnPort(0), 1000);
    *mark = LogCount(0);
    std::thread system = LogOffLater(300, *mark, endSession, seen);
    PressHome();
    system.join();
    SetVirtualCameraReplyDelay(VirtualCameraOnPort(0), 0);
}

TEST_F(ConsoleTest, LogOffDuringACommandSavesAtOnceAndClosesTheCameraAfterIt)
{
    Start("/SIM");
    // The settings are written at once; mode 1 waits until the command has ended.
    LogOffSeen seen;
    uint32_t mark = 0;
    HomeWithLogOffInside(-1, &seen, &mark);
    EXPECT_EQ(TRUE, seen.answer);
    EXPECT_EQ(SETTINGS_IMAGE_SIZE, seen.settingsSize);
    EXPECT_EQ(Frames({HOME}), seen.requests) << "a frame nested inside the command";
    EXPECT_EQ(0, commandBusy);
    PumpFor(100);
    EXPECT_EQ(Frames({HOME, SELECT_MODE_1}), RequestsSince(0, mark));
    EXPECT_EQ(0, linkOpen);

    // Cancelled: the panel paints with its font, and HOME opens the camera again.
    SendMessageA(mainWindow, WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(0, settingsSaved) << "the next close writes the choices made since";
    EXPECT_EQ(OBJ_FONT, (int)GetObjectType(panelMetrics.labelFont));
    EXPECT_TRUE(RedrawWindow(mainWindow, 0, 0, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN));
    mark = LogCount(0);
    PressHome();
    Frames reopened = START_UP_REQUESTS;
    reopened.push_back(HOME);
    EXPECT_EQ(reopened, RequestsSince(0, mark));

    // Cancelled before the command had ended: the camera stays open, nothing more is sent.
    HomeWithLogOffInside(FALSE, &seen, &mark);
    EXPECT_EQ(TRUE, seen.answer);
    PumpFor(100);
    EXPECT_EQ(Frames({HOME}), RequestsSince(0, mark));
    EXPECT_EQ(1, linkOpen);

    // The session ends before the loop ran again: the close owed is made at once.
    HomeWithLogOffInside(-1, &seen, &mark);
    SendMessageA(mainWindow, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(Frames({HOME, SELECT_MODE_1}), RequestsSince(0, mark));
    EXPECT_EQ(0, linkOpen);
}

static uint32_t remoteMark;

static bool PanStarted(void*)
{
    Frames sent = RequestsSince(0, remoteMark);
    return !sent.empty() && sent.back() == PAN_LEFT;
}

// The remote's release could not arrive once the port is closed: the log-off stops the motion.
TEST_F(ConsoleTest, LogOffStopsAMotionTheRemoteStarted)
{
    Start("/SIM");
    remoteMark = LogCount(0);
    PressVirtualRemoteKey(VirtualCameraOnPort(0), 0xE0, 1); // pan left, held
    ASSERT_TRUE(PumpUntil(PanStarted, 0, 3000));
    EXPECT_EQ(TRUE, SendMessageA(mainWindow, WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ(Frames({PAN_LEFT, PAN_TILT_STOP, SELECT_MODE_1}), RequestsSince(0, remoteMark));
    EXPECT_EQ(0, linkOpen);
}

// --- The window's place and show command ---

// Two monitors: the primary, and one left of it.
static int OnTestMonitors(const RECT* caption)
{
    static const RECT monitors[] = {{0, 0, 1024, 768}, {-1280, 0, 0, 1024}};
    for (const RECT& monitor : monitors)
    {
        RECT common;
        if (IntersectRect(&common, &monitor, caption))
            return 1;
    }
    return 0;
}

TEST_F(ConsoleTest, ASavedPlaceIsKeptWhileTheCaptionLiesOnAMonitor)
{
    const int U = UNSET_POSITION;
    struct Case
    {
        int loaded, left, top;
        WindowPlace place;
    } cases[] = {
        {0, 40, 30, PLACE_CENTRED},          // no settings file
        {1, U, 30, PLACE_DEFAULT},           // reset at load: beyond the right edge
        {1, 40, U, PLACE_DEFAULT},           // beyond the bottom edge
        {1, 40, 30, PLACE_SAVED},
        {1, -50, 30, PLACE_SAVED},           // partly off the left edge
        {1, 1000, 740, PLACE_SAVED},         // a corner of the caption on the screen
        {1, -1000, 900, PLACE_SAVED},        // on the monitor left of the primary
        {1, -30000, -30000, PLACE_CENTRED},  // a damaged file
        {1, -1500, 100, PLACE_CENTRED},      // left of every monitor
        {1, 1100, 100, PLACE_CENTRED},       // a monitor right of the primary, unplugged
        {1, 40, -18, PLACE_CENTRED},         // the caption just above the screen
        {1, 40, -17, PLACE_SAVED},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.place, ChooseWindowPlace(c.loaded, c.left, c.top, 114, 18, OnTestMonitors))
            << c.left << "," << c.top;

    RECT onScreen = {0, 0, 114, 18}, farAway = {-30000, -30000, -29886, -29982};
    EXPECT_EQ(1, CaptionOnSomeMonitor(&onScreen));
    EXPECT_EQ(0, CaptionOnSomeMonitor(&farAway));
}

TEST_F(ConsoleTest, AMaximizedStartShowsThePanelNormally)
{
    for (int command = SW_HIDE; command <= SW_FORCEMINIMIZE; ++command)
        EXPECT_EQ(command == SW_SHOWMAXIMIZED ? SW_SHOWNORMAL : command,
                  PanelShowCommand(command))
            << command;
    EXPECT_EQ(SW_SHOWMAXIMIZED, SW_MAXIMIZE);

    Start("/SIM", SW_SHOWMAXIMIZED);
    EXPECT_FALSE(IsZoomed(mainWindow));
    EXPECT_TRUE(IsWindowVisible(mainWindow));
    SIZE size = OuterSize();
    EXPECT_EQ(114, size.cx);
    EXPECT_EQ(257 + GetSystemMetrics(SM_CYCAPTION), size.cy);
}

// A saved place on no monitor would open the console out of sight at every start (and be saved
// back): it opens centred, and that place is saved.
TEST_F(ConsoleTest, APlaceOnNoMonitorOpensCentred)
{
    SettingsImage image;
    WorkingFlags flags = {0, 0, 0, 0};
    SetSettingsDefaults(&image, &flags);
    image.windowRect.left = -30000;
    image.windowRect.top = -30000;
    ASSERT_EQ(1, SaveSettingsToPath(&image, SettingsPath().c_str()));
    Start("/SIM");
    EXPECT_EQ(1, settingsLoaded);
    EXPECT_TRUE(IsWindowVisible(mainWindow));
    RECT rect;
    GetWindowRect(mainWindow, &rect);
    SIZE size = OuterSize();
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - size.cx) / 2, rect.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - size.cy) / 2 - GetSystemMetrics(SM_CYCAPTION),
              rect.top);
    Close();
    EXPECT_EQ(rect.left, settingsImage.windowRect.left);
    EXPECT_EQ(rect.top, settingsImage.windowRect.top);
}

// --- The line trace ---

static std::string TempFile(const char* name)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + name;
}

// The frame lines of one port and direction in a trace or frame log, in order: the bytes and
// the time. Lines of other labels (bytes that make no frame) are left out.
struct FileFrame
{
    std::string bytes;
    unsigned long ms;
};

static std::vector<FileFrame> FileFrames(const std::string& path, const char* direction)
{
    std::vector<FileFrame> frames;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return frames;
    char text[256];
    while (fgets(text, sizeof text, file))
    {
        unsigned long ms = 0;
        char port[8], label[16];
        int used = 0;
        if (sscanf(text, "%lu %7s %15s %n", &ms, port, label, &used) == 3 &&
            !strcmp(port, "COM1") && !strcmp(label, direction))
            frames.push_back({std::string(text + used, strcspn(text + used, "\r\n")), ms});
    }
    fclose(file);
    return frames;
}

static bool PanStopped(void*)
{
    Frames sent = RequestsSince(0, remoteMark);
    return !sent.empty() && sent.back() == PAN_TILT_STOP;
}

// The console's trace of a run and the camera's own log hold the same frames, each direction
// in the same order, at times close together: the start-up, a remote hold (frames the reader
// thread reads and answers), HOME and the shutdown.
TEST_F(ConsoleTest, LineTraceEqualsTheCamerasFrameLog)
{
    std::string trace = TempFile("hlr8_console_trace.log");
    std::string cameraLog = TempFile("hlr8_console_frames.log");
    Start(("/LINELOG:\"" + trace + "\" /SIM /SIMLOG:\"" + cameraLog + "\"").c_str());
    EXPECT_TRUE(LineTraceIsOpen());
    remoteMark = LogCount(0);
    PressVirtualRemoteKey(VirtualCameraOnPort(0), 0xE0, 1);
    ASSERT_TRUE(PumpUntil(PanStarted, 0, 3000));
    PressVirtualRemoteKey(VirtualCameraOnPort(0), 0xE0, 0);
    ASSERT_TRUE(PumpUntil(PanStopped, 0, 3000));
    PressHome();
    PumpFor(100);
    Close();
    EndConsole();
    EXPECT_FALSE(LineTraceIsOpen());

    for (const char* direction : {"PC>CAM", "CAM>PC"})
    {
        std::vector<FileFrame> traced = FileFrames(trace, direction);
        std::vector<FileFrame> logged = FileFrames(cameraLog, direction);
        EXPECT_GT(traced.size(), 40u) << direction;
        ASSERT_EQ(logged.size(), traced.size()) << direction;
        for (size_t i = 0; i < traced.size(); ++i)
        {
            EXPECT_EQ(logged[i].bytes, traced[i].bytes) << direction << " frame " << i;
            long apart = (long)traced[i].ms - (long)logged[i].ms;
            EXPECT_LT(labs(apart), 250) << direction << " frame " << i << ": " << logged[i].ms
                                        << " ms in the camera's log";
        }
    }
    DeleteFileA(trace.c_str());
    DeleteFileA(cameraLog.c_str());
}

// A trace that cannot be written is named in one box at start; the console runs without it.
TEST_F(ConsoleTest, ALineTraceThatCannotBeWrittenIsReportedAndTheConsoleWorks)
{
    // A folder cannot be opened as a file: a place the trace cannot be written to. (A read-only
    // file would not do here: Wine under root writes it all the same.)
    std::string folder = TempFile("");
    folder.erase(folder.size() - 1);
    std::string longPath = "C:\\" + std::string(400, 'a');
    struct Case
    {
        std::string path;
        std::string message;
    } cases[] = {
        {"C:\\no such folder\\trace.log",
         "Cannot write the line trace to C:\\no such folder\\trace.log"},
        {folder, "Cannot write the line trace to " + folder},
        {longPath, "Cannot write the line trace: its path is too long (" + longPath.substr(0, 60) +
                       "...)."},
    };
    for (const Case& c : cases)
    {
        SeenBox box = WithBoxCloser([&] { Start(("/LINELOG:\"" + c.path + "\" /SIM").c_str()); });
        EXPECT_EQ(c.message, box.text);
        EXPECT_EQ("Error", box.caption);
        EXPECT_FALSE(LineTraceIsOpen());
        EXPECT_EQ(START_UP_REQUESTS, RequestsSince(0, 0)) << c.path.substr(0, 60);
        EXPECT_EQ(LIGHT_GREEN, panelLights[LIGHT_CAMERA_1].state);
        Close();
        EndConsole();
        settingsSaved = 0;
    }
}
