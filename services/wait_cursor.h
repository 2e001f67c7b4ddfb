// The hourglass shown while the program talks to the camera on the GUI thread. Calls do not
// nest: the first EndWaitCursor ends it.
#pragma once

#include <windows.h>

void BeginWaitCursor();
// The cursor it replaced (now shown again), or 0 when no wait cursor was shown.
HCURSOR EndWaitCursor();
