// The system-menu commands that open the four dialogs, each with the steps that fill the
// dialog's record before and apply what changed after. Every command counts as handled.
#pragma once

#include <windows.h>

void RunProgramOptionsCommand(HWND window);
void RunImageControlCommand(HWND window);
void RunPresetCycleCommand(HWND window);
void RunAboutCommand(HWND window);
