// The camera's speed ranges, the line speeds of the serial link, and the timing of the speed ramp
// of accelerated pan/tilt movements: the numbers the link, the command set, the camera control
// and the dialogs must agree on.
#pragma once

#include <windows.h>

// --- Movement speeds the camera takes ---
const int MIN_PAN_TILT_SPEED = 1; // pan and tilt, each axis
const int MAX_PAN_TILT_SPEED = 70;
const int MIN_ZOOM_SPEED = 0;
const int MAX_ZOOM_SPEED = 7;
const int DEFAULT_PAN_TILT_SPEED = MAX_PAN_TILT_SPEED; // every opening of the link starts here
const int DEFAULT_ZOOM_SPEED = MAX_ZOOM_SPEED;

// --- Line speeds of the serial link, in baud ---
const int LINE_SPEED_4800 = 4800;
const int LINE_SPEED_9600 = 9600;
const int LINE_SPEED_14400 = 14400;
const int DEFAULT_LINE_SPEED = LINE_SPEED_9600;

// --- The speed ramp of accelerated pan/tilt (a held button or key, a remote arrow) ---
// Step 0 of the ramp's speeds goes with the start command; steps 1 and 2 are due this long after
// the start command succeeded, both counted from that same moment.
const DWORD RAMP_STEP_1_AFTER_START_MS = 500;
const DWORD RAMP_STEP_2_AFTER_START_MS = 2500;
// From step 1's due time to step 2's: the longest the remote's ramp timer waits for step 2.
const DWORD RAMP_STEP_2_AFTER_STEP_1_MS = RAMP_STEP_2_AFTER_START_MS - RAMP_STEP_1_AFTER_START_MS;
