// Opens one of the console's dialogs and saves a picture of it, frame and caption included, as
// the screen shows it: the console is started in this process with its virtual cameras, the
// dialog is opened from the system menu command, and a thread timer photographs and closes it.
// Usage: dialog_preview.exe options|image|preset|about OUT.BMP
// Exit code 0 when the picture was written. Run it inside a Wine virtual desktop so that Wine
// draws the caption and the frame.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "app/main_window.h"
#include "app/program_start.h"
#include "control/control_state.h"

const UINT TICK_MS = 100;
const DWORD PAINT_WAIT_MS = 600;  // from the dialog's first sight to the picture
const DWORD GIVE_UP_MS = 15000;   // no dialog, or it does not close

static const char* outputPath;
static DWORD startTime;
static DWORD firstSeen; // 0 until the dialog is up
static HWND dialog;
static int pictureTaken;
static int failed = 1;

static BOOL CALLBACK FindDialog(HWND candidate, LPARAM)
{
    char className[16];
    GetClassNameA(candidate, className, sizeof className);
    if (strcmp(className, "#32770") != 0 || !IsWindowVisible(candidate))
        return TRUE;
    dialog = candidate;
    return FALSE;
}

// The window's rectangle as the screen shows it, as a 24-bit bottom-up BMP file.
static int SaveWindowPicture(HWND window, const char* path)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return 0;
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = 0;
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, 0, 0);
    int ok = 0;
    if (memory && bitmap)
    {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        GdiFlush();
        SelectObject(memory, old);
    }
    DWORD rowSize = ((DWORD)width * 3 + 3) & ~3u;
    DWORD imageSize = rowSize * (DWORD)height;
    if (ok)
    {
        BITMAPFILEHEADER file;
        memset(&file, 0, sizeof file);
        file.bfType = 0x4D42; // "BM"
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageSize;
        info.bmiHeader.biSizeImage = imageSize;
        FILE* out = fopen(path, "wb");
        ok = out && fwrite(&file, sizeof file, 1, out) == 1 &&
             fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
             fwrite(bits, 1, imageSize, out) == imageSize;
        if (out && fclose(out) != 0)
            ok = 0;
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(0, screen);
    return ok;
}

// Runs in the dialog's modal loop: waits for the dialog to paint, takes the picture, closes the
// dialog, and once it is gone closes the console.
static void CALLBACK PictureTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    DWORD now = GetTickCount();
    if (!pictureTaken)
    {
        if (!firstSeen)
        {
            dialog = 0;
            EnumThreadWindows(GetCurrentThreadId(), FindDialog, 0);
            if (dialog)
                firstSeen = now;
        }
        if (firstSeen && now - firstSeen >= PAINT_WAIT_MS)
        {
            failed = !SaveWindowPicture(dialog, outputPath);
            pictureTaken = 1;
            PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            return;
        }
        if (now - startTime < GIVE_UP_MS)
            return;
        fprintf(stderr, "dialog_preview: no dialog came up\n");
    }
    else if (IsWindow(dialog) && now - startTime < GIVE_UP_MS)
        return; // the modal loop has not ended yet
    KillTimer(0, timer);
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
}

int main(int argc, char** argv)
{
    static const struct { const char* name; UINT command; } DIALOGS[] = {
        {"options", IDM_PROGRAM_OPTIONS},
        {"image", IDM_IMAGE_CONTROL},
        {"preset", IDM_PRESET_CYCLE},
        {"about", IDM_ABOUT},
    };
    UINT command = 0;
    for (const auto& entry : DIALOGS)
        if (argc > 2 && strcmp(argv[1], entry.name) == 0)
            command = entry.command;
    if (!command)
    {
        fprintf(stderr, "usage: dialog_preview options|image|preset|about OUT.BMP\n");
        return 2;
    }
    outputPath = argv[2];
    if (!StartConsole(GetModuleHandleA(0), 0, "/SIM", SW_SHOWNORMAL))
        return 1;
    startTime = GetTickCount();
    SetTimer(0, 0, TICK_MS, PictureTimer);
    PostMessageA(mainWindow, WM_SYSCOMMAND, command, 0);
    RunMessageLoop();
    EndConsole();
    return failed;
}
