// The native camera's pseudo-terminal and its paced transmitter. See pty_line.h.
#include "sim/pty_line.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

const uint64_t BYTE_SCALED = 10 * 1000000ull; // 10 bit times, in microseconds times the baud

static int CopyPath(char* to, const char* from)
{
    size_t length = strlen(from);
    if (length >= (size_t)PTY_PATH_SIZE)
    {
        errno = ENAMETOOLONG;
        return 0;
    }
    memcpy(to, from, length + 1);
    return 1;
}

static int MakeRaw(int fd)
{
    struct termios settings;
    if (tcgetattr(fd, &settings) != 0)
        return 0;
    cfmakeraw(&settings);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

static int OpenMaster(PtyLine* line)
{
    line->master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (line->master < 0)
        return 0;
    const char* name = 0;
    if (grantpt(line->master) != 0 || unlockpt(line->master) != 0 ||
        !(name = ptsname(line->master)) || !CopyPath(line->slavePath, name))
        return 0;
    line->slave = open(line->slavePath, O_RDWR | O_NOCTTY);
    struct stat status;
    if (line->slave < 0 || fstat(line->slave, &status) != 0 || !MakeRaw(line->slave))
        return 0;
    line->slaveDevice = status.st_rdev;
    return 1;
}

// Replaces whatever is at the link path (a link left by a camera that was killed).
static int MakeLink(PtyLine* line, const char* linkPath)
{
    if (!linkPath || !*linkPath)
        return 1;
    if (!CopyPath(line->linkPath, linkPath))
        return 0;
    char temporary[PTY_PATH_SIZE + 16];
    snprintf(temporary, sizeof temporary, "%s.%ld", linkPath, (long)getpid());
    unlink(temporary);
    if (symlink(line->slavePath, temporary) != 0)
        return 0;
    if (rename(temporary, linkPath) != 0)
    {
        int error = errno;
        unlink(temporary);
        errno = error;
        return 0;
    }
    return 1;
}

int OpenPtyLine(PtyLine* line, const char* linkPath)
{
    memset(line, 0, sizeof *line);
    line->master = -1;
    line->slave = -1;
    if (OpenMaster(line) && MakeLink(line, linkPath))
        return 1;
    int error = errno;
    line->linkPath[0] = 0; // not ours: MakeLink failed before or at the rename
    ClosePtyLine(line);
    errno = error;
    return 0;
}

void ClosePtyLine(PtyLine* line)
{
    if (line->linkPath[0])
        unlink(line->linkPath);
    if (line->slave >= 0)
        close(line->slave);
    if (line->master >= 0)
        close(line->master);
    line->master = -1;
    line->slave = -1;
    line->linkPath[0] = 0;
}

// --- Paced transmitter ---

void InitPacedOutput(PacedOutput* output, uint32_t baud)
{
    memset(output, 0, sizeof *output);
    output->baud = baud;
}

int PacedRoom(const PacedOutput* output)
{
    return PACED_QUEUE_SIZE - output->count;
}

void PacedQueue(PacedOutput* output, const uint8_t* bytes, int count, uint64_t nowUs)
{
    uint64_t nowScaled = nowUs * output->baud;
    if (output->lineFreeScaled < nowScaled)
        output->lineFreeScaled = nowScaled; // an idle line starts the byte now
    for (int i = 0; i < count && output->count < PACED_QUEUE_SIZE; ++i)
    {
        int slot = (output->head + output->count) % PACED_QUEUE_SIZE;
        output->lineFreeScaled += BYTE_SCALED;
        output->bytes[slot] = bytes[i];
        output->dueUs[slot] = (output->lineFreeScaled + output->baud - 1) / output->baud;
        ++output->count;
    }
}

int PacedSendDue(PacedOutput* output, int fd, uint64_t nowUs)
{
    while (output->count > 0 && output->dueUs[output->head] <= nowUs)
    {
        ssize_t written = write(fd, &output->bytes[output->head], 1);
        if (written != 1)
            return 0; // the pty is full (nobody reads): try again later
        output->head = (output->head + 1) % PACED_QUEUE_SIZE;
        --output->count;
    }
    return 1;
}

int PacedNextDue(const PacedOutput* output, uint64_t* dueUs)
{
    if (output->count == 0)
        return 0;
    *dueUs = output->dueUs[output->head];
    return 1;
}

void PacedDiscard(PacedOutput* output)
{
    output->head = 0;
    output->count = 0;
    output->lineFreeScaled = 0;
}
