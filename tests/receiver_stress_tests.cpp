// The frame receiver under random byte streams: good frames embedded in noise and in frames
// whose checksum does not add up, fed through the real ReceiveFrame on the simulated line by
// a scripted peer. Every good frame must come out whole and in order, every bad one must be
// answered with the checksum NAK, and nothing may be written past a frame's bytes.
#include <gtest/gtest.h>

#include "link/camera_driver.h"
#include "tests/scripted_peer.h"
#include "tests/test_window.h"

#include <string.h>

#include <random>
#include <vector>

const int GUARD_SIZE = 64; // guard bytes after the 256-byte frame buffer
const uint8_t GUARD_BYTE = 0xA5;
const int LARGEST_FRAME = FRAME_MAX_LENGTH + 1;
const DWORD FRAME_WAIT_MS = 2000;   // each frame of a stream is already on the line
const DWORD TRAILING_WAIT_MS = 100; // after the last frame only noise is left

static CameraDriver driver;

// One stream and what the receiver must make of it.
struct NoisyStream
{
    Bytes bytes;
    std::vector<Bytes> goodFrames; // in order
    std::vector<Bytes> answers;    // the driver's ACKs and NAKs, in order
};

static Bytes RandomFrame(std::mt19937& random, int length, bool good)
{
    Bytes frame;
    frame.push_back((uint8_t)length);
    for (int i = 1; i < length; ++i)
        frame.push_back((uint8_t)random());
    uint8_t checksum = FrameChecksum(frame.data(), length);
    frame.push_back(good ? checksum : (uint8_t)(checksum + 1 + random() % 255));
    return frame;
}

// A byte that can never start a frame: 0..2 or 33..255.
static uint8_t NoiseByte(std::mt19937& random)
{
    int value = (int)(random() % (256 - (FRAME_MAX_LENGTH - FRAME_MIN_LENGTH + 1)));
    return (uint8_t)(value < FRAME_MIN_LENGTH ? value
                                              : value + FRAME_MAX_LENGTH - FRAME_MIN_LENGTH + 1);
}

// Good frames of every length 3..32 (acknowledgements among them, NAKs too when asked for),
// each after a gap of noise bytes and bad frames; noise after the last one. A bad frame is
// whole, so the receiver finds the next frame right after it.
static NoisyStream MakeStream(uint32_t seed, int goodCount, bool naks = true)
{
    std::mt19937 random(seed);
    NoisyStream stream;
    for (int n = 0; n < goodCount; ++n)
    {
        int gapItems = (int)(random() % 6);
        for (int i = 0; i < gapItems; ++i)
        {
            if (random() % 3)
                stream.bytes.push_back(NoiseByte(random));
            else
            {
                Bytes bad = RandomFrame(random, FRAME_MIN_LENGTH + (int)(random() % 30), false);
                stream.bytes.insert(stream.bytes.end(), bad.begin(), bad.end());
                stream.answers.push_back(CHECKSUM_NAK);
            }
        }
        Bytes good = RandomFrame(random, FRAME_MIN_LENGTH + (int)(random() % 30), true);
        bool acknowledgement = random() % 5 == 0;
        if (acknowledgement)
        {
            good[1] |= ACK_FLAG;
            if (!naks)
                good[2] = ACK_CODE;
            good.back() = FrameChecksum(good.data(), good[0]);
        }
        else if (good[1] & ACK_FLAG)
        {
            good[1] &= (uint8_t)~ACK_FLAG;
            good.back() = FrameChecksum(good.data(), good[0]);
        }
        stream.bytes.insert(stream.bytes.end(), good.begin(), good.end());
        stream.goodFrames.push_back(good);
        if (!acknowledgement)
            stream.answers.push_back(ACK);
    }
    for (int i = 0; i < 4; ++i)
        stream.bytes.push_back(NoiseByte(random));
    return stream;
}

class ReceiverStress : public ::testing::Test
{
  protected:
    ScriptedPeer* peer = 0;

    void SetUp() override
    {
        peer = CreateScriptedPeer(0);
    }

    void TearDown() override
    {
        ClosePort(&driver);
        DestroyScriptedPeer(peer);
        ClearRecorder();
    }

    // The driver's answers, once the peer has them all.
    std::vector<Bytes> AnswersFromDriver(size_t expected)
    {
        WaitForFramesFromDriver(peer, (int)expected, FRAME_WAIT_MS);
        return FramesFromDriver(peer);
    }

