// Test fixture for painting: a 32-bit top-down DIB section selected into a memory device
// context, whose pixels the test reads back, and a probe for leaked GDI objects.
#pragma once

#include <windows.h>
#include <stdint.h>

struct DibCanvas
{
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previousBitmap;
    uint32_t* pixels; // width x height, top row first, 0x00RRGGBB
    int width;
    int height;
};

// Creates the canvas filled with fill (a COLORREF); false when GDI refuses.
bool CreateDibCanvas(DibCanvas* canvas, int width, int height, COLORREF fill = RGB(0, 0, 0));
void DestroyDibCanvas(DibCanvas* canvas);
// The pixel at (x, y) as a COLORREF (RGB order), or CLR_INVALID outside the canvas.
COLORREF CanvasPixel(const DibCanvas* canvas, int x, int y);
void FillCanvas(DibCanvas* canvas, COLORREF fill);

// The handle slot a new GDI object gets now. Wine reuses a freed slot at once, so equal probes
// before and after some painting mean that it left no object behind (GetGuiResources counts
// nothing under Wine).
int GdiSlotProbe();
// The highest slot among 1024 new GDI objects. A paint that creates several objects takes
// fresh slots after the freed ones, so a leak may leave the first free slot (GdiSlotProbe)
// alone; this mark moves with any leak. Check both.
int GdiSlotMark();
