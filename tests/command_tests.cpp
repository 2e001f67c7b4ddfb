// The command set against a scripted camera on the simulated line: the bytes of every
// request, how each transaction ends, the values read from replies, and the preset
// operations with completion frames arriving after the moves' acknowledgements.
#include <gtest/gtest.h>

#include "commands/camera_commands.h"
#include "tests/scripted_peer.h"
#include "tests/test_window.h"

#include <functional>

static CameraDriver driver;
static CameraSettingsRecord settings; // what the camera control resets with each opening

const int LINE_SPEED = 9600;
const uint16_t UNWRITTEN = 0xBEEF; // what outputs hold before an operation
const Bytes CAMERA_NAK = Frame({0x03, 0x88, 0x01});

// Bytes that cannot start a frame, so the driver skips them. With the line paced at 9600
// baud each keeps the line busy for about 1 ms: a gap of about ms between two frames.
static Bytes Gap(int ms)
{
    return Bytes((size_t)ms, 0x00);
}

// A reply of the given total length from the unit and command of a request; bytes 3 on
// hold 0xA0 + their offset, so each offset reads as a value of its own.
static Bytes PatternedReply(const Bytes& request, int totalLength)
{
    Bytes reply = {(uint8_t)(totalLength - 1), request[1], request[2]};
    for (int offset = 3; offset < totalLength - 1; ++offset)
        reply.push_back((uint8_t)(0xA0 + offset));
    reply.push_back(FrameChecksum(reply.data(), (int)reply.size()));
    return reply;
}

class CommandTest : public ::testing::Test
{
  protected:
    ScriptedPeer* peer = 0;

    void SetUp() override
    {
        HWND window = StartRecorder();
        peer = CreateScriptedPeer(0);
        SimSetLineSpeed(PeerLine(peer), LINE_SPEED);
        ResetCameraSettings(&settings);
        ASSERT_EQ(0, OpenPort(&driver, window, 0, LINE_SPEED));
    }

    void TearDown() override
    {
        ClosePort(&driver);
        DestroyScriptedPeer(peer);
    }

    // The camera acknowledges at once and replies (or completes) after a gap.
    void AnswerLater(const Bytes& requestPrefix, const Bytes& reply, int gapMs)
    {
        OnRequest(peer, requestPrefix, Concat({ACK, Gap(gapMs), reply}));
    }
};

// --- Request bytes and how each transaction ends ---

enum WaitKind
{
    WAIT_REPLY,
    WAIT_ACK
};

struct CatalogueEntry
{
    const char* name;
    std::function<ResultCode(CameraDriver*)> run;
    Bytes request; // as it goes on the line, checksum included
    WaitKind wait;
    int replyLength; // total length of the reply the camera sends
};

