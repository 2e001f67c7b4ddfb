// Every control of the console in the test process: the 29 panel buttons, the keys, the holds
// and the remote control, on virtual cameras. What they did is read from the cameras' frame
// logs (the bytes sent), not from the camera model's state. Holds are let go by real input
// (keybd_event, mouse_event) or by a lost capture or focus, injected from a second thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "app/main_window.h"
#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/panel_actions.h"
#include "control/panel_window.h"
#include "control/press_and_hold.h"
#include "control/remote_keys.h"
#include "panel/indicator_light.h"
#include "panel/panel_button.h"
#include "panel/panel_layout.h"
#include "services/settings_file.h"
#include "services/window_messages.h"
#include "sim/virtual_camera.h"
#include "tests/box_closer.h"
#include "tests/console_fixture.h"
#include "tests/test_window.h"

static const char STOP[] = "04 05 12 02";          // PanTiltStop
static const char ZOOM_STOP[] = "05 01 12 03 00";  // ZoomStop
static const char FOCUS_STOP[] = "04 01 10 04";    // FocusStop
static const char SPEED_5[] = "07 05 12 03 02 05 05";
static const char SPEED_23[] = "07 05 12 03 02 17 17";
static const char SPEED_64[] = "07 05 12 03 02 40 17";
static const char SPEED_70[] = "07 05 12 03 02 46 46"; // the configured speeds
static const char PAN_LEFT[] = "06 05 12 01 02 00";
static const Frames OPERATE_OFF = {"05 08 12 01 01", "05 08 12 02 01", "05 01 10 01 01",
                                   "06 05 19 03 01 00"};
static const Frames OPERATE_ON = {"05 08 12 01 00", "05 08 12 02 00", "05 01 10 01 00",
                                  "06 05 19 00 01 00"};

// Runs an action on a second thread after a delay; joined when it goes out of scope.
struct Later
{
    std::thread thread;
    Later(DWORD ms, std::function<void()> action)
        : thread([=] {
              Sleep(ms);
              action();
          })
    {
    }
    ~Later() { thread.join(); }
};

static void Key(BYTE key, bool up)
{
    keybd_event(key, 0, up ? KEYEVENTF_KEYUP : 0, 0);
}

static void MouseUp()
{
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

// A panel button pressed; with click set its release is already queued.
static LRESULT Press(int id, bool click = true)
{
    if (click)
        PostMessageA(panelButtons[id], WM_LBUTTONUP, 0, 0);
    return SendMessageA(mainWindow, WM_COMMAND, (WPARAM)id, BN_PANEL_PRESSED);
}

// An arrow or zoom key held from its real press until keyUpAfter ms.
static void HoldKey(BYTE key, DWORD keyUpAfter)
{
    SetFocus(mainWindow);
    Key(key, false);
    Later up(keyUpAfter, [=] { Key(key, true); });
    // The key's WM_KEYDOWN goes through the window procedure, and the hold with it; on a loaded
    // machine injected input can take a while to arrive.
    PumpFor(keyUpAfter + 150);
}

// Frames whose start matches: the first expected.size() requests.
static Frames Head(const Frames& frames, size_t count)
{
    return Frames(frames.begin(), frames.begin() + (count < frames.size() ? count : frames.size()));
}

// The requests after a start with their times, in ms from the moment the start's reply was in
// (a frame the camera receives is logged when it is complete: its write began its wire time
// earlier).
static std::vector<std::pair<std::string, int>> RequestTimes(uint32_t start, const char* startFrame)
{
    const double byteMs = 10000.0 / VIRTUAL_LINE_BAUD; // 10 bit times a byte
    std::vector<LoggedFrame> log = LogSince(0, start);
    double startedAt = -1;
    std::vector<std::pair<std::string, int>> times;
    for (size_t i = 0; i < log.size(); ++i)
    {
        const LoggedFrame& frame = log[i];
        if (startedAt < 0)
        {
            // The start, the camera's ACK and reply, then the program's ACK of the reply,
            // written the moment the reply was in: that write is when the start returned.
            if (frame.fromProgram && frame.bytes == startFrame && i + 3 < log.size())
                startedAt = log[i + 3].ms - log[i + 3].length * byteMs;
        }
        else if (frame.fromProgram && frame.bytes.compare(0, 5, "03 88") != 0)
        {
            times.push_back({frame.bytes, (int)(frame.ms - frame.length * byteMs - startedAt)});
        }
    }
    return times;
}

class Controls : public ConsoleTest
{
  protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        Start("/SIM:1234");
        SetForegroundWindow(mainWindow);
        SetFocus(mainWindow);
    }
};