    // Receives a stream the way a transaction does: the reader thread kept out by the event
    // mask and the interlock, ReceiveFrame called once per good frame.
    void ReceiveAsTransaction(const NoisyStream& stream)
    {
        SetPortEventMask(&driver, TRANSACTION_EVENT_MASK);
        ASSERT_TRUE(TryTakeReceiveInterlock(&driver));
        SendToDriver(peer, stream.bytes);
        uint8_t buffer[FRAME_BUFFER_SIZE + GUARD_SIZE];
        for (size_t n = 0; n < stream.goodFrames.size(); ++n)
        {
            const Bytes& expected = stream.goodFrames[n];
            memset(buffer, GUARD_BYTE, sizeof buffer);
            int length = -1;
            ResultCode result = ReceiveFrame(&driver, buffer, &length, FRAME_WAIT_MS);
            bool nak = (expected[1] & ACK_FLAG) && expected[2] != ACK_CODE;
            ASSERT_EQ(nak ? RESULT_NAK : RESULT_OK, result) << "good frame " << n;
            ASSERT_EQ((int)expected.size(), length) << "good frame " << n;
            EXPECT_EQ(0, memcmp(buffer, expected.data(), expected.size())) << "good frame " << n;
            // Bad frames before it were read into the same buffer, but never more than the
            // largest frame: everything after that is untouched, the guard above all.
            for (int i = LARGEST_FRAME; i < (int)sizeof buffer; ++i)
                ASSERT_EQ(GUARD_BYTE, buffer[i]) << "byte " << i << " after good frame " << n;
        }
        EXPECT_EQ(RESULT_TIMEOUT, ReceiveFrame(&driver, buffer, 0, TRAILING_WAIT_MS));
        ReleaseReceiveInterlock(&driver);
        SetPortEventMask(&driver, RECEIVE_EVENT_MASK);
        EXPECT_EQ(0, SimPendingToDriver(PeerLine(peer)));
        EXPECT_EQ(stream.answers, AnswersFromDriver(stream.answers.size()));
    }
};

TEST_F(ReceiverStress, EveryGoodFrameOfNoisyStreamsComesOutWholeAndInOrder)
{
    ASSERT_EQ(RESULT_OK, OpenPort(&driver, 0, 0, 9600));
    for (uint32_t seed = 1; seed <= 12; ++seed)
    {
        SCOPED_TRACE(seed);
        ClearFrameLog(peer);
        ReceiveAsTransaction(MakeStream(seed, 40));
        if (HasFatalFailure())
            return;
    }
}

TEST_F(ReceiverStress, BytesDribblingInAtTheLineSpeedAreReceivedTheSameWay)
{
    // Paced at 9600 baud, most bytes are not there yet when the receiver looks for them, so
    // the waits for each byte and for the first byte of a frame run as well.
    SimSetLineSpeed(PeerLine(peer), 9600);
    ASSERT_EQ(RESULT_OK, OpenPort(&driver, 0, 0, 9600));
    for (uint32_t seed = 101; seed <= 103; ++seed)
    {
        SCOPED_TRACE(seed);
        ClearFrameLog(peer);
        ReceiveAsTransaction(MakeStream(seed, 8));
        if (HasFatalFailure())
            return;
    }
}

TEST_F(ReceiverStress, ReaderThreadPostsEveryGoodFrameOfANoisyStreamInOrder)
{
    ASSERT_EQ(RESULT_OK, OpenPort(&driver, StartRecorder(), 0, 9600));
    driver.eventsEnabled = 1;
    // Fewer frames than the event ring has slots, so none is overwritten before it is seen.
    // NAKs among them: a NAK is not posted, but the frames behind it in the same burst are.
    NoisyStream stream = MakeStream(7, EVENT_RING_SLOTS - 4);
    SendToDriver(peer, stream.bytes);
    std::vector<Bytes> answers = AnswersFromDriver(stream.answers.size());
    PumpFor(50);
    EXPECT_EQ(stream.answers, answers);
    std::vector<Bytes> posted;
    for (int i = 0; i < Recorder()->count; ++i)
    {
        const RecordedMessage* entry = &Recorder()->messages[i];
        if (entry->message == WM_CAMERA_EVENT && entry->wParam == CAMERA_EVENT_FRAME)
        {
            EXPECT_TRUE(entry->posted);
            posted.push_back(Bytes(entry->frame, entry->frame + entry->frame[0] + 1));
        }
    }
    std::vector<Bytes> expected;
    for (const Bytes& frame : stream.goodFrames)
        if (ClassifyFrame(frame.data()) != FRAME_NAK)
            expected.push_back(frame);
    EXPECT_EQ(expected, posted);
}
