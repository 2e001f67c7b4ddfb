// Press-and-hold figures on the console in this process (virtual camera on COM1, 9600 baud):
// - release to stop: from the moment the button's WM_LBUTTONUP is posted to the moment the
//   first byte of PanTiltStop is written to the line; median and 95th percentile of HOLDS
//   holds of the left-arrow button;
// - the process's CPU time during a 3 s hold;
// - the process's CPU time and the time taken by closing the console (WM_CLOSE to the end of
//   the message loop: the CCU's mode 1 and its pause, the port's close, the settings file).
// With --port COMn the console runs without /SIM, on the COM port its settings name (COM1 in a
// fresh prefix), which must be COMn: a camera at the other end, e.g. hlr8-camera on a pty mapped
// to it. The stop's first byte is then timed where the driver hands it to the COM-port backend:
// the bench puts a copy of the backend's table, its byte writer wrapped, under the open port.
// Both times are the performance counter's there; on the simulated line they are the line's.
// Usage: hold_bench.exe [holds] [--port COMn]   (default 100 holds)
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "app/program_start.h"
#include "bench/port_option.h"
#include "bench/process_cpu.h"
#include "control/control_state.h"
#include "control/panel_window.h"
#include "link/camera_driver.h"
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

// --- The clock both times are taken on ---

static SimulatedLine* simLine; // null on a COM port

static int64_t CounterNowUs()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart / frequency.QuadPart * 1000000 +
           counter.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

static int64_t NowUs()
{
    return simLine ? SimNowUs(simLine) : CounterNowUs();
}

// --- The tap on the COM port: the backend's table with its byte writer wrapped ---

static StopWatch watch;
static LineBackend tappedComPort;

static BOOL TappedWriteByte(HANDLE port, OVERLAPPED* write, BYTE value)
{
    TapWrite(&watch, value, CounterNowUs());
    return comPortBackend.writeByte(port, write, value);
}

// 1 when the console's camera link runs on the COM port asked for, now with the tap.
static int TapComPort(int portIndex)
{
    if (!cameraDriver.portOpen || cameraDriver.portIndex != portIndex ||
        cameraDriver.line != &comPortBackend)
        return 0;
    tappedComPort = comPortBackend;
    tappedComPort.writeByte = TappedWriteByte;
    cameraDriver.line = &tappedComPort; // the same calls, so the reader thread may see either
    return 1;
}

// One hold of the left-arrow button, released by a posted WM_LBUTTONUP after holdMs; the
// release's time goes to releasedAtUs.
static void HoldLeftArrow(DWORD holdMs, int64_t* releasedAtUs)
{
    HWND button = panelButtons[ID_PAN_LEFT];
    std::thread release([=] {
        Sleep(holdMs);
        *releasedAtUs = NowUs();
        PostMessageA(button, WM_LBUTTONUP, 0, 0);
    });
    SendMessageA(mainWindow, WM_COMMAND, ID_PAN_LEFT, BN_PANEL_PRESSED);
    release.join();
}

// Under Wine the reader thread's wait on a COM port was once seen not to end when the port
// was closed (link_bench): the figures are out by then, and the run ends after CLOSE_WAIT_MS
// with the finding rather than hanging.
const DWORD CLOSE_WAIT_MS = 10000;
static volatile LONG consoleEnded;

static DWORD WINAPI WatchClose(void*)
{
    Sleep(CLOSE_WAIT_MS);
    if (consoleEnded)
        return 0;
    printf("the console's close on the COM port has not ended after %lu ms; stopping\n",
           (unsigned long)CLOSE_WAIT_MS);
    fflush(stdout);
    ExitProcess(3);
}

int main(int argc, char** argv)
{
    int comPort = TakePortOption(&argc, argv);
    if (comPort == BAD_PORT_OPTION)
    {
        printf("usage: hold_bench.exe [holds] [--port COM1..COM4]\n");
        return 2;
    }
    int holds = argc > 1 ? atoi(argv[1]) : 100;
    if (!StartConsole(GetModuleHandleA(0), 0, comPort >= 0 ? "" : "/SIM:1", SW_SHOWNORMAL))
    {
        printf("the console did not start\n");
        return 1;
    }
    if (comPort < 0)
    {
        simLine = &VirtualCameraOnPort(0)->line;
        SimSetWriteTap(simLine, TapWrite, &watch);
    }
    else if (!TapComPort(comPort) || !cameraDriver.cameraReady)
    {
        printf("the console is not on a ready camera on COM%d (port COM%d, open %d, ready %d)\n",
               comPort + 1, cameraDriver.portIndex + 1, cameraDriver.portOpen,
               cameraDriver.cameraReady);
        PostMessageA(mainWindow, WM_CLOSE, 0, 0);
        RunMessageLoop();
        EndConsole();
        return 1;
    }
    printf("release to stop on %s\n",
           comPort < 0 ? "the simulated line (COM1, virtual camera)" : "the COM-port backend");

    std::vector<double> latencies;
    for (int i = 0; i < holds; ++i)
    {
        watch.stopAtUs = 0;
        int64_t releasedAtUs = 0;
        HoldLeftArrow(HOLD_MS, &releasedAtUs);
        if (watch.stopAtUs)
            latencies.push_back((double)(watch.stopAtUs - releasedAtUs) / 1000.0);
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty())
        printf("release to stop: %d of %d holds, median %.3f ms, p95 %.3f ms, max %.3f ms\n",
               (int)latencies.size(), holds, latencies[latencies.size() / 2],
               latencies[latencies.size() * 95 / 100], latencies.back());

    long long cpuBefore = ProcessCpuMs();
    int64_t releasedAtUs = 0;
    HoldLeftArrow(LONG_HOLD_MS, &releasedAtUs);
    printf("a %lu ms hold: %lld ms of CPU in the process\n", (unsigned long)LONG_HOLD_MS,
           ProcessCpuMs() - cpuBefore);

    fflush(stdout);
    if (simLine)
        SimSetWriteTap(simLine, 0, 0);
    else
    {
        cameraDriver.line = &comPortBackend;
        CloseHandle(CreateThread(0, 0, WatchClose, 0, 0, 0));
    }
    cpuBefore = ProcessCpuMs();
    int64_t closeStartUs = CounterNowUs();
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    RunMessageLoop();
    printf("closing the console: %lld ms of CPU in the process over %.0f ms\n",
           ProcessCpuMs() - cpuBefore, (double)(CounterNowUs() - closeStartUs) / 1000.0);
    EndConsole();
    consoleEnded = 1;
    return 0;
}
