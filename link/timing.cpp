// Timing operations of the link, used by every waiting loop of the program.
#include "link/camera_driver.h"

const int YIELD_EXTRA_PEEKS = 5; // more 1 ms sleeps while messages keep waiting

void Delay(DWORD ms)
{
    if (ms == 0)
        return;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms)
    {
    }
}

void DelayPumping(DWORD ms)
{
    if (ms == 0)
        return;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms)
        YieldToMessages();
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
