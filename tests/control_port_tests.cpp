// The control port of the console in the test process: real TCP clients on the loopback drive
// the console on virtual cameras. What a command did is read from the cameras' frame logs, what
// a client was told from its socket, and the panel from its drawn buttons and lights.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/program_start.h"
#include "control/control_port.h"
#include "control/control_state.h"
#include "control/panel_lights.h"
#include "control/panel_window.h"
#include "panel/indicator_light.h"
#include "panel/panel_button.h"
#include "panel/panel_layout.h"
#include "services/settings_file.h"
#include "sim/virtual_camera.h"
#include "tests/box_closer.h"
#include "tests/console_fixture.h"
#include "tests/test_window.h"

static const char PAN_LEFT[] = "06 05 12 01 02 00";
static const char PAN_RIGHT[] = "06 05 12 01 01 00";
static const char TILT_UP[] = "06 05 12 01 00 01";
static const char TILT_DOWN[] = "06 05 12 01 00 02";
static const char STOP[] = "04 05 12 02"; // PanTiltStop
static const char TELE[] = "05 01 12 01 00";
static const char WIDE[] = "05 01 12 01 01";
static const char ZOOM_STOP[] = "05 01 12 03 00";
static const char FOCUS_STOP[] = "04 01 10 04";
static const char HOME[] = "03 05 11";
static const Frames OPERATE_OFF = {"05 08 12 01 01", "05 08 12 02 01", "05 01 10 01 01",
                                   "06 05 19 03 01 00"};
static const Frames OPERATE_ON = {"05 08 12 01 00", "05 08 12 02 00", "05 01 10 01 00",
                                  "06 05 19 00 01 00"};

static void StartWinsock()
{
    static WSADATA winsock;
    static int started = WSAStartup(MAKEWORD(2, 2), &winsock) == 0;
    EXPECT_TRUE(started);
}

// A program on the control port. Its reads never block: the thread that waits for an answer
// pumps the console's messages meanwhile (pumps set: the console's own thread), or only waits
// (another thread, while the console runs a modal loop of its own).
struct Client
{
    SOCKET socket = INVALID_SOCKET;
    std::string received; // bytes not yet taken as lines
    bool pumps;

    explicit Client(bool pumpsMessages = true) : pumps(pumpsMessages)
    {
        StartWinsock();
        socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons((u_short)ControlPortNumber());
        EXPECT_EQ(0, connect(socket, (sockaddr*)&to, sizeof to));
        u_long nonBlocking = 1;
        ioctlsocket(socket, FIONBIO, &nonBlocking);
    }
    ~Client() { Close(); }
    void Close()
    {
        if (socket != INVALID_SOCKET)
            closesocket(socket);
        socket = INVALID_SOCKET;
    }
    void Wait()
    {
        if (pumps)
            PumpMessages();
        Sleep(1);
    }
    void Send(const std::string& bytes)
    {
        size_t at = 0;
        for (DWORD began = GetTickCount(); at < bytes.size() && GetTickCount() - began < 5000;)
        {
            int sent = send(socket, bytes.data() + at, (int)(bytes.size() - at), 0);
            if (sent > 0)
                at += sent;
            else
                Wait();
        }
        EXPECT_EQ(bytes.size(), at) << "not taken";
    }
    // What has arrived; false once the console has closed the connection.
    bool Read()
    {
        char chunk[4096];
        for (;;)
        {
            int got = recv(socket, chunk, sizeof chunk, 0);
            if (got > 0)
                received.append(chunk, got);
            else
                return got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK;
        }
    }
    // The next answer without its "\r\n"; "" when none comes within ms or the connection ends.
    std::string Line(DWORD ms = 8000)
    {
        for (DWORD began = GetTickCount();; Wait())
        {
            bool open = Read();
            size_t end = received.find("\r\n");
            if (end != std::string::npos)
            {
                std::string line = received.substr(0, end);
                received.erase(0, end + 2);
                return line;
            }
            if (!open || GetTickCount() - began > ms)
                return "";
        }
    }
    std::string Ask(const std::string& line)
    {
        Send(line + "\n");
        return Line();
    }
    // The console closed the connection within ms; what it sent before stays to be read.
    bool ClosedByConsole(DWORD ms = 3000)
    {
        for (DWORD began = GetTickCount(); GetTickCount() - began < ms; Wait())
            if (!Read())
                return true;
        return false;
    }
};

static bool StartsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

// The camera's clock, the one its frame log is stamped with.
static uint32_t CameraNow(int port)
{
    uint32_t now = 0;
    VirtualCamera* camera = VirtualCameraOnPort(port);
    LockVirtualCamera(camera, &now);
    UnlockVirtualCamera(camera);
    return now;
}

// The log time of the first request equal to frame since start; 0 when there is none.
static uint32_t RequestTime(int port, uint32_t start, const std::string& frame)
{
    for (const LoggedFrame& logged : LogSince(port, start))
        if (logged.fromProgram && logged.bytes == frame)
            return logged.ms;
    return 0;
}

