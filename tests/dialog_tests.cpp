// The four dialogs on the console in the test process, opened from the system menu and driven
// with the messages their controls send (WM_COMMAND, WM_HSCROLL, EN_KILLFOCUS after typed
// text). What they sent is read from the virtual camera's frame log, not from its state: the
// camera model clamps some values.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/main_window.h"
#include "app/program_start.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/panel_window.h"
#include "dialogs/preset_cycle.h"
#include "dialogs/program_options.h"
#include "panel/panel_button.h"
#include "panel/panel_layout.h"
#include "resources/dialog_ids.h"
#include "services/settings_file.h"
#include "services/window_messages.h"
#include "sim/virtual_camera.h"
#include "tests/box_closer.h"
#include "tests/console_fixture.h"
#include "tests/test_window.h"

typedef std::function<void(HWND dialog)> DialogScript;

static DialogScript dialogScript;
static bool scriptRan;

static BOOL CALLBACK FindDialog(HWND window, LPARAM found)
{
    char name[16];
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "#32770") != 0)
        return TRUE;
    *(HWND*)found = window;
    return FALSE;
}

static int scriptTimerTicks;

// Runs inside the dialog's modal loop once the dialog is shown (the loop shows it when its
// queue first runs empty): the script drives the open dialog and ends it.
static void CALLBACK RunScript(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = 0;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, (LPARAM)&dialog);
    if (++scriptTimerTicks > 500)
        KillTimer(0, timer);
    if (!dialog || !IsWindowVisible(dialog))
        return;
    KillTimer(0, timer);
    scriptRan = true;
    dialogScript(dialog);
    if (IsWindowVisible(dialog)) // an ended dialog is hidden until its loop destroys it
    {
        ADD_FAILURE() << "the dialog was left open";
        EndDialog(dialog, 0);
    }
}

// Opens a dialog with its system-menu command and runs the script in it.
static void RunDialog(UINT command, const DialogScript& script)
{
    dialogScript = script;
    scriptRan = false;
    scriptTimerTicks = 0;
    SetTimer(0, 0, 10, RunScript);
    SendMessageA(mainWindow, WM_SYSCOMMAND, command, 0);
    EXPECT_TRUE(scriptRan) << "no dialog for command " << command;
}

static void Command(HWND dialog, int id, int code = BN_CLICKED)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)GetDlgItem(dialog, id));
}

static void Type(HWND dialog, int id, const char* text)
{
    SetDlgItemTextA(dialog, id, text);
    Command(dialog, id, EN_KILLFOCUS);
}

static void Scroll(HWND dialog, int bar, int code, int thumb)
{
    SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(code, thumb), (LPARAM)GetDlgItem(dialog, bar));
}

static std::string Text(HWND window, int id = 0)
{
    char text[128] = "";
    GetWindowTextA(id ? GetDlgItem(window, id) : window, text, sizeof text);
    return text;
}

static int Position(HWND dialog, int bar)
{
    return GetScrollPos(GetDlgItem(dialog, bar), SB_CTL);
}

static bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

static bool Enabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != 0;
}

class DialogTest : public ConsoleTest
{
  protected:
    void TearDown() override
    {
        presetCycleBeep = MessageBeep;
        ConsoleTest::TearDown();
    }
};

// --- Program Options ---

struct ScrollStep
{
    int bar;
    int code;
    int thumb;
    int position;
    const char* speedText; // the pan/tilt speed box afterwards
};

