// Opening and closing the port, the modem lines, and the byte-level read and write
// primitives of the camera driver.
#include "link/camera_driver.h"
#include "services/speed_limits.h"

#include <string.h>

static const DWORD PURGE_ALL = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

void ResetDriver(CameraDriver* driver)
{
    driver->portHandle = 0;
    memset(&driver->writeOverlapped, 0, sizeof driver->writeOverlapped);
    memset(&driver->readOverlapped, 0, sizeof driver->readOverlapped);
    driver->readerThread = 0;
    driver->readerThreadId = 0;
    driver->portOpen = 0;
    driver->cameraReady = 0;
    driver->notifyWindow = 0;
    driver->receiveBusy = 0;
    driver->frameWriteBusy = 0;
    driver->readerStarted = 0;
    driver->eventMask = 0;
    driver->portIndex = 0;
    driver->lineSpeed = DEFAULT_LINE_SPEED;
    driver->lastResult = 0;
    driver->reportedResult = 0;
    driver->zoomArrived = 0;
    driver->panTiltArrived = 0;
    driver->exposureArrived = 0;
    driver->eventsEnabled = 0;
    driver->eventSlot = 0;
    driver->lineChanged = 0;
    driver->line = 0;
}

static int ValidLineSpeed(int lineSpeed)
{
    return lineSpeed == LINE_SPEED_4800 || lineSpeed == LINE_SPEED_9600 ||
           lineSpeed == LINE_SPEED_14400;
}

static void CloseEvents(CameraDriver* driver)
{
    if (driver->readOverlapped.hEvent)
        CloseHandle(driver->readOverlapped.hEvent);
    if (driver->writeOverlapped.hEvent)
        CloseHandle(driver->writeOverlapped.hEvent);
    if (driver->lineChanged)
        CloseHandle(driver->lineChanged);
    driver->readOverlapped.hEvent = 0;
    driver->writeOverlapped.hEvent = 0;
    driver->lineChanged = 0;
}

static ResultCode FailOpen(CameraDriver* driver, ResultCode code)
{
    if (driver->portHandle)
        driver->line->close(driver->portHandle);
    driver->portHandle = 0;
    CloseEvents(driver);
    driver->lastResult = code;
    return code;
}

ResultCode OpenPort(CameraDriver* driver, HWND window, int portIndex, int lineSpeed)
{
    // Resetting an open driver would lose its port, events and thread.
    ClosePort(driver);
    ResetDriver(driver);
    driver->notifyWindow = window;
    driver->lineSpeed = lineSpeed;
    driver->portIndex = portIndex;
    if (portIndex < 0 || portIndex >= LINE_PORT_COUNT || !ValidLineSpeed(lineSpeed))
        return driver->lastResult = RESULT_BAD_PARAMETERS;

    driver->readOverlapped.hEvent = CreateEventA(0, TRUE, FALSE, 0);
    driver->writeOverlapped.hEvent = CreateEventA(0, TRUE, FALSE, 0);
    driver->lineChanged = CreateEventA(0, TRUE, FALSE, 0);
    if (!driver->readOverlapped.hEvent || !driver->writeOverlapped.hEvent ||
        !driver->lineChanged)
        return FailOpen(driver, RESULT_COMM_INIT_FAILED);

    driver->line = SelectLineBackend(portIndex);
    HANDLE port = driver->line->open(portIndex, &driver->lineWait);
    if (port == INVALID_HANDLE_VALUE)
        return FailOpen(driver, RESULT_COMM_INIT_FAILED);
    driver->portHandle = port;

    driver->line->prepare(port);
    if (!driver->line->applyLineSettings(port, (DWORD)lineSpeed))
        return FailOpen(driver, RESULT_SETTINGS_FAILED);

    driver->portOpen = 1;
    if (StartReaderThread(driver) != RESULT_OK)
        return driver->lastResult = RESULT_COMM_INIT_FAILED;

    driver->line->escape(port, SETRTS);
    return driver->lastResult = RESULT_OK;
}

// Waits for the reader thread to end, letting sent messages through meanwhile: the reader may
// be sending one to this thread's window. The wait has no time bound on purpose. Every wait of
// the reader ends once the port is closing, except a message this thread's window is slow to
// handle; closing the port and events under a reader that still runs would let it use them
// after they are gone, or clear the fields of the next reader once the port is opened again.
// The thread handle is closed here, after the end, and never by the reader itself; ClosePort
// clears the fields.
static void WaitForReaderThreadEnd(CameraDriver* driver)
{
    HANDLE thread = driver->readerThread;
    if (!thread)
        return;
    // Inside the handler of a message the reader sent, each would wait for the other: let the
    // reader go on first.
    if (InSendMessage())
        ReplyMessage(0);
    while (SleepOnObjectOrMessages(thread, INFINITE) == WAIT_IO_COMPLETION)
    {
    }
    CloseHandle(thread);
}

