// Control port figures on the console in this process (virtual camera on COM1, 9600 baud,
// the control port on 127.0.0.1, a port the system chooses):
// - command to line: from the moment a client's send() of "press LEFT" or "release LEFT"
//   returns to the moment the first byte of its frame (PanLeftStart, PanTiltStop) is written to
//   the line; median, 95th percentile and maximum over PAIRS presses and releases. The time
//   includes the command's way through the loopback connection and the window's queue, so it
//   is an upper bound of the console's own part;
// - the answer's round trip: send() to the answer line read back;
// - the process's CPU time over IDLE_MS with the listener and no client, the same with one
//   connected client that sends nothing, and without the control port for comparison.
// Both times of the first figure are the simulated line's clock.
// Usage: control_port_bench.exe [pairs] [pause ms]   (default 100 pairs, 100 ms between commands)
#include <winsock2.h>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "app/program_start.h"
#include "bench/process_cpu.h"
#include "control/control_port.h"
#include "control/control_state.h"
#include "sim/virtual_camera.h"

const DWORD IDLE_MS = 5000;

// The line time of the first byte of the first frame the console writes after the watch is
// armed; its acknowledgements of the camera's frames (length byte 3) do not count.
static SimulatedLine* simLine;
static volatile LONG watchArmed;
static volatile int64_t firstByteUs;
static int frameRemaining; // bytes of the current frame still to come, 0 at a frame start

static void TapWrite(void*, uint8_t value, int64_t writtenAtUs)
{
    int frameStart = frameRemaining == 0;
    frameRemaining = frameStart ? value : frameRemaining - 1;
    const uint8_t ACK_LENGTH = 3;
    if (frameStart && value != ACK_LENGTH && InterlockedExchange(&watchArmed, 0))
        firstByteUs = writtenAtUs;
}

static SOCKET Connect(int port)
{
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((u_short)port);
    BOOL noDelay = TRUE;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, (const char*)&noDelay, sizeof noDelay);
    if (connect(client, (sockaddr*)&address, sizeof address) != 0)
    {
        closesocket(client);
        return INVALID_SOCKET;
    }
    return client;
}

// Reads one answer line; 1 when it begins with "OK".
static int ReadAnswer(SOCKET client)
{
    char line[600];
    int length = 0;
    while (length < (int)sizeof line - 1)
    {
        char c;
        if (recv(client, &c, 1, 0) != 1)
            return 0;
        if (c == '\n')
            break;
        line[length++] = c;
    }
    line[length] = 0;
    return line[0] == 'O' && line[1] == 'K';
}

struct Figures
{
    std::vector<double> toLine;    // ms
    std::vector<double> roundTrip; // ms
    int failed;
};

static void TimeCommand(SOCKET client, const char* command, Figures* figures)
{
    firstByteUs = 0;
    InterlockedExchange(&watchArmed, 1);
    int64_t sentAtUs = SimNowUs(simLine);
    send(client, command, lstrlenA(command), 0);
    int ok = ReadAnswer(client);
    int64_t answeredAtUs = SimNowUs(simLine);
    if (!ok || !firstByteUs)
    {
        ++figures->failed;
        return;
    }
    figures->toLine.push_back((double)(firstByteUs - sentAtUs) / 1000.0);
    figures->roundTrip.push_back((double)(answeredAtUs - sentAtUs) / 1000.0);
}

static void PrintFigures(const char* what, std::vector<double>* values)
{
    if (values->empty())
        return;
    std::sort(values->begin(), values->end());
    printf("%s: median %.3f ms, p95 %.3f ms, max %.3f ms (%d commands)\n", what,
           (*values)[values->size() / 2], (*values)[values->size() * 95 / 100], values->back(),
           (int)values->size());
}

// The window's messages are handled until the flag is set.
static void PumpUntil(volatile LONG* done)
{
    while (!*done)
    {
        MsgWaitForMultipleObjects(0, 0, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

static long long IdleCpuMs()
{
    long long before = ProcessCpuMs();
    volatile LONG done = 0;
    std::thread timer([&] {
        Sleep(IDLE_MS);
        InterlockedExchange(&done, 1);
    });
    PumpUntil(&done);
    timer.join();
    return ProcessCpuMs() - before;
}

static void CloseConsole()
{
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    RunMessageLoop();
    EndConsole();
}

int main(int argc, char** argv)
{
    int pairs = argc > 1 ? atoi(argv[1]) : 100;
    DWORD pauseMs = argc > 2 ? (DWORD)atoi(argv[2]) : 100;
    if (!StartConsole(GetModuleHandleA(0), 0, "/SIM:1", SW_SHOWNORMAL))
    {
        printf("the console did not start\n");
        return 1;
    }
    printf("idle, no control port: %lld ms of CPU in %lu ms\n", IdleCpuMs(),
           (unsigned long)IDLE_MS);
    CloseConsole();

    // The window class is registered by the first start only.
    HINSTANCE instance = GetModuleHandleA(0);
    if (!StartConsole(instance, instance, "/SIM:1 /CONTROL:0", SW_SHOWNORMAL) ||
        !ControlPortNumber())
    {
        printf("the console or its control port did not start\n");
        return 1;
    }
    int port = ControlPortNumber();
    simLine = &VirtualCameraOnPort(0)->line;
    SimSetWriteTap(simLine, TapWrite, 0);
    printf("idle, control port listening, no client: %lld ms of CPU in %lu ms\n", IdleCpuMs(),
           (unsigned long)IDLE_MS);

    Figures press = {}, release = {};
    volatile LONG done = 0;
    std::thread client([&] {
        SOCKET connection = Connect(port);
        if (connection == INVALID_SOCKET)
            printf("no connection to the control port %d\n", port);
        for (int i = 0; i < pairs && connection != INVALID_SOCKET; ++i)
        {
            TimeCommand(connection, "press LEFT\n", &press);
            Sleep(pauseMs);
            TimeCommand(connection, "release LEFT\n", &release);
            Sleep(pauseMs);
        }
        InterlockedExchange(&done, 1);
        if (connection != INVALID_SOCKET)
            closesocket(connection);
    });
    PumpUntil(&done);
    client.join();
    printf("command to the first byte of its frame on the line (client's send included):\n");
    PrintFigures("  press LEFT -> PanLeftStart", &press.toLine);
    PrintFigures("  release LEFT -> PanTiltStop", &release.toLine);
    PrintFigures("answer round trip, press", &press.roundTrip);
    PrintFigures("answer round trip, release", &release.roundTrip);
    if (press.failed || release.failed)
        printf("commands without an OK or a frame: %d presses, %d releases\n", press.failed,
               release.failed);

    SOCKET quiet = Connect(port);
    printf("idle, one connected client sending nothing: %lld ms of CPU in %lu ms\n",
           IdleCpuMs(), (unsigned long)IDLE_MS);
    if (quiet != INVALID_SOCKET)
        closesocket(quiet);

    SimSetWriteTap(simLine, 0, 0);
    CloseConsole();
    return 0;
}
