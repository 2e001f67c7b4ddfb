// The virtual camera through the real link: the driver opens a port with a camera attached
// and runs transactions; the reader thread receives what comes between them. Also the /SIM
// switch and the frame log file.
#include <gtest/gtest.h>

#include "link/camera_driver.h"
#include "sim/virtual_camera.h"
#include "tests/test_window.h"

#include <stdio.h>
#include <string.h>

#include <fstream>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

const int TEST_PORT = 0;            // COM1
const DWORD SHORT_TIMEOUT_MS = 400; // where a test only needs to see that nothing comes

static CameraDriver driver;

static std::string Hex(const uint8_t* bytes, int length)
{
    std::string text;
    char part[4];
    for (int i = 0; i < length; ++i)
    {
        snprintf(part, sizeof part, "%02X ", bytes[i]);
        text += part;
    }
    return text;
}

static Bytes WithChecksum(Bytes bytes)
{
    bytes.push_back(FrameChecksum(bytes.data(), (int)bytes.size()));
    return bytes;
}

struct Exchange
{
    ResultCode result;
    Bytes reply;
};

// Transact with a request built here (bytes 0 .. N-1; sending adds the checksum).
static Exchange Ask(const Bytes& request, DWORD timeoutMs = COMMAND_TIMEOUT_MS)
{
    uint8_t buffer[FRAME_BUFFER_SIZE] = {};
    uint8_t reply[FRAME_BUFFER_SIZE] = {};
    memcpy(buffer, request.data(), request.size());
    int length = 0;
    Exchange exchange;
    exchange.result = Transact(&driver, buffer, reply, &length, timeoutMs);
    exchange.reply.assign(reply, reply + length);
    return exchange;
}

static ResultCode AskAckOnly(const Bytes& request)
{
    uint8_t buffer[FRAME_BUFFER_SIZE] = {};
    memcpy(buffer, request.data(), request.size());
    return TransactAckOnly(&driver, buffer);
}

// A frame that the reader thread posted to the window, from a unit with a command code.
static const RecordedMessage* PostedFrame(uint8_t device, uint8_t command, int skip = 0)
{
    MessageRecorder* recorder = Recorder();
    for (int i = 0; i < recorder->count; ++i)
    {
        const RecordedMessage* entry = &recorder->messages[i];
        if (entry->message == WM_CAMERA_EVENT && entry->wParam == CAMERA_EVENT_FRAME &&
            entry->posted && FrameDevice(entry->frame) == device &&
            FrameCommand(entry->frame) == command && skip-- == 0)
            return entry;
    }
    return 0;
}

struct FrameWanted
{
    uint8_t device;
    uint8_t command;
    int count;
};

static bool FramesPosted(void* context)
{
    const FrameWanted* wanted = (const FrameWanted*)context;
    return PostedFrame(wanted->device, wanted->command, wanted->count - 1) != 0;
}

static bool WaitForPostedFrames(uint8_t device, uint8_t command, int count, DWORD ms)
{
    FrameWanted wanted = {device, command, count};
    return PumpUntil(FramesPosted, &wanted, ms);
}

// Log entries of the camera from a sequence number on, as "PC>CAM 03 88 10 65" lines.
const DWORD IN_FLIGHT_MS = 20; // the program's last ACK is still on the paced line

static std::vector<std::string> LogSince(VirtualCamera* camera, uint32_t start)
{
    Sleep(IN_FLIGHT_MS);
    std::vector<std::string> lines;
    CameraModel* model = LockVirtualCamera(camera, 0);
    for (uint32_t i = start; i < model->logCount; ++i)
    {
        const CameraLogEntry* entry = CameraLogEntryAt(model, i);
        if (entry)
            lines.push_back(
                std::string(entry->direction == CAMERA_LOG_SENT ? "CAM>PC " : "PC>CAM ") +
                Hex(entry->bytes, entry->length));
    }
    UnlockVirtualCamera(camera);
    return lines;
}

static uint32_t LogCount(VirtualCamera* camera)
{
    uint32_t count = LockVirtualCamera(camera, 0)->logCount;
    UnlockVirtualCamera(camera);
    return count;
}

// The camera's last frames, for failure messages.
static std::string RecentLog(VirtualCamera* camera)
{
    uint32_t count = LogCount(camera);
    std::vector<std::string> lines = LogSince(camera, count > 12 ? count - 12 : 0);
    std::string text = "\nlast frames at the camera:\n";
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text;
}

static std::string Line(const char* direction, const Bytes& frame)
{
    return std::string(direction) + " " + Hex(frame.data(), (int)frame.size());
}

