// The line trace (/LINELOG): every frame the console writes to the camera's port and reads
// from it, with its time and port, to a file a user can send when a camera misbehaves.
//
// Principles of operation
// - It is fed by the frame writer and the frame receiver (transactions.cpp), below which lie
//   both line backends: it records the frames written and read on whichever port is open,
//   COM port or simulated line, whole frames rather than single bytes.
// - One line per frame in the frame log's format (link/frame_line.h), with the labels of the
//   virtual camera's log: PC>CAM for a frame the console wrote, CAM>PC for one it read (bad
//   checksum or not). The trace of a run on a virtual camera thus holds the camera's own log,
//   frame for frame. Bytes that are no whole frame carry the direction with a '?', so that a
//   comparison can skip them and a reader sees them: PC>CAM? the bytes written of a frame whose
//   write failed part way; CAM>PC? bytes the receiver skipped while looking for a length
//   byte, or a frame cut short by a time-out or a failed read.
// - Time: milliseconds of the performance counter since the trace was opened. The console
//   opens it right before it attaches the virtual cameras, whose clocks start at attaching,
//   so the two files' times are close.
// - Both threads record (the GUI thread its requests, the transactions' frames and their
//   acknowledgements; the reader thread its frames and their acknowledgements). One writer
//   function formats a line into a fixed buffer on the stack and writes it with one WriteFile
//   under a critical section, never flushed: a line costs one system call into the file
//   cache, and a trace that is not open costs one test.
//
// Interfaces
//   OpenLineTrace   creates the file anew (readable by others while written): 1, or 0 when it
//                   cannot be written (nothing is traced then).
//   CloseLineTrace  closes it; nothing when none is open.
//   LineTraceIsOpen 1 while a trace is open.
//   TraceLineBytes  one line; nothing when no trace is open or count is 0.
#pragma once

#include <stdint.h>

const int LINE_TRACE_PATH_SIZE = 260; // MAX_PATH: room for the path and its terminating zero

enum LineTraceKind
{
    TRACE_FRAME_WRITTEN, // PC>CAM   a whole frame the console wrote
    TRACE_FRAME_READ,    // CAM>PC   a whole frame it read
    TRACE_PART_WRITTEN,  // PC>CAM?  the bytes written of a frame whose write failed
    TRACE_BYTES_READ     // CAM>PC?  bytes read that make no whole frame
};

int OpenLineTrace(const char* path);
void CloseLineTrace();
int LineTraceIsOpen();
void TraceLineBytes(int portIndex, LineTraceKind kind, const uint8_t* bytes, int count);