// Pumps until the camera has received a request since start; its log time, or 0 when it did
// not come within ms.
static uint32_t WaitForRequest(int port, uint32_t start, const std::string& frame, DWORD ms)
{
    for (DWORD began = GetTickCount(); GetTickCount() - began < ms; Sleep(2))
    {
        PumpMessages();
        if (uint32_t at = RequestTime(port, start, frame))
            return at;
    }
    return 0;
}

static int Drawn(int button)
{
    return GetButtonState(panelButtons[button]);
}

static HWND shownBox; // the box WhileModal found

static BOOL CALLBACK FindShownBox(HWND window, LPARAM)
{
    char name[16];
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "#32770") == 0 && IsWindowVisible(window))
        shownBox = window;
    return !shownBox;
}

// Runs open, which shows a modal box or dialog on this thread; once it is up, a second thread
// runs inside (with clients that do not pump) and then closes it with OK.
static void WhileModal(const std::function<void()>& open, const std::function<void()>& inside)
{
    DWORD consoleThread = GetCurrentThreadId();
    shownBox = 0;
    std::thread other([&] {
        for (DWORD began = GetTickCount(); !shownBox && GetTickCount() - began < 5000; Sleep(5))
            EnumThreadWindows(consoleThread, FindShownBox, 0);
        EXPECT_TRUE(shownBox != 0) << "no box came up";
        if (!shownBox)
            return;
        inside();
        PostMessageA(shownBox, WM_COMMAND, IDOK, 0);
    });
    open();
    other.join();
}

class ControlPort : public ConsoleTest
{
};

TEST_F(ControlPort, EachCommandSendsTheFramesOfItsButton)
{
    Start("/SIM /CONTROL:0 /CONTROLHOLD:10000");
    ASSERT_NE(0, ControlPortNumber());
    Client client;
    struct Step
    {
        std::string line;
        Frames com1;
        Frames com2;
        int light = -1; // and its state after the step
        int lightState = 0;
    };
    struct Row
    {
        int button; // drawn pressed after a press step, up after the others
        std::vector<Step> steps;
        int accelerated = 0;
    } rows[] = {
        {ID_PAN_LEFT, {{"press Left", {PAN_LEFT}, {}}, {"release LEFT", {STOP}, {}}}},
        {ID_UP_RIGHT,
         {{"PRESS upright", {"06 05 12 01 01 01"}, {}}, {"Release UpRight", {STOP}, {}}}},
        {ID_TILT_DOWN, {{"press down", {TILT_DOWN}, {}}, {"release down", {STOP}, {}}}},
        {ID_ZOOM_WIDE, {{"press WIDE", {WIDE}, {}}, {"release wide", {ZOOM_STOP}, {}}}},
        {ID_ZOOM_TELE, {{"press tele", {TELE}, {}}, {"release Tele", {ZOOM_STOP}, {}}}},
        {ID_FOCUS_NEAR,
         {{"press near", {"05 01 10 02 01"}, {}}, {"release near", {FOCUS_STOP}, {}}}},
        {ID_FOCUS_FAR, {{"click FAR", {"05 01 10 02 00", FOCUS_STOP}, {}}}},
        // NEAR and FAR left the focus manual: AUTO and MANUAL send only a change.
        {ID_FOCUS_AUTO, {{"click auto", {"05 01 10 01 00"}, {}}}},
        {ID_FOCUS_MANUAL, {{"click Manual", {"05 01 10 01 01"}, {}}, {"click manual", {}, {}}}},
        {ID_HOME, {{"CLICK home", {HOME}, {}}}},
        {ID_HOME, {{"press home", {}, {}}, {"release HOME", {HOME}, {}}}}, // acts at the release
        {ID_BRIGHT, {{"click bright", {"04 01 04 03", "05 01 14 04 90"}, {}}}}, // 96 read, 144
        {ID_PAN_LEFT,
         {{"click L/R", {}, {}},
          {"press left", {PAN_RIGHT}, {}},
          {"release left", {STOP}, {}},
          {"click l/r", {}, {}}}},
        // Accelerated: the remote's ramp, its first step before the start.
        {ID_TILT_UP,
         {{"press up", {"07 05 12 03 02 05 05", TILT_UP}, {}},
          {"release up", {STOP, "07 05 12 03 02 46 46"}, {}}},
         1},
        {ID_OPERATE,
         {{"operate off", OPERATE_OFF, {}, LIGHT_OPERATE, LIGHT_IDLE},
          {"OPERATE on", OPERATE_ON, {}, LIGHT_OPERATE, LIGHT_GREEN},
          {"click operate", OPERATE_OFF, {}, LIGHT_OPERATE, LIGHT_IDLE},
          {"click OPERATE", OPERATE_ON, {}, LIGHT_OPERATE, LIGHT_GREEN}}},
        {ID_CAMERA_2,
         {{"camera 2", {SELECT_MODE_1}, START_UP_REQUESTS, LIGHT_CAMERA_2, LIGHT_GREEN},
          {"Camera 1", START_UP_REQUESTS, {SELECT_MODE_1}, LIGHT_CAMERA_1, LIGHT_GREEN}}},
    };
    for (const Row& row : rows)
    {
        workingFlags.acceleratedSpeed = row.accelerated;
        for (const Step& step : row.steps)
        {
            uint32_t com1 = LogCount(0), com2 = LogCount(1);
            EXPECT_EQ("OK", client.Ask(step.line)) << step.line;
            EXPECT_EQ(step.com1, RequestsSince(0, com1)) << step.line;
            EXPECT_EQ(step.com2, RequestsSince(1, com2)) << step.line;
            bool press = StartsWith(step.line, "press") || StartsWith(step.line, "PRESS");
            EXPECT_EQ(press ? BUTTON_PRESSED : BUTTON_UP, Drawn(row.button)) << step.line;
            if (step.light >= 0)
            {
                EXPECT_EQ(step.lightState, panelLights[step.light].state) << step.line;
            }
        }
    }
    workingFlags.acceleratedSpeed = 0;

    // store 4, then recall 4: the recall sends back what the store wrote.
    uint32_t start = LogCount(0);
    EXPECT_EQ("OK", client.Ask("STORE 4"));
    Frames stored = RequestsSince(0, start);
    ASSERT_EQ(4u, stored.size());
    EXPECT_EQ(Frames({"04 05 04 02", "04 01 04 02", "04 01 04 03"}),
              Frames(stored.begin(), stored.begin() + 3));
    const std::string& write = stored[3]; // brightness, pan(2), tilt(2), zoom(2)
    ASSERT_EQ(38u, write.size()) << write;
    EXPECT_EQ("0D 08 18 02 04 04", write.substr(0, 17));
    start = LogCount(0);
    EXPECT_EQ("OK", client.Ask("recall 4"));
    EXPECT_EQ(Frames({"05 08 18 01 04", "05 01 14 04 " + write.substr(18, 2),
                      "07 01 12 02 02 " + write.substr(33, 5),
                      "09 05 12 05 02 " + write.substr(21, 5) + " " + write.substr(27, 5)}),
              RequestsSince(0, start));
}

