// hlr8-camera: the virtual HL-R8 (sim/camera_model.h) on a pseudo-terminal, as a native Linux
// program. Any serial console can open the pty (or the link to it) as its port; under Wine
// map a COM port to the link. The model does the protocol; this file serves the pty, paces
// the camera's bytes at the line speed, takes commands one a line, keeps the modem lines in
// the shared page (sim/modem_lines.h) and writes the frame log.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "sim/camera_model.h"
#include "sim/modem_lines.h"
#include "sim/pty_line.h"

static const char USAGE[] =
    "usage: hlr8-camera [options]\n"
    "The virtual HL-R8 camera on a pseudo-terminal: point any serial console at the pty (or\n"
    "at --link), e.g. under Wine: wine reg add 'HKLM\\Software\\Wine\\Ports' /v COM1 /d LINK.\n"
    "The camera sends at the line speed (10 bit times a byte); what it receives is not paced.\n"
    "\n"
    "options:\n"
    "  --link PATH      make PATH a symlink to the pty's slave (removed at the end)\n"
    "  --baud N         4800, 9600 (default) or 14400: the pace of the camera's bytes\n"
    "  --log PATH       frame log, the virtual camera's format, one line a frame (CR LF):\n"
    "                     <ms> COM<n> PC>CAM|CAM>PC <hex bytes>\n"
    "                   and the line changes: <ms> COM<n> RTS on|off, <ms> COM<n> CTS on|off\n"
    "  --com N          the port number the log names (default 1)\n"
    "  --lines PATH     the shared modem-line page (default LINK.lines with --link); give\n"
    "                   its path to the test shim as HLR8_MODEM_LINES. The camera reads RTS\n"
    "                   from it once the console has set it; until then, and without a\n"
    "                   page, RTS counts as on, so a console with no modem lines works too\n"
    "  --control PATH   read commands from the FIFO at PATH (made if missing), not stdin\n"
    "  --reply PATH     write the answers to the file at PATH, not stdout\n"
    "  --help           this text\n"
    "\n"
    "When ready it prints: ready <pty> <link or -> <lines page or ->\n"
    "Commands, one a line; each is answered with one line, 'ok ...' or 'error ...':\n"
    "  key HH down|up         remote-control key HH (hex) pressed or released\n"
    "  unplug                 cable out: CTS off, the camera neither hears nor sends\n"
    "  plug                   cable in: CTS on\n"
    "  power-cycle            CTS off, settings reset, CTS on and a power report 300 ms later\n"
    "  fault NAME N           the next N requests/frames: drop-ack, drop-reply, nak,\n"
    "                         corrupt-ack, corrupt-frame, delay, error-reply (0 disarms)\n"
    "  fault-delay MS         how late 'fault delay' answers (default 1000)\n"
    "  error-class HH         the class byte of 'fault error-reply' (default 02)\n"
    "  echo on|off            send every request back before its ACK\n"
    "  silent on|off          a hung camera: hears nothing, sends nothing, CTS stays on\n"
    "  reply-delay MS         time from a request to its reply (default 30)\n"
    "  garbage HH [HH...]     send raw bytes now\n"
    "  status                 ok cts on|off rts on|off pan P tilt T zoom Z focus F\n"
    "  quit                   stop (so do SIGTERM and SIGINT); the link is removed\n"
    "End of standard input stops reading it; the camera keeps running.\n";

const int CONTROL_LINE_SIZE = 512;
const int MAX_WORDS = 40;
const int LOG_LINE_SIZE = 160;
// How often RTS is looked at in the shared page: the console changes it rarely (an RTS pulse
// lasts 250 ms), and each look wakes the camera, 200 times a second when idle.
const uint64_t LINES_POLL_US = 5000;
const uint64_t FULL_PTY_RETRY_US = 2000;

