// The virtual HL-R8 camera model: request decoding, the units' state, motion in time, the
// transmit queue with its stop-and-wait rule, fault hooks and the frame log.
// See camera_model.h for the camera's behaviour.
#include "sim/camera_model.h"

#include <string.h>

const uint8_t DIRECTION_NONE = 0;
const uint8_t PAN_RIGHT = 1; // pan towards the maximum
const uint8_t PAN_LEFT = 2;
const uint8_t TILT_UP = 1; // tilt towards the maximum
const uint8_t TILT_DOWN = 2;
const uint8_t ZOOM_TELE = 0; // zoom towards the maximum
const uint8_t ZOOM_WIDE = 1;
const uint8_t FOCUS_FAR = 0; // focus towards the maximum
const uint8_t FOCUS_NEAR = 1;

const uint8_t LIMIT_AXIS_PAN = 1;
const uint8_t LIMIT_AXIS_TILT = 2;
const uint8_t POWER_UP_STATE = 1;
const uint8_t SPEED_CONSTANT = 2; // constant byte of the speed and absolute move requests
const uint8_t DEFAULT_BRIGHTNESS = 96;
const uint8_t DEFAULT_SHUTTER = 60;
const uint8_t DEFAULT_AGC = 32;
const uint8_t DEFAULT_IRIS = 128;
const uint8_t DEFAULT_WHITE_BALANCE = 128;
const uint8_t DEFAULT_CCU_MODE = 1;
const uint8_t CCU_MODE_MAX = 3;
const uint8_t SHUTTER_MAX = 132;
const uint8_t AGC_MIN = 3;
const uint8_t AGC_MAX = 127;
const uint8_t IRIS_MIN = 84;
const uint8_t IRIS_MAX = 169;

// --- Time ---

// 1 when time a is after time b, across the 32-bit wrap.
static int Later(uint32_t a, uint32_t b)
{
    return (int32_t)(a - b) > 0;
}

static int32_t Clamp(int32_t value, int32_t low, int32_t high)
{
    return value < low ? low : (value > high ? high : value);
}

// --- Axes ---

static int32_t AxisDistance(const CameraAxis* axis)
{
    int32_t distance = axis->target - axis->startPosition;
    return distance < 0 ? -distance : distance;
}

static uint32_t AxisEndMs(const CameraAxis* axis)
{
    int64_t span =
        ((int64_t)AxisDistance(axis) * 1000 + axis->unitsPerSecond - 1) / axis->unitsPerSecond;
    return axis->startMs + (uint32_t)span;
}

static int32_t AxisPosition(const CameraAxis* axis, uint32_t nowMs)
{
    if (axis->motion == CAMERA_STILL || !Later(nowMs, axis->startMs))
        return axis->startPosition;
    int64_t travelled = (int64_t)(uint32_t)(nowMs - axis->startMs) * axis->unitsPerSecond / 1000;
    if (travelled >= AxisDistance(axis))
        return axis->target;
    return axis->target > axis->startPosition ? axis->startPosition + (int32_t)travelled
                                              : axis->startPosition - (int32_t)travelled;
}

static void AxisInit(CameraAxis* axis, int32_t maximum, int32_t position, int32_t speed,
                     uint32_t nowMs)
{
    memset(axis, 0, sizeof *axis);
    axis->minimum = 0;
    axis->maximum = maximum;
    axis->startPosition = position;
    axis->target = position;
    axis->startMs = nowMs;
    axis->unitsPerSecond = speed;
    axis->motion = CAMERA_STILL;
}

static void AxisStop(CameraAxis* axis, uint32_t nowMs)
{
    axis->startPosition = AxisPosition(axis, nowMs);
    axis->target = axis->startPosition;
    axis->startMs = nowMs;
    axis->motion = CAMERA_STILL;
}

static void AxisMove(CameraAxis* axis, uint32_t nowMs, int32_t target, CameraMotion motion,
                     uint8_t direction)
{
    axis->startPosition = AxisPosition(axis, nowMs);
    axis->startMs = nowMs;
    axis->target = Clamp(target, axis->minimum, axis->maximum);
    axis->motion = motion;
    axis->direction = direction;
}

// Continuous move towards one end; direction 0 stops the axis.
static void AxisRun(CameraAxis* axis, uint32_t nowMs, uint8_t direction, uint8_t towardsMaximum)
{
    if (direction == DIRECTION_NONE)
        AxisStop(axis, nowMs);
    else
        AxisMove(axis, nowMs, direction == towardsMaximum ? axis->maximum : axis->minimum,
                 CAMERA_CONTINUOUS, direction);
}

// A new speed applies from now on, to a move already running as well.
static void AxisSetSpeed(CameraAxis* axis, uint32_t nowMs, int32_t unitsPerSecond)
{
    axis->startPosition = AxisPosition(axis, nowMs);
    axis->startMs = nowMs;
    axis->unitsPerSecond = unitsPerSecond;
}

static int32_t PanTiltUnitsPerSecond(int speed)
{
    return CAMERA_PAN_TILT_UNITS_PER_STEP * speed;
}

static int32_t ZoomUnitsPerSecond(int speed)
{
    return CAMERA_ZOOM_UNITS_PER_STEP * (speed + 1);
}

// --- Settings ---

