// The panel's button and light controls as real windows under Wine's null graphics driver:
// notifications to a recording parent, release tracking, and pixels read back from a DIB.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "panel/indicator_light.h"
#include "panel/panel_button.h"
#include "panel/panel_colors.h"
#include "tests/dib_canvas.h"
#include "tests/test_window.h"

const int BUTTON_ID = 16;
const UINT WM_TAKE_CAPTURE = WM_APP + 7; // the parent takes the mouse capture itself
const COLORREF UNTOUCHED = RGB(1, 2, 3);
const COLORREF OWN_COLOR = RGB(10, 20, 30);

static LPARAM notices[8]; // the button's WM_COMMAND codes and any WM_MOUSEMOVE, in order
static int noticeCount;
static int trackOnPress; // the parent tracks the release inside its press handling

static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TAKE_CAPTURE)
        SetCapture(window);
    if (message == WM_MOUSEMOVE)
        notices[noticeCount++ % 8] = WM_MOUSEMOVE;
    if (message != WM_COMMAND || wParam != BUTTON_ID)
        return DefWindowProcA(window, message, wParam, lParam);
    notices[noticeCount++ % 8] = lParam;
    if (trackOnPress && lParam == BN_PANEL_PRESSED)
        TrackButtonRelease(GetDlgItem(window, BUTTON_ID));
    return 0;
}

// A parent window with one large button and one light of a non-black own colour.
struct PanelControls : testing::Test
{
    HWND parent, button, light;
    void SetUp() override
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.hInstance = GetModuleHandleA(0);
        windowClass.lpszClassName = "PanelControlTestParent";
        RegisterClassA(&windowClass); // fails harmlessly after the first time
        parent = CreateWindowA("PanelControlTestParent", "", WS_POPUP, 0, 0, 200, 200, 0, 0,
                               GetModuleHandleA(0), 0);
        button = CreatePanelButton(parent, "AUTO", BUTTON_ID, 10, 10, 31, 15);
        light = CreateIndicatorLight(parent, 30, 50, 50, LIGHT_IDLE, OWN_COLOR);
        ASSERT_TRUE(button && light);
        PumpMessages();
        noticeCount = trackOnPress = 0;
    }
    void TearDown() override
    {
        DestroyWindow(parent);
    }
};

TEST_F(PanelControls, ButtonNotifiesPressThenReleaseAndItsStateSetsEnabling)
{
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(BUTTON_PRESSED, GetButtonState(button));
    SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ASSERT_EQ(2, noticeCount);
    EXPECT_TRUE(notices[0] == BN_PANEL_PRESSED && notices[1] == BN_PANEL_RELEASED);
    const struct
    {
        int state;
        BOOL enabled;
    } steps[] = {{2, 0}, {0, 1}, {2, 0}, {1, 1}, {5, 1}};
    for (const auto& step : steps)
    {
        SetButtonState(button, step.state);
        EXPECT_EQ(step.state, GetButtonState(button));
        EXPECT_EQ(step.enabled, IsWindowEnabled(button)) << "state " << step.state;
    }
}

// How a tracked press ends: a release queued before the press, or, RELEASE_AFTER_MS later from
// another thread, a release, a WM_CANCELMODE sent to the button, the capture taken by another
// window.
enum TrackingEnd
{
    QUEUED_RELEASE,
    LATER_RELEASE,
    CANCEL_MODE,
    CAPTURE_TAKEN
};
const DWORD RELEASE_AFTER_MS = 200;
struct TrackingScenario
{
    TrackingEnd end;
    HWND button;
    HANDLE loopEnded;
};

static DWORD WINAPI EndTracking(void* context)
{
    TrackingScenario* scenario = (TrackingScenario*)context;
    Sleep(RELEASE_AFTER_MS);
    if (scenario->end == LATER_RELEASE)
        PostMessageA(scenario->button, WM_LBUTTONUP, 0, 0);
    else if (scenario->end == CANCEL_MODE)
        SendMessageA(scenario->button, WM_CANCELMODE, 0, 0);
    else
        SendMessageA(GetParent(scenario->button), WM_TAKE_CAPTURE, 0, 0);
    // A loop that missed its end is released later, so that the test fails rather than hangs.
    if (WaitForSingleObject(scenario->loopEnded, 2000) == WAIT_TIMEOUT)
        PostMessageA(scenario->button, WM_LBUTTONUP, 0, 0);
    return 0;
}

