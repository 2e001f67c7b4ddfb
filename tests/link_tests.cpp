// The camera link against a scripted peer on the simulated line: frames on the wire,
// reception and resynchronization, transactions, the reader thread and the driver messages.
#include <gtest/gtest.h>

#include "commands/camera_settings.h"
#include "link/camera_driver.h"
#include "link/line_trace.h"
#include "tests/scripted_peer.h"
#include "tests/test_window.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <thread>

static CameraDriver driver;
static CameraSettingsRecord settings; // what the camera control resets with each opening

class LinkTest : public ::testing::Test
{
  protected:
    ScriptedPeer* peer = 0;
    HWND window = 0;

    void SetUp() override
    {
        window = StartRecorder();
        peer = CreateScriptedPeer(0);
        ASSERT_EQ(0, OpenPort(&driver, window, 0, 9600));
    }

    void TearDown() override
    {
        ClosePort(&driver);
        DestroyScriptedPeer(peer);
    }
};

TEST_F(LinkTest, PanLeftStartWaitsForAckAndReply)
{
    OnRequest(peer, {0x06, 0x05, 0x12, 0x01}, Concat({ACK, Frame({0x04, 0x05, 0x92, 0x01})}));
    uint8_t request[8] = {0x06, 0x05, 0x12, 0x01, 0x02, 0x00};
    uint8_t reply[FRAME_BUFFER_SIZE];
    int length = 0;
    EXPECT_EQ(0, Transact(&driver, request, reply, &length, COMMAND_TIMEOUT_MS));
    EXPECT_EQ(0xE0, request[6]);
    EXPECT_EQ(5, length);
    EXPECT_EQ(0x92, reply[2]);
    ASSERT_TRUE(WaitForFramesFromDriver(peer, 2, 1000));
    std::vector<Bytes> frames = FramesFromDriver(peer);
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ(Bytes({0x06, 0x05, 0x12, 0x01, 0x02, 0x00, 0xE0}), frames[0]);
    EXPECT_EQ(ACK, frames[1]);
}

static ResultCode TransactStop(uint8_t* reply = 0, int* length = 0)
{
    uint8_t request[8] = {0x04, 0x05, 0x12, 0x02};
    return Transact(&driver, request, reply, length, COMMAND_TIMEOUT_MS);
}

static const Bytes STOP_REQUEST = {0x04, 0x05, 0x12, 0x02, 0xE3};
static const Bytes STOP_REPLY = {0x04, 0x05, 0x92, 0x02, 0x63};

TEST_F(LinkTest, ReplyBeforeAckAlsoSucceedsWhenTheAckArrives)
{
    OnRequest(peer, STOP_REQUEST, Concat({STOP_REPLY, ACK}));
    uint8_t reply[FRAME_BUFFER_SIZE];
    int length = 0;
    EXPECT_EQ(0, TransactStop(reply, &length));
    EXPECT_EQ(STOP_REPLY, Bytes(reply, reply + length));
    EXPECT_EQ(ACK, Bytes(driver.replyBuffer, driver.replyBuffer + 4)); // the ACK came last
}

TEST_F(LinkTest, EchoOfTheRequestIsSkippedButAcknowledged)
{
    OnRequest(peer, STOP_REQUEST, Concat({STOP_REQUEST, ACK, STOP_REPLY}));
    driver.panTiltArrived = 0;
    uint8_t reply[FRAME_BUFFER_SIZE];
    int length = 0;
    EXPECT_EQ(0, TransactStop(reply, &length));
    EXPECT_EQ(STOP_REPLY, Bytes(reply, reply + length));
    ASSERT_TRUE(WaitForFramesFromDriver(peer, 3, 1000));
    EXPECT_EQ(2, CountFromDriver(peer, ACK)); // the echo and the reply
    EXPECT_EQ(1, driver.panTiltArrived);
}

