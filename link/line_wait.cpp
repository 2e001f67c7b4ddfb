// The wait for received bytes: the driver sleeps until the next byte can be in the port's
// input queue, its time is up, or a message is sent to this thread, which is delivered.
//
// Each line backend gives an event that is set when a byte may have arrived, and how long
// until the next byte can be there without the event telling:
// - The simulated line sets an event of its own whenever its peer puts bytes on the way to the
//   driver; the line's pacing makes each byte readable only once it has crossed, and the
//   backend says when the next one will have.
// - The COM port starts an overlapped read of one byte with the driver's read record and
//   sleeps on its event; the byte read goes to the wait state and counts as waiting until
//   ReadByte takes it. The reader thread's EV_RXCHAR cannot serve here: every transaction
//   narrows the event mask to EV_CTS, so while a transaction waits for its answer nobody is
//   told of received characters, and widening the mask would wake the reader for the reply
//   and undo the interlock. The read is safe because the wait runs only inside a frame
//   reception, under the receive interlock: no other thread reads the port meanwhile.
//
// No byte is lost between the look at the queue and the sleep: the wait is armed first (the
// event reset, the read started), then the queue is looked at, then the thread sleeps, so a
// byte arriving after the look sets the event and ends the sleep at once.
#include "link/camera_driver.h"

// A backend that cannot wait on an event is looked at this often.
const DWORD LINE_POLL_STEP_MS = 1;
// The longest sleep of a wait for a line change: a CTS change that came while the reader thread
// was receiving a frame is seen by the waiter's own look, without the reader's event.
const DWORD LINE_CHANGE_LOOK_MS = 10;

void WaitForLineOrMessages(CameraDriver* driver, DWORD timeoutMs)
{
    if (!driver->portHandle || timeoutMs == 0)
        return;
    DWORD dueMs = INFINITE;
    HANDLE event = driver->line->armInputWait(driver->portHandle, &driver->lineWait,
                                               &driver->readOverlapped, &dueMs);
    int waiting = 0;
    if (driver->portOpen && QueryBytesWaiting(driver, &waiting) && waiting == 0)
    {
        DWORD ms = timeoutMs < dueMs ? timeoutMs : dueMs;
        if (!event && ms > LINE_POLL_STEP_MS)
            ms = LINE_POLL_STEP_MS;
        SleepOnObjectOrMessages(event, ms);
    }
    driver->line->endInputWait(driver->portHandle, &driver->lineWait, &driver->readOverlapped);
}

// Waits for line changes: the reader thread and frame reception set the driver's lineChanged
// event; the GUI thread resets it before it looks at what it waits for, so a change after the
// look ends the sleep at once.
void ResetLineChange(CameraDriver* driver)
{
    if (driver->lineChanged)
        ResetEvent(driver->lineChanged);
}

void NoteLineChange(CameraDriver* driver)
{
    if (driver->lineChanged)
        SetEvent(driver->lineChanged);
}

void WaitForLineChange(CameraDriver* driver, DWORD ms)
{
    SleepOnObjectOrMessages(driver->lineChanged,
                            ms < LINE_CHANGE_LOOK_MS ? ms : LINE_CHANGE_LOOK_MS);
}
