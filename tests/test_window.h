// Test fixture: a message-only window that records the driver's messages, and waits that
// keep the test thread's message queue serviced.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "bench/process_cpu.h" // ProcessCpuMs

const int RECORDED_MESSAGE_LIMIT = 256;

struct RecordedMessage
{
    UINT message;
    WPARAM wParam;
    uint8_t frame[40]; // copy of the frame for WM_CAMERA_EVENT 104
    int posted;        // 1 when it came through the queue, 0 when sent
};

struct MessageRecorder
{
    HWND window;
    int count;
    RecordedMessage messages[RECORDED_MESSAGE_LIMIT];
};

// Creates the recording window on the calling thread (once per process) and clears it.
HWND StartRecorder();
MessageRecorder* Recorder();
void ClearRecorder();
// Number of recorded messages of one kind (and wParam, unless it is -1).
int CountMessages(UINT message, int wParam = -1);
// Dispatches every queued message of the calling thread.
void PumpMessages();
// Pumps for ms milliseconds.
void PumpFor(DWORD ms);
// Pumps until condition() holds or ms have passed; returns whether it holds.
bool PumpUntil(bool (*condition)(void*), void* context, DWORD ms);