class VirtualCameraLink : public ::testing::Test
{
  protected:
    VirtualCamera* camera = 0;

    void SetUp() override
    {
        camera = AttachVirtualCamera(TEST_PORT);
        ASSERT_NE(nullptr, camera);
        ASSERT_EQ(RESULT_OK, OpenPort(&driver, StartRecorder(), TEST_PORT, 9600));
        driver.eventsEnabled = 1;
        ASSERT_EQ(RESULT_OK, WaitForCts(&driver, 0));
    }
    void TearDown() override
    {
        ClosePort(&driver);
        EXPECT_TRUE(DetachVirtualCamera(camera));
        ClearRecorder();
    }
    uint32_t LineNow()
    {
        return SimNowMs(&camera->line);
    }
};

// --- The command catalogue ---

struct CatalogueEntry
{
    const char* name;
    Bytes request;
    int replyLength; // total bytes of the reply the program reads, or of the setting's echo
};

TEST_F(VirtualCameraLink, EveryCatalogueRequestIsAnsweredWithItsReplyLayout)
{
    const CatalogueEntry catalogue[] = {
        {"SelectMode", {0x05, 0x08, 0x17, 0x01, 0x00}, 6},
        {"SetWhiteBalanceMode", {0x05, 0x08, 0x10, 0x01, 0x01}, 6},
        {"SetWhiteBalanceLevel", {0x05, 0x08, 0x10, 0x02, 0xC8}, 6},
        {"SetMute1", {0x05, 0x08, 0x12, 0x01, 0x01}, 6},
        {"SetMute2", {0x05, 0x08, 0x12, 0x02, 0x01}, 6},
        {"WritePresetData",
         {0x0D, 0x08, 0x18, 0x02, 0x02, 0x02, 0x60, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06},
         14},
        {"ReadPresetData", {0x05, 0x08, 0x18, 0x01, 0x02}, 14},
        {"FocusAuto", {0x05, 0x01, 0x10, 0x01, 0x00}, 6},
        {"FocusManual", {0x05, 0x01, 0x10, 0x01, 0x01}, 6},
        {"FocusNearStart", {0x05, 0x01, 0x10, 0x02, 0x01}, 6},
        {"FocusFarStart", {0x05, 0x01, 0x10, 0x02, 0x00}, 6},
        {"FocusStop", {0x04, 0x01, 0x10, 0x04}, 5},
        {"SetZoomSpeed", {0x06, 0x01, 0x12, 0x04, 0x02, 0x00}, 7},
        {"ZoomTeleStart", {0x05, 0x01, 0x12, 0x01, 0x00}, 6},
        {"ZoomWideStart", {0x05, 0x01, 0x12, 0x01, 0x01}, 6},
        {"ZoomStop", {0x05, 0x01, 0x12, 0x03, 0x00}, 6},
        {"SetZoomSpeed", {0x06, 0x01, 0x12, 0x04, 0x02, 0x05}, 7},
        {"QueryZoomPosition", {0x04, 0x01, 0x04, 0x02}, 8},
        {"SetExposureAuto", {0x05, 0x01, 0x14, 0x01, 0x00}, 6},
        {"SetExposureParam2 short", {0x05, 0x01, 0x14, 0x02, 0x00}, 6},
        {"SetExposureParam2 long", {0x06, 0x01, 0x14, 0x02, 0x01, 0x09}, 7},
        {"SetExposureParam3", {0x05, 0x01, 0x14, 0x03, 0x00}, 6},
        {"SetBrightness", {0x05, 0x01, 0x14, 0x04, 0x90}, 6},
        {"SetShutterSpeed", {0x06, 0x01, 0x14, 0x06, 0x00, 0x64}, 7},
        {"SetAgcGain", {0x06, 0x01, 0x14, 0x07, 0x00, 0x32}, 7},
        {"SetIris", {0x06, 0x01, 0x14, 0x08, 0x00, 0x5A}, 7},
        {"QueryExposureState", {0x04, 0x01, 0x04, 0x03}, 10},
        {"SetPanTiltSpeed", {0x07, 0x05, 0x12, 0x03, 0x02, 0x01, 0x01}, 8},
        {"SetupPanTilter", {0x03, 0x05, 0x10}, 4},
        {"HomePanTilter", {0x03, 0x05, 0x11}, 4},
        {"PanLeftStart", {0x06, 0x05, 0x12, 0x01, 0x02, 0x00}, 7},
        {"PanRightStart", {0x06, 0x05, 0x12, 0x01, 0x01, 0x00}, 7},
        {"TiltUpStart", {0x06, 0x05, 0x12, 0x01, 0x00, 0x01}, 7},
        {"TiltDownStart", {0x06, 0x05, 0x12, 0x01, 0x00, 0x02}, 7},
        {"PanTiltUpLeftStart", {0x06, 0x05, 0x12, 0x01, 0x02, 0x01}, 7},
        {"PanTiltUpRightStart", {0x06, 0x05, 0x12, 0x01, 0x01, 0x01}, 7},
        {"PanTiltDownLeftStart", {0x06, 0x05, 0x12, 0x01, 0x02, 0x02}, 7},
        {"PanTiltDownRightStart", {0x06, 0x05, 0x12, 0x01, 0x01, 0x02}, 7},
        {"PanTiltStop", {0x04, 0x05, 0x12, 0x02}, 5},
        {"SetPanTiltSpeed", {0x07, 0x05, 0x12, 0x03, 0x02, 0x46, 0x46}, 8},
        {"QueryPanTiltPosition", {0x04, 0x05, 0x04, 0x02}, 11},
        {"SetLed", {0x06, 0x05, 0x19, 0x03, 0x01, 0x00}, 7},
        {"QueryVersions CCU", {0x04, 0x08, 0x04, 0x00}, 7},
        {"QueryVersions camera head", {0x04, 0x01, 0x04, 0x00}, 7},
        {"QueryVersions pan tilter", {0x04, 0x05, 0x04, 0x00}, 7},
    };
    // The continuous moves run slowly and start away from the ends, so that no end is
    // reached while the test runs: no event frame comes between two transactions.
    ASSERT_EQ(RESULT_OK, AskAckOnly({0x07, 0x01, 0x12, 0x02, 0x02, 0x20, 0x00}));
    ASSERT_TRUE(WaitForPostedFrames(DEVICE_CAMERA_HEAD, ZOOM_REQUEST, 1, 3000));
    std::vector<Bytes> replies;
    for (const CatalogueEntry& entry : catalogue)
    {
        Exchange exchange = Ask(entry.request);
        ASSERT_EQ(RESULT_OK, exchange.result) << entry.name << RecentLog(camera);
        const Bytes& reply = exchange.reply;
        ASSERT_EQ((size_t)entry.replyLength, reply.size()) << entry.name;
        EXPECT_TRUE(FrameSumIsZero(reply.data())) << entry.name;
        EXPECT_TRUE(FrameAnswersRequest(reply.data(), entry.request.data())) << entry.name;
        EXPECT_EQ(READY_FLAG, reply[2] & (READY_FLAG | EVENT_FLAG | ERROR_FLAG)) << entry.name;
        replies.push_back(reply);
    }
    const Bytes& preset = replies[6]; // ReadPresetData
    EXPECT_EQ(0x60, preset[6]);
    EXPECT_EQ(0x0102, ReadBigEndian16(&preset[7]));
    EXPECT_EQ(0x0304, ReadBigEndian16(&preset[9]));
    EXPECT_EQ(0x0506, ReadBigEndian16(&preset[11]));
    const Bytes& exposure = replies[26]; // QueryExposureState
    EXPECT_EQ(0x90, exposure[5]);        // brightness
    EXPECT_EQ(0x5A, exposure[6]);        // iris
    EXPECT_EQ(0x64, exposure[7]);        // shutter
    EXPECT_EQ(0x32, exposure[8]);        // AGC
    const Bytes* versions = &replies[replies.size() - 3];
    EXPECT_NE(versions[0][5], versions[1][5]);
    EXPECT_NE(versions[1][5], versions[2][5]);
    EXPECT_NE(versions[0][5], versions[2][5]);

    // The state the program cannot read back, from the model.
    CameraModel* model = LockVirtualCamera(camera, 0);
    EXPECT_EQ(0, model->settings.ccuMode);
    EXPECT_EQ(1, model->settings.whiteBalanceManual);
    EXPECT_EQ(0xC8, model->settings.whiteBalanceLevel);
    EXPECT_EQ(1, model->settings.mute1);
    EXPECT_EQ(1, model->settings.mute2);
    EXPECT_EQ(3, model->settings.led[0]);
    EXPECT_EQ(5, model->settings.zoomSpeed);
    EXPECT_EQ(0x01, model->settings.exposureParam2[0]);
    EXPECT_EQ(0x09, model->settings.exposureParam2[1]);
    UnlockVirtualCamera(camera);
}