static std::vector<CatalogueEntry> Catalogue()
{
    using D = CameraDriver*;
    // One entry per operation, kept as a table.
    // clang-format off
    return {
        {"SelectMode(0)", [](D d) { return SelectMode(d, 0); },
         {0x05, 0x08, 0x17, 0x01, 0x00, 0xDB}, WAIT_REPLY, 5},
        {"SelectMode(0x101) sends the low byte", [](D d) { return SelectMode(d, 0x101); },
         {0x05, 0x08, 0x17, 0x01, 0x01, 0xDA}, WAIT_REPLY, 5},
        {"SetWhiteBalanceMode(1)", [](D d) { return SetWhiteBalanceMode(d, 1); },
         {0x05, 0x08, 0x10, 0x01, 0x01, 0xE1}, WAIT_REPLY, 5},
        {"SetWhiteBalanceLevel(200)", [](D d) { return SetWhiteBalanceLevel(d, 200); },
         {0x05, 0x08, 0x10, 0x02, 0xC8, 0x19}, WAIT_REPLY, 5},
        {"SetMute1(5) sends 1", [](D d) { return SetMute1(d, 5); },
         {0x05, 0x08, 0x12, 0x01, 0x01, 0xDF}, WAIT_REPLY, 5},
        {"SetMute2(0)", [](D d) { return SetMute2(d, 0); },
         {0x05, 0x08, 0x12, 0x02, 0x00, 0xDF}, WAIT_REPLY, 5},
        {"WritePresetData(3, 96, 0x0102, 0x0304, 0x0506)",
         [](D d) { return WritePresetData(d, 3, 96, 0x0102, 0x0304, 0x0506); },
         {0x0D, 0x08, 0x18, 0x02, 0x03, 0x03, 0x60, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x56},
         WAIT_REPLY, 5},
        {"ReadPresetData(4)",
         [](D d) {
             uint16_t b, p, t, z;
             return ReadPresetData(d, 4, &b, &p, &t, &z);
         },
         {0x05, 0x08, 0x18, 0x01, 0x04, 0xD6}, WAIT_REPLY, 14},
        {"FocusAuto", FocusAuto, {0x05, 0x01, 0x10, 0x01, 0x00, 0xE9}, WAIT_REPLY, 5},
        {"FocusManual", FocusManual, {0x05, 0x01, 0x10, 0x01, 0x01, 0xE8}, WAIT_REPLY, 5},
        {"FocusNearStart", FocusNearStart, {0x05, 0x01, 0x10, 0x02, 0x01, 0xE7}, WAIT_REPLY, 5},
        {"FocusFarStart", FocusFarStart, {0x05, 0x01, 0x10, 0x02, 0x00, 0xE8}, WAIT_REPLY, 5},
        {"FocusStop", FocusStop, {0x04, 0x01, 0x10, 0x04, 0xE7}, WAIT_REPLY, 5},
        {"ZoomTeleStart", ZoomTeleStart, {0x05, 0x01, 0x12, 0x01, 0x00, 0xE7}, WAIT_REPLY, 5},
        {"ZoomWideStart", ZoomWideStart, {0x05, 0x01, 0x12, 0x01, 0x01, 0xE6}, WAIT_REPLY, 5},
        {"ZoomStop", ZoomStop, {0x05, 0x01, 0x12, 0x03, 0x00, 0xE5}, WAIT_REPLY, 5},
        {"SetZoomSpeed(5)", [](D d) { return SetZoomSpeed(d, 5); },
         {0x06, 0x01, 0x12, 0x04, 0x02, 0x05, 0xDC}, WAIT_REPLY, 5},
        {"ZoomToPosition(0x1234)", [](D d) { return ZoomToPosition(d, 0x1234); },
         {0x07, 0x01, 0x12, 0x02, 0x02, 0x12, 0x34, 0x9C}, WAIT_ACK, 5},
        {"QueryZoomPosition",
         [](D d) {
             uint16_t zoom;
             return QueryZoomPosition(d, &zoom);
         },
         {0x04, 0x01, 0x04, 0x02, 0xF5}, WAIT_REPLY, 8},
        {"SetExposureAuto(1)", [](D d) { return SetExposureAuto(d, 1); },
         {0x05, 0x01, 0x14, 0x01, 0x00, 0xE5}, WAIT_REPLY, 5},
        {"SetExposureAuto(0)", [](D d) { return SetExposureAuto(d, 0); },
         {0x05, 0x01, 0x14, 0x01, 0x01, 0xE4}, WAIT_REPLY, 5},
        {"SetExposureParam2(0, 9) short form", [](D d) { return SetExposureParam2(d, 0, 9); },
         {0x05, 0x01, 0x14, 0x02, 0x00, 0xE4}, WAIT_REPLY, 5},
        {"SetExposureParam2(1, 9)", [](D d) { return SetExposureParam2(d, 1, 9); },
         {0x06, 0x01, 0x14, 0x02, 0x01, 0x09, 0xD9}, WAIT_REPLY, 5},
        {"SetExposureParam3(0)", [](D d) { return SetExposureParam3(d, 0); },
         {0x05, 0x01, 0x14, 0x03, 0x00, 0xE3}, WAIT_REPLY, 5},
        {"SetBrightness(96)", [](D d) { return SetBrightness(d, 96); },
         {0x05, 0x01, 0x14, 0x04, 0x60, 0x82}, WAIT_REPLY, 5},
        {"SetShutterSpeed(132)", [](D d) { return SetShutterSpeed(d, 132); },
         {0x06, 0x01, 0x14, 0x06, 0x00, 0x84, 0x5B}, WAIT_REPLY, 5},
        {"SetAgcGain(127)", [](D d) { return SetAgcGain(d, 127); },
         {0x06, 0x01, 0x14, 0x07, 0x00, 0x7F, 0x5F}, WAIT_REPLY, 5},
        {"SetIris(169)", [](D d) { return SetIris(d, 169); },
         {0x06, 0x01, 0x14, 0x08, 0x00, 0xA9, 0x34}, WAIT_REPLY, 5},
        {"QueryBrightness",
         [](D d) {
             uint16_t brightness;
             return QueryBrightness(d, &brightness);
         },
         {0x04, 0x01, 0x04, 0x03, 0xF4}, WAIT_REPLY, 10},
        {"QueryExposureState",
         [](D d) {
             int status, brightness, agc, shutter, iris;
             return QueryExposureState(d, &status, &brightness, &agc, &shutter, &iris);
         },
         {0x04, 0x01, 0x04, 0x03, 0xF4}, WAIT_REPLY, 10},
        {"SetupPanTilter", SetupPanTilter, {0x03, 0x05, 0x10, 0xE8}, WAIT_REPLY, 5},
        {"HomePanTilter", HomePanTilter, {0x03, 0x05, 0x11, 0xE7}, WAIT_REPLY, 5},
        {"PanLeftStart", PanLeftStart, {0x06, 0x05, 0x12, 0x01, 0x02, 0x00, 0xE0}, WAIT_REPLY, 5},
        {"PanRightStart", PanRightStart, {0x06, 0x05, 0x12, 0x01, 0x01, 0x00, 0xE1}, WAIT_REPLY, 5},
        {"TiltUpStart", TiltUpStart, {0x06, 0x05, 0x12, 0x01, 0x00, 0x01, 0xE1}, WAIT_REPLY, 5},
        {"TiltDownStart", TiltDownStart, {0x06, 0x05, 0x12, 0x01, 0x00, 0x02, 0xE0}, WAIT_REPLY, 5},
        {"PanTiltUpLeftStart", PanTiltUpLeftStart,
         {0x06, 0x05, 0x12, 0x01, 0x02, 0x01, 0xDF}, WAIT_REPLY, 5},
        {"PanTiltUpRightStart", PanTiltUpRightStart,
         {0x06, 0x05, 0x12, 0x01, 0x01, 0x01, 0xE0}, WAIT_REPLY, 5},
        {"PanTiltDownLeftStart", PanTiltDownLeftStart,
         {0x06, 0x05, 0x12, 0x01, 0x02, 0x02, 0xDE}, WAIT_REPLY, 5},
        {"PanTiltDownRightStart", PanTiltDownRightStart,
         {0x06, 0x05, 0x12, 0x01, 0x01, 0x02, 0xDF}, WAIT_REPLY, 5},
        {"PanTiltStop", PanTiltStop, {0x04, 0x05, 0x12, 0x02, 0xE3}, WAIT_REPLY, 5},
        {"SetPanTiltSpeed(70, 70)", [](D d) { return SetPanTiltSpeed(d, 70, 70); },
         {0x07, 0x05, 0x12, 0x03, 0x02, 0x46, 0x46, 0x51}, WAIT_REPLY, 5},
        {"PanTiltToPosition(0xFEDC, 0x0123)",
         [](D d) { return PanTiltToPosition(d, 0xFEDC, 0x0123); },
         {0x09, 0x05, 0x12, 0x05, 0x02, 0xFE, 0xDC, 0x01, 0x23, 0xDB}, WAIT_ACK, 5},
        {"QueryPanTiltPosition",
         [](D d) {
             uint16_t pan, tilt;
             return QueryPanTiltPosition(d, &pan, &tilt);
         },
         {0x04, 0x05, 0x04, 0x02, 0xF1}, WAIT_REPLY, 11},
        {"SetLed(3, 1, 0)", [](D d) { return SetLed(d, 3, 1, 0); },
         {0x06, 0x05, 0x19, 0x03, 0x01, 0x00, 0xD8}, WAIT_REPLY, 5},
    };
    // clang-format on
}

