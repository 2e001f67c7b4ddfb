// The camera driver on the real COM-port backend: a socat pseudo-terminal pair that Wine maps to
// COM3 (the camera's end, played by the test) and COM4 (the console's end, opened by the driver).
//
// A pseudo-terminal has no modem lines. GetCommModemStatus, EscapeCommFunction SETRTS/CLRRTS
// and every WaitCommEvent with EV_CTS in the mask fail on it with error 50; even an
// EV_RXCHAR-only wait fails with 995 soon after it went pending. So CTS, RTS and a comm wait
// that stays pending cannot be covered here (the simulated line covers CTS and RTS in
// link_tests), and ClosePort is tried while the reader thread polls or receives instead. What
// these tests show is that the driver copes with those failures: it neither hangs nor spins,
// and its polling fallback still carries frames both ways.
//
// tools/test.sh starts the pair (tools/pty-ports.sh) and the Wine prefix maps the two ports;
// without them every test here skips.
#include <gtest/gtest.h>

#include "link/camera_driver.h"
#include "tests/scripted_peer.h"
#include "tests/test_window.h"

#include <stdio.h>
#include <string.h>
#include <string>
#include <thread>

const int CAMERA_PORT_INDEX = 2;  // COM3
const int CONSOLE_PORT_INDEX = 3; // COM4
const DWORD FRAME_WAIT_MS = 3000;
const DWORD CLOSE_BOUND_MS = 500;
const DWORD IDLE_MEASURE_MS = 2000;
const long long IDLE_CPU_LIMIT_MS = 200; // a tenth of a core

static CameraDriver driver;

static const Bytes STOP_REQUEST = {0x04, 0x05, 0x12, 0x02, 0xE3};
static const Bytes STOP_REPLY = {0x04, 0x05, 0x92, 0x02, 0x63};
static const Bytes REMOTE_EVENT = Frame({0x05, 0x05, 0xB8, 0x01, 0xE0}); // IR key, camera up

// --- The pty pair as Wine sees it ---

// The Unix path Wine maps a COM port to, from HKLM\Software\Wine\Ports; empty when unmapped.
static std::string MappedDevice(int portIndex)
{
    char name[8];
    snprintf(name, sizeof name, "COM%d", portIndex + 1);
    char value[MAX_PATH] = "";
    DWORD size = sizeof value - 1;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Ports", 0, KEY_READ, &key) != 0)
        return "";
    if (RegQueryValueExA(key, name, 0, 0, (BYTE*)value, &size) != 0)
        value[0] = 0;
    RegCloseKey(key);
    return value;
}

// A Unix path as a Windows path on Wine's Z: drive.
static std::string OnDriveZ(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return "Z:" + path;
}

static std::string PtyDirectory()
{
    std::string link = MappedDevice(CONSOLE_PORT_INDEX);
    return link.substr(0, link.find_last_of('/'));
}

// Both ports lead to the pty pair's links (whether socat runs shows when they are opened).
static bool PortsMappedToPtyPair()
{
    return MappedDevice(CAMERA_PORT_INDEX).find("/pty/com3") != std::string::npos &&
           MappedDevice(CONSOLE_PORT_INDEX).find("/pty/com4") != std::string::npos;
}

// The command line of a Unix process, arguments separated by NULs; empty once it has ended.
static std::string UnixCommandLine(int pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/cmdline", pid);
    FILE* file = fopen(OnDriveZ(path).c_str(), "rb");
    if (!file)
        return "";
    char text[1024];
    size_t got = fread(text, 1, sizeof text, file);
    fclose(file);
    return std::string(text, got);
}

// --- The camera's end of the cable, driven through the same backend ---

struct CameraEnd
{
    HANDLE port;
    OVERLAPPED read;
    OVERLAPPED write;
    LineWaitState state; // the camera's end never waits on events
};

// Opened before the driver's port.
static bool OpenCameraEnd(CameraEnd* camera)
{
    memset(camera, 0, sizeof *camera);
    camera->port = comPortBackend.open(CAMERA_PORT_INDEX, &camera->state);
    if (camera->port == INVALID_HANDLE_VALUE)
    {
        camera->port = 0;
        return false;
    }
    camera->read.hEvent = CreateEventA(0, TRUE, FALSE, 0);
    camera->write.hEvent = CreateEventA(0, TRUE, FALSE, 0);
    comPortBackend.prepare(camera->port);
    return comPortBackend.applyLineSettings(camera->port, 9600) != 0;
}

