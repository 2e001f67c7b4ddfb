// The composite preset operations: storing the current position in the CCU's preset memory
// and driving the camera back to a stored one, waiting until its moves have arrived.
#include "commands/camera_commands.h"

#include "services/speed_limits.h"

// Travel times at the slowest speeds, and the shortest wait for any recall.
const DWORD ZOOM_SLOWEST_TRAVEL_MS = 12000;
const DWORD PAN_SLOWEST_TRAVEL_MS = 190000;
const DWORD MIN_ARRIVAL_TIMEOUT_MS = 5000;

const int RECALL_ATTEMPTS = 2;
const DWORD ZOOM_STOP_SETTLE_MS = 500; // after stopping a zoom that did not arrive

static int Clamp(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

static DWORD AtLeastMinimum(DWORD ms)
{
    return ms < MIN_ARRIVAL_TIMEOUT_MS ? MIN_ARRIVAL_TIMEOUT_MS : ms;
}

// Unsigned arithmetic throughout. The speeds are kept in range first: out of range the
// subtraction would wrap and the recall would wait for weeks.
DWORD PresetArrivalTimeout(int zoomSpeed, int panSpeed)
{
    DWORD zoom = (DWORD)Clamp(zoomSpeed, MIN_ZOOM_SPEED, MAX_ZOOM_SPEED);
    DWORD pan = (DWORD)Clamp(panSpeed, MIN_PAN_TILT_SPEED, MAX_PAN_TILT_SPEED);
    DWORD zoomSteps = (DWORD)(MAX_ZOOM_SPEED - MIN_ZOOM_SPEED);
    DWORD panSteps = (DWORD)(MAX_PAN_TILT_SPEED - MIN_PAN_TILT_SPEED);
    DWORD zoomMs =
        AtLeastMinimum(ZOOM_SLOWEST_TRAVEL_MS - (ZOOM_SLOWEST_TRAVEL_MS * zoom) / zoomSteps);
    DWORD panMs =
        AtLeastMinimum(PAN_SLOWEST_TRAVEL_MS -
                       (PAN_SLOWEST_TRAVEL_MS * (pan - (DWORD)MIN_PAN_TILT_SPEED)) / panSteps);
    return zoomMs > panMs ? zoomMs : panMs;
}

ResultCode StorePreset(CameraDriver* driver, int preset)
{
    uint16_t pan = 0;
    uint16_t tilt = 0;
    uint16_t zoom = 0;
    uint16_t brightness = 0;
    ResultCode result = QueryPanTiltPosition(driver, &pan, &tilt);
    if (result == RESULT_OK)
        result = QueryZoomPosition(driver, &zoom);
    if (result == RESULT_OK)
        result = QueryBrightness(driver, &brightness);
    if (result == RESULT_OK)
        result = WritePresetData(driver, preset, brightness, pan, tilt, zoom);
    return result;
}

static int AllMovesArrived(const CameraDriver* driver)
{
    return driver->zoomArrived && driver->panTiltArrived && driver->exposureArrived;
}

// The flags are set by the link as completion frames arrive, mostly on the reader thread,
// which then tells the line change this wait sleeps on.
static int WaitForArrival(CameraDriver* driver, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;)
    {
        ResetLineChange(driver);
        if (AllMovesArrived(driver))
            return 1;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return 0;
        WaitForLineChange(driver, timeoutMs - elapsed);
    }
}

// Reads the preset and starts its moves. The flags are cleared before the first move, so
// that a completion arriving during a later request still counts.
static ResultCode StartPresetMoves(CameraDriver* driver, int preset)
{
    uint16_t brightness = 0;
    uint16_t pan = 0;
    uint16_t tilt = 0;
    uint16_t zoom = 0;
    ResultCode result = ReadPresetData(driver, preset, &brightness, &pan, &tilt, &zoom);
    if (result != RESULT_OK)
        return result;
    driver->zoomArrived = 0;
    driver->panTiltArrived = 0;
    driver->exposureArrived = 0;
    result = SetBrightness(driver, brightness);
    if (result == RESULT_OK)
        result = ZoomToPosition(driver, zoom);
    if (result == RESULT_OK)
        result = PanTiltToPosition(driver, pan, tilt);
    return result;
}

static ResultCode EnsureAutoExposure(CameraDriver* driver, CameraSettingsRecord* settings)
{
    if (settings->exposureAuto)
        return RESULT_OK;
    ResultCode result = SetExposureAuto(driver, 1);
    if (result == RESULT_OK)
        settings->exposureAuto = 1;
    return result;
}

// A zoom that has not arrived may have stuck: stop it and try again. A zoom that arrived
// while pan/tilt did not is not helped by another try.
ResultCode RecallPreset(CameraDriver* driver, CameraSettingsRecord* settings, int preset)
{
    DWORD timeoutMs = PresetArrivalTimeout(settings->zoomSpeed, settings->panSpeed);
    ResultCode result = EnsureAutoExposure(driver, settings);
    if (result != RESULT_OK)
        return result;
    for (int attempt = 0; attempt < RECALL_ATTEMPTS; ++attempt)
    {
        result = StartPresetMoves(driver, preset);
        if (result != RESULT_OK)
            break;
        if (WaitForArrival(driver, timeoutMs))
            break;
        result = RESULT_TIMEOUT;
        if (driver->zoomArrived)
            break;
        ++settings->recallRetries;
        ResultCode stopped = ZoomStop(driver);
        if (stopped != RESULT_OK)
        {
            result = stopped;
            break;
        }
        DelayPumping(ZOOM_STOP_SETTLE_MS);
    }
    ReportLinkStatus(driver);
    return result;
}
