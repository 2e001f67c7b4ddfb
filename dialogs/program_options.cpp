// The Program Options dialog and the application of its result.
#include "dialogs/program_options.h"

#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/panel_window.h"
#include "control/speed_settings.h"
#include "dialogs/dialog_controls.h"
#include "resources/dialog_ids.h"
#include "services/settings_file.h"
#include "services/speed_limits.h"
#include "services/window_place.h"

static const char* const BAUD_RATE_TEXTS[] = {"4800", "9600", "14400"};
const int BAUD_RATE_COUNT = sizeof BAUD_RATE_TEXTS / sizeof BAUD_RATE_TEXTS[0];
const int PAN_TILT_PAGE = 10;
const int ZOOM_PAGE = 1; // the zoom bar has only eight places: a page is one step
const int SPEED_TEXT_LIMIT = 2;

static int BaudRateIndex(int baudRate)
{
    if (baudRate == LINE_SPEED_4800)
        return 0;
    return baudRate == LINE_SPEED_14400 ? 2 : 1;
}

static int BaudRateOfIndex(int index)
{
    if (index == 0)
        return LINE_SPEED_4800;
    return index == 2 ? LINE_SPEED_14400 : LINE_SPEED_9600;
}

INT_PTR ShowProgramOptions(HWND owner, ProgramOptionsRecord* record)
{
    ProgramOptionsRecord edited = *record;
    edited.baudRate = BaudRateIndex(record->baudRate);
    INT_PTR result = DialogBoxParamA(WindowInstance(owner), "PROGRAMOPTIONS", owner,
                                     ProgramOptionsDlgProc, (LPARAM)&edited);
    if (result <= 0) // cancelled, or the dialog could not be shown: nothing was edited
        return 0;
    *record = edited;
    record->baudRate = BaudRateOfIndex(edited.baudRate);
    return result;
}

static HWND Bar(HWND dialog, int id)
{
    return GetDlgItem(dialog, id);
}

static void ShowPanTiltSpeed(HWND dialog, const ProgramOptionsRecord* options)
{
    SetScrollPos(Bar(dialog, IDC_PAN_TILT_SPEED_BAR), SB_CTL, options->panTiltSpeed, TRUE);
    ShowNumber(dialog, IDC_PAN_TILT_SPEED_TEXT, options->panTiltSpeed);
}

static void InitProgramOptions(HWND dialog, const ProgramOptionsRecord* options)
{
    CenterWindow(dialog);
    HWND list = GetDlgItem(dialog, IDC_BAUD_RATE);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < BAUD_RATE_COUNT; ++i)
        SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)BAUD_RATE_TEXTS[i]);
    SendMessageA(list, CB_SETCURSEL, (WPARAM)options->baudRate, 0);
    SendDlgItemMessageA(dialog, IDC_PAN_TILT_SPEED_TEXT, EM_LIMITTEXT, SPEED_TEXT_LIMIT, 0);
    SetScrollRange(Bar(dialog, IDC_PAN_TILT_SPEED_BAR), SB_CTL, MIN_PAN_TILT_SPEED,
                   MAX_PAN_TILT_SPEED, FALSE);
    ShowPanTiltSpeed(dialog, options);
    SetScrollRange(Bar(dialog, IDC_ZOOM_SPEED_BAR), SB_CTL, MIN_ZOOM_SPEED, MAX_ZOOM_SPEED, FALSE);
    SetScrollPos(Bar(dialog, IDC_ZOOM_SPEED_BAR), SB_CTL, options->zoomSpeed, TRUE);
    ShowChecked(dialog, IDC_ACCELERATED_SPEED, options->acceleratedSpeed);
    ShowChecked(dialog, IDC_ALWAYS_ON_TOP, options->alwaysOnTop);
    ShowChecked(dialog, IDC_LARGE_WINDOW, options->largeWindow);
    ShowChecked(dialog, IDC_IR_REMOTE, options->irRemoteEnabled);
}

