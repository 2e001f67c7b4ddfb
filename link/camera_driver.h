// The camera driver: the one record that stands for the serial link to the HL-R8, and the
// operations on it.
//
// Principles of operation:
// - The GUI thread runs every transaction: it writes a request byte by byte and polls the
//   port for the acknowledgement and the reply, acknowledging each frame it receives.
// - Between transactions a reader thread waits on the port for received characters and CTS
//   changes, receives unsolicited frames into a 16-slot ring and posts them to the window.
// - The two threads never read frames at the same time: receiveBusy is taken with one
//   atomic test-and-set, and every transaction narrows the port's event mask to CTS alone
//   so the reader thread sleeps through its reply.
// - The reader thread talks to the GUI thread only through window messages; the GUI
//   thread's waiting loops let messages sent to it through (YieldToMessages).
// - Waits sleep on an object: the wait for received bytes on the line's own event
//   (WaitForLineOrMessages, line_wait.cpp), the waits for CTS, arrivals and the interlock on
//   the driver's lineChanged event, the pauses on nothing until their end. None spins, and
//   none waits for a byte of a COM port by timer (see timing.cpp).
// - The port itself is reached through the line interface (serial_line.h): a COM port or
//   the simulated line, chosen when the port is opened.
//
// Operations returning ResultCode give 0 for success and a negative code on failure.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "link/packet.h"
#include "link/result_codes.h"
#include "link/serial_line.h"
#include "services/window_messages.h" // WM_CAMERA_POWER, WM_LINK_STATUS, WM_CAMERA_EVENT

const int EVENT_RING_SLOTS = 16;

// Time-outs in milliseconds.
const DWORD BYTE_TIMEOUT_MS = 3000;        // each byte after a frame's length byte
const DWORD COMMAND_TIMEOUT_MS = 5000;     // first byte of a frame, in a transaction
const DWORD READER_FRAME_TIMEOUT_MS = 3000; // first byte of a frame, on the reader thread
const DWORD RTS_PULSE_MS = 250;

const DWORD RECEIVE_EVENT_MASK = EV_RXCHAR | EV_CTS; // between transactions
const DWORD TRANSACTION_EVENT_MASK = EV_CTS;         // while a transaction runs

struct CameraDriver
{
    // Port and threads.
    HANDLE portHandle;          // the open serial port; null while closed
    OVERLAPPED writeOverlapped; // every write, with its own manual-reset event
    OVERLAPPED readOverlapped;  // every read, with its own manual-reset event
    HANDLE readerThread;        // the reader thread
    volatile DWORD readerThreadId; // nonzero from the thread's creation until it ends
    volatile LONG readerStarted;   // set by the reader once its event mask is in place
    volatile int portOpen;      // 1 while the port is open; the reader runs while it is 1
    volatile int cameraReady;   // 1 while the camera is known to be up
    HWND notifyWindow;          // receives the driver's messages
    volatile LONG receiveBusy;  // 1 while one thread is reading a frame from the port
    volatile LONG frameWriteBusy;   // 1 while one thread is writing a frame to the port
    volatile DWORD eventMask;       // the event mask last set on the port
    volatile LONG eventMaskChanges; // counts every SetPortEventMask
    int portIndex;              // 0..3 for COM1..COM4
    int lineSpeed;              // 4800, 9600 or 14400 baud

    // Results.
    ResultCode lastResult;     // result of the last link operation
    ResultCode reportedResult; // lastResult as of the last status report
    LONG statusReports;        // counts status reports: one at the end of every transaction

    // Receive buffers.
    uint8_t replyBuffer[FRAME_BUFFER_SIZE]; // frame last received by a transaction
    uint8_t eventBuffer[FRAME_BUFFER_SIZE]; // frame being received by the reader thread

    // Arrival flags, set when completion frames arrive.
    volatile int zoomArrived;
    volatile int panTiltArrived;
    volatile int exposureArrived;

    volatile int eventsEnabled; // the reader thread posts WM_CAMERA_EVENT only while 1

    int eventSlot;                                        // ring slot of the next event frame
    uint8_t eventRing[EVENT_RING_SLOTS][FRAME_BUFFER_SIZE]; // frames handed to the window

    // Manual-reset event, set when something a GUI-thread wait may be waiting for happened on
    // the line: a CTS change the reader thread saw, a completion frame received, the receive
    // interlock released. Made by OpenPort, closed by ClosePort.
    HANDLE lineChanged;

    const LineBackend* line; // backend of the open port; chosen by OpenPort
    LineWaitState lineWait;  // the backend's comm-event wait state of the open port
};

