// Painting fixture: a readable DIB section and the GDI leak probe.
#include "tests/dib_canvas.h"

#include <string.h>

bool CreateDibCanvas(DibCanvas* canvas, int width, int height, COLORREF fill)
{
    memset(canvas, 0, sizeof *canvas);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = 0;
    canvas->bitmap = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, 0, 0);
    canvas->dc = CreateCompatibleDC(0);
    if (!canvas->bitmap || !canvas->dc || !bits)
    {
        DestroyDibCanvas(canvas);
        return false;
    }
    canvas->previousBitmap = SelectObject(canvas->dc, canvas->bitmap);
    canvas->pixels = (uint32_t*)bits;
    canvas->width = width;
    canvas->height = height;
    FillCanvas(canvas, fill);
    return true;
}

void DestroyDibCanvas(DibCanvas* canvas)
{
    if (canvas->dc && canvas->previousBitmap)
        SelectObject(canvas->dc, canvas->previousBitmap);
    if (canvas->dc)
        DeleteDC(canvas->dc);
    if (canvas->bitmap)
        DeleteObject(canvas->bitmap);
    memset(canvas, 0, sizeof *canvas);
}

COLORREF CanvasPixel(const DibCanvas* canvas, int x, int y)
{
    if (x < 0 || y < 0 || x >= canvas->width || y >= canvas->height)
        return CLR_INVALID;
    GdiFlush();
    uint32_t value = canvas->pixels[y * canvas->width + x];
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

void FillCanvas(DibCanvas* canvas, COLORREF fill)
{
    uint32_t value =
        ((uint32_t)GetRValue(fill) << 16) | ((uint32_t)GetGValue(fill) << 8) | GetBValue(fill);
    GdiFlush();
    for (int i = 0; i < canvas->width * canvas->height; ++i)
        canvas->pixels[i] = value;
}

int GdiSlotProbe()
{
    HBRUSH probe = CreateSolidBrush(RGB(1, 2, 3));
    int slot = (int)((uintptr_t)probe & 0xFFFF);
    DeleteObject(probe);
    return slot;
}

int GdiSlotMark()
{
    const int probes = 1024;
    static HBRUSH brushes[probes];
    int mark = 0;
    for (int i = 0; i < probes; ++i)
    {
        brushes[i] = CreateSolidBrush(RGB(1, 2, 3));
        int slot = (int)((uintptr_t)brushes[i] & 0xFFFF);
        if (slot > mark)
            mark = slot;
    }
    for (int i = probes - 1; i >= 0; --i) // last first: the free slots keep their order
        DeleteObject(brushes[i]);
    return mark;
}
