// The TCP line server on window messages.
// WSAAsyncSelect is marked deprecated by the Windows SDK in favour of WSAEventSelect, which
// would need a thread or a wait of our own; window messages are the point here.
#define _WINSOCK_DEPRECATED_NO_WARNINGS
#include <winsock2.h>
#include <mstcpip.h>

#include "services/line_server.h"

static int winsockStarted;

static void ResetClient(LineServerClient* client)
{
    client->socket = LINE_SERVER_NO_SOCKET;
    client->inputLength = 0;
    client->outputLength = 0;
    client->reading = 0;
    client->closeWanted = 0;
    client->readPending = 0;
    client->rateWindowStart = 0;
    client->linesInWindow = 0;
}

static void ResetServer(LineServer* server)
{
    server->listener = LINE_SERVER_NO_SOCKET;
    server->port = 0;
    for (LineServerClient& client : server->clients)
        ResetClient(&client);
}

static void WriteReason(char* reason, int size, const char* what, int error)
{
    const char* words = "";
    switch (error)
    {
    case WSAEADDRINUSE:
        words = ": the port is in use";
        break;
    case WSAEADDRNOTAVAIL:
        words = ": the address is not one of this computer's";
        break;
    case WSAEACCES:
        words = ": access denied";
        break;
    default:
        break;
    }
    char text[LINE_SERVER_REASON_SIZE];
    wsprintfA(text, "%.60s (Winsock error %d%.50s)", what, error, words);
    lstrcpynA(reason, text, size);
}

static int Fail(LineServer* server, char* reason, int size, const char* what)
{
    WriteReason(reason, size, what, WSAGetLastError());
    if (server->listener != LINE_SERVER_NO_SOCKET)
        closesocket(server->listener);
    server->listener = LINE_SERVER_NO_SOCKET;
    return 0;
}

int StartLineServer(LineServer* server, HWND window, UINT message, UINT_PTR timerId,
                    ULONG address, int port, LineHandler onLine, ClientClosedHandler onClosed,
                    char* reason, int reasonSize)
{
    ResetServer(server);
    server->window = window;
    server->message = message;
    server->timerId = timerId;
    server->onLine = onLine;
    server->onClosed = onClosed;
    reason[0] = 0;
    if (!winsockStarted)
    {
        WSADATA data;
        int error = WSAStartup(MAKEWORD(2, 2), &data);
        if (error != 0)
        {
            WriteReason(reason, reasonSize, "Winsock cannot be started", error);
            return 0;
        }
        winsockStarted = 1;
    }
    server->listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (server->listener == LINE_SERVER_NO_SOCKET)
        return Fail(server, reason, reasonSize, "no socket");
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    local.sin_port = htons((u_short)port);
    if (bind(server->listener, (sockaddr*)&local, sizeof local) != 0)
        return Fail(server, reason, reasonSize, "the address cannot be taken");
    int length = sizeof local;
    if (getsockname(server->listener, (sockaddr*)&local, &length) == 0)
        server->port = ntohs(local.sin_port);
    if (listen(server->listener, LINE_SERVER_CLIENTS) != 0 ||
        WSAAsyncSelect(server->listener, window, message, FD_ACCEPT) != 0)
        return Fail(server, reason, reasonSize, "cannot listen");
    return 1;
}

// --- Sending ---

// Sends what the socket takes now; the rest waits for FD_WRITE.
static void Flush(LineServerClient* client)
{
    while (client->outputLength > 0)
    {
        int sent = send(client->socket, client->output, client->outputLength, 0);
        if (sent <= 0)
            return; // WSAEWOULDBLOCK: FD_WRITE comes when there is room; else FD_CLOSE comes
        MoveMemory(client->output, client->output + sent, client->outputLength - sent);
        client->outputLength -= sent;
    }
}

// A socket closed with input it has not read is reset, and the answers still on their way to
// the client are lost with it, the last one saying why it was closed among them. So the
// sending side is shut first and the input that has come is read away before the close.
static void CloseGracefully(SOCKET socket)
{
    shutdown(socket, SD_SEND);
    char scrap[512];
    for (int reads = 0; reads < 256; ++reads) // at most 128 KB; a client still sending is cut
        if (recv(socket, scrap, sizeof scrap, 0) <= 0)
            break;
    closesocket(socket);
}