// The camera acknowledges every request at once and replies some 20 ms later. A Reply
// operation returns only once the reply has been read off the line; an ACK operation
// returns while the reply is still on its way, and the reader thread then receives it.
// Either way the driver acknowledges the reply.
TEST_F(CommandTest, EveryRequestGoesOutAsListedAndEndsOnItsAnswer)
{
    for (const CatalogueEntry& entry : Catalogue())
    {
        SCOPED_TRACE(entry.name);
        ClearRules(peer);
        ClearFrameLog(peer);
        Bytes head(entry.request.begin(), entry.request.begin() + 3);
        AnswerLater(head, PatternedReply(entry.request, entry.replyLength), 20);

        EXPECT_EQ(0, entry.run(&driver));
        int replyStillComing = SimPendingToDriver(PeerLine(peer)) > 0;
        EXPECT_EQ(entry.wait == WAIT_ACK, replyStillComing);
        EXPECT_EQ(0, driver.lastResult);
        EXPECT_TRUE(WaitForFramesFromDriver(peer, 2, 1000));
        EXPECT_EQ(std::vector<Bytes>({entry.request, ACK}), FramesFromDriver(peer));
    }
}

TEST_F(CommandTest, MovesToAPositionSucceedOnTheAcknowledgementAlone)
{
    OnRequest(peer, {0x07, 0x01, 0x12}, ACK);
    OnRequest(peer, {0x09, 0x05, 0x12}, ACK);
    EXPECT_EQ(0, ZoomToPosition(&driver, 0x1234));
    EXPECT_EQ(0, PanTiltToPosition(&driver, 0x0100, 0x0200));
    EXPECT_EQ(2u, RequestsFromDriver(peer).size());
}

