// The panel's painting: the marble texture, the raised border, the OPERATE plate, the FOCUS
// and CAMERA frames, the direction pad plate, the zoom mesh band, the arrow glyphs and the
// printed labels of every row. The buttons and lights are child windows and paint themselves.
//
// Principles of operation:
// - PaintPanel draws the whole panel from scratch at every WM_PAINT; nothing is cached. The
//   marble bitmap is loaded from the resources, brushes are created and deleted, and the label
//   spacing (L, one text line; m, the side margin of a group) is measured from labelFont.
// - Every coordinate comes from the table and metrics in force (panel_layout.h); the colours
//   from the colour mode (panel_colors.h).
// - Every GDI object a paint creates is deleted before it returns, on every path, and every
//   object selected into a context is selected out again.
//
// Operations:
//   PaintPanel      the whole client area of the main window; 1.
//   TileBitmap      the bitmap resource tiled from (0, 0) over the rectangle; 0 when it cannot
//                   be loaded, measured or selected (nothing is drawn then).
//   DrawRowLabels   label and heading of one row, in labelFont.
//   DrawMeshBand    PanelGrey ground with a plate-coloured dot at every odd row and column.
//   DrawThickFrame  a 2-pixel frame inside the rectangle, with the selected brush.
//   DrawCornerDots  the rectangle's four corner pixels, with the selected brush.
#pragma once

#include <windows.h>

#include "panel/panel_layout.h"

const char MARBLE_BITMAP[] = "MARBLEBMP";     // 315 x 595, 24 bits per pixel: high colour
const char MARBLE16_BITMAP[] = "MARBLE16BMP"; // 300 x 600, 16 colours: otherwise

int PaintPanel(HWND window, HDC dc);
int TileBitmap(HWND window, HDC dc, const RECT* rect, const char* name);
void DrawRowLabels(HDC dc, const LayoutRow* row);
void DrawMeshBand(HDC dc, const RECT* rect);
void DrawThickFrame(HDC dc, const RECT* rect);
void DrawCornerDots(HDC dc, const RECT* rect);