static void ResetSettings(CameraModel* camera, uint32_t nowMs)
{
    CameraSettings* s = &camera->settings;
    memset(s, 0, sizeof *s);
    s->panSpeed = CAMERA_PAN_TILT_SPEED_MAX;
    s->tiltSpeed = CAMERA_PAN_TILT_SPEED_MAX;
    s->zoomSpeed = CAMERA_ZOOM_SPEED_MAX;
    AxisInit(&s->pan, CAMERA_PAN_MAX, CAMERA_PAN_HOME, PanTiltUnitsPerSecond(s->panSpeed), nowMs);
    AxisInit(&s->tilt, CAMERA_TILT_MAX, CAMERA_TILT_HOME, PanTiltUnitsPerSecond(s->tiltSpeed),
             nowMs);
    AxisInit(&s->zoom, CAMERA_ZOOM_MAX, 0, ZoomUnitsPerSecond(s->zoomSpeed), nowMs);
    AxisInit(&s->focus, CAMERA_FOCUS_MAX, CAMERA_FOCUS_DEFAULT, CAMERA_FOCUS_UNITS_PER_SECOND,
             nowMs);
    s->brightness = DEFAULT_BRIGHTNESS;
    s->shutter = DEFAULT_SHUTTER;
    s->agc = DEFAULT_AGC;
    s->iris = DEFAULT_IRIS;
    s->whiteBalanceLevel = DEFAULT_WHITE_BALANCE;
    s->ccuMode = DEFAULT_CCU_MODE;
}

static void ResetPresets(CameraModel* camera)
{
    for (int i = 0; i < CAMERA_PRESET_COUNT; ++i)
    {
        camera->presets[i].brightness = DEFAULT_BRIGHTNESS;
        camera->presets[i].pan = (uint16_t)CAMERA_PAN_HOME;
        camera->presets[i].tilt = (uint16_t)CAMERA_TILT_HOME;
        camera->presets[i].zoom = 0;
    }
}

// --- Log and transmitter ---

static void AppendLog(CameraModel* camera, CameraLogDirection direction, const uint8_t* bytes,
                      int length)
{
    CameraLogEntry* entry = &camera->log[camera->logCount % CAMERA_LOG_ENTRIES];
    if (length > CAMERA_FRAME_SIZE)
        length = CAMERA_FRAME_SIZE;
    entry->timeMs = camera->nowMs;
    entry->direction = direction;
    entry->length = length;
    memcpy(entry->bytes, bytes, (size_t)length);
    ++camera->logCount;
}

static int CanSend(const CameraModel* camera)
{
    return camera->plugged && camera->powered && !camera->faults.silent;
}

// Puts bytes on the wire (into the output the caller takes) and logs them as one entry.
static void Transmit(CameraModel* camera, const uint8_t* bytes, int length)
{
    if (camera->outputCount + length > CAMERA_OUTPUT_SIZE)
    {
        ++camera->framesLost;
        return;
    }
    for (int i = 0; i < length; ++i)
    {
        int index = (camera->outputHead + camera->outputCount) % CAMERA_OUTPUT_SIZE;
        camera->output[index] = bytes[i];
        ++camera->outputCount;
    }
    AppendLog(camera, CAMERA_LOG_SENT, bytes, length);
}

static void ClearTransmitter(CameraModel* camera)
{
    camera->pendingCount = 0;
    camera->awaitingAck = 0;
    camera->haveLastSent = 0;
    camera->outputCount = 0;
    camera->inputCount = 0;
}

static int ConsumeFault(CameraModel* camera, CameraFault fault)
{
    if (camera->faults.armed[fault] <= 0)
        return 0;
    --camera->faults.armed[fault];
    return 1;
}

// Queues a frame: bytes 0 .. N-1 for ANSWER and FRAME (the checksum is added here), the
// whole frame for RAW.
static void QueueFrame(CameraModel* camera, CameraSendKind kind, const uint8_t* bytes,
                       uint32_t dueMs)
{
    if (!CanSend(camera) || camera->pendingCount == CAMERA_PENDING_FRAMES)
    {
        ++camera->framesLost;
        return;
    }
    CameraPendingFrame* slot = &camera->pending[camera->pendingCount++];
    slot->dueMs = dueMs;
    slot->sequence = camera->nextSequence++;
    slot->kind = kind;
    int length = bytes[0];
    memcpy(slot->frame.bytes, bytes, (size_t)length + (kind == CAMERA_SEND_RAW ? 1 : 0));
    if (kind != CAMERA_SEND_RAW)
        slot->frame.bytes[length] = FrameChecksum(bytes, length);
    slot->frame.length = length + 1;
}

static void QueueAnswer(CameraModel* camera, uint8_t unit, uint8_t code, uint32_t dueMs)
{
    const uint8_t answer[] = {3, (uint8_t)(ACK_FLAG | unit), code};
    QueueFrame(camera, CAMERA_SEND_ANSWER, answer, dueMs);
}

static void StartAckWait(CameraModel* camera)
{
    camera->awaitingAck = 1;
    camera->ackDeadlineMs = camera->nowMs + CAMERA_ACK_WAIT_MS;
}

static void SendPending(CameraModel* camera, int index)
{
    CameraPendingFrame frame = camera->pending[index];
    memmove(&camera->pending[index], &camera->pending[index + 1],
            sizeof(CameraPendingFrame) * (size_t)(camera->pendingCount - index - 1));
    --camera->pendingCount;

    uint8_t wire[CAMERA_FRAME_SIZE];
    memcpy(wire, frame.frame.bytes, (size_t)frame.frame.length);
    CameraFault corrupt =
        frame.kind == CAMERA_SEND_ANSWER ? CAMERA_FAULT_CORRUPT_ACK : CAMERA_FAULT_CORRUPT_FRAME;
    if (frame.kind != CAMERA_SEND_RAW && ConsumeFault(camera, corrupt))
        ++wire[frame.frame.length - 1];
    Transmit(camera, wire, frame.frame.length);
    if (frame.kind == CAMERA_SEND_RAW)
        return;
    camera->lastSent = frame.frame;
    camera->lastSentKind = frame.kind;
    camera->haveLastSent = 1;
    camera->resends = 0;
    if (frame.kind == CAMERA_SEND_FRAME)
        StartAckWait(camera);
}

