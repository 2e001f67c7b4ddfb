// The driver snapshot of the settings file, written field by field.
#include "control/driver_snapshot.h"

#include <string.h>

#include "control/control_state.h"

static void CopyOverlapped(OVERLAPPED* stored, const OVERLAPPED* overlapped)
{
    stored->Internal = overlapped->Internal;
    stored->InternalHigh = overlapped->InternalHigh;
    stored->Offset = overlapped->Offset;
    stored->OffsetHigh = overlapped->OffsetHigh;
    stored->hEvent = overlapped->hEvent;
}

void WriteDriverSnapshot(uint8_t bytes[DRIVER_SNAPSHOT_SIZE], const CameraDriver* driver,
                         const CameraSettingsRecord* settings, int controlModeSet, int eventGate)
{
    DriverSnapshot snapshot;
    memset(&snapshot, 0, sizeof snapshot); // the gaps between the fields stay zero

    snapshot.portHandle = driver->portHandle;
    CopyOverlapped(&snapshot.writeOverlapped, &driver->writeOverlapped);
    CopyOverlapped(&snapshot.readOverlapped, &driver->readOverlapped);
    snapshot.readerThread = driver->readerThread;
    snapshot.readerThreadId = driver->readerThreadId;
    snapshot.portOpen = driver->portOpen;
    snapshot.cameraReady = driver->cameraReady;
    snapshot.notifyWindow = driver->notifyWindow;
    snapshot.receiveBusy = driver->receiveBusy;
    snapshot.controlModeSet = controlModeSet;
    snapshot.portIndex = driver->portIndex;
    snapshot.lineSpeed = driver->lineSpeed;

    snapshot.lastResult = driver->lastResult;
    snapshot.reportedResult = driver->reportedResult;

    memcpy(snapshot.replyBuffer, driver->replyBuffer, sizeof snapshot.replyBuffer);
    memcpy(snapshot.eventBuffer, driver->eventBuffer, sizeof snapshot.eventBuffer);

    snapshot.irRemoteEnabled = settings->irRemoteEnabled;
    snapshot.whiteBalanceAuto = settings->whiteBalanceAuto;
    snapshot.exposureAuto = settings->exposureAuto;
    snapshot.autoFocus = settings->autoFocus;
    snapshot.agcLevel = settings->agcLevel;
    snapshot.shutterLevel = settings->shutterLevel;
    snapshot.irisLevel = settings->irisLevel;
    snapshot.whiteBalanceLevel = settings->whiteBalanceLevel;
    snapshot.panSpeed = settings->panSpeed;
    snapshot.tiltSpeed = settings->tiltSpeed;
    snapshot.zoomSpeed = settings->zoomSpeed;
    snapshot.presetCycleCount = settings->presetCycleCount;
    snapshot.presetCycleInterval = settings->presetCycleInterval;

    snapshot.zoomArrived = driver->zoomArrived;
    snapshot.panTiltArrived = driver->panTiltArrived;
    snapshot.exposureArrived = driver->exposureArrived;
    snapshot.recallRetries = settings->recallRetries;

    snapshot.eventsEnabled = driver->eventsEnabled;
    snapshot.eventGate = eventGate;

    snapshot.ccuVersion = settings->ccuVersion;
    snapshot.headVersion = settings->headVersion;
    snapshot.panTilterVersion = settings->panTilterVersion;

    snapshot.eventSlot = driver->eventSlot;
    memcpy(snapshot.eventRing, driver->eventRing, sizeof snapshot.eventRing);

    snapshot.line = driver->line;

    // The 64-bit record is longer: its first bytes, as the wider driver record gave them.
    memcpy(bytes, &snapshot, DRIVER_SNAPSHOT_SIZE);
}

void WriteProgramDriverSnapshot(uint8_t bytes[DRIVER_SNAPSHOT_SIZE])
{
    WriteDriverSnapshot(bytes, &cameraDriver, &cameraSettings, controlModeSet, eventGate);
}