TEST_F(LinkTest, EventBetweenAckAndReplyIsSentToTheWindowSynchronously)
{
    Bytes event = Frame({0x05, 0x05, 0xB8, 0x01, 0xE0});
    OnRequest(peer, STOP_REQUEST, Concat({ACK, event, STOP_REPLY}));
    EXPECT_EQ(0, TransactStop());
    ASSERT_EQ(1, CountMessages(WM_CAMERA_EVENT, CAMERA_EVENT_FRAME));
    const RecordedMessage* message = &Recorder()->messages[0];
    for (int i = 0; i < Recorder()->count; ++i)
        if (Recorder()->messages[i].message == WM_CAMERA_EVENT)
            message = &Recorder()->messages[i];
    EXPECT_FALSE(message->posted);
    EXPECT_EQ(event, Bytes(message->frame, message->frame + event.size()));
}

TEST_F(LinkTest, ReplyOfAnotherCommandIsIgnoredButAcknowledgedAndMarked)
{
    Bytes zoomReply = Frame({0x04, 0x01, 0x92, 0x03});
    Bytes otherCommand = Frame({0x04, 0x05, 0x93, 0x02});
    OnRequest(peer, STOP_REQUEST, Concat({ACK, zoomReply, otherCommand, STOP_REPLY}));
    driver.zoomArrived = 0;
    uint8_t reply[FRAME_BUFFER_SIZE];
    int length = 0;
    EXPECT_EQ(0, TransactStop(reply, &length));
    EXPECT_EQ(STOP_REPLY, Bytes(reply, reply + length));
    ASSERT_TRUE(WaitForFramesFromDriver(peer, 4, 1000));
    EXPECT_EQ(3, CountFromDriver(peer, ACK));
    EXPECT_EQ(1, driver.zoomArrived);
}

TEST_F(LinkTest, NakEndsTheTransactionWithMinusSix)
{
    OnRequest(peer, STOP_REQUEST, Frame({0x03, 0x88, 0x01}));
    EXPECT_EQ(-6, TransactStop());
    EXPECT_EQ(-6, driver.lastResult);
    PumpFor(20);
    EXPECT_EQ(1u, FramesFromDriver(peer).size()); // an acknowledgement is never acknowledged
    EXPECT_EQ(1, CountMessages(WM_LINK_STATUS, 1));
}

TEST_F(LinkTest, BadChecksumIsAnsweredWithChecksumNakAndReceptionGoesOn)
{
    Bytes corrupt = {0x04, 0x05, 0x92, 0x02, 0x64};
    OnRequest(peer, STOP_REQUEST, Concat({ACK, corrupt, STOP_REPLY}));
    EXPECT_EQ(0, TransactStop());
    ASSERT_TRUE(WaitForFramesFromDriver(peer, 3, 1000));
    EXPECT_EQ(1, CountFromDriver(peer, CHECKSUM_NAK));
    EXPECT_EQ(1, CountFromDriver(peer, ACK));
}

TEST_F(LinkTest, BytesThatCannotStartAFrameAreSkipped)
{
    // 2 and 33 are no length bytes; 3 and 32 are the smallest and largest frames.
    Bytes smallest = Frame({0x03, 0x05, 0x8C});
    Bytes largest = {0x20, 0x05, 0x92};
    largest.resize(32, 0x11);
    largest.push_back(FrameChecksum(largest.data(), 32));
    OnRequest(peer, STOP_REQUEST,
              Concat({{0x02, 0x21, 0x00, 0xFF}, ACK, {0x21}, smallest, largest}));
    uint8_t reply[FRAME_BUFFER_SIZE];
    int length = 0;
    EXPECT_EQ(0, TransactStop(reply, &length));
    EXPECT_EQ(33, length);
    EXPECT_EQ(largest, Bytes(reply, reply + length));
    ASSERT_TRUE(WaitForFramesFromDriver(peer, 3, 1000));
    EXPECT_EQ(2, CountFromDriver(peer, ACK)); // the 4-byte frame and the 33-byte reply
}