struct Options
{
    const char* linkPath;
    const char* logPath;
    const char* controlPath;
    const char* replyPath;
    const char* linesPath;
    char defaultLines[PTY_PATH_SIZE + 8];
    uint32_t baud;
    int comNumber;
};

struct Server
{
    PtyLine line;
    PacedOutput output;
    CameraModel model;
    ModemLines* lines; // null: no page
    int logFd;
    uint32_t logged; // model log entries already written
    int rts;
    int cts;
    int controlFd;
    int replyFd;
    char control[CONTROL_LINE_SIZE];
    int controlCount;
    char reply[CONTROL_LINE_SIZE];
    int replyLength;
    int quit;
    struct timespec start;
    int comNumber;
};

static Server server;
static volatile sig_atomic_t stopSignal;

static void OnStopSignal(int)
{
    stopSignal = 1;
}

static uint64_t NowUs()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t ns = (int64_t)(now.tv_sec - server.start.tv_sec) * 1000000000 +
                 (now.tv_nsec - server.start.tv_nsec);
    return (uint64_t)(ns / 1000);
}

static uint32_t NowMs()
{
    return (uint32_t)(NowUs() / 1000);
}

// --- Frame log ---

static void WriteLogText(const char* text, int length)
{
    if (server.logFd >= 0 && write(server.logFd, text, (size_t)length) != length)
        perror("hlr8-camera: frame log");
}

static void LogLineChange(const char* name, int on)
{
    char text[LOG_LINE_SIZE];
    int length = snprintf(text, sizeof text, "%u COM%d %s %s\r\n", (unsigned)NowMs(),
                          server.comNumber, name, on ? "on" : "off");
    WriteLogText(text, length);
}

static int FormatFrame(const CameraLogEntry* entry, char* text)
{
    int length = snprintf(text, LOG_LINE_SIZE, "%u COM%d %s", (unsigned)entry->timeMs,
                          server.comNumber,
                          entry->direction == CAMERA_LOG_SENT ? "CAM>PC" : "PC>CAM");
    for (int i = 0; i < entry->length; ++i)
        length += snprintf(text + length, (size_t)(LOG_LINE_SIZE - length), " %02X",
                           entry->bytes[i]);
    return length + snprintf(text + length, (size_t)(LOG_LINE_SIZE - length), "\r\n");
}

// Entries the model's ring lost before they were written are skipped, as the virtual camera
// does.
static void FlushLog()
{
    uint32_t total = server.model.logCount;
    uint32_t first = server.logged;
    if (total - first > (uint32_t)CAMERA_LOG_ENTRIES)
        first = total - CAMERA_LOG_ENTRIES;
    for (uint32_t i = first; i != total; ++i)
    {
        char text[LOG_LINE_SIZE];
        WriteLogText(text, FormatFrame(CameraLogEntryAt(&server.model, i), text));
    }
    server.logged = total;
}

// --- Modem lines ---

static ModemLines* MapLines(const char* path)
{
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || ftruncate(fd, MODEM_LINES_FILE_SIZE) != 0)
    {
        if (fd >= 0)
            close(fd);
        return 0;
    }
    void* page = mmap(0, MODEM_LINES_FILE_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return page == MAP_FAILED ? 0 : (ModemLines*)page;
}

// A fresh camera on the page: the console's lines count as never set.
static void ClaimLines(ModemLines* lines, dev_t device)
{
    lines->hostLines = 0;
    lines->hostWrites = 0;
    lines->cameraLines = 0;
    lines->ptyDevice = (uint64_t)device;
    lines->magic = MODEM_LINES_MAGIC;
}

static int ConsoleRts()
{
    if (!server.lines || server.lines->hostWrites == 0)
        return 1;
    return (server.lines->hostLines & TIOCM_RTS) != 0;
}

static void SyncRts(uint32_t nowMs)
{
    int rts = ConsoleRts();
    if (rts == server.rts)
        return;
    server.rts = rts;
    CameraSetRts(&server.model, rts, nowMs);
    LogLineChange("RTS", rts);
}

