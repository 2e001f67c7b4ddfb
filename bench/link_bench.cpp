// Link benchmark: how long the console's transactions take over the simulated line against a
// virtual camera that answers at once, compared with the time their bytes need on the wire,
// and how much CPU the open link costs while nothing happens.
//
// What it prints
// - For each line speed and operation: the median and 95th percentile latency of RUNS calls,
//   the wire time (request, ACK and reply, each byte ten bit times; QueryVersions three
//   times that; ZoomToPosition request and ACK) and the ratio measured / wire, which is the
//   program's own overhead on top of the physics of the line.
// - For QueryVersions also the floor: between two of its transactions the program's ACK of
//   the previous reply has to cross the line before the next request can, so two ACKs more
//   belong to the physics of that call.
// - Where the time of a one-transaction call goes (medians): how late the camera saw the end
//   of the request (the simulated camera's own lag, not the program's), how late the driver
//   read the first and the last byte of the answer after it had crossed the wire, and how
//   long the call took to return after that last byte. A tap on the line's driver side
//   (SimSetReadTap) gives each byte's arrival and reading time.
// - The process's CPU (GetProcessTimes) while bytes flow: over each speed's measured calls,
//   the virtual camera's thread included, as seconds and as a share of one core.
// - A request to a silent camera (the virtual camera hears nothing and sends nothing, CTS
//   on): how long PanTiltStop takes to give up (its 5 s time-out) and the process's CPU
//   meanwhile.
// - The process's CPU seconds (GetProcessTimes) while the port stays open for IDLE_MS with
//   the reader thread waiting and no traffic.
// - With a line trace (second argument), also the time one trace line takes on its own.
// - With --port COMn the same timing loop runs on that COM port instead (the COM-port backend,
//   a camera at the other end, e.g. hlr8-camera on a pty mapped to the port, sending its bytes
//   at the line speed): only the one line speed, no profile (it needs the simulated line's
//   tap) and no idle figure. The camera's own lag and the serial driver's are in the
//   ratio then. A pty is not paced on the console's side: its requests cross at once, and
//   the row also gives the time of the camera's own bytes and the ratio against that.
//
// How it measures
// - Every call starts on a quiet line: before it, the benchmark waits until both directions
//   are empty, the camera has nothing queued and no thread is receiving. The completion frame
//   of ZoomToPosition is received by the reader thread during that wait. On a COM port the
//   camera cannot be asked: there the wait is for an empty input queue, no thread receiving
//   and, after ZoomToPosition, its completion frame.
// - Latency is QueryPerformanceCounter time around the command operation; the calls of the
//   four operations take turns, so that a slow spell of the machine hits all of them alike.
#include "bench/port_option.h"
#include "commands/camera_commands.h"
#include "link/camera_driver.h"
#include "link/line_trace.h"
#include "link/simulated_line.h"
#include "sim/virtual_camera.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const int BENCH_PORT = 0; // COM1
const int RUNS = 200;     // measured calls per operation and line speed
const int WARM_UP_RUNS = 10;
const DWORD IDLE_MS = 10000;
const DWORD QUIET_WAIT_MS = 2000; // longest wait for a quiet line before a call
const DWORD CALIBRATION_MS = 200; // busy loop that checks the CPU clock reads true
const DWORD COM_CTS_WAIT_MS = 5000; // for the camera's CTS after opening a COM port
const DWORD CLOSE_WAIT_MS = 10000;  // for ClosePort on a COM port, see WatchClose
const int BIT_TIMES_PER_BYTE = 10;
const int LINE_SPEEDS[] = {4800, 9600, 14400};
const int LINE_SPEED_COUNT = sizeof LINE_SPEEDS / sizeof LINE_SPEEDS[0];

// Bytes on the line, from the camera's manual and the command catalogue.
const int ACK_BYTES = 4;
const int STOP_BYTES = 5 + ACK_BYTES + 5;         // 04 05 12 02, ACK, reply of 5
const int VERSION_BYTES = 5 + ACK_BYTES + 7;      // 04 unit 04 00, ACK, reply of 7
const int ZOOM_TO_BYTES = 8 + ACK_BYTES;          // 07 01 12 02 02 pos(2), ACK
const int PRESET_READ_BYTES = 6 + ACK_BYTES + 14; // 05 08 18 01 preset, ACK, reply of 14

