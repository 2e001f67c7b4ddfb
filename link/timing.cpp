// Timing operations of the link, used by every waiting loop of the program, and the waits that
// sleep on an object while letting messages sent to this thread through.
//
// The link's waits sleep in the system until their object is signalled or their time is up;
// none spins, and none sleeps in small fixed steps (YieldToMessages is left to the single
// yields of the dialogs). The reason is the system timer: a wait with a time-out ends on a
// timer tick, which is 15.6 ms on Windows unless some program asked for a finer one, so a loop
// of 1 ms sleeps waits a whole tick per turn there, while a wait for an object that another
// thread or a driver signals ends as soon as it is signalled.
#include "link/camera_driver.h"

const int YIELD_EXTRA_PEEKS = 5; // more 1 ms sleeps while messages keep waiting

// Messages that other threads sent to this thread's windows are delivered by a peek; posted
// messages stay queued for the message loop.
static void DeliverSentMessages()
{
    MSG message;
    PeekMessageA(&message, 0, 0, 0, PM_NOREMOVE);
}

DWORD SleepOnObjectOrMessages(HANDLE object, DWORD ms)
{
    DWORD count = object ? 1 : 0;
    DWORD result = MsgWaitForMultipleObjects(count, &object, FALSE, ms, QS_SENDMESSAGE);
    if (object && result == WAIT_OBJECT_0)
        return WAIT_OBJECT_0;
    if (result == WAIT_OBJECT_0 + count)
    {
        DeliverSentMessages();
        return WAIT_IO_COMPLETION;
    }
    return result == WAIT_FAILED ? WAIT_FAILED : WAIT_TIMEOUT;
}

// Sleep ends at the earliest after the time asked; it is called again only when the tick
// count says it ended early.
void Delay(DWORD ms)
{
    if (ms == 0)
        return;
    DWORD start = GetTickCount();
    for (;;)
    {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        Sleep(ms - elapsed);
    }
}

void DelayPumping(DWORD ms)
{
    if (ms == 0)
        return;
    DWORD start = GetTickCount();
    for (;;)
    {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        SleepOnObjectOrMessages(0, ms - elapsed);
    }
}

// Peeking without removing lets messages that other threads sent to this thread's windows
// be delivered, while posted messages stay queued for the message loop.
int YieldToMessages()
{
    MSG message;
    Sleep(1);
    int waiting = PeekMessageA(&message, 0, 0, 0, PM_NOREMOVE) != 0;
    for (int i = 0; waiting && i < YIELD_EXTRA_PEEKS; ++i)
    {
        Sleep(1);
        waiting = PeekMessageA(&message, 0, 0, 0, PM_NOREMOVE) != 0;
    }
    return waiting;
}