TEST_F(ControlPort, RefusalsAreAnsweredAndSendNothing)
{
    Start("/SIM /CONTROL:0 /CONTROLHOLD:10000");
    Client a, b;
    struct Refusal
    {
        const char* line;
        const char* answer; // its beginning
        const char* names;  // what it names
    } refusals[] = {
        {"jump", "ERR unknown command", "jump"},
        {"press", "ERR bad argument", "press <button>"},
        {"press nothing", "ERR bad argument", "nothing"},
        {"click left right", "ERR bad argument", "click <button>"},
        {"recall 9", "ERR bad argument", "recall <1-6>"},
        {"store 0", "ERR bad argument", "store <1-6>"},
        {"camera 0", "ERR bad argument", "camera <1-4>"},
        {"camera 5", "ERR bad argument", "camera <1-4>"},
        {"operate maybe", "ERR bad argument", "operate on|off"},
        {"status please", "ERR bad argument", "status"},
        {"release home", "ERR bad argument", "HOME is not pressed"},
        {"release Left", "ERR bad argument", "LEFT is not pressed"},
    };
    uint32_t start = LogCount(0);
    for (const Refusal& refusal : refusals)
    {
        std::string answer = a.Ask(refusal.line);
        EXPECT_TRUE(StartsWith(answer, refusal.answer)) << refusal.line << ": " << answer;
        EXPECT_NE(std::string::npos, answer.find(refusal.names)) << answer;
    }
    EXPECT_EQ(Frames(), RequestsSince(0, start));

    // What one client holds, the other cannot press; a movement of a kind is one client's;
    // the holder turns it to another button of that kind.
    start = LogCount(0);
    EXPECT_EQ("OK", a.Ask("press left"));
    std::string answer = b.Ask("press LEFT");
    EXPECT_TRUE(StartsWith(answer, "ERR busy") && answer.find("LEFT") != std::string::npos)
        << answer;
    for (const char* line : {"press right", "click upleft", "press down"})
    {
        answer = b.Ask(line);
        EXPECT_TRUE(StartsWith(answer, "ERR busy") && answer.find("LEFT") != std::string::npos)
            << line << ": " << answer;
    }
    EXPECT_EQ("OK", b.Ask("press tele")); // another kind
    EXPECT_EQ("OK", b.Ask("release tele"));
    EXPECT_EQ("OK", a.Ask("press home"));
    EXPECT_TRUE(StartsWith(b.Ask("click home"), "ERR busy"));
    EXPECT_EQ("OK", a.Ask("press right"));
    EXPECT_EQ(BUTTON_UP, Drawn(ID_PAN_LEFT));
    EXPECT_EQ(BUTTON_PRESSED, Drawn(ID_PAN_RIGHT));
    EXPECT_TRUE(StartsWith(a.Ask("release left"), "ERR bad argument"));
    EXPECT_TRUE(StartsWith(b.Ask("release right"), "ERR bad argument"));
    EXPECT_EQ("OK", a.Ask("release right"));
    EXPECT_EQ("OK", a.Ask("release home"));
    EXPECT_EQ(Frames({PAN_LEFT, TELE, ZOOM_STOP, PAN_RIGHT, STOP, HOME}), RequestsSince(0, start));

    // The console busy with a camera event's message box: everything but status and the
    // release of a held movement is answered busy; that release is OK, its stop goes out
    // when the box is closed.
    start = LogCount(0);
    EXPECT_EQ("OK", a.Ask("press up"));
    uint8_t unknownKey[] = {0x05, 0x05, 0x38, 0x01, 0xF5};
    Frames duringBox;
    a.pumps = b.pumps = false;
    WhileModal(
        [&] { SendMessageA(mainWindow, WM_CAMERA_EVENT, CAMERA_EVENT_FRAME, (LPARAM)unknownKey); },
        [&] {
            for (const char* line : {"click home", "press down", "recall 1", "camera 2",
                                     "operate off", "release home"})
            {
                EXPECT_TRUE(StartsWith(b.Ask(line), "ERR busy")) << line;
            }
            EXPECT_TRUE(StartsWith(a.Ask("press left"), "ERR busy"));
            EXPECT_TRUE(StartsWith(a.Ask("status"), "OK "));
            EXPECT_EQ("OK", a.Ask("release up"));
            Sleep(200);
            duringBox = RequestsSince(0, start);
        });
    a.pumps = b.pumps = true;
    EXPECT_EQ(Frames({TILT_UP}), duringBox) << "nothing sent while the box was up";
    EXPECT_NE(0u, WaitForRequest(0, start, STOP, 2000)) << "the owed stop";
    EXPECT_EQ(Frames({TILT_UP, STOP}), RequestsSince(0, start));
    EXPECT_EQ(BUTTON_UP, Drawn(ID_TILT_UP));

    // A dialog stops the held movements before it opens, and is busy while it is open.
    start = LogCount(0);
    EXPECT_EQ("OK", a.Ask("press wide"));
    a.pumps = false;
    WhileModal([&] { SendMessageA(mainWindow, WM_SYSCOMMAND, IDM_ABOUT, 0); },
               [&] {
                   duringBox = RequestsSince(0, start);
                   // stopped for the dialog, its release is only taken note of
                   EXPECT_EQ("OK", a.Ask("release wide"));
               });
    a.pumps = true;
    EXPECT_EQ(Frames({WIDE, ZOOM_STOP}), duringBox);
    EXPECT_EQ(BUTTON_UP, Drawn(ID_ZOOM_WIDE));

    // Another camera: the link's close stops a held movement on the old camera first.
    start = LogCount(0);
    EXPECT_EQ("OK", a.Ask("press down"));
    EXPECT_EQ("OK", b.Ask("camera 2"));
    EXPECT_EQ(Frames({TILT_DOWN, STOP, SELECT_MODE_1}), RequestsSince(0, start));
    EXPECT_EQ(BUTTON_UP, Drawn(ID_TILT_DOWN));
    EXPECT_EQ("OK", a.Ask("release down")); // stopped already: nothing more is sent
    EXPECT_TRUE(StartsWith(a.Ask("release down"), "ERR bad argument"));

    // OPERATE off refuses all but OPERATE and the cameras, which still act.
    start = LogCount(1);
    EXPECT_EQ("OK", a.Ask("operate off"));
    EXPECT_EQ(OPERATE_OFF, RequestsSince(1, start));
    start = LogCount(1);
    for (const char* line :
         {"press left", "click HOME", "press tele", "click near", "click bright", "recall 1",
          "store 2", "click 3", "click preset", "click L/R", "press auto"})
    {
        EXPECT_TRUE(StartsWith(a.Ask(line), "ERR refused")) << line;
    }
    EXPECT_EQ(Frames(), RequestsSince(1, start));
    EXPECT_EQ(BUTTON_UP, Drawn(ID_PAN_LEFT));
    EXPECT_EQ(BUTTON_UP, Drawn(ID_FOCUS_AUTO));
    EXPECT_EQ(0, presetStoreMode);
    EXPECT_EQ(0, workingFlags.panReversed);
    EXPECT_EQ("OK", a.Ask("click operate"));
    EXPECT_EQ(OPERATE_ON, RequestsSince(1, start));
    EXPECT_EQ("OK", a.Ask("operate off"));
    uint32_t com1 = LogCount(0);
    start = LogCount(1);
    EXPECT_EQ("OK", a.Ask("camera 1"));
    EXPECT_EQ(Frames({SELECT_MODE_1}), RequestsSince(1, start));
    EXPECT_EQ(START_UP_REQUESTS, RequestsSince(0, com1));
    EXPECT_EQ(LIGHT_GREEN, panelLights[LIGHT_CAMERA_1].state);

    // A camera that refuses a command: the answer says why, and its light blinks until the
    // next command goes through.
    ArmVirtualCameraFault(VirtualCameraOnPort(0), CAMERA_FAULT_NAK, 1);
    answer = a.Ask("click home");
    EXPECT_TRUE(StartsWith(answer, "ERR camera not responding")) << answer;
    EXPECT_EQ(1, errorBlinking);
    EXPECT_EQ("OK", a.Ask("click home"));
    EXPECT_EQ(0, errorBlinking);
    EXPECT_EQ(LIGHT_GREEN, panelLights[LIGHT_CAMERA_1].state);
}

