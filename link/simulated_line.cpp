// The simulated line: byte queues to an in-process peer, modem lines, comm-event wait,
// pacing and fault hooks. See simulated_line.h for the principles.
#include "link/simulated_line.h"
#include "link/serial_line.h"

#include <string.h>

// What the peer sends after a late wake goes on the wire at the moment it was due, but never
// more than this much before it is sent: Wine's timed waits end up to about two milliseconds
// late now and then, a busy machine's later still.
const int64_t PEER_LATE_LIMIT_US = 3000;

// Object waits with a time-out end on whole milliseconds of the system's timer (under Wine a
// little after the millisecond asked, on Windows on the next tick): the part of a wait below
// this is slept by the thread's own clock instead, which under Wine ends within some 0.1 ms.
const int64_t SHORT_SLEEP_US = 1000;

// --- Short sleeps ---

typedef LONG(WINAPI* DelayExecutionFunction)(BOOLEAN alertable, const LARGE_INTEGER* interval);

// Sleeps about us microseconds, as finely as the system sleeps a thread; no object, no CPU.
static void SleepMicroseconds(int64_t us)
{
    static DelayExecutionFunction delayExecution = (DelayExecutionFunction)(void*)GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "NtDelayExecution");
    if (!delayExecution)
    {
        Sleep((DWORD)((us + 999) / 1000));
        return;
    }
    LARGE_INTEGER interval;
    interval.QuadPart = -us * 10; // relative, in 100 ns units
    delayExecution(FALSE, &interval);
}

// --- Byte queues ---

static void QueueClear(SimByteQueue* queue)
{
    queue->head = 0;
    queue->count = 0;
    queue->wireFreeAtUs = 0;
}

static void QueuePush(SimByteQueue* queue, uint8_t value, int64_t nowUs, int64_t byteTimeUs)
{
    if (queue->count == SIM_QUEUE_SIZE)
        return; // overrun: the byte is lost
    int64_t start = queue->wireFreeAtUs > nowUs ? queue->wireFreeAtUs : nowUs;
    int index = (queue->head + queue->count) % SIM_QUEUE_SIZE;
    queue->bytes[index] = value;
    queue->readyAtUs[index] = start + byteTimeUs;
    queue->wireFreeAtUs = start + byteTimeUs;
    ++queue->count;
}

// Bytes at the front of the queue that have finished crossing the wire.
static int QueueVisible(const SimByteQueue* queue, int64_t nowUs)
{
    int visible = 0;
    while (visible < queue->count)
    {
        int index = (queue->head + visible) % SIM_QUEUE_SIZE;
        if (queue->readyAtUs[index] > nowUs)
            break;
        ++visible;
    }
    return visible;
}

static uint8_t QueuePop(SimByteQueue* queue)
{
    uint8_t value = queue->bytes[queue->head];
    queue->head = (queue->head + 1) % SIM_QUEUE_SIZE;
    --queue->count;
    return value;
}

// Microseconds until byte number `position` of the queue arrives (0 when it has), or -1 when
// the queue holds no such byte.
static int64_t QueueWaitUs(const SimByteQueue* queue, int position, int64_t nowUs)
{
    if (position < 0 || position >= queue->count)
        return -1;
    int64_t readyAt = queue->readyAtUs[(queue->head + position) % SIM_QUEUE_SIZE];
    return readyAt > nowUs ? readyAt - nowUs : 0;
}

// Milliseconds until byte number `position` of the queue arrives (rounded up), or INFINITE.
static DWORD QueueWaitMs(const SimByteQueue* queue, int position, int64_t nowUs)
{
    int64_t waitUs = QueueWaitUs(queue, position, nowUs);
    if (waitUs < 0)
        return INFINITE;
    return (DWORD)((waitUs + 999) / 1000);
}

// --- Line ---

static SimulatedLine* LineOf(HANDLE port)
{
    return (SimulatedLine*)port;
}

int64_t SimNowUs(SimulatedLine* line)
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    int64_t ticks = counter.QuadPart - line->startCounter;
    return ticks / line->counterFrequency * 1000000 +
           ticks % line->counterFrequency * 1000000 / line->counterFrequency;
}

uint32_t SimNowMs(SimulatedLine* line)
{
    return (uint32_t)(SimNowUs(line) / 1000);
}