enum BenchOperation
{
    OP_PAN_TILT_STOP,
    OP_QUERY_VERSIONS,
    OP_ZOOM_TO_POSITION,
    OP_READ_PRESET_DATA,
    OP_COUNT
};

struct OperationInfo
{
    const char* name;
    const char* kind;
    int wireBytes;    // request, ACK and reply of each of its transactions
    int floorBytes;   // and the program's own ACKs that must cross between them
    int requestBytes; // of a one-transaction call, for the profile; 0 for QueryVersions
    int cameraBytes;  // the ACKs and replies the camera sends: all a pty paces (--port)
};

static const OperationInfo OPERATIONS[OP_COUNT] = {
    {"PanTiltStop", "Transact", STOP_BYTES, STOP_BYTES, 5, STOP_BYTES - 5},
    {"QueryVersions", "3 x Transact", 3 * VERSION_BYTES, 3 * VERSION_BYTES + 2 * ACK_BYTES, 0,
     3 * (VERSION_BYTES - 5)},
    {"ZoomToPosition", "TransactAckOnly", ZOOM_TO_BYTES, ZOOM_TO_BYTES, 8, ACK_BYTES},
    {"ReadPresetData", "Transact", PRESET_READ_BYTES, PRESET_READ_BYTES, 6,
     PRESET_READ_BYTES - 6},
};

// Parts of a one-transaction call, in ms.
enum ProfilePart
{
    PART_CAMERA_LAG,     // the camera answered this long after the request had crossed
    PART_FIRST_BYTE_LAG, // first byte of the answer: read this long after it had crossed
    PART_LAST_BYTE_LAG,  // last byte the call read: likewise
    PART_RETURN,         // from reading that last byte to the call's return
    PART_COUNT
};

static const char* const PART_NAMES[PART_COUNT] = {"camera lag", "1st byte", "last byte", "return"};

struct Series
{
    double ms[RUNS];
    int count;
    int failures;
    ResultCode lastFailure;
    double parts[PART_COUNT][RUNS];
    int partCount;
};

// Bytes the driver read during one call, from the line's tap.
const int TAP_LIMIT = 256;

struct TappedByte
{
    uint8_t value;
    int64_t readyAtUs;
    int64_t readAtUs;
    DWORD thread;
};

static CameraDriver driver;
static VirtualCamera* camera;
static int comPort = -1; // 0..3 with --port COM1..COM4: the run is on that COM port
static int awaitingZoomArrival; // the last call was ZoomToPosition on the COM port
static Series series[OP_COUNT];
static LARGE_INTEGER counterFrequency;
static TappedByte tapped[TAP_LIMIT];
static volatile LONG tappedCount;

// --- Clocks ---

static double NowMs()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart * 1000.0 / (double)counterFrequency.QuadPart;
}

static double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return -1.0;
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (double)(k.QuadPart + u.QuadPart) / 1e7; // 100 ns units
}

// --- The window the driver reports to ---

static LRESULT CALLBACK BenchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND CreateBenchWindow()
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = BenchWindowProc;
    windowClass.hInstance = GetModuleHandleA(0);
    windowClass.lpszClassName = "HLR8LinkBench";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "HLR8LinkBench", "", 0, 0, 0, 0, 0, HWND_MESSAGE, 0,
                           windowClass.hInstance, 0);
}