TEST_F(VirtualCameraLink, PresetsAreWrittenAndReadBackAndAnUnknownPresetIsRefused)
{
    for (uint8_t preset = 1; preset <= 6; ++preset)
        ASSERT_EQ(RESULT_OK, Ask({0x0D, 0x08, 0x18, 0x02, preset, preset, (uint8_t)(preset * 10),
                                  0x01, preset, 0x02, preset, 0x03, preset})
                                 .result);
    for (uint8_t preset = 1; preset <= 6; ++preset)
    {
        Exchange read = Ask({0x05, 0x08, 0x18, 0x01, preset});
        ASSERT_EQ(RESULT_OK, read.result);
        EXPECT_EQ(WithChecksum({0x0D, 0x08, 0x98, 0x01, preset, preset, (uint8_t)(preset * 10),
                                0x01, preset, 0x02, preset, 0x03, preset}),
                  read.reply);
    }
    EXPECT_EQ(RESULT_NAK, Ask({0x05, 0x08, 0x18, 0x01, 0x07}).result);
}

// --- Motion in time ---

TEST_F(VirtualCameraLink, AbsoluteMoveCompletionArrivesThroughTheReaderThreadAfterTheMove)
{
    const uint32_t zoomMs = 8192 * 1000 / (CAMERA_ZOOM_UNITS_PER_STEP * 8); // 500 ms at speed 7
    DWORD start = GetTickCount();
    ASSERT_EQ(RESULT_OK, AskAckOnly({0x07, 0x01, 0x12, 0x02, 0x02, 0x20, 0x00}));
    EXPECT_LT(GetTickCount() - start, zoomMs / 2); // acknowledged at once
    ASSERT_TRUE(WaitForPostedFrames(DEVICE_CAMERA_HEAD, ZOOM_REQUEST, 1, 3000));
    EXPECT_GE(GetTickCount() - start + 2, zoomMs);
    EXPECT_EQ(1, driver.zoomArrived);
    const RecordedMessage* completion = PostedFrame(DEVICE_CAMERA_HEAD, ZOOM_REQUEST);
    EXPECT_EQ(Hex(WithChecksum({0x07, 0x01, 0x92, 0x02, 0x02, 0x20, 0x00}).data(), 8),
              Hex(completion->frame, 8));

    // 300 units of pan and 150 of tilt at 1400 units/s: the pan decides, 215 ms.
    const uint32_t panMs = (300 * 1000 + 1399) / 1400;
    start = GetTickCount();
    ASSERT_EQ(RESULT_OK, AskAckOnly({0x09, 0x05, 0x12, 0x05, 0x02, 0x08, 0x34, 0x01, 0xC2}));
    ASSERT_TRUE(WaitForPostedFrames(DEVICE_PAN_TILTER, PANTILT_REQUEST, 1, 3000));
    EXPECT_GE(GetTickCount() - start + 2, panMs);
    EXPECT_EQ(1, driver.panTiltArrived);

    Exchange zoom = Ask({0x04, 0x01, 0x04, 0x02});
    EXPECT_EQ(0x2000, ReadBigEndian16(&zoom.reply[5]));
    Exchange position = Ask({0x04, 0x05, 0x04, 0x02});
    EXPECT_EQ(0x0834, ReadBigEndian16(&position.reply[5]));
    EXPECT_EQ(0x01C2, ReadBigEndian16(&position.reply[8]));
}