TEST_F(Controls, EveryPanelButtonActsOnItsPress)
{
    struct Row
    {
        int id;
        int autoFocus;
        Frames frames; // the first requests sent
    } rows[] = {
        {ID_FOCUS_AUTO, 1, {}},
        {ID_FOCUS_AUTO, 0, {"05 01 10 01 00"}},
        {ID_FOCUS_MANUAL, 1, {"05 01 10 01 01"}},
        {ID_FOCUS_NEAR, 1, {"05 01 10 02 01", FOCUS_STOP}},
        {ID_FOCUS_FAR, 1, {"05 01 10 02 00", FOCUS_STOP}},
        {ID_PRESET, 1, {}},
        {ID_OPERATE, 1, OPERATE_OFF},
        {ID_PRESET_1, 1, {"05 08 18 01 01"}},
        {ID_PRESET_2, 1, {"05 08 18 01 02"}},
        {ID_PRESET_3, 1, {"05 08 18 01 03"}},
        {ID_PRESET_4, 1, {"05 08 18 01 04"}},
        {ID_PRESET_5, 1, {"05 08 18 01 05"}},
        {ID_PRESET_6, 1, {"05 08 18 01 06"}},
        {ID_ZOOM_WIDE, 1, {"05 01 12 01 01", ZOOM_STOP}},
        {ID_ZOOM_TELE, 1, {"05 01 12 01 00", ZOOM_STOP}},
        {ID_PAN_REVERSE, 1, {}},
        {ID_BRIGHT, 1, {"04 01 04 03", "05 01 14 04 90"}}, // 96 read, 144 sent
        {ID_PAN_LEFT, 1, {"06 05 12 01 02 00", STOP}},
        {ID_TILT_UP, 1, {"06 05 12 01 00 01", STOP}},
        {ID_HOME, 1, {"03 05 11"}},
        {ID_TILT_DOWN, 1, {"06 05 12 01 00 02", STOP}},
        {ID_PAN_RIGHT, 1, {"06 05 12 01 01 00", STOP}},
        {ID_UP_LEFT, 1, {"06 05 12 01 02 01", STOP}},
        {ID_DOWN_LEFT, 1, {"06 05 12 01 02 02", STOP}},
        {ID_UP_RIGHT, 1, {"06 05 12 01 01 01", STOP}},
        {ID_DOWN_RIGHT, 1, {"06 05 12 01 01 02", STOP}},
    };
    for (const Row& row : rows)
    {
        operateMode = 1;
        presetStoreMode = 0;
        workingFlags.panReversed = 0;
        cameraSettings.autoFocus = row.autoFocus;
        uint32_t start = LogCount(0);
        EXPECT_EQ(1, Press(row.id)) << row.id;
        Frames sent = RequestsSince(0, start);
        EXPECT_EQ(row.frames, Head(sent, row.frames.size())) << "button " << row.id;
        if (row.frames.empty())
        {
            EXPECT_TRUE(sent.empty()) << "button " << row.id;
        }
        EXPECT_EQ(BUTTON_UP, GetButtonState(panelButtons[row.id])) << row.id;
    }
    // The toggles without commands: L/R, and PRESET twice is store mode off again.
    workingFlags.panReversed = 0;
    Press(ID_PAN_REVERSE);
    EXPECT_EQ(1, workingFlags.panReversed);
    Press(ID_PRESET);
    EXPECT_EQ(1, presetStoreMode);
    Press(ID_PRESET);
    EXPECT_EQ(0, presetStoreMode);
}

TEST_F(Controls, OperateOffRefusesAllButOperateAndTheCameras)
{
    operateMode = 0;
    uint32_t start = LogCount(0);
    for (int id = 0; id < ID_CAMERA_1; ++id)
        if (id != ID_OPERATE)
        {
            EXPECT_EQ(0, SendMessageA(mainWindow, WM_COMMAND, id, BN_PANEL_PRESSED)) << id;
        }
    SendMessageA(mainWindow, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_TRUE(RequestsSince(0, start).empty());
    // Menus and accelerators (lParam 0) and a high half of 1 are not panel buttons.
    EXPECT_EQ(0, SendMessageA(mainWindow, WM_COMMAND, ID_OPERATE, 0));
    EXPECT_EQ(0, SendMessageA(mainWindow, WM_COMMAND, ID_OPERATE, MAKELPARAM(101, 1)));
    EXPECT_EQ(1, Press(ID_OPERATE));
    EXPECT_EQ(1, operateMode);
    EXPECT_EQ(OPERATE_ON, RequestsSince(0, start));
    EXPECT_EQ(LIGHT_GREEN, panelLights[LIGHT_OPERATE].state);
}

TEST_F(Controls, CameraThreeTakesOverFromCameraOne)
{
    operateMode = 0;
    uint32_t onCom1 = LogCount(0);
    uint32_t onCom3 = LogCount(2);
    EXPECT_EQ(1, Press(ID_CAMERA_3));
    EXPECT_EQ(Frames({SELECT_MODE_1}), RequestsSince(0, onCom1));
    EXPECT_EQ(START_UP_REQUESTS, RequestsSince(2, onCom3));
    EXPECT_EQ(2, settingsImage.comPortIndex);
    EXPECT_EQ(1, operateMode);
    EXPECT_EQ(LIGHT_IDLE, panelLights[LIGHT_CAMERA_1].state);
    EXPECT_EQ(LIGHT_GREEN, panelLights[LIGHT_CAMERA_3].state);
    EXPECT_EQ(BUTTON_UP, GetButtonState(panelButtons[ID_CAMERA_3]));
}

TEST_F(Controls, BrightStepsAndPresetStoreMode)
{
    ASSERT_EQ(0, SetBrightness(&cameraDriver, 80));
    uint32_t start = LogCount(0);
    for (int i = 0; i < 3; ++i)
        Press(ID_BRIGHT);
    Frames levels;
    for (const std::string& frame : RequestsSince(0, start))
        if (frame.compare(0, 11, "05 01 14 04") == 0)
            levels.push_back(frame.substr(12));
    EXPECT_EQ(Frames({"60", "90", "48"}), levels) << "96, 144, 72";

    start = LogCount(0);
    Press(ID_PRESET);
    Press(ID_PRESET_3);
    Frames stored = RequestsSince(0, start);
    ASSERT_EQ(4u, stored.size());
    EXPECT_EQ("0D 08 18 02 03 03", stored[3].substr(0, 17)) << "preset 3 written";
    EXPECT_EQ(0, presetStoreMode);
    start = LogCount(0);
    Press(ID_PRESET_3);
    EXPECT_EQ("05 08 18 01 03", RequestsSince(0, start).at(0)) << "then recalled";
}

TEST_F(Controls, PanReversedSwapsPanelArrowsAndKeysButNotTheRemote)
{
    workingFlags.panReversed = 1;
    uint32_t start = LogCount(0);
    Press(ID_PAN_LEFT);
    Press(ID_UP_LEFT);
    HoldKey(VK_LEFT, 100);
    PressVirtualRemoteKey(VirtualCameraOnPort(0), 0xE0, 1);
    PumpFor(300);
    PressVirtualRemoteKey(VirtualCameraOnPort(0), 0xE0, 0);
    PumpFor(300);
    EXPECT_EQ(Frames({"06 05 12 01 01 00", STOP, "06 05 12 01 01 01", STOP, "06 05 12 01 01 00",
                      STOP, "06 05 12 01 02 00", STOP}),
              RequestsSince(0, start));

    // The reversed key hold lasts while the Left key is down, though it moves right.
    start = LogCount(0);
    HoldKey(VK_LEFT, 400);
    auto times = RequestTimes(start, "06 05 12 01 01 00");
    ASSERT_EQ(1u, times.size());
    EXPECT_GT(times[0].second, 250) << "the stop came before the key went up";
}

// Waits until the camera on a port (COM1 unless said) has received count requests since start.
static Frames WaitForRequests(uint32_t start, size_t count, int port = 0)
{
    DWORD began = GetTickCount();
    Frames sent;
    while ((sent = RequestsSince(port, start)).size() < count && GetTickCount() - began < 5000)
        PumpFor(10);
    PumpFor(30);
    return RequestsSince(port, start);
}

// One accelerated hold of the left-arrow button for holdMs; the requests it sent.
static Frames AcceleratedHold(DWORD holdMs, uint32_t* start)
{
    *start = LogCount(0);
    {
        Later up(holdMs, MouseUp);
        Press(ID_PAN_LEFT, false);
    }
    return RequestsSince(0, *start);
}

// The speed steps' lateness in ms beyond 500 and 2500 ms; {-1, -1} when they are missing.
static std::pair<int, int> StepLateness(uint32_t start)
{
    auto times = RequestTimes(start, "06 05 12 01 02 00");
    if (times.size() != 4)
        return {-1, -1};
    return {times[0].second - 500, times[1].second - 2500};
}

TEST_F(Controls, AcceleratedHoldsStepUpTheSpeedOnTime)
{
    workingFlags.acceleratedSpeed = 1;
    uint32_t start = 0;
    EXPECT_EQ(Frames({SPEED_5, "06 05 12 01 02 00", STOP, SPEED_70}), AcceleratedHold(400, &start));
    // Each step within 5 ms of its time, in at least one of three holds: on a loaded two-core
    // machine a single wake-up of the test's thread can come late.
    std::pair<int, int> lateness;
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        EXPECT_EQ(Frames({SPEED_5, "06 05 12 01 02 00", SPEED_23, SPEED_64, STOP, SPEED_70}),
                  AcceleratedHold(3000, &start));
        lateness = StepLateness(start);
        if (lateness.first >= -5 && lateness.first <= 5 && lateness.second >= -5 &&
            lateness.second <= 5)
            break;
    }
    EXPECT_NEAR(0, lateness.first, 5) << "23/23 after 500 ms";
    EXPECT_NEAR(0, lateness.second, 5) << "64/23 after 2500 ms";

    // A speed step the camera refuses ends the hold at once, and the moving camera is stopped.
    start = LogCount(0);
    DWORD began = GetTickCount();
    {
        Later refuse(250, [] { ArmVirtualCameraFault(VirtualCameraOnPort(0), CAMERA_FAULT_NAK, 1); });
        Later up(1500, MouseUp);
        Press(ID_PAN_LEFT, false);
        EXPECT_LT(GetTickCount() - began, 1000u);
    }
    EXPECT_EQ(Frames({SPEED_5, "06 05 12 01 02 00", SPEED_23, STOP, SPEED_70}),
              RequestsSince(0, start))
        << "the camera answers, so the configured speeds go back at once";
}