// --- Values read from replies ---

struct QueryEntry
{
    const char* name;
    Bytes request;
    int replyLength;
    // Runs the query with every output set to UNWRITTEN first; hands back what they hold.
    std::function<ResultCode(CameraDriver*, std::vector<int>*)> run;
    std::vector<int> expected; // from a PatternedReply of the right length
};

static std::vector<QueryEntry> Queries()
{
    using D = CameraDriver*;
    using V = std::vector<int>*;
    return {
        {"QueryZoomPosition",
         {0x04, 0x01, 0x04, 0x02},
         8,
         [](D d, V out)
         {
             uint16_t zoom = UNWRITTEN;
             ResultCode result = QueryZoomPosition(d, &zoom);
             *out = {zoom};
             return result;
         },
         {0xA5A6}},
        {"QueryBrightness",
         {0x04, 0x01, 0x04, 0x03},
         10,
         [](D d, V out)
         {
             uint16_t brightness = UNWRITTEN;
             ResultCode result = QueryBrightness(d, &brightness);
             *out = {brightness};
             return result;
         },
         {0xA5}},
        {"QueryExposureState",
         {0x04, 0x01, 0x04, 0x03},
         10,
         [](D d, V out)
         {
             int status = UNWRITTEN, brightness = UNWRITTEN, agc = UNWRITTEN;
             int shutter = UNWRITTEN, iris = UNWRITTEN;
             ResultCode result = QueryExposureState(d, &status, &brightness, &agc, &shutter, &iris);
             *out = {status, brightness, agc, shutter, iris};
             return result;
         },
         {0xA4, 0xA5, 0xA8, 0xA7, 0xA6}},
        {"QueryPanTiltPosition",
         {0x04, 0x05, 0x04, 0x02},
         11,
         [](D d, V out)
         {
             uint16_t pan = UNWRITTEN, tilt = UNWRITTEN;
             ResultCode result = QueryPanTiltPosition(d, &pan, &tilt);
             *out = {pan, tilt};
             return result;
         },
         {0xA5A6, 0xA8A9}},
        {"ReadPresetData",
         {0x05, 0x08, 0x18, 0x01},
         14,
         [](D d, V out)
         {
             uint16_t brightness = UNWRITTEN, pan = UNWRITTEN, tilt = UNWRITTEN;
             uint16_t zoom = UNWRITTEN;
             ResultCode result = ReadPresetData(d, 2, &brightness, &pan, &tilt, &zoom);
             *out = {brightness, pan, tilt, zoom};
             return result;
         },
         {0xA6, 0xA7A8, 0xA9AA, 0xABAC}},
    };
}

