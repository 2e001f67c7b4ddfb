// Virtual cameras on the simulated line: the peer service, the locked calls from other
// threads, the /SIM switch and the frame log file. See virtual_camera.h.
#include "sim/virtual_camera.h"

#include <string.h>

#include "link/frame_line.h"

const int SERVICE_CHUNK = 256;   // bytes moved per read or write of the line
const int PORT_LIST_LIMIT = 8;   // digits accepted after /SIM:
const int DEMO_PORTS[] = {0, 1}; // /SIM alone: COM1 and COM2

static VirtualCamera cameras[LINE_PORT_COUNT];

// The log file is shared by every camera; its lock is set up once, before the first peer
// thread starts.
static CRITICAL_SECTION logLock;
static volatile LONG logLockReady;
static HANDLE logFile = INVALID_HANDLE_VALUE;

static void PrepareLogLock()
{
    if (!logLockReady)
    {
        InitializeCriticalSection(&logLock);
        InterlockedExchange(&logLockReady, 1);
    }
}

// --- Frame log file ---

// One line of the log file; the buffer has room for the longest entry.
static int FormatLogLine(const CameraLogEntry* entry, int portIndex, char* line)
{
    const char* direction =
        entry->direction == CAMERA_LOG_SENT ? FRAME_FROM_CAMERA : FRAME_TO_CAMERA;
    return FormatFrameLine(line, entry->timeMs, portIndex, direction, entry->bytes,
                           entry->length);
}

// Writes the model's new log entries; called with the camera's lock held. Entries that the
// ring lost before they could be written (more than it holds between two calls) are skipped.
static void FlushLog(VirtualCamera* camera)
{
    uint32_t total = camera->model.logCount;
    uint32_t first = camera->loggedCount;
    if (total - first > (uint32_t)CAMERA_LOG_ENTRIES)
        first = total - CAMERA_LOG_ENTRIES;
    if (logLockReady && first != total)
    {
        EnterCriticalSection(&logLock);
        for (uint32_t i = first; i != total && logFile != INVALID_HANDLE_VALUE; ++i)
        {
            const CameraLogEntry* entry = CameraLogEntryAt(&camera->model, i);
            char line[FRAME_LINE_SIZE];
            DWORD written = 0;
            int length = FormatLogLine(entry, camera->portIndex, line);
            WriteFile(logFile, line, (DWORD)length, &written, 0);
        }
        LeaveCriticalSection(&logLock);
    }
    camera->loggedCount = total;
}

// --- Serving the line ---

static void SyncRts(VirtualCamera* camera, uint32_t nowMs)
{
    int rts = SimGetRts(&camera->line) != 0;
    if (rts != camera->model.rts)
        CameraSetRts(&camera->model, rts, nowMs);
}

// Puts what the camera sent on the line, sets CTS and writes the log; lock held.
static void PublishChanges(VirtualCamera* camera)
{
    uint8_t bytes[SERVICE_CHUNK];
    int count;
    while ((count = CameraTakeOutput(&camera->model, bytes, SERVICE_CHUNK)) > 0)
        SimPeerWrite(&camera->line, bytes, count);
    SimSetCts(&camera->line, CameraCtsOn(&camera->model));
    FlushLog(camera);
}

static uint32_t ServeCamera(void* context, SimulatedLine* line, uint32_t)
{
    VirtualCamera* camera = (VirtualCamera*)context;
    InterlockedIncrement(&camera->serviceCalls);
    EnterCriticalSection(&camera->lock);
    uint32_t now = SimNowMs(line); // read under the lock, so the model's time never goes back
    SyncRts(camera, now);
    uint8_t bytes[SERVICE_CHUNK];
    int count;
    while ((count = SimPeerRead(line, bytes, SERVICE_CHUNK)) > 0)
        CameraFeed(&camera->model, bytes, count, now);
    CameraAdvance(&camera->model, now);
    PublishChanges(camera);
    uint32_t deadline = SIM_NO_DEADLINE;
    if (CameraNextDeadline(&camera->model, &deadline) && deadline == SIM_NO_DEADLINE)
        --deadline; // a real deadline that happens to equal the "none" value
    LeaveCriticalSection(&camera->lock);
    return deadline;
}

