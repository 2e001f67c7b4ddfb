// The virtual HL-R8: a deterministic model of the camera's three units (camera head, pan
// tilter, CCU) as seen from the serial line. Standard C++ only; time is passed in, in ms.
//
// How it is driven
// - The caller owns a CameraModel record, calls CameraInit once, then feeds the bytes it
//   receives from the program (CameraFeed), lets time pass (CameraAdvance), takes the bytes
//   the camera sends (CameraTakeOutput) and asks when something will next happen
//   (CameraNextDeadline). Every call takes the current time; times never go backwards (an
//   earlier time counts as the latest one seen). 32-bit wrap-around is handled.
// - Nothing happens between calls: a deadline of 40 ms means "call CameraAdvance at 40 ms".
//   With nothing moving and nothing to send there is no deadline at all.
// - Line signals: CameraCtsOn says whether CTS is raised (attached and powered). The camera
//   transmits only while the program holds RTS on (CameraSetRts; off after CameraInit, as on
//   a port nobody opened): frames due while RTS is off wait in the transmit queue.
//
// Frames it answers (all 16-bit values most significant byte first)
// - Every good request gets an ACK (len 03, device ACK_FLAG | unit, code 00) at once, then,
//   the reply delay later (CAMERA_REPLY_DELAY_MS unless CameraSetReplyDelay chose another),
//   its reply: same device and command code, READY_FLAG set in the command byte. A request
//   it does not know (unit, command, selector or length) gets a NAK with code
//   CAMERA_NAK_UNKNOWN; a known request with a bad value (a direction, mode, constant byte or
//   preset number out of range) gets CAMERA_NAK_PARAMETER; a frame with a bad checksum gets
//   CAMERA_NAK_CHECKSUM (0x10). NAKed requests are not carried out.
// - Replies to setting requests repeat the request's parameter bytes. Query replies:
//     versions        06 dev 84 00 model version ck         (7 bytes; version at byte 5)
//                     CCU 0x21, camera head 0x14, pan tilter 0x32; model byte 0x52 ('R')
//     zoom position   07 01 84 02 moving pos(2) ck          (8 bytes; position 5-6)
//     exposure state  09 01 84 03 mode bright iris shutter agc ck  (10 bytes)
//                     mode: 0 auto, 1 manual (the EXPOSURE_REQUEST selector 1 value)
//     pan/tilt        0A 05 84 02 panMoving pan(2) tiltMoving tilt(2) ck  (11 bytes)
//     preset data     0D 08 98 01 preset preset bright pan(2) tilt(2) zoom(2) ck  (14 bytes)
//   "moving" bytes are 1 while that axis moves, else 0.
// - SetBrightness (EXPOSURE_REQUEST selector 4) answers after CAMERA_BRIGHTNESS_SETTLE_MS,
//   the time the iris takes to settle: the change is complete when its reply arrives.
// - Absolute moves (ZOOM_REQUEST 02 02 pos, PANTILT_REQUEST 05 02 pan tilt) are ACKed at
//   once and send no reply then; their completion frame (the request's device and command,
//   READY_FLAG, the positions reached) follows when the modelled move ends, at least
//   the reply delay after the request. A later request for the same mechanism (start,
//   stop, another absolute move, home) cancels a running move without its completion.
// - The program's own ACK (03 88 00 75) and NAKs are never answered. A NAK makes the camera
//   resend the frame it sent last (up to CAMERA_MAX_RESENDS times per frame).
// - Stop and wait: after a reply, completion or event frame the camera waits for the
//   program's ACK (at most CAMERA_ACK_WAIT_MS) before it sends its next such frame; its own
//   ACKs and NAKs never wait. A NAKed ACK can thus be resent only if the program's NAK arrives
//   before the reply goes out, which the reply delay leaves time for.
//
// Ranges and speeds (units are the camera's own; the program passes them through)
// - Pan 0..3600 (0.1 degree, home 1800), right = increasing; tilt 0..1200 (home 600), up =
//   increasing. Pan and tilt speeds 1..70 move 20 units/s per step: 1400 units/s at 70, so
//   a full pan takes 2.6 s and 300 units 215 ms; at speed 1 a full pan takes 180 s.
// - Zoom 0 (wide) ..16384 (tele); speed 0..7 moves 2048 * (speed + 1) units/s: the full
//   range takes 1 s at speed 7 and 8 s at speed 0.
// - Focus 0 (near) ..1000 (far), 500 units/s, mode auto or manual (a manual move is allowed
//   in either mode). Values outside a range are clamped into it (positions, speeds, shutter
//   0..132, AGC 3..127, iris 84..169); brightness and white balance level take 0..255.
// - Continuous moves run until their stop arrives or an end is reached; the position is the
//   one at the moment the stop is received. Reaching an end sends an event frame:
//     pan/tilt   05 05 B6 axis end ck   (LIMIT_NOTIFY; axis 1 pan, 2 tilt; end = direction
//                                        code of the move: pan 1 right 2 left, tilt 1 up 2 down)
//     zoom       05 01 B3 01 dir ck     (ZOOM_NOTIFY; 0 tele end, 1 wide end)
//     focus      05 01 B1 01 dir ck     (FOCUS_NOTIFY; 1 near end, 0 far end)
//   A speed change applies to a move already running.
// - HomePanTilter moves to the home position at the set speeds; its reply comes at once and
//   no completion follows. SetupPanTilter is answered and changes nothing.
// - Stored and answered, with no other effect: CCU mode (0..3), white balance mode (0 auto,
//   1 manual) and level, the two mutes (0 or 1), the three LED bytes, exposure selectors 2
//   (one or two bytes) and 3.
// - Presets 1..6 in CCU memory (battery backed: they survive a power cycle). Never written,
//   a preset holds brightness 96, home pan and tilt, zoom 0. WritePresetData needs the
//   preset number twice, equal.
//
// Unsolicited frames
// - Remote control (CameraRemoteKey): 05 05 B8 state key ck (REMOTE_NOTIFY; state nonzero while
//   the key is held, 0 released; the state byte goes out as given).
// - Power: CameraPowerCycle drops CTS, resets every setting and position to its power-on
//   default, and after CAMERA_BOOT_MS raises CTS and sends 04 05 BB 01 ck (POWER_NOTIFY,
//   01 = powered up). Defaults: home, zoom 0, focus 500 auto, speeds 70/70/7, exposure auto
//   with brightness 96, shutter 60, AGC 32, iris 128, white balance auto 128, mutes off, LEDs
//   0 0 0, CCU mode 1.
// - Unplugged (CameraUnplug .. CameraPlugIn): CTS off, nothing heard, nothing sent; frames
//   that fall due meanwhile are lost, but moves go on.
//
// Reply delay (CameraSetReplyDelay; survives a power cycle): the time from a request to its
// reply, to a device error report of CAMERA_FAULT_ERROR_REPLY, and the least time from an
// absolute move to its completion. CAMERA_REPLY_DELAY_MS after CameraInit; 0 makes the
// camera answer at once (the benchmarks use it, so that only the line's own time is left).
// The settle time of SetBrightness and the stop-and-wait rule do not change with it.
//
// Fault hooks (for tests; they survive a power cycle)
// - CameraArmFault (fault, n): the next n requests (good, non-acknowledgement frames) or
//   frames sent are affected as the CameraFault values below say; n = 0 disarms.
// - CameraSetEcho: every good request is sent back byte for byte before its ACK, as some
//   adapters do. CameraSetSilent: a hung camera: hears nothing, sends nothing, CTS stays on.
// - CameraInjectGarbage: raw bytes sent at once (they bypass every queue). Sent between
//   transactions they wake the program's reader thread, which then holds the port for its
//   next frame (up to 3 s); to disturb a transaction, inject while it waits for an answer
//   (with CAMERA_FAULT_DELAY, for instance).
//
// Frame log: every frame received (bad ones too) and sent, with its time, in a ring of
// CAMERA_LOG_ENTRIES; CameraLogEntryAt reads it by sequence number (0 = first ever).
#pragma once

