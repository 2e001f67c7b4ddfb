// The Preset Cycle Mode dialog.
#include "dialogs/preset_cycle.h"

#include <stdio.h>

#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/error_report.h"
#include "control/preset_tour.h"
#include "dialogs/dialog_controls.h"
#include "resources/dialog_ids.h"
#include "services/window_messages.h"
#include "services/window_place.h"

const UINT PRESET_CYCLE_INTERVALS_MS[PRESET_INTERVAL_COUNT] = {2000,  5000,  10000, 15000,
                                                               20000, 25000, 30000};
const int MAX_CYCLE_COUNT = 99999;
const int CYCLE_TEXT_LIMIT = 5;
const char TIMER_ERROR_TEXT[] = "Error setting system timer";

BOOL(WINAPI* presetCycleBeep)(UINT type) = MessageBeep;
int debugTitles;

static HWND openDialog; // the dialog while it is open, else 0 (for StopPresetTour)

// The open dialog's tour, kept in its DWLP_USER from WM_INITDIALOG on; 0 before.
static PresetTour* TourOf(HWND dialog)
{
    return (PresetTour*)GetWindowLongPtrA(dialog, DWLP_USER);
}

static void ShowAccumulatedCycles(HWND dialog)
{
    ShowNumber(dialog, IDC_ACCUMULATED_CYCLES, TourOf(dialog)->cycle.accumulatedCycles);
}

INT_PTR ShowPresetCycle(HWND owner, PresetCycleRecord* record)
{
    PresetTour tour = {*record, 0, UpdatePresetCycleTitle, ShowAccumulatedCycles};
    SetCameraEventsEnabled(tour.cycle.driver, 0);
    INT_PTR result = DialogBoxParamA(WindowInstance(owner), "PRESETDLG", owner, PresetCycleDlgProc,
                                     (LPARAM)&tour);
    SetCameraEventsEnabled(tour.cycle.driver, 1);
    if (result <= 0) // closed, or the dialog could not be shown
        return 0;
    *record = tour.cycle;
    return result;
}

static int StartCycleTimer(HWND dialog, const PresetTour* tour)
{
    return SetTimer(dialog, TIMER_PRESET_CYCLE,
                    PRESET_CYCLE_INTERVALS_MS[tour->cycle.intervalIndex], 0) != 0;
}

static void StopCycling(HWND dialog, PresetTour* tour)
{
    if (!tour->cycle.cycling)
        return;
    KillTimer(dialog, TIMER_PRESET_CYCLE);
    tour->cycle.cycling = 0;
}

void SelectInterval(HWND dialog, int index)
{
    PresetTour* tour = TourOf(dialog);
    if (index < 0 || index >= PRESET_INTERVAL_COUNT)
        index = 0;
    for (int i = 0; i < PRESET_INTERVAL_COUNT; ++i)
        ShowChecked(dialog, IDC_INTERVAL_FIRST + i, i == index);
    tour->cycle.intervalIndex = index;
    if (tour->cycle.cycling && !StartCycleTimer(dialog, tour))
    {
        tour->cycle.cycling = 0;
        presetCycleBeep(0);
        UpdatePresetCycleTitle(dialog);
    }
}

// Start while stopped, Stop while cycling. A button that has the focus hands it to the other
// before it is disabled, so the keyboard keeps working in the dialog.
static void EnableStartStop(HWND dialog, int cycling)
{
    HWND start = GetDlgItem(dialog, IDC_CYCLE_START);
    HWND stop = GetDlgItem(dialog, IDC_CYCLE_STOP);
    HWND enabled = cycling ? stop : start;
    HWND disabled = cycling ? start : stop;
    EnableWindow(enabled, TRUE);
    if (GetFocus() == disabled)
        SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)enabled, TRUE);
    EnableWindow(disabled, FALSE);
}

void UpdatePresetCycleTitle(HWND dialog)
{
    const PresetTour* tour = TourOf(dialog);
    char title[128];
    YieldToMessages();
    if (debugTitles)
        snprintf(title, sizeof title, "Preset Cycle Mode - Preset #%d  InitRetry=%d ZoomStop=%d",
                 tour->cycle.presetIndex + 1, initRetries, cameraSettings.recallRetries);
    else
        snprintf(title, sizeof title, "Preset Cycle Mode - Preset #%d",
                 tour->cycle.presetIndex + 1);
    EnableStartStop(dialog, tour->cycle.cycling);
    SetWindowTextA(dialog, title);
}

static void InitPresetCycle(HWND dialog, PresetTour* tour)
{
    tour->view = dialog;
    CenterWindow(dialog);
    PreparePresetTour(tour);
    SendDlgItemMessageA(dialog, IDC_SET_CYCLES, EM_LIMITTEXT, CYCLE_TEXT_LIMIT, 0);
    SendDlgItemMessageA(dialog, IDC_ACCUMULATED_CYCLES, EM_LIMITTEXT, CYCLE_TEXT_LIMIT, 0);
    ShowNumber(dialog, IDC_SET_CYCLES, tour->cycle.cyclesToRun);
    ShowNumber(dialog, IDC_ACCUMULATED_CYCLES, tour->cycle.accumulatedCycles);
    UpdatePresetCycleTitle(dialog);
    SelectInterval(dialog, tour->cycle.intervalIndex);
}