TEST_F(VirtualCameraLink, BrightnessChangeCompletesWithinItsOwnTransaction)
{
    driver.exposureArrived = 0;
    ASSERT_EQ(RESULT_OK, Ask({0x05, 0x01, 0x14, 0x04, 0x48}).result);
    EXPECT_EQ(1, driver.exposureArrived);
}

TEST_F(VirtualCameraLink, ContinuousMoveStopsWhereTheStopFoundIt)
{
    const int unitsPerSecond = CAMERA_PAN_TILT_UNITS_PER_STEP * CAMERA_PAN_TILT_SPEED_MAX;
    uint32_t beforeStart = LineNow();
    ASSERT_EQ(RESULT_OK, Ask({0x06, 0x05, 0x12, 0x01, 0x01, 0x00}).result);
    uint32_t afterStart = LineNow();
    Sleep(300);
    uint32_t beforeStop = LineNow();
    ASSERT_EQ(RESULT_OK, Ask({0x04, 0x05, 0x12, 0x02}).result);
    uint32_t afterStop = LineNow();

    Exchange first = Ask({0x04, 0x05, 0x04, 0x02});
    int travelled = ReadBigEndian16(&first.reply[5]) - CAMERA_PAN_HOME;
    EXPECT_GE(travelled, (int)(beforeStop - afterStart) * unitsPerSecond / 1000 - 1);
    EXPECT_LE(travelled, (int)(afterStop - beforeStart) * unitsPerSecond / 1000 + 1);
    EXPECT_EQ(0, first.reply[4]); // no longer moving
    Sleep(200);
    Exchange second = Ask({0x04, 0x05, 0x04, 0x02});
    EXPECT_EQ(first.reply, second.reply);
}

