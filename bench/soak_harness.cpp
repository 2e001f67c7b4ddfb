// Soak harness: the plan of transactions and faults, the tap that records who read which
// byte, and the checks made on both. See soak_harness.h.
#include "bench/soak_harness.h"

#include "link/camera_driver.h"
#include "link/simulated_line.h"
#include "sim/virtual_camera.h"

#include <string.h>

const int SOAK_PORT = 0;            // COM1
const uint32_t SOAK_LATE_MS = 300;  // SOAK_LATE: answers this long after the time-out
const DWORD FINAL_SETTLE_MS = 4000; // a reader reception started on noise lasts 3 s
const int STREAM_LIMIT = 1 << 20;   // bytes of each direction the harness keeps
const int GARBAGE_NOISE_MAX = 8;
const int GARBAGE_FRAME_MAX_LENGTH = 10; // length byte of a garbage frame
const int ZOOM_MOVE_MAX = 2048;          // at most 125 ms of zoom travel at speed 7
const int OUTAGE_KINDS = 3;

static const char* const DISTURBANCE_NAMES[SOAK_DISTURBANCES] = {
    "none",           "garbage",  "remote key",  "corrupt ACK", "corrupt reply", "drop ACK",
    "drop reply",     "NAK",      "error reply", "late answer", "silent",        "unplugged",
    "adapter pulled", "zoom move"};

static const char* const OUTCOME_NAMES[SOAK_OUTCOMES] = {"0", "-6", "-9", "-10", "-11", "other"};

// Requests answered by ACK and reply (bytes 0 .. N-1). None is a zoom request of the camera
// head, so the completion of a zoom move never passes for the reply of one of them.
struct SoakRequest
{
    uint8_t bytes[8];
};

static const SoakRequest REQUESTS[] = {
    {{0x04, 0x05, 0x12, 0x02}},                   // PanTiltStop
    {{0x07, 0x05, 0x12, 0x03, 0x02, 0x46, 0x46}}, // SetPanTiltSpeed
    {{0x04, 0x05, 0x04, 0x02}},                   // QueryPanTiltPosition
    {{0x04, 0x01, 0x04, 0x02}},                   // QueryZoomPosition
    {{0x04, 0x01, 0x04, 0x03}},                   // QueryExposureState
    {{0x05, 0x08, 0x18, 0x01, 0x02}},             // ReadPresetData 2
    {{0x04, 0x08, 0x04, 0x00}},                   // version of the CCU
    {{0x04, 0x01, 0x04, 0x00}},                   // ... of the camera head
    {{0x04, 0x05, 0x04, 0x00}},                   // ... of the pan tilter
    {{0x06, 0x05, 0x19, 0x00, 0x01, 0x00}},       // SetLed
    {{0x05, 0x08, 0x10, 0x02, 0x80}},             // SetWhiteBalanceLevel
    {{0x04, 0x01, 0x10, 0x04}},                   // FocusStop
};
const int REQUEST_COUNT = sizeof REQUESTS / sizeof REQUESTS[0];

// The camera fault behind each fault disturbance.
struct FaultFor
{
    SoakDisturbance disturbance;
    CameraFault fault;
};

static const FaultFor FAULTS[] = {
    {SOAK_CORRUPT_ACK, CAMERA_FAULT_CORRUPT_ACK},
    {SOAK_CORRUPT_REPLY, CAMERA_FAULT_CORRUPT_FRAME},
    {SOAK_DROP_ACK, CAMERA_FAULT_DROP_ACK},
    {SOAK_DROP_REPLY, CAMERA_FAULT_DROP_REPLY},
    {SOAK_NAK, CAMERA_FAULT_NAK},
    {SOAK_ERROR_REPLY, CAMERA_FAULT_ERROR_REPLY},
    {SOAK_LATE, CAMERA_FAULT_DELAY},
};
const int FAULT_COUNT = sizeof FAULTS / sizeof FAULTS[0];

// --- State of one run ---

static CameraDriver driver;
static VirtualCamera* camera;
static SoakResult* counts;
static DWORD guiThread;
static uint32_t randomState;

// What the driver read (tap) and what the camera sent (its log), byte by byte.
static uint8_t readBytes[STREAM_LIMIT];
static uint8_t readByReader[STREAM_LIMIT];
static volatile LONG readCount;
static uint8_t sentBytes[STREAM_LIMIT];
static int sentCount;
static uint32_t logRead; // next camera log entry to look at