TEST_F(CommandTest, QueriesReadEachValueAtItsOffsetMostSignificantByteFirst)
{
    for (const QueryEntry& entry : Queries())
    {
        SCOPED_TRACE(entry.name);
        ClearRules(peer);
        OnRequest(peer, entry.request,
                  Concat({ACK, PatternedReply(entry.request, entry.replyLength)}));
        std::vector<int> values;
        EXPECT_EQ(0, entry.run(&driver, &values));
        EXPECT_EQ(entry.expected, values);
    }
}

// A 9-byte zoom reply among them: -7, outputs untouched, and lastResult still 0 because
// the transaction itself went well. A NAK leaves the outputs untouched as well.
TEST_F(CommandTest, QueriesRejectAReplyOfTheWrongLengthOrANak)
{
    for (const QueryEntry& entry : Queries())
    {
        SCOPED_TRACE(entry.name);
        std::vector<int> unwritten(entry.expected.size(), UNWRITTEN);
        for (int delta : {+1, -1})
        {
            ClearRules(peer);
            OnRequest(peer, entry.request,
                      Concat({ACK, PatternedReply(entry.request, entry.replyLength + delta)}));
            std::vector<int> values;
            EXPECT_EQ(RESULT_BAD_LENGTH, entry.run(&driver, &values));
            EXPECT_EQ(unwritten, values);
            EXPECT_EQ(0, driver.lastResult);
        }
        ClearRules(peer);
        OnRequest(peer, entry.request, CAMERA_NAK);
        std::vector<int> values;
        EXPECT_EQ(RESULT_NAK, entry.run(&driver, &values));
        EXPECT_EQ(unwritten, values);
        EXPECT_EQ(RESULT_NAK, driver.lastResult);
    }
}

TEST_F(CommandTest, QueryExposureStateFillsOnlyTheOutputsGiven)
{
    Bytes request = {0x04, 0x01, 0x04, 0x03};
    OnRequest(peer, request, Concat({ACK, PatternedReply(request, 10)}));
    int agc = UNWRITTEN;
    int iris = UNWRITTEN;
    EXPECT_EQ(0, QueryExposureState(&driver, 0, 0, &agc, 0, &iris));
    EXPECT_EQ(0xA8, agc);
    EXPECT_EQ(0xA6, iris);
}

// --- Versions of the three units ---

static void AnswerVersion(ScriptedPeer* peer, uint8_t unit, uint8_t version, int length = 7)
{
    Bytes reply = {(uint8_t)(length - 1), unit, 0x04, 0x00, 0x00, version};
    reply.resize((size_t)length - 1, 0x00);
    reply.push_back(FrameChecksum(reply.data(), (int)reply.size()));
    OnRequest(peer, {0x04, unit, 0x04, 0x00}, Concat({ACK, reply}));
}

static const Bytes CCU_VERSION_REQUEST = {0x04, 0x08, 0x04, 0x00, 0xF0};
static const Bytes HEAD_VERSION_REQUEST = {0x04, 0x01, 0x04, 0x00, 0xF7};
static const Bytes PAN_TILTER_VERSION_REQUEST = {0x04, 0x05, 0x04, 0x00, 0xF3};

