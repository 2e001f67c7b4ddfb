// The COM-port backend of the line interface: the Win32 serial calls on a real port.
//
// The reader thread waits with an overlapped WaitCommEvent, which another thread ends by
// changing the event mask. Windows completes such a wait successfully with an empty event
// set; Wine completes it as failure 995. Both count as "the wait was ended" when the mask
// generation moved on meanwhile.
//
// Some devices cannot wait at all: a pseudo-terminal under Wine fails a wait that includes
// EV_CTS at once (error 50) and an EV_RXCHAR wait after a few hundred milliseconds; an
// unplugged USB adapter fails every call. Retrying such a wait in a loop would spin a core,
// so after the first unexplained failure the port is watched by polling instead: the input
// queue and the modem status are looked at every POLL_INTERVAL_MS, and the wait returns an
// empty set after POLL_SLICE_MS so the caller can look at its own state.
//
// The wait's state (the mask, its generation, polling or not) is the LineWaitState that the
// driver record keeps for the open port.
//
// The driver's wait for received bytes (armInputWait) is an overlapped ReadFile of one byte
// with the driver's read record: the system sets the record's event when the byte has come
// (or when the read's own 1000 ms time-out ends it empty), and no timer is involved. The byte
// goes to the wait state, where the driver counts it as waiting and ReadByte takes it first.
// A read still pending when the wait ends is cancelled and collected, so no byte is lost and
// no read outlives the wait. CancelIo cancels only the calling thread's I/O on the port: on the
// GUI thread never the reader thread's WaitCommEvent, and the reader thread itself has no wait
// pending while it receives a frame (writes are always completed before WriteByte returns). The wait runs under the receive interlock, so it never competes with
// the other thread's reads. (The reader thread's EV_RXCHAR cannot tell a transaction of its
// reply: the transaction has narrowed the mask to EV_CTS.)
#include "link/serial_line.h"

#include <stdio.h>
#include <string.h>

const DWORD COM_QUEUE_SIZE = 4096;
const DWORD COM_TIMEOUT_CONSTANT_MS = 1000;
const DWORD POLL_INTERVAL_MS = 5;
const DWORD POLL_SLICE_MS = 50;
// The longest sleep of the wait for received bytes: the mask change of a closing port does not
// end a read, so a reception of the reader thread notices the close by looking this often.
const DWORD INPUT_LOOK_MS = 50;

static HANDLE ComOpen(int portIndex, LineWaitState* state)
{
    char name[16];
    snprintf(name, sizeof name, "COM%d", portIndex + 1);
    HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, 0);
    if (port != INVALID_HANDLE_VALUE)
    {
        state->mask = 0;
        state->polling = 0;
        state->lastCts = -1;
        state->inputReadPending = 0;
        state->held = 0;
    }
    return port;
}

static void ComPrepare(HANDLE port)
{
    SetCommMask(port, 0);
    SetupComm(port, COM_QUEUE_SIZE, COM_QUEUE_SIZE);
    PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = COM_TIMEOUT_CONSTANT_MS;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = COM_TIMEOUT_CONSTANT_MS;
    SetCommTimeouts(port, &timeouts);
}

// Changes only the fields the camera needs; every other field keeps what the port reported.
static BOOL ComApplyLineSettings(HANDLE port, DWORD baudRate)
{
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb))
        return FALSE;
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    return SetCommState(port, &dcb);
}

static BOOL ComClose(HANDLE port)
{
    return CloseHandle(port);
}

// The generation moves on both before and after the change, so that a wait which began in
// between and was ended by it is still seen as ended by a mask change.
static BOOL ComSetMask(HANDLE port, LineWaitState* state, DWORD mask)
{
    state->mask = mask;
    InterlockedIncrement(&state->generation);
    BOOL set = SetCommMask(port, mask);
    InterlockedIncrement(&state->generation);
    return set;
}

static DWORD PolledEvents(HANDLE port, LineWaitState* state)
{
    DWORD mask = state->mask;
    DWORD events = 0;
    COMSTAT status;
    DWORD errors;
    if ((mask & EV_RXCHAR) && ClearCommError(port, &errors, &status) && status.cbInQue > 0)
        events |= EV_RXCHAR;
    DWORD modem;
    if ((mask & EV_CTS) && GetCommModemStatus(port, &modem))
    {
        int cts = (modem & MS_CTS_ON) != 0;
        if (state->lastCts >= 0 && cts != state->lastCts)
            events |= EV_CTS;
        state->lastCts = cts;
    }
    return events;
}

static BOOL ComPollEvents(HANDLE port, LineWaitState* state, DWORD* events, LONG generation)
{
    for (DWORD waited = 0; waited < POLL_SLICE_MS; waited += POLL_INTERVAL_MS)
    {
        if (state->generation != generation)
            break;
        Sleep(POLL_INTERVAL_MS);
        *events = PolledEvents(port, state);
        if (*events)
            return TRUE;
    }
    *events = 0;
    return TRUE;
}

static int InputWaiting(HANDLE port, const LineWaitState* state)
{
    COMSTAT status;
    DWORD errors;
    return (state->mask & EV_RXCHAR) && ClearCommError(port, &errors, &status) &&
           status.cbInQue > 0;
}

// Ends a wait this thread armed, by setting the port's mask again, and collects it; TRUE when
// it had completed with events of its own. The mask set is the one in force: should a
// transaction change it meanwhile, the generation has moved and the newer mask is set.
static BOOL EndArmedWait(HANDLE port, LineWaitState* state, OVERLAPPED* wait)
{
    LONG generation;
    do
    {
        generation = state->generation;
        SetCommMask(port, state->mask);
    } while (state->generation != generation);
    DWORD unused;
    return GetOverlappedResult(port, wait, &unused, TRUE);
}