ResultCode ClosePort(CameraDriver* driver)
{
    if (!driver->portOpen)
        return RESULT_OK;
    driver->portOpen = 0;
    SetPortEventMask(driver, 0);
    WaitForReaderThreadEnd(driver);

    driver->line->escape(driver->portHandle, CLRRTS);
    driver->line->purge(driver->portHandle, PURGE_ALL);
    driver->lineWait.held = 0;
    driver->line->close(driver->portHandle);
    CloseEvents(driver);

    driver->portHandle = 0;
    driver->readerThread = 0;
    driver->readerThreadId = 0;
    driver->writeOverlapped.Offset = driver->writeOverlapped.OffsetHigh = 0;
    driver->readOverlapped.Offset = driver->readOverlapped.OffsetHigh = 0;
    driver->cameraReady = 0;
    return RESULT_OK;
}

int SetPortEventMask(CameraDriver* driver, DWORD mask)
{
    driver->eventMask = mask;
    InterlockedIncrement(&driver->eventMaskChanges);
    return driver->portHandle && driver->line->setMask(driver->portHandle, &driver->lineWait, mask);
}

DWORD CurrentEventMask(CameraDriver* driver)
{
    return driver->eventMask;
}

LONG EventMaskChanges(CameraDriver* driver)
{
    return driver->eventMaskChanges;
}

int PortIsOpen(const CameraDriver* driver)
{
    return driver->portOpen;
}

int CameraIsReady(const CameraDriver* driver)
{
    return driver->cameraReady;
}

void SetCameraEventsEnabled(CameraDriver* driver, int on)
{
    driver->eventsEnabled = on;
}

ResultCode PulseRts(CameraDriver* driver)
{
    if (driver->portHandle)
        driver->line->escape(driver->portHandle, CLRRTS);
    DelayPumping(RTS_PULSE_MS);
    if (driver->portHandle)
        driver->line->escape(driver->portHandle, SETRTS);
    return driver->lastResult;
}

// A port that cannot report its modem lines counts as CTS off.
static int CtsIsOn(CameraDriver* driver)
{
    DWORD status = 0;
    if (!driver->portHandle || !driver->line->getModemStatus(driver->portHandle, &status))
        return 0;
    return (status & MS_CTS_ON) != 0;
}

ResultCode WaitForCts(CameraDriver* driver, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;)
    {
        ResetLineChange(driver);
        if (CtsIsOn(driver))
        {
            driver->lastResult = RESULT_OK;
            break;
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
        {
            driver->lastResult = RESULT_NOT_CONNECTED;
            break;
        }
        WaitForLineChange(driver, timeoutMs - elapsed);
    }
    ReportLinkStatus(driver);
    return driver->lastResult;
}

int BytesWaiting(CameraDriver* driver)
{
    int count = 0;
    QueryBytesWaiting(driver, &count);
    return count;
}

// A byte the wait for received bytes took from the port counts as waiting.
int QueryBytesWaiting(CameraDriver* driver, int* count)
{
    DWORD inQueue = 0;
    *count = 0;
    if (!driver->portHandle || !driver->line->clearError(driver->portHandle, &inQueue))
        return 0;
    *count = (int)inQueue + (driver->lineWait.held ? 1 : 0);
    return 1;
}

// A read on a port that is closing fails at once, so that ClosePort never waits out a
// reception of the reader thread; so does a read on a port that can no longer report its
// input queue (a pulled USB adapter), instead of waiting out the time-out.
int ReadByte(CameraDriver* driver, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;)
    {
        int waiting = 0;
        if (!driver->portOpen || !QueryBytesWaiting(driver, &waiting))
            return RESULT_READ_ERROR;
        if (waiting > 0)
            break;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return RESULT_TIMEOUT;
        WaitForLineOrMessages(driver, timeoutMs - elapsed);
    }
    if (driver->lineWait.held)
    {
        driver->lineWait.held = 0;
        return driver->lineWait.heldByte;
    }
    BYTE value = 0;
    if (!driver->line->readByte(driver->portHandle, &driver->readOverlapped, &value))
        return RESULT_READ_ERROR;
    return value;
}

ResultCode WriteByte(CameraDriver* driver, uint8_t value)
{
    if (!driver->portHandle)
        return RESULT_WRITE_ERROR;
    if (!driver->line->writeByte(driver->portHandle, &driver->writeOverlapped, value))
        return RESULT_WRITE_ERROR;
    return RESULT_OK;
}