TEST_F(ControlPort, AHeldButtonIsLetGoWhenNeitherReleaseNorRepeatComes)
{
    Start("/SIM /CONTROL:0 /CONTROLHOLD:400");
    Client client;
    // Pressed and never released: stopped after the hold time.
    uint32_t start = LogCount(0);
    EXPECT_EQ("OK", client.Ask("press left"));
    EXPECT_EQ(BUTTON_PRESSED, Drawn(ID_PAN_LEFT));
    uint32_t stoppedAt = WaitForRequest(0, start, STOP, 3000);
    ASSERT_NE(0u, stoppedAt);
    uint32_t startedAt = RequestTime(0, start, PAN_LEFT);
    EXPECT_GE(stoppedAt - startedAt, 380u);
    EXPECT_LE(stoppedAt - startedAt, 1500u);
    EXPECT_EQ(Frames({PAN_LEFT, STOP}), RequestsSince(0, start));
    EXPECT_EQ(BUTTON_UP, Drawn(ID_PAN_LEFT));
    EXPECT_TRUE(StartsWith(client.Ask("release left"), "ERR bad argument")) << "let go already";

    // Pressed again every 150 ms for three hold times: one start, no stop until they cease.
    start = LogCount(0);
    EXPECT_EQ("OK", client.Ask("press UP"));
    uint32_t lastPress = 0; // before the last press was sent
    for (int i = 0; i < 8; ++i)
    {
        PumpFor(150);
        lastPress = CameraNow(0);
        EXPECT_EQ("OK", client.Ask("press up"));
    }
    EXPECT_EQ(Frames({TILT_UP}), RequestsSince(0, start));
    EXPECT_EQ(BUTTON_PRESSED, Drawn(ID_TILT_UP));
    stoppedAt = WaitForRequest(0, start, STOP, 3000);
    ASSERT_NE(0u, stoppedAt);
    EXPECT_GE(stoppedAt - lastPress, 380u);
    EXPECT_LE(stoppedAt - lastPress, 1500u);
    EXPECT_EQ(Frames({TILT_UP, STOP}), RequestsSince(0, start));
    EXPECT_EQ(BUTTON_UP, Drawn(ID_TILT_UP));

    // A button that is not a movement only comes up: it does not act.
    start = LogCount(0);
    EXPECT_EQ("OK", client.Ask("press home"));
    EXPECT_EQ(BUTTON_PRESSED, Drawn(ID_HOME));
    PumpFor(700);
    EXPECT_EQ(BUTTON_UP, Drawn(ID_HOME));
    EXPECT_EQ(Frames(), RequestsSince(0, start));
    EXPECT_TRUE(StartsWith(client.Ask("status"), "OK "));
}

