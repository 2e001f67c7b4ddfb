// The console's start and idle cost, measured in its own process: the same start as the
// program (on the virtual cameras, no settings file), then the message loop for a while.
// Prints, on one line:
//   main_unix_ms      wall clock when main() began (to compare with the launch time)
//   display_ms        main() to the first screen device context: Wine loads and connects its
//                     display driver at the first call that needs it (Wine's own start)
//   first_paint_ms    from there to the end of the window's first WM_PAINT (the program's own)
//   camera_ready_ms   from there to the end of the camera's start-up sequence
//   idle_cpu_ms       user + kernel time of this process over the idle period (the message
//                     loop after the start, up to the close)
// Usage: console_start_bench.exe [idle seconds]   (default 0: close at once)
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "app/main_window.h"
#include "app/program_start.h"
#include "services/settings_file.h"
#include "bench/process_cpu.h"
#include "control/control_state.h"

static double TicksToMs(LONGLONG ticks)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * (double)ticks / (double)frequency.QuadPart;
}

static LONGLONG Ticks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

static long long UnixMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value;
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    return (long long)(value.QuadPart / 10000ULL) - 11644473600000LL; // from 1601 to 1970
}

static long long idleEndCpuMs;

// Ends the idle period: its CPU is taken before the close (whose 500 ms pause once spun).
static void CALLBACK CloseConsole(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(0, timer);
    idleEndCpuMs = ProcessCpuMs();
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
}

int main(int argc, char** argv)
{
    long long mainUnixMs = UnixMs();
    LONGLONG mainTicks = Ticks();
    ReleaseDC(0, GetDC(0));
    LONGLONG start = Ticks();
    int idleSeconds = argc > 1 ? atoi(argv[1]) : 0;

    char path[MAX_PATH];
    if (GetSettingsPath(GetModuleHandleA(0), SETTINGS_BASE_NAME, path, sizeof path))
        DeleteFileA(path); // every run starts as a first run
    if (!StartConsole(GetModuleHandleA(0), 0, "/SIM", SW_SHOWNORMAL))
    {
        printf("the console did not start\n");
        return 1;
    }
    LONGLONG ready = Ticks();

    long long cpuBefore = ProcessCpuMs();
    SetTimer(0, 0, (UINT)idleSeconds * 1000, CloseConsole);
    RunMessageLoop();
    long long idleCpu = idleEndCpuMs - cpuBefore;
    EndConsole();

    printf("main_unix_ms=%lld display_ms=%.1f first_paint_ms=%.1f camera_ready_ms=%.1f "
           "idle_s=%d idle_cpu_ms=%lld\n",
           mainUnixMs, TicksToMs(start - mainTicks), firstPaintEndTicks ? TicksToMs(firstPaintEndTicks - start) : -1.0,
           TicksToMs(ready - start), idleSeconds, idleCpu);
    return 0;
}
