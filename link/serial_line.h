// The line interface: how the camera driver reaches a serial device. Two backends export the
// same table: the real COM port (com_port.cpp) and the simulated line (simulated_line.cpp),
// which carries bytes to a peer in the same process (a test script or the virtual camera).
//
// The calls mirror the Win32 communication functions the driver needs, with their meaning:
// a handle stands for the open device, events and masks use the EV_ and MS_ constants, and
// each call returns FALSE where its Win32 counterpart fails. The driver picks the backend per
// port when it opens it; nothing else in the link knows which one runs.
#pragma once

#include <windows.h>

const int LINE_PORT_COUNT = 4; // COM1 .. COM4

struct SimulatedLine;

// The state of the comm-event wait of one open port, kept in the driver record for the
// backend. The COM port needs it (com_port.cpp); the simulated line keeps its own in the line.
// The backend's open resets it.
struct LineWaitState
{
    volatile DWORD mask;      // event mask last set
    volatile LONG generation; // bumped by every mask change
    int polling;              // waits are done by polling
    int lastCts;              // CTS as last seen by the polling wait

    // The wait for received bytes (armInputWait / endInputWait). A byte the COM port's wait
    // read from the port is held here until the driver reads it: it counts as waiting.
    int inputReadPending; // the wait's one-byte read has been started and not collected
    int held;             // heldByte holds a received byte
    BYTE heldByte;
};

struct LineBackend
{
    const char* name;
    // CreateFileA on "COM<n>"; INVALID_HANDLE_VALUE on failure.
    HANDLE (*open)(int portIndex, LineWaitState* state);
    // SetCommMask(0), SetupComm, PurgeComm and SetCommTimeouts; results are not examined.
    void (*prepare)(HANDLE port);
    // GetCommState / SetCommState with the camera's line settings at this speed.
    BOOL (*applyLineSettings)(HANDLE port, DWORD baudRate);
    BOOL (*close)(HANDLE port);
    BOOL (*setMask)(HANDLE port, LineWaitState* state, DWORD mask);
    // Blocks until an event of the mask occurs or another thread changes the mask (then
    // TRUE with *events 0). wait is the calling thread's own overlapped record.
    BOOL (*waitEvent)(HANDLE port, LineWaitState* state, DWORD* events, OVERLAPPED* wait);
    BOOL (*getModemStatus)(HANDLE port, DWORD* status);
    BOOL (*escape)(HANDLE port, DWORD function); // SETRTS / CLRRTS
    BOOL (*purge)(HANDLE port, DWORD flags);
    // ClearCommError: clears the error state and reports the input queue count.
    BOOL (*clearError)(HANDLE port, DWORD* inQueue);
    // Reads one byte, waiting for a pending read to complete; FALSE when no byte came.
    BOOL (*readByte)(HANDLE port, OVERLAPPED* read, BYTE* value);
    // Writes one byte; FALSE only when the write could not be started.
    BOOL (*writeByte)(HANDLE port, OVERLAPPED* write, BYTE value);
    // Gets a wait for received bytes ready and gives the event that is set when one may have
    // arrived, and in *dueMs the longest the caller may sleep before the next byte can be
    // there without the event telling (INFINITE when only the event tells). The caller looks
    // at the input queue after this call and before it sleeps: a byte that arrives between
    // that look and the sleep still sets the event. Returns 0 when the port cannot wait on an
    // event; the caller then sleeps a short step. read is the overlapped record of reads.
    HANDLE (*armInputWait)(HANDLE port, LineWaitState* state, OVERLAPPED* read, DWORD* dueMs);
    // Ends the wait armed by armInputWait; a byte it took from the port goes to state->held.
    void (*endInputWait)(HANDLE port, LineWaitState* state, OVERLAPPED* read);
};

extern const LineBackend comPortBackend;
extern const LineBackend simulatedLineBackend;

// Which backend a port uses when it is next opened: the COM port unless a simulated line has
// been attached to it. Passing 0 detaches the simulated line again.
void AttachSimulatedLine(int portIndex, SimulatedLine* line);
SimulatedLine* AttachedSimulatedLine(int portIndex);
const LineBackend* SelectLineBackend(int portIndex);