// A stop that fails is sent again (the camera may be moving), unless the port is closed and
// nothing can be sent at all.
static int fakeStopCalls;
static ResultCode fakeStopResult;
static ResultCode FakeStop(CameraDriver*)
{
    ++fakeStopCalls;
    return fakeStopResult;
}

TEST_F(Controls, AFailedStopIsSentAgainUnlessThePortIsClosed)
{
    struct Row
    {
        ResultCode result;
        int portOpen;
        int calls;
    } rows[] = {
        {RESULT_OK, 1, 1},          {RESULT_NAK, 1, 2},        {RESULT_TIMEOUT, 1, 2},
        {RESULT_BAD_LENGTH, 1, 2},  {RESULT_READ_ERROR, 1, 2}, {RESULT_WRITE_ERROR, 1, 2},
        {RESULT_WRITE_ERROR, 0, 1}, {RESULT_TIMEOUT, 0, 1},
    };
    static CameraDriver driver;
    for (const Row& row : rows)
    {
        driver.portOpen = row.portOpen;
        fakeStopCalls = 0;
        fakeStopResult = row.result;
        EXPECT_EQ(row.result, SendStop(&driver, FakeStop));
        EXPECT_EQ(row.calls, fakeStopCalls) << row.result << " port open " << row.portOpen;
    }

    // On the line: a stop whose reply never comes is sent again after the time-out.
    uint32_t start = LogCount(0);
    {
        VirtualCamera* camera = VirtualCameraOnPort(0);
        Later lose(100, [=] { ArmVirtualCameraFault(camera, CAMERA_FAULT_DROP_REPLY, 1); });
        Later up(200, MouseUp);
        Press(ID_PAN_LEFT, false);
    }
    EXPECT_EQ(Frames({"06 05 12 01 02 00", STOP, STOP}), RequestsSince(0, start));
}