// --- Unsolicited frames and line signals ---

TEST_F(VirtualCameraLink, RemoteKeyPressAndReleaseArriveAsTwoEventFrames)
{
    PressVirtualRemoteKey(camera, 0xE0, 1);
    PressVirtualRemoteKey(camera, 0xE0, 0);
    ASSERT_TRUE(WaitForPostedFrames(DEVICE_PAN_TILTER, REMOTE_NOTIFY, 2, 2000));
    const RecordedMessage* press = PostedFrame(DEVICE_PAN_TILTER, REMOTE_NOTIFY, 0);
    const RecordedMessage* release = PostedFrame(DEVICE_PAN_TILTER, REMOTE_NOTIFY, 1);
    EXPECT_EQ(Hex(WithChecksum({0x05, 0x05, 0xB8, 0x01, 0xE0}).data(), 6), Hex(press->frame, 6));
    EXPECT_EQ(Hex(WithChecksum({0x05, 0x05, 0xB8, 0x00, 0xE0}).data(), 6), Hex(release->frame, 6));
}

static bool CtsEventsSeen(void* context)
{
    const int* wanted = (const int*)context;
    return CountMessages(WM_CAMERA_EVENT, CAMERA_EVENT_CTS_OFF) >= wanted[0] &&
           CountMessages(WM_CAMERA_EVENT, CAMERA_EVENT_CTS_ON) >= wanted[1];
}

// The CTS events are awaited before the next transaction: a transaction's mask change can
// end the reader thread's wait before it has taken a CTS change that is not yet delivered.
TEST_F(VirtualCameraLink, UnpluggedCameraDropsCtsAndAnswersNothingUntilPluggedIn)
{
    UnplugVirtualCamera(camera);
    EXPECT_EQ(RESULT_NOT_CONNECTED, WaitForCts(&driver, 0));
    int offSeen[] = {1, 0};
    EXPECT_TRUE(PumpUntil(CtsEventsSeen, offSeen, 2000));
    EXPECT_EQ(RESULT_TIMEOUT, Ask({0x04, 0x05, 0x12, 0x02}, SHORT_TIMEOUT_MS).result);
    PlugInVirtualCamera(camera);
    EXPECT_EQ(RESULT_OK, WaitForCts(&driver, 0));
    int onSeen[] = {1, 1};
    EXPECT_TRUE(PumpUntil(CtsEventsSeen, onSeen, 2000));
    EXPECT_EQ(RESULT_OK, Ask({0x04, 0x05, 0x12, 0x02}).result);
}

TEST_F(VirtualCameraLink, PowerCycleBringsCtsBackWithPowerOnDefaults)
{
    ASSERT_EQ(RESULT_OK, Ask({0x06, 0x01, 0x12, 0x04, 0x02, 0x01}).result);
    PowerCycleVirtualCamera(camera);
    EXPECT_EQ(RESULT_NOT_CONNECTED, WaitForCts(&driver, 0));
    EXPECT_EQ(RESULT_OK, WaitForCts(&driver, 2000));
    EXPECT_TRUE(WaitForPostedFrames(DEVICE_PAN_TILTER, POWER_NOTIFY, 1, 2000));
    ASSERT_EQ(RESULT_OK, Ask({0x04, 0x01, 0x04, 0x02}).result);
    CameraModel* model = LockVirtualCamera(camera, 0);
    EXPECT_EQ(CAMERA_ZOOM_SPEED_MAX, model->settings.zoomSpeed);
    UnlockVirtualCamera(camera);
}

TEST_F(VirtualCameraLink, IdleCameraIsNotServedAtAll)
{
    ASSERT_EQ(RESULT_OK, Ask({0x04, 0x05, 0x12, 0x02}).result);
    Sleep(CAMERA_ACK_WAIT_MS + 50); // let the last frame's wait for an ACK end, if any
    LONG before = camera->serviceCalls;
    Sleep(500);
    EXPECT_EQ(before, camera->serviceCalls);
}

// --- Fault hooks, as the link sees them ---

TEST_F(VirtualCameraLink, NakedRequestFailsWithNakResult)
{
    ArmVirtualCameraFault(camera, CAMERA_FAULT_NAK, 1);
    EXPECT_EQ(RESULT_NAK, Ask({0x04, 0x05, 0x12, 0x02}).result);
    EXPECT_EQ(RESULT_OK, Ask({0x04, 0x05, 0x12, 0x02}).result);
}

