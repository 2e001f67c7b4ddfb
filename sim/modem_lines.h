/* The modem lines of the native camera's pseudo-terminal, shared between hlr8-camera and the
 * test-only LD_PRELOAD shim (tests/modem_shim/modem_shim.c) loaded into Wine.
 *
 * A pseudo-terminal has no modem lines: Wine's GetCommModemStatus and EscapeCommFunction fail
 * on one. The camera keeps the lines in a small file that both sides map (MAP_SHARED): it
 * writes its own lines (CTS, DSR, CD) and the pty slave's device number; the shim answers
 * TIOCMGET from them for a descriptor on that device and stores what TIOCMSET / TIOCMBIS /
 * TIOCMBIC set (RTS, DTR) for the camera to read. Wine reads the lines about 880 times a
 * second while a comm wait is pending, so they are served from memory, never from a file
 * read per call.
 *
 * The file is created by hlr8-camera (the path in HLR8_MODEM_LINES for the shim) and kept
 * when it ends: the shim's mapping stays valid for the next camera, which finds the same file
 * and writes its own device number there. Plain C, so the shim can include it. */
#ifndef HLR8_MODEM_LINES_H
#define HLR8_MODEM_LINES_H

#include <stdint.h>

#define MODEM_LINES_MAGIC 0x384C4D48u /* "HML8" */
#define MODEM_LINES_FILE_SIZE 4096
#define MODEM_LINES_ENV "HLR8_MODEM_LINES"

typedef struct ModemLines
{
    uint32_t magic;
    volatile uint64_t ptyDevice;   /* st_rdev of the camera's pty slave; 0: no camera */
    volatile uint32_t cameraLines; /* TIOCM_CTS | TIOCM_DSR | TIOCM_CD, as the camera sets them */
    volatile uint32_t hostLines;   /* TIOCM_RTS | TIOCM_DTR, as the console last set them */
    volatile uint32_t hostWrites;  /* count of the console's writes; 0: it never set them */
    volatile uint32_t modemReads;  /* count of TIOCMGET answers, for the curious */
} ModemLines;

#endif
