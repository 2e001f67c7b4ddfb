// The Preset Cycle Mode dialog: the camera tours its six presets, one every interval, for a
// set number of full cycles, recovering from recalls that fail.
//
// Principles of operation:
// - Everything runs in the dialog procedure on the GUI thread: timer 4 ticks once per
//   interval, each tick posts WM_CYCLE_STEP, and the step recalls the next preset. The timer is
//   killed while a step runs and started again after a good recall, so a slow recall never
//   queues a second step.
// - A recall that fails is followed by a recovery sequence (mode 1, an RTS pulse, mode 0, a
//   zoom stop) and tried again, three attempts in all; then the run stops with the result's
//   message.
// - A cycle is counted when the tour wraps from preset 6 to preset 1; the end test comes
//   before the advance, so "Set Cycles" 1 recalls 1, 2, 3, 4, 5, 6, 1 and ends at the next
//   tick.
// - The driver's camera events are off while the dialog is open: the panel does not react to
//   the camera meanwhile.
// - Start is enabled only while stopped, Stop only while cycling; either one pressed in the
//   wrong state only beeps. Escape does not close the dialog.
// - "Set Cycles" takes 1..99999 and "Accumulated Cycles" 0..99999; anything else reverts to
//   the value in force when the box is left, and Exit takes the boxes by the same rule.
//
// Operations:
//   ShowPresetCycle         runs the dialog; 1 after Exit (the record holds its values), 0 after
//                           the close box (the record is unchanged).
//   PresetCycleDlgProc      the dialog procedure.
//   SelectInterval          marks an interval's radio button and restarts a running timer.
//   UpdatePresetCycleTitle  the title with the current preset, and Start and Stop enabled.
//   StopPresetTour          ends a running tour of the open dialog (the log-off calls it: the
//                           camera is about to be closed); the dialog stays open.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "link/camera_driver.h"

struct PresetCycleRecord
{
    int32_t cyclesToRun;       // "Set Cycles", 1..99999
    int32_t intervalIndex;     // 0..6 into PRESET_CYCLE_INTERVALS_MS
    int32_t cycling;           // 1 while the tour runs
    int32_t presetIndex;       // current preset 0..5, shown as #1..#6
    int32_t accumulatedCycles; // completed cycles, 0..99999
    CameraDriver* driver;
};

const int PRESET_INTERVAL_COUNT = 7;
extern const UINT PRESET_CYCLE_INTERVALS_MS[PRESET_INTERVAL_COUNT];
const int PRESET_CYCLE_PRESETS = 6;
const int PRESET_RECALL_ATTEMPTS = 3;

extern int debugTitles; // -D on the command line: debugging figures in the title

// The beep of a Start or Stop pressed in the wrong state; MessageBeep, replaced by tests that
// count the beeps.
extern BOOL(WINAPI* presetCycleBeep)(UINT type);

INT_PTR ShowPresetCycle(HWND owner, PresetCycleRecord* record);
INT_PTR CALLBACK PresetCycleDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void SelectInterval(HWND dialog, int index);
void UpdatePresetCycleTitle(HWND dialog);
void StopPresetTour();