// A ramp speed left in the camera by a failed stop goes back: at once while the camera answers,
// else with the initialization that the failure makes the next move run first; the remote ramp
// shares the rule.
TEST_F(Controls, ConfiguredSpeedsComeBackAfterAFailedAcceleratedStop)
{
    static const char LEFT[] = "06 05 12 01 02 00";
    VirtualCamera* camera = VirtualCameraOnPort(0);
    struct Row
    {
        bool remote;
        int refusals; // requests refused from the stop on
        Frames accelerated;
        Frames next; // the following move with acceleration off
    } rows[] = {
        {false, 2, {SPEED_5, LEFT, STOP, STOP, SPEED_70}, {LEFT, STOP}},
        {false, 3, {SPEED_5, LEFT, STOP, STOP, SPEED_70}, {LEFT, STOP}},
        {true, 3, {SPEED_5, LEFT, STOP, STOP, SPEED_70}, {LEFT, STOP}},
    };
    for (const Row& row : rows)
    {
        workingFlags.acceleratedSpeed = 1;
        uint32_t start = LogCount(0);
        if (row.remote)
        {
            PressVirtualRemoteKey(camera, 0xE0, 1);
            WaitForRequests(start, 2);
            ArmVirtualCameraFault(camera, CAMERA_FAULT_NAK, row.refusals);
            PressVirtualRemoteKey(camera, 0xE0, 0);
            WaitForRequests(start, row.accelerated.size());
        }
        else
        {
            int refusals = row.refusals;
            Later refuse(150, [=] { ArmVirtualCameraFault(camera, CAMERA_FAULT_NAK, refusals); });
            Later up(250, MouseUp);
            Press(ID_PAN_LEFT, false);
        }
        EXPECT_EQ(row.accelerated, RequestsSince(0, start)) << row.refusals << " refused";

        // A failure drops the camera's initialization: it runs again first, and its pan/tilt
        // speeds are the configured ones; then only the move's own requests are compared.
        workingFlags.acceleratedSpeed = 0;
        start = LogCount(0);
        ASSERT_EQ(1, EnsureCameraReady(&cameraDriver));
        Frames init = RequestsSince(0, start);
        EXPECT_NE(init.end(), std::find(init.begin(), init.end(), SPEED_70)) << "initialization";
        start = LogCount(0);
        if (row.remote)
        {
            PressVirtualRemoteKey(camera, 0xE0, 1);
            WaitForRequests(start, row.next.size() - 1);
            PressVirtualRemoteKey(camera, 0xE0, 0);
            WaitForRequests(start, row.next.size());
        }
        else
        {
            Press(ID_PAN_LEFT);
        }
        EXPECT_EQ(row.next, RequestsSince(0, start)) << row.refusals << " refused";
    }
}

TEST_F(Controls, KeyHoldSwallowsRepeatsAndEndsAtAnyKeyUp)
{
    uint32_t start = LogCount(0);
    SetFocus(mainWindow);
    Key(VK_LEFT, false);
    {
        Later repeat(100, [] { Key(VK_LEFT, false); }); // auto-repeat
        Later shift(200, [] {
            Key(VK_SHIFT, false);
            Key(VK_SHIFT, true);
        });
        PumpFor(350);
    }
    Frames sent = RequestsSince(0, start);
    Key(VK_LEFT, true);
    PumpFor(50);
    EXPECT_EQ(Frames({"06 05 12 01 02 00", STOP}), sent);

    start = LogCount(0);
    HoldKey(VK_ADD, 200);
    HoldKey(VK_SUBTRACT, 200);
    EXPECT_EQ(Frames({"05 01 12 01 00", ZOOM_STOP, "05 01 12 01 01", ZOOM_STOP}),
              RequestsSince(0, start));
}

TEST(KeyRepeat, AllowanceFollowsTheKeyboardSettings)
{
    struct Row
    {
        int delay, speed, repeats;
        DWORD ms;
    } rows[] = {
        {0, 31, 0, 500},  {1, 31, 0, 750},  {3, 0, 0, 1250}, // before the first repeat
        {-1, 31, 0, 500}, {7, 31, 0, 1250},                  // settings out of range
        {1, 31, 1, 250},  {1, 31, 9, 250},                   // 30 a second: the floor
        {1, 0, 1, 800},   {1, 5, 1, 288},   {1, 15, 1, 250}, // 2.5 a second: two periods
        {1, 99, 1, 250},  {1, -3, 1, 800},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.ms, KeyRepeatAllowanceMs(row.delay, row.speed, row.repeats))
            << row.delay << " " << row.speed << " " << row.repeats;
}

static bool TwoRequests(void* since)
{
    return RequestsSince(0, *(uint32_t*)since).size() >= 2;
}

// As under X without a window manager when the key is let go over another window: no WM_KEYUP,
// no focus change, and the key still reads down. Only the repeats stop.
TEST_F(Controls, KeyHoldEndsWhenItsAutoRepeatStops)
{
    int delay = 1, speed = 31;
    SystemParametersInfoA(SPI_GETKEYBOARDDELAY, 0, &delay, 0);
    SystemParametersInfoA(SPI_GETKEYBOARDSPEED, 0, &speed, 0);
    const DWORD firstAllowance = KeyRepeatAllowanceMs(delay, speed, 0);
    const DWORD allowance = KeyRepeatAllowanceMs(delay, speed, 1);

    uint32_t start = LogCount(0);
    SetFocus(mainWindow);
    Key(VK_LEFT, false);
    std::atomic<DWORD> lastRepeat(GetTickCount());
    DWORD began = GetTickCount();
    DWORD ended;
    const DWORD until = firstAllowance + 300; // repeats until well past the first allowance
    {
        Later repeats(100, [&] {
            for (DWORD at = 100; at <= until; at += 100)
            {
                // Bit 30 of lParam: the key was down already, an auto-repeat.
                PostMessageA(mainWindow, WM_KEYDOWN, VK_LEFT, 0x40000001);
                lastRepeat = GetTickCount();
                Sleep(100);
            }
        });
        // Ends a hold that missed the end of the repeats.
        Later rescue(until + allowance + 1500, [] { Key(VK_LEFT, true); });
        PumpUntil(TwoRequests, &start, until + allowance + 2000);
        ended = GetTickCount();
    }
    Frames sent = RequestsSince(0, start);
    Key(VK_LEFT, true);
    PumpFor(50);
    EXPECT_EQ(Frames({"06 05 12 01 02 00", STOP}), sent) << "one movement, stopped";
    EXPECT_GT(ended - began, firstAllowance + 150) << "the repeats kept the hold going";
    EXPECT_LE(ended - lastRepeat, allowance + 150) << "stopped soon after the last repeat";
    EXPECT_GE(ended - lastRepeat, allowance - 30) << "not before its time";
}

