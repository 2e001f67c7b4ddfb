// What the four dialogs share.
#include "dialogs/dialog_controls.h"

int ScrollTarget(int code, int thumbPosition, int current, int minimum, int maximum,
                 int pageStep)
{
    int target = current;
    switch (code)
    {
    case SB_LINELEFT:
        target = current - 1;
        break;
    case SB_LINERIGHT:
        target = current + 1;
        break;
    case SB_PAGELEFT:
        target = current - pageStep;
        break;
    case SB_PAGERIGHT:
        target = current + pageStep;
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        target = thumbPosition;
        break;
    case SB_LEFT:
        target = minimum;
        break;
    case SB_RIGHT:
        target = maximum;
        break;
    default:
        break;
    }
    if (target < minimum)
        return minimum;
    return target > maximum ? maximum : target;
}

int ScrollTargetOf(WPARAM wParam, HWND bar, int minimum, int maximum, int pageStep)
{
    return ScrollTarget(LOWORD(wParam), HIWORD(wParam), GetScrollPos(bar, SB_CTL), minimum,
                        maximum, pageStep);
}

int ReadNumberInRange(HWND dialog, int id, int minimum, int maximum, int* value)
{
    BOOL isNumber = FALSE;
    int number = (int)GetDlgItemInt(dialog, id, &isNumber, TRUE);
    if (!isNumber || number < minimum || number > maximum)
        return 0;
    *value = number;
    return 1;
}

void ShowNumber(HWND dialog, int id, int value)
{
    SetDlgItemInt(dialog, id, (UINT)value, TRUE);
}

void ShowChecked(HWND dialog, int id, int on)
{
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

void* DialogRecord(HWND dialog, UINT message, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)lParam);
    return (void*)GetWindowLongPtrA(dialog, DWLP_USER);
}