TEST_F(VirtualCameraLink, DroppedReplyTimesOut)
{
    ArmVirtualCameraFault(camera, CAMERA_FAULT_DROP_REPLY, 1);
    EXPECT_EQ(RESULT_TIMEOUT, Ask({0x04, 0x05, 0x12, 0x02}, SHORT_TIMEOUT_MS).result);
    EXPECT_EQ(RESULT_OK, Ask({0x04, 0x05, 0x12, 0x02}).result);
}

// Real time: the fixed 5000 ms of TransactAckOnly.
TEST_F(VirtualCameraLink, DroppedAckOfAnAbsoluteMoveTimesOut)
{
    ArmVirtualCameraFault(camera, CAMERA_FAULT_DROP_ACK, 1);
    DWORD start = GetTickCount();
    EXPECT_EQ(RESULT_TIMEOUT, AskAckOnly({0x07, 0x01, 0x12, 0x02, 0x02, 0x01, 0x00}));
    EXPECT_GE(GetTickCount() - start, COMMAND_TIMEOUT_MS);
    EXPECT_EQ(RESULT_OK, Ask({0x04, 0x01, 0x04, 0x02}).result);
}

// Real time: the full 5000 ms transaction time-out.
TEST_F(VirtualCameraLink, SilentCameraTimesOutWithCtsStillOn)
{
    SetVirtualCameraSilent(camera, 1);
    EXPECT_EQ(RESULT_TIMEOUT, Ask({0x04, 0x05, 0x12, 0x02}).result);
    EXPECT_EQ(RESULT_OK, WaitForCts(&driver, 0));
    SetVirtualCameraSilent(camera, 0);
    EXPECT_EQ(RESULT_OK, Ask({0x04, 0x05, 0x12, 0x02}).result);
}

TEST_F(VirtualCameraLink, CorruptedReplyIsResentAfterTheChecksumNak)
{
    uint32_t start = LogCount(camera);
    ArmVirtualCameraFault(camera, CAMERA_FAULT_CORRUPT_FRAME, 1);
    Exchange exchange = Ask({0x04, 0x05, 0x04, 0x02});
    EXPECT_EQ(RESULT_OK, exchange.result);
    EXPECT_EQ(11u, exchange.reply.size());
    Bytes good = exchange.reply;
    Bytes bad = good;
    ++bad.back();
    std::vector<std::string> log = LogSince(camera, start);
    std::vector<std::string> expected = {
        Line("PC>CAM", WithChecksum({0x04, 0x05, 0x04, 0x02})),
        Line("CAM>PC", WithChecksum({0x03, 0x85, 0x00})),
        Line("CAM>PC", bad),
        Line("PC>CAM", Bytes(CHECKSUM_NAK_FRAME, CHECKSUM_NAK_FRAME + 4)),
        Line("CAM>PC", good),
        Line("PC>CAM", Bytes(ACK_FRAME, ACK_FRAME + 4)),
    };
    EXPECT_EQ(expected, log);
}

// An absolute move: nothing follows the ACK for 500 ms, so the NAK surely finds the ACK the
// last frame sent (with a reply due 30 ms after it, a slow program could NAK too late).
TEST_F(VirtualCameraLink, CorruptedAckIsResentAfterTheChecksumNak)
{
    uint32_t start = LogCount(camera);
    ArmVirtualCameraFault(camera, CAMERA_FAULT_CORRUPT_ACK, 1);
    EXPECT_EQ(RESULT_OK, AskAckOnly({0x07, 0x01, 0x12, 0x02, 0x02, 0x20, 0x00}));
    std::vector<std::string> log = LogSince(camera, start);
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(Line("PC>CAM", Bytes(CHECKSUM_NAK_FRAME, CHECKSUM_NAK_FRAME + 4)), log[2]);
    EXPECT_EQ(Line("CAM>PC", WithChecksum({0x03, 0x81, 0x00})), log[3]);
    EXPECT_TRUE(WaitForPostedFrames(DEVICE_CAMERA_HEAD, ZOOM_REQUEST, 1, 3000));
}

TEST_F(VirtualCameraLink, EchoedRequestIsSkippedAndTheRealReplyKept)
{
    uint32_t start = LogCount(camera);
    SetVirtualCameraEcho(camera, 1);
    Exchange exchange = Ask({0x04, 0x01, 0x04, 0x02});
    EXPECT_EQ(RESULT_OK, exchange.result);
    EXPECT_EQ(8u, exchange.reply.size());
    std::vector<std::string> log = LogSince(camera, start);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(Line("CAM>PC", WithChecksum({0x04, 0x01, 0x04, 0x02})), log[1]);
    EXPECT_EQ(Line("CAM>PC", WithChecksum({0x03, 0x81, 0x00})), log[2]);
}