static void CloseCameraEnd(CameraEnd* camera)
{
    if (camera->port)
        comPortBackend.close(camera->port);
    if (camera->read.hEvent)
        CloseHandle(camera->read.hEvent);
    if (camera->write.hEvent)
        CloseHandle(camera->write.hEvent);
    memset(camera, 0, sizeof *camera);
}

static bool CameraSend(CameraEnd* camera, const Bytes& bytes)
{
    for (uint8_t value : bytes)
        if (!comPortBackend.writeByte(camera->port, &camera->write, value))
            return false;
    return true;
}

// Up to count bytes, reading only what the port reports as queued.
static Bytes CameraReceive(CameraEnd* camera, size_t count, DWORD timeoutMs)
{
    Bytes bytes;
    DWORD start = GetTickCount();
    while (bytes.size() < count && GetTickCount() - start < timeoutMs)
    {
        DWORD queued = 0;
        BYTE value = 0;
        if (comPortBackend.clearError(camera->port, &queued) && queued > 0 &&
            comPortBackend.readByte(camera->port, &camera->read, &value))
            bytes.push_back(value);
        else
            Sleep(1);
    }
    return bytes;
}

static Bytes CameraReceiveFrame(CameraEnd* camera, DWORD timeoutMs)
{
    Bytes first = CameraReceive(camera, 1, timeoutMs);
    if (first.empty() || !IsLengthByte(first[0]))
        return first;
    Bytes rest = CameraReceive(camera, first[0], timeoutMs);
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
}

// --- Measurements ---


// CPU time the process uses while this thread sleeps.
static long long CpuMsWhileSleeping(DWORD ms)
{
    long long before = ProcessCpuMs();
    Sleep(ms);
    return ProcessCpuMs() - before;
}

static bool FramePosted(void*)
{
    return CountMessages(WM_CAMERA_EVENT, CAMERA_EVENT_FRAME) > 0;
}

static const RecordedMessage* FirstMessage(UINT message)
{
    for (int i = 0; i < Recorder()->count; ++i)
        if (Recorder()->messages[i].message == message)
            return &Recorder()->messages[i];
    return 0;
}

class ComPortTest : public ::testing::Test
{
  protected:
    CameraEnd camera = {};
    HWND window = 0;

    void SetUp() override
    {
        if (!PortsMappedToPtyPair())
            GTEST_SKIP() << "COM3/COM4 are not mapped to the pty pair in this Wine prefix "
                            "(tools/wine-env.sh maps them when it creates the prefix: delete "
                            "BUILD_DIR/wine to have it made again)";
        if (!OpenCameraEnd(&camera))
            GTEST_SKIP() << "COM3 cannot be opened (error " << GetLastError() << "): no pty "
                         << "pair at " << PtyDirectory() << " (tools/pty-ports.sh start "
                         << "BUILD_DIR makes it; tools/test.sh does that)";
        window = StartRecorder();
        ASSERT_EQ(0, OpenPort(&driver, window, CONSOLE_PORT_INDEX, 9600));
        ASSERT_NE(0u, driver.readerThreadId);
    }

    void TearDown() override
    {
        ClosePort(&driver);
        CloseCameraEnd(&camera);
        PumpMessages();
    }

    // Lets the camera answer one transaction with its ACK and the reply, on a thread of its
    // own; it records the request and the driver's acknowledgement of the reply.
    std::thread AnswerOnce(const Bytes& reply, Bytes* request, Bytes* ackOfReply)
    {
        return std::thread([this, reply, request, ackOfReply]() {
            *request = CameraReceiveFrame(&camera, FRAME_WAIT_MS);
            if (CameraSend(&camera, ACK) && CameraSend(&camera, reply))
                *ackOfReply = CameraReceiveFrame(&camera, FRAME_WAIT_MS);
        });
    }
};

// --- Opening and the line ---