static void Resend(CameraModel* camera)
{
    if (!camera->haveLastSent || camera->resends >= CAMERA_MAX_RESENDS || !camera->rts ||
        !CanSend(camera))
        return;
    ++camera->resends;
    Transmit(camera, camera->lastSent.bytes, camera->lastSent.length);
    if (camera->lastSentKind == CAMERA_SEND_FRAME)
        StartAckWait(camera);
}

// --- Events in time ---

enum InternalEvent
{
    EVENT_NONE,
    EVENT_BOOT_DONE,
    EVENT_AXIS_END,
    EVENT_PAN_TILT_DONE,
    EVENT_ZOOM_DONE,
    EVENT_ACK_WAIT_OVER,
    EVENT_SEND
};

struct NextEvent
{
    InternalEvent kind;
    uint32_t atMs;
    int index; // axis or pending frame
};

const int AXIS_COUNT = 4;

static const CameraAxis* AxisAt(const CameraModel* camera, int index)
{
    const CameraAxis* axes[AXIS_COUNT] = {&camera->settings.pan, &camera->settings.tilt,
                                          &camera->settings.zoom, &camera->settings.focus};
    return axes[index];
}

static CameraAxis* AxisAt(CameraModel* camera, int index)
{
    return const_cast<CameraAxis*>(AxisAt((const CameraModel*)camera, index));
}

static void Consider(NextEvent* next, InternalEvent kind, uint32_t atMs, int index)
{
    if (next->kind != EVENT_NONE && !Later(next->atMs, atMs))
        return;
    next->kind = kind;
    next->atMs = atMs;
    next->index = index;
}

static int EarliestSendable(const CameraModel* camera)
{
    if (!camera->rts || !CanSend(camera))
        return -1;
    int best = -1;
    for (int i = 0; i < camera->pendingCount; ++i)
    {
        const CameraPendingFrame* frame = &camera->pending[i];
        if (frame->kind == CAMERA_SEND_FRAME && camera->awaitingAck)
            continue;
        if (best < 0 || Later(camera->pending[best].dueMs, frame->dueMs) ||
            (camera->pending[best].dueMs == frame->dueMs &&
             Later(camera->pending[best].sequence, frame->sequence)))
            best = i;
    }
    return best;
}

static int AbsoluteMoving(const CameraAxis* axis)
{
    return axis->motion == CAMERA_ABSOLUTE;
}

static NextEvent FindNextEvent(const CameraModel* camera)
{
    NextEvent next = {EVENT_NONE, 0, 0};
    if (!camera->powered)
        Consider(&next, EVENT_BOOT_DONE, camera->bootDoneMs, 0);
    for (int i = 0; i < AXIS_COUNT; ++i)
        if (AxisAt(camera, i)->motion != CAMERA_STILL)
            Consider(&next, EVENT_AXIS_END, AxisEndMs(AxisAt(camera, i)), i);
    const CameraSettings* s = &camera->settings;
    if (s->panTiltCompletion && !AbsoluteMoving(&s->pan) && !AbsoluteMoving(&s->tilt))
        Consider(&next, EVENT_PAN_TILT_DONE, s->panTiltNotBeforeMs, 0);
    if (s->zoomCompletion && !AbsoluteMoving(&s->zoom))
        Consider(&next, EVENT_ZOOM_DONE, s->zoomNotBeforeMs, 0);
    if (camera->awaitingAck)
        Consider(&next, EVENT_ACK_WAIT_OVER, camera->ackDeadlineMs, 0);
    int sendable = EarliestSendable(camera);
    if (sendable >= 0)
        Consider(&next, EVENT_SEND, camera->pending[sendable].dueMs, sendable);
    return next;
}

static void QueueEvent(CameraModel* camera, uint8_t unit, uint8_t command, uint8_t a, uint8_t b)
{
    const uint8_t event[] = {5, unit, (uint8_t)(command | EVENT_FLAG | READY_FLAG), a, b};
    QueueFrame(camera, CAMERA_SEND_FRAME, event, camera->nowMs);
}

static void EndAxisMove(CameraModel* camera, int index)
{
    CameraAxis* axis = AxisAt(camera, index);
    CameraMotion motion = axis->motion;
    AxisStop(axis, AxisEndMs(axis));
    if (motion != CAMERA_CONTINUOUS)
        return;
    if (axis == &camera->settings.pan)
        QueueEvent(camera, DEVICE_PAN_TILTER, LIMIT_NOTIFY, LIMIT_AXIS_PAN, axis->direction);
    else if (axis == &camera->settings.tilt)
        QueueEvent(camera, DEVICE_PAN_TILTER, LIMIT_NOTIFY, LIMIT_AXIS_TILT, axis->direction);
    else if (axis == &camera->settings.zoom)
        QueueEvent(camera, DEVICE_CAMERA_HEAD, ZOOM_NOTIFY, 1, axis->direction);
    else
        QueueEvent(camera, DEVICE_CAMERA_HEAD, FOCUS_NOTIFY, 1, axis->direction);
}

static void SendCompletion(CameraModel* camera, uint8_t* request)
{
    request[2] = (uint8_t)(request[2] | READY_FLAG);
    QueueFrame(camera, CAMERA_SEND_FRAME, request, camera->nowMs);
}

static void FinishBoot(CameraModel* camera)
{
    camera->powered = 1;
    const uint8_t power[] = {4, DEVICE_PAN_TILTER,
                             (uint8_t)(POWER_NOTIFY | EVENT_FLAG | READY_FLAG), POWER_UP_STATE};
    QueueFrame(camera, CAMERA_SEND_FRAME, power, camera->nowMs);
}

