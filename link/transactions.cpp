// Transactions: receiving and acknowledging frames, sending requests, pairing a request with
// its acknowledgement and reply, and the status report that turns results into messages.
#include "link/camera_driver.h"
#include "link/frame_line.h"
#include "link/line_trace.h"

#include <string.h>

int TryTakeReceiveInterlock(CameraDriver* driver)
{
    return InterlockedCompareExchange(&driver->receiveBusy, 1, 0) == 0;
}

void ReleaseReceiveInterlock(CameraDriver* driver)
{
    InterlockedExchange(&driver->receiveBusy, 0);
    NoteLineChange(driver); // a transaction waiting for the interlock takes it now
}

static void WriteAcknowledgement(CameraDriver* driver, const uint8_t* frame)
{
    uint8_t buffer[ACK_FRAME_SIZE];
    memcpy(buffer, frame, sizeof buffer);
    WriteFrame(driver, buffer);
}

// Bytes the receiver dropped while looking for a length byte, kept for the line trace until
// a frame starts, the wait ends or a line's worth has gathered.
struct SkippedBytes
{
    uint8_t bytes[FRAME_LINE_BYTES];
    int count;
};

static void TraceSkippedBytes(CameraDriver* driver, SkippedBytes* skipped)
{
    TraceLineBytes(driver->portIndex, TRACE_BYTES_READ, skipped->bytes, skipped->count);
    skipped->count = 0;
}

static void NoteSkippedByte(CameraDriver* driver, SkippedBytes* skipped, uint8_t value)
{
    if (!LineTraceIsOpen())
        return;
    if (skipped->count == FRAME_LINE_BYTES)
        TraceSkippedBytes(driver, skipped);
    skipped->bytes[skipped->count++] = value;
}

// Reads the N bytes that follow the length byte in frame[0]. The frame goes to the line
// trace once it is whole, and as far as it came when a byte fails to follow.
static ResultCode ReadFrameBody(CameraDriver* driver, uint8_t* frame)
{
    int total = FrameTotalLength(frame);
    for (int i = 1; i < total; ++i)
    {
        int next = ReadByte(driver, BYTE_TIMEOUT_MS);
        if (next < 0)
        {
            TraceLineBytes(driver->portIndex, TRACE_BYTES_READ, frame, i);
            return next;
        }
        frame[i] = (uint8_t)next;
    }
    TraceLineBytes(driver->portIndex, TRACE_FRAME_READ, frame, total);
    return RESULT_OK;
}

