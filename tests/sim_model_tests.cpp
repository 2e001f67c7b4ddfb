// The camera model alone, in model time: answers and their timing, motion, line signals,
// fault hooks and the frame log. No line, no threads.
#include <gtest/gtest.h>

#include "sim/camera_model.h"

#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

static std::string Hex(const Bytes& bytes)
{
    std::string text;
    char part[4];
    for (uint8_t value : bytes)
    {
        snprintf(part, sizeof part, "%02X ", value);
        text += part;
    }
    return text;
}

static Bytes WithChecksum(Bytes bytes)
{
    bytes.push_back(FrameChecksum(bytes.data(), (int)bytes.size()));
    return bytes;
}

class CameraModelTest : public ::testing::Test
{
  protected:
    CameraModel camera;
    uint32_t now = 1000;

    void SetUp() override
    {
        CameraInit(&camera, now);
        CameraSetRts(&camera, 1, now);
    }

    // Sends bytes 0 .. N-1 of a request with its checksum; returns the frames sent at once.
    std::vector<Bytes> Send(const Bytes& request)
    {
        SendRaw(WithChecksum(request));
        return Frames();
    }
    void SendRaw(const Bytes& bytes)
    {
        CameraFeed(&camera, bytes.data(), (int)bytes.size(), now);
    }
    void Acknowledge()
    {
        SendRaw(Bytes(ACK_FRAME, ACK_FRAME + 4));
    }
    std::vector<Bytes> RunFor(uint32_t ms)
    {
        now += ms;
        CameraAdvance(&camera, now);
        return Frames();
    }
    // Everything sent so far, split at the length bytes.
    std::vector<Bytes> Frames()
    {
        uint8_t buffer[CAMERA_OUTPUT_SIZE];
        int count = CameraTakeOutput(&camera, buffer, sizeof buffer);
        std::vector<Bytes> frames;
        for (int i = 0; i < count;)
        {
            int length = buffer[i] + 1;
            if (length < 4 || i + length > count)
                length = count - i; // not a frame: keep the rest whole
            frames.push_back(Bytes(buffer + i, buffer + i + length));
            i += length;
        }
        return frames;
    }
    // A request answered by ACK and reply; returns the reply, acknowledged.
    Bytes Ask(const Bytes& request)
    {
        std::vector<Bytes> first = Send(request);
        EXPECT_EQ(1u, first.size());
        std::vector<Bytes> later = RunFor(CAMERA_BRIGHTNESS_SETTLE_MS);
        EXPECT_EQ(1u, later.size()) << Hex(request);
        Acknowledge();
        return later.empty() ? Bytes() : later[0];
    }
};

static Bytes Ack(uint8_t unit)
{
    return WithChecksum({0x03, (uint8_t)(0x80 | unit), 0x00});
}

static Bytes Nak(uint8_t unit, uint8_t code)
{
    return WithChecksum({0x03, (uint8_t)(0x80 | unit), code});
}

// --- Answers ---

TEST_F(CameraModelTest, AcknowledgesAtOnceAndRepliesAfterTheReplyDelay)
{
    std::vector<Bytes> first = Send({0x04, 0x05, 0x12, 0x02});
    ASSERT_EQ(1u, first.size());
    EXPECT_EQ(Ack(5), first[0]);
    EXPECT_TRUE(RunFor(CAMERA_REPLY_DELAY_MS - 1).empty());
    std::vector<Bytes> reply = RunFor(1);
    ASSERT_EQ(1u, reply.size());
    EXPECT_EQ(WithChecksum({0x04, 0x05, 0x92, 0x02}), reply[0]);
}