#include <stdint.h>

#include "link/packet.h"

// Timing, in milliseconds.
const uint32_t CAMERA_REPLY_DELAY_MS = 30;        // from a request to its reply (default)
const uint32_t CAMERA_BRIGHTNESS_SETTLE_MS = 120; // SetBrightness reply
const uint32_t CAMERA_ACK_WAIT_MS = 200;          // longest wait for the program's ACK
const uint32_t CAMERA_BOOT_MS = 300;              // power-up: CTS off this long
const uint32_t CAMERA_INTERBYTE_TIMEOUT_MS = 100; // a gap this long discards a partial frame
const int CAMERA_MAX_RESENDS = 3;

// Ranges and speeds.
const int32_t CAMERA_PAN_MAX = 3600;
const int32_t CAMERA_PAN_HOME = 1800;
const int32_t CAMERA_TILT_MAX = 1200;
const int32_t CAMERA_TILT_HOME = 600;
const int32_t CAMERA_PAN_TILT_UNITS_PER_STEP = 20; // units/s per speed step
const int CAMERA_PAN_TILT_SPEED_MIN = 1;
const int CAMERA_PAN_TILT_SPEED_MAX = 70;
const int32_t CAMERA_ZOOM_MAX = 16384;
const int32_t CAMERA_ZOOM_UNITS_PER_STEP = 2048; // units/s per (speed + 1)
const int CAMERA_ZOOM_SPEED_MAX = 7;
const int32_t CAMERA_FOCUS_MAX = 1000;
const int32_t CAMERA_FOCUS_DEFAULT = 500;
const int32_t CAMERA_FOCUS_UNITS_PER_SECOND = 500;