void SimInitLine(SimulatedLine* line)
{
    memset(line, 0, sizeof *line);
    InitializeCriticalSection(&line->lock);
    line->wakeDriver = CreateEventA(0, FALSE, FALSE, 0);
    line->wakePeer = CreateEventA(0, FALSE, FALSE, 0);
    line->inputArrived = CreateEventA(0, TRUE, FALSE, 0);
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    line->counterFrequency = value.QuadPart;
    QueryPerformanceCounter(&value);
    line->startCounter = value.QuadPart;
    line->initialized = 1;
}

void SimDestroyLine(SimulatedLine* line)
{
    if (!line->initialized)
        return;
    SimStopPeer(line);
    CloseHandle(line->wakeDriver);
    CloseHandle(line->wakePeer);
    CloseHandle(line->inputArrived);
    DeleteCriticalSection(&line->lock);
    line->initialized = 0;
}

void SimSetLineSpeed(SimulatedLine* line, int baudRate)
{
    EnterCriticalSection(&line->lock);
    line->byteTimeUs = baudRate > 0 ? 10 * 1000000LL / baudRate : 0;
    LeaveCriticalSection(&line->lock);
}

// --- Peer thread ---

// Sleeps until dueUs of the line's time or until the peer's event ends the wait early: whole
// milliseconds on the event, the rest on the thread's clock. Returns the line time the service
// call that follows is due at: dueUs when the time came, 0 when the event ended the wait (the
// call is due now).
static int64_t SleepUntil(SimulatedLine* line, int64_t dueUs)
{
    int64_t leftUs = dueUs - SimNowUs(line);
    if (leftUs >= SHORT_SLEEP_US)
    {
        if (WaitForSingleObject(line->wakePeer, (DWORD)(leftUs / 1000)) == WAIT_OBJECT_0)
            return 0;
        leftUs = dueUs - SimNowUs(line);
    }
    if (leftUs > 0)
        SleepMicroseconds(leftUs);
    return dueUs;
}

static void SetPeerDue(SimulatedLine* line, int64_t dueUs)
{
    EnterCriticalSection(&line->lock);
    line->peerDueUs = dueUs;
    LeaveCriticalSection(&line->lock);
}

static DWORD WINAPI PeerThread(LPVOID argument)
{
    SimulatedLine* line = (SimulatedLine*)argument;
    int64_t dueUs = 0;
    while (!line->peerStop)
    {
        SetPeerDue(line, dueUs);
        uint32_t now = SimNowMs(line);
        uint32_t deadline = line->peerService(line->peerContext, line, now);
        SetPeerDue(line, 0);
        DWORD wait = INFINITE;
        if (deadline != SIM_NO_DEADLINE)
        {
            uint32_t later = SimNowMs(line);
            wait = (int32_t)(deadline - later) > 0 ? deadline - later : 0;
        }
        EnterCriticalSection(&line->lock);
        int64_t nowUs = SimNowUs(line);
        int visible = QueueVisible(&line->toPeer, nowUs);
        // The peer acts on whole frames, so it waits for the last byte queued, not the next.
        int last = line->toPeer.count - 1;
        int64_t byteWaitUs = visible > 0 ? 0 : QueueWaitUs(&line->toPeer, last, nowUs);
        LeaveCriticalSection(&line->lock);
        dueUs = 0;
        if (byteWaitUs >= 0 && (wait == INFINITE || byteWaitUs < (int64_t)wait * 1000))
            dueUs = SleepUntil(line, nowUs + byteWaitUs);
        else if (wait == INFINITE)
            WaitForSingleObject(line->wakePeer, INFINITE);
        else if (wait > 0)
            dueUs = SleepUntil(line, (int64_t)deadline * 1000);
    }
    return 0;
}

int SimStartPeer(SimulatedLine* line, SimPeerService service, void* context)
{
    SimStopPeer(line);
    line->peerService = service;
    line->peerContext = context;
    line->peerStop = 0;
    line->peerThread = CreateThread(0, 0, PeerThread, line, 0, &line->peerThreadId);
    return line->peerThread != 0;
}

void SimStopPeer(SimulatedLine* line)
{
    if (!line->peerThread)
        return;
    InterlockedExchange(&line->peerStop, 1);
    SetEvent(line->wakePeer);
    WaitForSingleObject(line->peerThread, INFINITE);
    CloseHandle(line->peerThread);
    line->peerThread = 0;
}

void SimWakePeer(SimulatedLine* line)
{
    SetEvent(line->wakePeer);
}

// --- Peer side ---