static void SyncCts()
{
    int cts = CameraCtsOn(&server.model);
    if (server.lines)
    {
        uint32_t cable = server.model.plugged ? (TIOCM_DSR | TIOCM_CD) : 0;
        server.lines->cameraLines = (cts ? TIOCM_CTS : 0) | cable;
    }
    if (cts != server.cts)
        LogLineChange("CTS", cts);
    server.cts = cts;
}

// --- Serving the line ---

static void Publish(uint64_t nowUs)
{
    uint8_t bytes[PACED_QUEUE_SIZE];
    int count = CameraTakeOutput(&server.model, bytes, PacedRoom(&server.output));
    PacedQueue(&server.output, bytes, count, nowUs);
    SyncCts();
    FlushLog();
}

static void ReadConsole(uint32_t nowMs)
{
    uint8_t bytes[256];
    ssize_t count;
    while ((count = read(server.line.master, bytes, sizeof bytes)) > 0)
        CameraFeed(&server.model, bytes, (int)count, nowMs);
}

static void Serve()
{
    uint64_t now = NowUs();
    uint32_t nowMs = (uint32_t)(now / 1000);
    SyncRts(nowMs);
    ReadConsole(nowMs);
    CameraAdvance(&server.model, nowMs);
    Publish(now);
}

// How long ppoll may sleep: until the model's next deadline, the next paced byte or the
// next look at RTS, whichever is first.
static uint64_t SleepUs(uint64_t nowUs, int sendBlocked)
{
    uint64_t wake = nowUs + (server.lines ? LINES_POLL_US : 1000000u);
    uint32_t deadlineMs = 0;
    if (CameraNextDeadline(&server.model, &deadlineMs))
    {
        int32_t ahead = (int32_t)(deadlineMs - (uint32_t)(nowUs / 1000));
        uint64_t at = ahead <= 0 ? nowUs : (nowUs / 1000 + (uint64_t)ahead) * 1000;
        if (at < wake)
            wake = at;
    }
    uint64_t due = 0;
    if (PacedNextDue(&server.output, &due))
    {
        if (sendBlocked && due < nowUs + FULL_PTY_RETRY_US)
            due = nowUs + FULL_PTY_RETRY_US;
        if (due < wake)
            wake = due;
    }
    return wake > nowUs ? wake - nowUs : 0;
}

// --- Control channel ---

