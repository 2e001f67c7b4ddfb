// The colour mode and the panel's own colours.
#include "panel/panel_colors.h"

#include <stdint.h>

int highColorDisplay = 1;

static const COLORREF HIGH_COLOR_GREY = RGB(81, 81, 81);
static const COLORREF HIGH_COLOR_BLUE = RGB(40, 83, 108);

int HighColorForDepth(int bitsPerPixel, int planes)
{
    uint8_t depth = (uint8_t)(bitsPerPixel * planes);
    uint32_t colours = (uint32_t)1 << (depth % 32);
    return !(colours == 2 || colours == 16 || colours == 256);
}

int HighColorForDevice(HDC dc)
{
    return HighColorForDepth(GetDeviceCaps(dc, BITSPIXEL), GetDeviceCaps(dc, PLANES));
}

COLORREF StockBrushColor(int stockBrush)
{
    LOGBRUSH brush;
    if (!GetObjectA(GetStockObject(stockBrush), sizeof brush, &brush))
        return 0;
    return brush.lbColor;
}

COLORREF PanelGrey()
{
    return highColorDisplay ? HIGH_COLOR_GREY : StockBrushColor(GRAY_BRUSH);
}

COLORREF PanelBlue()
{
    if (highColorDisplay)
        return HIGH_COLOR_BLUE;
    HDC screen = GetDC(0);
    COLORREF nearest = GetNearestColor(screen, HIGH_COLOR_BLUE);
    ReleaseDC(0, screen);
    return nearest;
}
