// The Preset Cycle Mode dialog.
#include "dialogs/preset_cycle.h"

#include <stdio.h>

#include "app/main_window.h"
#include "app/program_start.h"
#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/panel_status.h"
#include "dialogs/dialog_controls.h"
#include "resources/dialog_ids.h"

const UINT PRESET_CYCLE_INTERVALS_MS[PRESET_INTERVAL_COUNT] = {2000,  5000,  10000, 15000,
                                                               20000, 25000, 30000};
const int MAX_CYCLE_COUNT = 99999;
const int CYCLE_TEXT_LIMIT = 5;
const char TIMER_ERROR_TEXT[] = "Error setting system timer";

BOOL(WINAPI* presetCycleBeep)(UINT type) = MessageBeep;

static PresetCycleRecord cycle; // the open dialog's copy
static HWND openDialog;         // the dialog while it is open, else 0
static int initRetries;         // recovery sequences since the last Start

INT_PTR ShowPresetCycle(HWND owner, PresetCycleRecord* record)
{
    cycle = *record;
    cycle.driver->eventsEnabled = 0;
    INT_PTR result =
        DialogBoxParamA(WindowInstance(owner), "PRESETDLG", owner, PresetCycleDlgProc, 0);
    cycle.driver->eventsEnabled = 1;
    if (result <= 0) // closed, or the dialog could not be shown
        return 0;
    *record = cycle;
    return result;
}

static UINT SelectedInterval()
{
    return PRESET_CYCLE_INTERVALS_MS[cycle.intervalIndex];
}

static int StartCycleTimer(HWND dialog)
{
    return SetTimer(dialog, TIMER_PRESET_CYCLE, SelectedInterval(), 0) != 0;
}

static void StopCycling(HWND dialog)
{
    if (!cycle.cycling)
        return;
    KillTimer(dialog, TIMER_PRESET_CYCLE);
    cycle.cycling = 0;
}

void SelectInterval(HWND dialog, int index)
{
    if (index < 0 || index >= PRESET_INTERVAL_COUNT)
        index = 0;
    for (int i = 0; i < PRESET_INTERVAL_COUNT; ++i)
        ShowChecked(dialog, IDC_INTERVAL_FIRST + i, i == index);
    cycle.intervalIndex = index;
    if (cycle.cycling && !StartCycleTimer(dialog))
    {
        cycle.cycling = 0;
        presetCycleBeep(0);
        UpdatePresetCycleTitle(dialog);
    }
}

// Start while stopped, Stop while cycling. A button that has the focus hands it to the other
// before it is disabled, so the keyboard keeps working in the dialog.
static void EnableStartStop(HWND dialog)
{
    HWND start = GetDlgItem(dialog, IDC_CYCLE_START);
    HWND stop = GetDlgItem(dialog, IDC_CYCLE_STOP);
    HWND enabled = cycle.cycling ? stop : start;
    HWND disabled = cycle.cycling ? start : stop;
    EnableWindow(enabled, TRUE);
    if (GetFocus() == disabled)
        SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)enabled, TRUE);
    EnableWindow(disabled, FALSE);
}

void UpdatePresetCycleTitle(HWND dialog)
{
    char title[128];
    YieldToMessages();
    if (debugTitles)
        snprintf(title, sizeof title, "Preset Cycle Mode - Preset #%d  InitRetry=%d ZoomStop=%d",
                 cycle.presetIndex + 1, initRetries, cycle.driver->recallRetries);
    else
        snprintf(title, sizeof title, "Preset Cycle Mode - Preset #%d", cycle.presetIndex + 1);
    EnableStartStop(dialog);
    SetWindowTextA(dialog, title);
}

static void InitPresetCycle(HWND dialog)
{
    openDialog = dialog;
    CenterWindow(dialog);
    cycle.cycling = 0;
    cycle.accumulatedCycles = 0;
    cycle.presetIndex = 0;
    cycle.driver->recallRetries = 0;
    SendDlgItemMessageA(dialog, IDC_SET_CYCLES, EM_LIMITTEXT, CYCLE_TEXT_LIMIT, 0);
    SendDlgItemMessageA(dialog, IDC_ACCUMULATED_CYCLES, EM_LIMITTEXT, CYCLE_TEXT_LIMIT, 0);
    ShowNumber(dialog, IDC_SET_CYCLES, cycle.cyclesToRun);
    ShowNumber(dialog, IDC_ACCUMULATED_CYCLES, cycle.accumulatedCycles);
    UpdatePresetCycleTitle(dialog);
    SelectInterval(dialog, cycle.intervalIndex);
}

static void TakeSetCycles(HWND dialog)
{
    ReadNumberInRange(dialog, IDC_SET_CYCLES, 1, MAX_CYCLE_COUNT, &cycle.cyclesToRun);
    ShowNumber(dialog, IDC_SET_CYCLES, cycle.cyclesToRun);
}

static void TakeAccumulatedCycles(HWND dialog)
{
    ReadNumberInRange(dialog, IDC_ACCUMULATED_CYCLES, 0, MAX_CYCLE_COUNT,
                      &cycle.accumulatedCycles);
    ShowNumber(dialog, IDC_ACCUMULATED_CYCLES, cycle.accumulatedCycles);
}

