// The line trace file. See line_trace.h.
#include "link/line_trace.h"

#include <windows.h>

#include "link/frame_line.h"

static const char* const KIND_LABELS[] = {"PC>CAM", "CAM>PC", "PC>CAM?", "CAM>PC?"};

// The lock is set up by the first open, on the GUI thread before any port is open, and kept
// for the life of the process: a thread that saw the trace open may still be inside it.
static CRITICAL_SECTION traceLock;
static int traceLockReady;
static HANDLE traceFile = INVALID_HANDLE_VALUE;
static volatile LONG traceOpen;
static LARGE_INTEGER traceStart;
static LARGE_INTEGER counterFrequency;

static uint32_t TraceMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (uint32_t)((now.QuadPart - traceStart.QuadPart) * 1000 / counterFrequency.QuadPart);
}

int OpenLineTrace(const char* path)
{
    CloseLineTrace();
    if (!path || !path[0])
        return 0;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, 0, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    if (!traceLockReady)
    {
        InitializeCriticalSection(&traceLock);
        traceLockReady = 1;
    }
    EnterCriticalSection(&traceLock);
    traceFile = file;
    QueryPerformanceFrequency(&counterFrequency);
    QueryPerformanceCounter(&traceStart);
    InterlockedExchange(&traceOpen, 1);
    LeaveCriticalSection(&traceLock);
    return 1;
}

void CloseLineTrace()
{
    if (!traceLockReady)
        return;
    EnterCriticalSection(&traceLock);
    InterlockedExchange(&traceOpen, 0);
    if (traceFile != INVALID_HANDLE_VALUE)
        CloseHandle(traceFile);
    traceFile = INVALID_HANDLE_VALUE;
    LeaveCriticalSection(&traceLock);
}

int LineTraceIsOpen()
{
    return traceOpen != 0;
}

// The time is read under the lock, so that the times in the file never go back.
void TraceLineBytes(int portIndex, LineTraceKind kind, const uint8_t* bytes, int count)
{
    if (!traceOpen || count <= 0)
        return;
    char line[FRAME_LINE_SIZE];
    EnterCriticalSection(&traceLock);
    if (traceFile != INVALID_HANDLE_VALUE)
    {
        int length = FormatFrameLine(line, TraceMs(), portIndex, KIND_LABELS[kind], bytes, count);
        DWORD written = 0;
        WriteFile(traceFile, line, (DWORD)length, &written, 0);
    }
    LeaveCriticalSection(&traceLock);
}