int SimPeerRead(SimulatedLine* line, uint8_t* bytes, int max)
{
    EnterCriticalSection(&line->lock);
    int visible = QueueVisible(&line->toPeer, SimNowUs(line));
    int taken = 0;
    while (taken < visible && taken < max)
    {
        // An answer never goes out before the last byte it may answer had crossed.
        int64_t readyAtUs = line->toPeer.readyAtUs[line->toPeer.head];
        if (line->peerDueUs && readyAtUs > line->peerDueUs)
            line->peerDueUs = readyAtUs;
        bytes[taken++] = QueuePop(&line->toPeer);
    }
    LeaveCriticalSection(&line->lock);
    return taken;
}

// Bytes the peer thread sends in a service call that woke late go on the wire when the call
// was due (see PEER_LATE_LIMIT_US).
static int64_t PeerSendTimeUs(SimulatedLine* line, int64_t nowUs)
{
    if (!line->peerDueUs || line->peerDueUs >= nowUs ||
        GetCurrentThreadId() != line->peerThreadId)
        return nowUs;
    int64_t earliestUs = nowUs - PEER_LATE_LIMIT_US;
    return line->peerDueUs > earliestUs ? line->peerDueUs : earliestUs;
}

int SimPeerWrite(SimulatedLine* line, const uint8_t* bytes, int count)
{
    EnterCriticalSection(&line->lock);
    int64_t sentUs = PeerSendTimeUs(line, SimNowUs(line));
    int queued = 0;
    for (; queued < count && line->toDriver.count < SIM_QUEUE_SIZE; ++queued)
        QueuePush(&line->toDriver, bytes[queued], sentUs, line->byteTimeUs);
    LeaveCriticalSection(&line->lock);
    SetEvent(line->wakeDriver);
    SetEvent(line->inputArrived);
    return queued;
}

void SimSetCts(SimulatedLine* line, int on)
{
    EnterCriticalSection(&line->lock);
    int changed = (line->cts != 0) != (on != 0);
    line->cts = on != 0;
    // A change during a pending wait completes that wait at once, as a port does; the
    // waiting thread may only get to run after a later mask change.
    if (changed && (line->eventMask & EV_CTS))
    {
        if (line->waiting)
            line->completedEvents |= EV_CTS;
        else
            line->pendingEvents |= EV_CTS;
    }
    LeaveCriticalSection(&line->lock);
    if (changed)
        SetEvent(line->wakeDriver);
}

int SimGetRts(SimulatedLine* line)
{
    return line->rts;
}

void SimFlush(SimulatedLine* line)
{
    EnterCriticalSection(&line->lock);
    QueueClear(&line->toPeer);
    QueueClear(&line->toDriver);
    line->announcedToDriver = 0;
    LeaveCriticalSection(&line->lock);
}

void SimFailNextReads(SimulatedLine* line, int count)
{
    EnterCriticalSection(&line->lock);
    line->failReads = count;
    LeaveCriticalSection(&line->lock);
}

void SimFailNextWrites(SimulatedLine* line, int count)
{
    EnterCriticalSection(&line->lock);
    line->failWrites = count;
    LeaveCriticalSection(&line->lock);
}

void SimSetVanished(SimulatedLine* line, int vanished)
{
    EnterCriticalSection(&line->lock);
    line->vanished = vanished;
    LeaveCriticalSection(&line->lock);
    SetEvent(line->wakeDriver);
    SetEvent(line->inputArrived);
}

void SimSetWriteTap(SimulatedLine* line, SimWriteTap tap, void* context)
{
    EnterCriticalSection(&line->lock);
    line->writeTap = tap;
    line->writeTapContext = context;
    LeaveCriticalSection(&line->lock);
}

void SimSetReadTap(SimulatedLine* line, SimReadTap tap, void* context)
{
    EnterCriticalSection(&line->lock);
    line->readTap = tap;
    line->readTapContext = context;
    LeaveCriticalSection(&line->lock);
}

int SimPendingToDriver(SimulatedLine* line)
{
    EnterCriticalSection(&line->lock);
    int count = line->toDriver.count;
    LeaveCriticalSection(&line->lock);
    return count;
}

// --- Driver side: the simulatedLineBackend ---

// A vanished device fails every call, as Windows does for a pulled USB adapter.
static BOOL Vanished(SimulatedLine* line)
{
    if (!line->vanished)
        return FALSE;
    SetLastError(ERROR_NOT_READY);
    return TRUE;
}

