// The native camera (hlr8-camera) on its pseudo-terminal, seen from a console's side: a native
// Linux test, built with the host compiler and run by CTest without Wine.
//   camera_pty_tests HLR8_CAMERA MODEM_SHIM
// Each case starts a camera with its commands on a pipe, opens the pty link as a console
// would, writes request frames and reads what comes back with the time of each byte. The last
// case runs this program again with the modem-line shim preloaded, as Wine would have it.
// Prints GoogleTest-style lines and the closing "N passed, N failed".
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sim/modem_lines.h"

static const char* cameraProgram;
static const char* shimLibrary;
static int failures;

#define CHECK(condition, ...)                                                                 \
    do                                                                                        \
    {                                                                                         \
        if (!(condition))                                                                     \
        {                                                                                     \
            ++failures;                                                                       \
            printf("%s:%d: Failure: %s\n  ", __FILE__, __LINE__, #condition);                \
            printf(__VA_ARGS__);                                                              \
            printf("\n");                                                                     \
        }                                                                                     \
    } while (0)

typedef std::vector<uint8_t> Bytes;

static double NowMs()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

static std::string Hex(const Bytes& bytes)
{
    std::string text;
    char two[4];
    for (size_t i = 0; i < bytes.size(); ++i)
    {
        snprintf(two, sizeof two, i ? " %02X" : "%02X", bytes[i]);
        text += two;
    }
    return text;
}

// --- The camera under test ---

struct Camera
{
    pid_t pid;
    int commands; // the camera's standard input
    int answers;  // its standard output
    std::string pending;
    std::string dir, link, log, lines;
    ModemLines* page;
};

static std::string ReadLine(Camera* camera, int timeoutMs)
{
    double end = NowMs() + timeoutMs;
    for (;;)
    {
        size_t newline = camera->pending.find('\n');
        if (newline != std::string::npos)
        {
            std::string line = camera->pending.substr(0, newline);
            camera->pending.erase(0, newline + 1);
            return line;
        }
        int left = (int)(end - NowMs());
        struct pollfd watched = {camera->answers, POLLIN, 0};
        char buffer[256];
        ssize_t count = 0;
        if (left <= 0 || poll(&watched, 1, left) <= 0 ||
            (count = read(camera->answers, buffer, sizeof buffer)) <= 0)
            return "<no answer>";
        camera->pending.append(buffer, (size_t)count);
    }
}

static std::string Command(Camera* camera, const char* command)
{
    std::string line = std::string(command) + "\n";
    if (write(camera->commands, line.data(), line.size()) != (ssize_t)line.size())
        return "<write failed>";
    return ReadLine(camera, 2000);
}

static ModemLines* MapPage(const std::string& path)
{
    int fd = open(path.c_str(), O_RDWR);
    if (fd < 0)
        return 0;
    void* page = mmap(0, MODEM_LINES_FILE_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return page == MAP_FAILED ? 0 : (ModemLines*)page;
}

static int StartCamera(Camera* camera, const char* baud)
{
    char dir[] = "/tmp/hlr8-camera-test.XXXXXX";
    int toCamera[2], fromCamera[2];
    if (!mkdtemp(dir) || pipe(toCamera) != 0 || pipe(fromCamera) != 0)
        return 0;
    camera->dir = dir;
    camera->link = camera->dir + "/com1";
    camera->log = camera->dir + "/frames.log";
    camera->lines = camera->link + ".lines";
    camera->pid = fork();
    if (camera->pid == 0)
    {
        dup2(toCamera[0], 0);
        dup2(fromCamera[1], 1);
        execl(cameraProgram, cameraProgram, "--link", camera->link.c_str(), "--log",
              camera->log.c_str(), "--baud", baud, (char*)0);
        _exit(127);
    }
    close(toCamera[0]);
    close(fromCamera[1]);
    camera->commands = toCamera[1];
    camera->answers = fromCamera[0];
    std::string ready = ReadLine(camera, 3000);
    camera->page = MapPage(camera->lines);
    CHECK(ready.compare(0, 6, "ready ") == 0 && camera->page, "start: %s", ready.c_str());
    return ready.compare(0, 6, "ready ") == 0 && camera->page;
}

// The exit status, or -1 when it did not end within the time.
static int WaitExit(Camera* camera, int timeoutMs)
{
    int status = 0;
    for (double end = NowMs() + timeoutMs; NowMs() < end; usleep(5000))
        if (waitpid(camera->pid, &status, WNOHANG) == camera->pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return -1;
}

static void StopCamera(Camera* camera)
{
    close(camera->commands);
    if (WaitExit(camera, 0) < 0)
    {
        kill(camera->pid, SIGKILL);
        waitpid(camera->pid, 0, 0);
    }
    close(camera->answers);
    if (camera->page)
        munmap(camera->page, MODEM_LINES_FILE_SIZE);
    std::string clean = "rm -rf '" + camera->dir + "'";
    if (system(clean.c_str()) != 0)
        printf("could not remove %s\n", camera->dir.c_str());
}

static std::string ReadFile(const std::string& path)
{
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return text;
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, count);
    fclose(file);
    return text;
}

// --- The console's side of the line ---

static int OpenPort(const std::string& link)
{
    int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    struct termios settings;
    if (fd >= 0 && tcgetattr(fd, &settings) == 0)
    {
        cfmakeraw(&settings);
        tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

// A request's bytes 0 .. N-1, sent with its checksum; returns the frame as sent.
static Bytes SendFrame(int port, Bytes frame)
{
    uint8_t sum = 0;
    for (uint8_t byte : frame)
        sum = (uint8_t)(sum + byte);
    frame.push_back((uint8_t)-sum);
    if (write(port, frame.data(), frame.size()) != (ssize_t)frame.size())
        frame.clear();
    return frame;
}

// Up to count bytes within the time; arrival times in ms from start (default: now) into times.
static Bytes Receive(int port, size_t count, int timeoutMs, std::vector<double>* times = 0,
                     double start = 0)
{
    Bytes bytes;
    if (start == 0)
        start = NowMs();
    while (bytes.size() < count)
    {
        int left = (int)(start + timeoutMs - NowMs());
        struct pollfd watched = {port, POLLIN, 0};
        uint8_t byte;
        if (left <= 0 || poll(&watched, 1, left) <= 0 || read(port, &byte, 1) != 1)
            break;
        bytes.push_back(byte);
        if (times)
            times->push_back(NowMs() - start);
    }
    return bytes;
}

// User and system CPU time of a process so far, in ms.
static double CpuMs(pid_t pid)
{
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    size_t end = stat.rfind(')');
    unsigned long user = 0, system = 0;
    if (end == std::string::npos ||
        sscanf(stat.c_str() + end + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
               &user, &system) != 2)
        return -1;
    return (user + system) * 1000.0 / sysconf(_SC_CLK_TCK);
}

static const Bytes ACK = {0x03, 0x88, 0x00, 0x75};

static void Acknowledge(int port)
{
    SendFrame(port, Bytes(ACK.begin(), ACK.end() - 1));
}

// --- Cases ---

// The version query at two line speeds: the bytes the model answers, each reaching the
// console 10 bit times after the one before it, and the frames in the log.
static void VersionQueryIsPacedAtTheLineSpeed()
{
    struct Speed
    {
        const char* baud;
        double byteMs;
    };
    const Speed SPEEDS[] = {{"9600", 10000.0 / 9600}, {"4800", 10000.0 / 4800}};
    const Bytes EXPECTED = {0x03, 0x88, 0x00, 0x75, 0x06, 0x08, 0x84, 0x00, 0x52, 0x21, 0xFB};
    for (const Speed& speed : SPEEDS)
    {
        Camera camera;
        if (!StartCamera(&camera, speed.baud))
            return;
        int port = OpenPort(camera.link);
        std::vector<double> times;
        double sent = NowMs();
        SendFrame(port, {0x04, 0x08, 0x04, 0x00});
        Bytes answer = Receive(port, EXPECTED.size(), 2000, &times, sent);
        Acknowledge(port);
        CHECK(answer == EXPECTED, "%s baud: %s", speed.baud, Hex(answer).c_str());
        if (answer == EXPECTED)
        {
            // Lower bounds that a late reader cannot break: the ACK's 4 bytes take 4 byte
            // times from the request; the reply, due 30 ms after it (the model's clock
            // counts whole milliseconds), takes 7 more. An unpaced camera is early.
            double ackEnd = 4 * speed.byteMs, replyEnd = 29 + 7 * speed.byteMs;
            CHECK(times[3] > 0.95 * ackEnd, "%s baud: ACK complete after %.2f ms, not %.2f",
                  speed.baud, times[3], ackEnd);
            CHECK(times[10] > 0.95 * replyEnd && times[10] < replyEnd + 20,
                  "%s baud: reply complete after %.2f ms, expected %.2f", speed.baud,
                  times[10], replyEnd + 1);
            printf("  %s baud: ACK %.2f ms, reply first byte %.2f ms, last %.2f ms"
                   " (byte time %.3f ms)\n",
                   speed.baud, times[0], times[4], times[10], speed.byteMs);
        }
        usleep(50000);
        std::string log = ReadFile(camera.log);
        CHECK(log.find(" COM1 PC>CAM 04 08 04 00 F0\r\n") != std::string::npos &&
                  log.find(" COM1 CAM>PC 03 88 00 75\r\n") != std::string::npos &&
                  log.find(" COM1 CAM>PC 06 08 84 00 52 21 FB\r\n") != std::string::npos &&
                  log.find(" COM1 PC>CAM 03 88 00 75\r\n") != std::string::npos,
              "%s baud log:\n%s", speed.baud, log.c_str());
        close(port);
        StopCamera(&camera);
    }
}

// A pan-left start and its stop, a remote key pressed and released between them, the port
// closed and opened again in the middle (the camera holds the slave, so the line survives),
// and the pan position the camera reports afterwards.
static void PanLeftRemoteKeyAndReopen()
{
    Camera camera;
    if (!StartCamera(&camera, "9600"))
        return;
    int port = OpenPort(camera.link);
    Bytes start = SendFrame(port, {0x06, 0x05, 0x12, 0x01, 0x02, 0x00});
    CHECK(start == Bytes({0x06, 0x05, 0x12, 0x01, 0x02, 0x00, 0xE0}), "%s", Hex(start).c_str());
    Bytes answer = Receive(port, 11, 2000);
    Acknowledge(port);
    CHECK(Hex(answer) == "03 85 00 78 06 05 92 01 02 00 60", "start: %s", Hex(answer).c_str());

    // The console closes its port and opens it again later (Initialize Camera). With the
    // camera's own descriptor on the slave the line is not hung up meanwhile: no busy loop.
    close(port);
    double cpuBefore = CpuMs(camera.pid);
    usleep(500000);
    double cpuUsed = CpuMs(camera.pid) - cpuBefore;
    CHECK(cpuBefore >= 0 && cpuUsed < 100, "the camera used %.0f ms of CPU in 500 ms", cpuUsed);
    port = OpenPort(camera.link);
    std::string reply = Command(&camera, "key E0 down");
    Bytes key = Receive(port, 6, 1000);
    Acknowledge(port);
    CHECK(reply == "ok" && Hex(key) == "05 05 B8 01 E0 5D", "%s: %s", reply.c_str(),
          Hex(key).c_str());
    Command(&camera, "key E0 up");
    key = Receive(port, 6, 1000);
    Acknowledge(port);
    CHECK(Hex(key) == "05 05 B8 00 E0 5E", "release: %s", Hex(key).c_str());

    SendFrame(port, {0x04, 0x05, 0x12, 0x02});
    answer = Receive(port, 9, 2000);
    Acknowledge(port);
    CHECK(Hex(answer) == "03 85 00 78 04 05 92 02 63", "stop: %s", Hex(answer).c_str());
    usleep(100000);
    std::string status = Command(&camera, "status");
    int pan = 0;
    CHECK(sscanf(status.c_str(), "ok cts on rts on pan %d", &pan) == 1 && pan < 1800 &&
              pan > 1000,
          "%s", status.c_str());
    CHECK(Command(&camera, "key 1G down").compare(0, 6, "error ") == 0, "bad key accepted");
    CHECK(Command(&camera, "fault nope 1").compare(0, 6, "error ") == 0, "bad fault accepted");
    close(port);
    StopCamera(&camera);
}

// Unplugged: CTS off in the page and in the log, requests unanswered; plugged again: CTS on
// and answers. RTS as the console sets it in the page: off holds the camera's frames back,
// on lets them go, and both changes are in the log. Quit removes the link.
static void UnplugAndRtsThroughThePage()
{
    Camera camera;
    if (!StartCamera(&camera, "9600"))
        return;
    int port = OpenPort(camera.link);
    CHECK(camera.page->cameraLines & TIOCM_CTS, "CTS off at the start");
    CHECK(Command(&camera, "unplug") == "ok", "unplug");
    CHECK(!(camera.page->cameraLines & TIOCM_CTS), "CTS still on");
    SendFrame(port, {0x04, 0x08, 0x04, 0x00});
    CHECK(Receive(port, 1, 300).empty(), "an unplugged camera answered");
    std::string plugged = Command(&camera, "plug");
    CHECK(plugged == "ok" && (camera.page->cameraLines & TIOCM_CTS), "plug: %s, lines %u",
          plugged.c_str(), camera.page->cameraLines);
    SendFrame(port, {0x04, 0x08, 0x04, 0x00});
    CHECK(Receive(port, 11, 1000).size() == 11, "no answer after plugging in");
    Acknowledge(port);

    // The shim's part: RTS off, as Wine's CLRRTS leaves it.
    __atomic_store_n(&camera.page->hostLines, (uint32_t)TIOCM_DTR, __ATOMIC_SEQ_CST);
    __atomic_add_fetch(&camera.page->hostWrites, 1, __ATOMIC_SEQ_CST);
    usleep(20000);
    Command(&camera, "key 41 down");
    CHECK(Receive(port, 1, 200).empty(), "the camera sent with RTS off");
    __atomic_store_n(&camera.page->hostLines, (uint32_t)(TIOCM_DTR | TIOCM_RTS), __ATOMIC_SEQ_CST);
    __atomic_add_fetch(&camera.page->hostWrites, 1, __ATOMIC_SEQ_CST);
    CHECK(Hex(Receive(port, 6, 500)) == "05 05 B8 01 41 FC", "held-back key frame");
    Acknowledge(port);

    CHECK(Command(&camera, "quit") == "ok", "quit");
    CHECK(WaitExit(&camera, 2000) == 0, "no clean exit after quit");
    struct stat status;
    CHECK(lstat(camera.link.c_str(), &status) != 0, "the link is still there");
    CHECK(camera.page->ptyDevice == 0 && camera.page->cameraLines == 0, "page not released");
    std::string log = ReadFile(camera.log);
    size_t ctsOff = log.find(" COM1 CTS off\r\n"), ctsOn = log.find(" COM1 CTS on\r\n");
    size_t rtsOff = log.find(" COM1 RTS off\r\n"), rtsOn = log.find(" COM1 RTS on\r\n");
    CHECK(ctsOff != std::string::npos && ctsOn > ctsOff && rtsOff > ctsOn && rtsOn > rtsOff &&
              rtsOn != std::string::npos &&
              log.find("CAM>PC 05 05 B8 01 41 FC", rtsOff) != std::string::npos,
          "log:\n%s", log.c_str());
    close(port);
    StopCamera(&camera);
}

// SIGTERM stops the camera as cleanly as quit.
static void TerminateRemovesTheLink()
{
    Camera camera;
    if (!StartCamera(&camera, "14400"))
        return;
    kill(camera.pid, SIGTERM);
    CHECK(WaitExit(&camera, 2000) == 0, "no clean exit after SIGTERM");
    struct stat status;
    CHECK(lstat(camera.link.c_str(), &status) != 0, "the link is still there");
    StopCamera(&camera);
}

// The shim, preloaded into a child of this program as into Wine: TIOCMGET on the camera's
// pty answers the camera's CTS and the console's RTS; TIOCMBIC / TIOCMBIS / TIOCMSET reach
// the camera (its log); another terminal is left alone.
static int ShimChild(const char* link)
{
    int port = OpenPort(link);
    int lines = 0, rts = TIOCM_RTS;
    int got = ioctl(port, TIOCMGET, &lines);
    printf("get %d %d\n", got, lines);
    ioctl(port, TIOCMBIC, &rts);
    ioctl(port, TIOCMGET, &lines);
    printf("after-clear %d\n", lines);
    fflush(stdout);
    usleep(30000);
    ioctl(port, TIOCMBIS, &rts);
    ioctl(port, TIOCMGET, &lines);
    printf("after-set %d\n", lines);
    int other = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(other);
    unlockpt(other);
    int otherSlave = open(ptsname(other), O_RDWR | O_NOCTTY);
    printf("other %d\n", ioctl(otherSlave, TIOCMGET, &lines) == 0 ? 0 : errno);
    return 0;
}

static void ShimAnswersModemLines()
{
    Camera camera;
    if (!StartCamera(&camera, "9600"))
        return;
    std::string command = std::string("HLR8_MODEM_LINES='") + camera.lines + "' LD_PRELOAD='" +
                          shimLibrary + "' '/proc/" + std::to_string(getpid()) +
                          "/exe' --shim-child '" + camera.link + "'";
    FILE* child = popen(command.c_str(), "r");
    std::string output;
    char buffer[256];
    while (child && fgets(buffer, sizeof buffer, child))
        output += buffer;
    CHECK(child && pclose(child) == 0, "shim child failed");
    char expected[256];
    snprintf(expected, sizeof expected, "get 0 %d\nafter-clear %d\nafter-set %d\nother %d\n",
             TIOCM_CTS | TIOCM_DSR | TIOCM_CD, TIOCM_CTS | TIOCM_DSR | TIOCM_CD,
             TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RTS, ENOTTY);
    CHECK(output == expected, "shim child said:\n%sexpected:\n%s", output.c_str(), expected);
    Command(&camera, "unplug");
    CHECK(camera.page->cameraLines == 0, "lines %u after unplug", camera.page->cameraLines);
    usleep(50000);
    std::string log = ReadFile(camera.log);
    size_t off = log.find(" COM1 RTS off\r\n");
    CHECK(off != std::string::npos && log.find(" COM1 RTS on\r\n", off) != std::string::npos,
          "log:\n%s", log.c_str());
    StopCamera(&camera);
}

struct TestCase
{
    const char* name;
    void (*run)();
};

static const TestCase CASES[] = {
    {"VersionQueryIsPacedAtTheLineSpeed", VersionQueryIsPacedAtTheLineSpeed},
    {"PanLeftRemoteKeyAndReopen", PanLeftRemoteKeyAndReopen},
    {"UnplugAndRtsThroughThePage", UnplugAndRtsThroughThePage},
    {"TerminateRemovesTheLink", TerminateRemovesTheLink},
    {"ShimAnswersModemLines", ShimAnswersModemLines},
};

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "--shim-child") == 0)
        return ShimChild(argv[2]);
    if (argc != 3)
    {
        fprintf(stderr, "usage: camera_pty_tests HLR8_CAMERA MODEM_SHIM\n");
        return 2;
    }
    cameraProgram = argv[1];
    shimLibrary = argv[2];
    signal(SIGPIPE, SIG_IGN);
    int passed = 0, failed = 0;
    for (const TestCase& test : CASES)
    {
        printf("[ RUN      ] CameraPty.%s\n", test.name);
        fflush(stdout);
        int before = failures;
        test.run();
        int ok = failures == before;
        printf("%s CameraPty.%s\n", ok ? "[       OK ]" : "[  FAILED  ]", test.name);
        fflush(stdout);
        (ok ? passed : failed)++;
    }
    printf("[  PASSED  ] %d tests.\n", passed);
    if (failed)
        printf("[  FAILED  ] %d tests.\n", failed);
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
