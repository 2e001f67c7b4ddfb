// Reading and closing message boxes from a thread timer.
#include "tests/box_closer.h"

#include <string.h>

static SeenBox seenBox;
static HWND watched;

static BOOL CALLBACK FindLongestStatic(HWND child, LPARAM context)
{
    char className[16], text[1100];
    GetClassNameA(child, className, sizeof className);
    GetWindowTextA(child, text, sizeof text);
    std::string* longest = (std::string*)context;
    if (lstrcmpiA(className, "Static") == 0 && strlen(text) > longest->size())
        *longest = text;
    return TRUE;
}

static BOOL CALLBACK CloseMessageBox(HWND candidate, LPARAM)
{
    char className[16];
    GetClassNameA(candidate, className, sizeof className);
    if (strcmp(className, "#32770") != 0 || !IsWindowVisible(candidate))
        return TRUE;
    if (!seenBox.found)
    {
        char caption[64];
        GetWindowTextA(candidate, caption, sizeof caption);
        seenBox.found = true;
        seenBox.caption = caption;
        seenBox.owner = GetWindow(candidate, GW_OWNER);
        seenBox.hasOk = GetDlgItem(candidate, IDOK) != 0;
        seenBox.hasCancel = GetDlgItem(candidate, IDCANCEL) != 0;
        seenBox.watchedWindowEnabled = watched && IsWindowEnabled(watched);
        EnumChildWindows(candidate, FindLongestStatic, (LPARAM)&seenBox.text);
    }
    PostMessageA(candidate, WM_COMMAND, IDOK, 0);
    return FALSE;
}

static void CALLBACK BoxTimer(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), CloseMessageBox, 0);
}

SeenBox WithBoxCloser(const std::function<void()>& call, HWND watchedWindow)
{
    seenBox = SeenBox();
    watched = watchedWindow;
    UINT_PTR timer = SetTimer(0, 0, 20, BoxTimer);
    call();
    KillTimer(0, timer);
    return seenBox;
}
