// The link's real-time time-outs: a silent camera, a camera that stops mid-frame, and the
// wait for CTS. Each case waits out a time-out of seconds, so they live apart from the
// quick link tests and run in parallel with them.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <thread>

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

// The time-out is slept, not spun; a message another thread sends to this thread's window
// meanwhile is delivered at once, not after the time-out.
TEST_F(SilentCamera, TimeOutIsSleptAndLetsSentMessagesThrough)
{
    HWND window = Recorder()->window;
    ClearRecorder();
    DWORD sentAfter = 0;
    std::thread sender([window, &sentAfter] {
        Sleep(1000);
        DWORD sendStart = GetTickCount();
        SendMessageA(window, WM_CAMERA_EVENT, CAMERA_EVENT_CTS_ON, 0);
        sentAfter = GetTickCount() - sendStart;
    });
    long long cpuBefore = ProcessCpuMs();
    DWORD start = GetTickCount();
    EXPECT_EQ(-9, Stop());
    DWORD elapsed = GetTickCount() - start;
    long long cpu = ProcessCpuMs() - cpuBefore;
    sender.join();
    printf("a silent camera's time-out: %lu ms, %lld ms of the process's CPU\n",
           (unsigned long)elapsed, cpu);
    EXPECT_GE(elapsed, 5000u);
    EXPECT_LT(elapsed, 5500u);
    EXPECT_LT(cpu, 500) << "the wait for the answer keeps a core busy";
    EXPECT_EQ(1, CountMessages(WM_CAMERA_EVENT, CAMERA_EVENT_CTS_ON));
    EXPECT_LT(sentAfter, 500u) << "the sent message waited for the end of the time-out";
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

// --- ClosePort while the reader thread is held up in the window ---

// The reader thread sends WM_CAMERA_POWER synchronously; this window takes longer over it than
// ClosePort would once wait for the reader.
static const DWORD SLOW_HANDLER_MS = 5200;
static int slowPowerMessages;

static LRESULT CALLBACK SlowPowerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CAMERA_POWER)
    {
        ++slowPowerMessages;
        Sleep(SLOW_HANDLER_MS);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND CreateSlowPowerWindow()
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = SlowPowerWindowProc;
    windowClass.hInstance = GetModuleHandleA(0);
    windowClass.lpszClassName = "HLR8SlowPowerWindow";
    RegisterClassA(&windowClass);
    return CreateWindowA("HLR8SlowPowerWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, 0,
                         GetModuleHandleA(0), 0);
}

TEST(ClosePortWithASlowWindow, WaitsForTheReaderAndLeavesTheNextReaderAlone)
{
    HWND window = CreateSlowPowerWindow();
    ASSERT_NE(nullptr, window);
    ScriptedPeer* peer = CreateScriptedPeer(1);
    ASSERT_EQ(0, OpenPort(&driver, window, 1, 9600));
    HANDLE firstReader = 0;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), driver.readerThread, GetCurrentProcess(),
                                &firstReader, SYNCHRONIZE, FALSE, 0));

    // A ready frame: the reader marks the camera up and blocks sending WM_CAMERA_POWER to
    // this thread, which only ClosePort's wait will let through.
    SendToDriver(peer, STOP_REPLY);
    DWORD start = GetTickCount();
    while (!driver.cameraReady && GetTickCount() - start < 2000)
        Sleep(1);
    ASSERT_EQ(1, driver.cameraReady);

    EXPECT_EQ(0, ClosePort(&driver));
    EXPECT_EQ(1, slowPowerMessages);
    EXPECT_GE(GetTickCount() - start, SLOW_HANDLER_MS);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(firstReader, 0))
        << "ClosePort closed the port while its reader thread still ran";
    CloseHandle(firstReader);

    // The port opened again: the first reader must not touch the second one's handle or id.
    ASSERT_EQ(0, OpenPort(&driver, window, 1, 9600));
    Sleep(300);
    EXPECT_NE(0u, driver.readerThreadId);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(driver.readerThread, 0));
    start = GetTickCount();
    EXPECT_EQ(0, ClosePort(&driver));
    EXPECT_LT(GetTickCount() - start, 500u);
    EXPECT_EQ(0u, driver.readerThreadId);
    EXPECT_EQ(nullptr, driver.readerThread);
    DestroyScriptedPeer(peer);
    DestroyWindow(window);
}