TEST_F(LinkTest, AckOnlyTransactionReturnsOnTheAck)
{
    Bytes zoomTo = {0x07, 0x01, 0x12, 0x02, 0x02, 0x12, 0x34, 0x9C};
    OnRequest(peer, zoomTo, ACK);
    uint8_t request[9] = {0x07, 0x01, 0x12, 0x02, 0x02, 0x12, 0x34};
    DWORD start = GetTickCount();
    EXPECT_EQ(0, TransactAckOnly(&driver, request));
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(zoomTo, Bytes(request, request + 8));
}

// A run of failing transactions is one failure for the window, not a flicker of
// failure and recovery around every request written.
TEST_F(LinkTest, AfterAFailureTheNextSuccessReportsRecoveryOnce)
{
    OnRequest(peer, STOP_REQUEST, Frame({0x03, 0x88, 0x01}), 0, 2);
    OnRequest(peer, STOP_REQUEST, Concat({ACK, STOP_REPLY}));
    EXPECT_EQ(-6, TransactStop());
    EXPECT_EQ(-6, TransactStop());
    EXPECT_EQ(0, TransactStop());
    EXPECT_EQ(0, TransactStop());
    EXPECT_EQ(1, CountMessages(WM_LINK_STATUS, 1));
    EXPECT_EQ(1, CountMessages(WM_LINK_STATUS, 0));
}

TEST_F(LinkTest, FirstReadyFrameReportsTheCameraUp)
{
    OnRequest(peer, STOP_REQUEST, Concat({ACK, STOP_REPLY}));
    EXPECT_EQ(0, driver.cameraReady);
    EXPECT_EQ(0, TransactStop());
    EXPECT_EQ(1, driver.cameraReady);
    EXPECT_EQ(0, TransactStop());
    EXPECT_EQ(1, CountMessages(WM_CAMERA_POWER, 1));
}

TEST_F(LinkTest, TransactionNarrowsTheEventMaskAndRestoresIt)
{
    OnRequest(peer, STOP_REQUEST, Frame({0x03, 0x88, 0x01}));
    EXPECT_EQ(-6, TransactStop());
    EXPECT_EQ(RECEIVE_EVENT_MASK, PeerLine(peer)->eventMask);
    ClearRules(peer);
    SimFailNextWrites(PeerLine(peer), 1);
    EXPECT_EQ(-11, TransactStop());
    EXPECT_EQ(RECEIVE_EVENT_MASK, PeerLine(peer)->eventMask);
}

TEST_F(LinkTest, FailedWriteStopsTheFrameAtThatByte)
{
    SimFailNextWrites(PeerLine(peer), 1);
    uint8_t request[8] = {0x06, 0x05, 0x12, 0x01, 0x02, 0x00};
    EXPECT_EQ(-11, SendRequest(&driver, request));
    PumpFor(30);
    EXPECT_TRUE(FramesFromDriver(peer).empty());
}

// --- Port ---

TEST(OpenPort, RejectsBadArgumentsAndOpensNothing)
{
    ScriptedPeer* peer = CreateScriptedPeer(0);
    const int cases[][2] = {{4, 9600}, {-1, 9600}, {0, 19200}, {0, 0}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(-1, OpenPort(&driver, 0, c[0], c[1]));
        EXPECT_EQ(-1, driver.lastResult);
        EXPECT_EQ(0, driver.portOpen);
        EXPECT_EQ(nullptr, driver.portHandle);
        EXPECT_EQ(c[0], driver.portIndex);
        EXPECT_EQ(c[1], driver.lineSpeed);
    }
    EXPECT_EQ(0, PeerLine(peer)->openCount);
    DestroyScriptedPeer(peer);
}