static void CloseClient(LineServer* server, int index)
{
    LineServerClient* client = &server->clients[index];
    if (client->socket == LINE_SERVER_NO_SOCKET)
        return;
    Flush(client); // a last answer goes out if the socket takes it
    server->onClosed(server->window, index);
    WSAAsyncSelect(client->socket, server->window, 0, 0); // no more messages for it
    CloseGracefully(client->socket);
    ResetClient(client);
}

// Closes at once, or after the line being handled when there is one.
static void WantClosed(LineServer* server, int index)
{
    LineServerClient* client = &server->clients[index];
    if (client->socket == LINE_SERVER_NO_SOCKET)
        return;
    client->closeWanted = 1;
    if (!client->reading)
        CloseClient(server, index);
}

void SendLine(LineServer* server, int index, const char* text)
{
    if (index < 0 || index >= LINE_SERVER_CLIENTS)
        return;
    LineServerClient* client = &server->clients[index];
    if (client->socket == LINE_SERVER_NO_SOCKET || client->closeWanted)
        return;
    int length = lstrlenA(text);
    if (client->outputLength + length + 2 > LINE_SERVER_OUTBOX_SIZE)
    {
        WantClosed(server, index); // it does not read its answers
        return;
    }
    CopyMemory(client->output + client->outputLength, text, length);
    client->outputLength += length;
    client->output[client->outputLength++] = '\r';
    client->output[client->outputLength++] = '\n';
    Flush(client);
}

void CloseLineClient(LineServer* server, int index, const char* lastLine)
{
    if (index < 0 || index >= LINE_SERVER_CLIENTS)
        return;
    if (lastLine)
        SendLine(server, index, lastLine);
    WantClosed(server, index);
}

// --- Receiving ---

// 1 when the client may send one more line now.
static int WithinRate(LineServerClient* client)
{
    DWORD now = GetTickCount();
    if (client->linesInWindow == 0 || now - client->rateWindowStart >= 1000)
    {
        client->rateWindowStart = now;
        client->linesInWindow = 0;
    }
    return ++client->linesInWindow <= LINE_SERVER_LINES_PER_SECOND;
}

static int Blank(const char* text, int length)
{
    for (int i = 0; i < length; ++i)
        if (text[i] != ' ' && text[i] != '\t')
            return 0;
    return 1;
}

// The line collected so far, handed over; blank lines are skipped.
static void EndLine(LineServer* server, int index)
{
    LineServerClient* client = &server->clients[index];
    int length = client->inputLength;
    if (length > 0 && client->input[length - 1] == '\r')
        --length;
    client->input[length] = 0;
    client->inputLength = 0;
    if (length > LINE_SERVER_LINE_MAX)
    {
        CloseLineClient(server, index, "ERR line too long: 256 bytes at most");
        return;
    }
    if (!WithinRate(client)) // blank lines too: a stream of them is a flood like any other
    {
        CloseLineClient(server, index, "ERR flood: over 100 lines a second");
        return;
    }
    if (Blank(client->input, length))
        return;
    char line[LINE_SERVER_LINE_MAX + 1];
    CopyMemory(line, client->input, length + 1); // the client's buffer takes the next bytes
    server->onLine(server->window, index, line);
}

static void TakeBytes(LineServer* server, int index, const char* bytes, int count)
{
    LineServerClient* client = &server->clients[index];
    for (int i = 0; i < count && !client->closeWanted; ++i)
    {
        if (bytes[i] == '\n')
        {
            EndLine(server, index);
        }
        else if (client->inputLength <= LINE_SERVER_LINE_MAX) // room for a line and its "\r"
        {
            client->input[client->inputLength++] = bytes[i];
        }
        else
        {
            CloseLineClient(server, index, "ERR line too long: 256 bytes at most");
        }
    }
}

// Reads until the socket has nothing more, or the read budget or the time slice is spent:
// the server's timer then comes back for the rest once nothing else waits. When the peer has
// closed its end, its last line (also one without "\n") is handled and the client closed.
static void ReadClient(LineServer* server, int index)
{
    LineServerClient* client = &server->clients[index];
    if (client->reading)
        return; // the running line's handler reads on when it returns
    client->reading = 1;
    client->readPending = 0;
    int budget = LINE_SERVER_READ_BUDGET;
    DWORD began = GetTickCount();
    while (!client->closeWanted)
    {
        if (budget <= 0 || GetTickCount() - began > LINE_SERVER_READ_SLICE_MS)
        {
            client->readPending = 1;
            SetTimer(server->window, server->timerId, USER_TIMER_MINIMUM, 0);
            break;
        }
        char chunk[512];
        int got = recv(client->socket, chunk, sizeof chunk, 0);
        if (got > 0)
        {
            budget -= got;
            TakeBytes(server, index, chunk, got);
            continue;
        }
        if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK)
            break;
        if (got == 0 && client->inputLength > 0)
            EndLine(server, index);
        client->closeWanted = 1; // closed by the peer, or broken
    }
    client->reading = 0;
    if (client->closeWanted)
        CloseClient(server, index);
}

