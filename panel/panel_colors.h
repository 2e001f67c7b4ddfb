// The panel's colour mode and its two own colours. highColorDisplay is set once at start-up
// from the screen; on 2-, 16- and 256-colour screens the panel uses the 16-colour marble and
// stock colours the palette can show.
#pragma once

#include <windows.h>

extern int highColorDisplay; // 0 on 2-, 16- and 256-colour screens, 1 otherwise

// The colour-mode rule: colours = 1 << (bits per pixel x planes), the product taken in 8 bits and
// the shift modulo 32; 0 when that is 2, 16 or 256, else 1 (so a 32-bit screen, colours 1, is
// high-colour).
int HighColorForDepth(int bitsPerPixel, int planes);
// The rule applied to a device context (the screen's, at start-up).
int HighColorForDevice(HDC dc);

// RGB(81, 81, 81) on high-colour screens, else the colour of the stock GRAY_BRUSH.
COLORREF PanelGrey();
// RGB(40, 83, 108) on high-colour screens, else the screen's nearest colour to it.
COLORREF PanelBlue();
// The colour in a stock brush's logical description.
COLORREF StockBrushColor(int stockBrush);
