// Soak harness: many transactions against a virtual camera that injects faults at random
// (fixed seed), with the invariants of the link checked on every one. Shared by the soak
// benchmark (bench/link_soak.cpp, 10,000 transactions) and the soak test (a few hundred).
//
// What one run does
// - Attaches a virtual camera to COM1, opens the driver on it with a window that counts the
//   driver's messages, and taps the line's driver side (SimSetReadTap) to see which thread
//   reads every byte.
// - Runs the transactions one after the other on the calling thread, as the console's GUI
//   thread would: Transact with the run's time-out for most requests, TransactAckOnly (its
//   fixed 5000 ms) for a zoom move now and then. Before a transaction the plan may arm one
//   fault in the camera (SOAK_* kinds below), inject garbage, or press a remote-control key;
//   at fixed intervals the camera goes silent, is unplugged, or the adapter is pulled, for a
//   few transactions. A move to a position never gets a fault: a lost ACK there costs 5 s.
// - After a disturbed transaction it waits (at most SOAK_SETTLE_MS) for the line to go quiet,
//   so that one fault's stray frames mostly stay with it; between transactions it dispatches
//   the window's messages, as the message loop does.
//
// Invariants (SoakResult::violations counts every breach; the run itself never stops)
// - Every transaction returns 0 or a failure code of the link (-6, -9, -10, -11), within
//   SoakTransactionLimitMs of its start.
// - Every byte the driver reads is read while receiveBusy is held, and every frame on the
//   wire is read by one thread from its first byte to its last.
// - The bytes the driver read are, in order, the bytes the camera sent (its frame log): none
//   lost, none invented; at the end every good frame the camera sent has been read, and
//   every good frame the reader thread read has been posted to the window.
// - The reader thread is still running at the end, and a clean transaction then succeeds.
#pragma once

#include <windows.h>
#include <stdint.h>
#include <stdio.h>

const int SOAK_OUTCOMES = 6; // 0, -6, -9, -10, -11, anything else
const DWORD SOAK_SETTLE_MS = 400;

// What the plan did before a transaction.
enum SoakDisturbance
{
    SOAK_NONE,
    SOAK_GARBAGE,        // noise bytes (and maybe a frame with a bad checksum) injected
    SOAK_REMOTE_KEY,     // a remote-control key: an event frame, not a fault
    SOAK_CORRUPT_ACK,    // the camera's ACK carries a wrong checksum
    SOAK_CORRUPT_REPLY,  // its reply (or the next frame it sends) likewise
    SOAK_DROP_ACK,       // no ACK
    SOAK_DROP_REPLY,     // no reply
    SOAK_NAK,            // a NAK instead of ACK and reply
    SOAK_ERROR_REPLY,    // a device error report as the reply
    SOAK_LATE,           // ACK and reply come after the time-out (SOAK_LATE_MS)
    SOAK_SILENT,         // the camera hears and sends nothing (CTS stays on)
    SOAK_UNPLUGGED,      // the camera's cable is out: CTS off, nothing heard
    SOAK_ADAPTER_PULLED, // the serial adapter is gone: every port call fails
    SOAK_ZOOM_MOVE,      // not a disturbance: the row of the undisturbed TransactAckOnly
    SOAK_DISTURBANCES
};

struct SoakOptions
{
    int transactions;
    uint32_t seed;
    int lineSpeed;                   // baud, also the line's pace
    uint32_t replyDelayMs;           // the camera's reply delay
    DWORD timeoutMs;                 // passed to Transact
    int perMille[SOAK_DISTURBANCES]; // chance of each of SOAK_GARBAGE .. SOAK_LATE per
                                     // transaction; the rest are scheduled below
    int outageEvery;                 // every this many transactions an outage starts, taking turns:
                                     // silent, unplugged, adapter pulled; 0 for none
    int outageLength;                // transactions each outage lasts
    int ackOnlyPerMille;             // share of ZoomToPosition (TransactAckOnly, never disturbed)
    int progressEvery;               // print a line every this many transactions; 0 for none
};

struct SoakResult
{
    int transactions;
    int outcomes[SOAK_DISTURBANCES][SOAK_OUTCOMES];
    double maxMs[SOAK_DISTURBANCES];
    double totalSeconds;

    // Invariants.
    int violations;
    int unexpectedCodes;
    int overLimit;
    int bytesReadWithoutInterlock;
    int framesReadByTwoThreads;
    int streamMismatches; // bytes read that differ from the bytes sent, in order
    int logEntriesLost;   // camera log entries the harness could not read in time
    int unreadAtEnd;      // bytes still on the line after the final settle
    int readerFramesNotPosted;
    int badPostedFrames; // a posted ring slot that did not hold a good frame
    int readerThreadEnded;
    int finalTransaction; // result of the clean transaction at the end

    // Frames.
    uint32_t cameraGoodFrames;    // frames the camera sent with a good checksum
    uint32_t cameraCorruptFrames; // ... with the corrupted checksum of a fault
    uint32_t cameraGarbage;       // garbage bursts injected
    uint32_t cameraHeardAcks;     // the program's ACKs the camera received
    uint32_t cameraHeardNaks;
    uint32_t driverGoodFrames; // good frames the driver read, either thread
    uint32_t driverGoodByReader;
    uint32_t driverBadFrames; // frames with a bad checksum the driver read (and NAKed)
    uint32_t bytesRead;
    uint32_t postedFrames;       // WM_CAMERA_EVENT 104 posted by the reader thread
    uint32_t sentEvents;         // WM_CAMERA_EVENT 104 sent by transactions
    uint32_t ctsOff;             // WM_CAMERA_EVENT 100
    uint32_t ctsOn;              // WM_CAMERA_EVENT 102
    uint32_t linkStatusMessages; // WM_LINK_STATUS
    uint32_t powerMessages;      // WM_CAMERA_POWER
};

// The mix the soak executable and the test start from (a short run changes the counts).
void DefaultSoakOptions(SoakOptions* options);
// Longest time a transaction may take with these options before it counts as hung.
double SoakTransactionLimitMs(const SoakOptions* options, int ackOnly);
// Runs the soak; 0 when the virtual camera or the port could not be set up.
int RunSoak(const SoakOptions* options, SoakResult* result);
void PrintSoakOptions(FILE* out, const SoakOptions* options);
void PrintSoakResult(FILE* out, const SoakResult* result);
const char* SoakDisturbanceName(int disturbance);
