// The native camera's end of the serial line: a pseudo-terminal whose slave a console opens
// as its serial port, and the paced transmitter that gives the camera-to-console direction
// the line's speed. Linux only (hlr8-camera is built with the host compiler).
//
// - The camera keeps its own descriptor on the slave open all the time: otherwise every close
//   of the port by the console hangs the master up (reads fail with EIO, then poll reports
//   POLLHUP at once, a busy loop), and the console's next open finds a dead line.
// - The slave is raw (no echo, no line editing): the console's Wine sets its own line
//   settings when it opens the port, but a console that does not must still see bytes as sent.
// - Pacing: a byte takes 10 bit times (start, 8 data, stop) and reaches the console when its
//   last bit has, like on a UART: bytes queued back to back follow one another at that pace;
//   a byte queued on an idle line arrives one byte time after it was queued. A late wake-up
//   sends every byte whose time has come, so the average rate stays the line's.
// - The other direction needs no pacing: the console writes one byte per WriteFile and the
//   camera reads whatever has arrived.
#pragma once

#include <stdint.h>
#include <sys/types.h>

const int PTY_PATH_SIZE = 256;
const int PACED_QUEUE_SIZE = 2048;

struct PtyLine
{
    int master;        // the camera's end, non-blocking
    int slave;         // held open, never read
    dev_t slaveDevice; // st_rdev of the slave, for the modem-line shim
    char slavePath[PTY_PATH_SIZE];
    char linkPath[PTY_PATH_SIZE]; // symlink to slavePath; empty: none made
};

struct PacedOutput
{
    uint8_t bytes[PACED_QUEUE_SIZE];
    uint64_t dueUs[PACED_QUEUE_SIZE]; // when each byte has crossed the line
    int head;
    int count;
    uint32_t baud;
    // When the byte queued last has crossed, in microseconds times the baud rate: a byte is
    // exactly 10 000 000 of these, so no rounding adds up over a long run.
    uint64_t lineFreeScaled;
};

// Opens a pty, makes it raw and, when linkPath is not empty, a symlink to the slave (an old
// link there is replaced). Returns 1, or 0 with errno set and nothing left open.
int OpenPtyLine(PtyLine* line, const char* linkPath);
void ClosePtyLine(PtyLine* line); // closes both ends and removes the link

void InitPacedOutput(PacedOutput* output, uint32_t baud);
int PacedRoom(const PacedOutput* output);
// Queues bytes sent at nowUs; the caller takes no more than PacedRoom.
void PacedQueue(PacedOutput* output, const uint8_t* bytes, int count, uint64_t nowUs);
// Writes every byte whose time has come to fd. 0 when the pty was full: the rest waits, and
// the caller retries a little later rather than at once.
int PacedSendDue(PacedOutput* output, int fd, uint64_t nowUs);
// 1 and the time the next byte is due, or 0 when nothing waits.
int PacedNextDue(const PacedOutput* output, uint64_t* dueUs);
void PacedDiscard(PacedOutput* output);