TEST_F(ControlPort, AClientThatGoesLetsGoAtOnce)
{
    Start("/SIM /CONTROL:0 /CONTROLHOLD:60000");
    {
        Client client; // disconnects
        uint32_t start = LogCount(0);
        EXPECT_EQ("OK", client.Ask("press tele"));
        EXPECT_EQ(BUTTON_PRESSED, Drawn(ID_ZOOM_TELE));
        uint32_t closedAt = CameraNow(0);
        client.Close();
        uint32_t stoppedAt = WaitForRequest(0, start, ZOOM_STOP, 3000);
        ASSERT_NE(0u, stoppedAt);
        EXPECT_LE(stoppedAt - closedAt, 1000u);
        EXPECT_EQ(BUTTON_UP, Drawn(ID_ZOOM_TELE));
    }
    {
        Client client; // closed by the console for a line too long
        uint32_t start = LogCount(0);
        EXPECT_EQ("OK", client.Ask("press right"));
        client.Send(std::string(300, 'r') + "\n");
        EXPECT_TRUE(StartsWith(client.Line(), "ERR line too long"));
        EXPECT_TRUE(client.ClosedByConsole());
        EXPECT_NE(0u, WaitForRequest(0, start, STOP, 1000));
        EXPECT_EQ(Frames({PAN_RIGHT, STOP}), RequestsSince(0, start));
        EXPECT_EQ(BUTTON_UP, Drawn(ID_PAN_RIGHT));
    }
    {
        Client client; // a button that does not move comes up without acting
        uint32_t start = LogCount(0);
        EXPECT_EQ("OK", client.Ask("press home"));
        client.Close();
        PumpFor(300);
        EXPECT_EQ(BUTTON_UP, Drawn(ID_HOME));
        EXPECT_EQ(Frames(), RequestsSince(0, start));
    }
}

