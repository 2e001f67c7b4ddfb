// The line speed and the pan/tilt and zoom speeds the Program Options dialog chose, carried
// out on the camera in a fixed order.
//
// Principles of operation:
// - Only what differs is applied: the line speed from the settings image's, each speed from
//   the driver's cached one. The cached speed follows only once the camera has accepted it,
//   so a speed that failed is tried again by the next OK with the same value.
// - A new line speed reopens the link (OpenCamera), which resets the driver's cached values:
//   the speeds are then compared against the defaults. The first step that fails (an open
//   that fails, a camera that cannot be made ready, a speed refused) ends the rest.
// - One speed sets both axes: a changed one is sent for the tilt axis first, then for pan.
//
// Operations:
//   ApplyLineAndSpeeds   the line speed, then the pan/tilt speed, then the zoom speed.
#pragma once

#include <windows.h>

void ApplyLineAndSpeeds(HWND window, int baudRate, int panTiltSpeed, int zoomSpeed);