VirtualCamera* AttachVirtualCamera(int portIndex)
{
    if (portIndex < 0 || portIndex >= LINE_PORT_COUNT)
        return 0;
    VirtualCamera* camera = &cameras[portIndex];
    if (camera->active || AttachedSimulatedLine(portIndex))
        return 0;
    PrepareLogLock();
    SimInitLine(&camera->line);
    SimSetLineSpeed(&camera->line, VIRTUAL_LINE_BAUD);
    InitializeCriticalSection(&camera->lock);
    CameraInit(&camera->model, SimNowMs(&camera->line));
    camera->portIndex = portIndex;
    camera->loggedCount = 0;
    camera->serviceCalls = 0;
    SimSetCts(&camera->line, CameraCtsOn(&camera->model));
    if (!SimStartPeer(&camera->line, ServeCamera, camera))
    {
        SimDestroyLine(&camera->line);
        DeleteCriticalSection(&camera->lock);
        return 0;
    }
    AttachSimulatedLine(portIndex, &camera->line);
    camera->active = 1;
    return camera;
}

int DetachVirtualCamera(VirtualCamera* camera)
{
    if (!camera || !camera->active)
        return 1;
    if (camera->line.isOpen)
        return 0;
    AttachSimulatedLine(camera->portIndex, 0);
    SimStopPeer(&camera->line);
    EnterCriticalSection(&camera->lock);
    FlushLog(camera);
    LeaveCriticalSection(&camera->lock);
    SimDestroyLine(&camera->line);
    DeleteCriticalSection(&camera->lock);
    camera->active = 0;
    return 1;
}

VirtualCamera* VirtualCameraOnPort(int portIndex)
{
    if (portIndex < 0 || portIndex >= LINE_PORT_COUNT || !cameras[portIndex].active)
        return 0;
    return &cameras[portIndex];
}

// What fell due by now goes on the line before the caller's change: an unplug or a silence
// clears the camera's transmitter, and would otherwise drop bytes the log shows as sent.
CameraModel* LockVirtualCamera(VirtualCamera* camera, uint32_t* nowMs)
{
    EnterCriticalSection(&camera->lock);
    uint32_t now = SimNowMs(&camera->line);
    SyncRts(camera, now);
    CameraAdvance(&camera->model, now);
    PublishChanges(camera);
    if (nowMs)
        *nowMs = now;
    return &camera->model;
}

void UnlockVirtualCamera(VirtualCamera* camera)
{
    PublishChanges(camera);
    LeaveCriticalSection(&camera->lock);
    SimWakePeer(&camera->line);
}

void PressVirtualRemoteKey(VirtualCamera* camera, uint8_t key, int state)
{
    uint32_t now = 0;
    CameraModel* model = LockVirtualCamera(camera, &now);
    CameraRemoteKey(model, key, state, now);
    UnlockVirtualCamera(camera);
}

void UnplugVirtualCamera(VirtualCamera* camera)
{
    uint32_t now = 0;
    CameraUnplug(LockVirtualCamera(camera, &now), now);
    UnlockVirtualCamera(camera);
}

void PlugInVirtualCamera(VirtualCamera* camera)
{
    uint32_t now = 0;
    CameraPlugIn(LockVirtualCamera(camera, &now), now);
    UnlockVirtualCamera(camera);
}

void PowerCycleVirtualCamera(VirtualCamera* camera)
{
    uint32_t now = 0;
    CameraPowerCycle(LockVirtualCamera(camera, &now), now);
    UnlockVirtualCamera(camera);
}

void ArmVirtualCameraFault(VirtualCamera* camera, CameraFault fault, int count)
{
    CameraArmFault(LockVirtualCamera(camera, 0), fault, count);
    UnlockVirtualCamera(camera);
}

void SetVirtualCameraEcho(VirtualCamera* camera, int on)
{
    CameraSetEcho(LockVirtualCamera(camera, 0), on);
    UnlockVirtualCamera(camera);
}

void SetVirtualCameraSilent(VirtualCamera* camera, int on)
{
    CameraSetSilent(LockVirtualCamera(camera, 0), on);
    UnlockVirtualCamera(camera);
}

void SetVirtualCameraReplyDelay(VirtualCamera* camera, uint32_t delayMs)
{
    CameraSetReplyDelay(LockVirtualCamera(camera, 0), delayMs);
    UnlockVirtualCamera(camera);
}

void InjectVirtualCameraGarbage(VirtualCamera* camera, const uint8_t* bytes, int count)
{
    uint32_t now = 0;
    CameraInjectGarbage(LockVirtualCamera(camera, &now), bytes, count, now);
    UnlockVirtualCamera(camera);
}

// --- The /SIM switch ---

static char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

// 1 when text begins with word (ASCII letters in either case); *rest is what follows.
static int StartsWithWord(const char* text, const char* word, const char** rest)
{
    for (; *word; ++word, ++text)
        if (Upper(*text) != *word)
            return 0;
    *rest = text;
    return 1;
}