static void RunEvent(CameraModel* camera, const NextEvent* event)
{
    CameraSettings* s = &camera->settings;
    switch (event->kind)
    {
    case EVENT_BOOT_DONE:
        FinishBoot(camera);
        break;
    case EVENT_AXIS_END:
        EndAxisMove(camera, event->index);
        break;
    case EVENT_PAN_TILT_DONE:
        s->panTiltCompletion = 0;
        SendCompletion(camera, s->panTiltRequest);
        break;
    case EVENT_ZOOM_DONE:
        s->zoomCompletion = 0;
        SendCompletion(camera, s->zoomRequest);
        break;
    case EVENT_ACK_WAIT_OVER:
        camera->awaitingAck = 0;
        break;
    case EVENT_SEND:
        SendPending(camera, event->index);
        break;
    case EVENT_NONE:
        break;
    }
}

void CameraAdvance(CameraModel* camera, uint32_t nowMs)
{
    uint32_t until = Later(nowMs, camera->nowMs) ? nowMs : camera->nowMs;
    for (;;)
    {
        NextEvent event = FindNextEvent(camera);
        if (event.kind == EVENT_NONE || Later(event.atMs, until))
            break;
        // Each event happens at its own time, so what the camera does does not depend on
        // how often the caller looks; an event held back (RTS off) happens now.
        if (Later(event.atMs, camera->nowMs))
            camera->nowMs = event.atMs;
        RunEvent(camera, &event);
    }
    camera->nowMs = until;
}

int CameraNextDeadline(const CameraModel* camera, uint32_t* deadlineMs)
{
    NextEvent event = FindNextEvent(camera);
    if (event.kind == EVENT_NONE)
        return 0;
    *deadlineMs = event.atMs;
    return 1;
}

// --- Requests ---

// What a request's handler leaves for the answer: a reply now (after a delay) or a
// completion later, when a move ends.
struct CameraAnswer
{
    uint8_t reply[CAMERA_FRAME_SIZE]; // bytes 0 .. N-1; starts as the request with READY_FLAG
    uint32_t replyDelayMs;
    int completionLater;
};

// Returns 0 when the request was carried out, else the NAK code (nothing was changed).
typedef uint8_t (*RequestHandler)(CameraModel* camera, const uint8_t* request,
                                  CameraAnswer* answer);

const int NO_SELECTOR = -1;

struct RequestRule
{
    uint8_t device;
    uint8_t command;
    int selector;      // byte 3, or NO_SELECTOR
    uint8_t minLength; // of the length byte
    uint8_t maxLength;
    RequestHandler handler;
};

static void StartReply(CameraAnswer* answer, uint8_t device, uint8_t command, uint8_t length)
{
    memset(answer->reply, 0, sizeof answer->reply);
    answer->reply[0] = length;
    answer->reply[1] = device;
    answer->reply[2] = (uint8_t)(command | READY_FLAG);
}

static void PutPosition(uint8_t* bytes, int32_t position)
{
    WriteBigEndian16(bytes, (uint16_t)position);
}

// CCU.

static uint8_t HandleModeSelect(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] > CCU_MODE_MAX)
        return CAMERA_NAK_PARAMETER;
    camera->settings.ccuMode = request[4];
    return 0;
}

static uint8_t HandleWhiteBalanceMode(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] > 1)
        return CAMERA_NAK_PARAMETER;
    camera->settings.whiteBalanceManual = request[4];
    return 0;
}

static uint8_t HandleWhiteBalanceLevel(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    camera->settings.whiteBalanceLevel = request[4];
    return 0;
}

static uint8_t HandleMute(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] > 1)
        return CAMERA_NAK_PARAMETER;
    if (request[3] == 1)
        camera->settings.mute1 = request[4];
    else
        camera->settings.mute2 = request[4];
    return 0;
}

static int ValidPreset(uint8_t preset)
{
    return preset >= 1 && preset <= CAMERA_PRESET_COUNT;
}

static uint8_t HandlePresetWrite(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (!ValidPreset(request[4]) || request[5] != request[4])
        return CAMERA_NAK_PARAMETER;
    CameraPreset* preset = &camera->presets[request[4] - 1];
    preset->brightness = request[6];
    preset->pan = ReadBigEndian16(request + 7);
    preset->tilt = ReadBigEndian16(request + 9);
    preset->zoom = ReadBigEndian16(request + 11);
    return 0;
}

static uint8_t HandlePresetRead(CameraModel* camera, const uint8_t* request, CameraAnswer* answer)
{
    if (!ValidPreset(request[4]))
        return CAMERA_NAK_PARAMETER;
    const CameraPreset* preset = &camera->presets[request[4] - 1];
    StartReply(answer, DEVICE_CCU, PRESET_REQUEST, 13);
    answer->reply[3] = 1;
    answer->reply[4] = request[4];
    answer->reply[5] = request[4];
    answer->reply[6] = preset->brightness;
    WriteBigEndian16(answer->reply + 7, preset->pan);
    WriteBigEndian16(answer->reply + 9, preset->tilt);
    WriteBigEndian16(answer->reply + 11, preset->zoom);
    return 0;
}

// Every unit.

static uint8_t HandleVersion(CameraModel*, const uint8_t* request, CameraAnswer* answer)
{
    uint8_t unit = FrameDevice(request);
    StartReply(answer, unit, STATE_REQUEST, 6);
    answer->reply[3] = 0;
    answer->reply[4] = CAMERA_MODEL_BYTE;
    answer->reply[5] = unit == DEVICE_CCU           ? CAMERA_CCU_VERSION
                       : unit == DEVICE_CAMERA_HEAD ? CAMERA_HEAD_VERSION
                                                    : CAMERA_PAN_TILTER_VERSION;
    return 0;
}

// Camera head.

static uint8_t HandleFocusMode(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] > 1)
        return CAMERA_NAK_PARAMETER;
    camera->settings.focusManual = request[4];
    return 0;
}