// Pan/tilt pages are ten steps, zoom pages one; both bars stop at their ends; the zoom bar
// leaves the speed box alone.
static const ScrollStep OPTION_SCROLLS[] = {
    {IDC_PAN_TILT_SPEED_BAR, SB_LINELEFT, 0, 69, "69"},
    {IDC_PAN_TILT_SPEED_BAR, SB_PAGELEFT, 0, 59, "59"},
    {IDC_PAN_TILT_SPEED_BAR, SB_PAGERIGHT, 0, 69, "69"},
    {IDC_PAN_TILT_SPEED_BAR, SB_PAGERIGHT, 0, 70, "70"},
    {IDC_PAN_TILT_SPEED_BAR, SB_THUMBTRACK, 30, 30, "30"},
    {IDC_PAN_TILT_SPEED_BAR, SB_LEFT, 0, 1, "1"},
    {IDC_PAN_TILT_SPEED_BAR, SB_LINELEFT, 0, 1, "1"},
    {IDC_PAN_TILT_SPEED_BAR, SB_RIGHT, 0, 70, "70"},
    {IDC_PAN_TILT_SPEED_BAR, SB_THUMBPOSITION, 25, 25, "25"},
    {IDC_PAN_TILT_SPEED_BAR, SB_ENDSCROLL, 0, 25, "25"},
    {IDC_ZOOM_SPEED_BAR, SB_PAGELEFT, 0, 6, "25"},
    {IDC_ZOOM_SPEED_BAR, SB_LEFT, 0, 0, "25"},
    {IDC_ZOOM_SPEED_BAR, SB_LINELEFT, 0, 0, "25"},
    {IDC_ZOOM_SPEED_BAR, SB_PAGERIGHT, 0, 1, "25"},
    {IDC_ZOOM_SPEED_BAR, SB_RIGHT, 0, 7, "25"},
    {IDC_ZOOM_SPEED_BAR, SB_THUMBPOSITION, 3, 3, "25"},
};

TEST_F(DialogTest, ProgramOptionsEditsSpeedsAndSendsTiltThenPanThenZoom)
{
    Start("/SIM");
    uint32_t start = LogCount(0);
    RunDialog(IDM_PROGRAM_OPTIONS, [](HWND dialog) {
        EXPECT_EQ("Program Options", Text(dialog));
        EXPECT_EQ("9600", Text(dialog, IDC_BAUD_RATE));
        EXPECT_EQ("70", Text(dialog, IDC_PAN_TILT_SPEED_TEXT));
        EXPECT_EQ(7, Position(dialog, IDC_ZOOM_SPEED_BAR));
        EXPECT_TRUE(Checked(dialog, IDC_IR_REMOTE));
        for (const ScrollStep& step : OPTION_SCROLLS)
        {
            Scroll(dialog, step.bar, step.code, step.thumb);
            EXPECT_EQ(step.position, Position(dialog, step.bar)) << step.bar << " " << step.code;
            EXPECT_EQ(step.speedText, Text(dialog, IDC_PAN_TILT_SPEED_TEXT));
        }
        // Typed speeds: only 1..70 is taken, anything else reverts when the box is left.
        const char* const rejected[] = {"0", "71", "ab", "-5"};
        for (const char* text : rejected)
        {
            Type(dialog, IDC_PAN_TILT_SPEED_TEXT, text);
            EXPECT_EQ("25", Text(dialog, IDC_PAN_TILT_SPEED_TEXT)) << text;
        }
        Type(dialog, IDC_PAN_TILT_SPEED_TEXT, "40");
        EXPECT_EQ(40, Position(dialog, IDC_PAN_TILT_SPEED_BAR));
        Command(dialog, IDOK);
    });
    EXPECT_EQ(Frames({"07 05 12 03 02 46 28", "07 05 12 03 02 28 28", "06 01 12 04 02 03"}),
              RequestsSince(0, start));
    EXPECT_EQ(40, cameraSettings.panSpeed);
    EXPECT_EQ(40, cameraSettings.tiltSpeed);
    EXPECT_EQ(3, cameraSettings.zoomSpeed);

    // Enter in the speed box ends the dialog with the box still focused: the typed speed counts.
    start = LogCount(0);
    RunDialog(IDM_PROGRAM_OPTIONS, [](HWND dialog) {
        HWND box = GetDlgItem(dialog, IDC_PAN_TILT_SPEED_TEXT);
        SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)box, TRUE);
        EXPECT_EQ(box, GetFocus());
        SetWindowTextA(box, "33");
        Command(dialog, IDOK);
    });
    EXPECT_EQ(Frames({"07 05 12 03 02 28 21", "07 05 12 03 02 21 21"}), RequestsSince(0, start));
}