TEST_F(ControlPort, ClientsAreAnsweredEachInOrderUpToFourAtOnce)
{
    Start("/SIM /CONTROL:0");
    Client a, b;
    uint32_t start = LogCount(0);
    a.Send("status\nclick home\nhelp\n");
    b.Send("click bright\nstatus\n");
    EXPECT_TRUE(StartsWith(a.Line(), "OK camera=1"));
    EXPECT_EQ("OK", a.Line());
    EXPECT_TRUE(StartsWith(a.Line(), "OK commands"));
    EXPECT_EQ("OK", b.Line());
    EXPECT_TRUE(StartsWith(b.Line(), "OK camera=1"));
    Frames sent = RequestsSince(0, start);
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(Frames({HOME, "04 01 04 03", "05 01 14 04 90"}), sent);

    Client c, d;
    EXPECT_TRUE(StartsWith(c.Ask("status"), "OK "));
    EXPECT_TRUE(StartsWith(d.Ask("status"), "OK "));
    Client fifth;
    EXPECT_TRUE(StartsWith(fifth.Line(), "ERR too many clients"));
    EXPECT_TRUE(fifth.ClosedByConsole());
    a.Close();
    PumpFor(200);
    Client sixth;
    EXPECT_TRUE(StartsWith(sixth.Ask("status"), "OK "));
    for (Client* client : {&b, &c, &d})
        EXPECT_TRUE(StartsWith(client->Ask("status"), "OK "));
}

TEST_F(ControlPort, GarbageLongLinesAndFloodsCloseOnlyTheirClient)
{
    Start("/SIM /CONTROL:0");
    Client watcher;
    {
        Client client;
        client.Send(std::string("\x01\x02\xff\x00 zz\x7f\n", 9)); // control bytes, a NUL
        EXPECT_TRUE(StartsWith(client.Line(), "ERR unknown command"));
        // Empty and blank lines have no answer.
        client.Send("\n\r\n \t \r\nhelp\n");
        EXPECT_TRUE(StartsWith(client.Line(), "OK commands"));
    }
    {
        // Blank lines count towards a flood: a stream of them closes the client.
        Client client;
        client.Send(std::string(300, '\n'));
        EXPECT_TRUE(StartsWith(client.Line(), "ERR flood"));
        EXPECT_TRUE(client.ClosedByConsole());
    }
    {
        Client client;
        uint32_t start = LogCount(0);
        client.Send("cli"); // a line in two pieces, ended by "\r\n"
        PumpFor(50);
        client.Send("ck HOME\r\n");
        EXPECT_EQ("OK", client.Line());
        EXPECT_EQ(Frames({HOME}), RequestsSince(0, start));
        // 256 bytes are a line, its "\r" not counted; 257 are too long.
        EXPECT_TRUE(StartsWith(client.Ask("status" + std::string(250, ' ')), "OK "));
        EXPECT_TRUE(StartsWith(client.Ask("status" + std::string(250, ' ') + "\r"), "OK "));
        client.Send("status" + std::string(251, ' ') + "\n");
        EXPECT_TRUE(StartsWith(client.Line(), "ERR line too long"));
        EXPECT_TRUE(client.ClosedByConsole());
    }
    {
        Client client; // no end of line at all
        client.Send(std::string(2000, 'x'));
        EXPECT_TRUE(StartsWith(client.Line(), "ERR line too long"));
        EXPECT_TRUE(client.ClosedByConsole());
    }
    {
        Client client; // 150 lines at once: closed after 100 (what it is told: see below)
        std::string flood;
        for (int i = 0; i < 150; ++i)
            flood += "operate on\n";
        client.Send(flood);
        int answered = 0;
        while (client.Line() == "OK")
            ++answered;
        EXPECT_LE(answered, 100);
        EXPECT_TRUE(client.ClosedByConsole());
    }
    // A command sent just before the close still runs, a last one without "\n" too.
    for (const char* bytes : {"click home\n", "click home"})
    {
        uint32_t start = LogCount(0);
        {
            Client client;
            client.Send(bytes);
        }
        EXPECT_NE(0u, WaitForRequest(0, start, HOME, 3000)) << bytes;
    }
    EXPECT_TRUE(StartsWith(watcher.Ask("status"), "OK camera=1"));
    Client client;
    uint32_t start = LogCount(0);
    EXPECT_EQ("OK", client.Ask("click home"));
    EXPECT_EQ(Frames({HOME}), RequestsSince(0, start));
}