static HANDLE SimOpen(int portIndex, LineWaitState*)
{
    SimulatedLine* line = AttachedSimulatedLine(portIndex);
    if (!line || line->vanished || line->isOpen)
    {
        SetLastError(line && line->isOpen ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    EnterCriticalSection(&line->lock);
    line->isOpen = 1;
    ++line->openCount;
    LeaveCriticalSection(&line->lock);
    return (HANDLE)line;
}

static void ClearQueues(SimulatedLine* line, DWORD flags)
{
    if (flags & PURGE_RXCLEAR)
    {
        QueueClear(&line->toDriver);
        line->announcedToDriver = 0;
    }
    if (flags & PURGE_TXCLEAR)
        QueueClear(&line->toPeer);
}

static BOOL SimSetMask(HANDLE port, LineWaitState*, DWORD mask)
{
    SimulatedLine* line = LineOf(port);
    if (Vanished(line))
        return FALSE;
    EnterCriticalSection(&line->lock);
    line->eventMask = mask;
    line->pendingEvents = 0;
    ++line->maskGeneration;
    // As on a real port, characters that arrived before the mask was set raise no event.
    line->announcedToDriver = QueueVisible(&line->toDriver, SimNowUs(line));
    LeaveCriticalSection(&line->lock);
    SetEvent(line->wakeDriver);
    SetEvent(line->inputArrived); // a closing port ends the driver's wait for bytes
    return TRUE;
}

static void SimPrepare(HANDLE port)
{
    SimulatedLine* line = LineOf(port);
    SimSetMask(port, 0, 0);
    EnterCriticalSection(&line->lock);
    ClearQueues(line, PURGE_RXCLEAR | PURGE_TXCLEAR);
    LeaveCriticalSection(&line->lock);
}

static BOOL SimApplyLineSettings(HANDLE port, DWORD)
{
    return !Vanished(LineOf(port));
}

static BOOL SimClose(HANDLE port)
{
    SimulatedLine* line = LineOf(port);
    EnterCriticalSection(&line->lock);
    line->isOpen = 0;
    line->eventMask = 0;
    ++line->maskGeneration;
    LeaveCriticalSection(&line->lock);
    SetEvent(line->wakeDriver);
    SetEvent(line->inputArrived);
    return TRUE;
}

static BOOL SimWaitEvent(HANDLE port, LineWaitState*, DWORD* events, OVERLAPPED*)
{
    SimulatedLine* line = LineOf(port);
    *events = 0;
    EnterCriticalSection(&line->lock);
    unsigned generation = line->maskGeneration;
    line->waiting = 1;
    for (;;)
    {
        if (line->vanished)
        {
            line->waiting = 0;
            LeaveCriticalSection(&line->lock);
            SetLastError(ERROR_NOT_READY);
            return FALSE;
        }
        if (line->completedEvents)
        {
            *events = line->completedEvents;
            line->completedEvents = 0;
            break;
        }
        if (line->maskGeneration != generation)
            break; // ended by a mask change: an empty set
        if (line->eventMask == 0)
        {
            // Nothing could ever end this wait: the port is being closed.
            line->waiting = 0;
            LeaveCriticalSection(&line->lock);
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        int64_t nowUs = SimNowUs(line);
        int visible = QueueVisible(&line->toDriver, nowUs);
        if ((line->eventMask & EV_RXCHAR) && visible > line->announcedToDriver)
        {
            line->pendingEvents |= EV_RXCHAR;
            line->announcedToDriver = visible;
        }
        if (line->pendingEvents & line->eventMask)
        {
            *events = line->pendingEvents & line->eventMask;
            line->pendingEvents = 0;
            break;
        }
        DWORD wait = INFINITE;
        if (line->eventMask & EV_RXCHAR)
            wait = QueueWaitMs(&line->toDriver, line->announcedToDriver, nowUs);
        LeaveCriticalSection(&line->lock);
        WaitForSingleObject(line->wakeDriver, wait);
        EnterCriticalSection(&line->lock);
    }
    line->waiting = 0;
    LeaveCriticalSection(&line->lock);
    return TRUE;
}

static BOOL SimGetModemStatus(HANDLE port, DWORD* status)
{
    SimulatedLine* line = LineOf(port);
    if (Vanished(line))
        return FALSE;
    *status = line->cts ? MS_CTS_ON : 0;
    return TRUE;
}

static BOOL SimEscape(HANDLE port, DWORD function)
{
    SimulatedLine* line = LineOf(port);
    if (Vanished(line))
        return FALSE;
    if (function == SETRTS)
        line->rts = 1;
    else if (function == CLRRTS)
        line->rts = 0;
    else
        return FALSE;
    SetEvent(line->wakePeer);
    return TRUE;
}

static BOOL SimPurge(HANDLE port, DWORD flags)
{
    SimulatedLine* line = LineOf(port);
    if (Vanished(line))
        return FALSE;
    EnterCriticalSection(&line->lock);
    ClearQueues(line, flags);
    LeaveCriticalSection(&line->lock);
    return TRUE;
}

static BOOL SimClearError(HANDLE port, DWORD* inQueue)
{
    SimulatedLine* line = LineOf(port);
    *inQueue = 0;
    if (Vanished(line))
        return FALSE;
    EnterCriticalSection(&line->lock);
    *inQueue = (DWORD)QueueVisible(&line->toDriver, SimNowUs(line));
    LeaveCriticalSection(&line->lock);
    return TRUE;
}

static BOOL SimReadByte(HANDLE port, OVERLAPPED*, BYTE* value)
{
    SimulatedLine* line = LineOf(port);
    if (Vanished(line))
        return FALSE;
    BOOL read = FALSE;
    EnterCriticalSection(&line->lock);
    if (line->failReads > 0)
        --line->failReads;
    else if (QueueVisible(&line->toDriver, SimNowUs(line)) > 0)
    {
        int64_t readyAtUs = line->toDriver.readyAtUs[line->toDriver.head];
        *value = QueuePop(&line->toDriver);
        if (line->readTap)
            line->readTap(line->readTapContext, *value, readyAtUs);
        if (line->announcedToDriver > 0)
            --line->announcedToDriver;
        read = TRUE;
    }
    LeaveCriticalSection(&line->lock);
    return read;
}

static BOOL SimWriteByte(HANDLE port, OVERLAPPED*, BYTE value)
{
    SimulatedLine* line = LineOf(port);
    if (Vanished(line))
        return FALSE;
    EnterCriticalSection(&line->lock);
    BOOL started = TRUE;
    // Behind a byte still crossing, the peer's wait is already set for that earlier byte, so
    // only the first byte of a burst needs to wake it: one event call per frame, not per byte.
    BOOL wakePeer = line->toPeer.count == 0;
    if (line->failWrites > 0)
    {
        --line->failWrites;
        started = FALSE;
    }
    else
    {
        int64_t nowUs = SimNowUs(line);
        QueuePush(&line->toPeer, value, nowUs, line->byteTimeUs);
        if (line->writeTap)
            line->writeTap(line->writeTapContext, value, nowUs);
    }
    LeaveCriticalSection(&line->lock);
    if (!started)
        SetLastError(ERROR_GEN_FAILURE);
    else if (wakePeer)
        SetEvent(line->wakePeer);
    return started;
}

// The event is reset under the lock, so a send after this look sets it again; a byte sent
// before it is in the queue, and the time until it has crossed is the wait.
// The caller's object wait ends later than asked, so it is asked for the whole milliseconds
// until the next byte has crossed; the last part below a millisecond is slept here.
static HANDLE SimArmInputWait(HANDLE port, LineWaitState*, OVERLAPPED*, DWORD* dueMs)
{
    SimulatedLine* line = LineOf(port);
    EnterCriticalSection(&line->lock);
    ResetEvent(line->inputArrived);
    int64_t waitUs = QueueWaitUs(&line->toDriver, 0, SimNowUs(line));
    LeaveCriticalSection(&line->lock);
    if (waitUs > 0 && waitUs < SHORT_SLEEP_US)
    {
        SleepMicroseconds(waitUs);
        waitUs = 0;
    }
    *dueMs = waitUs < 0 ? INFINITE : (DWORD)(waitUs / 1000);
    return line->inputArrived;
}

static void SimEndInputWait(HANDLE, LineWaitState*, OVERLAPPED*)
{
}

const LineBackend simulatedLineBackend = {
    "simulated line", SimOpen,  SimPrepare,        SimApplyLineSettings,
    SimClose,         SimSetMask, SimWaitEvent,    SimGetModemStatus,
    SimEscape,        SimPurge, SimClearError,     SimReadByte,
    SimWriteByte,     SimArmInputWait, SimEndInputWait,
};