// Under X without a window manager the keys follow the pointer: a key let go after the pointer
// left the window is never seen. Until the first repeat the pointer leaving ends the hold; once
// the key repeats, only the repeats count.
TEST_F(Controls, KeyHoldEndsWhenThePointerLeavesBeforeTheFirstRepeat)
{
    RECT area;
    GetWindowRect(mainWindow, &area);
    struct Row
    {
        DWORD repeatsUntil; // repeats posted every 100 ms from 100 ms until then (0: none)
        DWORD leaveAt;      // when the pointer leaves the window
        DWORD endsAfter;    // the hold ends no sooner
        DWORD endsBefore;   // and no later
    } rows[] = {
        {0, 200, 200, 350},    // no repeat yet: the pointer decides
        {700, 250, 700, 1300}, // repeating: the pointer no longer counts, the repeats do
    };
    for (const Row& row : rows)
    {
        SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
        uint32_t start = LogCount(0);
        SetFocus(mainWindow);
        Key(VK_UP, false);
        DWORD began = GetTickCount();
        DWORD ended;
        {
            Later repeats(100, [&] {
                for (DWORD at = 100; at <= row.repeatsUntil; at += 100, Sleep(100))
                    PostMessageA(mainWindow, WM_KEYDOWN, VK_UP, 0x40000001);
            });
            Later leave(row.leaveAt, [&] { SetCursorPos(area.right + 50, area.bottom + 50); });
            Later rescue(1800, [] { Key(VK_UP, true); }); // ends a hold that missed its end
            PumpUntil(TwoRequests, &start, 2000);
            ended = GetTickCount();
        }
        Key(VK_UP, true);
        PumpFor(50);
        EXPECT_EQ(Frames({"06 05 12 01 00 01", STOP}), RequestsSince(0, start)) << row.leaveAt;
        EXPECT_GE(ended - began, row.endsAfter) << "repeats until " << row.repeatsUntil;
        EXPECT_LE(ended - began, row.endsBefore) << "repeats until " << row.repeatsUntil;
    }
}

// A key hold that ends early leaves no queued repeat behind to start another movement.
TEST_F(Controls, KeyHoldThatFailsDiscardsItsQueuedRepeats)
{
    struct Row
    {
        int accelerated;
        Frames frames;
    } rows[] = {
        {0, {"06 05 12 01 00 01"}}, // the start refused
        {1, {SPEED_5, SPEED_70}},   // the first speed refused, the configured ones back
    };
    for (const Row& row : rows)
    {
        workingFlags.acceleratedSpeed = row.accelerated;
        ASSERT_EQ(1, EnsureCameraReady(&cameraDriver)) << "after the refusal of the row before";
        ArmVirtualCameraFault(VirtualCameraOnPort(0), CAMERA_FAULT_NAK, 1);
        for (int i = 0; i < 100; ++i) // more than one look at the queue takes
            PostMessageA(mainWindow, WM_KEYDOWN, VK_UP, 0x40000001);
        PostMessageA(mainWindow, WM_KEYUP, VK_UP, 0xC0000001);
        uint32_t start = LogCount(0);
        SendMessageA(mainWindow, WM_KEYDOWN, VK_UP, 1);
        MSG left;
        EXPECT_FALSE(PeekMessageA(&left, 0, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE))
            << "key messages still queued";
        PumpFor(200);
        EXPECT_EQ(row.frames, RequestsSince(0, start)) << "accelerated " << row.accelerated;
    }
}