static void StartCycle(HWND dialog)
{
    if (cycle.cycling)
    {
        presetCycleBeep(0);
        return;
    }
    if (!EnsureCameraReady(cycle.driver))
        return;
    ResultCode result = RecallPreset(cycle.driver, cycle.presetIndex + 1);
    if (result != RESULT_OK)
    {
        ShowResultMessage(cycle.driver, result);
        return;
    }
    if (!StartCycleTimer(dialog))
    {
        ShowErrorBox(TIMER_ERROR_TEXT);
        return;
    }
    initRetries = 0;
    cycle.driver->recallRetries = 0;
    cycle.cycling = 1;
    UpdatePresetCycleTitle(dialog);
}

static void OnPresetCycleCommand(HWND dialog, WPARAM wParam)
{
    int id = LOWORD(wParam), code = HIWORD(wParam);
    if (id >= IDC_INTERVAL_FIRST && id <= IDC_INTERVAL_LAST)
    {
        SelectInterval(dialog, id - IDC_INTERVAL_FIRST);
        return;
    }
    switch (id)
    {
    case IDOK: // Exit
        StopCycling(dialog);
        TakeSetCycles(dialog);
        TakeAccumulatedCycles(dialog);
        EndDialog(dialog, 1);
        break;
    case IDC_SET_CYCLES:
        if (code == EN_KILLFOCUS)
            TakeSetCycles(dialog);
        break;
    case IDC_ACCUMULATED_CYCLES:
        if (code == EN_KILLFOCUS)
            TakeAccumulatedCycles(dialog);
        break;
    case IDC_CYCLE_START:
        StartCycle(dialog);
        break;
    case IDC_CYCLE_STOP:
        if (cycle.cycling)
            StopCycling(dialog);
        else
            presetCycleBeep(0);
        UpdatePresetCycleTitle(dialog);
        break;
    case IDC_CYCLE_RESET:
        StopCycling(dialog);
        cycle.presetIndex = 0;
        cycle.accumulatedCycles = 0;
        ShowNumber(dialog, IDC_ACCUMULATED_CYCLES, 0);
        UpdatePresetCycleTitle(dialog);
        break;
    default: // IDCANCEL among them: Escape does not close this dialog
        break;
    }
}

// After a failed recall: the CCU to mode 1 and back, with an RTS pulse between, and the zoom
// stopped. The results are not looked at; the next recall tells.
static void RunRecoverySequence()
{
    CameraDriver* driver = cycle.driver;
    DelayPumping(500);
    SelectMode(driver, CCU_MODE_STANDALONE);
    DelayPumping(250);
    PulseRts(driver);
    DelayPumping(250);
    SelectMode(driver, CCU_MODE_PROGRAM);
    ZoomStop(driver);
    DelayPumping(500);
}

static void AdvancePreset(HWND dialog)
{
    if (++cycle.presetIndex >= PRESET_CYCLE_PRESETS)
    {
        cycle.presetIndex = 0;
        ++cycle.accumulatedCycles;
        ShowNumber(dialog, IDC_ACCUMULATED_CYCLES, cycle.accumulatedCycles);
    }
    UpdatePresetCycleTitle(dialog);
}

// One tick of the tour: the next preset, or the end of the run (TRUE).
static BOOL RunCycleStep(HWND dialog)
{
    KillTimer(dialog, TIMER_PRESET_CYCLE);
    if (cycle.accumulatedCycles >= cycle.cyclesToRun)
    {
        cycle.cycling = 0;
        UpdatePresetCycleTitle(dialog);
        return TRUE;
    }
    AdvancePreset(dialog);
    ResultCode result = RESULT_OK;
    for (int attempt = 1; attempt <= PRESET_RECALL_ATTEMPTS; ++attempt)
    {
        result = RecallPreset(cycle.driver, cycle.presetIndex + 1);
        if (!cycle.cycling) // stopped while the recall ran
            return FALSE;
        if (result == RESULT_OK)
        {
            if (StartCycleTimer(dialog))
                return FALSE;
            cycle.cycling = 0;
            UpdatePresetCycleTitle(dialog);
            ShowErrorBox(TIMER_ERROR_TEXT);
            return FALSE;
        }
        ++initRetries;
        UpdatePresetCycleTitle(dialog);
        RunRecoverySequence();
    }
    cycle.cycling = 0;
    UpdatePresetCycleTitle(dialog);
    ShowResultMessage(cycle.driver, result);
    return FALSE;
}

// A step running under this call (its recall is waiting) sees the tour stopped once its recall
// returns, and starts no timer.
void StopPresetTour()
{
    if (!openDialog || !cycle.cycling)
        return;
    StopCycling(openDialog);
    UpdatePresetCycleTitle(openDialog);
}

INT_PTR CALLBACK PresetCycleDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message)
    {
    case WM_INITDIALOG:
        InitPresetCycle(dialog);
        return TRUE;
    case WM_COMMAND:
        OnPresetCycleCommand(dialog, wParam);
        return TRUE;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE)
        {
            StopCycling(dialog);
            EndDialog(dialog, 0);
        }
        return FALSE;
    case WM_TIMER:
        if (wParam == TIMER_PRESET_CYCLE && cycle.cycling)
            PostMessageA(dialog, WM_CYCLE_STEP, 0, 0);
        return FALSE;
    case WM_CYCLE_STEP:
        return cycle.cycling ? RunCycleStep(dialog) : FALSE;
    case WM_DESTROY:
        openDialog = 0;
        return FALSE;
    default:
        return FALSE;
    }
}
