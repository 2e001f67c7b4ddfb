// A short soak of the link: a few hundred transactions against a virtual camera injecting
// faults from a fixed seed (bench/soak_harness.h), with the link's invariants checked; and
// the camera's reply delay setting that the benchmarks rely on.
#include <gtest/gtest.h>

#include "bench/soak_harness.h"
#include "link/result_codes.h"
#include "sim/camera_model.h"

#include <vector>

typedef std::vector<uint8_t> Bytes;

// --- The soak ---

// Higher rates than the long soak, so that every disturbance comes up in a few hundred
// transactions; one outage of each kind.
static SoakOptions ShortSoak()
{
    SoakOptions options;
    DefaultSoakOptions(&options);
    options.transactions = 300;
    options.seed = 7;
    options.perMille[SOAK_GARBAGE] = 40;
    options.perMille[SOAK_REMOTE_KEY] = 40;
    options.perMille[SOAK_CORRUPT_ACK] = 25;
    options.perMille[SOAK_CORRUPT_REPLY] = 25;
    options.perMille[SOAK_DROP_ACK] = 15;
    options.perMille[SOAK_DROP_REPLY] = 15;
    options.perMille[SOAK_NAK] = 20;
    options.perMille[SOAK_ERROR_REPLY] = 15;
    options.perMille[SOAK_LATE] = 10;
    options.outageEvery = 100;
    options.outageLength = 3;
    options.ackOnlyPerMille = 50;
    return options;
}

static int Count(const SoakResult& r, int disturbance)
{
    int total = 0;
    for (int o = 0; o < SOAK_OUTCOMES; ++o)
        total += r.outcomes[disturbance][o];
    return total;
}

const int OUTCOME_OK = 0;
const int OUTCOME_NAK = 1;
const int OUTCOME_TIMEOUT = 2;
const int OUTCOME_WRITE_ERROR = 4;

class ShortSoakRun : public ::testing::Test
{
  protected:
    static SoakOptions options;
    static SoakResult result;
    static bool ran;

    // One run for all the checks below: it takes some 20 s.
    static void SetUpTestSuite()
    {
        options = ShortSoak();
        ran = RunSoak(&options, &result) != 0;
        if (ran && result.violations)
            PrintSoakResult(stdout, &result);
    }
    void SetUp() override
    {
        ASSERT_TRUE(ran) << "the port could not be opened on the virtual camera";
    }
};

SoakOptions ShortSoakRun::options;
SoakResult ShortSoakRun::result;
bool ShortSoakRun::ran;

TEST_F(ShortSoakRun, EveryDisturbanceAndOutageComesUp)
{
    EXPECT_EQ(options.transactions, result.transactions);
    for (int d = SOAK_GARBAGE; d < SOAK_DISTURBANCES; ++d)
        EXPECT_LT(0, Count(result, d)) << SoakDisturbanceName(d);
}

TEST_F(ShortSoakRun, EveryTransactionEndsInTimeWithSuccessOrALinkFailure)
{
    EXPECT_EQ(0, result.unexpectedCodes);
    EXPECT_EQ(0, result.overLimit);
    for (int d = 0; d < SOAK_DISTURBANCES; ++d)
        EXPECT_GE(SoakTransactionLimitMs(&options, d == SOAK_ZOOM_MOVE), result.maxMs[d])
            << SoakDisturbanceName(d);
}

TEST_F(ShortSoakRun, FaultsEndInTheFailureTheyStandFor)
{
    EXPECT_EQ(Count(result, SOAK_NAK), result.outcomes[SOAK_NAK][OUTCOME_NAK]);
    EXPECT_EQ(Count(result, SOAK_DROP_ACK), result.outcomes[SOAK_DROP_ACK][OUTCOME_TIMEOUT]);
    EXPECT_EQ(Count(result, SOAK_DROP_REPLY), result.outcomes[SOAK_DROP_REPLY][OUTCOME_TIMEOUT]);
    EXPECT_EQ(Count(result, SOAK_SILENT), result.outcomes[SOAK_SILENT][OUTCOME_TIMEOUT]);
    EXPECT_EQ(Count(result, SOAK_UNPLUGGED), result.outcomes[SOAK_UNPLUGGED][OUTCOME_TIMEOUT]);
    EXPECT_EQ(Count(result, SOAK_ADAPTER_PULLED),
              result.outcomes[SOAK_ADAPTER_PULLED][OUTCOME_WRITE_ERROR]);
    // A device error report counts as the reply; a late answer comes after the time-out.
    EXPECT_EQ(Count(result, SOAK_ERROR_REPLY), result.outcomes[SOAK_ERROR_REPLY][OUTCOME_OK]);
    EXPECT_EQ(Count(result, SOAK_LATE), result.outcomes[SOAK_LATE][OUTCOME_TIMEOUT]);
    // Undisturbed transactions succeed (a stall of the machine longer than the 200 ms
    // time-out may cost one now and then).
    EXPECT_LE(Count(result, SOAK_NONE) - 2, result.outcomes[SOAK_NONE][OUTCOME_OK]);
    EXPECT_EQ(Count(result, SOAK_ZOOM_MOVE), result.outcomes[SOAK_ZOOM_MOVE][OUTCOME_OK]);
}