TEST(OpenPort, ResetsTheCameraSettingsAndOpensTheNamedPort)
{
    ScriptedPeer* first = CreateScriptedPeer(0);
    ScriptedPeer* last = CreateScriptedPeer(3);
    settings.panSpeed = 12;
    settings.zoomSpeed = 1;
    settings.whiteBalanceLevel = 5;
    driver.eventsEnabled = 1;
    settings.recallRetries = 7;
    ResetCameraSettings(&settings); // the camera control's part of opening the port
    ASSERT_EQ(0, OpenPort(&driver, 0, 3, 14400));
    EXPECT_EQ(70, settings.panSpeed);
    EXPECT_EQ(7, settings.zoomSpeed);
    EXPECT_EQ(128, settings.whiteBalanceLevel);
    EXPECT_EQ(0, driver.eventsEnabled);
    EXPECT_EQ(7, settings.recallRetries);
    EXPECT_EQ(1, PeerLine(last)->openCount);
    EXPECT_EQ(0, PeerLine(first)->openCount);
    EXPECT_EQ(1, SimGetRts(PeerLine(last)));
    EXPECT_NE(0u, driver.readerThreadId);
    ClosePort(&driver);
    EXPECT_EQ(0, SimGetRts(PeerLine(last)));
    ASSERT_EQ(0, OpenPort(&driver, 0, 0, 4800));
    EXPECT_EQ(1, PeerLine(first)->openCount);
    ClosePort(&driver);
    DestroyScriptedPeer(first);
    DestroyScriptedPeer(last);
}

TEST(OpenPort, PortThatCannotBeOpenedGivesMinusTwo)
{
    ScriptedPeer* peer = CreateScriptedPeer(1);
    SimSetVanished(PeerLine(peer), 1);
    EXPECT_EQ(-2, OpenPort(&driver, 0, 1, 9600));
    EXPECT_EQ(0, driver.portOpen);
    EXPECT_EQ(nullptr, driver.readOverlapped.hEvent);
    EXPECT_EQ(0, ClosePort(&driver));
    DestroyScriptedPeer(peer);
}

TEST(ClosePort, OnAClosedDriverReturnsZeroAndChangesNothing)
{
    ResetDriver(&driver);
    driver.lastResult = -9;
    settings.panSpeed = 3;
    EXPECT_EQ(0, ClosePort(&driver));
    EXPECT_EQ(-9, driver.lastResult);
    EXPECT_EQ(3, settings.panSpeed);
}

TEST_F(LinkTest, ClosePortEndsTheReaderAndKeepsResultAndEvents)
{
    driver.eventsEnabled = 1;
    driver.lastResult = -6;
    DWORD start = GetTickCount();
    EXPECT_EQ(0, ClosePort(&driver));
    EXPECT_LT(GetTickCount() - start, 500u);
    EXPECT_EQ(0u, driver.readerThreadId);
    EXPECT_EQ(nullptr, driver.readerThread);
    EXPECT_EQ(nullptr, driver.portHandle);
    EXPECT_EQ(-6, driver.lastResult);
    EXPECT_EQ(1, driver.eventsEnabled);
    EXPECT_EQ(0, PeerLine(peer)->isOpen);
}

TEST_F(LinkTest, ClosePortLetsTheReadersSentMessageThrough)
{
    // The reader thread receives a ready frame and sends WM_CAMERA_POWER to this thread,
    // which is not pumping: ClosePort must deliver it rather than deadlock.
    SendToDriver(peer, STOP_REPLY);
    Sleep(100);
    DWORD start = GetTickCount();
    EXPECT_EQ(0, ClosePort(&driver));
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(1, CountMessages(WM_CAMERA_POWER, 1));
}

TEST_F(LinkTest, WaitForCtsWithZeroTimeOutLooksOnce)
{
    EXPECT_EQ(0, WaitForCts(&driver, 0));
    SimSetCts(PeerLine(peer), 0);
    DWORD start = GetTickCount();
    EXPECT_EQ(-8, WaitForCts(&driver, 0));
    EXPECT_LT(GetTickCount() - start, 50u);
    EXPECT_EQ(-8, driver.lastResult);
    EXPECT_EQ(1, CountMessages(WM_LINK_STATUS, 1));
    SimSetCts(PeerLine(peer), 1);
    EXPECT_EQ(0, WaitForCts(&driver, 0));
    EXPECT_EQ(1, CountMessages(WM_LINK_STATUS, 0));
}

