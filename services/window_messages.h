// Every private window message and window timer id of the console, in one place, so that none
// is numbered twice.
//
// - Messages a window posts or sends to itself: the main window's 1028 and 1032..1035, the
//   Preset Cycle Mode dialog's WM_USER + 6 (1030).
// - Messages of the camera driver to the window it reports to (2025..2027), with the kinds of
//   WM_CAMERA_EVENT in its wParam.
// - Timer ids: the main window's blink (2), remote ramp (6), control hold (8) and control read (10) timers, the Preset Cycle Mode
//   dialog's tour timer (4).
#pragma once

#include <windows.h>

// --- Main window to itself ---
const UINT WM_BLINK_TICK = 1028;      // per blink timer tick, while the error indication runs
const UINT WM_RAMP_STEP = 1032;       // per remote ramp timer tick: the ramp's next speed step
const UINT WM_DROPPED_RELEASE = 1033; // a dropped release of a remote motion key waits
const UINT WM_CLOSE_OWED = 1034;      // the log-off's camera close is due
const UINT WM_CONTROL_SOCKET = 1035;  // the control port's sockets: wParam socket, lParam event

// --- Preset Cycle Mode dialog to itself ---
const UINT WM_CYCLE_STEP = WM_USER + 6; // per tour timer tick: recall the next preset

// --- Camera driver to its window ---
const UINT WM_CAMERA_POWER = 2025; // wParam 1: camera came up, 0: it stopped answering
const UINT WM_LINK_STATUS = 2026;  // wParam 1: lastResult became a failure, 0: success again
const UINT WM_CAMERA_EVENT = 2027; // wParam CAMERA_EVENT_*; lParam the frame for FRAME
const WPARAM CAMERA_EVENT_CTS_OFF = 100;
const WPARAM CAMERA_EVENT_CTS_ON = 102;
const WPARAM CAMERA_EVENT_FRAME = 104;

// --- Window timers ---
const UINT_PTR TIMER_BLINK = 2;        // main window: the blinking of the failing port's light
const UINT_PTR TIMER_PRESET_CYCLE = 4; // Preset Cycle Mode dialog: one tick per tour interval
const UINT_PTR TIMER_RAMP = 6;         // main window: the speed ramp of the remote's arrows
const UINT_PTR TIMER_CONTROL_HOLD = 8; // main window: the control port's next hold time-out
const UINT_PTR TIMER_CONTROL_READ = 10; // main window: the control port reads on