// Dispatches what is queued, as the console's message loop would between two button presses.
static void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE))
    {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// --- A quiet line ---

static int LineIsQuiet()
{
    if (!camera)
        return !driver.receiveBusy && BytesWaiting(&driver) == 0 &&
               (!awaitingZoomArrival || driver.zoomArrived);
    return VirtualCameraIsQuiet(camera) && !driver.receiveBusy;
}

// Microseconds on the simulated line's clock; 0 on a COM port, which has no tap to compare.
static int64_t LineNowUs()
{
    return camera ? SimNowUs(&camera->line) : 0;
}

static int WaitForQuietLine()
{
    DWORD start = GetTickCount();
    while (!LineIsQuiet())
    {
        if (GetTickCount() - start >= QUIET_WAIT_MS)
            return 0;
        PumpMessages();
        Sleep(1);
    }
    PumpMessages();
    return 1;
}

// --- The tap ---

// Runs on the reading thread with the line's lock held.
static void TapByte(void*, uint8_t value, int64_t readyAtUs)
{
    LONG index = tappedCount;
    if (index >= TAP_LIMIT)
        return;
    tapped[index].value = value;
    tapped[index].readyAtUs = readyAtUs;
    tapped[index].readAtUs = SimNowUs(&camera->line);
    tapped[index].thread = GetCurrentThreadId();
    tappedCount = index + 1;
}

// Splits a one-transaction call into its parts, from the bytes this thread read in it.
static void AddProfile(int operation, Series* into, int64_t startUs, int64_t endUs, int baud)
{
    const OperationInfo* info = &OPERATIONS[operation];
    if (!info->requestBytes || !camera)
        return;
    DWORD self = GetCurrentThreadId();
    int first = -1;
    int last = -1;
    for (int i = 0; i < tappedCount && i < TAP_LIMIT; ++i)
        if (tapped[i].thread == self)
        {
            if (first < 0)
                first = i;
            last = i;
        }
    if (first < 0)
        return;
    double byteUs = BIT_TIMES_PER_BYTE * 1e6 / baud;
    double requestCrossedUs = (double)startUs + info->requestBytes * byteUs;
    double answeredUs = (double)tapped[first].readyAtUs - byteUs;
    int n = into->partCount++;
    into->parts[PART_CAMERA_LAG][n] = (answeredUs - requestCrossedUs) / 1000.0;
    into->parts[PART_FIRST_BYTE_LAG][n] =
        (double)(tapped[first].readAtUs - tapped[first].readyAtUs) / 1000.0;
    into->parts[PART_LAST_BYTE_LAG][n] =
        (double)(tapped[last].readAtUs - tapped[last].readyAtUs) / 1000.0;
    into->parts[PART_RETURN][n] = (double)(endUs - tapped[last].readAtUs) / 1000.0;
}

// --- Operations ---

static ResultCode RunOperation(int operation)
{
    uint8_t versions[VERSION_COUNT];
    uint16_t brightness, pan, tilt, zoom;
    switch (operation)
    {
    case OP_PAN_TILT_STOP:
        return PanTiltStop(&driver);
    case OP_QUERY_VERSIONS:
        return QueryVersions(&driver, versions);
    case OP_ZOOM_TO_POSITION:
        return ZoomToPosition(&driver, 0); // where it stands: the completion follows at once
    case OP_READ_PRESET_DATA:
        return ReadPresetData(&driver, 1, &brightness, &pan, &tilt, &zoom);
    }
    return RESULT_BAD_PARAMETERS;
}

static void Measure(int operation, Series* into, int baud)
{
    WaitForQuietLine();
    tappedCount = 0;
    awaitingZoomArrival = !camera && operation == OP_ZOOM_TO_POSITION;
    if (awaitingZoomArrival)
        driver.zoomArrived = 0; // set by the reader thread when the completion frame comes
    int64_t startUs = LineNowUs();
    double start = NowMs();
    ResultCode result = RunOperation(operation);
    double elapsed = NowMs() - start;
    int64_t endUs = LineNowUs();
    if (result != RESULT_OK)
        awaitingZoomArrival = 0; // no completion comes after a failed call
    if (!into)
        return;
    if (result != RESULT_OK)
    {
        ++into->failures;
        into->lastFailure = result;
        return;
    }
    into->ms[into->count++] = elapsed;
    AddProfile(operation, into, startUs, endUs, baud);
}

static int CompareDoubles(const void* a, const void* b)
{
    double x = *(const double*)a;
    double y = *(const double*)b;
    return x < y ? -1 : (x > y ? 1 : 0);
}

// The value below which the given share of the sorted samples lies (nearest rank).
static double Percentile(const double* sorted, int count, double share)
{
    if (count == 0)
        return 0.0;
    int rank = (int)(share * count + 0.999999);
    if (rank < 1)
        rank = 1;
    return sorted[rank - 1];
}

static double Median(const double* sorted, int count)
{
    if (count == 0)
        return 0.0;
    return count % 2 ? sorted[count / 2] : (sorted[count / 2 - 1] + sorted[count / 2]) / 2.0;
}

// --- One line speed ---

static int OpenOnVirtualCamera(int baud)
{
    camera = AttachVirtualCamera(BENCH_PORT);
    if (!camera)
        return 0;
    SimSetLineSpeed(&camera->line, baud);
    SetVirtualCameraReplyDelay(camera, 0);
    SimSetReadTap(&camera->line, TapByte, 0);
    if (OpenPort(&driver, CreateBenchWindow(), BENCH_PORT, baud) != RESULT_OK)
        return 0;
    driver.eventsEnabled = 1; // as after the camera's initialization
    return WaitForCts(&driver, 0) == RESULT_OK;
}

static int OpenOnComPort(int baud)
{
    if (OpenPort(&driver, CreateBenchWindow(), comPort, baud) != RESULT_OK)
        return 0;
    driver.eventsEnabled = 1; // as after the camera's initialization
    return WaitForCts(&driver, COM_CTS_WAIT_MS) == RESULT_OK;
}

static volatile LONG portClosed;

// Under Wine the reader thread's wait on a COM port was once seen not to end when ClosePort
// cleared the event mask, so ClosePort never returned: the figures are out by then, and the
// run ends after CLOSE_WAIT_MS with the finding rather than hanging.
static DWORD WINAPI WatchClose(void*)
{
    Sleep(CLOSE_WAIT_MS);
    if (portClosed)
        return 0;
    printf("ClosePort on COM%d has not returned after %lu ms (the reader thread's wait on the "
           "port did not end); stopping\n",
           comPort + 1, (unsigned long)CLOSE_WAIT_MS);
    fflush(stdout);
    ExitProcess(3);
}

static void CloseVirtualCamera()
{
    fflush(stdout);
    portClosed = 0;
    if (!camera)
        CloseHandle(CreateThread(0, 0, WatchClose, 0, 0, 0));
    ClosePort(&driver);
    portClosed = 1;
    if (camera)
        DetachVirtualCamera(camera);
    camera = 0;
}

static void PrintRow(int baud, int operation, const Series* s)
{
    const OperationInfo* info = &OPERATIONS[operation];
    double byteMs = BIT_TIMES_PER_BYTE * 1000.0 / baud;
    double wire = info->wireBytes * byteMs;
    double floorMs = info->floorBytes * byteMs;
    double median = Median(s->ms, s->count);
    double p95 = Percentile(s->ms, s->count, 0.95);
    printf("%6d  %-15s %-16s %4d %8.2f %8.2f %8.2f %6.3f", baud, info->name, info->kind, s->count,
           median, p95, wire, median / wire);
    if (info->floorBytes != info->wireBytes)
        printf("   floor %.2f ms, ratio %.3f", floorMs, median / floorMs);
    // A pty has no line speed: what the console writes crosses at once, only the camera
    // paces its own bytes.
    if (comPort >= 0)
        printf("   camera's bytes %.2f ms, ratio %.3f", info->cameraBytes * byteMs,
               median / (info->cameraBytes * byteMs));
    if (s->failures)
        printf("   %d failed (last %d)", s->failures, s->lastFailure);
    printf("\n");
}

static void PrintProfile(int operation, Series* s)
{
    if (!s->partCount)
        return;
    printf("        %-15s", OPERATIONS[operation].name);
    double sum = 0.0;
    for (int part = 0; part < PART_COUNT; ++part)
    {
        qsort(s->parts[part], (size_t)s->partCount, sizeof(double), CompareDoubles);
        double median = Median(s->parts[part], s->partCount);
        sum += median;
        printf("  %s %4.2f/%4.2f", PART_NAMES[part], median,
               Percentile(s->parts[part], s->partCount, 0.95));
    }
    printf("  (medians add up to %.2f)\n", sum);
}

static int RunLineSpeed(int baud)
{
    if (comPort >= 0 ? !OpenOnComPort(baud) : !OpenOnVirtualCamera(baud))
    {
        printf("%6d  could not open the port %s (%d)\n", baud,
               comPort >= 0 ? "or saw no CTS" : "on the virtual camera", driver.lastResult);
        CloseVirtualCamera();
        return 0;
    }
    memset(series, 0, sizeof series);
    for (int i = 0; i < WARM_UP_RUNS; ++i)
        for (int op = 0; op < OP_COUNT; ++op)
            Measure(op, 0, baud);
    double cpuStart = ProcessCpuSeconds();
    double wallStart = NowMs();
    for (int i = 0; i < RUNS; ++i)
        for (int op = 0; op < OP_COUNT; ++op)
            Measure(op, &series[op], baud);
    double cpu = ProcessCpuSeconds() - cpuStart;
    double wall = (NowMs() - wallStart) / 1000.0;
    for (int op = 0; op < OP_COUNT; ++op)
    {
        qsort(series[op].ms, (size_t)series[op].count, sizeof(double), CompareDoubles);
        PrintRow(baud, op, &series[op]);
    }
    for (int op = 0; op < OP_COUNT; ++op)
        PrintProfile(op, &series[op]);
    printf("        CPU while bytes flow: %.1f s in %.1f s of this speed's runs = %.1f %% of one "
           "core\n        (waits for a quiet line included)\n",
           cpu, wall, wall > 0.0 ? 100.0 * cpu / wall : 0.0);
    CloseVirtualCamera();
    return 1;
}

// --- A silent camera ---

// One PanTiltStop to a camera that does not answer: it ends with the transaction's time-out.
static void MeasureSilentCamera()
{
    if (!OpenOnVirtualCamera(9600))
    {
        printf("silent camera: could not open the port on the virtual camera\n");
        CloseVirtualCamera();
        return;
    }
    WaitForQuietLine();
    SetVirtualCameraSilent(camera, 1);
    double cpuStart = ProcessCpuSeconds();
    double wallStart = NowMs();
    ResultCode result = PanTiltStop(&driver);
    double wall = NowMs() - wallStart;
    double cpu = (ProcessCpuSeconds() - cpuStart) * 1000.0;
    if (cpu < 0.0)
        cpu = 0.0;
    printf("silent camera: PanTiltStop returned %d after %.0f ms (time-out %lu ms); CPU %.0f ms "
           "= %.2f %% of one core\n",
           result, wall, (unsigned long)COMMAND_TIMEOUT_MS, cpu, 100.0 * cpu / wall);
    SetVirtualCameraSilent(camera, 0);
    CloseVirtualCamera();
}

// --- Idle ---

// Spins on the tick count, to check that the CPU clock counts.
static void BusyLoop(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms)
    {
    }
}