TEST_F(ComPortTest, OpenPortAppliesTheCameraLineSettingsAtEachSpeed)
{
    // 14400 is no standard Linux rate: SetCommState accepts it, but the pty reads back 38400.
    const DWORD speeds[][2] = {{4800, 4800}, {9600, 9600}, {14400, 38400}};
    for (const auto& speed : speeds)
    {
        ClosePort(&driver);
        ASSERT_EQ(0, OpenPort(&driver, window, CONSOLE_PORT_INDEX, (int)speed[0]));
        EXPECT_EQ(0, driver.lastResult);
        DCB dcb;
        memset(&dcb, 0, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(driver.portHandle, &dcb));
        EXPECT_EQ(speed[1], dcb.BaudRate);
        EXPECT_EQ(8, dcb.ByteSize);
        EXPECT_EQ(NOPARITY, dcb.Parity);
        EXPECT_EQ(ONESTOPBIT, dcb.StopBits);
        EXPECT_EQ(1u, dcb.fBinary);
        EXPECT_EQ(0u, dcb.fOutX);
        EXPECT_EQ(0u, dcb.fInX);
        EXPECT_EQ(0u, dcb.fOutxDsrFlow);
        // Wine keeps RTS handshaking as the termios CRTSCTS flag, which reads back as RTS
        // enabled plus CTS output flow control.
        EXPECT_EQ((DWORD)RTS_CONTROL_ENABLE, dcb.fRtsControl);
        EXPECT_EQ(1u, dcb.fOutxCtsFlow);
    }
    EXPECT_EQ(0, CountMessages(WM_LINK_STATUS)); // opening reports nothing
}

TEST_F(ComPortTest, ModemLinesThePtyLacksCountAsCtsOffWithoutHanging)
{
    DWORD status = 0;
    BOOL readable = comPortBackend.getModemStatus(driver.portHandle, &status);
    DWORD error = GetLastError();
    ASSERT_FALSE(readable) << "this pty reports modem lines: the checks below assume it cannot";
    EXPECT_EQ((DWORD)ERROR_NOT_SUPPORTED, error);
    EXPECT_FALSE(comPortBackend.escape(driver.portHandle, SETRTS)); // OpenPort's raise failed too

    DWORD start = GetTickCount();
    EXPECT_EQ(-8, WaitForCts(&driver, 0));
    EXPECT_LT(GetTickCount() - start, 100u);
    EXPECT_EQ(-8, driver.lastResult);
    EXPECT_EQ(1, CountMessages(WM_LINK_STATUS, 1));

    start = GetTickCount();
    EXPECT_EQ(-8, PulseRts(&driver)); // both escapes fail; the pulse still takes its time
    DWORD pulse = GetTickCount() - start;
    EXPECT_GE(pulse, RTS_PULSE_MS - 20);
    EXPECT_LT(pulse, RTS_PULSE_MS + 500);
}

// Holds the port the way a transaction does, so the reader thread leaves the bytes alone.
TEST_F(ComPortTest, EveryByteValueCrossesBothWaysAndReadByteTimesOut)
{
    ASSERT_TRUE(TryTakeReceiveInterlock(&driver));
    SetPortEventMask(&driver, TRANSACTION_EVENT_MASK);
    Bytes all;
    for (int value = 0; value < 256; ++value)
        all.push_back((uint8_t)value);

    for (uint8_t value : all)
        ASSERT_EQ(0, WriteByte(&driver, value));
    EXPECT_EQ(all, CameraReceive(&camera, all.size(), FRAME_WAIT_MS));

    ASSERT_TRUE(CameraSend(&camera, all));
    DWORD start = GetTickCount();
    while (BytesWaiting(&driver) < (int)all.size() && GetTickCount() - start < FRAME_WAIT_MS)
        Sleep(1);
    EXPECT_EQ((int)all.size(), BytesWaiting(&driver));
    Bytes received;
    for (size_t i = 0; i < all.size(); ++i)
        received.push_back((uint8_t)ReadByte(&driver, 100));
    EXPECT_EQ(all, received);
    EXPECT_EQ(0, BytesWaiting(&driver));

    start = GetTickCount();
    EXPECT_EQ(-9, ReadByte(&driver, 200));
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 200u);
    EXPECT_LT(waited, 700u);

    SetPortEventMask(&driver, RECEIVE_EVENT_MASK);
    ReleaseReceiveInterlock(&driver);
}