static DWORD WINAPI InjectNoiseSoon(LPVOID context)
{
    const uint8_t noise[] = {0x00, 0xFF, 0x02, 0x21, 0x80};
    Sleep(100);
    InjectVirtualCameraGarbage((VirtualCamera*)context, noise, sizeof noise);
    return 0;
}

// Noise between transactions would be the reader thread's; this noise comes while the
// transaction waits for its (delayed) answer.
TEST_F(VirtualCameraLink, GarbageBeforeAnAnswerIsSkipped)
{
    uint32_t start = LogCount(camera);
    CameraSetFaultDelay(LockVirtualCamera(camera, 0), 800);
    UnlockVirtualCamera(camera);
    ArmVirtualCameraFault(camera, CAMERA_FAULT_DELAY, 1);
    HANDLE injector = CreateThread(0, 0, InjectNoiseSoon, camera, 0, 0);
    ASSERT_NE(nullptr, injector);
    EXPECT_EQ(RESULT_OK, Ask({0x04, 0x05, 0x12, 0x02}).result);
    WaitForSingleObject(injector, INFINITE);
    CloseHandle(injector);
    std::vector<std::string> log = LogSince(camera, start);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ("CAM>PC 00 FF 02 21 80 ", log[1]);
}

TEST_F(VirtualCameraLink, ErrorReportCountsAsTheReplyButHasTheWrongLength)
{
    ArmVirtualCameraFault(camera, CAMERA_FAULT_ERROR_REPLY, 1);
    Exchange exchange = Ask({0x04, 0x01, 0x04, 0x02});
    EXPECT_EQ(RESULT_OK, exchange.result);
    ASSERT_EQ(6u, exchange.reply.size()); // a zoom query expects 8: the command reports -7
    EXPECT_EQ(ERROR_FLAG, exchange.reply[2] & ERROR_FLAG);
    EXPECT_EQ(CAMERA_DEFAULT_ERROR_CLASS, exchange.reply[3]);
}

TEST_F(VirtualCameraLink, DelayedAnswerStillCompletesTheTransaction)
{
    CameraSetFaultDelay(LockVirtualCamera(camera, 0), 600);
    UnlockVirtualCamera(camera);
    ArmVirtualCameraFault(camera, CAMERA_FAULT_DELAY, 1);
    DWORD start = GetTickCount();
    EXPECT_EQ(RESULT_OK, Ask({0x04, 0x05, 0x12, 0x02}).result);
    EXPECT_GE(GetTickCount() - start, 600u);
}

// --- The /SIM switch and the frame log file ---

struct SwitchCase
{
    const char* argument;
    int result;
    int ports[LINE_PORT_COUNT];
    const char* logPath;
};

TEST(VirtualCameraSwitch, ParsesPortsAndLogPathAndRejectsMalformedSwitches)
{
    const SwitchCase cases[] = {
        {"/SIM", SIM_SWITCH_TAKEN, {1, 1, 0, 0}, ""},
        {"-sim", SIM_SWITCH_TAKEN, {1, 1, 0, 0}, ""},
        {"/SIM:13", SIM_SWITCH_TAKEN, {1, 0, 1, 0}, ""},
        {"-Sim:4", SIM_SWITCH_TAKEN, {0, 0, 0, 1}, ""},
        {"/SIMLOG:C:\\logs\\frames.txt", SIM_SWITCH_TAKEN, {0, 0, 0, 0}, "C:\\logs\\frames.txt"},
        {"/simlog:\"C:\\my logs\\f.txt\"", SIM_SWITCH_TAKEN, {0, 0, 0, 0}, "C:\\my logs\\f.txt"},
        {"/SIM:", SIM_SWITCH_INVALID, {0, 0, 0, 0}, ""},
        {"/SIM:5", SIM_SWITCH_INVALID, {0, 0, 0, 0}, ""},
        {"/SIM:0", SIM_SWITCH_INVALID, {0, 0, 0, 0}, ""},
        {"/SIM:1x", SIM_SWITCH_INVALID, {0, 0, 0, 0}, ""},
        {"/SIMLOG:", SIM_SWITCH_INVALID, {0, 0, 0, 0}, ""},
        {"/SIMLOG:\"\"", SIM_SWITCH_INVALID, {0, 0, 0, 0}, ""},
        {"/SIMLOG", SIM_SWITCH_INVALID, {0, 0, 0, 0}, ""},
        {"/SIMULATE", SIM_SWITCH_NOT_OURS, {0, 0, 0, 0}, ""},
        {"/D", SIM_SWITCH_NOT_OURS, {0, 0, 0, 0}, ""},
        {"SIM", SIM_SWITCH_NOT_OURS, {0, 0, 0, 0}, ""},
    };
    for (const SwitchCase& c : cases)
    {
        VirtualCameraOptions options;
        ResetVirtualCameraOptions(&options);
        EXPECT_EQ(c.result, ParseVirtualCameraSwitch(&options, c.argument)) << c.argument;
        for (int i = 0; i < LINE_PORT_COUNT; ++i)
            EXPECT_EQ(c.ports[i], options.ports[i]) << c.argument << " port " << i;
        EXPECT_STREQ(c.logPath, options.logPath) << c.argument;
    }
}