TEST_F(PanelControls, TrackedPressGivesOnlyThePressAndEndsOnReleaseOrLostCapture)
{
    trackOnPress = 1;
    for (TrackingEnd end : {QUEUED_RELEASE, LATER_RELEASE, CANCEL_MODE, CAPTURE_TAKEN})
    {
        noticeCount = 0;
        const UINT kept[] = {WM_APP + 1, WM_KEYDOWN, WM_TIMER};
        for (UINT message : kept)
            PostMessageA(parent, message, 0, 0);
        PostMessageA(parent, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(60, 40)); // discarded
        if (end == QUEUED_RELEASE)
            PostMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(60, 40)); // outside the button
        TrackingScenario scenario = {end, button, CreateEventA(0, TRUE, FALSE, 0)};
        HANDLE thread =
            end == QUEUED_RELEASE ? 0 : CreateThread(0, 0, EndTracking, &scenario, 0, 0);
        long long cpuBefore = ProcessCpuMs();
        DWORD start = GetTickCount();
        SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        DWORD elapsed = GetTickCount() - start;
        long long cpu = ProcessCpuMs() - cpuBefore;
        SetEvent(scenario.loopEnded);
        if (thread)
            WaitForSingleObject(thread, INFINITE), CloseHandle(thread);
        CloseHandle(scenario.loopEnded);
        printf("tracking end %d: %lu ms, %lld ms CPU\n", (int)end, elapsed, cpu);

        EXPECT_EQ(BUTTON_UP, GetButtonState(button)) << "end " << end;
        EXPECT_NE(button, GetCapture());
        ReleaseCapture();
        MSG message;
        EXPECT_FALSE(PeekMessageA(&message, 0, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE));
        for (UINT keptMessage : kept)
            EXPECT_TRUE(PeekMessageA(&message, parent, keptMessage, keptMessage, PM_REMOVE));
        PumpMessages();
        EXPECT_TRUE(noticeCount == 1 && notices[0] == BN_PANEL_PRESSED) << "end " << end;
        EXPECT_GE(elapsed + 20, end == QUEUED_RELEASE ? 0 : RELEASE_AFTER_MS) << "end " << end;
        EXPECT_LT(elapsed, end == QUEUED_RELEASE ? 100u : 1000u) << "end " << end;
        EXPECT_LT(cpu * 3, (long long)RELEASE_AFTER_MS) << "end " << end; // a spin takes half
    }
}

// The large button (31 x 15): 'c' corner, always grey; 'u' grey when up (or disabled); 'p'
// grey when pressed; '.' black.
static const char* const BUTTON_ART[15] = {
    "c.............................c", "...............................",
    "..uuuuuuuuuuuuuuuuuuuuuuuuuuup.", "..u..........................p.",
    "..u..........................p.", "..u..........................p.",
    "..u..........................p.", "..u..........................p.",
    "..u..........................p.", "..u..........................p.",
    "..u..........................p.", "..u..........................p.",
    "..u..........................p.", "..ppppppppppppppppppppppppppp..",
    "c.............................c",
};