static uint8_t HandleFocusMove(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] != FOCUS_NEAR && request[4] != FOCUS_FAR)
        return CAMERA_NAK_PARAMETER;
    // The far direction code is 0, so it cannot stand for "no move" here.
    CameraAxis* focus = &camera->settings.focus;
    AxisMove(focus, camera->nowMs, request[4] == FOCUS_FAR ? focus->maximum : focus->minimum,
             CAMERA_CONTINUOUS, request[4]);
    return 0;
}

static uint8_t HandleFocusStop(CameraModel* camera, const uint8_t*, CameraAnswer*)
{
    AxisStop(&camera->settings.focus, camera->nowMs);
    return 0;
}

static uint8_t HandleZoomMove(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] != ZOOM_TELE && request[4] != ZOOM_WIDE)
        return CAMERA_NAK_PARAMETER;
    CameraAxis* zoom = &camera->settings.zoom;
    camera->settings.zoomCompletion = 0;
    AxisMove(zoom, camera->nowMs, request[4] == ZOOM_TELE ? zoom->maximum : zoom->minimum,
             CAMERA_CONTINUOUS, request[4]);
    return 0;
}

static uint8_t HandleZoomStop(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] != 0)
        return CAMERA_NAK_PARAMETER;
    camera->settings.zoomCompletion = 0;
    AxisStop(&camera->settings.zoom, camera->nowMs);
    return 0;
}

static uint8_t HandleZoomSpeed(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] != SPEED_CONSTANT)
        return CAMERA_NAK_PARAMETER;
    camera->settings.zoomSpeed = Clamp(request[5], 0, CAMERA_ZOOM_SPEED_MAX);
    AxisSetSpeed(&camera->settings.zoom, camera->nowMs,
                 ZoomUnitsPerSecond(camera->settings.zoomSpeed));
    return 0;
}

static uint8_t HandleZoomTo(CameraModel* camera, const uint8_t* request, CameraAnswer* answer)
{
    if (request[4] != SPEED_CONSTANT)
        return CAMERA_NAK_PARAMETER;
    CameraSettings* s = &camera->settings;
    AxisMove(&s->zoom, camera->nowMs, ReadBigEndian16(request + 5), CAMERA_ABSOLUTE, 0);
    memcpy(s->zoomRequest, request, 7);
    PutPosition(s->zoomRequest + 5, s->zoom.target);
    s->zoomCompletion = 1;
    s->zoomNotBeforeMs = camera->nowMs + camera->replyDelayMs;
    answer->completionLater = 1;
    return 0;
}

static uint8_t HandleExposureMode(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] > 1)
        return CAMERA_NAK_PARAMETER;
    camera->settings.exposureManual = request[4];
    return 0;
}

static uint8_t HandleExposureParam2(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    camera->settings.exposureParam2[0] = request[4];
    camera->settings.exposureParam2[1] = request[0] == 6 ? request[5] : 0;
    return 0;
}

static uint8_t HandleExposureParam3(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    camera->settings.exposureParam3 = request[4];
    return 0;
}

static uint8_t HandleBrightness(CameraModel* camera, const uint8_t* request, CameraAnswer* answer)
{
    camera->settings.brightness = request[4];
    answer->replyDelayMs = CAMERA_BRIGHTNESS_SETTLE_MS;
    return 0;
}

// Shutter, AGC and iris: selector, 0, value.
static uint8_t HandleExposureLevel(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] != 0)
        return CAMERA_NAK_PARAMETER;
    CameraSettings* s = &camera->settings;
    if (request[3] == 6)
        s->shutter = (uint8_t)Clamp(request[5], 0, SHUTTER_MAX);
    else if (request[3] == 7)
        s->agc = (uint8_t)Clamp(request[5], AGC_MIN, AGC_MAX);
    else
        s->iris = (uint8_t)Clamp(request[5], IRIS_MIN, IRIS_MAX);
    return 0;
}

static uint8_t HandleZoomPosition(CameraModel* camera, const uint8_t*, CameraAnswer* answer)
{
    const CameraAxis* zoom = &camera->settings.zoom;
    StartReply(answer, DEVICE_CAMERA_HEAD, STATE_REQUEST, 7);
    answer->reply[3] = 2;
    answer->reply[4] = zoom->motion != CAMERA_STILL;
    PutPosition(answer->reply + 5, AxisPosition(zoom, camera->nowMs));
    return 0;
}

static uint8_t HandleExposureState(CameraModel* camera, const uint8_t*, CameraAnswer* answer)
{
    const CameraSettings* s = &camera->settings;
    StartReply(answer, DEVICE_CAMERA_HEAD, STATE_REQUEST, 9);
    answer->reply[3] = 3;
    answer->reply[4] = (uint8_t)s->exposureManual;
    answer->reply[5] = s->brightness;
    answer->reply[6] = s->iris;
    answer->reply[7] = s->shutter;
    answer->reply[8] = s->agc;
    return 0;
}

// Pan tilter.

static uint8_t HandleSetup(CameraModel*, const uint8_t*, CameraAnswer*)
{
    return 0;
}

static uint8_t HandleHome(CameraModel* camera, const uint8_t*, CameraAnswer*)
{
    CameraSettings* s = &camera->settings;
    s->panTiltCompletion = 0;
    AxisMove(&s->pan, camera->nowMs, CAMERA_PAN_HOME, CAMERA_ABSOLUTE, 0);
    AxisMove(&s->tilt, camera->nowMs, CAMERA_TILT_HOME, CAMERA_ABSOLUTE, 0);
    return 0;
}

static uint8_t HandlePanTiltMove(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] > PAN_LEFT || request[5] > TILT_DOWN)
        return CAMERA_NAK_PARAMETER;
    CameraSettings* s = &camera->settings;
    s->panTiltCompletion = 0;
    AxisRun(&s->pan, camera->nowMs, request[4], PAN_RIGHT);
    AxisRun(&s->tilt, camera->nowMs, request[5], TILT_UP);
    return 0;
}

