// The About dialog.
#include "dialogs/about_box.h"

#include <stdio.h>

#include "dialogs/dialog_controls.h"
#include "resources/dialog_ids.h"
#include "services/window_place.h"

// The inputs of one opening, handed to DialogBoxParam.
struct AboutRecord
{
    const char* caption;
    int softwareVersion;
    uint8_t unitVersions[UNIT_VERSION_COUNT];
};

// The static of each unit's version, in the order of the version bytes.
static const int UNIT_VERSION_IDS[UNIT_VERSION_COUNT] = {IDC_CCU_VERSION, IDC_HEAD_VERSION,
                                                         IDC_PAN_TILTER_VERSION};

void ShowAbout(HWND owner, const char* caption, int softwareVersion,
               const uint8_t unitVersions[UNIT_VERSION_COUNT])
{
    AboutRecord about;
    about.caption = caption;
    about.softwareVersion = softwareVersion;
    for (int i = 0; i < UNIT_VERSION_COUNT; ++i)
        about.unitVersions[i] = unitVersions[i];
    DialogBoxParamA(WindowInstance(owner), "ABOUTDLG", owner, AboutDlgProc, (LPARAM)&about);
}

static void InitAbout(HWND dialog, const AboutRecord* about)
{
    char text[16];
    CenterWindow(dialog);
    SetWindowTextA(dialog, about->caption);
    snprintf(text, sizeof text, "%d.%02d", about->softwareVersion / 100,
             about->softwareVersion % 100);
    SetDlgItemTextA(dialog, IDC_SOFTWARE_VERSION, text);
    for (int i = 0; i < UNIT_VERSION_COUNT; ++i)
    {
        snprintf(text, sizeof text, "0.%02X", about->unitVersions[i]);
        SetDlgItemTextA(dialog, UNIT_VERSION_IDS[i], text);
    }
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    const AboutRecord* about = (const AboutRecord*)DialogRecord(dialog, message, lParam);
    switch (message)
    {
    case WM_INITDIALOG:
        InitAbout(dialog, about);
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
