// Not a test by itself: a tiny Windows program that tests/camera_wine_check.sh runs under Wine
// on a COM port mapped to the native camera's pty, with the modem-line shim preloaded.
//   modem_probe COMn
// It opens the port as the console does (RTS handshake, RTS raised), prints the modem status,
// then waits on EV_CTS | EV_RXCHAR as the console's reader thread does and prints each CTS
// change with the Unix time in ms (the script compares it with when it pulled the cable).
// After CTS went off and on again it asks the CCU for its version, prints the answer, lowers
// and raises RTS (the camera logs both) and closes the port. Lines:
//   open cts <0|1>            each <0|1> at <unix ms>        answer <hex bytes>
//   done                      or: error <what> <GetLastError>
#include <windows.h>
#include <stdio.h>

const DWORD CTS_WAIT_MS = 10000;

static unsigned long long UnixMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    unsigned long long ticks = ((unsigned long long)now.dwHighDateTime << 32) | now.dwLowDateTime;
    return ticks / 10000 - 11644473600000ull;
}

static int Fail(const char* what)
{
    printf("error %s %lu\n", what, GetLastError());
    fflush(stdout);
    return 1;
}

static int CtsOn(HANDLE port)
{
    DWORD status = 0;
    if (!GetCommModemStatus(port, &status))
        return -1;
    return (status & MS_CTS_ON) != 0;
}

static HANDLE OpenPort(const char* name)
{
    char path[32];
    snprintf(path, sizeof path, "\\\\.\\%s", name);
    HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, 0);
    if (port == INVALID_HANDLE_VALUE)
        return port;
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    SetCommState(port, &dcb);
    COMMTIMEOUTS timeouts = {MAXDWORD, 0, 1000, 0, 1000};
    SetCommTimeouts(port, &timeouts);
    EscapeCommFunction(port, SETRTS);
    return port;
}

// Waits for CTS to read `wanted`, on comm events as the reader thread does.
static int WaitForCts(HANDLE port, HANDLE event, int wanted)
{
    DWORD deadline = GetTickCount() + CTS_WAIT_MS;
    while (CtsOn(port) != wanted)
    {
        OVERLAPPED overlapped;
        memset(&overlapped, 0, sizeof overlapped);
        overlapped.hEvent = event;
        DWORD mask = 0, ignored = 0;
        if (!WaitCommEvent(port, &mask, &overlapped))
        {
            if (GetLastError() != ERROR_IO_PENDING)
                return 0;
            DWORD left = deadline - GetTickCount();
            if ((int)left <= 0 || WaitForSingleObject(event, left) != WAIT_OBJECT_0)
                return 0;
            if (!GetOverlappedResult(port, &overlapped, &ignored, FALSE))
                return 0;
        }
        if ((int)(deadline - GetTickCount()) <= 0)
            return 0;
    }
    printf("cts %d at %llu\n", wanted, UnixMs());
    fflush(stdout);
    return 1;
}

static int Transfer(HANDLE port, HANDLE event, const BYTE* bytes, DWORD count, int write)
{
    OVERLAPPED overlapped;
    memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = event;
    DWORD done = 0;
    BOOL ok = write ? WriteFile(port, bytes, count, &done, &overlapped)
                    : ReadFile(port, (BYTE*)bytes, count, &done, &overlapped);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(port, &overlapped, &done, TRUE);
    return ok ? (int)done : -1;
}

// The CCU's version: the ACK and the reply, 11 bytes; then the console's ACK.
static void AskVersion(HANDLE port, HANDLE event)
{
    const BYTE request[] = {0x04, 0x08, 0x04, 0x00, 0xF0};
    const BYTE ack[] = {0x03, 0x88, 0x00, 0x75};
    BYTE answer[11];
    int got = 0;
    Transfer(port, event, request, sizeof request, 1);
    for (DWORD start = GetTickCount(); got < 11 && GetTickCount() - start < 2000;)
    {
        int count = Transfer(port, event, answer + got, 11 - got, 0);
        if (count < 0)
            break;
        got += count;
    }
    Transfer(port, event, ack, sizeof ack, 1);
    printf("answer");
    for (int i = 0; i < got; ++i)
        printf(" %02X", answer[i]);
    printf("\n");
    fflush(stdout);
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return Fail("usage: modem_probe COMn");
    HANDLE port = OpenPort(argv[1]);
    if (port == INVALID_HANDLE_VALUE)
        return Fail("open");
    HANDLE event = CreateEventA(0, TRUE, FALSE, 0);
    printf("open cts %d\n", CtsOn(port));
    fflush(stdout);
    if (!SetCommMask(port, EV_CTS | EV_RXCHAR))
        return Fail("mask");
    if (!WaitForCts(port, event, 0))
        return Fail("cts-off");
    if (!WaitForCts(port, event, 1))
        return Fail("cts-on");
    SetCommMask(port, EV_CTS);
    AskVersion(port, event);
    EscapeCommFunction(port, CLRRTS);
    Sleep(200);
    EscapeCommFunction(port, SETRTS);
    Sleep(200);
    CloseHandle(port);
    printf("done\n");
    return 0;
}