TEST_F(LinkTest, WaitForCtsSeesTheLineComeOn)
{
    SimSetCts(PeerLine(peer), 0);
    SimulatedLine* line = PeerLine(peer);
    std::thread raise([line] {
        Sleep(100);
        SimSetCts(line, 1);
    });
    DWORD start = GetTickCount();
    EXPECT_EQ(0, WaitForCts(&driver, 2000));
    EXPECT_GE(GetTickCount() - start, 90u);
    raise.join();
}

static bool HasCtsEvents(void* count)
{
    return CountMessages(WM_CAMERA_EVENT, CAMERA_EVENT_CTS_OFF) +
               CountMessages(WM_CAMERA_EVENT, CAMERA_EVENT_CTS_ON) >=
           *(int*)count;
}

TEST_F(LinkTest, CtsChangesArePostedOnlyWhileEventsAreEnabled)
{
    SimSetCts(PeerLine(peer), 0);
    SimSetCts(PeerLine(peer), 1);
    PumpFor(100);
    EXPECT_EQ(0, Recorder()->count);
    driver.eventsEnabled = 1;
    SimSetCts(PeerLine(peer), 0);
    int one = 1;
    ASSERT_TRUE(PumpUntil(HasCtsEvents, &one, 1000));
    SimSetCts(PeerLine(peer), 1);
    int two = 2;
    ASSERT_TRUE(PumpUntil(HasCtsEvents, &two, 1000));
    ASSERT_EQ(2, Recorder()->count);
    EXPECT_EQ(CAMERA_EVENT_CTS_OFF, Recorder()->messages[0].wParam);
    EXPECT_EQ(CAMERA_EVENT_CTS_ON, Recorder()->messages[1].wParam);
    EXPECT_TRUE(Recorder()->messages[0].posted);
}

// The byte reads below run as a transaction does: with the reader thread kept asleep.
TEST_F(LinkTest, ReadByteTimesOutNotBeforeItsTimeOut)
{
    SetPortEventMask(&driver, TRANSACTION_EVENT_MASK);
    DWORD start = GetTickCount();
    EXPECT_EQ(-9, ReadByte(&driver, 200));
    EXPECT_GE(GetTickCount() - start, 200u);
    SendToDriver(peer, {0x42});
    EXPECT_EQ(0x42, ReadByte(&driver, 1000));
}

// --- Waits that sleep on the line's event ---

// The wait for bytes ends when a byte comes, not at its time-out nor after a fixed step.
TEST_F(LinkTest, WaitForBytesEndsWhenAByteIsSent)
{
    SetPortEventMask(&driver, TRANSACTION_EVENT_MASK);
    ASSERT_TRUE(TryTakeReceiveInterlock(&driver));
    std::thread sender([this] {
        Sleep(200);
        SendToDriver(peer, {0x42});
    });
    DWORD start = GetTickCount();
    WaitForLineOrMessages(&driver, 3000);
    DWORD waited = GetTickCount() - start;
    sender.join();
    EXPECT_GE(waited, 150u);
    EXPECT_LT(waited, 1500u);
    EXPECT_EQ(1, BytesWaiting(&driver));
    EXPECT_EQ(0x42, ReadByte(&driver, 0));
    ReleaseReceiveInterlock(&driver);
}

