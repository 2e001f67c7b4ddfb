// The Program Options dialog and the application of its result.
#include "dialogs/program_options.h"

#include "app/main_window.h"
#include "app/settings_file.h"
#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "dialogs/dialog_controls.h"
#include "resources/dialog_ids.h"

static const char* const BAUD_RATE_TEXTS[] = {"4800", "9600", "14400"};
const int BAUD_RATE_COUNT = sizeof BAUD_RATE_TEXTS / sizeof BAUD_RATE_TEXTS[0];
const int PAN_TILT_PAGE = 10;
const int ZOOM_PAGE = 1; // the zoom bar has only eight places: a page is one step
const int SPEED_TEXT_LIMIT = 2;

static ProgramOptionsRecord dialogOptions; // the open dialog's copy

static int BaudRateIndex(int baudRate)
{
    if (baudRate == 4800)
        return 0;
    return baudRate == 14400 ? 2 : 1;
}

static int BaudRateOfIndex(int index)
{
    if (index == 0)
        return 4800;
    return index == 2 ? 14400 : 9600;
}

INT_PTR ShowProgramOptions(HWND owner, ProgramOptionsRecord* record)
{
    dialogOptions = *record;
    dialogOptions.baudRate = BaudRateIndex(record->baudRate);
    INT_PTR result = DialogBoxParamA(WindowInstance(owner), "PROGRAMOPTIONS", owner,
                                     ProgramOptionsDlgProc, 0);
    if (result <= 0) // cancelled, or the dialog could not be shown: nothing was edited
        return 0;
    *record = dialogOptions;
    record->baudRate = BaudRateOfIndex(dialogOptions.baudRate);
    return result;
}

static HWND Bar(HWND dialog, int id)
{
    return GetDlgItem(dialog, id);
}

static void ShowPanTiltSpeed(HWND dialog)
{
    SetScrollPos(Bar(dialog, IDC_PAN_TILT_SPEED_BAR), SB_CTL, dialogOptions.panTiltSpeed, TRUE);
    ShowNumber(dialog, IDC_PAN_TILT_SPEED_TEXT, dialogOptions.panTiltSpeed);
}

static void InitProgramOptions(HWND dialog)
{
    CenterWindow(dialog);
    HWND list = GetDlgItem(dialog, IDC_BAUD_RATE);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < BAUD_RATE_COUNT; ++i)
        SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)BAUD_RATE_TEXTS[i]);
    SendMessageA(list, CB_SETCURSEL, (WPARAM)dialogOptions.baudRate, 0);
    SendDlgItemMessageA(dialog, IDC_PAN_TILT_SPEED_TEXT, EM_LIMITTEXT, SPEED_TEXT_LIMIT, 0);
    SetScrollRange(Bar(dialog, IDC_PAN_TILT_SPEED_BAR), SB_CTL, MIN_PAN_TILT_SPEED,
                   MAX_PAN_TILT_SPEED, FALSE);
    ShowPanTiltSpeed(dialog);
    SetScrollRange(Bar(dialog, IDC_ZOOM_SPEED_BAR), SB_CTL, MIN_ZOOM_SPEED, MAX_ZOOM_SPEED, FALSE);
    SetScrollPos(Bar(dialog, IDC_ZOOM_SPEED_BAR), SB_CTL, dialogOptions.zoomSpeed, TRUE);
    ShowChecked(dialog, IDC_ACCELERATED_SPEED, dialogOptions.acceleratedSpeed);
    ShowChecked(dialog, IDC_ALWAYS_ON_TOP, dialogOptions.alwaysOnTop);
    ShowChecked(dialog, IDC_LARGE_WINDOW, dialogOptions.largeWindow);
    ShowChecked(dialog, IDC_IR_REMOTE, dialogOptions.irRemoteEnabled);
}

// The speed typed into the box, when it is one; the box then shows the speed in force.
static void TakeTypedSpeed(HWND dialog)
{
    int speed;
    if (ReadNumberInRange(dialog, IDC_PAN_TILT_SPEED_TEXT, MIN_PAN_TILT_SPEED,
                          MAX_PAN_TILT_SPEED, &speed))
        dialogOptions.panTiltSpeed = speed;
    ShowPanTiltSpeed(dialog);
}

static int32_t* FlagOfBox(int id)
{
    switch (id)
    {
    case IDC_IR_REMOTE:
        return &dialogOptions.irRemoteEnabled;
    case IDC_LARGE_WINDOW:
        return &dialogOptions.largeWindow;
    case IDC_ALWAYS_ON_TOP:
        return &dialogOptions.alwaysOnTop;
    case IDC_ACCELERATED_SPEED:
        return &dialogOptions.acceleratedSpeed;
    default:
        return 0;
    }
}

