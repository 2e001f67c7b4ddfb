// A TCP server of text lines that runs on a window's messages: it listens on one IPv4 address
// and port, takes a few clients, cuts what each sends into lines and hands every line to a
// handler, which answers with SendLine. Winsock reports each socket's events to the window as
// one message (WSAAsyncSelect), so everything runs on the window's thread, between its other
// messages, and an idle server costs nothing.
//
// Principles of operation:
// - A line ends at "\n"; a "\r" before it is dropped; blank lines are skipped, unanswered. A line over LINE_SERVER_LINE_MAX bytes,
//   or more than LINE_SERVER_LINES_PER_SECOND lines in one second, is answered with one ERR
//   line and closes that client alone; so does a client that leaves its answers unread until
//   LINE_SERVER_OUTBOX_SIZE bytes wait. Blank lines count towards the flood too. Nothing a
//   client sends can close the server.
// - One message handles at most LINE_SERVER_READ_BUDGET bytes of a client, and lines for at
//   most LINE_SERVER_READ_SLICE_MS; the rest waits for the server's timer, which comes only when
//   nothing else waits: a client that sends without pause, or many slow commands at once,
//   cannot hold the window's thread, and the operator's input, the other clients and the
//   other timers get their turns in between.
// - A client whose network went away without a word is found by TCP keep-alives (after 10 s
//   of silence, a probe every 2 s) and closed like one that closed its end.
// - At most LINE_SERVER_CLIENTS clients at once; one more is told so in an ERR line and closed.
// - Lines a client sent before it closed its end are still handled (a script may send one
//   command and close at once), a last line without "\n" too; then the client is closed.
// - The handler may run a message loop (a message box); a message for a client whose line is
//   being handled waits: its bytes stay in the socket until that line's handling has ended,
//   so each client's answers keep the order of its lines; lines it sent before it went away
//   meanwhile are still handled after that line.
// - A client closed by the server has its input read away first: a socket closed with unread
//   input would be reset, and the answers on their way, the last ERR line among them, lost.
// - The closed handler is called once for every client that goes, whatever the reason
//   (the peer closed, a limit, StopLineServer), before its slot is free again.
//
// Operations:
//   StartLineServer        listens; 0 with a reason in words when it cannot.
//   StopLineServer         closes every client and the listener.
//   OnLineServerMessage    the window's handler of the server's message.
//   OnLineServerTimer      the window's handler of the server's timer.
//   SendLine               one answer line ("\r\n" added) to a client.
//   CloseLineClient        closes one client after sending it a last line (0: none).
//   LineServerPort         the port listened on (the one chosen when 0 was asked for).
//   LineServerClients      how many clients are connected.
#pragma once

#include <windows.h>

const int LINE_SERVER_CLIENTS = 4;
const int LINE_SERVER_LINE_MAX = 256;         // bytes of a line, its end not counted
const int LINE_SERVER_LINES_PER_SECOND = 100; // more is a flood
const int LINE_SERVER_OUTBOX_SIZE = 4096;     // answers waiting for a slow reader
const int LINE_SERVER_REASON_SIZE = 160;
const int LINE_SERVER_READ_BUDGET = 4096; // bytes one message handles; the rest waits its turn
const DWORD LINE_SERVER_READ_SLICE_MS = 50; // how long one message goes on handling lines
const UINT_PTR LINE_SERVER_NO_SOCKET = ~(UINT_PTR)0; // INVALID_SOCKET, without Winsock's header

typedef void (*LineHandler)(HWND window, int client, const char* line);
typedef void (*ClientClosedHandler)(HWND window, int client);

struct LineServerClient
{
    UINT_PTR socket; // a SOCKET; LINE_SERVER_NO_SOCKET: the slot is free
    char input[LINE_SERVER_LINE_MAX + 2]; // the line so far; room for "\r" and the terminator
    int inputLength;
    char output[LINE_SERVER_OUTBOX_SIZE]; // answers the socket has not taken yet
    int outputLength;
    int reading;     // one of its lines is being handled
    int closeWanted; // close once its line's handling has ended
    int readPending; // its reading goes on at the server's timer
    DWORD rateWindowStart;
    int linesInWindow;
};

struct LineServer
{
    UINT_PTR listener; // a SOCKET; LINE_SERVER_NO_SOCKET while stopped
    HWND window;
    UINT message;
    UINT_PTR timerId; // the window timer the reading goes on at
    LineHandler onLine;
    ClientClosedHandler onClosed;
    int port;
    LineServerClient clients[LINE_SERVER_CLIENTS];
};

// address: the IPv4 address in network byte order (127.0.0.1 is 0x0100007F); port 0 lets the
// system choose one.
int StartLineServer(LineServer* server, HWND window, UINT message, UINT_PTR timerId,
                    ULONG address, int port, LineHandler onLine, ClientClosedHandler onClosed,
                    char* reason, int reasonSize);
void StopLineServer(LineServer* server);
void OnLineServerMessage(LineServer* server, WPARAM socket, LPARAM event);
void OnLineServerTimer(LineServer* server);
void SendLine(LineServer* server, int client, const char* text);
void CloseLineClient(LineServer* server, int client, const char* lastLine);
int LineServerPort(const LineServer* server);
int LineServerClients(const LineServer* server);