// Waits for a byte that can start a frame and reads the rest of the frame after it.
// Bytes outside 3..32 are dropped: that is how the receiver finds the next frame. The wait
// sleeps until a byte can be there (WaitForLineOrMessages), letting sent messages through.
static ResultCode ReadFrameBytes(CameraDriver* driver, uint8_t* frame, DWORD start,
                                 DWORD timeoutMs)
{
    SkippedBytes skipped;
    skipped.count = 0;
    ResultCode result = RESULT_TIMEOUT;
    for (;;)
    {
        int waiting = 0;
        if (!driver->portOpen || !QueryBytesWaiting(driver, &waiting))
        {
            result = RESULT_READ_ERROR;
            break;
        }
        if (waiting > 0)
        {
            int value = ReadByte(driver, BYTE_TIMEOUT_MS);
            if (value < 0)
            {
                result = value;
                break;
            }
            if (IsLengthByte(value))
            {
                TraceSkippedBytes(driver, &skipped);
                frame[0] = (uint8_t)value;
                return ReadFrameBody(driver, frame);
            }
            NoteSkippedByte(driver, &skipped, (uint8_t)value);
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            break;
        WaitForLineOrMessages(driver, timeoutMs - elapsed);
    }
    TraceSkippedBytes(driver, &skipped);
    return result;
}

static void NoteCameraUp(CameraDriver* driver, const uint8_t* frame)
{
    if (!driver->cameraReady && driver->notifyWindow && (frame[2] & READY_FLAG))
    {
        driver->cameraReady = 1;
        SendMessageA(driver->notifyWindow, WM_CAMERA_POWER, 1, 0);
    }
}

ResultCode ReceiveFrame(CameraDriver* driver, uint8_t* frame, int* length, DWORD timeoutMs)
{
    if (length)
        *length = 0;
    DWORD start = GetTickCount();
    for (;;)
    {
        ResultCode result = ReadFrameBytes(driver, frame, start, timeoutMs);
        if (result != RESULT_OK)
            return result;
        if (FrameSumIsZero(frame))
            break;
        WriteAcknowledgement(driver, CHECKSUM_NAK_FRAME);
    }
    if (length)
        *length = FrameTotalLength(frame);
    NoteCameraUp(driver, frame);
    if (frame[1] & ACK_FLAG)
        return frame[2] == ACK_CODE ? RESULT_OK : RESULT_NAK;
    if (!(frame[2] & EVENT_FLAG))
        MarkArrival(driver, frame);
    WriteAcknowledgement(driver, ACK_FRAME);
    return RESULT_OK;
}

ResultCode ReceiveFrameLocked(CameraDriver* driver, uint8_t* frame, int* length,
                              DWORD timeoutMs)
{
    driver->lastResult = RESULT_OK;
    if (length)
        *length = 0;
    for (;;)
    {
        ResetLineChange(driver);
        if (TryTakeReceiveInterlock(driver))
            break;
        WaitForLineChange(driver, INFINITE);
    }
    driver->lastResult = ReceiveFrame(driver, frame, length, timeoutMs);
    ReportLinkStatus(driver);
    ReleaseReceiveInterlock(driver);
    return driver->lastResult;
}

// frameWriteBusy is held while one thread writes a frame. A transaction sends its request
// without the receive interlock, so the reader thread may be acknowledging a frame at that
// very moment; without it the two frames' bytes would interleave on the wire and the camera
// would see neither.
static void TakeFrameWriteLock(CameraDriver* driver)
{
    while (InterlockedCompareExchange(&driver->frameWriteBusy, 1, 0) != 0)
        Sleep(1);
}

static void ReleaseFrameWriteLock(CameraDriver* driver)
{
    InterlockedExchange(&driver->frameWriteBusy, 0);
}

// *written counts the bytes that went out, checksum included.
static ResultCode WriteFrameBytes(CameraDriver* driver, uint8_t* request, int* written)
{
    int length = request[0];
    uint8_t sum = 0;
    for (int i = 0; i < length; ++i)
    {
        if (WriteByte(driver, request[i]) != RESULT_OK)
            return RESULT_WRITE_ERROR;
        sum = (uint8_t)(sum + request[i]);
        ++*written;
    }
    request[length] = (uint8_t)(0x100 - sum);
    if (WriteByte(driver, request[length]) != RESULT_OK)
        return RESULT_WRITE_ERROR;
    ++*written;
    return RESULT_OK;
}

// The frame goes to the line trace under the write lock, so that the trace holds the frames
// of both threads in the order they went out.
ResultCode WriteFrame(CameraDriver* driver, uint8_t* request)
{
    TakeFrameWriteLock(driver);
    int written = 0;
    ResultCode result = WriteFrameBytes(driver, request, &written);
    TraceLineBytes(driver->portIndex,
                   result == RESULT_OK ? TRACE_FRAME_WRITTEN : TRACE_PART_WRITTEN, request,
                   written);
    ReleaseFrameWriteLock(driver);
    return result;
}

// A request written is no sign that the camera answers, so only a failed write is reported
// here; recovery is reported by the reception of the answer. Otherwise every failing
// transaction after the first would show the window a recovery and a new failure.
ResultCode SendRequest(CameraDriver* driver, uint8_t* request)
{
    driver->lastResult = WriteFrame(driver, request);
    if (driver->lastResult != RESULT_OK)
        ReportLinkStatus(driver);
    return driver->lastResult;
}

// The echo some adapters send back is the request byte for byte, checksum included.
static int IsEcho(const uint8_t* frame, int length, const uint8_t* request)
{
    return length == FrameTotalLength(request) && memcmp(frame, request, (size_t)length) == 0;
}

static void HandOverEvent(CameraDriver* driver)
{
    if (driver->notifyWindow)
        SendMessageA(driver->notifyWindow, WM_CAMERA_EVENT, CAMERA_EVENT_FRAME,
                     (LPARAM)driver->replyBuffer);
}

ResultCode Transact(CameraDriver* driver, uint8_t* request, uint8_t* reply, int* replyLength,
                    DWORD timeoutMs)
{
    SetPortEventMask(driver, TRANSACTION_EVENT_MASK);
    if (replyLength)
        *replyLength = 0;
    int replySeen = 0;
    int ackSeen = 0;
    if (SendRequest(driver, request) == RESULT_OK)
    {
        while (!(replySeen && ackSeen))
        {
            int length = 0;
            if (ReceiveFrameLocked(driver, driver->replyBuffer, &length, timeoutMs) != RESULT_OK)
                break;
            const uint8_t* frame = driver->replyBuffer;
            if (IsEcho(frame, length, request))
                continue;
            FrameKind kind = ClassifyFrame(frame);
            if (kind == FRAME_ACK)
                ackSeen = 1;
            else if (kind == FRAME_EVENT)
                HandOverEvent(driver);
            else if (FrameAnswersRequest(frame, request))
            {
                replySeen = 1;
                if (reply)
                    memcpy(reply, frame, (size_t)length);
                if (replyLength)
                    *replyLength = length;
            }
        }
    }
    SetPortEventMask(driver, RECEIVE_EVENT_MASK);
    return driver->lastResult;
}

ResultCode TransactAckOnly(CameraDriver* driver, uint8_t* request)
{
    SetPortEventMask(driver, TRANSACTION_EVENT_MASK);
    if (SendRequest(driver, request) == RESULT_OK)
    {
        for (;;)
        {
            int length = 0;
            if (ReceiveFrameLocked(driver, driver->replyBuffer, &length, COMMAND_TIMEOUT_MS) !=
                RESULT_OK)
                break;
            if (IsEcho(driver->replyBuffer, length, request))
                continue;
            FrameKind kind = ClassifyFrame(driver->replyBuffer);
            if (kind == FRAME_ACK)
                break;
            if (kind == FRAME_EVENT)
                HandOverEvent(driver);
        }
    }
    SetPortEventMask(driver, RECEIVE_EVENT_MASK);
    return driver->lastResult;
}

ResultCode LinkLastResult(const CameraDriver* driver)
{
    return driver->lastResult;
}

LONG LinkStatusReports(const CameraDriver* driver)
{
    return driver->statusReports;
}

void ReportLinkStatus(CameraDriver* driver)
{
    ++driver->statusReports;
    ResultCode result = driver->lastResult;
    int failing = result != RESULT_OK;
    int wasFailing = driver->reportedResult != RESULT_OK;
    if (failing != wasFailing && driver->notifyWindow)
        SendMessageA(driver->notifyWindow, WM_LINK_STATUS, failing ? 1 : 0, 0);
    int lineLost = result == RESULT_TIMEOUT || result == RESULT_READ_ERROR ||
                   result == RESULT_WRITE_ERROR;
    if (lineLost && driver->cameraReady)
    {
        driver->cameraReady = 0;
        if (driver->notifyWindow)
            SendMessageA(driver->notifyWindow, WM_CAMERA_POWER, 0, 0);
    }
    driver->reportedResult = result;
}

void MarkArrival(CameraDriver* driver, const uint8_t* frame)
{
    uint8_t device = FrameDevice(frame);
    uint8_t command = FrameCommand(frame);
    if (device == DEVICE_CAMERA_HEAD && command == ZOOM_REQUEST)
        driver->zoomArrived = 1;
    else if (device == DEVICE_CAMERA_HEAD && command == EXPOSURE_REQUEST)
        driver->exposureArrived = 1;
    else if (device == DEVICE_PAN_TILTER && command == PANTILT_REQUEST)
        driver->panTiltArrived = 1;
    else
        return;
    NoteLineChange(driver); // a wait for the arrival looks again
}
