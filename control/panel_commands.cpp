// The panel's buttons and keys. This build of the console shows the panel and keeps the camera
// connection; its buttons and keys do not move the camera yet, so every command is refused.
#include "control/panel_commands.h"

int HandlePanelCommand(HWND, WPARAM, LPARAM)
{
    return 0;
}

void HandleKeyDown(HWND, WPARAM)
{
}
