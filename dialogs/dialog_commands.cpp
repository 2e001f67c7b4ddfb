// The dialog commands. This build of the console has no dialogs yet: the commands are accepted
// from the system menu and do nothing.
#include "dialogs/dialog_commands.h"

void RunProgramOptionsCommand(HWND)
{
}

void RunImageControlCommand(HWND)
{
}

void RunPresetCycleCommand(HWND)
{
}

void RunAboutCommand(HWND)
{
}