static void Reply(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Kept until the command's effects are on the line, in the page and in the log: a test that
// reads the answer may look at them at once.
static void Reply(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(server.reply, sizeof server.reply - 1, format, arguments);
    va_end(arguments);
    if (length < 0)
        length = 0;
    if (length > (int)sizeof server.reply - 2)
        length = (int)sizeof server.reply - 2;
    server.reply[length++] = '\n';
    server.replyLength = length;
}

static void SendReply()
{
    if (server.replyLength > 0 &&
        write(server.replyFd, server.reply, (size_t)server.replyLength) != server.replyLength)
        perror("hlr8-camera: reply");
    server.replyLength = 0;
}

static int ParseNumber(const char* text, int base, long low, long high, long* value)
{
    char* end = 0;
    errno = 0;
    *value = strtol(text, &end, base);
    return text[0] && !*end && !errno && *value >= low && *value <= high;
}

static int ParseOnOff(const char* text, int* on)
{
    *on = strcmp(text, "on") == 0;
    return *on || strcmp(text, "off") == 0;
}

struct FaultName
{
    const char* name;
    CameraFault fault;
};

static const FaultName FAULT_NAMES[] = {
    {"drop-ack", CAMERA_FAULT_DROP_ACK},           {"drop-reply", CAMERA_FAULT_DROP_REPLY},
    {"nak", CAMERA_FAULT_NAK},                     {"corrupt-ack", CAMERA_FAULT_CORRUPT_ACK},
    {"corrupt-frame", CAMERA_FAULT_CORRUPT_FRAME}, {"delay", CAMERA_FAULT_DELAY},
    {"error-reply", CAMERA_FAULT_ERROR_REPLY},
};

static int FindFault(const char* name, CameraFault* fault)
{
    for (const FaultName& entry : FAULT_NAMES)
        if (strcmp(entry.name, name) == 0)
        {
            *fault = entry.fault;
            return 1;
        }
    return 0;
}

static void ReplyStatus(uint32_t nowMs)
{
    const CameraModel* model = &server.model;
    Reply("ok cts %s rts %s pan %d tilt %d zoom %d focus %d", server.cts ? "on" : "off",
          server.rts ? "on" : "off", (int)CameraPanPosition(model, nowMs),
          (int)CameraTiltPosition(model, nowMs), (int)CameraZoomPosition(model, nowMs),
          (int)CameraFocusPosition(model, nowMs));
}

static void CommandKey(char** words, int count, uint32_t nowMs)
{
    long key = 0;
    int down = count == 3 && strcmp(words[2], "down") == 0;
    if (count != 3 || !ParseNumber(words[1], 16, 0, 255, &key) ||
        (!down && strcmp(words[2], "up") != 0))
        return Reply("error usage: key HH down|up");
    CameraRemoteKey(&server.model, (uint8_t)key, down, nowMs);
    Reply("ok");
}

static void CommandFault(char** words, int count)
{
    CameraFault fault = CAMERA_FAULT_DROP_ACK;
    long times = 0;
    if (count != 3 || !FindFault(words[1], &fault) || !ParseNumber(words[2], 10, 0, 1000000, &times))
        return Reply("error usage: fault NAME N (NAME: drop-ack drop-reply nak corrupt-ack "
                     "corrupt-frame delay error-reply)");
    CameraArmFault(&server.model, fault, (int)times);
    Reply("ok");
}

static void CommandGarbage(char** words, int count, uint32_t nowMs)
{
    uint8_t bytes[MAX_WORDS];
    long value = 0;
    if (count < 2)
        return Reply("error usage: garbage HH [HH...]");
    for (int i = 1; i < count; ++i)
    {
        if (!ParseNumber(words[i], 16, 0, 255, &value))
            return Reply("error not a hex byte: %s", words[i]);
        bytes[i - 1] = (uint8_t)value;
    }
    CameraInjectGarbage(&server.model, bytes, count - 1, nowMs);
    Reply("ok");
}

// Commands with one number or on/off argument.
static void CommandSetting(char** words, int count)
{
    long value = 0;
    int on = 0;
    const char* name = words[0];
    int hasValue = count == 2;
    if (strcmp(name, "fault-delay") == 0 && hasValue && ParseNumber(words[1], 10, 0, 600000, &value))
        CameraSetFaultDelay(&server.model, (uint32_t)value);
    else if (strcmp(name, "reply-delay") == 0 && hasValue && ParseNumber(words[1], 10, 0, 600000, &value))
        CameraSetReplyDelay(&server.model, (uint32_t)value);
    else if (strcmp(name, "error-class") == 0 && hasValue && ParseNumber(words[1], 16, 0, 255, &value))
        CameraSetFaultErrorClass(&server.model, (uint8_t)value);
    else if (strcmp(name, "echo") == 0 && hasValue && ParseOnOff(words[1], &on))
        CameraSetEcho(&server.model, on);
    else if (strcmp(name, "silent") == 0 && hasValue && ParseOnOff(words[1], &on))
        CameraSetSilent(&server.model, on);
    else
        return Reply("error bad command or argument: %s (see --help)", name);
    Reply("ok");
}

static void RunCommand(char** words, int count, uint32_t nowMs)
{
    const char* name = words[0];
    if (strcmp(name, "key") == 0)
        CommandKey(words, count, nowMs);
    else if (strcmp(name, "fault") == 0)
        CommandFault(words, count);
    else if (strcmp(name, "garbage") == 0)
        CommandGarbage(words, count, nowMs);
    else if (count > 1)
        CommandSetting(words, count);
    else if (strcmp(name, "unplug") == 0)
    {
        CameraUnplug(&server.model, nowMs);
        PacedDiscard(&server.output); // the bytes on their way are cut off with the cable
        Reply("ok");
    }
    else if (strcmp(name, "plug") == 0)
    {
        CameraPlugIn(&server.model, nowMs);
        Reply("ok");
    }
    else if (strcmp(name, "power-cycle") == 0)
    {
        CameraPowerCycle(&server.model, nowMs);
        Reply("ok");
    }
    else if (strcmp(name, "status") == 0)
        ReplyStatus(nowMs);
    else if (strcmp(name, "quit") == 0)
    {
        server.quit = 1;
        Reply("ok");
    }
    else
        Reply("error unknown command: %s (see --help)", name);
}

// One line: what fell due goes out first (a silence or an unplug clears the transmitter),
// then the command, then what it produced.
static void HandleControlLine(char* text)
{
    char* words[MAX_WORDS];
    int count = 0;
    for (char* word = strtok(text, " \t\r"); word && count < MAX_WORDS; word = strtok(0, " \t\r"))
        words[count++] = word;
    if (count == 0)
        return;
    Serve();
    uint64_t now = NowUs();
    RunCommand(words, count, (uint32_t)(now / 1000));
    Publish(now);
    SendReply();
}

static void ReadControl()
{
    ssize_t count = read(server.controlFd, server.control + server.controlCount,
                         (size_t)(CONTROL_LINE_SIZE - 1 - server.controlCount));
    if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR))
    {
        server.controlFd = -1; // end of standard input: keep serving the line
        return;
    }
    if (count < 0)
        return;
    server.controlCount += (int)count;
    char* newline;
    while ((newline = (char*)memchr(server.control, '\n', (size_t)server.controlCount)))
    {
        *newline = 0;
        int used = (int)(newline - server.control) + 1;
        HandleControlLine(server.control);
        memmove(server.control, server.control + used, (size_t)(server.controlCount - used));
        server.controlCount -= used;
    }
    if (server.controlCount == CONTROL_LINE_SIZE - 1)
    {
        server.controlCount = 0;
        Reply("error line too long");
        SendReply();
    }
}