static uint8_t HandlePanTiltStop(CameraModel* camera, const uint8_t*, CameraAnswer*)
{
    CameraSettings* s = &camera->settings;
    s->panTiltCompletion = 0;
    AxisStop(&s->pan, camera->nowMs);
    AxisStop(&s->tilt, camera->nowMs);
    return 0;
}

static uint8_t HandlePanTiltSpeed(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    if (request[4] != SPEED_CONSTANT)
        return CAMERA_NAK_PARAMETER;
    CameraSettings* s = &camera->settings;
    s->panSpeed = Clamp(request[5], CAMERA_PAN_TILT_SPEED_MIN, CAMERA_PAN_TILT_SPEED_MAX);
    s->tiltSpeed = Clamp(request[6], CAMERA_PAN_TILT_SPEED_MIN, CAMERA_PAN_TILT_SPEED_MAX);
    AxisSetSpeed(&s->pan, camera->nowMs, PanTiltUnitsPerSecond(s->panSpeed));
    AxisSetSpeed(&s->tilt, camera->nowMs, PanTiltUnitsPerSecond(s->tiltSpeed));
    return 0;
}

static uint8_t HandlePanTiltTo(CameraModel* camera, const uint8_t* request, CameraAnswer* answer)
{
    if (request[4] != SPEED_CONSTANT)
        return CAMERA_NAK_PARAMETER;
    CameraSettings* s = &camera->settings;
    AxisMove(&s->pan, camera->nowMs, ReadBigEndian16(request + 5), CAMERA_ABSOLUTE, 0);
    AxisMove(&s->tilt, camera->nowMs, ReadBigEndian16(request + 7), CAMERA_ABSOLUTE, 0);
    memcpy(s->panTiltRequest, request, 9);
    PutPosition(s->panTiltRequest + 5, s->pan.target);
    PutPosition(s->panTiltRequest + 7, s->tilt.target);
    s->panTiltCompletion = 1;
    s->panTiltNotBeforeMs = camera->nowMs + camera->replyDelayMs;
    answer->completionLater = 1;
    return 0;
}

static uint8_t HandleLed(CameraModel* camera, const uint8_t* request, CameraAnswer*)
{
    memcpy(camera->settings.led, request + 3, sizeof camera->settings.led);
    return 0;
}

static uint8_t HandlePanTiltPosition(CameraModel* camera, const uint8_t*, CameraAnswer* answer)
{
    const CameraSettings* s = &camera->settings;
    StartReply(answer, DEVICE_PAN_TILTER, STATE_REQUEST, 10);
    answer->reply[3] = 2;
    answer->reply[4] = s->pan.motion != CAMERA_STILL;
    PutPosition(answer->reply + 5, AxisPosition(&s->pan, camera->nowMs));
    answer->reply[7] = s->tilt.motion != CAMERA_STILL;
    PutPosition(answer->reply + 8, AxisPosition(&s->tilt, camera->nowMs));
    return 0;
}

// The requests the camera knows, by unit, command and selector, with their length byte.
static const RequestRule REQUEST_RULES[] = {
    {DEVICE_CCU, STATE_REQUEST, 0, 4, 4, HandleVersion},
    {DEVICE_CCU, MODESELECT_REQUEST, 1, 5, 5, HandleModeSelect},
    {DEVICE_CCU, WHITEBALANCE_REQUEST, 1, 5, 5, HandleWhiteBalanceMode},
    {DEVICE_CCU, WHITEBALANCE_REQUEST, 2, 5, 5, HandleWhiteBalanceLevel},
    {DEVICE_CCU, MUTE_REQUEST, 1, 5, 5, HandleMute},
    {DEVICE_CCU, MUTE_REQUEST, 2, 5, 5, HandleMute},
    {DEVICE_CCU, PRESET_REQUEST, 1, 5, 5, HandlePresetRead},
    {DEVICE_CCU, PRESET_REQUEST, 2, 13, 13, HandlePresetWrite},

    {DEVICE_CAMERA_HEAD, STATE_REQUEST, 0, 4, 4, HandleVersion},
    {DEVICE_CAMERA_HEAD, STATE_REQUEST, 2, 4, 4, HandleZoomPosition},
    {DEVICE_CAMERA_HEAD, STATE_REQUEST, 3, 4, 4, HandleExposureState},
    {DEVICE_CAMERA_HEAD, FOCUS_REQUEST, 1, 5, 5, HandleFocusMode},
    {DEVICE_CAMERA_HEAD, FOCUS_REQUEST, 2, 5, 5, HandleFocusMove},
    {DEVICE_CAMERA_HEAD, FOCUS_REQUEST, 4, 4, 4, HandleFocusStop},
    {DEVICE_CAMERA_HEAD, ZOOM_REQUEST, 1, 5, 5, HandleZoomMove},
    {DEVICE_CAMERA_HEAD, ZOOM_REQUEST, 2, 7, 7, HandleZoomTo},
    {DEVICE_CAMERA_HEAD, ZOOM_REQUEST, 3, 5, 5, HandleZoomStop},
    {DEVICE_CAMERA_HEAD, ZOOM_REQUEST, 4, 6, 6, HandleZoomSpeed},
    {DEVICE_CAMERA_HEAD, EXPOSURE_REQUEST, 1, 5, 5, HandleExposureMode},
    {DEVICE_CAMERA_HEAD, EXPOSURE_REQUEST, 2, 5, 6, HandleExposureParam2},
    {DEVICE_CAMERA_HEAD, EXPOSURE_REQUEST, 3, 5, 5, HandleExposureParam3},
    {DEVICE_CAMERA_HEAD, EXPOSURE_REQUEST, 4, 5, 5, HandleBrightness},
    {DEVICE_CAMERA_HEAD, EXPOSURE_REQUEST, 6, 6, 6, HandleExposureLevel},
    {DEVICE_CAMERA_HEAD, EXPOSURE_REQUEST, 7, 6, 6, HandleExposureLevel},
    {DEVICE_CAMERA_HEAD, EXPOSURE_REQUEST, 8, 6, 6, HandleExposureLevel},

    {DEVICE_PAN_TILTER, STATE_REQUEST, 0, 4, 4, HandleVersion},
    {DEVICE_PAN_TILTER, STATE_REQUEST, 2, 4, 4, HandlePanTiltPosition},
    {DEVICE_PAN_TILTER, SETUP_REQUEST, NO_SELECTOR, 3, 3, HandleSetup},
    {DEVICE_PAN_TILTER, HOME_REQUEST, NO_SELECTOR, 3, 3, HandleHome},
    {DEVICE_PAN_TILTER, PANTILT_REQUEST, 1, 6, 6, HandlePanTiltMove},
    {DEVICE_PAN_TILTER, PANTILT_REQUEST, 2, 4, 4, HandlePanTiltStop},
    {DEVICE_PAN_TILTER, PANTILT_REQUEST, 3, 7, 7, HandlePanTiltSpeed},
    {DEVICE_PAN_TILTER, PANTILT_REQUEST, 5, 9, 9, HandlePanTiltTo},
    {DEVICE_PAN_TILTER, LED_REQUEST, NO_SELECTOR, 6, 6, HandleLed},
};