TEST_F(ControlPort, SwitchesAndAPortThatIsTaken)
{
    ControlPortOptions reset, options;
    ResetControlPortOptions(&reset);
    struct Taken
    {
        const char* token;
        int enabled;
        const char* address;
        int port;
        DWORD holdMs;
    } taken[] = {
        {"/CONTROL:5000", 1, "127.0.0.1", 5000, CONTROL_HOLD_DEFAULT_MS},
        {"-control:5000", 1, "127.0.0.1", 5000, CONTROL_HOLD_DEFAULT_MS},
        {"/Control:65535", 1, "127.0.0.1", 65535, CONTROL_HOLD_DEFAULT_MS},
        {"/CONTROL:10.0.0.5:5000", 1, "10.0.0.5", 5000, CONTROL_HOLD_DEFAULT_MS},
        {"/CONTROL:0.0.0.0:80", 1, "0.0.0.0", 80, CONTROL_HOLD_DEFAULT_MS},
        {"/CONTROLHOLD:250", 0, "127.0.0.1", 0, 250},
        {"-controlhold:100", 0, "127.0.0.1", 0, 100},
        {"/CONTROLHOLD:60000", 0, "127.0.0.1", 0, 60000},
    };
    for (const Taken& c : taken)
    {
        options = reset;
        EXPECT_EQ(CONTROL_SWITCH_TAKEN, ParseControlPortSwitch(&options, c.token)) << c.token;
        EXPECT_EQ(c.enabled, options.enabled) << c.token;
        EXPECT_EQ(inet_addr(c.address), options.address) << c.token;
        EXPECT_EQ(c.port, options.port) << c.token;
        EXPECT_EQ(c.holdMs, options.holdMs) << c.token;
    }
    // Malformed ones change nothing; the port does not start from them.
    for (const char* token :
         {"/CONTROL:65536", "/CONTROL:70000", "/CONTROL:", "/CONTROL", "/CONTROL:1.2.3:80",
          "/CONTROL:256.0.0.1:80", "/CONTROL:10.0.0.5:", "/CONTROL:abc", "/CONTROL:5000x",
          "/CONTROL:-1", "/CONTROLHOLD:50", "/CONTROLHOLD:60001", "/CONTROLHOLD:x",
          "/CONTROLHOLD:", "/CONTROLHOLD"})
    {
        options = reset;
        EXPECT_EQ(CONTROL_SWITCH_INVALID, ParseControlPortSwitch(&options, token)) << token;
        EXPECT_EQ(0, memcmp(&reset, &options, sizeof options)) << token;
    }
    for (const char* token : {"/CONTROLX", "/CONTROLS:1", "/CONTROLHOLDX:500", "CONTROL:5000"})
    {
        EXPECT_EQ(CONTROL_SWITCH_NOT_OURS, ParseControlPortSwitch(&options, token)) << token;
    }
    // On the command line a malformed one is rejected, the last good one counts.
    ResetControlPortOptions(&controlPortOptions);
    ParseCommandLine("/CONTROL:abc /D -control:6000 /CONTROLHOLD:50 /controlhold:250");
    EXPECT_EQ(2, rejectedSwitches);
    EXPECT_EQ(1, controlPortOptions.enabled);
    EXPECT_EQ(6000, controlPortOptions.port);
    EXPECT_EQ(250u, controlPortOptions.holdMs);
    rejectedSwitches = 0;

    // A port another program listens on: one "Error" box, and a console without the port.
    StartWinsock();
    SOCKET other = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(other, (sockaddr*)&local, sizeof local));
    ASSERT_EQ(0, listen(other, 1));
    int length = sizeof local;
    getsockname(other, (sockaddr*)&local, &length);
    std::string port = std::to_string(ntohs(local.sin_port));
    SeenBox box = WithBoxCloser([&] { Start(("/SIM /CONTROL:" + port).c_str()); });
    closesocket(other);
    EXPECT_EQ("Error", box.caption);
    EXPECT_NE(std::string::npos, box.text.find("127.0.0.1:" + port)) << box.text;
    EXPECT_NE(std::string::npos, box.text.find("in use")) << box.text;
    EXPECT_EQ(0, ControlPortNumber());
    EXPECT_EQ(START_UP_REQUESTS, RequestsSince(0, 0));
    EXPECT_EQ(LIGHT_GREEN, panelLights[LIGHT_CAMERA_1].state);
    uint32_t start = LogCount(0);
    SendMessageA(mainWindow, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(Frames({HOME}), RequestsSince(0, start));
}

// A client closed for a flood gets its answers and one ERR line first, although the rest of the
// flood lies unread in the socket (a close with unread input would reset the connection and
// throw the queued answers away: the client saw 34 of its 100 answers and no ERR line).
TEST_F(ControlPort, AFloodedClientIsToldWhyBeforeItIsClosed)
{
    Start("/SIM /CONTROL:0");
    Client client;
    std::string flood;
    for (int i = 0; i < 150; ++i)
        flood += "operate on\n";
    client.Send(flood);
    int answered = 0;
    std::string line;
    while ((line = client.Line()) == "OK")
        ++answered;
    EXPECT_EQ(100, answered);
    EXPECT_TRUE(StartsWith(line, "ERR flood")) << line;
}

// Lines a client sent before it closed its end are run, also when the first of them opens a
// message box (here the port of camera 2 cannot be opened) inside whose loop the close is
// noticed: camera 1 is opened again after the box.
TEST_F(ControlPort, LinesSentBeforeACloseRunAfterAMessageBox)
{
    Start("/SIM:1 /CONTROL:0");
    uint32_t start = LogCount(0);
    {
        Client client;
        client.Send("camera 2\ncamera 1\n");
    }
    SeenBox box = WithBoxCloser([] { PumpFor(1500); });
    EXPECT_EQ("Error initializing communications", box.text);
    Frames expected = {SELECT_MODE_1};
    expected.insert(expected.end(), START_UP_REQUESTS.begin(), START_UP_REQUESTS.end());
    EXPECT_EQ(expected, RequestsSince(0, start));
}