TEST_F(CommandTest, QueryVersionsAsksTheCcuThenTheHeadThenThePanTilter)
{
    AnswerVersion(peer, 0x08, 0x31);
    AnswerVersion(peer, 0x01, 0x42);
    AnswerVersion(peer, 0x05, 0x53);
    uint8_t versions[VERSION_COUNT] = {0, 0, 0};
    EXPECT_EQ(0, QueryVersions(&driver, versions));
    EXPECT_EQ(0x31, versions[0]);
    EXPECT_EQ(0x42, versions[1]);
    EXPECT_EQ(0x53, versions[2]);
    EXPECT_EQ(
        std::vector<Bytes>({CCU_VERSION_REQUEST, HEAD_VERSION_REQUEST, PAN_TILTER_VERSION_REQUEST}),
        RequestsFromDriver(peer));
}

TEST_F(CommandTest, QueryVersionsStopsAtAFailingUnitKeepingEarlierBytes)
{
    AnswerVersion(peer, 0x08, 0x31);
    OnRequest(peer, {0x04, 0x01, 0x04, 0x00}, CAMERA_NAK);
    uint8_t versions[VERSION_COUNT] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(RESULT_NAK, QueryVersions(&driver, versions));
    EXPECT_EQ(0x31, versions[0]);
    EXPECT_EQ(0xEE, versions[1]);
    EXPECT_EQ(0xEE, versions[2]);
    EXPECT_EQ(std::vector<Bytes>({CCU_VERSION_REQUEST, HEAD_VERSION_REQUEST}),
              RequestsFromDriver(peer));
}

TEST_F(CommandTest, QueryVersionsStopsAtAReplyOfTheWrongLength)
{
    AnswerVersion(peer, 0x08, 0x31);
    AnswerVersion(peer, 0x01, 0x42);
    AnswerVersion(peer, 0x05, 0x53, 8);
    uint8_t versions[VERSION_COUNT] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(RESULT_BAD_LENGTH, QueryVersions(&driver, versions));
    EXPECT_EQ(0x31, versions[0]);
    EXPECT_EQ(0x42, versions[1]);
    EXPECT_EQ(0xEE, versions[2]);
    EXPECT_EQ(0, driver.lastResult);
}

// --- Storing a preset ---

static const Bytes PANTILT_QUERY = {0x04, 0x05, 0x04, 0x02};
static const Bytes ZOOM_QUERY = {0x04, 0x01, 0x04, 0x02};
static const Bytes EXPOSURE_QUERY = {0x04, 0x01, 0x04, 0x03};

TEST_F(CommandTest, StorePresetWritesTheCurrentPositionAndBrightness)
{
    OnRequest(peer, PANTILT_QUERY,
              Concat({ACK, Frame({0x0A, 0x05, 0x04, 0x02, 0x00, 0x12, 0x34, 0x00, 0x05, 0x67})}));
    OnRequest(peer, ZOOM_QUERY, Concat({ACK, Frame({0x07, 0x01, 0x04, 0x02, 0x00, 0x0A, 0xBC})}));
    OnRequest(peer, EXPOSURE_QUERY,
              Concat({ACK, Frame({0x09, 0x01, 0x04, 0x03, 0x00, 0x60, 0x00, 0x00, 0x00})}));
    OnRequest(peer, {0x0D, 0x08, 0x18}, Concat({ACK, Frame({0x04, 0x08, 0x18, 0x02})}));

    EXPECT_EQ(0, StorePreset(&driver, 2));
    std::vector<Bytes> requests = RequestsFromDriver(peer);
    ASSERT_EQ(4u, requests.size());
    EXPECT_EQ(Frame({0x04, 0x05, 0x04, 0x02}), requests[0]);
    EXPECT_EQ(Frame({0x04, 0x01, 0x04, 0x02}), requests[1]);
    EXPECT_EQ(Frame({0x04, 0x01, 0x04, 0x03}), requests[2]);
    EXPECT_EQ(Frame({0x0D, 0x08, 0x18, 0x02, 0x02, 0x02, 0x60, 0x12, 0x34, 0x05, 0x67, 0x0A, 0xBC}),
              requests[3]);
}

TEST_F(CommandTest, StorePresetWritesNothingWhenAQueryFails)
{
    OnRequest(peer, PANTILT_QUERY, Concat({ACK, PatternedReply(PANTILT_QUERY, 11)}));
    OnRequest(peer, ZOOM_QUERY, CAMERA_NAK);
    EXPECT_EQ(RESULT_NAK, StorePreset(&driver, 2));
    EXPECT_EQ(2u, RequestsFromDriver(peer).size());
}