// Waits like a message loop: asleep until a message comes.
static void IdleFor(DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;)
    {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        MsgWaitForMultipleObjects(0, 0, FALSE, ms - elapsed, QS_ALLINPUT);
        PumpMessages();
    }
}

static void MeasureIdle()
{
    double busyStart = ProcessCpuSeconds();
    BusyLoop(CALIBRATION_MS);
    double busy = ProcessCpuSeconds() - busyStart;
    printf("CPU clock check: a %lu ms busy loop reads as %.3f s of CPU\n",
           (unsigned long)CALIBRATION_MS, busy);

    if (!OpenOnVirtualCamera(9600))
    {
        printf("idle: could not open the port on the virtual camera\n");
        CloseVirtualCamera();
        return;
    }
    WaitForQuietLine();
    LONG callsBefore = camera->serviceCalls;
    double cpuStart = ProcessCpuSeconds();
    double wallStart = NowMs();
    IdleFor(IDLE_MS);
    double cpu = ProcessCpuSeconds() - cpuStart;
    double wall = (NowMs() - wallStart) / 1000.0;
    if (cpu < 0.0)
        cpu = 0.0; // the two readings may come from different clock ticks
    printf("idle: port open on the virtual camera, reader thread waiting, no traffic, %.1f s:\n"
           "      %.3f CPU seconds = %.2f %% of one core (target < 1 %%); camera service "
           "calls %ld\n",
           wall, cpu, 100.0 * cpu / wall, (long)(camera->serviceCalls - callsBefore));
    CloseVirtualCamera();
}