static uint32_t NextRandom()
{
    // xorshift32: the same plan for the same seed, on every machine.
    randomState ^= randomState << 13;
    randomState ^= randomState >> 17;
    randomState ^= randomState << 5;
    return randomState;
}

static int RandomBelow(int limit)
{
    return (int)(NextRandom() % (uint32_t)limit);
}

static double NowMs()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return (double)counter.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

// --- The window and its messages ---

static LRESULT CALLBACK SoakWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CAMERA_EVENT && counts)
    {
        if (wParam == CAMERA_EVENT_CTS_OFF)
            ++counts->ctsOff;
        else if (wParam == CAMERA_EVENT_CTS_ON)
            ++counts->ctsOn;
        else if (wParam == CAMERA_EVENT_FRAME && (const uint8_t*)lParam == driver.replyBuffer)
            ++counts->sentEvents;
        return 0;
    }
    if (message == WM_LINK_STATUS && counts)
        ++counts->linkStatusMessages;
    if (message == WM_CAMERA_POWER && counts)
        ++counts->powerMessages;
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND CreateSoakWindow()
{
    static HWND window;
    if (window)
        return window;
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = SoakWindowProc;
    windowClass.hInstance = GetModuleHandleA(0);
    windowClass.lpszClassName = "HLR8Soak";
    RegisterClassA(&windowClass);
    window = CreateWindowExA(0, "HLR8Soak", "", 0, 0, 0, 0, 0, HWND_MESSAGE, 0,
                             windowClass.hInstance, 0);
    return window;
}

