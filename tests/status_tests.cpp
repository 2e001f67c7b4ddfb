// The status indication on a real panel (lights and buttons as children of a test window that
// routes the main window's status messages), the error boxes and the wait cursor.
#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

#include "control/control_state.h"
#include "control/error_report.h"
#include "control/panel_lights.h"
#include "control/panel_window.h"
#include "panel/indicator_light.h"
#include "panel/panel_button.h"
#include "services/settings_file.h"
#include "services/wait_cursor.h"
#include "services/window_messages.h"
#include "tests/box_closer.h"
#include "tests/test_window.h"

// --- A panel window with the status reactions of the main window ---

static LRESULT CALLBACK PanelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_TIMER:
        OnBlinkTimer(window, wParam);
        return 0;
    case WM_BLINK_TICK:
        OnBlinkTick();
        return 0;
    case WM_CAMERA_POWER:
        OnCameraPower(wParam);
        return 0;
    case WM_LINK_STATUS:
        OnLinkStatus(wParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The light as shown (its window's state), which the blinking changes without the record.
static int ShownLight(int index)
{
    return (int)GetWindowLongA(panelLights[index].window, 0);
}

class PanelStatus : public ::testing::Test
{
  protected:
    HWND window = 0;

    void SetUp() override
    {
        WNDCLASSA windowClass;
        memset(&windowClass, 0, sizeof windowClass);
        windowClass.lpfnWndProc = PanelWindowProc;
        windowClass.hInstance = GetModuleHandleA(0);
        windowClass.lpszClassName = "HLR8StatusTestPanel";
        RegisterClassA(&windowClass);
        workingFlags.largeWindow = 0;
        SetupPanelLayout(workingFlags.largeWindow);
        for (PanelLight& light : panelLights)
            light.state = LIGHT_IDLE;
        window = CreateWindowA("HLR8StatusTestPanel", "HLR8", WS_POPUP | WS_VISIBLE, 0, 0,
                               panelMetrics.panelWidth, panelMetrics.panelHeight, 0, 0,
                               GetModuleHandleA(0), 0);
        ASSERT_NE(nullptr, window);
        ASSERT_EQ(1, CreatePanelControls(window));
        settingsImage.comPortIndex = 1;
        linkOpen = 1;
        operateMode = 1;
        cameraInitialized = 1;
        cameraDriver.cameraReady = 1;
        errorBlinking = 0;
    }

    void TearDown() override
    {
        DestroyWindow(window);
        mainWindow = 0;
        memset(panelButtons, 0, sizeof panelButtons);
        for (PanelLight& light : panelLights)
            light.window = 0;
        PumpMessages();
    }
};

TEST_F(PanelStatus, ControlsAreCreatedWithTheirIdsTextsAndPlaces)
{
    for (int id = 0; id < PANEL_BUTTON_COUNT; ++id)
    {
        HWND button = panelButtons[id];
        ASSERT_NE(nullptr, button) << "button " << id;
        EXPECT_EQ(id, GetDlgCtrlID(button));
        char text[32];
        GetWindowTextA(button, text, sizeof text);
        const char* label = panelMetrics.layout[id].label;
        EXPECT_STREQ(label ? label : "", text) << "button " << id;
        RECT rect;
        GetWindowRect(button, &rect);
        MapWindowPoints(0, window, (POINT*)&rect, 2);
        EXPECT_EQ(panelMetrics.layout[id].x, rect.left) << "button " << id;
        EXPECT_EQ(panelMetrics.layout[id].y, rect.top) << "button " << id;
        EXPECT_EQ(panelMetrics.buttonWidth, rect.right - rect.left);
    }
    for (int i = 0; i < PANEL_LIGHT_COUNT; ++i)
    {
        EXPECT_EQ(ID_LIGHT_CAMERA_1 + i, GetDlgCtrlID(panelLights[i].window));
        // Lights stay above the buttons they sit on.
        POINT centre = {panelLights[i].x + 1, panelLights[i].y + 1};
        EXPECT_EQ(panelLights[i].window, ChildWindowFromPointEx(window, centre, CWP_ALL))
            << "light " << i;
    }
    // The "ZOOM" row has no control: 29 buttons and 5 lights, nothing else.
    int children = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        ++children;
    EXPECT_EQ(PANEL_BUTTON_COUNT + PANEL_LIGHT_COUNT, children);
}

TEST_F(PanelStatus, OperateLightIsGreenOnlyWithEverythingInOrder)
{
    for (int bits = 0; bits < 16; ++bits)
    {
        linkOpen = bits & 1;
        operateMode = (bits >> 1) & 1;
        cameraDriver.cameraReady = (bits >> 2) & 1;
        errorBlinking = (bits >> 3) & 1;
        UpdateOperateLight();
        int wanted = bits == 7 ? LIGHT_GREEN : LIGHT_IDLE;
        EXPECT_EQ(wanted, panelLights[LIGHT_OPERATE].state) << "case " << bits;
        EXPECT_EQ(wanted, ShownLight(LIGHT_OPERATE)) << "case " << bits;
    }
    errorBlinking = 0;
}

// A failure while the camera light is green: red and black every 100 ms, OPERATE idle, pressed
// buttons up; a second failure report changes nothing; recovery shows green again and queued
// ticks do nothing.
TEST_F(PanelStatus, AFailureBlinksThePortLightUntilTheLinkRecovers)
{
    ShowNormalState();
    UpdateOperateLight();
    ASSERT_EQ(LIGHT_GREEN, ShownLight(1));
    ASSERT_EQ(LIGHT_GREEN, ShownLight(LIGHT_OPERATE));
    SetButtonState(panelButtons[ID_PAN_LEFT], BUTTON_PRESSED);

    SendMessageA(window, WM_LINK_STATUS, 1, 0);
    EXPECT_EQ(1, errorBlinking);
    EXPECT_EQ(0, cameraInitialized);
    EXPECT_EQ(LIGHT_RED, panelLights[1].state);
    EXPECT_EQ(LIGHT_IDLE, ShownLight(LIGHT_OPERATE));
    EXPECT_EQ(BUTTON_UP, GetButtonState(panelButtons[ID_PAN_LEFT]));
    for (int i : {0, 2, 3})
        EXPECT_EQ(LIGHT_IDLE, ShownLight(i)) << "other port " << i;

    // Watch the light for a while: it alternates, about every 100 ms.
    std::vector<std::pair<DWORD, int>> changes;
    DWORD start = GetTickCount();
    int shown = ShownLight(1);
    int phaseBefore = -1;
    while (GetTickCount() - start < 650)
    {
        PumpFor(1);
        if (ShownLight(1) != shown)
        {
            shown = ShownLight(1);
            changes.push_back({GetTickCount() - start, shown});
        }
        if (changes.size() == 3 && phaseBefore < 0)
        {
            phaseBefore = blinkPhase;
            SendMessageA(window, WM_LINK_STATUS, 1, 0); // already blinking: nothing changes
            EXPECT_EQ(phaseBefore, blinkPhase);
            EXPECT_EQ(shown, ShownLight(1));
        }
    }
    ASSERT_GE(changes.size(), 4u);
    for (size_t i = 0; i < changes.size(); ++i)
    {
        EXPECT_EQ(i % 2 == 0 ? LIGHT_OFF : LIGHT_RED, changes[i].second) << "change " << i;
        if (i > 0)
        {
            DWORD gap = changes[i].first - changes[i - 1].first;
            EXPECT_GE(gap, 60u) << "change " << i;
            EXPECT_LE(gap, 250u) << "change " << i;
        }
    }

    PostMessageA(window, WM_BLINK_TICK, 0, 0); // a tick still queued at recovery
    SendMessageA(window, WM_LINK_STATUS, 0, 0);
    EXPECT_EQ(0, errorBlinking);
    PumpFor(300);
    EXPECT_EQ(LIGHT_GREEN, ShownLight(1));
    EXPECT_EQ(LIGHT_GREEN, ShownLight(LIGHT_OPERATE));
}

TEST_F(PanelStatus, PortLightsFollowThePortAndTheCameraPower)
{
    SendMessageA(window, WM_CAMERA_POWER, 1, 0);
    EXPECT_EQ(LIGHT_GREEN, ShownLight(1));
    SendMessageA(window, WM_CAMERA_POWER, 0, 0);
    EXPECT_EQ(LIGHT_IDLE, ShownLight(1));

    // No port open: every port light idle.
    for (int i = 0; i < 4; ++i)
        SetPanelLight(i, LIGHT_GREEN);
    linkOpen = 0;
    ShowNormalState();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(LIGHT_IDLE, ShownLight(i)) << "port " << i;

    // A port outside COM1..COM4 has no light: the indication runs without one.
    settingsImage.comPortIndex = 7;
    EXPECT_EQ(-1, PortLightIndex());
    ShowErrorState();
    EXPECT_EQ(1, errorBlinking);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(LIGHT_IDLE, ShownLight(i)) << "port " << i;
    SetPanelLight(-1, LIGHT_RED); // ignored
    ShowNormalState();
}

// --- Message boxes: found and closed by a thread timer while they run (box_closer.h) ---

TEST_F(PanelStatus, ReportErrorShowsAnHlr8BoxAndReleasesPressedButtons)
{
    SetButtonState(panelButtons[ID_ZOOM_TELE], BUTTON_PRESSED);
    SeenBox box =
        WithBoxCloser([] { ReportError("Unknown Pan/Tilter Notification 0x%02X", 0x1C); });
    ASSERT_TRUE(box.found);
    EXPECT_EQ("HLR8", box.caption);
    EXPECT_EQ("Unknown Pan/Tilter Notification 0x1C", box.text);
    EXPECT_EQ(window, box.owner);
    EXPECT_TRUE(box.hasOk);
    EXPECT_FALSE(box.hasCancel);
    EXPECT_EQ(BUTTON_UP, GetButtonState(panelButtons[ID_ZOOM_TELE]));

    // A text longer than a box takes is cut, not copied past its buffer.
    std::string longText(600, 'x');
    box = WithBoxCloser([&] { ReportError("%s", longText.c_str()); });
    EXPECT_EQ(std::string(MESSAGE_TEXT_SIZE - 1, 'x'), box.text);

    cameraDriver.lastResult = -9;
    box = WithBoxCloser([] { ShowResultMessage(&cameraDriver, -9); });
    EXPECT_EQ("HL-R8 is not responding\n", box.text.substr(0, 24));
}

TEST_F(PanelStatus, ShowErrorBoxIsTaskModalWithoutOwnerAndReleasesNothing)
{
    SetButtonState(panelButtons[ID_HOME], BUTTON_PRESSED);
    SeenBox box =
        WithBoxCloser([] { ShowErrorBox("Error setting system timer"); }, mainWindow);
    ASSERT_TRUE(box.found);
    EXPECT_EQ("Error", box.caption);
    EXPECT_EQ("Error setting system timer", box.text);
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_FALSE(box.watchedWindowEnabled) << "a task-modal box disables the thread's windows";
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_EQ(BUTTON_PRESSED, GetButtonState(panelButtons[ID_HOME]));
}

// --- Wait cursor ---

TEST(WaitCursor, CallsDoNotNestAndTheFirstEndRestores)
{
    HCURSOR arrow = LoadCursorA(0, (LPCSTR)IDC_ARROW);
    HCURSOR wait = LoadCursorA(0, (LPCSTR)IDC_WAIT);
    EXPECT_EQ(nullptr, EndWaitCursor()); // nothing begun: nothing happens
    SetCursor(arrow);
    BeginWaitCursor();
    EXPECT_EQ(wait, GetCursor());
    BeginWaitCursor();
    EXPECT_EQ(arrow, EndWaitCursor());
    EXPECT_EQ(arrow, GetCursor());
    EXPECT_EQ(nullptr, EndWaitCursor());

    // No cursor before: nothing is remembered, and the hourglass stays.
    SetCursor(0);
    BeginWaitCursor();
    EXPECT_EQ(nullptr, EndWaitCursor());
    EXPECT_EQ(wait, GetCursor());
    SetCursor(arrow);
}
