// The About dialog.
#include "dialogs/about_box.h"

#include <stdio.h>

#include "dialogs/dialog_controls.h"
#include "resources/dialog_ids.h"
#include "services/window_place.h"

// The inputs of the open dialog.
static const char* aboutCaption;
static int aboutSoftwareVersion;
static uint8_t aboutUnitVersions[UNIT_VERSION_COUNT];

// The static of each unit's version, in the order of the version bytes.
static const int UNIT_VERSION_IDS[UNIT_VERSION_COUNT] = {IDC_CCU_VERSION, IDC_HEAD_VERSION,
                                                         IDC_PAN_TILTER_VERSION};

void ShowAbout(HWND owner, const char* caption, int softwareVersion,
               const uint8_t unitVersions[UNIT_VERSION_COUNT])
{
    aboutCaption = caption;
    aboutSoftwareVersion = softwareVersion;
    for (int i = 0; i < UNIT_VERSION_COUNT; ++i)
        aboutUnitVersions[i] = unitVersions[i];
    DialogBoxParamA(WindowInstance(owner), "ABOUTDLG", owner, AboutDlgProc, 0);
}

static void InitAbout(HWND dialog)
{
    char text[16];
    CenterWindow(dialog);
    SetWindowTextA(dialog, aboutCaption);
    snprintf(text, sizeof text, "%d.%02d", aboutSoftwareVersion / 100, aboutSoftwareVersion % 100);
    SetDlgItemTextA(dialog, IDC_SOFTWARE_VERSION, text);
    for (int i = 0; i < UNIT_VERSION_COUNT; ++i)
    {
        snprintf(text, sizeof text, "0.%02X", aboutUnitVersions[i]);
        SetDlgItemTextA(dialog, UNIT_VERSION_IDS[i], text);
    }
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message)
    {
    case WM_INITDIALOG:
        InitAbout(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            EndDialog(dialog, 1);
        return FALSE; // IDCANCEL (Escape) among the rest: nothing
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE)
            EndDialog(dialog, 1);
        return FALSE;
    default:
        return FALSE;
    }
}