TEST_F(ShortSoakRun, NoFrameIsReadByTwoThreadsOrWithoutTheInterlock)
{
    EXPECT_EQ(0, result.bytesReadWithoutInterlock);
    EXPECT_EQ(0, result.framesReadByTwoThreads);
    // Both threads did read frames: the zoom completions come between transactions.
    EXPECT_LT(0u, result.driverGoodByReader);
    EXPECT_LT(result.driverGoodByReader, result.driverGoodFrames);
}

TEST_F(ShortSoakRun, TheDriverReadsEveryByteTheCameraSentAndEveryGoodFrame)
{
    EXPECT_EQ(0, result.logEntriesLost);
    EXPECT_EQ(0, result.streamMismatches);
    EXPECT_EQ(0, result.unreadAtEnd);
    EXPECT_EQ(result.cameraGoodFrames, result.driverGoodFrames);
    // Every corrupted frame and every bad garbage frame was read as bad and NAKed.
    EXPECT_LE(result.cameraCorruptFrames, result.driverBadFrames);
    EXPECT_EQ(result.driverGoodByReader, result.postedFrames);
    EXPECT_EQ(0, result.badPostedFrames);
}

TEST_F(ShortSoakRun, TheLinkRecoversAfterTheOutages)
{
    EXPECT_EQ(0, result.readerThreadEnded);
    EXPECT_EQ(RESULT_OK, result.finalTransaction);
    EXPECT_LE(1u, result.ctsOff); // unplugged
    EXPECT_LE(1u, result.ctsOn);  // plugged in again
    EXPECT_EQ(0, result.violations);
}

// --- The camera's reply delay ---

static Bytes Output(CameraModel* camera)
{
    uint8_t bytes[CAMERA_OUTPUT_SIZE];
    int count = CameraTakeOutput(camera, bytes, sizeof bytes);
    return Bytes(bytes, bytes + count);
}

static void Feed(CameraModel* camera, Bytes request, uint32_t nowMs)
{
    request.push_back(FrameChecksum(request.data(), (int)request.size()));
    CameraFeed(camera, request.data(), (int)request.size(), nowMs);
}

static const Bytes STOP = {0x04, 0x05, 0x12, 0x02};
static const Bytes STOP_ACK_AND_REPLY = {0x03, 0x85, 0x00, 0x78, 0x04, 0x05, 0x92, 0x02, 0x63};

TEST(CameraReplyDelay, ZeroMakesTheReplyFollowTheAckAtOnce)
{
    CameraModel camera;
    CameraInit(&camera, 0);
    CameraSetRts(&camera, 1, 0);
    CameraSetReplyDelay(&camera, 0);
    Feed(&camera, STOP, 10);
    EXPECT_EQ(STOP_ACK_AND_REPLY, Output(&camera));
    uint32_t deadline = 0;
    EXPECT_TRUE(!CameraNextDeadline(&camera, &deadline) || deadline >= 10 + CAMERA_ACK_WAIT_MS);
}

TEST(CameraReplyDelay, StaysAsSetThroughAPowerCycleAndAppliesToCompletions)
{
    const uint32_t delay = 50;
    CameraModel camera;
    CameraInit(&camera, 0);
    EXPECT_EQ(CAMERA_REPLY_DELAY_MS, camera.replyDelayMs);
    CameraSetRts(&camera, 1, 0);
    CameraSetReplyDelay(&camera, delay);
    CameraPowerCycle(&camera, 0);
    CameraAdvance(&camera, CAMERA_BOOT_MS);
    Output(&camera);                                   // the power report
    Feed(&camera, {0x03, 0x88, 0x00}, CAMERA_BOOT_MS); // its ACK
    uint32_t start = CAMERA_BOOT_MS + 10;
    // A zoom move to where the zoom stands ends at once; its completion still waits the delay.
    Feed(&camera, {0x07, 0x01, 0x12, 0x02, 0x02, 0x00, 0x00}, start);
    EXPECT_EQ(Bytes({0x03, 0x81, 0x00, 0x7C}), Output(&camera));
    CameraAdvance(&camera, start + delay - 1);
    EXPECT_TRUE(Output(&camera).empty());
    CameraAdvance(&camera, start + delay);
    Bytes completion = Output(&camera);
    ASSERT_EQ(8u, completion.size());
    EXPECT_EQ(0x92, completion[2]);
}
