// Program start: the command line, the settings, the colour mode, the panel, the main window and
// the camera link, then the message loop.
//
// Principles of operation:
// - The command line is read token by token straight from the string the program was given;
//   no token is ever cut short. Tokens are separated by spaces; a double-quoted part (a path
//   with spaces) stays in one token. -D or /D (upper-case D, the rest of the token ignored)
//   sets debugTitles (dialogs/preset_cycle.h); the virtual-camera switches
//   (sim/virtual_camera.h) attach cameras to the ports; /LINELOG:<path> (either case, '-' or
//   '/') writes the line trace of every port to the file at path (link/line_trace.h);
//   /CONTROL:[<address>:]<port> and /CONTROLHOLD:<ms> start the control port for other
//   programs (control/control_port.h); everything else is ignored. A token too long for the switch buffer cannot be a valid
//   switch: a virtual-camera switch that long is rejected like a malformed one, and a line
//   trace that long is reported as a path too long.
// - A rejected virtual-camera or line-trace switch (/LINELOG with no path) is reported once in
//   an "Error" box and the console starts without it. A trace file that cannot be written (a
//   folder that does not exist, a read-only place, a path too long) is named in an "Error" box
//   at start, and the console runs without a trace. A control port that cannot listen is named
//   in an "Error" box too, and the console runs without it.
// - A failure to register the class, set up the panel or create the window ends the program
//   with exit code 0 and no message; a camera that cannot be reached does not (the camera
//   control reports it and the window stays usable).
//
// Operations:
//   ParseCommandLine   debugTitles and the virtual-camera options from the command line.
//   StartConsole       everything up to the message loop; 1 when the main window is up.
//   RunMessageLoop     until the window is gone; the quit message's exit code.
//   EndConsole         the virtual cameras detached (after the port is closed), the trace
//                      closed.
#pragma once

#include <windows.h>

#include "link/line_trace.h"
#include "sim/virtual_camera.h"

const int COMMAND_TOKEN_SIZE = MAX_PATH; // a switch and its argument, terminator included

extern HINSTANCE appInstance;
extern VirtualCameraOptions virtualCameraOptions;
extern int rejectedSwitches; // virtual-camera and line-trace switches not taken

struct LineTraceOption
{
    char path[LINE_TRACE_PATH_SIZE]; // /LINELOG: the trace file; empty: no trace
    int pathTooLong;                 // the path did not fit: path holds its beginning
};
extern LineTraceOption lineTrace;

void ParseCommandLine(const char* commandLine);
void ResetLineTraceOption();
int StartConsole(HINSTANCE instance, HINSTANCE previousInstance, const char* commandLine,
                 int showCommand);
int RunMessageLoop();
void EndConsole();