// The wait for bytes looks at the queue after it armed the line's event and before it sleeps.
// A byte sent in between must still end the sleep (the event is set, not reset by the arming);
// a byte already there when the wait is armed must not be slept on at all.
TEST_F(LinkTest, ByteSentBetweenTheLookAndTheSleepIsNotLost)
{
    SetPortEventMask(&driver, TRANSACTION_EVENT_MASK);
    ASSERT_TRUE(TryTakeReceiveInterlock(&driver));
    DWORD dueMs = 0;
    HANDLE event = driver.line->armInputWait(driver.portHandle, &driver.lineWait,
                                             &driver.readOverlapped, &dueMs);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(INFINITE, dueMs);
    EXPECT_EQ(0, BytesWaiting(&driver)); // the look
    SendToDriver(peer, {0x42});          // the byte, before the sleep
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 1000));
    driver.line->endInputWait(driver.portHandle, &driver.lineWait, &driver.readOverlapped);

    driver.line->armInputWait(driver.portHandle, &driver.lineWait, &driver.readOverlapped,
                              &dueMs);
    EXPECT_EQ(0u, dueMs);
    driver.line->endInputWait(driver.portHandle, &driver.lineWait, &driver.readOverlapped);
    EXPECT_EQ(0x42, ReadByte(&driver, 0));
    ReleaseReceiveInterlock(&driver);
}

// Delay sleeps: it takes its time without keeping a core busy. DelayPumping lets a message
// another thread sends to this thread's window through at once.
TEST(Timing, DelaySleepsAndDelayPumpingDeliversSentMessages)
{
    HWND window = StartRecorder();
    long long cpuBefore = ProcessCpuMs();
    DWORD start = GetTickCount();
    Delay(500);
    EXPECT_GE(GetTickCount() - start, 500u);
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 200);

    ClearRecorder();
    DWORD sentAfter = 0;
    std::thread sender([window, &sentAfter] {
        Sleep(100);
        DWORD sendStart = GetTickCount();
        SendMessageA(window, WM_CAMERA_POWER, 1, 0);
        sentAfter = GetTickCount() - sendStart;
    });
    start = GetTickCount();
    DelayPumping(600);
    EXPECT_GE(GetTickCount() - start, 600u);
    sender.join();
    EXPECT_EQ(1, CountMessages(WM_CAMERA_POWER, 1));
    EXPECT_LT(sentAfter, 300u) << "the sent message waited for the end of the pause";
}

TEST_F(LinkTest, ReadFailureGivesMinusTen)
{
    SetPortEventMask(&driver, TRANSACTION_EVENT_MASK);
    SendToDriver(peer, {0x42});
    PumpFor(10);
    SimFailNextReads(PeerLine(peer), 1);
    EXPECT_EQ(-10, ReadByte(&driver, 100));
}

// --- Reader thread ---

static bool HasFrameEvents(void* count)
{
    return CountMessages(WM_CAMERA_EVENT, CAMERA_EVENT_FRAME) >= *(int*)count;
}

TEST_F(LinkTest, ReaderThreadPostsEveryFrameThroughTheRing)
{
    driver.eventsEnabled = 1;
    for (int i = 0; i < EVENT_RING_SLOTS + 1; ++i)
    {
        SendToDriver(peer, Frame({0x05, 0x05, 0xB8, 0x01, (uint8_t)i}));
        int expected = i + 1;
        ASSERT_TRUE(PumpUntil(HasFrameEvents, &expected, 2000)) << "frame " << i;
    }
    // The seventeenth frame went into slot 0 again.
    EXPECT_EQ(1, driver.eventSlot);
    EXPECT_EQ(16, driver.eventRing[0][4]);
    EXPECT_EQ(15, driver.eventRing[15][4]);
    ASSERT_TRUE(WaitForFramesFromDriver(peer, 17, 1000));
    EXPECT_EQ(17, CountFromDriver(peer, ACK));
    EXPECT_TRUE(Recorder()->messages[Recorder()->count - 1].posted);
}

TEST_F(LinkTest, ReaderThreadPostsNothingWhileEventsAreDisabled)
{
    SendToDriver(peer, Frame({0x05, 0x05, 0xB8, 0x01, 0x10}));
    ASSERT_TRUE(WaitForFramesFromDriver(peer, 1, 2000)); // acknowledged all the same
    PumpFor(50);
    EXPECT_EQ(0, CountMessages(WM_CAMERA_EVENT));
}