// --- Recalling a preset ---

TEST(PresetArrivalTimeout, FollowsTheSlowerOfZoomAndPanTilt)
{
    EXPECT_EQ(96377u, PresetArrivalTimeout(3, 35)); // zoom 6858, pan/tilt 96377
    EXPECT_EQ(5000u, PresetArrivalTimeout(7, 70));  // the defaults: both below the minimum
    EXPECT_EQ(190000u, PresetArrivalTimeout(0, 1));
    EXPECT_EQ(12000u, PresetArrivalTimeout(0, 70));
}

TEST(PresetArrivalTimeout, TreatsSpeedsOutOfRangeAsTheNearestInRange)
{
    EXPECT_EQ(5000u, PresetArrivalTimeout(8, 71));
    EXPECT_EQ(190000u, PresetArrivalTimeout(-1, 0));
}

// Preset 4 holds brightness 0x60, pan 0x1000, tilt 0x0200, zoom 0x0300.
static const Bytes PRESET_READ = Frame({0x05, 0x08, 0x18, 0x01, 0x04});
static const Bytes PRESET_DATA =
    Frame({0x0D, 0x08, 0x18, 0x01, 0x04, 0x04, 0x60, 0x10, 0x00, 0x02, 0x00, 0x03, 0x00});
static const Bytes SET_BRIGHTNESS = Frame({0x05, 0x01, 0x14, 0x04, 0x60});
static const Bytes ZOOM_TO = Frame({0x07, 0x01, 0x12, 0x02, 0x02, 0x03, 0x00});
static const Bytes PANTILT_TO = Frame({0x09, 0x05, 0x12, 0x05, 0x02, 0x10, 0x00, 0x02, 0x00});
static const Bytes ZOOM_STOP = Frame({0x05, 0x01, 0x12, 0x03, 0x00});
static const Bytes EXPOSURE_AUTO = Frame({0x05, 0x01, 0x14, 0x01, 0x00});
static const Bytes ZOOM_DONE = Frame({0x04, 0x01, 0x12, 0x02});
static const Bytes PANTILT_DONE = Frame({0x04, 0x05, 0x12, 0x05});

class RecallPresetTest : public CommandTest
{
  protected:
    // The camera as far as the moves: the preset, the brightness and its completion.
    void ScriptPresetAndBrightness()
    {
        OnRequest(peer, PRESET_READ, Concat({ACK, PRESET_DATA}));
        OnRequest(peer, SET_BRIGHTNESS, Concat({ACK, Frame({0x04, 0x01, 0x14, 0x04})}));
        OnRequest(peer, EXPOSURE_AUTO, Concat({ACK, Frame({0x04, 0x01, 0x14, 0x01})}));
        OnRequest(peer, ZOOM_STOP, Concat({ACK, Frame({0x04, 0x01, 0x12, 0x03})}));
    }

    static std::vector<Bytes> Attempt()
    {
        return {PRESET_READ, SET_BRIGHTNESS, ZOOM_TO, PANTILT_TO};
    }
};

TEST_F(RecallPresetTest, DrivesToTheStoredPositionAndReturnsWhenTheMovesArrive)
{
    ScriptPresetAndBrightness();
    AnswerLater(ZOOM_TO, ZOOM_DONE, 40);
    AnswerLater(PANTILT_TO, PANTILT_DONE, 60);
    int retries = settings.recallRetries;

    DWORD start = GetTickCount();
    EXPECT_EQ(0, RecallPreset(&driver, &settings, 4));
    EXPECT_LT(GetTickCount() - start, 2000u); // far below the 5000 ms arrival time-out
    EXPECT_EQ(Attempt(), RequestsFromDriver(peer));
    EXPECT_EQ(0, driver.lastResult);
    EXPECT_EQ(retries, settings.recallRetries);
    EXPECT_TRUE(driver.zoomArrived && driver.panTiltArrived && driver.exposureArrived);
}