// --- Port and reader thread (serial_port.cpp, reader_thread.cpp) ---

void ResetDriver(CameraDriver* driver);
ResultCode OpenPort(CameraDriver* driver, HWND window, int portIndex, int lineSpeed);
ResultCode ClosePort(CameraDriver* driver);
ResultCode StartReaderThread(CameraDriver* driver);
ResultCode PulseRts(CameraDriver* driver);
ResultCode WaitForCts(CameraDriver* driver, DWORD timeoutMs);
int BytesWaiting(CameraDriver* driver);
// The same count, with 0 as the result when the port cannot report it.
int QueryBytesWaiting(CameraDriver* driver, int* count);
int ReadByte(CameraDriver* driver, DWORD timeoutMs); // 0..255, -9 or -10
ResultCode WriteByte(CameraDriver* driver, uint8_t value);
// Sets the port's event mask (0 when it cannot be set) and remembers it for the reader.
int SetPortEventMask(CameraDriver* driver, DWORD mask);
DWORD CurrentEventMask(CameraDriver* driver); // the mask last set
LONG EventMaskChanges(CameraDriver* driver); // counts every SetPortEventMask

// --- The record's state for the camera control (serial_port.cpp, transactions.cpp) ---

int PortIsOpen(const CameraDriver* driver);    // 1 while the port is open
int CameraIsReady(const CameraDriver* driver); // 1 while the camera is known to be up
// Whether the reader thread posts WM_CAMERA_EVENT: 1 on, 0 off.
void SetCameraEventsEnabled(CameraDriver* driver, int on);
ResultCode LinkLastResult(const CameraDriver* driver); // result of the last link operation
// How many status reports (ReportLinkStatus) the link has made: a caller that notes it before
// an action tells whether the action talked to the camera, and so whether LinkLastResult is its.
LONG LinkStatusReports(const CameraDriver* driver);

// --- Timing (timing.cpp); used throughout the program ---

void Delay(DWORD ms);        // sleeps, looks at no messages
void DelayPumping(DWORD ms); // sleeps while letting sent messages through
int YieldToMessages();       // sleeps 1 ms, peeks; 1 when a message was waiting
// One sleep until the object (0: none) is signalled or ms have passed, or a message is sent to
// this thread, which is then delivered (posted ones stay queued). WAIT_OBJECT_0, WAIT_TIMEOUT,
// WAIT_IO_COMPLETION when it delivered sent messages, or WAIT_FAILED.
DWORD SleepOnObjectOrMessages(HANDLE object, DWORD ms);

// --- The wait for received bytes (line_wait.cpp) ---

// One sleep until a byte may be in the port's input queue, timeoutMs have passed, or a message
// is sent to this thread (delivered). Returns at once when bytes are waiting or the port is
// closing; the caller looks at the queue and the time again.
void WaitForLineOrMessages(CameraDriver* driver, DWORD timeoutMs);
// A wait for state that the line changes (CTS, arrival flags, the receive interlock): call
// ResetLineChange before each look at that state, and WaitForLineChange after a look that
// found it not yet as wanted. The sleep ends when the line reported a change since the reset,
// after ms, after LINE_CHANGE_LOOK_MS at the latest (a change no event tells of is still
// seen), or when a message is sent to this thread (delivered).
void ResetLineChange(CameraDriver* driver);
void WaitForLineChange(CameraDriver* driver, DWORD ms);
void NoteLineChange(CameraDriver* driver); // sets the event

// --- Transactions (transactions.cpp) ---

ResultCode ReceiveFrame(CameraDriver* driver, uint8_t* frame, int* length, DWORD timeoutMs);
ResultCode ReceiveFrameLocked(CameraDriver* driver, uint8_t* frame, int* length,
                              DWORD timeoutMs);
ResultCode WriteFrame(CameraDriver* driver, uint8_t* request);
ResultCode SendRequest(CameraDriver* driver, uint8_t* request);
ResultCode Transact(CameraDriver* driver, uint8_t* request, uint8_t* reply, int* replyLength,
                    DWORD timeoutMs);
ResultCode TransactAckOnly(CameraDriver* driver, uint8_t* request);
void ReportLinkStatus(CameraDriver* driver);
void MarkArrival(CameraDriver* driver, const uint8_t* frame);

// Interlock helpers: one indivisible test-and-set of receiveBusy.
int TryTakeReceiveInterlock(CameraDriver* driver);
void ReleaseReceiveInterlock(CameraDriver* driver);