// The frames the reader thread posts point into the event ring: each is checked here, where
// the message loop would hand it to the dispatcher.
static void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE))
    {
        if (message.message == WM_CAMERA_EVENT && message.wParam == CAMERA_EVENT_FRAME)
        {
            const uint8_t* frame = (const uint8_t*)message.lParam;
            ++counts->postedFrames;
            if (!IsLengthByte(frame[0]) || !FrameSumIsZero(frame))
                ++counts->badPostedFrames;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// --- The tap and the camera's log ---

// Runs on the reading thread with the line's lock held, so the bytes stay in order.
static void TapByte(void*, uint8_t value, int64_t)
{
    LONG index = readCount;
    if (index < STREAM_LIMIT)
    {
        readBytes[index] = value;
        readByReader[index] = GetCurrentThreadId() != guiThread;
    }
    readCount = index + 1;
    if (!driver.receiveBusy)
        ++counts->bytesReadWithoutInterlock;
}

static int IsWholeFrame(const uint8_t* bytes, int length)
{
    return length >= FRAME_MIN_LENGTH + 1 && IsLengthByte(bytes[0]) && bytes[0] == length - 1;
}

static int IsFrame(const uint8_t* bytes, int length, const uint8_t* frame)
{
    return length == ACK_FRAME_SIZE && memcmp(bytes, frame, ACK_FRAME_SIZE) == 0;
}

static void TakeLogEntry(const CameraLogEntry* entry)
{
    if (entry->direction == CAMERA_LOG_RECEIVED)
    {
        counts->cameraHeardAcks += IsFrame(entry->bytes, entry->length, ACK_FRAME);
        counts->cameraHeardNaks += IsFrame(entry->bytes, entry->length, CHECKSUM_NAK_FRAME);
        return;
    }
    if (!IsWholeFrame(entry->bytes, entry->length))
        ++counts->cameraGarbage;
    else if (FrameSumIsZero(entry->bytes))
        ++counts->cameraGoodFrames;
    else
        ++counts->cameraCorruptFrames;
    for (int i = 0; i < entry->length && sentCount < STREAM_LIMIT; ++i)
        sentBytes[sentCount++] = entry->bytes[i];
}

// The log is a ring of CAMERA_LOG_ENTRIES: it is read after every transaction.
static void DrainCameraLog()
{
    CameraModel* model = LockVirtualCamera(camera, 0);
    uint32_t total = model->logCount;
    if (total - logRead > (uint32_t)CAMERA_LOG_ENTRIES)
    {
        counts->logEntriesLost += (int)(total - logRead - CAMERA_LOG_ENTRIES);
        logRead = total - CAMERA_LOG_ENTRIES;
    }
    for (; logRead != total; ++logRead)
        TakeLogEntry(CameraLogEntryAt(model, logRead));
    UnlockVirtualCamera(camera);
}

// Splits what the driver read into frames by the receiver's own rules and checks that each
// came from one thread. Garbage never carries a length byte without the frame it announces,
// so these are exactly the frames the driver received.
static void CheckFramesRead()
{
    int total = readCount < STREAM_LIMIT ? (int)readCount : STREAM_LIMIT;
    counts->bytesRead = (uint32_t)readCount;
    int i = 0;
    while (i < total)
    {
        if (!IsLengthByte(readBytes[i]))
        {
            ++i;
            continue;
        }
        int length = readBytes[i] + 1;
        if (i + length > total)
            break; // a frame still arriving at the end
        int byReader = 0;
        for (int k = i; k < i + length; ++k)
            byReader += readByReader[k];
        if (byReader != 0 && byReader != length)
            ++counts->framesReadByTwoThreads;
        if (FrameSumIsZero(&readBytes[i]))
        {
            ++counts->driverGoodFrames;
            counts->driverGoodByReader += byReader == length;
        }
        else
            ++counts->driverBadFrames;
        i += length;
    }
    int compared = total < sentCount ? total : sentCount;
    for (int k = 0; k < compared; ++k)
        counts->streamMismatches += readBytes[k] != sentBytes[k];
    if (total > sentCount)
        counts->streamMismatches += total - sentCount; // read bytes nobody sent
    counts->unreadAtEnd = sentCount - compared;
}

// --- A quiet line ---

static int LineIsQuiet()
{
    return VirtualCameraIsQuiet(camera) && !driver.receiveBusy;
}

static void WaitForQuietLine(DWORD limitMs)
{
    DWORD start = GetTickCount();
    while (!LineIsQuiet() && GetTickCount() - start < limitMs)
    {
        PumpMessages();
        Sleep(1);
    }
    PumpMessages();
}

// --- The plan ---

static void InjectGarbage()
{
    uint8_t bytes[GARBAGE_NOISE_MAX + GARBAGE_FRAME_MAX_LENGTH + 1];
    int count = 1 + RandomBelow(GARBAGE_NOISE_MAX);
    for (int i = 0; i < count; ++i)
    {
        // Noise never holds a length byte: 0..2 and 33..255.
        int value = RandomBelow(256 - (FRAME_MAX_LENGTH - FRAME_MIN_LENGTH + 1));
        bytes[i] =
            (uint8_t)(value < FRAME_MIN_LENGTH ? value
                                               : value + FRAME_MAX_LENGTH - FRAME_MIN_LENGTH + 1);
    }
    if (RandomBelow(2))
    {
        // A whole frame whose checksum does not add up: the driver answers it with a NAK.
        int length =
            FRAME_MIN_LENGTH + RandomBelow(GARBAGE_FRAME_MAX_LENGTH - FRAME_MIN_LENGTH + 1);
        uint8_t* frame = &bytes[count];
        frame[0] = (uint8_t)length;
        for (int i = 1; i < length; ++i)
            frame[i] = (uint8_t)NextRandom();
        frame[length] = (uint8_t)(FrameChecksum(frame, length) + 1);
        count += length + 1;
    }
    InjectVirtualCameraGarbage(camera, bytes, count);
}

static CameraFault FaultOf(int disturbance)
{
    for (int i = 0; i < FAULT_COUNT; ++i)
        if (FAULTS[i].disturbance == disturbance)
            return FAULTS[i].fault;
    return CAMERA_FAULT_KINDS;
}

static void DisarmFaults()
{
    CameraModel* model = LockVirtualCamera(camera, 0);
    for (int fault = 0; fault < CAMERA_FAULT_KINDS; ++fault)
        CameraArmFault(model, (CameraFault)fault, 0);
    UnlockVirtualCamera(camera);
}

static int PickDisturbance(const SoakOptions* options)
{
    int roll = RandomBelow(1000);
    for (int d = SOAK_GARBAGE; d <= SOAK_LATE; ++d)
    {
        if (roll < options->perMille[d])
            return d;
        roll -= options->perMille[d];
    }
    return SOAK_NONE;
}

static void Disturb(int disturbance)
{
    if (disturbance == SOAK_GARBAGE)
        InjectGarbage();
    else if (disturbance == SOAK_REMOTE_KEY)
        PressVirtualRemoteKey(camera, (uint8_t)(1 + RandomBelow(8)), RandomBelow(2));
    else if (FaultOf(disturbance) != CAMERA_FAULT_KINDS)
        ArmVirtualCameraFault(camera, FaultOf(disturbance), 1);
}

static void StartOutage(int kind)
{
    if (kind == SOAK_SILENT)
        SetVirtualCameraSilent(camera, 1);
    else if (kind == SOAK_UNPLUGGED)
        UnplugVirtualCamera(camera);
    else
        SimSetVanished(&camera->line, 1);
}

static void EndOutage(int kind)
{
    if (kind == SOAK_SILENT)
        SetVirtualCameraSilent(camera, 0);
    else if (kind == SOAK_UNPLUGGED)
        PlugInVirtualCamera(camera);
    else
        SimSetVanished(&camera->line, 0);
}

static int OutcomeIndex(ResultCode result)
{
    switch (result)
    {
    case RESULT_OK:
        return 0;
    case RESULT_NAK:
        return 1;
    case RESULT_TIMEOUT:
        return 2;
    case RESULT_READ_ERROR:
        return 3;
    case RESULT_WRITE_ERROR:
        return 4;
    }
    return 5;
}

static ResultCode RunAckOnly()
{
    uint16_t position = (uint16_t)RandomBelow(ZOOM_MOVE_MAX);
    uint8_t request[FRAME_BUFFER_SIZE] = {0x07, DEVICE_CAMERA_HEAD,       ZOOM_REQUEST,     0x02,
                                          0x02, (uint8_t)(position >> 8), (uint8_t)position};
    return TransactAckOnly(&driver, request);
}

static ResultCode RunTransact(const SoakOptions* options)
{
    uint8_t request[FRAME_BUFFER_SIZE];
    uint8_t reply[FRAME_BUFFER_SIZE];
    const SoakRequest* chosen = &REQUESTS[RandomBelow(REQUEST_COUNT)];
    memset(request, 0, sizeof request);
    memcpy(request, chosen->bytes, chosen->bytes[0]);
    int length = 0;
    return Transact(&driver, request, reply, &length, options->timeoutMs);
}

static void Record(int disturbance, ResultCode result, double ms, double limitMs)
{
    int outcome = OutcomeIndex(result);
    ++counts->outcomes[disturbance][outcome];
    if (outcome == SOAK_OUTCOMES - 1)
        ++counts->unexpectedCodes;
    if (ms > counts->maxMs[disturbance])
        counts->maxMs[disturbance] = ms;
    if (ms > limitMs)
        ++counts->overLimit;
}

// --- Set-up ---

static int OpenOnCamera(const SoakOptions* options)
{
    camera = AttachVirtualCamera(SOAK_PORT);
    if (!camera)
        return 0;
    SimSetLineSpeed(&camera->line, options->lineSpeed);
    CameraModel* model = LockVirtualCamera(camera, 0);
    CameraSetReplyDelay(model, options->replyDelayMs);
    CameraSetFaultDelay(model, options->timeoutMs + SOAK_LATE_MS);
    UnlockVirtualCamera(camera);
    if (OpenPort(&driver, CreateSoakWindow(), SOAK_PORT, options->lineSpeed) != RESULT_OK)
        return 0;
    driver.eventsEnabled = 1;
    WaitForQuietLine(SOAK_SETTLE_MS);
    logRead = LockVirtualCamera(camera, 0)->logCount;
    UnlockVirtualCamera(camera);
    readCount = 0;
    sentCount = 0;
    SimSetReadTap(&camera->line, TapByte, 0);
    return 1;
}

static void Close()
{
    if (camera)
        SimSetReadTap(&camera->line, 0, 0);
    ClosePort(&driver);
    DetachVirtualCamera(camera);
    camera = 0;
}

static void Finish(const SoakOptions* options)
{
    WaitForQuietLine(FINAL_SETTLE_MS);
    counts->readerThreadEnded = driver.readerThreadId == 0;
    uint8_t request[FRAME_BUFFER_SIZE] = {0x04, DEVICE_PAN_TILTER, PANTILT_REQUEST, 0x02};
    counts->finalTransaction = Transact(&driver, request, 0, 0, options->timeoutMs);
    WaitForQuietLine(SOAK_SETTLE_MS);
    DrainCameraLog();
    CheckFramesRead();
    counts->readerFramesNotPosted = (int)counts->driverGoodByReader - (int)counts->postedFrames;
    if (counts->readerFramesNotPosted < 0)
        counts->readerFramesNotPosted = -counts->readerFramesNotPosted;
    counts->violations = counts->unexpectedCodes + counts->overLimit +
                         counts->bytesReadWithoutInterlock + counts->framesReadByTwoThreads +
                         counts->streamMismatches + counts->logEntriesLost + counts->unreadAtEnd +
                         counts->readerFramesNotPosted + counts->badPostedFrames +
                         counts->readerThreadEnded + (counts->finalTransaction != RESULT_OK) +
                         (counts->driverGoodFrames != counts->cameraGoodFrames);
}

// --- Interface ---

void DefaultSoakOptions(SoakOptions* options)
{
    memset(options, 0, sizeof *options);
    options->transactions = 10000;
    options->seed = 20261209;
    options->lineSpeed = 9600;
    // Long enough for the program's NAK of a corrupted ACK to reach the camera before the
    // reply goes out (8 bytes there and back, 8.3 ms at 9600 baud), so the ACK is resent.
    options->replyDelayMs = 15;
    options->timeoutMs = 200;
    options->perMille[SOAK_GARBAGE] = 20;
    options->perMille[SOAK_REMOTE_KEY] = 20;
    options->perMille[SOAK_CORRUPT_ACK] = 10;
    options->perMille[SOAK_CORRUPT_REPLY] = 10;
    options->perMille[SOAK_DROP_ACK] = 8;
    options->perMille[SOAK_DROP_REPLY] = 8;
    options->perMille[SOAK_NAK] = 10;
    options->perMille[SOAK_ERROR_REPLY] = 5;
    options->perMille[SOAK_LATE] = 5;
    options->outageEvery = 1000;
    options->outageLength = 3;
    options->ackOnlyPerMille = 40;
    options->progressEvery = 0;
}

double SoakTransactionLimitMs(const SoakOptions* options, int ackOnly)
{
    // A reception of the reader thread may hold the port first; then the first frame and,
    // for Transact, one more may each take a whole time-out.
    double timeout = ackOnly ? (double)COMMAND_TIMEOUT_MS : (double)options->timeoutMs;
    return READER_FRAME_TIMEOUT_MS + 2.0 * timeout + 1000.0;
}

int RunSoak(const SoakOptions* options, SoakResult* result)
{
    memset(result, 0, sizeof *result);
    counts = result;
    guiThread = GetCurrentThreadId();
    randomState = options->seed ? options->seed : 1;
    if (!OpenOnCamera(options))
    {
        Close();
        counts = 0;
        return 0;
    }
    double start = NowMs();
    int outageKind = SOAK_NONE;
    int outageLeft = 0;
    for (int i = 0; i < options->transactions; ++i)
    {
        if (options->outageEvery && i % options->outageEvery == options->outageEvery / 2)
        {
            outageKind = SOAK_SILENT + (i / options->outageEvery) % OUTAGE_KINDS;
            outageLeft = options->outageLength;
            StartOutage(outageKind);
        }
        int ackOnly = 0;
        int disturbance = SOAK_NONE;
        if (outageLeft > 0)
            disturbance = outageKind;
        else if (RandomBelow(1000) < options->ackOnlyPerMille)
        {
            ackOnly = 1;
            disturbance = SOAK_ZOOM_MOVE;
        }
        else
            disturbance = PickDisturbance(options);
        Disturb(disturbance);

        double t0 = NowMs();
        ResultCode code = ackOnly ? RunAckOnly() : RunTransact(options);
        Record(disturbance, code, NowMs() - t0, SoakTransactionLimitMs(options, ackOnly));
        ++result->transactions;

        if (outageLeft > 0 && --outageLeft == 0)
            EndOutage(outageKind);
        if (disturbance != SOAK_NONE && disturbance != SOAK_REMOTE_KEY &&
            disturbance != SOAK_ZOOM_MOVE)
        {
            DisarmFaults();
            WaitForQuietLine(SOAK_SETTLE_MS);
        }
        PumpMessages();
        DrainCameraLog();
        if (options->progressEvery && (i + 1) % options->progressEvery == 0)
        {
            printf("  %6d transactions, %4.0f s\n", i + 1, (NowMs() - start) / 1000.0);
            fflush(stdout);
        }
    }
    Finish(options);
    result->totalSeconds = (NowMs() - start) / 1000.0;
    Close();
    counts = 0;
    return 1;
}

const char* SoakDisturbanceName(int disturbance)
{
    return disturbance >= 0 && disturbance < SOAK_DISTURBANCES ? DISTURBANCE_NAMES[disturbance]
                                                               : "?";
}

void PrintSoakOptions(FILE* out, const SoakOptions* options)
{
    fprintf(out,
            "%d transactions, seed %u, %d baud (line paced at it), camera reply delay %u ms,\n"
            "Transact time-out %lu ms (TransactAckOnly keeps its fixed %lu ms and is never "
            "disturbed),\n"
            "late answers come after %lu ms; per 1000 transactions:",
            options->transactions, (unsigned)options->seed, options->lineSpeed,
            (unsigned)options->replyDelayMs, (unsigned long)options->timeoutMs,
            (unsigned long)COMMAND_TIMEOUT_MS, (unsigned long)(options->timeoutMs + SOAK_LATE_MS));
    for (int d = SOAK_GARBAGE; d <= SOAK_LATE; ++d)
        fprintf(out, "%s %s %d", d == SOAK_GARBAGE ? "" : ",", DISTURBANCE_NAMES[d],
                options->perMille[d]);
    fprintf(out, ", zoom moves (TransactAckOnly) %d;\n", options->ackOnlyPerMille);
    if (options->outageEvery)
        fprintf(out,
                "every %d transactions an outage of %d transactions, in turn: camera silent, "
                "camera unplugged, adapter pulled.\n",
                options->outageEvery, options->outageLength);
}

void PrintSoakResult(FILE* out, const SoakResult* r)
{
    fprintf(out, "\n%-15s %6s %6s %6s %6s %6s %6s  %9s\n", "before it", OUTCOME_NAMES[0],
            OUTCOME_NAMES[1], OUTCOME_NAMES[2], OUTCOME_NAMES[3], OUTCOME_NAMES[4],
            OUTCOME_NAMES[5], "longest");
    int totals[SOAK_OUTCOMES] = {0};
    for (int d = 0; d < SOAK_DISTURBANCES; ++d)
    {
        int any = 0;
        for (int o = 0; o < SOAK_OUTCOMES; ++o)
        {
            any += r->outcomes[d][o];
            totals[o] += r->outcomes[d][o];
        }
        if (!any)
            continue;
        fprintf(out, "%-15s", DISTURBANCE_NAMES[d]);
        for (int o = 0; o < SOAK_OUTCOMES; ++o)
            fprintf(out, " %6d", r->outcomes[d][o]);
        fprintf(out, "  %6.0f ms\n", r->maxMs[d]);
    }
    fprintf(out, "%-15s", "all");
    for (int o = 0; o < SOAK_OUTCOMES; ++o)
        fprintf(out, " %6d", totals[o]);
    fprintf(out, "\n\n");
    fprintf(out,
            "frames: the camera sent %u good ones (plus %u with a corrupted checksum and %u "
            "garbage bursts);\n"
            "        the driver read %u good ones (%u by transactions, %u by the reader "
            "thread) and %u bad ones;\n"
            "        the reader thread posted %u to the window, transactions sent it %u event "
            "frames;\n"
            "        the camera heard %u ACKs and %u checksum NAKs from the program.\n",
            r->cameraGoodFrames, r->cameraCorruptFrames, r->cameraGarbage, r->driverGoodFrames,
            r->driverGoodFrames - r->driverGoodByReader, r->driverGoodByReader, r->driverBadFrames,
            r->postedFrames, r->sentEvents, r->cameraHeardAcks, r->cameraHeardNaks);
    fprintf(out,
            "messages: WM_LINK_STATUS %u, WM_CAMERA_POWER %u, CTS off %u, CTS on %u; bytes "
            "read %u\n",
            r->linkStatusMessages, r->powerMessages, r->ctsOff, r->ctsOn, r->bytesRead);
    fprintf(out,
            "invariants: unexpected codes %d, over the time limit %d, bytes read without the "
            "interlock %d,\n"
            "            frames read by two threads %d, bytes read unlike those sent %d, log "
            "entries lost %d,\n"
            "            unread at the end %d, reader frames not posted %d, bad posted frames "
            "%d,\n"
            "            reader thread ended %d, final transaction %d -> %d violations\n",
            r->unexpectedCodes, r->overLimit, r->bytesReadWithoutInterlock,
            r->framesReadByTwoThreads, r->streamMismatches, r->logEntriesLost, r->unreadAtEnd,
            r->readerFramesNotPosted, r->badPostedFrames, r->readerThreadEnded, r->finalTransaction,
            r->violations);
    fprintf(out, "run took %.0f s\n", r->totalSeconds);
}
