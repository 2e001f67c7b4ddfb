// The link's real-time time-outs: a silent camera, a camera that stops mid-frame, and the
// wait for CTS. Each case waits out a time-out of seconds, so they live apart from the
// quick link tests and run in parallel with them.
#include <gtest/gtest.h>

#include "link/camera_driver.h"
#include "tests/scripted_peer.h"
#include "tests/test_window.h"

static CameraDriver driver;

static const Bytes STOP_REQUEST = {0x04, 0x05, 0x12, 0x02, 0xE3};
static const Bytes STOP_REPLY = {0x04, 0x05, 0x92, 0x02, 0x63};

class SilentCamera : public ::testing::Test
{
  protected:
    ScriptedPeer* peer = 0;

    void SetUp() override
    {
        HWND window = StartRecorder();
        peer = CreateScriptedPeer(1);
        ASSERT_EQ(0, OpenPort(&driver, window, 1, 9600));
    }

    void TearDown() override
    {
        ClosePort(&driver);
        DestroyScriptedPeer(peer);
    }

    ResultCode Stop()
    {
        uint8_t request[8] = {0x04, 0x05, 0x12, 0x02};
        return Transact(&driver, request, 0, 0, COMMAND_TIMEOUT_MS);
    }
};

TEST_F(SilentCamera, TransactionGivesUpAfterFiveSecondsAndReportsTheCameraGone)
{
    OnRequest(peer, STOP_REQUEST, Concat({ACK, STOP_REPLY}), 0, 1);
    ASSERT_EQ(0, Stop());
    ASSERT_EQ(1, driver.cameraReady);
    ClearRecorder();

    DWORD start = GetTickCount();
    EXPECT_EQ(-9, Stop());
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 5000u);
    EXPECT_LT(elapsed, 6000u);
    EXPECT_EQ(-9, driver.lastResult);
    EXPECT_EQ(0, driver.cameraReady);
    EXPECT_EQ(1, CountMessages(WM_CAMERA_POWER, 0));
    EXPECT_EQ(1, CountMessages(WM_LINK_STATUS, 1));

    // The camera answers again: recovery is reported exactly once.
    OnRequest(peer, STOP_REQUEST, Concat({ACK, STOP_REPLY}));
    EXPECT_EQ(0, Stop());
    EXPECT_EQ(0, Stop());
    EXPECT_EQ(1, CountMessages(WM_LINK_STATUS, 0));
    EXPECT_EQ(1, CountMessages(WM_CAMERA_POWER, 1));
}

TEST_F(SilentCamera, AckOnlyTransactionGivesUpAfterFiveSeconds)
{
    uint8_t request[10] = {0x09, 0x05, 0x12, 0x05, 0x02, 0x01, 0x00, 0x02, 0x00};
    DWORD start = GetTickCount();
    EXPECT_EQ(-9, TransactAckOnly(&driver, request));
    EXPECT_GE(GetTickCount() - start, 5000u);
}

TEST_F(SilentCamera, FrameCutShortGivesMinusNineAfterTheByteTimeOut)
{
    // The ACK arrives, then a reply whose last two bytes never come.
    OnRequest(peer, STOP_REQUEST, Concat({ACK, {0x04, 0x05, 0x92}}));
    DWORD start = GetTickCount();
    EXPECT_EQ(-9, Stop());
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 3000u);
    EXPECT_LT(elapsed, 4000u);
}

TEST_F(SilentCamera, WaitForCtsGivesUpAfterItsTimeOut)
{
    SimSetCts(PeerLine(peer), 0);
    DWORD start = GetTickCount();
    EXPECT_EQ(-8, WaitForCts(&driver, 3000));
    EXPECT_GE(GetTickCount() - start, 3000u);
    EXPECT_EQ(-8, driver.lastResult);
    EXPECT_EQ(1, CountMessages(WM_LINK_STATUS, 1));
}
