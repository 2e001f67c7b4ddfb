// Message-recording window for the tests.
#include "tests/test_window.h"
#include "link/camera_driver.h"

#include <string.h>

static MessageRecorder recorder;
static int dispatching; // inside DispatchMessageA of PumpMessages: a posted message

static LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CAMERA_POWER || message == WM_LINK_STATUS || message == WM_CAMERA_EVENT)
    {
        if (recorder.count < RECORDED_MESSAGE_LIMIT)
        {
            RecordedMessage* entry = &recorder.messages[recorder.count++];
            memset(entry, 0, sizeof *entry);
            entry->message = message;
            entry->wParam = wParam;
            entry->posted = dispatching && !InSendMessage();
            if (message == WM_CAMERA_EVENT && wParam == CAMERA_EVENT_FRAME && lParam)
            {
                const uint8_t* frame = (const uint8_t*)lParam;
                int length = frame[0] + 1;
                if (length > (int)sizeof entry->frame)
                    length = sizeof entry->frame;
                memcpy(entry->frame, frame, (size_t)length);
            }
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND StartRecorder()
{
    if (!recorder.window)
    {
        WNDCLASSA windowClass;
        memset(&windowClass, 0, sizeof windowClass);
        windowClass.lpfnWndProc = RecorderProc;
        windowClass.hInstance = GetModuleHandleA(0);
        windowClass.lpszClassName = "HLR8TestRecorder";
        RegisterClassA(&windowClass);
        recorder.window = CreateWindowA("HLR8TestRecorder", "", 0, 0, 0, 0, 0, HWND_MESSAGE, 0,
                                        GetModuleHandleA(0), 0);
    }
    ClearRecorder();
    return recorder.window;
}

MessageRecorder* Recorder()
{
    return &recorder;
}

void ClearRecorder()
{
    PumpMessages();
    recorder.count = 0;
}

int CountMessages(UINT message, int wParam)
{
    int count = 0;
    for (int i = 0; i < recorder.count; ++i)
        if (recorder.messages[i].message == message &&
            (wParam < 0 || recorder.messages[i].wParam == (WPARAM)wParam))
            ++count;
    return count;
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE))
    {
        TranslateMessage(&message);
        dispatching = 1;
        DispatchMessageA(&message);
        dispatching = 0;
    }
}

void PumpFor(DWORD ms)
{
    DWORD start = GetTickCount();
    do
    {
        PumpMessages();
        Sleep(1);
    } while (GetTickCount() - start < ms);
}

bool PumpUntil(bool (*condition)(void*), void* context, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;)
    {
        PumpMessages();
        if (condition(context))
            return true;
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(1);
    }
}