static HWND StealFocus()
{
    HWND other = CreateWindowA("STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, 0, 0, 0, 0);
    SetForegroundWindow(other);
    SetFocus(other);
    return other;
}

TEST_F(Controls, HoldsStopWhenTheOperatorLetsGoAnyWay)
{
    // The keyboard focus leaves during a key hold: its WM_KEYUP will go elsewhere.
    uint32_t start = LogCount(0);
    SetFocus(mainWindow);
    Key(VK_UP, false);
    {
        Later steal(300, [] {
            HWND other = StealFocus();
            Sleep(500);
            Key(VK_UP, true);
            DestroyWindow(other);
        });
        DWORD began = GetTickCount();
        PumpUntil([](void* since) { return RequestsSince(0, *(uint32_t*)since).size() >= 2; },
                  &start, 700);
        EXPECT_LT(GetTickCount() - began, 750u) << "the hold waited for the key-up";
    }
    EXPECT_EQ(Frames({"06 05 12 01 00 01", STOP}), RequestsSince(0, start)) << "focus lost";
    SetForegroundWindow(mainWindow);
    SetFocus(mainWindow);

    // The capture is taken from a pan/tilt button and from a zoom button.
    for (int id : {ID_DOWN_RIGHT, ID_ZOOM_TELE})
    {
        start = LogCount(0);
        HWND button = panelButtons[id];
        DWORD began = GetTickCount();
        {
            // Not SendMessage: this thread may be joining the other when it sends.
            Later cancel(300, [=] { SendNotifyMessageA(button, WM_CANCELMODE, 0, 0); });
            Later rescue(1500, MouseUp); // ends a hold that missed the lost capture
            Press(id, false);
            EXPECT_LT(GetTickCount() - began, 1000u) << "the hold waited for the mouse";
        }
        PumpFor(100); // the rescue's button-up, if it came, is not left for the next hold
        Frames sent = RequestsSince(0, start);
        ASSERT_EQ(2u, sent.size()) << id;
        EXPECT_EQ(id == ID_ZOOM_TELE ? ZOOM_STOP : STOP, sent[1]) << "capture lost";
    }
}

// A remote key frame handed to the main window as the reader thread posts it.
static void RemoteFrame(uint8_t code, uint8_t state)
{
    uint8_t frame[] = {0x05, 0x05, 0x38, state, code};
    SendMessageA(mainWindow, WM_CAMERA_EVENT, CAMERA_EVENT_FRAME, (LPARAM)frame);
}

static Frames Joined(std::initializer_list<Frames> parts)
{
    Frames all;
    for (const Frames& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(Controls, RemoteKeysActOnPressAndReleaseMirroredOnTheirButtons)
{
    struct Row
    {
        uint8_t code;
        int button;
        Frames onPress;
        Frames onRelease; // the first requests
    } rows[] = {
        {0x00, ID_FOCUS_MANUAL, {}, {"05 01 10 01 01"}},
        {0x70, ID_FOCUS_AUTO, {}, {"05 01 10 01 00"}},
        {0x01, ID_HOME, {}, {"03 05 11"}},
        {0x10, ID_PRESET_1, {}, {"05 08 18 01 01"}},
        {0x20, ID_PRESET_2, {}, {"05 08 18 01 02"}},
        {0x30, ID_PRESET_3, {}, {"05 08 18 01 03"}},
        {0x40, ID_PRESET_4, {}, {"05 08 18 01 04"}},
        {0x50, ID_PRESET_5, {}, {"05 08 18 01 05"}},
        {0x60, ID_PRESET_6, {}, {"05 08 18 01 06"}},
        {0x11, -1, {}, {}},
        {0xA1, -1, {}, {}},
        {0x41, ID_OPERATE, {}, OPERATE_OFF},
        {0x41, ID_OPERATE, {}, OPERATE_ON},
        {0x51, ID_PRESET, {}, {}},
        {0x51, ID_PRESET, {}, {}},
        {0x80, ID_FOCUS_NEAR, {"05 01 10 02 01"}, {FOCUS_STOP}},
        {0x90, ID_FOCUS_FAR, {"05 01 10 02 00"}, {FOCUS_STOP}},
        {0x91, ID_BRIGHT, {}, {"04 01 04 03"}},
        {0xA0, ID_ZOOM_WIDE, {"05 01 12 01 01"}, {ZOOM_STOP}},
        {0xB0, ID_ZOOM_TELE, {"05 01 12 01 00"}, {ZOOM_STOP}},
        {0xC0, ID_TILT_UP, {"06 05 12 01 00 01"}, {STOP}},
        {0xD0, ID_TILT_DOWN, {"06 05 12 01 00 02"}, {STOP}},
        {0xE0, ID_PAN_LEFT, {"06 05 12 01 02 00"}, {STOP}},
        {0xF0, ID_PAN_RIGHT, {"06 05 12 01 01 00"}, {STOP}},
    };
    VirtualCamera* camera = VirtualCameraOnPort(0);
    int state = 1;
    for (const Row& row : rows)
    {
        state = state % 3 + 1; // any nonzero state byte is a press
        uint32_t start = LogCount(0);
        PressVirtualRemoteKey(camera, row.code, state);
        Frames sent = WaitForRequests(start, row.onPress.size());
        EXPECT_EQ(row.onPress, sent) << "press " << std::hex << (int)row.code;
        if (row.button >= 0)
        {
            EXPECT_EQ(BUTTON_PRESSED, GetButtonState(panelButtons[row.button]));
        }
        start = LogCount(0);
        PressVirtualRemoteKey(camera, row.code, 0);
        sent = WaitForRequests(start, row.onRelease.size());
        EXPECT_EQ(row.onRelease, Head(sent, row.onRelease.size()))
            << "release " << std::hex << (int)row.code;
        if (row.button >= 0)
        {
            EXPECT_EQ(BUTTON_UP, GetButtonState(panelButtons[row.button]));
        }
    }
}

// Store mode ends only with a store that succeeded, by the same rule on the panel and on the
// remote: after a refused store the next preset press stores again instead of recalling,
// which would move the camera.
TEST_F(Controls, PresetStoreModeEndsOnlyWhenTheStoreSucceeds)
{
    struct Way
    {
        const char* name;
        void (*press)(int id, uint8_t code);
    } ways[] = {
        {"panel", [](int id, uint8_t) { Press(id); }},
        {"remote", [](int, uint8_t code) {
             RemoteFrame(code, 1);
             RemoteFrame(code, 0);
         }},
    };
    for (const Way& way : ways)
    {
        way.press(ID_PRESET, 0x51);
        ASSERT_EQ(1, presetStoreMode) << way.name;
        ArmVirtualCameraFault(VirtualCameraOnPort(0), CAMERA_FAULT_NAK, 1);
        uint32_t start = LogCount(0);
        way.press(ID_PRESET_3, 0x30);
        EXPECT_EQ(Frames({"04 05 04 02"}), RequestsSince(0, start)) << way.name << ", refused";
        EXPECT_EQ(1, presetStoreMode) << way.name << ", store refused";
        way.press(ID_PRESET_3, 0x30);
        EXPECT_EQ(0, presetStoreMode) << way.name << ", stored";
        Frames sent = RequestsSince(0, start);
        EXPECT_EQ(1, std::count_if(sent.begin(), sent.end(), [](const std::string& frame) {
                      return frame.compare(0, 17, "0D 08 18 02 03 03") == 0;
                  })) << way.name << ", preset 3 written once";
        EXPECT_EQ(sent.end(), std::find(sent.begin(), sent.end(), "05 08 18 01 03"))
            << way.name << ", never recalled";
    }
}

// The action table: every button's row at its control id, with what its kind runs; only
// OPERATE and the CAMERA buttons act with OPERATE off.
TEST(PanelActions, EveryButtonHasItsRowAndWhatItsKindRuns)
{
    for (int id = 0; id < PANEL_BUTTON_COUNT; ++id)
    {
        const PanelAction& row = PANEL_ACTIONS[id];
        EXPECT_EQ(id, row.id);
        EXPECT_EQ(id == ID_OPERATE || id >= ID_CAMERA_1, row.alwaysActive != 0) << id;
        if (row.kind == ACTION_CLICK)
        {
            EXPECT_TRUE(row.click != 0) << id;
        }
        else
        {
            EXPECT_TRUE(ActionStartCommand(&row) != 0) << id;
            EXPECT_TRUE(row.kind == ACTION_PAN_TILT || row.stop != 0) << id;
        }
    }
}

TEST_F(Controls, RemoteRefusalsAndUnknownCodes)
{
    struct Case
    {
        uint8_t frame[6];
        const char* text; // 0: no box
    } cases[] = {
        {{0x05, 0x01, 0x32, 0x00, 0x00}, "Unknown Camera Head Notification 0x12"},
        {{0x05, 0x01, 0x72, 0x00, 0x00}, 0}, // an error report
        {{0x05, 0x08, 0x25, 0x00, 0x00}, "Unknown Video Adapter Notification 0x05"},
        {{0x05, 0x05, 0x3C, 0x00, 0x00}, "Unknown Pan/Tilter Notification 0x1C"},
        {{0x05, 0x05, 0x38, 0x01, 0xF5}, "Unknown REMOTE Notification 0xF5"},
        {{0x05, 0x05, 0x38, 0x01, 0x12}, "Unknown REMOTE Notification 0x12"},
        {{0x05, 0x05, 0x38, 0x01, 0x11}, 0},
        {{0x05, 0x85, 0x38, 0x01, 0xF5}, 0}, // an acknowledgement
        {{0x05, 0x03, 0x38, 0x01, 0xF5}, 0}, // another unit
    };
    for (const Case& c : cases)
    {
        SeenBox box = WithBoxCloser([&] {
            SendMessageA(mainWindow, WM_CAMERA_EVENT, CAMERA_EVENT_FRAME, (LPARAM)c.frame);
        });
        EXPECT_EQ(c.text != 0, box.found) << Hex(c.frame, 5);
        if (c.text)
        {
            EXPECT_EQ(c.text, box.text);
        }
    }

    uint32_t start = LogCount(0);
    uint8_t left[] = {0x05, 0x05, 0x38, 0x01, 0xE0};
    uint8_t operate[] = {0x05, 0x05, 0x38, 0x00, 0x41};
    cameraSettings.irRemoteEnabled = 0;
    SendMessageA(mainWindow, WM_CAMERA_EVENT, CAMERA_EVENT_FRAME, (LPARAM)operate);
    cameraSettings.irRemoteEnabled = 1;
    operateMode = 0;
    SendMessageA(mainWindow, WM_CAMERA_EVENT, CAMERA_EVENT_FRAME, (LPARAM)left);
    EXPECT_TRUE(RequestsSince(0, start).empty()) << "remote disabled, OPERATE off";
    SendMessageA(mainWindow, WM_CAMERA_EVENT, CAMERA_EVENT_FRAME, (LPARAM)operate);
    EXPECT_EQ(OPERATE_ON, RequestsSince(0, start));
}

TEST_F(Controls, RemoteRampStepsOnTimeAndTheReleaseRestoresTheSpeeds)
{
    workingFlags.acceleratedSpeed = 1;
    VirtualCamera* camera = VirtualCameraOnPort(0);
    uint32_t start = LogCount(0);
    PressVirtualRemoteKey(camera, 0xC0, 1);
    PumpFor(3000);
    PressVirtualRemoteKey(camera, 0xC0, 0);
    PumpFor(300);
    EXPECT_EQ(Frames({SPEED_5, "06 05 12 01 00 01", SPEED_23, SPEED_64, STOP, SPEED_70}),
              RequestsSince(0, start));
    auto times = RequestTimes(start, "06 05 12 01 00 01");
    ASSERT_EQ(4u, times.size());
    EXPECT_NEAR(500, times[0].second, 20) << "23/23 by the ramp timer";
    EXPECT_NEAR(2500, times[1].second, 30) << "64/23";
    // A step queued before the release is dropped: the configured speeds stay.
    start = LogCount(0);
    SendMessageA(mainWindow, WM_RAMP_STEP, 0, 0);
    EXPECT_TRUE(RequestsSince(0, start).empty());
}

TEST_F(Controls, RemoteReleaseDroppedWhileBusyStillStops)
{
    VirtualCamera* camera = VirtualCameraOnPort(0);
    uint32_t start = LogCount(0);
    PressVirtualRemoteKey(camera, 0xB0, 1); // zoom tele
    WaitForRequests(start, 1);
    commandBusy = 1; // as while a message box of a busy handler is up
    PressVirtualRemoteKey(camera, 0xB0, 0);
    PressVirtualRemoteKey(camera, 0xA0, 1); // a press meanwhile stays dropped
    PumpFor(200);
    EXPECT_EQ(Frames({"05 01 12 01 00"}), RequestsSince(0, start)) << "nothing while busy";
    commandBusy = 0;
    SendMessageA(mainWindow, WM_KEYDOWN, VK_F1, 0); // any handler that ends
    PumpFor(100);
    EXPECT_EQ(Frames({"05 01 12 01 00", ZOOM_STOP}), RequestsSince(0, start));

    // OPERATE switched off while the remote pans: its release still stops the camera.
    start = LogCount(0);
    PressVirtualRemoteKey(camera, 0xE0, 1);
    WaitForRequests(start, 1);
    operateMode = 0;
    PressVirtualRemoteKey(camera, 0xE0, 0);
    EXPECT_EQ(Frames({"06 05 12 01 02 00", STOP}), WaitForRequests(start, 2));
}

// With the remote ignored (its option off, or OPERATE off) the release of a remote motion key
// still stops the motion it started; a release with nothing moving passes no further.
TEST_F(Controls, IgnoredRemoteReleasesStopOnlyARunningMotion)
{
    struct Switch
    {
        const char* name;
        int* flag;
    } switches[] = {{"remote off", &cameraSettings.irRemoteEnabled}, {"OPERATE off", &operateMode}};
    struct Motion
    {
        uint8_t code;
        const char* start;
        const char* stop;
    } motions[] = {
        {0xE0, PAN_LEFT, STOP},
        {0xB0, "05 01 12 01 00", ZOOM_STOP},
        {0x90, "05 01 10 02 00", FOCUS_STOP},
    };
    for (const Switch& off : switches)
    {
        for (const Motion& motion : motions)
        {
            *off.flag = 0;
            uint32_t start = LogCount(0);
            RemoteFrame(motion.code, 0);
            EXPECT_EQ(Frames(), RequestsSince(0, start))
                << off.name << ", nothing moves, " << std::hex << (int)motion.code;
            *off.flag = 1;
            RemoteFrame(motion.code, 1);
            *off.flag = 0;
            RemoteFrame(motion.code, 0);
            RemoteFrame(motion.code, 0); // once more: stopped already
            EXPECT_EQ(Frames({motion.start, motion.stop}), RequestsSince(0, start))
                << off.name << ", moving, " << std::hex << (int)motion.code;
            *off.flag = 1;
        }
    }
}

// A frame of length byte n has n + 1 bytes, the last its checksum; what follows it in a ring
// slot is left from an earlier frame, here the state and code of the left arrow. Each reader of
// event frames is fed every length too short for the bytes it reads: none may act on stale
// bytes. A whole remote key frame (n = 5) acts, as the last row of each reader shows.
TEST_F(Controls, ShortFramesAreNotReadPastTheirEnd)
{
    struct Reader
    {
        const char* name;
        uint8_t keyState;
        void (*feed)(const uint8_t* frame);
        Frames whole; // what the whole frame sends
    } readers[] = {
        {"DispatchNotification", 1,
         [](const uint8_t* frame) {
             SendMessageA(mainWindow, WM_CAMERA_EVENT, CAMERA_EVENT_FRAME, (LPARAM)frame);
         },
         {PAN_LEFT}},
        {"NoteDroppedCameraEvent", 0,
         [](const uint8_t* frame) {
             commandBusy = 1; // dropped, and noted if it is a motion key's release
             SendMessageA(mainWindow, WM_CAMERA_EVENT, CAMERA_EVENT_FRAME, (LPARAM)frame);
             commandBusy = 0;
             SendMessageA(mainWindow, WM_KEYDOWN, VK_F1, 0); // a handler ends: owed stops go
         },
         {STOP}},
    };
    const uint8_t WHOLE = 5;
    for (const Reader& reader : readers)
    {
        for (uint8_t length = 0; length <= WHOLE; ++length)
        {
            uint8_t slot[8] = {length, 0x05, 0x38, reader.keyState, 0xE0, 0xE0, 0xE0, 0xE0};
            uint32_t start = LogCount(0);
            reader.feed(slot);
            PumpFor(50);
            EXPECT_EQ(length == WHOLE ? reader.whole : Frames(), RequestsSince(0, start))
                << reader.name << ", length byte " << (int)length;
        }
    }
}

// Another camera or Initialize Camera reopens the link: a motion the remote started stops on its
// own camera before that camera's port closes (its release would arrive on a closed port), and
// its ramp ends there: no ramp speed reaches the camera opened next.
TEST_F(Controls, ARemoteMotionStopsOnItsCameraBeforeTheLinkIsReopened)
{
    static const Frames INITIALIZE_CAMERA =
        Joined({{SELECT_MODE_1}, START_UP_REQUESTS, {"03 05 11", "03 05 10"}});
    struct Row
    {
        const char* reopen;
        int accelerated;
        int fromPort;
        int toPort;
        std::function<void()> action;
        Frames onOldPort; // from the remote press on
    } rows[] = {
        {"CAMERA 2, accelerated", 1, 0, 1, [] { Press(ID_CAMERA_2); },
         {SPEED_5, PAN_LEFT, STOP, SPEED_70, SELECT_MODE_1}},
        {"CAMERA 3", 0, 1, 2, [] { Press(ID_CAMERA_3); }, {PAN_LEFT, STOP, SELECT_MODE_1}},
        {"Initialize Camera, accelerated", 1, 2, 2,
         [] { SendMessageA(mainWindow, WM_SYSCOMMAND, IDM_INIT_CAMERA, 0); },
         Joined({{SPEED_5, PAN_LEFT, STOP, SPEED_70}, INITIALIZE_CAMERA})},
        // OPERATE switched off while the remote moves the camera: its stop still goes out.
        {"OPERATE off, CAMERA 1", 0, 2, 0,
         [] {
             operateMode = 0;
             Press(ID_CAMERA_1);
         },
         {PAN_LEFT, STOP, SELECT_MODE_1}},
    };
    for (const Row& row : rows)
    {
        workingFlags.acceleratedSpeed = row.accelerated;
        uint32_t start = LogCount(row.fromPort);
        uint32_t onNewPort = LogCount(row.toPort);
        PressVirtualRemoteKey(VirtualCameraOnPort(row.fromPort), 0xE0, 1);
        WaitForRequests(start, row.accelerated ? 2 : 1, row.fromPort);
        row.action();
        PumpFor(800); // past the first ramp step, had the ramp survived
        EXPECT_EQ(row.onOldPort, RequestsSince(row.fromPort, start)) << row.reopen;
        if (row.toPort != row.fromPort)
        {
            EXPECT_EQ(START_UP_REQUESTS, RequestsSince(row.toPort, onNewPort)) << row.reopen;
        }
        EXPECT_EQ(BUTTON_UP, GetButtonState(panelButtons[ID_PAN_LEFT])) << row.reopen;
    }
}

// OPERATE pressed while the link is closed: the reopen switches OPERATE on, as every open does,
// and the press still ends in the state the operator asked for, on the panel and on the remote.
TEST_F(Controls, OperatePressedWithTheLinkClosedEndsInTheStateAsked)
{
    struct Way
    {
        const char* name;
        void (*press)();
    } ways[] = {
        {"panel", [] { Press(ID_OPERATE); }},
        {"remote", [] {
             RemoteFrame(REMOTE_KEY_OPERATE, 1);
             RemoteFrame(REMOTE_KEY_OPERATE, 0);
         }},
    };
    for (const Way& way : ways)
    {
        for (int before : {0, 1})
        {
            CloseCamera();
            ASSERT_EQ(0, linkOpen);
            operateMode = before;
            uint32_t start = LogCount(0);
            way.press();
            EXPECT_EQ(!before, operateMode) << way.name << ", OPERATE was " << before;
            EXPECT_EQ(Joined({START_UP_REQUESTS, before ? OPERATE_OFF : OPERATE_ON}),
                      RequestsSince(0, start))
                << way.name << ", OPERATE was " << before;
            EXPECT_EQ(before ? LIGHT_IDLE : LIGHT_GREEN, panelLights[LIGHT_OPERATE].state)
                << way.name << ", OPERATE was " << before;
        }
    }
}