// A release of a held movement on a free console is answered with the outcome of its stop, as
// every command is with its camera's: not OK when the camera refused the stop and its retry.
TEST_F(ControlPort, AReleaseWhoseStopFailsIsAnsweredWithTheFailure)
{
    Start("/SIM /CONTROL:0");
    Client client;
    uint32_t start = LogCount(0);
    EXPECT_EQ("OK", client.Ask("press left"));
    ArmVirtualCameraFault(VirtualCameraOnPort(0), CAMERA_FAULT_NAK, 2); // the stop and its retry
    std::string answer = client.Ask("release left");
    EXPECT_TRUE(StartsWith(answer, "ERR camera not responding")) << answer;
    EXPECT_EQ(Frames({PAN_LEFT, STOP, STOP}), RequestsSince(0, start));
}

// A start the camera refused may still have been carried out (a lost reply looks the same): it
// is followed by its stop. Each answer is one line about its own command: the refusal's text
// carries no line break into the next answer, and AUTO with nothing to send is OK although the
// link's last result is still that refusal.
TEST_F(ControlPort, AFailedStartIsStoppedAndAnswersAreAboutTheirOwnCommand)
{
    Start("/SIM /CONTROL:0");
    Client client;
    EXPECT_EQ("OK", client.Ask("click auto")); // the focus is automatic from here on
    uint32_t start = LogCount(0);
    ArmVirtualCameraFault(VirtualCameraOnPort(0), CAMERA_FAULT_NAK, 3); // start, stop, retry
    std::string answer = client.Ask("press left");
    EXPECT_TRUE(StartsWith(answer, "ERR camera not responding: ")) << answer;
    EXPECT_EQ(std::string::npos, answer.find_first_of("\r\n")) << answer;
    EXPECT_EQ(Frames({PAN_LEFT, STOP, STOP}), RequestsSince(0, start));
    EXPECT_EQ(BUTTON_UP, Drawn(ID_PAN_LEFT));
    EXPECT_NE(RESULT_OK, LinkLastResult(&cameraDriver));
    start = LogCount(0);
    EXPECT_EQ("OK", client.Ask("click AUTO"));
    EXPECT_EQ(Frames(), RequestsSince(0, start));
    EXPECT_TRUE(StartsWith(client.Ask("status"), "OK camera=1 ")); // no stray line before it
}

// From a log-off's start nothing new starts through the port (its close would be undone by the
// next press); a release and status still answer; a cancelled log-off lets the port work again.
TEST_F(ControlPort, ALogOffRefusesNewCommandsUntilItIsCancelled)
{
    Start("/SIM /CONTROL:0 /CONTROLHOLD:10000");
    Client client;
    EXPECT_EQ("OK", client.Ask("press tele"));
    SendMessageA(mainWindow, WM_QUERYENDSESSION, 0, 0);
    EXPECT_EQ(0, linkOpen);
    uint32_t start = LogCount(0);
    for (const char* line : {"press left", "click home", "recall 1", "camera 1", "operate off"})
        EXPECT_EQ("ERR refused: the session is ending", client.Ask(line)) << line;
    EXPECT_TRUE(StartsWith(client.Ask("status"), "OK camera=1 link=closed"));
    EXPECT_EQ(Frames(), RequestsSince(0, start));
    EXPECT_EQ(0, linkOpen);
    SendMessageA(mainWindow, WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ("OK", client.Ask("press left")); // the camera is opened again for it
    EXPECT_EQ(1, linkOpen);
    EXPECT_EQ("OK", client.Ask("release left"));
}

// A command that takes the camera elsewhere stops a movement held through the port first; the
// holder's repeated presses, queued behind it, do not start it again until the holder has let
// go (its release, or its hold time without a press).
TEST_F(ControlPort, AMovementTakenOverStaysStoppedUntilItsHolderLetsGo)
{
    Start("/SIM /CONTROL:0 /CONTROLHOLD:600");
    Client holder, other;
    uint32_t start = LogCount(0);
    EXPECT_EQ("OK", holder.Ask("press left"));
    EXPECT_EQ("OK", other.Ask("recall 1"));
    Frames requests = RequestsSince(0, start);
    ASSERT_LE(3u, requests.size());
    EXPECT_EQ(Frames({PAN_LEFT, STOP}), Frames(requests.begin(), requests.begin() + 2));
    start = LogCount(0);
    EXPECT_TRUE(StartsWith(holder.Ask("press left"), "ERR refused: LEFT was stopped"));
    EXPECT_EQ("OK", holder.Ask("release left"));
    EXPECT_EQ("OK", holder.Ask("press left"));
    EXPECT_EQ("OK", other.Ask("click home"));
    EXPECT_TRUE(StartsWith(holder.Ask("press left"), "ERR refused"));
    PumpFor(800); // no press within the hold time: the holder let go
    EXPECT_EQ("OK", holder.Ask("press left"));
    EXPECT_EQ("OK", holder.Ask("release left"));
    EXPECT_EQ(Frames({PAN_LEFT, STOP, HOME, PAN_LEFT, STOP}), RequestsSince(0, start));
}
