// The control port: other programs (button surfaces, show control, scripts) drive the console
// over TCP, one command a line, one answer a line ("OK ..." or "ERR <reason>"). It is started
// by /CONTROL:<port> or /CONTROL:<a.b.c.d>:<port> on the command line; without the switch
// nothing listens. The default address is 127.0.0.1, this computer alone.
//
// Commands (words in any case):
//   press <button>, release <button>, click <button>   the panel's buttons by name: AUTO,
//       MANUAL, NEAR, FAR, PRESET, 1..6, OPERATE, WIDE, TELE, L/R, BRIGHT, HOME, CAMERA1..4,
//       UPLEFT, UP, UPRIGHT, LEFT, RIGHT, DOWNLEFT, DOWN, DOWNRIGHT
//   recall <1..6>, store <1..6>, camera <1..4>, operate on|off, status, help
//
// Principles of operation:
// - The port runs on the main window's messages (WM_CONTROL_SOCKET) in the GUI thread, so a
//   command goes through the panel's own actions, gates and busy rule (panel_actions.h), as a
//   click does: with OPERATE off only OPERATE and CAMERA 1..4 act; while the console is busy
//   (commandBusy, or a camera event being handled: a dialog, a message box, a command of
//   another way) a command is answered "ERR busy". A stop is never refused: the release of a
//   held motion while the console is busy is answered OK and its stop goes out as soon as the
//   console is free.
// - press and release act as the remote control's keys do: the button is drawn pressed at the
//   press and up at the release; a movement (arrows, WIDE, TELE, NEAR, FAR) starts at the press
//   and stops at the release; any other button acts at the release. click is a press and a
//   release. The arrows take the panel's L/R swap and, with accelerated speed, the remote's
//   speed ramp (remote_ramp.h).
// - A dead man's hold: a held button is let go by itself when neither its release nor a
//   repeated press (which starts nothing new) comes within the hold time (default 1000 ms,
//   /CONTROLHOLD:<ms>), and when its client disconnects or is closed. A movement let go this
//   way is stopped; any other button only comes up, without acting.
// - One movement of a kind (pan/tilt, zoom, focus) at a time: a client holding one owns it; a
//   press of that kind from another client is answered "ERR busy", one from the same client
//   turns the movement to the new button. A button held by one client cannot be pressed by
//   another.
// - The link's close (another camera, Initialize Camera, exit) and every dialog stop the held
//   movements first, as they stop the remote's (StopOutsideMotions). So do the operator's
//   panel buttons and keys (the operator takes the camera over; while a hand holds a panel
//   button the console handles no other message, the port's included) and a port command that
//   takes the camera elsewhere (a preset, HOME, another camera), which may run for seconds.
//   Such a movement is taken over, not forgotten: its holder's repeated presses (queued behind
//   what took it over) are refused and start nothing until the holder lets go (its release,
//   which is answered OK, or its hold time without a press, or a disconnect).
// - A start command that failed on the line is followed by its stop: its reply may have been
//   lost after the camera carried it out.
// - An answer is about its own command: one that sent nothing is OK while the camera answers.
// - The hold times are looked at on the hold timer, on every message of the port and before
//   every line.
//
// Operations:
//   ResetControlPortOptions, ParseControlPortSwitch   the command-line switches.
//   StartControlPort    listens as the options say; 0 with a reason when it cannot.
//   StopControlPort     every client closed (their holds let go) and the listener closed.
//   OnControlSocket     WM_CONTROL_SOCKET.
//   OnControlHoldTimer  TIMER_CONTROL_HOLD: the holds whose time is up are let go.
//   OnControlReadTimer  TIMER_CONTROL_READ: a client's lines left for later are read on.
//   RunControlCommand   one command line of a client, its answer into answer.
//   StopOutsideMotions  every movement the remote or a control client holds, stopped now;
//                       for the code that closes the link or opens a dialog.
//   StopControlMovements  the movements held through the port, stopped now: the operator's
//                       hand on the panel or the keys takes the camera over.
//   SetControlPortSessionEnding  from a log-off's start until it is cancelled, commands that
//                       would start anything are refused.
//   SendOwedControlStops  the stops owed to releases that came while the console was busy.
//   ControlPortNumber   the port listened on, 0 when none.
#pragma once

#include <windows.h>

const DWORD CONTROL_HOLD_DEFAULT_MS = 1000;
const DWORD CONTROL_HOLD_MIN_MS = 100;
const DWORD CONTROL_HOLD_MAX_MS = 60000;
const int CONTROL_ANSWER_SIZE = 512;
const ULONG CONTROL_DEFAULT_ADDRESS = 0x0100007F; // 127.0.0.1 in network byte order

struct ControlPortOptions
{
    int enabled;   // /CONTROL was given
    ULONG address; // IPv4, network byte order
    int port;      // 1..65535; 0 lets the system choose (tests)
    DWORD holdMs;  // the dead man's hold time
};
extern ControlPortOptions controlPortOptions;

enum ControlSwitch
{
    CONTROL_SWITCH_NOT_OURS,
    CONTROL_SWITCH_TAKEN,
    CONTROL_SWITCH_INVALID,
};

void ResetControlPortOptions(ControlPortOptions* options);
// /CONTROL:<port>, /CONTROL:<a.b.c.d>:<port>, /CONTROLHOLD:<ms>; '-' or '/', either case.
ControlSwitch ParseControlPortSwitch(ControlPortOptions* options, const char* token);

int StartControlPort(HWND window, const ControlPortOptions* options, char* reason,
                     int reasonSize);
void StopControlPort();
void OnControlSocket(HWND window, WPARAM socket, LPARAM event);
void OnControlHoldTimer(HWND window);
void OnControlReadTimer(HWND window);
void RunControlCommand(HWND window, int client, const char* line, char* answer, int size);
void StopOutsideMotions(HWND window);
void StopControlMovements(HWND window);
void SetControlPortSessionEnding(int ending);
void SendOwedControlStops(HWND window);
int ControlPortNumber();