// Requests carry 0 in the flag bits of the command byte; bits 4-6 of the device byte are
// not looked at, as the program's receiver does not look at them either.
static const RequestRule* FindRule(const uint8_t* request)
{
    for (size_t i = 0; i < sizeof REQUEST_RULES / sizeof REQUEST_RULES[0]; ++i)
    {
        const RequestRule* rule = &REQUEST_RULES[i];
        if (rule->device != FrameDevice(request) || rule->command != request[2])
            continue;
        if (rule->selector != NO_SELECTOR && (request[0] < 4 || request[3] != rule->selector))
            continue;
        if (request[0] >= rule->minLength && request[0] <= rule->maxLength)
            return rule;
    }
    return 0;
}

// The unit a NAK comes from: the addressed one, or the CCU for a frame to no known unit.
static uint8_t AnsweringUnit(const uint8_t* frame)
{
    uint8_t unit = FrameDevice(frame);
    if (unit == DEVICE_CAMERA_HEAD || unit == DEVICE_PAN_TILTER)
        return unit;
    return DEVICE_CCU;
}

static void QueueErrorReport(CameraModel* camera, const uint8_t* request, uint32_t dueMs)
{
    const uint8_t report[] = {5, FrameDevice(request),
                              (uint8_t)(request[2] | ERROR_FLAG | READY_FLAG),
                              camera->faults.errorClass, 0};
    QueueFrame(camera, CAMERA_SEND_FRAME, report, dueMs);
}

static void HandleRequest(CameraModel* camera, const uint8_t* request)
{
    uint32_t now = camera->nowMs;
    uint8_t unit = AnsweringUnit(request);
    if (camera->faults.echo)
        QueueFrame(camera, CAMERA_SEND_RAW, request, now);
    uint32_t due = now + (ConsumeFault(camera, CAMERA_FAULT_DELAY) ? camera->faults.delayMs : 0);
    if (ConsumeFault(camera, CAMERA_FAULT_NAK))
    {
        QueueAnswer(camera, unit, CAMERA_NAK_REFUSED, due);
        return;
    }
    const RequestRule* rule = FindRule(request);
    if (!rule)
    {
        QueueAnswer(camera, unit, CAMERA_NAK_UNKNOWN, due);
        return;
    }
    if (ConsumeFault(camera, CAMERA_FAULT_ERROR_REPLY))
    {
        QueueAnswer(camera, unit, ACK_CODE, due);
        QueueErrorReport(camera, request, due + camera->replyDelayMs);
        return;
    }
    CameraAnswer answer;
    memcpy(answer.reply, request, (size_t)request[0]);
    answer.reply[2] = (uint8_t)(request[2] | READY_FLAG);
    answer.replyDelayMs = camera->replyDelayMs;
    answer.completionLater = 0;
    uint8_t code = rule->handler(camera, request, &answer);
    if (code != 0)
    {
        QueueAnswer(camera, unit, code, due);
        return;
    }
    ++camera->requestsCarriedOut;
    if (!ConsumeFault(camera, CAMERA_FAULT_DROP_ACK))
        QueueAnswer(camera, unit, ACK_CODE, due);
    if (!ConsumeFault(camera, CAMERA_FAULT_DROP_REPLY))
    {
        if (!answer.completionLater)
            QueueFrame(camera, CAMERA_SEND_FRAME, answer.reply, due + answer.replyDelayMs);
    }
    else if (answer.completionLater && unit == DEVICE_CAMERA_HEAD)
        camera->settings.zoomCompletion = 0;
    else if (answer.completionLater)
        camera->settings.panTiltCompletion = 0;
}

// An acknowledgement from the program answers the frame the camera sent last; a NAK of
// any code asks for it again.
static void HandleProgramAcknowledgement(CameraModel* camera, const uint8_t* frame)
{
    camera->awaitingAck = 0;
    if (frame[2] != ACK_CODE)
        Resend(camera);
}

static void HandleFrame(CameraModel* camera, const uint8_t* frame, int length)
{
    AppendLog(camera, CAMERA_LOG_RECEIVED, frame, length);
    if (!FrameSumIsZero(frame))
        QueueAnswer(camera, AnsweringUnit(frame), CAMERA_NAK_CHECKSUM, camera->nowMs);
    else if (frame[1] & ACK_FLAG)
        HandleProgramAcknowledgement(camera, frame);
    else
        HandleRequest(camera, frame);
}

