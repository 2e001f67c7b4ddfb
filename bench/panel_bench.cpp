// Times whole-panel paints: the median and 95th percentile of 200 paints of each size into a
// memory device context, in both colour modes. Prints one line per case.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "panel/panel_colors.h"
#include "panel/panel_layout.h"
#include "panel/panel_painter.h"

const int PAINTS = 200;
const int WARM_UP_PAINTS = 10;

static double NowMs()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * (double)now.QuadPart / (double)frequency.QuadPart;
}

static HWND CreatePanelWindow()
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(0);
    windowClass.lpszClassName = "HLR8PanelBench";
    RegisterClassA(&windowClass);
    return CreateWindowA("HLR8PanelBench", "", WS_POPUP, 0, 0, panelMetrics.panelWidth,
                         panelMetrics.panelHeight, 0, 0, GetModuleHandleA(0), 0);
}

static void TimePaints(int large, int highColor)
{
    highColorDisplay = highColor;
    SetupPanelLayout(large);
    HWND window = CreatePanelWindow();
    HDC screen = GetDC(0);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap =
        CreateCompatibleBitmap(screen, panelMetrics.panelWidth, panelMetrics.panelHeight);
    HGDIOBJ previous = SelectObject(dc, bitmap);

    std::vector<double> times;
    for (int i = 0; i < WARM_UP_PAINTS + PAINTS; ++i)
    {
        double start = NowMs();
        PaintPanel(window, dc);
        GdiFlush();
        if (i >= WARM_UP_PAINTS)
            times.push_back(NowMs() - start);
    }
    std::sort(times.begin(), times.end());
    printf("%-5s panel %3d x %3d, %-10s: median %.3f ms, p95 %.3f ms, max %.3f ms (%d paints)\n",
           large ? "large" : "small", panelMetrics.panelWidth, panelMetrics.panelHeight,
           highColor ? "high colour" : "16 colours", times[times.size() / 2],
           times[times.size() * 95 / 100], times.back(), PAINTS);

    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(0, screen);
    DestroyWindow(window);
}

int main()
{
    for (int large = 1; large >= 0; --large)
        for (int highColor = 1; highColor >= 0; --highColor)
            TimePaints(large, highColor);
    return 0;
}
