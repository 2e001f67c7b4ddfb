// The driver snapshot: the 4784 bytes of the settings file that keep the state of the camera
// link at shutdown, written field by field from the program's records.
//
// Principles of operation:
// - The bytes have the layout the driver record had when the file format was fixed: its
//   fields in their order, with the alignment of the 32-bit program. DriverSnapshot describes
//   that layout; on the 32-bit program it is exactly 4784 bytes long (the static_asserts below
//   pin its size and the places of its fields).
// - On 64 bits handles and pointers are wider and so is the record; the snapshot holds its
//   first 4784 bytes, as the raw copy of the wider driver record did.
// - The record starts zeroed, so the gaps the alignment leaves are zero, as they were in the
//   program's zero-initialized driver record. Nothing reads the snapshot back.
//
// Operations:
//   WriteDriverSnapshot         the 4784 bytes of the given records: the link's record, the
//                               camera settings and the camera control's two flags that the
//                               driver record held.
//   WriteProgramDriverSnapshot  the same of the program's own records (control_state.h).
#pragma once

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "commands/camera_settings.h"
#include "link/camera_driver.h"
#include "services/settings_file.h"

// The stored layout, field by field.
struct DriverSnapshot
{
    HANDLE portHandle;
    OVERLAPPED writeOverlapped;
    OVERLAPPED readOverlapped;
    HANDLE readerThread;
    DWORD readerThreadId;
    int32_t portOpen;
    int32_t cameraReady;
    HWND notifyWindow;
    LONG receiveBusy;
    int32_t controlModeSet;
    int32_t portIndex;
    int32_t lineSpeed;

    int32_t lastResult;
    int32_t reportedResult;

    uint8_t replyBuffer[FRAME_BUFFER_SIZE];
    uint8_t eventBuffer[FRAME_BUFFER_SIZE];

    int32_t irRemoteEnabled;
    int32_t whiteBalanceAuto;
    int32_t exposureAuto;
    int32_t autoFocus;
    int32_t agcLevel;
    int32_t shutterLevel;
    int32_t irisLevel;
    int32_t whiteBalanceLevel;
    int32_t panSpeed;
    int32_t tiltSpeed;
    int32_t zoomSpeed;
    int32_t presetCycleCount;
    int32_t presetCycleInterval;

    int32_t zoomArrived;
    int32_t panTiltArrived;
    int32_t exposureArrived;
    int32_t recallRetries;

    int32_t eventsEnabled;
    int32_t eventGate;

    uint8_t ccuVersion;
    uint8_t headVersion;
    uint8_t panTilterVersion;

    int32_t eventSlot;
    uint8_t eventRing[EVENT_RING_SLOTS][FRAME_BUFFER_SIZE];

    const void* line; // the line backend of the open port
};

#if !defined(_WIN64)
static_assert(sizeof(DriverSnapshot) == DRIVER_SNAPSHOT_SIZE,
              "the 32-bit snapshot record is exactly its place in the settings file");
static_assert(offsetof(DriverSnapshot, writeOverlapped) == 4, "snapshot layout");
static_assert(offsetof(DriverSnapshot, readOverlapped) == 24, "snapshot layout");
static_assert(offsetof(DriverSnapshot, readerThread) == 44, "snapshot layout");
static_assert(offsetof(DriverSnapshot, notifyWindow) == 60, "snapshot layout");
static_assert(offsetof(DriverSnapshot, lineSpeed) == 76, "snapshot layout");
static_assert(offsetof(DriverSnapshot, lastResult) == 80, "snapshot layout");
static_assert(offsetof(DriverSnapshot, replyBuffer) == 88, "snapshot layout");
static_assert(offsetof(DriverSnapshot, eventBuffer) == 344, "snapshot layout");
static_assert(offsetof(DriverSnapshot, irRemoteEnabled) == 600, "snapshot layout");
static_assert(offsetof(DriverSnapshot, zoomArrived) == 652, "snapshot layout");
static_assert(offsetof(DriverSnapshot, eventGate) == 672, "snapshot layout");
static_assert(offsetof(DriverSnapshot, ccuVersion) == 676, "snapshot layout");
static_assert(offsetof(DriverSnapshot, panTilterVersion) == 678, "snapshot layout");
static_assert(offsetof(DriverSnapshot, eventSlot) == 680, "snapshot layout");
static_assert(offsetof(DriverSnapshot, eventRing) == 684, "snapshot layout");
static_assert(offsetof(DriverSnapshot, line) == 4780, "snapshot layout");
#else
// The 64-bit record, of which the snapshot keeps the first 4784 bytes.
static_assert(sizeof(DriverSnapshot) == 4832, "64-bit snapshot layout");
static_assert(offsetof(DriverSnapshot, notifyWindow) == 96, "64-bit snapshot layout");
static_assert(offsetof(DriverSnapshot, replyBuffer) == 128, "64-bit snapshot layout");
static_assert(offsetof(DriverSnapshot, irRemoteEnabled) == 640, "64-bit snapshot layout");
static_assert(offsetof(DriverSnapshot, ccuVersion) == 716, "64-bit snapshot layout");
static_assert(offsetof(DriverSnapshot, eventRing) == 724, "64-bit snapshot layout");
#endif

void WriteDriverSnapshot(uint8_t bytes[DRIVER_SNAPSHOT_SIZE], const CameraDriver* driver,
                         const CameraSettingsRecord* settings, int controlModeSet, int eventGate);
void WriteProgramDriverSnapshot(uint8_t bytes[DRIVER_SNAPSHOT_SIZE]);