// --- The line trace's own cost ---

const int TRACE_LINE_RUNS = 2000;

// Times single trace lines of a 14-byte reply, as the receiver writes them, one at a time.
static void MeasureTraceLines()
{
    static double us[TRACE_LINE_RUNS];
    const uint8_t reply[14] = {0x0D, 0x08, 0x98, 0x01, 0x01, 0x80, 0x07, 0x08,
                               0x02, 0x58, 0x00, 0x00, 0x00, 0x00};
    for (int i = 0; i < TRACE_LINE_RUNS; ++i)
    {
        double start = NowMs();
        TraceLineBytes(BENCH_PORT, TRACE_FRAME_READ, reply, (int)sizeof reply);
        us[i] = (NowMs() - start) * 1000.0;
    }
    qsort(us, TRACE_LINE_RUNS, sizeof(double), CompareDoubles);
    printf("line trace: %d lines of a 14-byte frame, one WriteFile each: median %.1f us, "
           "p95 %.1f us, max %.1f us\n",
           TRACE_LINE_RUNS, Median(us, TRACE_LINE_RUNS),
           Percentile(us, TRACE_LINE_RUNS, 0.95), us[TRACE_LINE_RUNS - 1]);
}

// With a line speed as its argument only that speed is measured (0: every speed), and the idle
// CPU is not. A path as the second argument writes the line trace there (/LINELOG), so that
// its cost shows against a run without it. --port COMn runs on that COM port, at the one
// speed given (9600 without one).
int main(int argc, char** argv)
{
    comPort = TakePortOption(&argc, argv);
    if (comPort == BAD_PORT_OPTION)
    {
        printf("usage: link_bench.exe [baud [trace path]] [--port COM1..COM4]\n");
        return 2;
    }
    int onlySpeed = argc > 1 ? atoi(argv[1]) : (comPort >= 0 ? 9600 : 0);
    const char* tracePath = argc > 2 ? argv[2] : 0;
    QueryPerformanceFrequency(&counterFrequency);
    if (comPort >= 0)
        printf("HL-R8 link benchmark: %d calls per operation, on COM%d through the COM-port "
               "backend,\nthe camera at its other end.\n",
               RUNS, comPort + 1);
    else
        printf("HL-R8 link benchmark: %d calls per operation and speed, camera answering at "
               "once,\nsimulated line paced at the line speed (10 bit times per byte).\n",
               RUNS);
    if (tracePath && !OpenLineTrace(tracePath))
    {
        printf("cannot write the line trace to %s\n", tracePath);
        return 1;
    }
    printf("line trace: %s\n\n", tracePath ? tracePath : "none");
    printf("  baud  operation       kind                n   median      p95     wire  ratio\n"
           "                                                     ms       ms       ms  "
           "measured/wire\n");
    double start = NowMs();
    for (int i = 0; i < LINE_SPEED_COUNT; ++i)
        if (!onlySpeed || onlySpeed == LINE_SPEEDS[i])
            RunLineSpeed(LINE_SPEEDS[i]);
    printf("\n");
    if (comPort < 0 && (!onlySpeed || onlySpeed == 9600))
        MeasureSilentCamera();
    if (tracePath)
        MeasureTraceLines();
    if (!onlySpeed)
        MeasureIdle();
    printf("\nwhole run: %.0f s\n", (NowMs() - start) / 1000.0);
    CloseLineTrace();
    return 0;
}