// Version bytes (byte 5 of the version replies) and the model byte (byte 4).
const uint8_t CAMERA_CCU_VERSION = 0x21;
const uint8_t CAMERA_HEAD_VERSION = 0x14;
const uint8_t CAMERA_PAN_TILTER_VERSION = 0x32;
const uint8_t CAMERA_MODEL_BYTE = 0x52;

// NAK codes the camera sends.
const uint8_t CAMERA_NAK_UNKNOWN = 0x01;   // unit, command, selector or length not known
const uint8_t CAMERA_NAK_PARAMETER = 0x02; // a value out of range
const uint8_t CAMERA_NAK_REFUSED = 0x03;   // CAMERA_FAULT_NAK
const uint8_t CAMERA_NAK_CHECKSUM = 0x10;  // the frame's sum was not 0

const uint8_t CAMERA_DEFAULT_ERROR_CLASS = 0x02; // error class of CAMERA_FAULT_ERROR_REPLY
const uint32_t CAMERA_DEFAULT_FAULT_DELAY_MS = 1000;

const int CAMERA_PRESET_COUNT = 6;
const int CAMERA_FRAME_SIZE = FRAME_MAX_LENGTH + 1; // largest frame, checksum included
const int CAMERA_PENDING_FRAMES = 32;               // transmit queue, in frames
const int CAMERA_OUTPUT_SIZE = 1024;                // bytes sent, not yet taken
const int CAMERA_LOG_ENTRIES = 128;

enum CameraFault
{
    CAMERA_FAULT_DROP_ACK,      // the next n requests are carried out but get no ACK
    CAMERA_FAULT_DROP_REPLY,    // ... get their ACK but no reply or completion
    CAMERA_FAULT_NAK,           // ... are answered with NAK CAMERA_NAK_REFUSED, not carried out
    CAMERA_FAULT_CORRUPT_ACK,   // the next n ACK/NAK frames sent carry a wrong checksum
    CAMERA_FAULT_CORRUPT_FRAME, // the next n reply, completion or event frames likewise
    CAMERA_FAULT_DELAY,         // the ACK and reply of the next n requests come later
                                // (CameraSetFaultDelay; a completion still follows the move)
    CAMERA_FAULT_ERROR_REPLY,   // the next n requests are ACKed, answered with a device
                                // error report 05 dev (C0|cmd) class 00 ck, not carried out
    CAMERA_FAULT_KINDS
};

