// Virtual HL-R8 cameras on the simulated line: the glue that serves the camera model from the
// line's peer thread, the /SIM command-line switch, and the frame log file.
//
// Principles of operation
// - One VirtualCamera per port (COM1..COM4), kept in this module. AttachVirtualCamera puts a
//   camera model (sim/camera_model.h) on a fresh simulated line and attaches the line to the
//   port: the driver's next OpenPort on that port opens the line instead of the COM port.
// - The line's peer thread calls the camera's service: it passes the driver's RTS to the
//   model, feeds it the bytes that arrived, lets its time run to now (the line clock, in ms),
//   writes what the camera sends, sets CTS from the model and returns the model's next
//   deadline. With nothing moving or queued there is none, and the thread sleeps until bytes
//   arrive: an idle camera costs nothing.
// - The line is paced at VIRTUAL_LINE_BAUD whatever speed the driver asks for; a caller that
//   wants another pace calls SimSetLineSpeed on the camera's line (the benchmarks do).
// - Calls from other threads (keys, faults, unplugging) go through LockVirtualCamera /
//   UnlockVirtualCamera, which guard the model against the peer thread; unlocking sends what
//   the change produced, updates CTS and wakes the peer thread so that new deadlines count.
// - Close the driver's port before detaching its camera: a camera whose line is still open
//   is not detached (DetachVirtualCamera returns 0), so the driver never sees its line vanish.
//
// Command-line switch (ParseVirtualCameraSwitch, one argument at a time; '/' or '-', the
// names in either case; several switches add up)
//   /SIM             cameras on COM1 and COM2 (the demo arrangement), none on COM3 and COM4
//   /SIM:<digits>    cameras on the ports listed by digits 1 to 4, e.g. /SIM:13 for COM1, COM3
//   /SIMLOG:<path>   the frame log of every camera to the file at path (with /SIM or
//                    /SIM:<digits>; alone it attaches nothing). One pair of surrounding double
//                    quotes is removed; a path of VIRTUAL_LOG_PATH_SIZE characters or more is
//                    rejected, never cut short.
// A malformed switch (/SIM:, /SIM:5, /SIM:1x, /SIMLOG: with no path) is rejected and leaves
// the options as they were.
//
// Frame log file: created anew when AttachVirtualCameras runs, readable by others while it
// is written; one line per frame as it passes (received frames with a bad checksum too, the
// echo and garbage of the fault hooks as well), each ended by CR LF:
//   <ms> COM<n> <direction> <bytes>
//   ms         decimal milliseconds of the camera's line clock (0 when it was attached)
//   direction  PC>CAM for a frame the camera received, CAM>PC for one it sent
//   bytes      the whole frame, checksum included, two upper-case hex digits each,
//              separated by single spaces
//   e.g.  1532 COM1 PC>CAM 04 05 12 02 E3
//         1532 COM1 CAM>PC 03 85 00 78
//
// Interfaces
// - AttachVirtualCamera (port index 0..3): the camera, or 0 when the index is out of range,
//   the port already has a simulated line, or the peer thread could not start.
// - DetachVirtualCamera: 1 when detached and destroyed (or not attached), 0 while the
//   driver still has its line open.
// - VirtualCameraOnPort: the camera attached to a port, or 0.
// - LockVirtualCamera gives the model and the line time to pass to its calls;
//   UnlockVirtualCamera must follow on the same thread.
// - The helpers below each lock, call the model and unlock.
// - ResetVirtualCameraOptions, ParseVirtualCameraSwitch (SIM_SWITCH_*),
//   AttachVirtualCameras (RESULT_OK, or RESULT_COMM_INIT_FAILED when a camera or the log file
//   could not be set up; what could be set up stays) and DetachVirtualCameras (every camera
//   this module attached, and the log file).
#pragma once

#include <windows.h>
#include <stdint.h>

#include "link/result_codes.h"
#include "link/serial_line.h"
#include "link/simulated_line.h"
#include "sim/camera_model.h"

const int VIRTUAL_LINE_BAUD = 9600;
const int VIRTUAL_LOG_PATH_SIZE = MAX_PATH; // room for the path and its terminating zero

// Results of ParseVirtualCameraSwitch.
const int SIM_SWITCH_NOT_OURS = 0; // not a virtual camera switch: the caller looks further
const int SIM_SWITCH_TAKEN = 1;
const int SIM_SWITCH_INVALID = -1;

struct VirtualCamera
{
    int active;    // attached and served
    int portIndex; // 0..3
    SimulatedLine line;
    CRITICAL_SECTION lock; // guards model and loggedCount against the peer thread
    CameraModel model;
    uint32_t loggedCount;       // model log entries already written to the log file
    volatile LONG serviceCalls; // calls of the peer service, for tests of the idle cost
};

struct VirtualCameraOptions
{
    int ports[LINE_PORT_COUNT];          // 1 for each port that gets a camera
    char logPath[VIRTUAL_LOG_PATH_SIZE]; // empty: no log file
};

VirtualCamera* AttachVirtualCamera(int portIndex);
int DetachVirtualCamera(VirtualCamera* camera);
VirtualCamera* VirtualCameraOnPort(int portIndex);

CameraModel* LockVirtualCamera(VirtualCamera* camera, uint32_t* nowMs);
void UnlockVirtualCamera(VirtualCamera* camera);

// 1 when nothing is on the line in either direction and the camera has nothing to send or
// acknowledge: the moment a measurement can start from a quiet line.
int VirtualCameraIsQuiet(VirtualCamera* camera);

// state: the remote frame's state byte, nonzero while held, 0 released.
void PressVirtualRemoteKey(VirtualCamera* camera, uint8_t key, int state);
void UnplugVirtualCamera(VirtualCamera* camera);
void PlugInVirtualCamera(VirtualCamera* camera);
void PowerCycleVirtualCamera(VirtualCamera* camera);
void ArmVirtualCameraFault(VirtualCamera* camera, CameraFault fault, int count);
void SetVirtualCameraEcho(VirtualCamera* camera, int on);
void SetVirtualCameraSilent(VirtualCamera* camera, int on);
// The model's reply delay (CameraSetReplyDelay): 0 for a camera that answers at once.
void SetVirtualCameraReplyDelay(VirtualCamera* camera, uint32_t delayMs);
void InjectVirtualCameraGarbage(VirtualCamera* camera, const uint8_t* bytes, int count);

void ResetVirtualCameraOptions(VirtualCameraOptions* options);
int ParseVirtualCameraSwitch(VirtualCameraOptions* options, const char* argument);
ResultCode AttachVirtualCameras(const VirtualCameraOptions* options);
void DetachVirtualCameras();