// A cycle count typed into its box, when it is one in range; the box then shows the count in
// force.
static void TakeCycleCount(HWND dialog, int id, int minimum, int32_t* count)
{
    ReadNumberInRange(dialog, id, minimum, MAX_CYCLE_COUNT, count);
    ShowNumber(dialog, id, *count);
}

static void StartCycle(HWND dialog, PresetTour* tour)
{
    if (tour->cycle.cycling)
    {
        presetCycleBeep(0);
        return;
    }
    if (!RecallTourPreset(tour))
        return;
    if (!StartCycleTimer(dialog, tour))
    {
        ShowErrorBox(TIMER_ERROR_TEXT);
        return;
    }
    BeginPresetTour(tour);
    UpdatePresetCycleTitle(dialog);
}

static void OnPresetCycleCommand(HWND dialog, PresetTour* tour, WPARAM wParam)
{
    PresetCycleRecord* cycle = &tour->cycle;
    int id = LOWORD(wParam), code = HIWORD(wParam);
    if (id >= IDC_INTERVAL_FIRST && id <= IDC_INTERVAL_LAST)
    {
        SelectInterval(dialog, id - IDC_INTERVAL_FIRST);
        return;
    }
    switch (id)
    {
    case IDOK: // Exit
        StopCycling(dialog, tour);
        TakeCycleCount(dialog, IDC_SET_CYCLES, 1, &cycle->cyclesToRun);
        TakeCycleCount(dialog, IDC_ACCUMULATED_CYCLES, 0, &cycle->accumulatedCycles);
        EndDialog(dialog, 1);
        break;
    case IDC_SET_CYCLES:
        if (code == EN_KILLFOCUS)
            TakeCycleCount(dialog, IDC_SET_CYCLES, 1, &cycle->cyclesToRun);
        break;
    case IDC_ACCUMULATED_CYCLES:
        if (code == EN_KILLFOCUS)
            TakeCycleCount(dialog, IDC_ACCUMULATED_CYCLES, 0, &cycle->accumulatedCycles);
        break;
    case IDC_CYCLE_START:
        StartCycle(dialog, tour);
        break;
    case IDC_CYCLE_STOP:
        if (cycle->cycling)
            StopCycling(dialog, tour);
        else
            presetCycleBeep(0);
        UpdatePresetCycleTitle(dialog);
        break;
    case IDC_CYCLE_RESET:
        StopCycling(dialog, tour);
        cycle->presetIndex = 0;
        cycle->accumulatedCycles = 0;
        ShowNumber(dialog, IDC_ACCUMULATED_CYCLES, 0);
        UpdatePresetCycleTitle(dialog);
        break;
    default: // IDCANCEL among them: Escape does not close this dialog
        break;
    }
}

// One tick of the tour: its next step, timed again after a good recall; TRUE at the end of
// the run.
static BOOL RunCycleStep(HWND dialog, PresetTour* tour)
{
    KillTimer(dialog, TIMER_PRESET_CYCLE);
    PresetTourStep step = RunPresetTourStep(tour);
    if (step == PRESET_TOUR_RECALLED && !StartCycleTimer(dialog, tour))
    {
        tour->cycle.cycling = 0;
        UpdatePresetCycleTitle(dialog);
        ShowErrorBox(TIMER_ERROR_TEXT);
    }
    return step == PRESET_TOUR_FINISHED;
}

// A step running under this call (its recall is waiting) sees the tour stopped once its recall
// returns, and starts no timer.
void StopPresetTour()
{
    if (!openDialog || !TourOf(openDialog)->cycle.cycling)
        return;
    StopCycling(openDialog, TourOf(openDialog));
    UpdatePresetCycleTitle(openDialog);
}

INT_PTR CALLBACK PresetCycleDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    PresetTour* tour = (PresetTour*)DialogRecord(dialog, message, lParam);
    if (!tour) // a message before WM_INITDIALOG
        return FALSE;
    switch (message)
    {
    case WM_INITDIALOG:
        openDialog = dialog;
        InitPresetCycle(dialog, tour);
        return TRUE;
    case WM_COMMAND:
        OnPresetCycleCommand(dialog, tour, wParam);
        return TRUE;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE)
        {
            StopCycling(dialog, tour);
            EndDialog(dialog, 0);
        }
        return FALSE;
    case WM_TIMER:
        if (wParam == TIMER_PRESET_CYCLE && tour->cycle.cycling)
            PostMessageA(dialog, WM_CYCLE_STEP, 0, 0);
        return FALSE;
    case WM_CYCLE_STEP:
        return tour->cycle.cycling ? RunCycleStep(dialog, tour) : FALSE;
    case WM_DESTROY:
        openDialog = 0;
        return FALSE;
    default:
        return FALSE;
    }
}