TEST(VirtualCameraSwitch, SwitchesAddUpAndAnOverlongPathIsRejectedNotCut)
{
    VirtualCameraOptions options;
    ResetVirtualCameraOptions(&options);
    EXPECT_EQ(SIM_SWITCH_TAKEN, ParseVirtualCameraSwitch(&options, "/SIM:3"));
    EXPECT_EQ(SIM_SWITCH_TAKEN, ParseVirtualCameraSwitch(&options, "/SIM"));
    EXPECT_EQ(1, options.ports[0] & options.ports[1] & options.ports[2]);
    EXPECT_EQ(0, options.ports[3]);

    std::string longest(VIRTUAL_LOG_PATH_SIZE - 1, 'a');
    EXPECT_EQ(SIM_SWITCH_TAKEN, ParseVirtualCameraSwitch(&options, ("/SIMLOG:" + longest).c_str()));
    EXPECT_EQ(longest, options.logPath);
    std::string tooLong(VIRTUAL_LOG_PATH_SIZE, 'b');
    EXPECT_EQ(SIM_SWITCH_INVALID,
              ParseVirtualCameraSwitch(&options, ("/SIMLOG:" + tooLong).c_str()));
    EXPECT_EQ(longest, options.logPath); // unchanged
    EXPECT_EQ(SIM_SWITCH_INVALID, ParseVirtualCameraSwitch(&options, "/SIM:9"));
    EXPECT_EQ(0, options.ports[3]);
}

TEST(VirtualCameraSwitch, AttachedCamerasWriteTheFrameLogFile)
{
    char directory[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof directory, directory), 0u);
    std::string path = std::string(directory) + "hlr8_sim_tests_log.txt";
    VirtualCameraOptions options;
    ResetVirtualCameraOptions(&options);
    ASSERT_EQ(SIM_SWITCH_TAKEN, ParseVirtualCameraSwitch(&options, "/SIM:2"));
    ASSERT_EQ(SIM_SWITCH_TAKEN, ParseVirtualCameraSwitch(&options, ("/SIMLOG:" + path).c_str()));
    ASSERT_EQ(RESULT_OK, AttachVirtualCameras(&options));
    EXPECT_EQ(nullptr, VirtualCameraOnPort(0));
    ASSERT_NE(nullptr, VirtualCameraOnPort(1));

    ASSERT_EQ(RESULT_OK, OpenPort(&driver, StartRecorder(), 1, 9600));
    EXPECT_EQ(RESULT_OK, Ask({0x04, 0x05, 0x12, 0x02}).result);
    // Closing purges what the line has not yet carried: wait until the last ACK is through
    // (on a loaded machine the line's thread may come late).
    for (DWORD began = GetTickCount();
         !VirtualCameraIsQuiet(VirtualCameraOnPort(1)) && GetTickCount() - began < 2000;)
        Sleep(IN_FLIGHT_MS);
    ClosePort(&driver);
    DetachVirtualCameras();
    EXPECT_EQ(nullptr, VirtualCameraOnPort(1));

    std::ifstream file(path.c_str(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    for (size_t begin = 0, end; (end = text.find("\r\n", begin)) != std::string::npos;
         begin = end + 2)
        lines.push_back(text.substr(begin, end - begin));
    ASSERT_EQ(4u, lines.size()) << text;
    const char* expected[] = {" COM2 PC>CAM 04 05 12 02 E3", " COM2 CAM>PC 03 85 00 78",
                              " COM2 CAM>PC 04 05 92 02 63", " COM2 PC>CAM 03 88 00 75"};
    unsigned previous = 0;
    for (int i = 0; i < 4; ++i)
    {
        size_t space = lines[i].find(' ');
        ASSERT_NE(std::string::npos, space);
        unsigned ms = (unsigned)strtoul(lines[i].substr(0, space).c_str(), 0, 10);
        EXPECT_GE(ms, previous);
        previous = ms;
        EXPECT_EQ(expected[i], lines[i].substr(space)) << lines[i];
    }
    DeleteFileA(path.c_str());
}
