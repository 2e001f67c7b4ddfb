// The preset tour: the camera recalls its six presets in turn, one per step, for a set number
// of full cycles, and brings itself back after a recall that fails. The Preset Cycle Mode
// dialog presents it; the camera work is done here.
//
// Principles of operation:
// - The tour has no timer and no window of its own. Its presenter times the steps, keeps the
//   record (one per open dialog) and hands down the two functions that show the tour's
//   progress; the tour calls them at the moments the operator sees a change.
// - Everything runs on the GUI thread. A step blocks while its recalls and recovery sequences
//   run; their waits let only messages sent from other threads through, and a presenter that
//   stops the tour meanwhile (cycling cleared) is obeyed after the recall: nothing further.
// - A recall that fails is followed by the recovery sequence (the CCU to mode 1, an RTS pulse,
//   mode 0, a zoom stop, with named pauses between) and tried again, three attempts in all;
//   then the tour stops and the last result's message is shown.
// - A cycle is counted when the tour wraps from preset 6 to preset 1; the end test comes
//   before the advance, so 1 cycle to run recalls 1, 2, 3, 4, 5, 6, 1 and ends at the next
//   step.
//
// Operations:
//   PreparePresetTour   a fresh tour at preset 1, stopped, nothing counted.
//   RecallTourPreset    the preset where the tour stands, on a ready camera; 1 when recalled,
//                       0 when the camera cannot be made ready or the recall failed (its
//                       result's message shown).
//   BeginPresetTour     the tour cycling, its recovery and zoom stop counts back to 0.
//   RunPresetTourStep   one step: the end of the run, or the next preset with its retries.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "link/camera_driver.h"

const int PRESET_CYCLE_PRESETS = 6;
const int PRESET_RECALL_ATTEMPTS = 3;

// The tour's settings and progress, exchanged with the system-menu command that opens the
// dialog; the dialog works on its own copy.
struct PresetCycleRecord
{
    int32_t cyclesToRun;       // "Set Cycles", 1..99999
    int32_t intervalIndex;     // 0..6 into the dialog's PRESET_CYCLE_INTERVALS_MS
    int32_t cycling;           // 1 while the tour runs
    int32_t presetIndex;       // current preset 0..5, shown as #1..#6
    int32_t accumulatedCycles; // completed cycles, 0..99999
    CameraDriver* driver;
};

// One open tour: its record and what its presenter hands down.
struct PresetTour
{
    PresetCycleRecord cycle;       // the presenter's copy of the record
    HWND view;                     // the window that shows the tour
    void (*showPreset)(HWND view); // the current preset, the counts and Start/Stop shown
    void (*showCycles)(HWND view); // the completed cycles shown
};

// Recovery sequences run since the last Start. One count for the program, not one per opening
// of the dialog: the debugging title of the next opening still shows the last run's count.
extern int initRetries;

// How one step ended.
enum PresetTourStep
{
    PRESET_TOUR_RECALLED, // the next preset was recalled: the next step is to be timed
    PRESET_TOUR_FINISHED, // every cycle to run is complete; the tour is stopped
    PRESET_TOUR_STOPPED,  // stopped by the presenter while a recall ran
    PRESET_TOUR_FAILED    // every attempt failed; the tour is stopped, the message shown
};

void PreparePresetTour(PresetTour* tour);
int RecallTourPreset(PresetTour* tour);
void BeginPresetTour(PresetTour* tour);
PresetTourStep RunPresetTourStep(PresetTour* tour);