static bool IsTopmost(HWND window)
{
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

TEST_F(DialogTest, ProgramOptionsAppliesOnlyWhatChanged)
{
    Start("/SIM");
    const WorkingFlags flags = workingFlags;
    uint32_t start = LogCount(0);
    // Cancel after changing everything changes nothing.
    RunDialog(IDM_PROGRAM_OPTIONS, [](HWND dialog) {
        const int boxes[] = {IDC_ACCELERATED_SPEED, IDC_LARGE_WINDOW, IDC_ALWAYS_ON_TOP,
                             IDC_IR_REMOTE};
        for (int id : boxes)
        {
            bool before = Checked(dialog, id);
            Command(dialog, id);
            EXPECT_NE(before, Checked(dialog, id)) << id;
        }
        SendDlgItemMessageA(dialog, IDC_BAUD_RATE, CB_SETCURSEL, 2, 0);
        Command(dialog, IDC_BAUD_RATE, CBN_SELCHANGE);
        Scroll(dialog, IDC_PAN_TILT_SPEED_BAR, SB_LEFT, 0);
        Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(Frames(), RequestsSince(0, start));
    EXPECT_EQ(0, memcmp(&flags, &workingFlags, sizeof flags));
    EXPECT_EQ(1, cameraSettings.irRemoteEnabled);
    EXPECT_EQ(9600, settingsImage.baudRate);

    // Always on top alone, with the line speed in use chosen again: nothing is sent.
    RunDialog(IDM_PROGRAM_OPTIONS, [](HWND dialog) {
        Command(dialog, IDC_ALWAYS_ON_TOP);
        SendDlgItemMessageA(dialog, IDC_BAUD_RATE, CB_SETCURSEL, 1, 0);
        Command(dialog, IDC_BAUD_RATE, CBN_SELCHANGE);
        Command(dialog, IDOK);
    });
    EXPECT_EQ(Frames(), RequestsSince(0, start));
    EXPECT_TRUE(IsTopmost(mainWindow));

    // A new line speed reopens the link, which puts the speeds back to 70: a speed of 50 is then
    // sent for tilt, then for pan. The remote control keeps the choice made in the dialog.
    RunDialog(IDM_PROGRAM_OPTIONS, [](HWND dialog) {
        Command(dialog, IDC_IR_REMOTE);
        Command(dialog, IDC_ALWAYS_ON_TOP);
        Command(dialog, IDC_LARGE_WINDOW);
        SendDlgItemMessageA(dialog, IDC_BAUD_RATE, CB_SETCURSEL, 0, 0);
        Command(dialog, IDC_BAUD_RATE, CBN_SELCHANGE);
        Type(dialog, IDC_PAN_TILT_SPEED_TEXT, "50");
        Command(dialog, IDOK);
    });
    Frames expected = {SELECT_MODE_1};
    expected.insert(expected.end(), START_UP_REQUESTS.begin(), START_UP_REQUESTS.end());
    expected.insert(expected.end(), {"07 05 12 03 02 46 32", "07 05 12 03 02 32 32"});
    EXPECT_EQ(expected, RequestsSince(0, start));
    EXPECT_EQ(4800, settingsImage.baudRate);
    EXPECT_EQ(0, cameraSettings.irRemoteEnabled);
    EXPECT_FALSE(IsTopmost(mainWindow));
    EXPECT_EQ(1, workingFlags.largeWindow);
    EXPECT_EQ("Norvo HL-R8", Text(mainWindow));
}

// The operator's choice of the remote control outlasts the reopens of the link that applying
// the options may cause: a new line speed, or a closed link opened again to send a new speed.
// The choice is the console's own: nothing is sent for it.
TEST_F(DialogTest, ProgramOptionsKeepTheRemoteChoiceWhenTheLinkIsReopened)
{
    Start("/SIM");
    VirtualCamera* camera = VirtualCameraOnPort(0);
    uint32_t start = LogCount(0);
    RunDialog(IDM_PROGRAM_OPTIONS, [](HWND dialog) {
        Command(dialog, IDC_IR_REMOTE);
        SendDlgItemMessageA(dialog, IDC_BAUD_RATE, CB_SETCURSEL, 2, 0);
        Command(dialog, IDC_BAUD_RATE, CBN_SELCHANGE);
        Command(dialog, IDOK);
    });
    Frames expected = {SELECT_MODE_1};
    expected.insert(expected.end(), START_UP_REQUESTS.begin(), START_UP_REQUESTS.end());
    EXPECT_EQ(expected, RequestsSince(0, start));
    EXPECT_EQ(14400, settingsImage.baudRate);
    EXPECT_EQ(0, cameraSettings.irRemoteEnabled);
    start = LogCount(0);
    PressVirtualRemoteKey(camera, 0xE0, 1);
    PumpFor(200);
    PressVirtualRemoteKey(camera, 0xE0, 0);
    PumpFor(200);
    EXPECT_EQ(Frames(), RequestsSince(0, start)) << "the remote is ignored";

    // The link closed: the new zoom speed opens it on the way, and the remote stays off.
    CloseCamera();
    start = LogCount(0);
    RunDialog(IDM_PROGRAM_OPTIONS, [](HWND dialog) {
        EXPECT_FALSE(Checked(dialog, IDC_IR_REMOTE));
        Scroll(dialog, IDC_ZOOM_SPEED_BAR, SB_THUMBPOSITION, 3);
        Command(dialog, IDOK);
    });
    expected = START_UP_REQUESTS;
    expected.push_back("06 01 12 04 02 03");
    EXPECT_EQ(expected, RequestsSince(0, start));
    EXPECT_EQ(0, cameraSettings.irRemoteEnabled);

    // Switched on again with another line speed: on.
    RunDialog(IDM_PROGRAM_OPTIONS, [](HWND dialog) {
        Command(dialog, IDC_IR_REMOTE);
        SendDlgItemMessageA(dialog, IDC_BAUD_RATE, CB_SETCURSEL, 1, 0);
        Command(dialog, IDC_BAUD_RATE, CBN_SELCHANGE);
        Command(dialog, IDOK);
    });
    EXPECT_EQ(9600, settingsImage.baudRate);
    EXPECT_EQ(1, cameraSettings.irRemoteEnabled);
}

// --- Image Control ---

struct BarStep
{
    int bar;
    int code;
    int thumb;
    int position;
    Frames sent;
};

static const char IRIS_130[] = "06 01 14 08 00 82";

TEST_F(DialogTest, ImageControlSendsWhenBarsAreLetGoAndCancelKeepsTheCache)
{
    Start("/SIM");
    operateMode = 0;
    const int irisBefore = cameraSettings.irisLevel, agcBefore = cameraSettings.agcLevel;
    uint32_t start = LogCount(0);
    RunDialog(IDM_IMAGE_CONTROL, [](HWND dialog) {
        EXPECT_TRUE(Checked(dialog, IDC_EXPOSURE_AUTO));
        EXPECT_TRUE(Checked(dialog, IDC_WHITE_BALANCE_AUTO));
        const int bars[] = {IDC_AGC_BAR, IDC_SHUTTER_BAR, IDC_IRIS_BAR, IDC_WHITE_BALANCE_BAR};
        for (int bar : bars)
            EXPECT_FALSE(Enabled(dialog, bar)) << bar;

        uint32_t mark = LogCount(0);
        Command(dialog, IDC_EXPOSURE_MANUAL);
        EXPECT_EQ(Frames({"05 01 14 01 01", "04 01 04 03"}), RequestsSince(0, mark));
        EXPECT_TRUE(Checked(dialog, IDC_EXPOSURE_MANUAL));
        EXPECT_FALSE(Checked(dialog, IDC_EXPOSURE_AUTO));
        EXPECT_TRUE(Enabled(dialog, IDC_IRIS_BAR));
        EXPECT_FALSE(Enabled(dialog, IDC_WHITE_BALANCE_BAR));

        const BarStep steps[] = {
            {IDC_IRIS_BAR, SB_THUMBTRACK, 120, 120, {}},
            {IDC_IRIS_BAR, SB_THUMBTRACK, 130, 130, {}},
            {IDC_IRIS_BAR, SB_THUMBPOSITION, 130, 130, {IRIS_130}},
            {IDC_IRIS_BAR, SB_ENDSCROLL, 0, 130, {IRIS_130}},
            {IDC_IRIS_BAR, SB_THUMBPOSITION, 200, 169, {"06 01 14 08 00 A9"}},
            {IDC_IRIS_BAR, SB_LINELEFT, 0, 168, {"06 01 14 08 00 A8"}},
            {IDC_IRIS_BAR, SB_PAGELEFT, 0, 158, {"06 01 14 08 00 9E"}},
            {IDC_IRIS_BAR, SB_LEFT, 0, 84, {"06 01 14 08 00 54"}},
            {IDC_AGC_BAR, SB_RIGHT, 0, 127, {"06 01 14 07 00 7F"}},
            {IDC_SHUTTER_BAR, SB_THUMBPOSITION, 5, 5, {"06 01 14 06 00 05"}},
            {IDC_SHUTTER_BAR, SB_PAGERIGHT, 0, 15, {"06 01 14 06 00 0F"}},
        };
        for (const BarStep& step : steps)
        {
            mark = LogCount(0);
            Scroll(dialog, step.bar, step.code, step.thumb);
            EXPECT_EQ(step.position, Position(dialog, step.bar)) << step.bar << " " << step.code;
            EXPECT_EQ(step.sent, RequestsSince(0, mark)) << step.bar << " " << step.code;
        }

        // Manual white balance: the mode, then the level, then the bar is enabled.
        mark = LogCount(0);
        Command(dialog, IDC_WHITE_BALANCE_MANUAL);
        Scroll(dialog, IDC_WHITE_BALANCE_BAR, SB_PAGERIGHT, 0);
        EXPECT_EQ(Frames({"05 08 10 01 01", "05 08 10 02 80", "05 08 10 02 8A"}),
                  RequestsSince(0, mark));
        EXPECT_TRUE(Enabled(dialog, IDC_WHITE_BALANCE_BAR));
        Command(dialog, IDCANCEL);
    });
    // Opening switched OPERATE on first.
    Frames sent = RequestsSince(0, start);
    const Frames operateOn = {"05 08 12 01 00", "05 08 12 02 00", "05 01 10 01 00",
                              "06 05 19 00 01 00"};
    ASSERT_GE(sent.size(), operateOn.size());
    EXPECT_EQ(operateOn, Frames(sent.begin(), sent.begin() + operateOn.size()));
    EXPECT_EQ(1, operateMode);
    // Cancel: the camera keeps what was sent, the camera settings what they had.
    EXPECT_EQ(irisBefore, cameraSettings.irisLevel);
    EXPECT_EQ(agcBefore, cameraSettings.agcLevel);
    EXPECT_EQ(1, cameraSettings.exposureAuto);
    EXPECT_EQ(1, cameraSettings.whiteBalanceAuto);
    EXPECT_EQ(128, cameraSettings.whiteBalanceLevel);

    RunDialog(IDM_IMAGE_CONTROL, [](HWND dialog) {
        Command(dialog, IDC_EXPOSURE_MANUAL);
        Scroll(dialog, IDC_IRIS_BAR, SB_THUMBPOSITION, 100);
        Command(dialog, IDOK);
    });
    EXPECT_EQ(0, cameraSettings.exposureAuto);
    EXPECT_EQ(100, cameraSettings.irisLevel);
}

// --- Preset Cycle Mode ---

static int beeps;

static BOOL WINAPI CountBeep(UINT)
{
    ++beeps;
    return TRUE;
}

// One tick of timer 4, and the step it posts.
static void Tick(HWND dialog)
{
    SendMessageA(dialog, WM_TIMER, TIMER_PRESET_CYCLE, 0);
    PumpMessages();
}

// The presets read from the CCU, in the order they were recalled.
static std::string RecalledPresets(uint32_t start)
{
    std::string presets;
    for (const std::string& request : RequestsSince(0, start))
        if (request.compare(0, 11, "05 08 18 01") == 0)
            presets += request.substr(12);
    return presets;
}

TEST_F(DialogTest, PresetCycleToursSixPresetsAndCountsTheWrap)
{
    Start("/SIM -D");
    presetCycleBeep = CountBeep;
    beeps = 0;
    uint32_t start = LogCount(0);
    RunDialog(IDM_PRESET_CYCLE, [&](HWND dialog) {
        EXPECT_EQ("Preset Cycle Mode - Preset #1  InitRetry=0 ZoomStop=0", Text(dialog));
        EXPECT_EQ("100", Text(dialog, IDC_SET_CYCLES));
        EXPECT_TRUE(Checked(dialog, IDC_INTERVAL_FIRST));
        EXPECT_TRUE(Enabled(dialog, IDC_CYCLE_START));
        EXPECT_FALSE(Enabled(dialog, IDC_CYCLE_STOP));
        Command(dialog, IDC_CYCLE_STOP); // stopped already: a beep
        Command(dialog, IDCANCEL);       // Escape: nothing
        EXPECT_TRUE(IsWindowVisible(dialog));
        Type(dialog, IDC_SET_CYCLES, "0");
        EXPECT_EQ("100", Text(dialog, IDC_SET_CYCLES));
        Type(dialog, IDC_SET_CYCLES, "1");

        Command(dialog, IDC_CYCLE_START);
        EXPECT_FALSE(Enabled(dialog, IDC_CYCLE_START));
        EXPECT_TRUE(Enabled(dialog, IDC_CYCLE_STOP));
        Command(dialog, IDC_CYCLE_START); // cycling already: a beep
        for (int tick = 0; tick < 6; ++tick)
            Tick(dialog);
        EXPECT_EQ("1", Text(dialog, IDC_ACCUMULATED_CYCLES));
        EXPECT_TRUE(Enabled(dialog, IDC_CYCLE_STOP));
        Tick(dialog); // the run is over
        EXPECT_TRUE(Enabled(dialog, IDC_CYCLE_START));
        EXPECT_FALSE(Enabled(dialog, IDC_CYCLE_STOP));
        EXPECT_EQ("010203040506" "01", RecalledPresets(start));
        EXPECT_EQ(2, beeps);

        // "Accumulated Cycles" at or above "Set Cycles": the next tick ends the run unrecalled.
        Type(dialog, IDC_ACCUMULATED_CYCLES, "7");
        Type(dialog, IDC_SET_CYCLES, "3");
        Command(dialog, IDC_CYCLE_START);
        uint32_t mark = LogCount(0);
        Tick(dialog);
        EXPECT_EQ("", RecalledPresets(mark));
        EXPECT_TRUE(Enabled(dialog, IDC_CYCLE_START));
        Type(dialog, IDC_ACCUMULATED_CYCLES, "0");
        EXPECT_EQ("0", Text(dialog, IDC_ACCUMULATED_CYCLES));

        // Another interval while cycling restarts the timer: 1.5 s into a 2 s interval,
        // choosing 2 s again puts the next recall 2 s later.
        Command(dialog, IDC_CYCLE_RESET);
        Type(dialog, IDC_SET_CYCLES, "5");
        Command(dialog, IDC_CYCLE_START);
        mark = LogCount(0);
        PumpFor(1500);
        Command(dialog, IDC_INTERVAL_FIRST + 2);
        EXPECT_TRUE(Checked(dialog, IDC_INTERVAL_FIRST + 2));
        EXPECT_FALSE(Checked(dialog, IDC_INTERVAL_FIRST));
        Command(dialog, IDC_INTERVAL_FIRST);
        PumpFor(1000);
        EXPECT_EQ("", RecalledPresets(mark));
        PumpFor(1500);
        EXPECT_EQ("02", RecalledPresets(mark));
        Command(dialog, IDOK); // Exit stops the run and keeps the values
    });
    EXPECT_EQ(5, cameraSettings.presetCycleCount);
    EXPECT_EQ(0, cameraSettings.presetCycleInterval);
    EXPECT_EQ(1, cameraDriver.eventsEnabled);

    // The close box forgets what was changed.
    RunDialog(IDM_PRESET_CYCLE, [](HWND dialog) {
        Type(dialog, IDC_SET_CYCLES, "7");
        Command(dialog, IDC_INTERVAL_FIRST + 3);
        SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(5, cameraSettings.presetCycleCount);
    EXPECT_EQ(0, cameraSettings.presetCycleInterval);
}

static const char READ_PRESET_2[] = "05 08 18 01 02";
static const Frames RECOVERY = {SELECT_MODE_1, "05 08 17 01 00", "05 01 12 03 00"};

TEST_F(DialogTest, PresetCycleRecoversFromAFailedRecallAndGivesUpAfterThree)
{
    Start("/SIM -D");
    VirtualCamera* camera = VirtualCameraOnPort(0);
    RunDialog(IDM_PRESET_CYCLE, [&](HWND dialog) {
        Command(dialog, IDC_CYCLE_START);
        // One refused recall: the recovery sequence, then the recall again.
        uint32_t mark = LogCount(0);
        ArmVirtualCameraFault(camera, CAMERA_FAULT_NAK, 1);
        Tick(dialog);
        Frames expected = {READ_PRESET_2};
        expected.insert(expected.end(), RECOVERY.begin(), RECOVERY.end());
        expected.push_back(READ_PRESET_2);
        Frames sent = RequestsSince(0, mark);
        ASSERT_GE(sent.size(), expected.size());
        EXPECT_EQ(expected, Frames(sent.begin(), sent.begin() + expected.size()));
        EXPECT_EQ("Preset Cycle Mode - Preset #2  InitRetry=1 ZoomStop=0", Text(dialog));
        EXPECT_TRUE(Enabled(dialog, IDC_CYCLE_STOP));

        // Every request refused: three recalls, each followed by the recovery, then the message.
        mark = LogCount(0);
        ArmVirtualCameraFault(camera, CAMERA_FAULT_NAK, 12);
        SeenBox box = WithBoxCloser([&] { Tick(dialog); });
        EXPECT_EQ("05 08 18 01 03", RequestsSince(0, mark).front());
        EXPECT_EQ(3u * 4u, RequestsSince(0, mark).size());
        EXPECT_TRUE(box.found);
        EXPECT_EQ("NAK response received", box.text);
        EXPECT_EQ("Preset Cycle Mode - Preset #3  InitRetry=4 ZoomStop=0", Text(dialog));
        EXPECT_TRUE(Enabled(dialog, IDC_CYCLE_START));
        Command(dialog, IDOK);
    });
}

static HWND otherThanTour;
static int boxesOverTour;

static BOOL CALLBACK CloseBoxOverTour(HWND candidate, LPARAM)
{
    char name[16];
    GetClassNameA(candidate, name, sizeof name);
    if (candidate != otherThanTour && strcmp(name, "#32770") == 0 && IsWindowVisible(candidate))
    {
        ++boxesOverTour;
        PostMessageA(candidate, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

// A box the tour shows is closed (the box closer would close the tour's dialog too).
static void CALLBACK CloseBoxesOverTour(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), CloseBoxOverTour, 0);
}

// A log-off while a tour runs ends the tour: its next tick would recall on a closed port. The
// camera is closed as soon as the dialog waits for input again; a cancelled log-off leaves a
// dialog whose Start opens the camera again.
TEST_F(DialogTest, LogOffStopsAPresetTourAndClosesTheCamera)
{
    Start("/SIM");
    RunDialog(IDM_PRESET_CYCLE, [&](HWND dialog) {
        Command(dialog, IDC_CYCLE_START);
        Tick(dialog);
        uint32_t mark = LogCount(0);
        EXPECT_EQ(TRUE, SendMessageA(mainWindow, WM_QUERYENDSESSION, 0, 0));
        EXPECT_EQ(SETTINGS_IMAGE_SIZE, FileSize(SettingsPath()));
        EXPECT_TRUE(Enabled(dialog, IDC_CYCLE_START));
        EXPECT_FALSE(Enabled(dialog, IDC_CYCLE_STOP));
        otherThanTour = dialog;
        boxesOverTour = 0;
        UINT_PTR closer = SetTimer(0, 0, 20, CloseBoxesOverTour);
        PumpFor(2500); // past the 2 s interval
        KillTimer(0, closer);
        EXPECT_EQ(0, boxesOverTour) << "a message over the tour";
        EXPECT_EQ(Frames({SELECT_MODE_1}), RequestsSince(0, mark));
        EXPECT_EQ(0, linkOpen);

        SendMessageA(mainWindow, WM_ENDSESSION, FALSE, 0);
        mark = LogCount(0);
        Command(dialog, IDC_CYCLE_START);
        EXPECT_EQ("02", RecalledPresets(mark)); // where the tour stood
        EXPECT_EQ(1, linkOpen);
        Command(dialog, IDOK);
    });
}

static const char PAN_LEFT[] = "06 05 12 01 02 00";
static const char PAN_TILT_STOP[] = "04 05 12 02";
static uint32_t remoteStart;

static bool PanStarted(void*)
{
    Frames sent = RequestsSince(0, remoteStart);
    return !sent.empty() && sent.back() == PAN_LEFT;
}

// No camera event is handled while a dialog is open (Preset Cycle Mode turns them off): a motion
// the remote started must stop before the dialog opens, or its release would never stop it.
TEST_F(DialogTest, ARemoteMotionStopsBeforeADialogOpens)
{
    Start("/SIM");
    VirtualCamera* camera = VirtualCameraOnPort(0);
    remoteStart = LogCount(0);
    PressVirtualRemoteKey(camera, 0xE0, 1); // pan left, held
    ASSERT_TRUE(PumpUntil(PanStarted, 0, 3000));
    RunDialog(IDM_PRESET_CYCLE, [&](HWND dialog) {
        EXPECT_EQ(Frames({PAN_LEFT, PAN_TILT_STOP}), RequestsSince(0, remoteStart));
        PressVirtualRemoteKey(camera, 0xE0, 0);
        PumpFor(200);
        Command(dialog, IDOK);
    });
}

// The camera of port 2 is missing: the Image Control command shows the failure instead of the
// dialog and leaves OPERATE off, and a new zoom speed is not cached when the port cannot open.
TEST_F(DialogTest, AnUnreachableCameraOpensNoImageControlAndKeepsTheSpeeds)
{
    Start("/SIM:1");
    SeenBox box = WithBoxCloser([] {
        PostMessageA(panelButtons[ID_CAMERA_2], WM_LBUTTONUP, 0, 0);
        SendMessageA(mainWindow, WM_COMMAND, ID_CAMERA_2, BN_PANEL_PRESSED);
    });
    ASSERT_TRUE(box.found);
    ASSERT_EQ(0, linkOpen);
    operateMode = 0;
    box = WithBoxCloser([] { SendMessageA(mainWindow, WM_SYSCOMMAND, IDM_IMAGE_CONTROL, 0); });
    EXPECT_EQ("HLR8", box.caption); // the failure's box, not the dialog
    EXPECT_EQ(0, operateMode);

    ProgramOptionsRecord options = CurrentProgramOptions();
    options.zoomSpeed = 3;
    box = WithBoxCloser([&] { ApplyProgramOptions(mainWindow, &options); });
    EXPECT_TRUE(box.found);
    EXPECT_EQ(7, cameraSettings.zoomSpeed);
}

// --- About ---

TEST_F(DialogTest, AboutShowsTheVersionsAndIgnoresEscape)
{
    Start("/SIM");
    cameraSettings.ccuVersion = 0x21;
    cameraSettings.headVersion = 0x0A;
    cameraSettings.panTilterVersion = 0;
    RunDialog(IDM_ABOUT, [](HWND dialog) {
        EXPECT_EQ("HLR8", Text(dialog));
        EXPECT_EQ("1.03", Text(dialog, IDC_SOFTWARE_VERSION));
        EXPECT_EQ("0.21", Text(dialog, IDC_CCU_VERSION));
        EXPECT_EQ("0.0A", Text(dialog, IDC_HEAD_VERSION));
        EXPECT_EQ("0.00", Text(dialog, IDC_PAN_TILTER_VERSION));
        Command(dialog, IDCANCEL);
        EXPECT_TRUE(IsWindowVisible(dialog));
        SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
}
