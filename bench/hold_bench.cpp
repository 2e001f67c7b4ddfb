// Press-and-hold figures on the console in this process (virtual camera on COM1, 9600 baud):
// - release to stop: from the moment the button's WM_LBUTTONUP is posted to the moment the
//   first byte of PanTiltStop is written to the line; median and 95th percentile of HOLDS
//   holds of the left-arrow button;
// - the process's CPU time during a 3 s hold.
// Usage: hold_bench.exe [holds]   (default 100)
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "app/program_start.h"
#include "bench/process_cpu.h"
#include "control/control_state.h"
#include "control/panel_status.h"
#include "panel/panel_button.h"
#include "panel/panel_layout.h"
#include "sim/virtual_camera.h"

const DWORD HOLD_MS = 60;
const DWORD LONG_HOLD_MS = 3000;

// The line time of the first byte of each frame the driver writes that starts with 04 05 12 02
// (PanTiltStop); frames are told apart by their length byte.
struct StopWatch
{
    int remaining; // bytes of the current frame still to come, 0 at a frame start
    int position;
    uint8_t head[4];
    int64_t frameStartUs;
    volatile int64_t stopAtUs; // 0 until a PanTiltStop was written
};

static void TapWrite(void* context, uint8_t value, int64_t writtenAtUs)
{
    StopWatch* watch = (StopWatch*)context;
    if (watch->remaining == 0)
    {
        watch->remaining = value + 1;
        watch->position = 0;
        watch->frameStartUs = writtenAtUs;
    }
    if (watch->position < 4)
        watch->head[watch->position] = value;
    ++watch->position;
    if (--watch->remaining == 0 || watch->position == 4)
    {
        static const uint8_t STOP[4] = {0x04, 0x05, 0x12, 0x02};
        if (watch->position == 4 && memcmp(watch->head, STOP, 4) == 0)
            watch->stopAtUs = watch->frameStartUs;
    }
}

// One hold of the left-arrow button, released by a posted WM_LBUTTONUP after holdMs; the
// release's line time goes to releasedAtUs.
static void HoldLeftArrow(SimulatedLine* line, DWORD holdMs, int64_t* releasedAtUs)
{
    HWND button = panelButtons[ID_PAN_LEFT];
    std::thread release([=] {
        Sleep(holdMs);
        *releasedAtUs = SimNowUs(line);
        PostMessageA(button, WM_LBUTTONUP, 0, 0);
    });
    SendMessageA(mainWindow, WM_COMMAND, ID_PAN_LEFT, BN_PANEL_PRESSED);
    release.join();
}

int main(int argc, char** argv)
{
    int holds = argc > 1 ? atoi(argv[1]) : 100;
    if (!StartConsole(GetModuleHandleA(0), 0, "/SIM:1", SW_SHOWNORMAL))
    {
        printf("the console did not start\n");
        return 1;
    }
    SimulatedLine* line = &VirtualCameraOnPort(0)->line;
    static StopWatch watch;
    SimSetWriteTap(line, TapWrite, &watch);

    std::vector<double> latencies;
    for (int i = 0; i < holds; ++i)
    {
        watch.stopAtUs = 0;
        int64_t releasedAtUs = 0;
        HoldLeftArrow(line, HOLD_MS, &releasedAtUs);
        if (watch.stopAtUs)
            latencies.push_back((double)(watch.stopAtUs - releasedAtUs) / 1000.0);
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty())
        printf("release to stop: %d holds, median %.3f ms, p95 %.3f ms, max %.3f ms\n",
               (int)latencies.size(), latencies[latencies.size() / 2],
               latencies[latencies.size() * 95 / 100], latencies.back());

    long long cpuBefore = ProcessCpuMs();
    int64_t releasedAtUs = 0;
    HoldLeftArrow(line, LONG_HOLD_MS, &releasedAtUs);
    printf("a %lu ms hold: %lld ms of CPU in the process\n", (unsigned long)LONG_HOLD_MS,
           ProcessCpuMs() - cpuBefore);

    SimSetWriteTap(line, 0, 0);
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    RunMessageLoop();
    EndConsole();
    return 0;
}
