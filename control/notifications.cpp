// Unsolicited camera frames. This build of the console receives and acknowledges them (the
// link does that) but takes no action on them yet, and no ramp is ever started.
#include "control/notifications.h"

void DispatchNotification(HWND, CameraDriver*, const uint8_t*)
{
}

void OnRampStep(HWND)
{
}