enum CameraLogDirection
{
    CAMERA_LOG_RECEIVED = 0, // program to camera
    CAMERA_LOG_SENT = 1      // camera to program
};

struct CameraFrame
{
    uint8_t bytes[CAMERA_FRAME_SIZE];
    int length; // total bytes, checksum included
};

// What a queued frame is: it decides whether the frame waits for the program's ACK.
enum CameraSendKind
{
    CAMERA_SEND_ANSWER, // ACK or NAK: goes out when due
    CAMERA_SEND_FRAME,  // reply, completion, event: waits for the ACK of the one before
    CAMERA_SEND_RAW     // echo: goes out when due, never resent
};

struct CameraPendingFrame
{
    uint32_t dueMs;
    uint32_t sequence; // order of queuing, breaks ties
    CameraSendKind kind;
    CameraFrame frame; // bytes 0 .. N-1; the checksum is added when it is sent
};

enum CameraMotion
{
    CAMERA_STILL,
    CAMERA_CONTINUOUS, // towards an end, until stopped
    CAMERA_ABSOLUTE    // towards a target position
};

// One mechanism: its position is startPosition while still, and moves linearly from
// startPosition at startMs towards target at unitsPerSecond while moving.
struct CameraAxis
{
    int32_t minimum;
    int32_t maximum;
    int32_t startPosition;
    uint32_t startMs;
    int32_t target;
    int32_t unitsPerSecond;
    CameraMotion motion;
    uint8_t direction; // direction code of a continuous move, for its end event
};

struct CameraPreset
{
    uint8_t brightness;
    uint16_t pan;
    uint16_t tilt;
    uint16_t zoom;
};

// Everything a power cycle resets.
struct CameraSettings
{
    CameraAxis pan;
    CameraAxis tilt;
    CameraAxis zoom;
    CameraAxis focus;
    int panSpeed;                // 1..70
    int tiltSpeed;               // 1..70
    int zoomSpeed;               // 0..7
    int panTiltCompletion;       // 1: the running absolute pan/tilt move sends a completion
    int zoomCompletion;          // 1: the running absolute zoom move sends a completion
    uint32_t panTiltNotBeforeMs; // a completion never comes sooner than the reply delay
    uint32_t zoomNotBeforeMs;
    uint8_t panTiltRequest[CAMERA_FRAME_SIZE]; // the absolute move's request bytes
    uint8_t zoomRequest[CAMERA_FRAME_SIZE];

    int focusManual;    // 0 auto, 1 manual
    int exposureManual; // 0 auto, 1 manual
    uint8_t brightness;
    uint8_t shutter; // 0..132
    uint8_t agc;     // 3..127
    uint8_t iris;    // 84..169
    uint8_t exposureParam2[2];
    uint8_t exposureParam3;
    int whiteBalanceManual;
    uint8_t whiteBalanceLevel;
    int mute1;
    int mute2;
    uint8_t led[3];
    uint8_t ccuMode;
};

struct CameraFaults
{
    int armed[CAMERA_FAULT_KINDS]; // counts still to apply
    uint32_t delayMs;              // CAMERA_FAULT_DELAY
    uint8_t errorClass;            // CAMERA_FAULT_ERROR_REPLY
    int echo;
    int silent;
};

struct CameraLogEntry
{
    uint32_t timeMs;
    CameraLogDirection direction;
    int length;
    uint8_t bytes[CAMERA_FRAME_SIZE];
};

struct CameraModel
{
    uint32_t nowMs; // latest time seen