// The wait for received bytes on a COM port: a one-byte overlapped read whose event is set
// when a byte comes after the wait was armed; the byte it took counts as waiting and is the
// next one ReadByte gives, before the bytes still queued.
TEST_F(ComPortTest, ByteComingAfterTheWaitIsArmedEndsItsSleepAndIsReadFirst)
{
    ASSERT_TRUE(TryTakeReceiveInterlock(&driver));
    SetPortEventMask(&driver, TRANSACTION_EVENT_MASK);
    DWORD dueMs = 0;
    HANDLE event = driver.line->armInputWait(driver.portHandle, &driver.lineWait,
                                             &driver.readOverlapped, &dueMs);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(0, BytesWaiting(&driver));
    ASSERT_TRUE(CameraSend(&camera, {0x51, 0x52, 0x53}));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, FRAME_WAIT_MS));
    driver.line->endInputWait(driver.portHandle, &driver.lineWait, &driver.readOverlapped);
    DWORD start = GetTickCount();
    while (BytesWaiting(&driver) < 3 && GetTickCount() - start < FRAME_WAIT_MS)
        Sleep(1);
    EXPECT_EQ(3, BytesWaiting(&driver));
    EXPECT_EQ(0x51, ReadByte(&driver, 100));
    EXPECT_EQ(0x52, ReadByte(&driver, 100));
    EXPECT_EQ(0x53, ReadByte(&driver, 100));

    // Nothing comes: the wait sleeps its time and leaves no read behind.
    start = GetTickCount();
    WaitForLineOrMessages(&driver, 200);
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 40u);
    EXPECT_EQ(0, driver.lineWait.inputReadPending);
    EXPECT_EQ(0, BytesWaiting(&driver));
    ASSERT_TRUE(CameraSend(&camera, {0x54}));
    EXPECT_EQ(0x54, ReadByte(&driver, FRAME_WAIT_MS));

    SetPortEventMask(&driver, RECEIVE_EVENT_MASK);
    ReleaseReceiveInterlock(&driver);
}

// --- Reader thread ---

// Keeps a core busy for ms (Delay sleeps).
static void SpinFor(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms)
    {
    }
}

TEST_F(ComPortTest, IdleReaderThreadDoesNotSpinWhileItsWaitsFail)
{
    // The measurement must be able to see a busy thread at all.
    long long before = ProcessCpuMs();
    DWORD start = GetTickCount();
    while (ProcessCpuMs() - before < 50 && GetTickCount() - start < 2000)
        SpinFor(10);
    ASSERT_GE(ProcessCpuMs() - before, 50) << "process CPU time does not advance";

    long long used = CpuMsWhileSleeping(IDLE_MEASURE_MS);
    printf("process CPU time over %lu ms idle with the port open: %lld ms\n",
           (unsigned long)IDLE_MEASURE_MS, used);
    EXPECT_LT(used, IDLE_CPU_LIMIT_MS);
    EXPECT_NE(0u, driver.readerThreadId); // it idles, it has not given up
}

TEST_F(ComPortTest, FrameArrivingBetweenTransactionsIsAcknowledgedAndPosted)
{
    driver.eventsEnabled = 1;
    Sleep(20); // the reader thread's first wait has failed: it polls from here on
    ASSERT_TRUE(CameraSend(&camera, REMOTE_EVENT));
    // The reader thread tells this thread's window that the camera is up before it
    // acknowledges the frame: the window has to be serviced first.
    ASSERT_TRUE(PumpUntil(FramePosted, 0, FRAME_WAIT_MS));
    EXPECT_EQ(ACK, CameraReceiveFrame(&camera, FRAME_WAIT_MS));
    const RecordedMessage* posted = FirstMessage(WM_CAMERA_EVENT);
    EXPECT_TRUE(posted->posted);
    EXPECT_EQ(REMOTE_EVENT, Bytes(posted->frame, posted->frame + REMOTE_EVENT.size()));
    EXPECT_EQ(1, CountMessages(WM_CAMERA_POWER, 1));
    EXPECT_EQ(1, driver.cameraReady);
}

TEST_F(ComPortTest, TransactionWithTheCameraOnTheOtherEndReturnsItsReply)
{
    driver.eventsEnabled = 1;
    Bytes request, ackOfReply;
    std::thread cameraThread = AnswerOnce(STOP_REPLY, &request, &ackOfReply);
    uint8_t frame[8] = {0x04, 0x05, 0x12, 0x02};
    uint8_t reply[FRAME_BUFFER_SIZE];
    int length = 0;
    EXPECT_EQ(0, Transact(&driver, frame, reply, &length, COMMAND_TIMEOUT_MS));
    cameraThread.join();
    EXPECT_EQ(STOP_REQUEST, request);
    EXPECT_EQ(STOP_REPLY, Bytes(reply, reply + length));
    EXPECT_EQ(ACK, ackOfReply);
    PumpFor(30);
    EXPECT_EQ(0, CountMessages(WM_CAMERA_EVENT)); // the reader thread slept through the reply

    // The transaction gave the reader thread its mask back: an event is received again.
    ASSERT_TRUE(CameraSend(&camera, REMOTE_EVENT));
    EXPECT_TRUE(PumpUntil(FramePosted, 0, FRAME_WAIT_MS));
    EXPECT_EQ(ACK, CameraReceiveFrame(&camera, FRAME_WAIT_MS));
}