struct EventStorm
{
    ScriptedPeer* peer;
    volatile LONG stop;
    int sent;
};

static DWORD WINAPI SendEventStorm(LPVOID argument)
{
    EventStorm* storm = (EventStorm*)argument;
    while (!storm->stop)
    {
        SendToDriver(storm->peer, Frame({0x05, 0x05, 0xB8, 0x01, (uint8_t)storm->sent}));
        ++storm->sent;
        Sleep(3);
    }
    return 0;
}

TEST_F(LinkTest, ReaderThreadAndTransactionsNeverReadTheSameFrame)
{
    // Unsolicited frames keep arriving while transactions run. Had both threads read the
    // port at once, frames would be torn apart: the driver would answer checksum NAKs, and
    // frames would be lost or counted twice.
    driver.eventsEnabled = 1;
    OnRequest(peer, STOP_REQUEST, Concat({ACK, STOP_REPLY}));
    EventStorm storm = {peer, 0, 0};
    HANDLE thread = CreateThread(0, 0, SendEventStorm, &storm, 0, 0);
    int failures = 0;
    for (int i = 0; i < 100; ++i)
    {
        failures += TransactStop() != 0;
        PumpMessages();
    }
    InterlockedExchange(&storm.stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    ASSERT_TRUE(WaitForFramesFromDriver(peer, 2 * 100 + storm.sent, 2000));
    PumpFor(100);
    EXPECT_EQ(0, failures);
    EXPECT_EQ(0, CountFromDriver(peer, CHECKSUM_NAK));
    EXPECT_EQ(storm.sent, CountMessages(WM_CAMERA_EVENT, CAMERA_EVENT_FRAME));
    EXPECT_EQ(storm.sent + 100, CountFromDriver(peer, ACK));
}

TEST_F(LinkTest, VanishedPortEndsATransactionPromptly)
{
    OnRequest(peer, STOP_REQUEST, Concat({ACK, STOP_REPLY}), 2000);
    SimulatedLine* line = PeerLine(peer);
    std::thread pull([line] {
        Sleep(100);
        SimSetVanished(line, 1);
    });
    DWORD start = GetTickCount();
    EXPECT_EQ(-10, TransactStop());
    EXPECT_LT(GetTickCount() - start, 1000u);
    pull.join();
    EXPECT_EQ(-11, TransactStop());
    start = GetTickCount();
    EXPECT_EQ(0, ClosePort(&driver));
    EXPECT_LT(GetTickCount() - start, 1000u);
}


TEST_F(LinkTest, ReaderThreadDoesNotSpinWhenItsWaitFails)
{
    SimSetVanished(PeerLine(peer), 1); // every wait now fails at once
    SetPortEventMask(&driver, RECEIVE_EVENT_MASK);
    long long before = ProcessCpuMs();
    Sleep(1000);
    long long used = ProcessCpuMs() - before;
    EXPECT_LT(used, 200) << "the reader thread spins on a failing wait";
}

TEST_F(LinkTest, ClosePortIsQuickWhenTheReaderWaitsOnAnEmptyMask)
{
    // The reader may begin its wait just after ClosePort has cleared the mask: such a wait
    // must end at once rather than keep ClosePort waiting for a thread that never wakes.
    SetPortEventMask(&driver, 0);
    Sleep(100);
    DWORD start = GetTickCount();
    EXPECT_EQ(0, ClosePort(&driver));
    EXPECT_LT(GetTickCount() - start, 500u);
    EXPECT_EQ(0u, driver.readerThreadId);
}

TEST_F(LinkTest, OpeningAnOpenDriverClosesItFirst)
{
    ScriptedPeer* other = CreateScriptedPeer(2);
    ASSERT_EQ(0, OpenPort(&driver, window, 2, 9600));
    EXPECT_EQ(0, PeerLine(peer)->isOpen);
    EXPECT_EQ(1, PeerLine(other)->isOpen);
    ClosePort(&driver);
    DestroyScriptedPeer(other);
}

// --- Line trace ---

// The trace's lines without their times ("COM1 PC>CAM 04 05 12 02 E3"); each time must be a
// number that never goes back.
static std::vector<std::string> TraceWithoutTimes(const std::string& path)
{
    std::vector<std::string> lines;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return lines;
    char text[256];
    unsigned long last = 0;
    while (fgets(text, sizeof text, file))
    {
        char* rest = 0;
        unsigned long ms = strtoul(text, &rest, 10);
        EXPECT_TRUE(rest != text && *rest == ' ' && ms >= last) << text;
        last = ms;
        std::string line(rest + 1);
        EXPECT_EQ("\r\n", line.substr(line.size() - 2)) << text;
        lines.push_back(line.substr(0, line.size() - 2));
    }
    fclose(file);
    return lines;
}

static std::string TempFile(const char* name)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + name;
}