    // Line.
    int plugged;         // cable attached
    int powered;         // up and answering (CTS with plugged)
    uint32_t bootDoneMs; // when a power-up in progress ends (powered 0)
    int rts;             // the program is ready to receive

    CameraSettings settings;
    CameraPreset presets[CAMERA_PRESET_COUNT];

    // Receiver: the frame being assembled.
    uint8_t input[CAMERA_FRAME_SIZE];
    int inputCount;
    uint32_t lastByteMs;

    // Transmitter.
    CameraPendingFrame pending[CAMERA_PENDING_FRAMES];
    int pendingCount;
    uint32_t nextSequence;
    CameraFrame lastSent; // for a resend after the program's NAK
    int haveLastSent;
    CameraSendKind lastSentKind;
    int resends;     // of lastSent
    int awaitingAck; // a reply/completion/event went out and is not yet acknowledged
    uint32_t ackDeadlineMs;
    uint8_t output[CAMERA_OUTPUT_SIZE];
    int outputHead;
    int outputCount;

    CameraFaults faults;
    uint32_t replyDelayMs; // from a request to its reply; CameraSetReplyDelay

    CameraLogEntry log[CAMERA_LOG_ENTRIES];
    uint32_t logCount; // entries ever written

    // Counters for tests.
    uint32_t requestsCarriedOut;
    uint32_t framesLost; // queue or output full, or due while unplugged
};

// Powered, plugged in, RTS off, every setting at its default, presets at theirs.
void CameraInit(CameraModel* camera, uint32_t nowMs);

// Bytes from the program, received at nowMs.
void CameraFeed(CameraModel* camera, const uint8_t* bytes, int count, uint32_t nowMs);
// Lets time pass: moves end, queued frames go out.
void CameraAdvance(CameraModel* camera, uint32_t nowMs);
// Takes up to max bytes the camera has sent; returns the count.
int CameraTakeOutput(CameraModel* camera, uint8_t* bytes, int max);
// 1 and the time of the next thing to happen, or 0 when nothing will happen by itself.
int CameraNextDeadline(const CameraModel* camera, uint32_t* deadlineMs);

// Line signals.
int CameraCtsOn(const CameraModel* camera);
void CameraSetRts(CameraModel* camera, int on, uint32_t nowMs);
void CameraUnplug(CameraModel* camera, uint32_t nowMs);
void CameraPlugIn(CameraModel* camera, uint32_t nowMs);
void CameraPowerCycle(CameraModel* camera, uint32_t nowMs);

// A key of the remote control: state nonzero while held (sent as its low 8 bits), 0 released.
void CameraRemoteKey(CameraModel* camera, uint8_t key, int state, uint32_t nowMs);

// Current positions (they change while moving).
int32_t CameraPanPosition(const CameraModel* camera, uint32_t nowMs);
int32_t CameraTiltPosition(const CameraModel* camera, uint32_t nowMs);
int32_t CameraZoomPosition(const CameraModel* camera, uint32_t nowMs);
int32_t CameraFocusPosition(const CameraModel* camera, uint32_t nowMs);

// The time from a request to its reply (CAMERA_REPLY_DELAY_MS after CameraInit).
void CameraSetReplyDelay(CameraModel* camera, uint32_t delayMs);

// Fault hooks.
void CameraArmFault(CameraModel* camera, CameraFault fault, int count);
void CameraSetFaultDelay(CameraModel* camera, uint32_t delayMs);
void CameraSetFaultErrorClass(CameraModel* camera, uint8_t errorClass);
void CameraSetEcho(CameraModel* camera, int on);
void CameraSetSilent(CameraModel* camera, int on);
void CameraInjectGarbage(CameraModel* camera, const uint8_t* bytes, int count, uint32_t nowMs);

// The log entry with this sequence number, or 0 when it is not (or no longer) in the ring.
const CameraLogEntry* CameraLogEntryAt(const CameraModel* camera, uint32_t sequence);