static int ParsePortList(VirtualCameraOptions* options, const char* digits)
{
    int ports[LINE_PORT_COUNT] = {0, 0, 0, 0};
    int count = 0;
    for (; *digits; ++digits)
    {
        if (*digits < '1' || *digits >= '1' + LINE_PORT_COUNT || ++count > PORT_LIST_LIMIT)
            return SIM_SWITCH_INVALID;
        ports[*digits - '1'] = 1;
    }
    if (count == 0)
        return SIM_SWITCH_INVALID;
    for (int i = 0; i < LINE_PORT_COUNT; ++i)
        options->ports[i] |= ports[i];
    return SIM_SWITCH_TAKEN;
}

// Length of text, but stops counting past limit (the text may be unterminated garbage).
static int BoundedLength(const char* text, int limit)
{
    int length = 0;
    while (length <= limit && text[length])
        ++length;
    return length;
}

static int ParseLogPath(VirtualCameraOptions* options, const char* path)
{
    int length = BoundedLength(path, VIRTUAL_LOG_PATH_SIZE + 1);
    if (length >= 2 && path[0] == '"' && path[length - 1] == '"')
    {
        ++path;
        length -= 2;
    }
    if (length == 0 || length >= VIRTUAL_LOG_PATH_SIZE || path[0] == '"')
        return SIM_SWITCH_INVALID;
    memcpy(options->logPath, path, (size_t)length);
    options->logPath[length] = 0;
    return SIM_SWITCH_TAKEN;
}

void ResetVirtualCameraOptions(VirtualCameraOptions* options)
{
    memset(options, 0, sizeof *options);
}

int ParseVirtualCameraSwitch(VirtualCameraOptions* options, const char* argument)
{
    if (!argument || (argument[0] != '/' && argument[0] != '-'))
        return SIM_SWITCH_NOT_OURS;
    const char* rest = 0;
    if (StartsWithWord(argument + 1, "SIMLOG", &rest))
    {
        if (*rest != ':')
            return *rest ? SIM_SWITCH_NOT_OURS : SIM_SWITCH_INVALID;
        return ParseLogPath(options, rest + 1);
    }
    if (!StartsWithWord(argument + 1, "SIM", &rest))
        return SIM_SWITCH_NOT_OURS;
    if (*rest == ':')
        return ParsePortList(options, rest + 1);
    if (*rest)
        return SIM_SWITCH_NOT_OURS;
    for (size_t i = 0; i < sizeof DEMO_PORTS / sizeof DEMO_PORTS[0]; ++i)
        options->ports[DEMO_PORTS[i]] = 1;
    return SIM_SWITCH_TAKEN;
}

static int AnyPort(const VirtualCameraOptions* options)
{
    for (int i = 0; i < LINE_PORT_COUNT; ++i)
        if (options->ports[i])
            return 1;
    return 0;
}

static int OpenLogFile(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, 0, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    EnterCriticalSection(&logLock);
    if (logFile != INVALID_HANDLE_VALUE)
        CloseHandle(logFile);
    logFile = file;
    LeaveCriticalSection(&logLock);
    return 1;
}

ResultCode AttachVirtualCameras(const VirtualCameraOptions* options)
{
    if (!AnyPort(options))
        return RESULT_OK;
    PrepareLogLock();
    ResultCode result = RESULT_OK;
    if (options->logPath[0] && !OpenLogFile(options->logPath))
        result = RESULT_COMM_INIT_FAILED;
    for (int i = 0; i < LINE_PORT_COUNT; ++i)
        if (options->ports[i] && !AttachVirtualCamera(i))
            result = RESULT_COMM_INIT_FAILED;
    return result;
}

void DetachVirtualCameras()
{
    for (int i = 0; i < LINE_PORT_COUNT; ++i)
        DetachVirtualCamera(VirtualCameraOnPort(i));
    if (!logLockReady)
        return;
    EnterCriticalSection(&logLock);
    if (logFile != INVALID_HANDLE_VALUE)
        CloseHandle(logFile);
    logFile = INVALID_HANDLE_VALUE;
    LeaveCriticalSection(&logLock);
}

int VirtualCameraIsQuiet(VirtualCamera* camera)
{
    SimulatedLine* line = &camera->line;
    EnterCriticalSection(&line->lock);
    int empty = line->toPeer.count == 0 && line->toDriver.count == 0;
    LeaveCriticalSection(&line->lock);
    CameraModel* model = LockVirtualCamera(camera, 0);
    int idle = model->pendingCount == 0 && model->outputCount == 0 && !model->awaitingAck;
    UnlockVirtualCamera(camera);
    return empty && idle;
}