// TCP keep-alives after KEEPALIVE_IDLE_MS of silence, then every KEEPALIVE_PROBE_MS: a client
// whose network went away without a word is closed when they go unanswered, and its slot is
// free again. Where the system does not take the times, its own keep-alive times stand.
const ULONG KEEPALIVE_IDLE_MS = 10000;
const ULONG KEEPALIVE_PROBE_MS = 2000;

static void KeepAlive(SOCKET socket)
{
    BOOL on = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, (const char*)&on, sizeof on);
    tcp_keepalive times = {1, KEEPALIVE_IDLE_MS, KEEPALIVE_PROBE_MS};
    DWORD returned = 0;
    WSAIoctl(socket, SIO_KEEPALIVE_VALS, &times, sizeof times, 0, 0, &returned, 0, 0);
}

static void Accept(LineServer* server)
{
    SOCKET socket = accept(server->listener, 0, 0);
    if (socket == LINE_SERVER_NO_SOCKET)
        return;
    for (int index = 0; index < LINE_SERVER_CLIENTS; ++index)
    {
        LineServerClient* client = &server->clients[index];
        if (client->socket != LINE_SERVER_NO_SOCKET)
            continue;
        BOOL noDelay = TRUE; // answers go out at once, not after the next line
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, (const char*)&noDelay, sizeof noDelay);
        KeepAlive(socket);
        if (WSAAsyncSelect(socket, server->window, server->message,
                           FD_READ | FD_WRITE | FD_CLOSE) != 0)
            break;
        ResetClient(client);
        client->socket = socket;
        return;
    }
    static const char full[] = "ERR too many clients: 4 at most\r\n";
    send(socket, full, sizeof full - 1, 0);
    CloseGracefully(socket);
}

static int ClientOf(const LineServer* server, SOCKET socket)
{
    for (int index = 0; index < LINE_SERVER_CLIENTS; ++index)
        if (server->clients[index].socket == socket)
            return index;
    return -1;
}

void OnLineServerMessage(LineServer* server, WPARAM socket, LPARAM event)
{
    if (server->listener == LINE_SERVER_NO_SOCKET)
        return;
    if ((SOCKET)socket == server->listener)
    {
        if (WSAGETSELECTEVENT(event) == FD_ACCEPT)
            Accept(server);
        return;
    }
    int index = ClientOf(server, (SOCKET)socket);
    if (index < 0)
        return; // a message still queued for a client closed since
    switch (WSAGETSELECTEVENT(event))
    {
    case FD_READ:
        ReadClient(server, index);
        break;
    case FD_WRITE:
        Flush(&server->clients[index]);
        break;
    case FD_CLOSE:
        // The lines sent before the close, then the close. While one of its lines is being
        // handled, the reading loop of that line meets the close itself when it reads on.
        ReadClient(server, index);
        break;
    default:
        break;
    }
}

void OnLineServerTimer(LineServer* server)
{
    KillTimer(server->window, server->timerId);
    if (server->listener == LINE_SERVER_NO_SOCKET)
        return;
    for (int index = 0; index < LINE_SERVER_CLIENTS; ++index)
        if (server->clients[index].readPending)
            ReadClient(server, index);
}

void StopLineServer(LineServer* server)
{
    if (server->listener == LINE_SERVER_NO_SOCKET)
        return;
    for (int index = 0; index < LINE_SERVER_CLIENTS; ++index)
        WantClosed(server, index);
    WSAAsyncSelect(server->listener, server->window, 0, 0);
    closesocket(server->listener);
    server->listener = LINE_SERVER_NO_SOCKET;
}

int LineServerPort(const LineServer* server)
{
    return server->listener == LINE_SERVER_NO_SOCKET ? 0 : server->port;
}

int LineServerClients(const LineServer* server)
{
    int count = 0;
    for (const LineServerClient& client : server->clients)
        count += client.socket != LINE_SERVER_NO_SOCKET;
    return count;
}
