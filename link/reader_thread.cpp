// The reader thread: between transactions it waits on the port for received characters and
// CTS changes, receives unsolicited frames into the event ring and posts them to the window.
#include "link/camera_driver.h"

#include <string.h>

const DWORD WAIT_FAILURE_PAUSE_MS = 20; // a failing wait is retried this much later, not at once
const DWORD READER_START_WAIT_MS = 3000;

static void PostCtsChange(CameraDriver* driver)
{
    NoteLineChange(driver); // a WaitForCts on the GUI thread looks again
    DWORD status = 0;
    if (!driver->line->getModemStatus(driver->portHandle, &status))
        status = 0;
    if (driver->notifyWindow && driver->eventsEnabled)
        PostMessageA(driver->notifyWindow, WM_CAMERA_EVENT,
                     (status & MS_CTS_ON) ? CAMERA_EVENT_CTS_ON : CAMERA_EVENT_CTS_OFF, 0);
}

static void PostFrameToWindow(CameraDriver* driver)
{
    if (!driver->notifyWindow || !driver->eventsEnabled)
        return;
    uint8_t* slot = driver->eventRing[driver->eventSlot];
    memcpy(slot, driver->eventBuffer, (size_t)FrameTotalLength(driver->eventBuffer));
    PostMessageA(driver->notifyWindow, WM_CAMERA_EVENT, CAMERA_EVENT_FRAME, (LPARAM)slot);
    driver->eventSlot = (driver->eventSlot + 1) % EVENT_RING_SLOTS;
}

// Receives one frame when no transaction holds the port; a failed reception is dropped.
// A wait that woke just before a transaction narrowed the mask must not take the interlock
// in a gap between two receptions of that transaction and read its reply, so the mask is
// looked at again once the interlock is held.
// Returns 1 when a whole frame was received.
static int ReceiveUnsolicitedFrame(CameraDriver* driver)
{
    if (!TryTakeReceiveInterlock(driver))
        return 0;
    ResultCode result = RESULT_TIMEOUT;
    if ((CurrentEventMask(driver) & EV_RXCHAR) && BytesWaiting(driver) > 0)
        result = ReceiveFrame(driver, driver->eventBuffer, 0, READER_FRAME_TIMEOUT_MS);
    ReleaseReceiveInterlock(driver);
    if (result == RESULT_NAK)
        return 1; // a whole frame, though not one for the window: frames behind it still count
    if (result != RESULT_OK)
        return 0;
    PostFrameToWindow(driver);
    return 1;
}

// Characters that arrive while a transaction has the mask narrowed raise no event once the
// mask is restored (the port forgets events when its mask changes), so a completion frame
// arriving just after a transaction's last reception would wait in the queue for the next
// byte. Before every wait the queue is therefore emptied of whole frames.
static void ReceiveWaitingFrames(CameraDriver* driver)
{
    while (driver->portOpen && ReceiveUnsolicitedFrame(driver))
    {
    }
}

// The thread clears the id only while it is still its own: a ClosePort that has already let
// this reader go, followed by an OpenPort, stores the next reader's. Its handle is ClosePort's
// to close.
static void EndReaderThread(CameraDriver* driver, HANDLE ownEvent)
{
    if (ownEvent)
        CloseHandle(ownEvent);
    InterlockedExchange(&driver->readerStarted, 1); // never leave StartReaderThread waiting
    InterlockedCompareExchange((volatile LONG*)&driver->readerThreadId, 0,
                               (LONG)GetCurrentThreadId());
}

static DWORD WINAPI ReaderThread(LPVOID argument)
{
    CameraDriver* driver = (CameraDriver*)argument;
    OVERLAPPED wait;
    memset(&wait, 0, sizeof wait);
    wait.hEvent = CreateEventA(0, TRUE, FALSE, 0);
    if (!wait.hEvent || !SetPortEventMask(driver, RECEIVE_EVENT_MASK))
    {
        EndReaderThread(driver, wait.hEvent);
        return 0;
    }
    InterlockedExchange(&driver->readerStarted, 1);

    while (driver->portOpen)
    {
        LONG maskChanges = EventMaskChanges(driver);
        ReceiveWaitingFrames(driver);
        if (!driver->portOpen)
            break; // ClosePort's mask change may have come before this wait began
        if (EventMaskChanges(driver) != maskChanges)
            continue; // a transaction ended meanwhile: look at the queue again first
        DWORD events = 0;
        if (!driver->line->waitEvent(driver->portHandle, &driver->lineWait, &events, &wait))
        {
            Sleep(WAIT_FAILURE_PAUSE_MS);
            continue;
        }
        if (events & EV_CTS)
            PostCtsChange(driver);
    }
    EndReaderThread(driver, wait.hEvent);
    return 0;
}

// The thread starts suspended so that its handle and id are stored before it can end. The
// thread sets readerStarted once its event mask is in place; the wait for it keeps a
// transaction started right after OpenPort from being overtaken by the thread's own mask.
ResultCode StartReaderThread(CameraDriver* driver)
{
    DWORD id = 0;
    InterlockedExchange(&driver->readerStarted, 0);
    HANDLE thread = CreateThread(0, 0, ReaderThread, driver, CREATE_SUSPENDED, &id);
    if (!thread)
        return driver->lastResult = RESULT_COMM_INIT_FAILED;
    driver->readerThread = thread;
    driver->readerThreadId = id;
    ResumeThread(thread);
    DWORD start = GetTickCount();
    while (!driver->readerStarted && GetTickCount() - start < READER_START_WAIT_MS)
        Sleep(1);
    return driver->lastResult;
}