// --- Start and stop ---

static int ParseOptions(int argc, char** argv, Options* options)
{
    memset(options, 0, sizeof *options);
    options->baud = 9600;
    options->comNumber = 1;
    for (int i = 1; i < argc; ++i)
    {
        const char* name = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : 0;
        long number = 0;
        if (strcmp(name, "--help") == 0)
        {
            fputs(USAGE, stdout);
            exit(0);
        }
        if (!value)
        {
            fprintf(stderr, "hlr8-camera: %s needs a value or is unknown (see --help)\n", name);
            return 0;
        }
        ++i;
        if (strcmp(name, "--link") == 0)
            options->linkPath = value;
        else if (strcmp(name, "--log") == 0)
            options->logPath = value;
        else if (strcmp(name, "--control") == 0)
            options->controlPath = value;
        else if (strcmp(name, "--reply") == 0)
            options->replyPath = value;
        else if (strcmp(name, "--lines") == 0)
            options->linesPath = value;
        else if (strcmp(name, "--baud") == 0 && ParseNumber(value, 10, 1, 14400, &number) &&
                 (number == 4800 || number == 9600 || number == 14400))
            options->baud = (uint32_t)number;
        else if (strcmp(name, "--com") == 0 && ParseNumber(value, 10, 1, 255, &number))
            options->comNumber = (int)number;
        else
        {
            fprintf(stderr, "hlr8-camera: bad option %s %s (see --help)\n", name, value);
            return 0;
        }
    }
    if (!options->linesPath && options->linkPath)
    {
        snprintf(options->defaultLines, sizeof options->defaultLines, "%s.lines", options->linkPath);
        options->linesPath = options->defaultLines;
    }
    return 1;
}

