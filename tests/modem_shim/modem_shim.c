/* Test fixture, never part of the program: an LD_PRELOAD library that gives the native
 * camera's pseudo-terminal modem lines inside Wine (a pty has none, so Wine's
 * GetCommModemStatus, EscapeCommFunction and EV_CTS waits fail on it).
 *
 * For a descriptor on the pty named by the shared page (sim/modem_lines.h, path in
 * HLR8_MODEM_LINES, made by hlr8-camera) it answers:
 *   TIOCMGET  the camera's lines (CTS, DSR, CD) and RTS/DTR as the console last set them
 *   TIOCMSET, TIOCMBIS, TIOCMBIC  RTS and DTR, stored in the page for the camera
 * Everything else goes to the real ioctl (Wine's TIOCGICOUNT and TIOCSERGETLSR then fail with
 * ENOTTY, harmlessly). Wine turns SETRTS/CLRRTS into TIOCMGET then TIOCMSET, and reads the
 * lines about 880 times a second while a comm wait is pending: they come from memory. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/modem_lines.h"

#define HOST_LINES (TIOCM_RTS | TIOCM_DTR)

typedef int (*IoctlFunction)(int, unsigned long, ...);

static IoctlFunction realIoctl;
static ModemLines* lines;
static pthread_once_t setUp = PTHREAD_ONCE_INIT;

static void SetUp(void)
{
    realIoctl = (IoctlFunction)dlsym(RTLD_NEXT, "ioctl");
    const char* path = getenv(MODEM_LINES_ENV);
    if (!path || !*path)
        return;
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
    void* page = mmap(0, MODEM_LINES_FILE_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (page != MAP_FAILED)
        lines = (ModemLines*)page;
}

static int IsCameraPty(int fd)
{
    struct stat status;
    if (!lines || lines->magic != MODEM_LINES_MAGIC || lines->ptyDevice == 0)
        return 0;
    return fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) &&
           (uint64_t)status.st_rdev == lines->ptyDevice;
}

/* The console's new RTS/DTR from the request and its argument. */
static uint32_t NewHostLines(unsigned long request, uint32_t old, uint32_t bits)
{
    if (request == TIOCMSET)
        return bits & HOST_LINES;
    if (request == TIOCMBIS)
        return (old | bits) & HOST_LINES;
    return old & ~bits & HOST_LINES;
}

static int ModemIoctl(unsigned long request, int* argument)
{
    if (request == TIOCMGET)
    {
        *argument = (int)(lines->cameraLines | lines->hostLines);
        __atomic_add_fetch(&lines->modemReads, 1, __ATOMIC_RELAXED);
        return 0;
    }
    uint32_t old = lines->hostLines;
    uint32_t wanted = NewHostLines(request, old, (uint32_t)*argument);
    /* Wine's threads may race: retry until the change applies to what it read. */
    while (!__atomic_compare_exchange_n(&lines->hostLines, &old, wanted, 0, __ATOMIC_SEQ_CST,
                                        __ATOMIC_SEQ_CST))
        wanted = NewHostLines(request, old, (uint32_t)*argument);
    __atomic_add_fetch(&lines->hostWrites, 1, __ATOMIC_SEQ_CST);
    return 0;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    pthread_once(&setUp, SetUp);
    int modem = request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
                request == TIOCMBIC;
    if (modem && argument && IsCameraPty(fd))
        return ModemIoctl(request, (int*)argument);
    return realIoctl(fd, request, argument);
}
