// The Image Control dialog.
#include "dialogs/image_control.h"

#include "app/main_window.h"
#include "app/wait_cursor.h"
#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "dialogs/dialog_controls.h"
#include "resources/dialog_ids.h"

const int IMAGE_BAR_PAGE = 10;
const int WHITE_BALANCE_AUTO_MODE = 0;
const int WHITE_BALANCE_MANUAL_MODE = 1;

static ImageControlRecord image; // the open dialog's copy

// The four bars: each one's range, its value in the dialog's copy and the command that
// sends it.
struct ImageBar
{
    int id;
    int minimum;
    int maximum;
    int32_t* value;
    ResultCode (*send)(CameraDriver* driver, int value);
};

static const ImageBar IMAGE_BARS[] = {
    {IDC_AGC_BAR, 3, 127, &image.agcLevel, SetAgcGain},
    {IDC_SHUTTER_BAR, 0, 132, &image.shutterLevel, SetShutterSpeed},
    {IDC_IRIS_BAR, 84, 169, &image.irisLevel, SetIris},
    {IDC_WHITE_BALANCE_BAR, 0, 255, &image.whiteBalanceLevel, SetWhiteBalanceLevel},
};
const int IMAGE_BAR_COUNT = sizeof IMAGE_BARS / sizeof IMAGE_BARS[0];

INT_PTR ShowImageControl(HWND owner, ImageControlRecord* record)
{
    image = *record;
    INT_PTR result =
        DialogBoxParamA(WindowInstance(owner), "IMAGECONTROL", owner, ImageControlDlgProc, 0);
    if (result <= 0) // cancelled, or the dialog could not be shown
        return 0;
    *record = image;
    return result;
}

static void ShowBarValues(HWND dialog)
{
    for (int i = 0; i < IMAGE_BAR_COUNT; ++i)
        SetScrollPos(GetDlgItem(dialog, IMAGE_BARS[i].id), SB_CTL, *IMAGE_BARS[i].value, TRUE);
}

void UpdateImageControls(HWND dialog)
{
    ShowChecked(dialog, IDC_EXPOSURE_AUTO, image.exposureAuto);
    ShowChecked(dialog, IDC_EXPOSURE_MANUAL, !image.exposureAuto);
    EnableWindow(GetDlgItem(dialog, IDC_SHUTTER_BAR), !image.exposureAuto);
    EnableWindow(GetDlgItem(dialog, IDC_IRIS_BAR), !image.exposureAuto);
    EnableWindow(GetDlgItem(dialog, IDC_AGC_BAR), !image.exposureAuto);
    ShowChecked(dialog, IDC_WHITE_BALANCE_AUTO, image.whiteBalanceAuto);
    ShowChecked(dialog, IDC_WHITE_BALANCE_MANUAL, !image.whiteBalanceAuto);
    EnableWindow(GetDlgItem(dialog, IDC_WHITE_BALANCE_BAR), !image.whiteBalanceAuto);
    YieldToMessages();
}

ResultCode RefreshImageControls(HWND dialog)
{
    CameraDriver* driver = image.driver;
    if (!EnsureCameraReady(driver))
        return driver->lastResult;
    QueryExposureState(driver, 0, 0, &image.agcLevel, &image.shutterLevel, &image.irisLevel);
    ShowBarValues(dialog);
    UpdateImageControls(dialog);
    return driver->lastResult;
}

static void InitImageControl(HWND dialog)
{
    CenterWindow(dialog);
    for (int i = 0; i < IMAGE_BAR_COUNT; ++i)
        SetScrollRange(GetDlgItem(dialog, IMAGE_BARS[i].id), SB_CTL, IMAGE_BARS[i].minimum,
                       IMAGE_BARS[i].maximum, FALSE);
    ShowBarValues(dialog);
    RefreshImageControls(dialog);
}

// A mode radio button: the dialog's state first, then the camera under the wait cursor.
static void ChooseWhiteBalance(HWND dialog, int automatic)
{
    CameraDriver* driver = image.driver;
    image.whiteBalanceAuto = automatic;
    UpdateImageControls(dialog);
    BeginWaitCursor();
    if (automatic)
    {
        if (EnsureCameraReady(driver))
            SetWhiteBalanceMode(driver, WHITE_BALANCE_AUTO_MODE);
    }
    else
    {
        // The level only once the camera has taken the manual mode.
        if (EnsureCameraReady(driver) &&
            SetWhiteBalanceMode(driver, WHITE_BALANCE_MANUAL_MODE) == RESULT_OK)
            SetWhiteBalanceLevel(driver, image.whiteBalanceLevel);
        SetScrollPos(GetDlgItem(dialog, IDC_WHITE_BALANCE_BAR), SB_CTL, image.whiteBalanceLevel,
                     TRUE);
        UpdateImageControls(dialog);
    }
    EndWaitCursor();
}

static void ChooseExposure(HWND dialog, int automatic)
{
    CameraDriver* driver = image.driver;
    image.exposureAuto = automatic;
    UpdateImageControls(dialog);
    BeginWaitCursor();
    if (EnsureCameraReady(driver))
        SetExposureAuto(driver, automatic);
    EndWaitCursor();
    // In manual exposure the camera keeps the levels it used: the bars show them.
    if (!automatic && driver->lastResult == RESULT_OK)
        RefreshImageControls(dialog);
}

static void OnImageControlCommand(HWND dialog, int id)
{
    switch (id)
    {
    case IDOK:
        EndDialog(dialog, 1);
        break;
    case IDCANCEL: // what was sent stays in force
        EndDialog(dialog, 0);
        break;
    case IDC_WHITE_BALANCE_AUTO:
        ChooseWhiteBalance(dialog, 1);
        break;
    case IDC_WHITE_BALANCE_MANUAL:
        ChooseWhiteBalance(dialog, 0);
        break;
    case IDC_EXPOSURE_AUTO:
        ChooseExposure(dialog, 1);
        break;
    case IDC_EXPOSURE_MANUAL:
        ChooseExposure(dialog, 0);
        break;
    default:
        break;
    }
}

static void OnImageControlScroll(WPARAM wParam, HWND bar)
{
    int id = GetDlgCtrlID(bar);
    for (int i = 0; i < IMAGE_BAR_COUNT; ++i)
    {
        const ImageBar* imageBar = &IMAGE_BARS[i];
        if (imageBar->id != id)
            continue;
        int value = ScrollTargetOf(wParam, bar, imageBar->minimum, imageBar->maximum,
                                   IMAGE_BAR_PAGE);
        *imageBar->value = value;
        SetScrollPos(bar, SB_CTL, value, TRUE);
        // While the thumb is dragged the bar only follows; the value goes out when it is let go.
        if (LOWORD(wParam) != SB_THUMBTRACK && EnsureCameraReady(image.driver))
            imageBar->send(image.driver, value);
        return;
    }
}

INT_PTR CALLBACK ImageControlDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        InitImageControl(dialog);
        return TRUE;
    case WM_COMMAND:
        OnImageControlCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_HSCROLL:
        OnImageControlScroll(wParam, (HWND)lParam);
        return TRUE;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE)
            EndDialog(dialog, 0);
        return FALSE;
    default:
        return FALSE;
    }
}