TEST_F(PanelControls, ButtonPaintsTheHighlightPictureInBothColourModes)
{
    DibCanvas canvas;
    ASSERT_TRUE(CreateDibCanvas(&canvas, 31, 15));
    const struct
    {
        int highColor;
        COLORREF grey;
    } modes[] = {{1, RGB(81, 81, 81)}, {0, StockBrushColor(GRAY_BRUSH)}};
    for (const auto& mode : modes)
        for (int state : {0, 1, 2, 5})
        {
            highColorDisplay = mode.highColor;
            FillCanvas(&canvas, UNTOUCHED);
            PaintButton(button, canvas.dc, state);
            std::string expected, drawn;
            for (int y = 0; y < 15; ++y, expected += '\n', drawn += '\n')
                for (int x = 0; x < 31; ++x)
                {
                    char art = BUTTON_ART[y][x];
                    bool grey = art == 'c' || (art == 'u' && (state == 1 || state == 2)) ||
                                (art == 'p' && state == 0);
                    expected += grey ? '#' : '.';
                    COLORREF pixel = CanvasPixel(&canvas, x, y);
                    drawn += pixel == mode.grey ? '#' : pixel == 0 ? '.' : '?';
                }
            EXPECT_EQ(expected, drawn) << "high colour " << mode.highColor << ", state " << state;
        }
    highColorDisplay = 1;
    DestroyDibCanvas(&canvas);
}

TEST_F(PanelControls, LightPaintsBodyAndCornersPerStateAndMovesAtItsSize)
{
    EXPECT_FALSE(IsWindowEnabled(light));
    DibCanvas canvas;
    ASSERT_TRUE(CreateDibCanvas(&canvas, 3, 3));
    const struct
    {
        int state;
        COLORREF body, corner;
    } table[] = {
        {0, RGB(0, 0, 0), RGB(0, 0, 0)},
        {1, OWN_COLOR, OWN_COLOR},
        {2, RGB(255, 0, 0), RGB(136, 0, 0)},
        {3, RGB(0, 255, 0), RGB(0, 136, 0)},
        {4, RGB(0, 0, 255), RGB(0, 0, 136)},
        {5, RGB(0, 255, 255), RGB(0, 136, 136)},
        {6, RGB(255, 0, 255), RGB(136, 0, 136)},
        {7, RGB(255, 255, 0), RGB(136, 136, 0)},
        {8, UNTOUCHED, UNTOUCHED},
        {-1, UNTOUCHED, UNTOUCHED},
    };
    for (const auto& row : table)
    {
        FillCanvas(&canvas, UNTOUCHED);
        SetLightState(light, row.state);
        PaintLight(light, canvas.dc);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ((x != 1 && y != 1) ? row.corner : row.body, CanvasPixel(&canvas, x, y))
                    << "state " << row.state << " at " << x << "," << y;
    }
    DestroyDibCanvas(&canvas);
    MoveIndicatorLight(light, 70, 40);
    RECT place;
    GetWindowRect(light, &place);
    MapWindowPoints(0, parent, (POINT*)&place, 2);
    EXPECT_TRUE(place.left == 70 && place.top == 40 && place.right == 73 && place.bottom == 43);
}

TEST_F(PanelControls, DestroyingALightDeletesItsOwnBrushOnce)
{
    int slotBefore = GdiSlotProbe();
    HWND second = CreateIndicatorLight(parent, 31, 60, 60, LIGHT_IDLE, OWN_COLOR);
    // The light keeps its brush in the pointer-sized slot after its int32 state.
    HGDIOBJ ownBrush = (HGDIOBJ)GetWindowLongPtrA(second, sizeof(LONG_PTR));
    EXPECT_EQ(OBJ_BRUSH, (int)GetObjectType(ownBrush));
    DestroyWindow(second);
    EXPECT_EQ(0, (int)GetObjectType(ownBrush));
    EXPECT_EQ(slotBefore, GdiSlotProbe());
}

TEST_F(PanelControls, AThousandPaintsLeaveNoObjectBehind)
{
    DibCanvas canvas;
    ASSERT_TRUE(CreateDibCanvas(&canvas, 31, 15));
    SetLightState(light, LIGHT_RED); // the window's first DC comes from a cache that keeps it
    int slotBefore = GdiSlotProbe();
    int markBefore = GdiSlotMark();
    for (int i = 0; i < 1000; ++i)
    {
        PaintButton(button, canvas.dc, i % 3);
        SetLightState(light, i % 8);
        PaintLight(light, canvas.dc);
    }
    EXPECT_EQ(slotBefore, GdiSlotProbe());
    EXPECT_EQ(markBefore, GdiSlotMark());
    DestroyDibCanvas(&canvas);
}