// The speed typed into the box, when it is one; the box then shows the speed in force.
static void TakeTypedSpeed(HWND dialog, ProgramOptionsRecord* options)
{
    int speed;
    if (ReadNumberInRange(dialog, IDC_PAN_TILT_SPEED_TEXT, MIN_PAN_TILT_SPEED, MAX_PAN_TILT_SPEED,
                          &speed))
        options->panTiltSpeed = speed;
    ShowPanTiltSpeed(dialog, options);
}

static int32_t* FlagOfBox(ProgramOptionsRecord* options, int id)
{
    switch (id)
    {
    case IDC_IR_REMOTE:
        return &options->irRemoteEnabled;
    case IDC_LARGE_WINDOW:
        return &options->largeWindow;
    case IDC_ALWAYS_ON_TOP:
        return &options->alwaysOnTop;
    case IDC_ACCELERATED_SPEED:
        return &options->acceleratedSpeed;
    default:
        return 0;
    }
}

static void OnProgramOptionsCommand(HWND dialog, ProgramOptionsRecord* options, WPARAM wParam)
{
    int id = LOWORD(wParam), code = HIWORD(wParam);
    if (int32_t* flag = FlagOfBox(options, id))
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
            TakeTypedSpeed(dialog, options);
        options->panTiltSpeed = GetScrollPos(Bar(dialog, IDC_PAN_TILT_SPEED_BAR), SB_CTL);
        options->zoomSpeed = GetScrollPos(Bar(dialog, IDC_ZOOM_SPEED_BAR), SB_CTL);
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
                options->baudRate = (int32_t)selected;
        }
        break;
    case IDC_PAN_TILT_SPEED_TEXT:
        if (code == EN_KILLFOCUS)
            TakeTypedSpeed(dialog, options);
        break;
    default:
        break;
    }
}

static void OnProgramOptionsScroll(HWND dialog, ProgramOptionsRecord* options, WPARAM wParam,
                                   HWND bar)
{
    switch (GetDlgCtrlID(bar))
    {
    case IDC_PAN_TILT_SPEED_BAR:
        options->panTiltSpeed =
            ScrollTargetOf(wParam, bar, MIN_PAN_TILT_SPEED, MAX_PAN_TILT_SPEED, PAN_TILT_PAGE);
        ShowPanTiltSpeed(dialog, options);
        break;
    case IDC_ZOOM_SPEED_BAR:
        options->zoomSpeed = ScrollTargetOf(wParam, bar, MIN_ZOOM_SPEED, MAX_ZOOM_SPEED, ZOOM_PAGE);
        SetScrollPos(bar, SB_CTL, options->zoomSpeed, TRUE);
        break;
    default:
        break;
    }
}

INT_PTR CALLBACK ProgramOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    ProgramOptionsRecord* options = (ProgramOptionsRecord*)DialogRecord(dialog, message, lParam);
    if (!options) // a message before WM_INITDIALOG
        return FALSE;
    switch (message)
    {
    case WM_INITDIALOG:
        InitProgramOptions(dialog, options);
        return TRUE;
    case WM_COMMAND:
        OnProgramOptionsCommand(dialog, options, wParam);
        return TRUE;
    case WM_HSCROLL:
        OnProgramOptionsScroll(dialog, options, wParam, (HWND)lParam);
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
    options.irRemoteEnabled = cameraSettings.irRemoteEnabled;
    options.largeWindow = workingFlags.largeWindow;
    options.alwaysOnTop = workingFlags.alwaysOnTop;
    options.baudRate = settingsImage.baudRate;
    options.panTiltSpeed = cameraSettings.panSpeed;
    options.zoomSpeed = cameraSettings.zoomSpeed;
    return options;
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
    ApplyLineAndSpeeds(window, options->baudRate, options->panTiltSpeed, options->zoomSpeed);
    // Stored last: every opening of the link enables the remote again, and the new line speed
    // or a closed link opened to send a speed must not overrule the operator's choice. Nothing
    // is sent for it; the dispatcher reads it for each remote key.
    cameraSettings.irRemoteEnabled = options->irRemoteEnabled;
}