static BOOL ComWaitEvent(HANDLE port, LineWaitState* state, DWORD* events, OVERLAPPED* wait)
{
    LONG generation = state->generation;
    *events = 0;
    if (state->mask == 0)
    {
        // Nothing could ever end this wait: the port is being closed.
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!state->polling)
    {
        ResetEvent(wait->hEvent);
        if (WaitCommEvent(port, events, wait))
            return TRUE;
        if (GetLastError() == ERROR_IO_PENDING)
        {
            // A mask change between the look at the state above and the arming found no wait
            // to end, and this one may wait on the old mask, or under Wine on the empty mask
            // of a closing port, for ever: end it now and let the caller look again.
            if (state->generation != generation)
            {
                EndArmedWait(port, state, wait);
                *events = 0;
                return TRUE;
            }
            // Windows raises EV_RXCHAR only for characters that arrive after the wait was
            // armed. A frame that came between the reader's last look at the queue and the
            // arming (a completion frame right after a transaction restored the mask) would
            // sit unread until the next byte: look at the queue again now.
            if (InputWaiting(port, state))
            {
                if (!EndArmedWait(port, state, wait))
                    *events = 0;
                *events |= EV_RXCHAR;
                return TRUE;
            }
            DWORD unused;
            if (GetOverlappedResult(port, wait, &unused, TRUE))
                return TRUE;
        }
        *events = 0;
        if (state->generation != generation)
            return TRUE; // ended by a mask change, as Wine reports it
        state->polling = 1;
    }
    return ComPollEvents(port, state, events, generation);
}

static BOOL ComGetModemStatus(HANDLE port, DWORD* status)
{
    return GetCommModemStatus(port, status);
}

static BOOL ComEscape(HANDLE port, DWORD function)
{
    return EscapeCommFunction(port, function);
}

static BOOL ComPurge(HANDLE port, DWORD flags)
{
    return PurgeComm(port, flags);
}

static BOOL ComClearError(HANDLE port, DWORD* inQueue)
{
    COMSTAT status;
    DWORD errors;
    if (!ClearCommError(port, &errors, &status))
    {
        *inQueue = 0;
        return FALSE;
    }
    *inQueue = status.cbInQue;
    return TRUE;
}

static void ClearPortError(HANDLE port)
{
    DWORD unused;
    ComClearError(port, &unused);
}

// Waits for a started overlapped operation; FALSE when it completed with an error.
static BOOL CompleteOverlapped(HANDLE port, OVERLAPPED* overlapped, DWORD* transferred)
{
    while (!GetOverlappedResult(port, overlapped, transferred, TRUE))
    {
        if (GetLastError() != ERROR_IO_INCOMPLETE)
            return FALSE;
    }
    return TRUE;
}

static BOOL ComReadByte(HANDLE port, OVERLAPPED* read, BYTE* value)
{
    DWORD count = 0;
    if (!ReadFile(port, value, 1, &count, read))
    {
        if (GetLastError() != ERROR_IO_PENDING || !CompleteOverlapped(port, read, &count))
        {
            ClearPortError(port);
            return FALSE;
        }
    }
    return count == 1;
}

// Once a write has been started its outcome is not examined.
static BOOL ComWriteByte(HANDLE port, OVERLAPPED* write, BYTE value)
{
    DWORD count = 0;
    if (WriteFile(port, &value, 1, &count, write))
        return TRUE;
    if (GetLastError() != ERROR_IO_PENDING)
    {
        ClearPortError(port);
        return FALSE;
    }
    if (!CompleteOverlapped(port, write, &count))
        ClearPortError(port);
    return TRUE;
}

// A read that cannot be started (a device that fails it at once) leaves the caller to look
// again after a short step, as without an event.
static HANDLE ComArmInputWait(HANDLE port, LineWaitState* state, OVERLAPPED* read, DWORD* dueMs)
{
    *dueMs = INFINITE;
    if (state->held)
    {
        *dueMs = 0; // a byte is waiting already
        return 0;
    }
    DWORD count = 0;
    if (ReadFile(port, &state->heldByte, 1, &count, read))
    {
        // Done at once: with a byte there is nothing to wait for; without one (a device that
        // never lets a read pend) the caller looks again after its short step.
        state->held = count == 1;
        if (state->held)
            *dueMs = 0;
        return 0;
    }
    if (GetLastError() != ERROR_IO_PENDING)
    {
        ClearPortError(port);
        return 0;
    }
    state->inputReadPending = 1;
    *dueMs = INPUT_LOOK_MS;
    return read->hEvent;
}

static void ComEndInputWait(HANDLE port, LineWaitState* state, OVERLAPPED* read)
{
    if (!state->inputReadPending)
        return;
    state->inputReadPending = 0;
    DWORD count = 0;
    if (!GetOverlappedResult(port, read, &count, FALSE))
    {
        if (GetLastError() != ERROR_IO_INCOMPLETE)
        {
            ClearPortError(port);
            return;
        }
        CancelIo(port);
        count = 0;
        if (!GetOverlappedResult(port, read, &count, TRUE))
            count = 0;
    }
    state->held = count == 1;
}

const LineBackend comPortBackend = {
    "COM port",     ComOpen,  ComPrepare,        ComApplyLineSettings,
    ComClose,       ComSetMask, ComWaitEvent,    ComGetModemStatus,
    ComEscape,      ComPurge, ComClearError,     ComReadByte,
    ComWriteByte,   ComArmInputWait, ComEndInputWait,
};
