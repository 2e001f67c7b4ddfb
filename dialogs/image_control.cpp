// The Image Control dialog.
#include "dialogs/image_control.h"

#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/image_settings.h"
#include "dialogs/dialog_controls.h"
#include "resources/dialog_ids.h"
#include "services/wait_cursor.h"
#include "services/window_place.h"

const int IMAGE_BAR_PAGE = 10;

// The four bars: each one's range, its field in the dialog's copy and the level it sends.
struct ImageBar
{
    int id;
    int minimum;
    int maximum;
    int32_t ImageControlRecord::*value;
    ImageLevel level;
};

static const ImageBar IMAGE_BARS[] = {
    {IDC_AGC_BAR, 3, 127, &ImageControlRecord::agcLevel, IMAGE_AGC_GAIN},
    {IDC_SHUTTER_BAR, 0, 132, &ImageControlRecord::shutterLevel, IMAGE_SHUTTER_SPEED},
    {IDC_IRIS_BAR, 84, 169, &ImageControlRecord::irisLevel, IMAGE_IRIS},
    {IDC_WHITE_BALANCE_BAR, 0, 255, &ImageControlRecord::whiteBalanceLevel,
     IMAGE_WHITE_BALANCE_LEVEL},
};
const int IMAGE_BAR_COUNT = sizeof IMAGE_BARS / sizeof IMAGE_BARS[0];

// The open dialog's copy of the record, kept in its DWLP_USER from WM_INITDIALOG on; 0 before.
static ImageControlRecord* ImageOf(HWND dialog)
{
    return (ImageControlRecord*)GetWindowLongPtrA(dialog, DWLP_USER);
}

INT_PTR ShowImageControl(HWND owner, ImageControlRecord* record)
{
    ImageControlRecord image = *record;
    INT_PTR result = DialogBoxParamA(WindowInstance(owner), "IMAGECONTROL", owner,
                                     ImageControlDlgProc, (LPARAM)&image);
    if (result <= 0) // cancelled, or the dialog could not be shown
        return 0;
    *record = image;
    return result;
}

static void ShowBarValues(HWND dialog)
{
    const ImageControlRecord* image = ImageOf(dialog);
    for (int i = 0; i < IMAGE_BAR_COUNT; ++i)
        SetScrollPos(GetDlgItem(dialog, IMAGE_BARS[i].id), SB_CTL, image->*IMAGE_BARS[i].value,
                     TRUE);
}

void UpdateImageControls(HWND dialog)
{
    const ImageControlRecord* image = ImageOf(dialog);
    ShowChecked(dialog, IDC_EXPOSURE_AUTO, image->exposureAuto);
    ShowChecked(dialog, IDC_EXPOSURE_MANUAL, !image->exposureAuto);
    EnableWindow(GetDlgItem(dialog, IDC_SHUTTER_BAR), !image->exposureAuto);
    EnableWindow(GetDlgItem(dialog, IDC_IRIS_BAR), !image->exposureAuto);
    EnableWindow(GetDlgItem(dialog, IDC_AGC_BAR), !image->exposureAuto);
    ShowChecked(dialog, IDC_WHITE_BALANCE_AUTO, image->whiteBalanceAuto);
    ShowChecked(dialog, IDC_WHITE_BALANCE_MANUAL, !image->whiteBalanceAuto);
    EnableWindow(GetDlgItem(dialog, IDC_WHITE_BALANCE_BAR), !image->whiteBalanceAuto);
    YieldToMessages();
}

ResultCode RefreshImageControls(HWND dialog)
{
    ImageControlRecord* image = ImageOf(dialog);
    CameraDriver* driver = image->driver;
    if (ReadExposureLevels(driver, &image->agcLevel, &image->shutterLevel, &image->irisLevel))
    {
        ShowBarValues(dialog);
        UpdateImageControls(dialog);
    }
    return LinkLastResult(driver);
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
    ImageControlRecord* image = ImageOf(dialog);
    image->whiteBalanceAuto = automatic;
    UpdateImageControls(dialog);
    BeginWaitCursor();
    SendWhiteBalanceMode(image->driver, automatic, image->whiteBalanceLevel);
    if (!automatic)
    {
        SetScrollPos(GetDlgItem(dialog, IDC_WHITE_BALANCE_BAR), SB_CTL, image->whiteBalanceLevel,
                     TRUE);
        UpdateImageControls(dialog);
    }
    EndWaitCursor();
}

static void ChooseExposure(HWND dialog, int automatic)
{
    ImageControlRecord* image = ImageOf(dialog);
    CameraDriver* driver = image->driver;
    image->exposureAuto = automatic;
    UpdateImageControls(dialog);
    BeginWaitCursor();
    SendExposureMode(driver, automatic);
    EndWaitCursor();
    // In manual exposure the camera keeps the levels it used: the bars show them.
    if (!automatic && LinkLastResult(driver) == RESULT_OK)
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

static void OnImageControlScroll(HWND dialog, WPARAM wParam, HWND bar)
{
    ImageControlRecord* image = ImageOf(dialog);
    int id = GetDlgCtrlID(bar);
    for (int i = 0; i < IMAGE_BAR_COUNT; ++i)
    {
        const ImageBar* imageBar = &IMAGE_BARS[i];
        if (imageBar->id != id)
            continue;
        int value =
            ScrollTargetOf(wParam, bar, imageBar->minimum, imageBar->maximum, IMAGE_BAR_PAGE);
        image->*imageBar->value = value;
        SetScrollPos(bar, SB_CTL, value, TRUE);
        // While the thumb is dragged the bar only follows; the value goes out when it is let go.
        if (LOWORD(wParam) != SB_THUMBTRACK)
            SendImageLevel(image->driver, imageBar->level, value);
        return;
    }
}

INT_PTR CALLBACK ImageControlDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The functions of this dialog find its record with ImageOf.
    if (!DialogRecord(dialog, message, lParam)) // a message before WM_INITDIALOG
        return FALSE;
    switch (message)
    {
    case WM_INITDIALOG:
        InitImageControl(dialog);
        return TRUE;
    case WM_COMMAND:
        OnImageControlCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_HSCROLL:
        OnImageControlScroll(dialog, wParam, (HWND)lParam);
        return TRUE;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE)
            EndDialog(dialog, 0);
        return FALSE;
    default:
        return FALSE;
    }
}