static int Hearing(const CameraModel* camera)
{
    return camera->plugged && camera->powered && !camera->faults.silent;
}

// --- Interface ---

void CameraInit(CameraModel* camera, uint32_t nowMs)
{
    memset(camera, 0, sizeof *camera);
    camera->nowMs = nowMs;
    camera->plugged = 1;
    camera->powered = 1;
    ResetSettings(camera, nowMs);
    ResetPresets(camera);
    camera->faults.delayMs = CAMERA_DEFAULT_FAULT_DELAY_MS;
    camera->faults.errorClass = CAMERA_DEFAULT_ERROR_CLASS;
    camera->replyDelayMs = CAMERA_REPLY_DELAY_MS;
}

// Bytes outside 3..32 cannot start a frame and are skipped while the camera looks for one;
// a pause inside a frame makes it start looking again.
void CameraFeed(CameraModel* camera, const uint8_t* bytes, int count, uint32_t nowMs)
{
    CameraAdvance(camera, nowMs);
    if (!Hearing(camera))
    {
        camera->inputCount = 0;
        return;
    }
    for (int i = 0; i < count; ++i)
    {
        if (camera->inputCount > 0 &&
            camera->nowMs - camera->lastByteMs > CAMERA_INTERBYTE_TIMEOUT_MS)
            camera->inputCount = 0;
        camera->lastByteMs = camera->nowMs;
        if (camera->inputCount == 0 && !IsLengthByte(bytes[i]))
            continue;
        camera->input[camera->inputCount++] = bytes[i];
        if (camera->inputCount == camera->input[0] + 1)
        {
            camera->inputCount = 0;
            HandleFrame(camera, camera->input, camera->input[0] + 1);
        }
    }
    CameraAdvance(camera, nowMs);
}

int CameraTakeOutput(CameraModel* camera, uint8_t* bytes, int max)
{
    int taken = 0;
    while (taken < max && camera->outputCount > 0)
    {
        bytes[taken++] = camera->output[camera->outputHead];
        camera->outputHead = (camera->outputHead + 1) % CAMERA_OUTPUT_SIZE;
        --camera->outputCount;
    }
    return taken;
}

int CameraCtsOn(const CameraModel* camera)
{
    return camera->plugged && camera->powered;
}

void CameraSetRts(CameraModel* camera, int on, uint32_t nowMs)
{
    CameraAdvance(camera, nowMs);
    camera->rts = on != 0;
    CameraAdvance(camera, nowMs);
}

void CameraUnplug(CameraModel* camera, uint32_t nowMs)
{
    CameraAdvance(camera, nowMs);
    camera->plugged = 0;
    ClearTransmitter(camera);
}

void CameraPlugIn(CameraModel* camera, uint32_t nowMs)
{
    CameraAdvance(camera, nowMs);
    camera->plugged = 1;
}

void CameraPowerCycle(CameraModel* camera, uint32_t nowMs)
{
    CameraAdvance(camera, nowMs);
    camera->powered = 0;
    camera->bootDoneMs = camera->nowMs + CAMERA_BOOT_MS;
    ClearTransmitter(camera);
    ResetSettings(camera, camera->nowMs);
}

void CameraRemoteKey(CameraModel* camera, uint8_t key, int state, uint32_t nowMs)
{
    CameraAdvance(camera, nowMs);
    QueueEvent(camera, DEVICE_PAN_TILTER, REMOTE_NOTIFY, (uint8_t)state, key);
    CameraAdvance(camera, nowMs);
}

int32_t CameraPanPosition(const CameraModel* camera, uint32_t nowMs)
{
    return AxisPosition(&camera->settings.pan, nowMs);
}

int32_t CameraTiltPosition(const CameraModel* camera, uint32_t nowMs)
{
    return AxisPosition(&camera->settings.tilt, nowMs);
}

int32_t CameraZoomPosition(const CameraModel* camera, uint32_t nowMs)
{
    return AxisPosition(&camera->settings.zoom, nowMs);
}

int32_t CameraFocusPosition(const CameraModel* camera, uint32_t nowMs)
{
    return AxisPosition(&camera->settings.focus, nowMs);
}

void CameraSetReplyDelay(CameraModel* camera, uint32_t delayMs)
{
    camera->replyDelayMs = delayMs;
}

void CameraArmFault(CameraModel* camera, CameraFault fault, int count)
{
    if (fault >= 0 && fault < CAMERA_FAULT_KINDS)
        camera->faults.armed[fault] = count > 0 ? count : 0;
}

void CameraSetFaultDelay(CameraModel* camera, uint32_t delayMs)
{
    camera->faults.delayMs = delayMs;
}

void CameraSetFaultErrorClass(CameraModel* camera, uint8_t errorClass)
{
    camera->faults.errorClass = errorClass;
}

void CameraSetEcho(CameraModel* camera, int on)
{
    camera->faults.echo = on != 0;
}

void CameraSetSilent(CameraModel* camera, int on)
{
    camera->faults.silent = on != 0;
    if (on)
        ClearTransmitter(camera);
}

void CameraInjectGarbage(CameraModel* camera, const uint8_t* bytes, int count, uint32_t nowMs)
{
    CameraAdvance(camera, nowMs);
    if (!CanSend(camera) || count <= 0)
        return;
    if (count > CAMERA_FRAME_SIZE)
        count = CAMERA_FRAME_SIZE;
    Transmit(camera, bytes, count);
}

const CameraLogEntry* CameraLogEntryAt(const CameraModel* camera, uint32_t sequence)
{
    if (sequence >= camera->logCount || camera->logCount - sequence > CAMERA_LOG_ENTRIES)
        return 0;
    return &camera->log[sequence % CAMERA_LOG_ENTRIES];
}
