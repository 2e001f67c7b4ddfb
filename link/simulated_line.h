// The simulated serial line: two byte queues between the camera driver and a peer in the same
// process, with CTS (set by the peer) and RTS (set by the driver), a comm-event wait that
// wakes on received bytes, on a CTS change and on a mask change, optional pacing at the line
// speed, and hooks that make reads or writes fail.
//
// Principles:
// - The driver side is the simulatedLineBackend of serial_line.h; the peer side is the
//   functions below. Each direction is a queue of up to SIM_QUEUE_SIZE bytes; bytes that do
//   not fit are dropped, as an overrun UART would.
// - Pacing: with a line speed set, every byte takes ten bit times on the wire. A byte sent
//   becomes visible at the far end one byte time after the previous byte in that direction
//   did (or after it was sent, if the wire was idle). Without pacing bytes arrive at once.
// - The peer is served by a thread of the line's own (SimStartPeer): it calls the peer's
//   service function when bytes reach it and when the deadline the peer asked for comes.
//   Its waits are event waits, so an idle line costs no CPU, and it never spins: a timed wait
//   ends on a system tick, later than the moment it waited for, and what the peer sends in
//   the service call after such a wait goes on the wire at that moment, not at the late wake
//   (at most PEER_LATE_LIMIT_US earlier than the call): a camera answers when the request
//   has crossed, however late its thread got to run.
// - The driver's wait for received bytes sleeps on the line's inputArrived event, set
//   whenever the peer sends bytes, the mask changes, the line closes or vanishes; the backend
//   tells the driver when the next byte in flight will have crossed.
// - Everything is guarded by one critical section per line; the peer function runs without
//   it held, and may call the peer-side functions freely.
#pragma once

#include <windows.h>
#include <stdint.h>

const int SIM_QUEUE_SIZE = 4096;
const uint32_t SIM_NO_DEADLINE = 0xFFFFFFFFu;

struct SimulatedLine;

// Test hook: sees every byte the driver side reads, in order, on the reading thread and with
// the line's lock held; readyAtUs is the line time at which the byte had crossed the wire.
// The benchmarks use it to tell which thread read which frame, and how late.
typedef void (*SimReadTap)(void* context, uint8_t value, int64_t readyAtUs);
// Test hook: sees every byte the driver side writes, in order, on the writing thread and with
// the line's lock held; writtenAtUs is the line time of the write. The benchmarks use it to
// time the first byte of a frame.
typedef void (*SimWriteTap)(void* context, uint8_t value, int64_t writtenAtUs);

// Called on the line's peer thread. nowMs is the line's clock (SimNowMs). Returns the line
// time at which it wants to be called again, or SIM_NO_DEADLINE to wait for bytes only.
typedef uint32_t (*SimPeerService)(void* context, SimulatedLine* line, uint32_t nowMs);

struct SimByteQueue
{
    uint8_t bytes[SIM_QUEUE_SIZE];
    int64_t readyAtUs[SIM_QUEUE_SIZE]; // line time at which each byte reaches the far end
    int head;                          // index of the oldest byte
    int count;                         // bytes in the queue
    int64_t wireFreeAtUs;              // when the last byte queued finishes crossing
};

struct SimulatedLine
{
    CRITICAL_SECTION lock;
    int initialized;

    // Bytes from the driver to the peer, and from the peer to the driver.
    SimByteQueue toPeer;
    SimByteQueue toDriver;
    int announcedToDriver; // bytes of toDriver already reported by EV_RXCHAR

    // Modem lines.
    int cts; // set by the peer: camera attached and powered
    int rts; // set by the driver

    // Comm-event wait of the driver side.
    DWORD eventMask;
    DWORD pendingEvents;    // events seen while no wait was pending; a mask change drops them
    DWORD completedEvents;  // events that ended a pending wait; a mask change keeps them
    int waiting;            // the driver side is inside its comm-event wait
    unsigned maskGeneration; // bumped by every mask change, ends a pending wait
    HANDLE wakeDriver;       // auto-reset: something the driver's wait may want changed
    HANDLE wakePeer;         // auto-reset: bytes for the peer, or the peer thread must stop
    HANDLE inputArrived;     // manual-reset: bytes on the way to the driver, or a wait must end

    // Pacing: microseconds per byte on the wire, 0 for none.
    int64_t byteTimeUs;
    int64_t startCounter; // QueryPerformanceCounter at creation: line time 0
    int64_t counterFrequency;

    // Fault hooks for tests: the next n reads or writes fail; a vanished device fails every
    // call, as a pulled USB adapter does.
    int failReads;
    int failWrites;
    int vanished;
    int openCount; // how often the driver opened the line (for tests)
    int isOpen;
    SimReadTap readTap; // SimSetReadTap
    void* readTapContext;
    SimWriteTap writeTap; // SimSetWriteTap
    void* writeTapContext;

    // Peer thread.
    SimPeerService peerService;
    void* peerContext;
    HANDLE peerThread;
    DWORD peerThreadId;
    volatile LONG peerStop;
    // Line time the running service call was due at (0 when not known), moved on to the
    // crossing of the last byte the peer read in it.
    int64_t peerDueUs;
};

// Initializes the line: empty queues, CTS off, no pacing, no peer.
void SimInitLine(SimulatedLine* line);
// Stops the peer thread and releases the line's events and lock.
void SimDestroyLine(SimulatedLine* line);

// Pacing at a line speed in baud (10 bit times per byte); 0 switches pacing off.
void SimSetLineSpeed(SimulatedLine* line, int baudRate);

// Line time in milliseconds and microseconds since SimInitLine.
uint32_t SimNowMs(SimulatedLine* line);
int64_t SimNowUs(SimulatedLine* line);

// Starts the peer thread with a service function; SimStopPeer ends it (idempotent).
int SimStartPeer(SimulatedLine* line, SimPeerService service, void* context);
void SimStopPeer(SimulatedLine* line);
// Asks the peer thread to call the service function soon (after a change from outside).
void SimWakePeer(SimulatedLine* line);

// Peer side: bytes that have reached the peer (at most max); returns the count taken.
int SimPeerRead(SimulatedLine* line, uint8_t* bytes, int max);
// Peer side: sends bytes towards the driver; returns the count queued.
int SimPeerWrite(SimulatedLine* line, const uint8_t* bytes, int count);
// Peer side: sets CTS; a change raises EV_CTS for the driver's wait.
void SimSetCts(SimulatedLine* line, int on);
int SimGetRts(SimulatedLine* line);
// Discards everything in both directions (a power cycle of the peer).
void SimFlush(SimulatedLine* line);

// Fault hooks.
void SimFailNextReads(SimulatedLine* line, int count);
void SimFailNextWrites(SimulatedLine* line, int count);
void SimSetVanished(SimulatedLine* line, int vanished);
// Test hook: tap 0 removes it.
void SimSetReadTap(SimulatedLine* line, SimReadTap tap, void* context);
void SimSetWriteTap(SimulatedLine* line, SimWriteTap tap, void* context);

// Bytes in flight towards the driver (visible or not yet); for tests.
int SimPendingToDriver(SimulatedLine* line);