// Once this many more bytes have passed the tap, the next read or write (the line's failure
// count given to the tap) fails. The tap runs with the line's lock held.
static int tapBytesLeft;

static void FailAfterBytes(void* failureCount, uint8_t, int64_t)
{
    if (tapBytesLeft > 0 && --tapBytesLeft == 0)
        *(int*)failureCount = 1;
}

// Every frame on the line as it passed, bytes that make no frame too: skipped garbage, a reply
// cut short by a failed read, a request whose write failed part way, and garbage the reader
// thread was looking at when the port closed.
TEST_F(LinkTest, LineTraceHoldsEveryFrameAndTheBytesThatMakeNone)
{
    std::string path = TempFile("hlr8_link_trace.log");
    ASSERT_EQ(1, OpenLineTrace(path.c_str()));
    SimulatedLine* line = PeerLine(peer);
    OnRequest(peer, STOP_REQUEST, Concat({{0x02, 0x21, 0xFF}, ACK, STOP_REPLY}), 0, 1);
    EXPECT_EQ(0, TransactStop());

    OnRequest(peer, STOP_REQUEST, Concat({ACK, STOP_REPLY}));
    tapBytesLeft = 4 + 3; // the ACK and three bytes of the reply
    SimSetReadTap(line, FailAfterBytes, &line->failReads);
    EXPECT_EQ(-10, TransactStop());
    SimSetReadTap(line, 0, 0);
    for (DWORD start = GetTickCount(); SimPendingToDriver(line) && GetTickCount() - start < 2000;)
        Sleep(1); // the reader thread takes the rest of the reply: no length byte there

    tapBytesLeft = 3;
    SimSetWriteTap(line, FailAfterBytes, &line->failWrites);
    uint8_t request[8] = {0x06, 0x05, 0x12, 0x01, 0x02, 0x00};
    EXPECT_EQ(-11, SendRequest(&driver, request));
    SimSetWriteTap(line, 0, 0);
    ClosePort(&driver);
    CloseLineTrace();

    EXPECT_EQ(std::vector<std::string>({
                  "COM1 PC>CAM 04 05 12 02 E3",
                  "COM1 CAM>PC? 02 21 FF",
                  "COM1 CAM>PC 03 88 00 75",
                  "COM1 CAM>PC 04 05 92 02 63",
                  "COM1 PC>CAM 03 88 00 75",
                  "COM1 PC>CAM 04 05 12 02 E3",
                  "COM1 CAM>PC 03 88 00 75",
                  "COM1 CAM>PC? 04 05 92",
                  "COM1 PC>CAM? 06 05 12",
                  "COM1 CAM>PC? 02 63",
              }),
              TraceWithoutTimes(path));
    EXPECT_FALSE(LineTraceIsOpen());
    DeleteFileA(path.c_str());
}