static int OpenFifo(const char* path)
{
    if (mkfifo(path, 0600) != 0 && errno != EEXIST)
        return -1;
    // Read and write: the FIFO then never reports end of file when a writer closes it.
    return open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

static int Fail(const char* what, const char* path)
{
    fprintf(stderr, "hlr8-camera: %s %s: %s\n", what, path ? path : "", strerror(errno));
    return 0;
}

static int OpenOutputs(const Options* options)
{
    server.logFd = -1;
    server.replyFd = STDOUT_FILENO;
    server.controlFd = STDIN_FILENO;
    if (options->logPath &&
        (server.logFd = open(options->logPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) < 0)
        return Fail("cannot create the frame log", options->logPath);
    if (options->replyPath &&
        (server.replyFd = open(options->replyPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) < 0)
        return Fail("cannot create the reply file", options->replyPath);
    if (options->controlPath && (server.controlFd = OpenFifo(options->controlPath)) < 0)
        return Fail("cannot open the control FIFO", options->controlPath);
    if (options->linesPath && !(server.lines = MapLines(options->linesPath)))
        return Fail("cannot map the modem-line page", options->linesPath);
    return 1;
}

static int Start(const Options* options)
{
    clock_gettime(CLOCK_MONOTONIC, &server.start);
    server.comNumber = options->comNumber;
    if (!OpenOutputs(options))
        return 0;
    if (!OpenPtyLine(&server.line, options->linkPath))
        return Fail("cannot make the pty or its link", options->linkPath);
    InitPacedOutput(&server.output, options->baud);
    CameraInit(&server.model, 0);
    server.rts = ConsoleRts();
    CameraSetRts(&server.model, server.rts, 0);
    server.cts = CameraCtsOn(&server.model);
    if (server.lines)
        ClaimLines(server.lines, server.line.slaveDevice);
    SyncCts();
    printf("ready %s %s %s\n", server.line.slavePath, options->linkPath ? options->linkPath : "-",
           options->linesPath ? options->linesPath : "-");
    fflush(stdout);
    return 1;
}

static void Stop()
{
    if (server.lines)
    {
        server.lines->cameraLines = 0;
        server.lines->ptyDevice = 0; // the shim no longer takes any descriptor for ours
    }
    FlushLog();
    ClosePtyLine(&server.line);
}

static void CatchStopSignals(sigset_t* waitMask)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnStopSignal;
    sigaction(SIGTERM, &action, 0);
    sigaction(SIGINT, &action, 0);
    sigaction(SIGHUP, &action, 0);
    signal(SIGPIPE, SIG_IGN);
    // Blocked except inside ppoll: a signal can never slip in between the test and the wait.
    sigset_t stopMask;
    sigemptyset(&stopMask);
    sigaddset(&stopMask, SIGTERM);
    sigaddset(&stopMask, SIGINT);
    sigaddset(&stopMask, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopMask, waitMask);
}

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options))
        return 2;
    sigset_t waitMask;
    CatchStopSignals(&waitMask);
    if (!Start(&options))
        return 1;
    while (!server.quit && !stopSignal)
    {
        Serve();
        uint64_t now = NowUs();
        int sent = PacedSendDue(&server.output, server.line.master, now);
        uint64_t sleepUs = SleepUs(now, !sent);
        struct pollfd watched[2] = {{server.line.master, POLLIN, 0}, {server.controlFd, POLLIN, 0}};
        struct timespec timeout = {(time_t)(sleepUs / 1000000u), (long)(sleepUs % 1000000u) * 1000};
        if (ppoll(watched, server.controlFd >= 0 ? 2 : 1, &timeout, &waitMask) > 0 &&
            (watched[1].revents & (POLLIN | POLLHUP | POLLERR)))
            ReadControl();
    }
    Stop();
    return 0;
}