static void OnProgramOptionsCommand(HWND dialog, WPARAM wParam)
{
    int id = LOWORD(wParam), code = HIWORD(wParam);
    if (int32_t* flag = FlagOfBox(id))
    {
        *flag = *flag == 0 ? 1 : 0;
        ShowChecked(dialog, id, *flag);
        return;
    }
    switch (id)
    {
    case IDOK:
        // Enter in the speed box ends the dialog without leaving the box: take its text first.
        if (GetFocus() == GetDlgItem(dialog, IDC_PAN_TILT_SPEED_TEXT))
            TakeTypedSpeed(dialog);
        dialogOptions.panTiltSpeed = GetScrollPos(Bar(dialog, IDC_PAN_TILT_SPEED_BAR), SB_CTL);
        dialogOptions.zoomSpeed = GetScrollPos(Bar(dialog, IDC_ZOOM_SPEED_BAR), SB_CTL);
        EndDialog(dialog, 1);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    case IDC_BAUD_RATE:
        if (code == CBN_SELCHANGE)
        {
            LRESULT selected = SendDlgItemMessageA(dialog, IDC_BAUD_RATE, CB_GETCURSEL, 0, 0);
            if (selected != CB_ERR)
                dialogOptions.baudRate = (int32_t)selected;
        }
        break;
    case IDC_PAN_TILT_SPEED_TEXT:
        if (code == EN_KILLFOCUS)
            TakeTypedSpeed(dialog);
        break;
    default:
        break;
    }
}

static void OnProgramOptionsScroll(HWND dialog, WPARAM wParam, HWND bar)
{
    switch (GetDlgCtrlID(bar))
    {
    case IDC_PAN_TILT_SPEED_BAR:
        dialogOptions.panTiltSpeed = ScrollTargetOf(wParam, bar, MIN_PAN_TILT_SPEED,
                                                    MAX_PAN_TILT_SPEED, PAN_TILT_PAGE);
        ShowPanTiltSpeed(dialog);
        break;
    case IDC_ZOOM_SPEED_BAR:
        dialogOptions.zoomSpeed =
            ScrollTargetOf(wParam, bar, MIN_ZOOM_SPEED, MAX_ZOOM_SPEED, ZOOM_PAGE);
        SetScrollPos(bar, SB_CTL, dialogOptions.zoomSpeed, TRUE);
        break;
    default:
        break;
    }
}

INT_PTR CALLBACK ProgramOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        InitProgramOptions(dialog);
        return TRUE;
    case WM_COMMAND:
        OnProgramOptionsCommand(dialog, wParam);
        return TRUE;
    case WM_HSCROLL:
        OnProgramOptionsScroll(dialog, wParam, (HWND)lParam);
        return TRUE;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE)
            EndDialog(dialog, 0);
        return FALSE;
    default:
        return FALSE;
    }
}

ProgramOptionsRecord CurrentProgramOptions()
{
    ProgramOptionsRecord options;
    options.acceleratedSpeed = workingFlags.acceleratedSpeed;
    options.irRemoteEnabled = cameraDriver.irRemoteEnabled;
    options.largeWindow = workingFlags.largeWindow;
    options.alwaysOnTop = workingFlags.alwaysOnTop;
    options.baudRate = settingsImage.baudRate;
    options.panTiltSpeed = cameraDriver.panSpeed;
    options.zoomSpeed = cameraDriver.zoomSpeed;
    return options;
}

// One axis's speed when it changed: the camera must be ready and accept it before the driver's
// cached value follows; the other axis keeps its cached speed, read once the camera is ready
// (a port reopened on the way resets it). 0 ends the application.
static int SendChangedAxisSpeed(int speed, int tiltAxis)
{
    CameraDriver* driver = &cameraDriver;
    int* cached = tiltAxis ? &driver->tiltSpeed : &driver->panSpeed;
    if (speed == *cached)
        return 1;
    if (!EnsureCameraReady(driver))
        return 0;
    int pan = tiltAxis ? driver->panSpeed : speed;
    int tilt = tiltAxis ? speed : driver->tiltSpeed;
    if (SetPanTiltSpeed(driver, pan, tilt) != RESULT_OK)
        return 0;
    *cached = speed;
    return 1;
}

// The line speed, then the speeds; each step stops the rest when it fails.
static void ApplyLinkAndSpeeds(HWND window, const ProgramOptionsRecord* options)
{
    CameraDriver* driver = &cameraDriver;
    // Reopening the link resets the driver's cached values: the speeds below compare against
    // the defaults.
    if (options->baudRate != settingsImage.baudRate &&
        !OpenCamera(window, settingsImage.comPortIndex, options->baudRate, 0))
        return;
    // One speed for both axes: tilt first, then pan.
    if (!SendChangedAxisSpeed(options->panTiltSpeed, 1) ||
        !SendChangedAxisSpeed(options->panTiltSpeed, 0))
        return;
    if (options->zoomSpeed != driver->zoomSpeed)
    {
        if (!EnsureCameraReady(driver) || SetZoomSpeed(driver, options->zoomSpeed) != RESULT_OK)
            return;
        driver->zoomSpeed = options->zoomSpeed;
    }
}

void ApplyProgramOptions(HWND window, const ProgramOptionsRecord* options)
{
    workingFlags.acceleratedSpeed = options->acceleratedSpeed;
    if (options->largeWindow != workingFlags.largeWindow)
    {
        workingFlags.largeWindow = options->largeWindow;
        ShowPanelSize(window);
    }
    if (options->alwaysOnTop != workingFlags.alwaysOnTop)
    {
        workingFlags.alwaysOnTop = options->alwaysOnTop;
        PlaceInStackingBand(window);
    }
    ApplyLinkAndSpeeds(window, options);
    // Stored last: every opening of the link enables the remote again, and the new line speed
    // or a closed link opened to send a speed must not overrule the operator's choice. Nothing
    // is sent for it; the dispatcher reads it for each remote key.
    cameraDriver.irRemoteEnabled = options->irRemoteEnabled;
}
