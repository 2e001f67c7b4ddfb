// The program's entry point.
#include <windows.h>

#include "app/program_start.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand)
{
    int exitCode = 0;
    if (StartConsole(instance, previousInstance, commandLine, showCommand))
        exitCode = RunMessageLoop();
    EndConsole();
    return exitCode;
}