// --- Closing ---

TEST_F(ComPortTest, ClosePortEndsPromptlyAndReleasesThePort)
{
    Sleep(20); // the reader thread is in its polling wait
    DWORD start = GetTickCount();
    EXPECT_EQ(0, ClosePort(&driver));
    EXPECT_LT(GetTickCount() - start, CLOSE_BOUND_MS);
    EXPECT_EQ(0u, driver.readerThreadId);
    EXPECT_EQ(nullptr, driver.portHandle);
    // The port is opened without sharing: a second open succeeds only once it is closed.
    HANDLE again = CreateFileA("COM4", GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING, 0, 0);
    EXPECT_NE(INVALID_HANDLE_VALUE, again);
    if (again != INVALID_HANDLE_VALUE)
        CloseHandle(again);
}

TEST_F(ComPortTest, ClosePortDuringAHalfReceivedFrameDoesNotWaitOutItsTimeOut)
{
    ASSERT_TRUE(CameraSend(&camera, {0x05, 0x05, 0xB8})); // the rest never comes
    DWORD start = GetTickCount();
    while (!driver.receiveBusy && GetTickCount() - start < FRAME_WAIT_MS)
        Sleep(1);
    ASSERT_EQ(1, driver.receiveBusy); // the reader thread is receiving, waiting for byte four
    Sleep(20);
    start = GetTickCount();
    EXPECT_EQ(0, ClosePort(&driver));
    EXPECT_LT(GetTickCount() - start, CLOSE_BOUND_MS);
    EXPECT_EQ(0u, driver.readerThreadId);
}

// --- The cable pulled (runs last: it ends socat for the rest of the run) ---

// Ends socat from inside Wine, which starts Unix programs given by their path. The pid comes
// from tools/pty-ports.sh and is checked against /proc, so nothing else is ever signalled.
// Empty when socat has ended, else why it could not be ended.
static std::string EndSocat()
{
    std::string dir = PtyDirectory();
    FILE* pidFile = fopen(OnDriveZ(dir + "/socat.pid").c_str(), "r");
    int pid = 0;
    if (!pidFile)
        return "no socat.pid beside the pty links";
    if (fscanf(pidFile, "%d", &pid) != 1)
        pid = 0;
    fclose(pidFile);
    if (UnixCommandLine(pid).find(dir + "/com3") == std::string::npos)
        return "socat.pid does not name the running socat of " + dir;
    char command[64];
    snprintf(command, sizeof command, "/bin/kill -TERM %d", pid);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(0, command, 0, 0, FALSE, 0, 0, 0, &startup, &process))
        return "Wine cannot start /bin/kill";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DWORD start = GetTickCount();
    while (UnixCommandLine(pid).find("socat") != std::string::npos)
    {
        if (GetTickCount() - start > 3000)
            return "socat did not end";
        Sleep(10);
    }
    return "";
}

class ComPortPulledTest : public ComPortTest
{
};

// Like an unplugged USB adapter: every call on the port fails from now on.
TEST_F(ComPortPulledTest, TransactionsFailPromptlyAndNothingSpinsOnceTheOtherEndCloses)
{
    std::string failed = EndSocat();
    if (!failed.empty())
        GTEST_SKIP() << failed;
    uint8_t frame[8] = {0x04, 0x05, 0x12, 0x02};
    DWORD start = GetTickCount();
    ResultCode result = Transact(&driver, frame, 0, 0, COMMAND_TIMEOUT_MS);
    DWORD took = GetTickCount() - start;
    // The pty reports the closed master on the first byte written (Wine: error 21).
    EXPECT_EQ(-11, result);
    EXPECT_LT(took, 1000u);
    EXPECT_EQ(1, CountMessages(WM_LINK_STATUS, 1));
    EXPECT_EQ(-10, ReadByte(&driver, 1000));
    EXPECT_LT(CpuMsWhileSleeping(IDLE_MEASURE_MS / 2), IDLE_CPU_LIMIT_MS / 2);
    start = GetTickCount();
    EXPECT_EQ(0, ClosePort(&driver));
    EXPECT_LT(GetTickCount() - start, CLOSE_BOUND_MS);
}
