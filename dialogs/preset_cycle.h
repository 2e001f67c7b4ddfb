// The Preset Cycle Mode dialog: the camera tours its six presets, one every interval, for a
// set number of full cycles, recovering from recalls that fail.
//
// Principles of operation:
// - The dialog presents the tour (control/preset_tour.h), which recalls the presets and runs
//   the recovery and the retries. Its state is one PresetTour per opening, handed to
//   DialogBoxParam and kept in the dialog's DWLP_USER.
// - Everything runs in the dialog procedure on the GUI thread: timer 4 ticks once per
//   interval, each tick posts WM_CYCLE_STEP, and the step runs the tour's next step. The timer
//   is killed while a step runs and started again after a good recall, so a slow recall never
//   queues a second step.
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

#include "control/preset_tour.h"

const int PRESET_INTERVAL_COUNT = 7;
extern const UINT PRESET_CYCLE_INTERVALS_MS[PRESET_INTERVAL_COUNT];

extern int debugTitles; // -D on the command line: debugging figures in the title

// The beep of a Start or Stop pressed in the wrong state; MessageBeep, replaced by tests that
// count the beeps.
extern BOOL(WINAPI* presetCycleBeep)(UINT type);

INT_PTR ShowPresetCycle(HWND owner, PresetCycleRecord* record);
INT_PTR CALLBACK PresetCycleDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void SelectInterval(HWND dialog, int index);
void UpdatePresetCycleTitle(HWND dialog);
void StopPresetTour();
