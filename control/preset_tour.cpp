// The preset tour: recalls, recovery and retries.
#include "control/preset_tour.h"

#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/error_report.h"

// The pauses of the recovery sequence, in ms; DelayPumping lets sent messages through.
const DWORD RECOVERY_START_PAUSE_MS = 500; // the camera done with the failed recall before
                                           // the CCU is switched
const DWORD STANDALONE_SETTLE_MS = 250;    // the CCU settled in mode 1 before the RTS pulse
const DWORD RTS_RECOVERY_MS = 250;         // the line quiet again after the RTS pulse before
                                           // mode 0 is asked for
const DWORD ZOOM_REST_MS = 500;            // the stopped zoom at rest before the next recall

int initRetries;

void PreparePresetTour(PresetTour* tour)
{
    tour->cycle.cycling = 0;
    tour->cycle.accumulatedCycles = 0;
    tour->cycle.presetIndex = 0;
    cameraSettings.recallRetries = 0;
}

int RecallTourPreset(PresetTour* tour)
{
    CameraDriver* driver = tour->cycle.driver;
    if (!EnsureCameraReady(driver))
        return 0;
    ResultCode result = RecallPreset(driver, &cameraSettings, tour->cycle.presetIndex + 1);
    if (result != RESULT_OK)
    {
        ShowResultMessage(driver, result);
        return 0;
    }
    return 1;
}

void BeginPresetTour(PresetTour* tour)
{
    initRetries = 0;
    cameraSettings.recallRetries = 0;
    tour->cycle.cycling = 1;
}

// After a failed recall: the CCU to mode 1 and back, with an RTS pulse between, and the zoom
// stopped. The results are not looked at; the next recall tells.
static void RunRecoverySequence(CameraDriver* driver)
{
    DelayPumping(RECOVERY_START_PAUSE_MS);
    SelectMode(driver, CCU_MODE_STANDALONE);
    DelayPumping(STANDALONE_SETTLE_MS);
    PulseRts(driver);
    DelayPumping(RTS_RECOVERY_MS);
    SelectMode(driver, CCU_MODE_PROGRAM);
    ZoomStop(driver);
    DelayPumping(ZOOM_REST_MS);
}

static void AdvancePreset(PresetTour* tour)
{
    PresetCycleRecord* cycle = &tour->cycle;
    if (++cycle->presetIndex >= PRESET_CYCLE_PRESETS)
    {
        cycle->presetIndex = 0;
        ++cycle->accumulatedCycles;
        tour->showCycles(tour->view);
    }
    tour->showPreset(tour->view);
}

// The tour stopped: shown at once.
static void EndTour(PresetTour* tour)
{
    tour->cycle.cycling = 0;
    tour->showPreset(tour->view);
}

PresetTourStep RunPresetTourStep(PresetTour* tour)
{
    PresetCycleRecord* cycle = &tour->cycle;
    if (cycle->accumulatedCycles >= cycle->cyclesToRun)
    {
        EndTour(tour);
        return PRESET_TOUR_FINISHED;
    }
    AdvancePreset(tour);
    ResultCode result = RESULT_OK;
    for (int attempt = 1; attempt <= PRESET_RECALL_ATTEMPTS; ++attempt)
    {
        result = RecallPreset(cycle->driver, &cameraSettings, cycle->presetIndex + 1);
        if (!cycle->cycling) // stopped while the recall ran
            return PRESET_TOUR_STOPPED;
        if (result == RESULT_OK)
            return PRESET_TOUR_RECALLED;
        ++initRetries;
        tour->showPreset(tour->view);
        RunRecoverySequence(cycle->driver);
    }
    EndTour(tour);
    ShowResultMessage(cycle->driver, result);
    return PRESET_TOUR_FAILED;
}