TEST_F(CameraModelTest, QueryRepliesHaveTheLayoutsTheProgramReads)
{
    Bytes ccu = Ask({0x04, 0x08, 0x04, 0x00});
    Bytes head = Ask({0x04, 0x01, 0x04, 0x00});
    Bytes panTilter = Ask({0x04, 0x05, 0x04, 0x00});
    ASSERT_EQ(7u, ccu.size());
    ASSERT_EQ(7u, head.size());
    ASSERT_EQ(7u, panTilter.size());
    EXPECT_EQ(CAMERA_CCU_VERSION, ccu[5]);
    EXPECT_EQ(CAMERA_HEAD_VERSION, head[5]);
    EXPECT_EQ(CAMERA_PAN_TILTER_VERSION, panTilter[5]);

    Ask({0x06, 0x01, 0x14, 0x06, 0x00, 100}); // shutter
    Ask({0x06, 0x01, 0x14, 0x07, 0x00, 50});  // AGC
    Ask({0x06, 0x01, 0x14, 0x08, 0x00, 90});  // iris
    Ask({0x05, 0x01, 0x14, 0x04, 144});       // brightness
    Ask({0x05, 0x01, 0x14, 0x01, 0x01});      // manual exposure
    EXPECT_EQ(WithChecksum({0x09, 0x01, 0x84, 0x03, 1, 144, 90, 100, 50}),
              Ask({0x04, 0x01, 0x04, 0x03}));

    Ask({0x06, 0x01, 0x14, 0x06, 0x00, 200}); // clamped into 0..132
    Ask({0x06, 0x01, 0x14, 0x07, 0x00, 0});   // clamped into 3..127
    Bytes clamped = Ask({0x04, 0x01, 0x04, 0x03});
    EXPECT_EQ(132, clamped[7]);
    EXPECT_EQ(3, clamped[8]);

    EXPECT_EQ(WithChecksum({0x0A, 0x05, 0x84, 0x02, 0, 0x07, 0x08, 0, 0x02, 0x58}),
              Ask({0x04, 0x05, 0x04, 0x02}));
    EXPECT_EQ(WithChecksum({0x07, 0x01, 0x84, 0x02, 0, 0x00, 0x00}), Ask({0x04, 0x01, 0x04, 0x02}));
}