TEST_F(RecallPresetTest, CountsAZoomCompletionThatArrivesDuringThePanTiltRequest)
{
    ScriptPresetAndBrightness();
    OnRequest(peer, ZOOM_TO, Concat({ACK, ZOOM_DONE}));
    AnswerLater(PANTILT_TO, PANTILT_DONE, 30);
    EXPECT_EQ(0, RecallPreset(&driver, &settings, 4));
    EXPECT_EQ(0, CountFromDriver(peer, ZOOM_STOP));
}

TEST_F(RecallPresetTest, SwitchesExposureToAutoFirst)
{
    ScriptPresetAndBrightness();
    AnswerLater(ZOOM_TO, ZOOM_DONE, 20);
    AnswerLater(PANTILT_TO, PANTILT_DONE, 20);
    settings.exposureAuto = 0;
    EXPECT_EQ(0, RecallPreset(&driver, &settings, 4));
    EXPECT_EQ(EXPOSURE_AUTO, RequestsFromDriver(peer).at(0));
    EXPECT_EQ(1, settings.exposureAuto);
}

TEST_F(RecallPresetTest, StopsWhenAutoExposureIsRefused)
{
    OnRequest(peer, EXPOSURE_AUTO, CAMERA_NAK);
    settings.exposureAuto = 0;
    EXPECT_EQ(RESULT_NAK, RecallPreset(&driver, &settings, 4));
    EXPECT_EQ(std::vector<Bytes>({EXPOSURE_AUTO}), RequestsFromDriver(peer));
    EXPECT_EQ(0, settings.exposureAuto);
}

TEST_F(RecallPresetTest, StartsNoMoveWhenThePresetCannotBeRead)
{
    OnRequest(peer, PRESET_READ, CAMERA_NAK);
    EXPECT_EQ(RESULT_NAK, RecallPreset(&driver, &settings, 4));
    EXPECT_EQ(std::vector<Bytes>({PRESET_READ}), RequestsFromDriver(peer));
    EXPECT_EQ(RESULT_NAK, driver.lastResult);
}

// Real-time waits of the arrival time-out (5000 ms at the default speeds).
class RecallPresetSlow : public RecallPresetTest
{
};

// Arrival flags left over from an earlier move must not count.
TEST_F(RecallPresetSlow, PanTiltNeverArrivingGivesUpAfterOneAttemptWithoutZoomStop)
{
    ScriptPresetAndBrightness();
    AnswerLater(ZOOM_TO, ZOOM_DONE, 40);
    OnRequest(peer, PANTILT_TO, ACK);
    driver.zoomArrived = driver.panTiltArrived = driver.exposureArrived = 1;
    int retries = settings.recallRetries;

    DWORD start = GetTickCount();
    EXPECT_EQ(RESULT_TIMEOUT, RecallPreset(&driver, &settings, 4));
    EXPECT_GE(GetTickCount() - start, 5000u);
    EXPECT_EQ(Attempt(), RequestsFromDriver(peer));
    EXPECT_EQ(0, driver.lastResult);
    EXPECT_EQ(retries, settings.recallRetries);
}

TEST_F(RecallPresetSlow, ZoomNeverArrivingStopsTheZoomAfterEachOfTwoAttempts)
{
    ScriptPresetAndBrightness();
    OnRequest(peer, ZOOM_TO, ACK);
    AnswerLater(PANTILT_TO, PANTILT_DONE, 40);
    int retries = settings.recallRetries;

    DWORD start = GetTickCount();
    EXPECT_EQ(RESULT_TIMEOUT, RecallPreset(&driver, &settings, 4));
    EXPECT_GE(GetTickCount() - start, 11000u);
    std::vector<Bytes> attempt = Attempt();
    attempt.push_back(ZOOM_STOP);
    std::vector<Bytes> expected = attempt;
    expected.insert(expected.end(), attempt.begin(), attempt.end());
    EXPECT_EQ(expected, RequestsFromDriver(peer));
    EXPECT_EQ(0, driver.lastResult);
    EXPECT_EQ(retries + 2, settings.recallRetries);
}