TEST_F(CameraModelTest, BadFramesAndUnknownRequestsGetNaksAndChangeNothing)
{
    SendRaw({0x04, 0x05, 0x12, 0x02, 0xE4});
    EXPECT_EQ(std::vector<Bytes>{Nak(5, CAMERA_NAK_CHECKSUM)}, Frames());
    EXPECT_EQ(std::vector<Bytes>{Nak(8, CAMERA_NAK_UNKNOWN)}, Send({0x04, 0x08, 0x1F, 0x00}));
    EXPECT_EQ(std::vector<Bytes>{Nak(1, CAMERA_NAK_UNKNOWN)}, Send({0x04, 0x01, 0x12, 0x09}));
    EXPECT_EQ(std::vector<Bytes>{Nak(5, CAMERA_NAK_UNKNOWN)},
              Send({0x05, 0x05, 0x12, 0x02, 0x00})); // stop with a byte too many
    EXPECT_EQ(std::vector<Bytes>{Nak(8, CAMERA_NAK_UNKNOWN)}, Send({0x04, 0x03, 0x04, 0x00}));
    EXPECT_EQ(std::vector<Bytes>{Nak(5, CAMERA_NAK_PARAMETER)},
              Send({0x06, 0x05, 0x12, 0x01, 0x03, 0x00}));
    EXPECT_EQ(std::vector<Bytes>{Nak(8, CAMERA_NAK_PARAMETER)}, Send({0x05, 0x08, 0x18, 0x01, 7}));
    EXPECT_EQ(std::vector<Bytes>{Nak(8, CAMERA_NAK_PARAMETER)},
              Send({0x0D, 0x08, 0x18, 0x02, 2, 3, 0x60, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(RunFor(500).empty());
    EXPECT_EQ(CAMERA_PAN_HOME, CameraPanPosition(&camera, now));
    EXPECT_EQ(0u, camera.requestsCarriedOut);
}

TEST_F(CameraModelTest, ProgramAcksAreNotAnsweredAndItsNakGetsTheLastFrameAgain)
{
    Send({0x04, 0x05, 0x04, 0x02});
    std::vector<Bytes> reply = RunFor(CAMERA_REPLY_DELAY_MS);
    ASSERT_EQ(1u, reply.size());
    Acknowledge();
    EXPECT_TRUE(Frames().empty());
    SendRaw(Bytes(CHECKSUM_NAK_FRAME, CHECKSUM_NAK_FRAME + 4));
    EXPECT_EQ(reply, Frames());
}

TEST_F(CameraModelTest, BrightnessReplyComesWhenTheChangeHasSettled)
{
    Send({0x05, 0x01, 0x14, 0x04, 72});
    EXPECT_TRUE(RunFor(CAMERA_BRIGHTNESS_SETTLE_MS - 1).empty());
    EXPECT_EQ(1u, RunFor(1).size());
}

// --- Motion ---

TEST_F(CameraModelTest, AbsoluteMovesCompleteWhenTheModelledMoveEnds)
{
    std::vector<Bytes> ack = Send({0x07, 0x01, 0x12, 0x02, 0x02, 0x40, 0x00}); // full range
    EXPECT_EQ(std::vector<Bytes>{Ack(1)}, ack);
    uint32_t deadline = 0;
    ASSERT_TRUE(CameraNextDeadline(&camera, &deadline));
    EXPECT_EQ(now + 1000, deadline);
    EXPECT_TRUE(RunFor(999).empty());
    EXPECT_EQ(std::vector<Bytes>{WithChecksum({0x07, 0x01, 0x92, 0x02, 0x02, 0x40, 0x00})},
              RunFor(1));
    Acknowledge();

    Send({0x09, 0x05, 0x12, 0x05, 0x02, 0x0E, 0x10, 0x00, 0x00}); // pan to max, tilt to 0
    EXPECT_TRUE(RunFor(1285).empty());                            // 1800 units at 1400/s
    EXPECT_EQ(std::vector<Bytes>{WithChecksum({0x09, 0x05, 0x92, 0x05, 0x02, 0x0E, 0x10, 0, 0})},
              RunFor(1));
    Acknowledge();

    Send({0x09, 0x05, 0x12, 0x05, 0x02, 0x0C, 0xE4, 0x00, 0x00}); // pan 300 units back
    EXPECT_TRUE(RunFor(214).empty());
    EXPECT_EQ(1u, RunFor(1).size());
    EXPECT_EQ(3300, CameraPanPosition(&camera, now));
}

TEST_F(CameraModelTest, DefaultSpeedsFinishAnyMoveWellWithinFiveSeconds)
{
    Send({0x09, 0x05, 0x12, 0x05, 0x02, 0x00, 0x00, 0x00, 0x00});
    RunFor(3000);
    Acknowledge();
    Send({0x09, 0x05, 0x12, 0x05, 0x02, 0x0E, 0x10, 0x04, 0xB0}); // corner to corner
    uint32_t deadline = 0;
    ASSERT_TRUE(CameraNextDeadline(&camera, &deadline));
    EXPECT_LT(deadline - now, 3000u);
    Send({0x07, 0x01, 0x12, 0x02, 0x02, 0xFF, 0xFF}); // beyond tele: clamped
    EXPECT_EQ(CAMERA_ZOOM_MAX, camera.settings.zoom.target);
}

TEST_F(CameraModelTest, ContinuousMoveStopsWhereTheStopFindsIt)
{
    Send({0x06, 0x05, 0x12, 0x01, 0x01, 0x00}); // pan right
    RunFor(500);
    Acknowledge();
    Send({0x04, 0x05, 0x12, 0x02});
    EXPECT_EQ(CAMERA_PAN_HOME + 700, CameraPanPosition(&camera, now));
    RunFor(1000);
    EXPECT_EQ(CAMERA_PAN_HOME + 700, CameraPanPosition(&camera, now));
    EXPECT_EQ(CAMERA_TILT_HOME, CameraTiltPosition(&camera, now));
}

TEST_F(CameraModelTest, ReachingAnEndSendsALimitEvent)
{
    Send({0x06, 0x05, 0x12, 0x01, 0x00, 0x02}); // tilt down: 600 units, 429 ms
    RunFor(CAMERA_REPLY_DELAY_MS);
    Acknowledge();
    EXPECT_TRUE(RunFor(428 - CAMERA_REPLY_DELAY_MS).empty());
    EXPECT_EQ(std::vector<Bytes>{WithChecksum({0x05, 0x05, 0xB6, 0x02, 0x02})}, RunFor(1));
    EXPECT_EQ(0, CameraTiltPosition(&camera, now));
    Acknowledge();
    std::vector<Bytes> atEnd = Send({0x05, 0x01, 0x12, 0x01, 0x01}); // wide, at the wide end
    ASSERT_EQ(2u, atEnd.size());
    EXPECT_EQ(WithChecksum({0x05, 0x01, 0xB3, 0x01, 0x01}), atEnd[1]);
}

TEST_F(CameraModelTest, SpeedChangeAppliesToTheRunningMove)
{
    Send({0x06, 0x05, 0x12, 0x01, 0x02, 0x00}); // pan left at 1400/s
    RunFor(100);
    Acknowledge();
    Send({0x07, 0x05, 0x12, 0x03, 0x02, 5, 5}); // 100 units/s from now
    RunFor(1000);
    EXPECT_EQ(CAMERA_PAN_HOME - 140 - 100, CameraPanPosition(&camera, now));
}

TEST_F(CameraModelTest, StopDuringAnAbsoluteMoveCancelsItsCompletion)
{
    Send({0x07, 0x01, 0x12, 0x02, 0x02, 0x40, 0x00});
    RunFor(250);
    Send({0x05, 0x01, 0x12, 0x03, 0x00});
    EXPECT_EQ(4096, CameraZoomPosition(&camera, now));
    std::vector<Bytes> later = RunFor(2000);
    ASSERT_EQ(1u, later.size()); // the stop's reply, no completion
    EXPECT_EQ(0x92, later[0][2]);
    EXPECT_EQ(0x03, later[0][3]);
}

TEST_F(CameraModelTest, HomeRunsInTheBackgroundWithoutCompletion)
{
    Send({0x09, 0x05, 0x12, 0x05, 0x02, 0x00, 0x00, 0x00, 0x00});
    RunFor(2000);
    Acknowledge();
    Send({0x03, 0x05, 0x11});
    EXPECT_EQ(1u, RunFor(CAMERA_REPLY_DELAY_MS).size());
    Acknowledge();
    EXPECT_TRUE(RunFor(2000).empty());
    EXPECT_EQ(CAMERA_PAN_HOME, CameraPanPosition(&camera, now));
    EXPECT_EQ(CAMERA_TILT_HOME, CameraTiltPosition(&camera, now));
}

TEST_F(CameraModelTest, NothingToDoMeansNoDeadline)
{
    uint32_t deadline = 0;
    EXPECT_FALSE(CameraNextDeadline(&camera, &deadline));
    Send({0x05, 0x01, 0x10, 0x02, 0x01}); // focus near: runs 1 s to the end
    RunFor(CAMERA_REPLY_DELAY_MS);
    Acknowledge();
    ASSERT_TRUE(CameraNextDeadline(&camera, &deadline));
    EXPECT_EQ(now - CAMERA_REPLY_DELAY_MS + 1000, deadline);
    RunFor(1000);
    Acknowledge();
    EXPECT_FALSE(CameraNextDeadline(&camera, &deadline));
}

// --- Transmitter and line ---

TEST_F(CameraModelTest, EventsWaitForTheProgramsAckOfTheFrameBefore)
{
    CameraRemoteKey(&camera, 0xE0, 1, now);
    CameraRemoteKey(&camera, 0xE0, 0, now);
    EXPECT_EQ(std::vector<Bytes>{WithChecksum({0x05, 0x05, 0xB8, 0x01, 0xE0})}, Frames());
    RunFor(10);
    Acknowledge();
    EXPECT_EQ(std::vector<Bytes>{WithChecksum({0x05, 0x05, 0xB8, 0x00, 0xE0})}, Frames());
    CameraRemoteKey(&camera, 0x41, 1, now);
    CameraRemoteKey(&camera, 0x41, 0, now);
    EXPECT_TRUE(RunFor(CAMERA_ACK_WAIT_MS - 1).empty()); // the release above is never ACKed
    EXPECT_EQ(1u, RunFor(1).size());
}

TEST_F(CameraModelTest, FramesWaitWhileRtsIsOff)
{
    CameraSetRts(&camera, 0, now);
    Send({0x04, 0x05, 0x12, 0x02});
    EXPECT_TRUE(RunFor(1000).empty());
    CameraSetRts(&camera, 1, now);
    std::vector<Bytes> held = Frames();
    ASSERT_EQ(2u, held.size());
    EXPECT_EQ(Ack(5), held[0]);
}

TEST_F(CameraModelTest, UnpluggedCameraNeitherHearsNorSendsButKeepsMoving)
{
    Send({0x06, 0x05, 0x12, 0x01, 0x01, 0x00});
    CameraUnplug(&camera, now);
    EXPECT_FALSE(CameraCtsOn(&camera));
    EXPECT_TRUE(Frames().empty()); // the start's reply is lost
    EXPECT_TRUE(Send({0x04, 0x05, 0x12, 0x02}).empty());
    RunFor(500);
    EXPECT_EQ(CAMERA_PAN_HOME + 700, CameraPanPosition(&camera, now));
    CameraPlugIn(&camera, now);
    EXPECT_TRUE(CameraCtsOn(&camera));
    EXPECT_EQ(std::vector<Bytes>{Ack(5)}, Send({0x04, 0x05, 0x12, 0x02}));
}

TEST_F(CameraModelTest, PowerCycleResetsSettingsKeepsPresetsAndAnnouncesItself)
{
    Ask({0x07, 0x05, 0x12, 0x03, 0x02, 10, 10});
    Ask({0x0D, 0x08, 0x18, 0x02, 1, 1, 0x48, 0x00, 0x10, 0x00, 0x20, 0x00, 0x30});
    CameraPowerCycle(&camera, now);
    EXPECT_FALSE(CameraCtsOn(&camera));
    EXPECT_TRUE(Send({0x04, 0x05, 0x12, 0x02}).empty());
    EXPECT_TRUE(RunFor(CAMERA_BOOT_MS - 1).empty());
    EXPECT_EQ(std::vector<Bytes>{WithChecksum({0x04, 0x05, 0xBB, 0x01})}, RunFor(1));
    EXPECT_TRUE(CameraCtsOn(&camera));
    Acknowledge();
    EXPECT_EQ(70, camera.settings.panSpeed);
    EXPECT_EQ(0x48, Ask({0x05, 0x08, 0x18, 0x01, 1})[6]);
}

TEST_F(CameraModelTest, APauseInsideAFrameStartsTheSearchAgain)
{
    SendRaw({0x00, 0xFF, 0x0D, 0x08}); // noise, then a frame that stops short
    now += CAMERA_INTERBYTE_TIMEOUT_MS + 1;
    EXPECT_EQ(std::vector<Bytes>{Ack(5)}, Send({0x04, 0x05, 0x12, 0x02}));
}

// --- Fault hooks ---

TEST_F(CameraModelTest, DroppedAckOrReplyLeavesOnlyTheOtherAndStillActs)
{
    CameraArmFault(&camera, CAMERA_FAULT_DROP_ACK, 1);
    EXPECT_TRUE(Send({0x07, 0x05, 0x12, 0x03, 0x02, 10, 10}).empty());
    EXPECT_EQ(1u, RunFor(CAMERA_REPLY_DELAY_MS).size());
    Acknowledge();
    EXPECT_EQ(10, camera.settings.panSpeed);

    CameraArmFault(&camera, CAMERA_FAULT_DROP_REPLY, 1);
    EXPECT_EQ(std::vector<Bytes>{Ack(1)}, Send({0x07, 0x01, 0x12, 0x02, 0x02, 0x10, 0x00}));
    EXPECT_TRUE(RunFor(2000).empty()); // no completion either
    EXPECT_EQ(0x1000, CameraZoomPosition(&camera, now));
    EXPECT_EQ(2u, Send({0x04, 0x05, 0x12, 0x02}).size() + RunFor(100).size());
}

TEST_F(CameraModelTest, RefusedAndErrorReportedRequestsAreNotCarriedOut)
{
    CameraArmFault(&camera, CAMERA_FAULT_NAK, 1);
    EXPECT_EQ(std::vector<Bytes>{Nak(5, CAMERA_NAK_REFUSED)},
              Send({0x06, 0x05, 0x12, 0x01, 0x01, 0x00}));
    CameraArmFault(&camera, CAMERA_FAULT_ERROR_REPLY, 1);
    CameraSetFaultErrorClass(&camera, 0x07);
    EXPECT_EQ(std::vector<Bytes>{Ack(5)}, Send({0x06, 0x05, 0x12, 0x01, 0x01, 0x00}));
    EXPECT_EQ(std::vector<Bytes>{WithChecksum({0x05, 0x05, 0xD2, 0x07, 0x00})},
              RunFor(CAMERA_REPLY_DELAY_MS));
    RunFor(500);
    EXPECT_EQ(CAMERA_PAN_HOME, CameraPanPosition(&camera, now));
}

TEST_F(CameraModelTest, CorruptedFramesAreResentGoodAfterTheProgramsNak)
{
    CameraArmFault(&camera, CAMERA_FAULT_CORRUPT_ACK, 1);
    Bytes bad = Send({0x04, 0x05, 0x12, 0x02})[0];
    EXPECT_EQ(Ack(5)[3] + 1, bad[3]);
    SendRaw(Bytes(CHECKSUM_NAK_FRAME, CHECKSUM_NAK_FRAME + 4));
    EXPECT_EQ(std::vector<Bytes>{Ack(5)}, Frames());
    RunFor(CAMERA_REPLY_DELAY_MS);
    Acknowledge();

    CameraArmFault(&camera, CAMERA_FAULT_CORRUPT_FRAME, 1);
    Send({0x04, 0x05, 0x12, 0x02});
    Bytes badReply = RunFor(CAMERA_REPLY_DELAY_MS)[0];
    EXPECT_FALSE(FrameSumIsZero(badReply.data()));
    SendRaw(Bytes(CHECKSUM_NAK_FRAME, CHECKSUM_NAK_FRAME + 4));
    EXPECT_EQ(std::vector<Bytes>{WithChecksum({0x04, 0x05, 0x92, 0x02})}, Frames());
}

TEST_F(CameraModelTest, DelayedAnswersComeLaterTogether)
{
    CameraSetFaultDelay(&camera, 700);
    CameraArmFault(&camera, CAMERA_FAULT_DELAY, 1);
    EXPECT_TRUE(Send({0x04, 0x05, 0x12, 0x02}).empty());
    EXPECT_TRUE(RunFor(699).empty());
    EXPECT_EQ(1u, RunFor(1).size());
    EXPECT_EQ(1u, RunFor(CAMERA_REPLY_DELAY_MS).size());
}

TEST_F(CameraModelTest, EchoPrecedesTheAckAndSilenceSendsNothing)
{
    CameraSetEcho(&camera, 1);
    Bytes request = WithChecksum({0x04, 0x05, 0x12, 0x02});
    SendRaw(request);
    EXPECT_EQ((std::vector<Bytes>{request, Ack(5)}), Frames());
    RunFor(CAMERA_REPLY_DELAY_MS);
    Acknowledge();
    CameraSetEcho(&camera, 0);

    CameraSetSilent(&camera, 1);
    EXPECT_TRUE(Send({0x06, 0x05, 0x12, 0x01, 0x01, 0x00}).empty());
    CameraRemoteKey(&camera, 0x01, 1, now);
    EXPECT_TRUE(RunFor(1000).empty());
    EXPECT_TRUE(CameraCtsOn(&camera));
    EXPECT_EQ(CAMERA_STILL, camera.settings.pan.motion);
}

TEST_F(CameraModelTest, GarbageGoesOutAtOnce)
{
    const uint8_t noise[] = {0x00, 0xFF, 0x41};
    CameraInjectGarbage(&camera, noise, 3, now);
    EXPECT_EQ(std::vector<Bytes>{Bytes(noise, noise + 3)}, Frames());
}

// --- Log ---

TEST_F(CameraModelTest, LogRecordsBothDirectionsWithTimesAndKeepsTheLatestEntries)
{
    uint32_t start = camera.logCount;
    Send({0x04, 0x05, 0x12, 0x02});
    RunFor(CAMERA_REPLY_DELAY_MS);
    const CameraLogEntry* request = CameraLogEntryAt(&camera, start);
    const CameraLogEntry* ack = CameraLogEntryAt(&camera, start + 1);
    const CameraLogEntry* reply = CameraLogEntryAt(&camera, start + 2);
    ASSERT_TRUE(request && ack && reply);
    EXPECT_EQ(CAMERA_LOG_RECEIVED, request->direction);
    EXPECT_EQ(5, request->length);
    EXPECT_EQ(0xE3, request->bytes[4]);
    EXPECT_EQ(CAMERA_LOG_SENT, ack->direction);
    EXPECT_EQ(now - CAMERA_REPLY_DELAY_MS, ack->timeMs);
    EXPECT_EQ(now, reply->timeMs);
    EXPECT_EQ(nullptr, CameraLogEntryAt(&camera, start + 3));

    for (int i = 0; i < CAMERA_LOG_ENTRIES; ++i)
        Acknowledge();
    EXPECT_EQ(nullptr, CameraLogEntryAt(&camera, start));
    EXPECT_NE(nullptr, CameraLogEntryAt(&camera, camera.logCount - CAMERA_LOG_ENTRIES));
}
