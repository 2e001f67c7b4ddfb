// The panel painter: marble, border, plates, frames, mesh band, arrow glyphs and labels of the
// main window's client area, drawn from scratch at every WM_PAINT.
#include "panel/panel_painter.h"

#include <stdint.h>

#include "panel/panel_colors.h"

// The label spacing measured from labelFont at the start of each paint.
struct LabelSpacing
{
    int line;   // L: one text line, tmHeight + tmExternalLeading
    int margin; // m: side margin of a group, (tmMaxCharWidth + tmExternalLeading) / 2
};

// The two brushes a paint creates; the others are stock brushes.
struct PaintBrushes
{
    HBRUSH blue; // PanelBlue: FOCUS frame, direction pad plate
    HBRUSH grey; // PanelGrey: corner dots
};

// One filled run of an arrow glyph, relative to (cx, ry): cx the middle of the button's width,
// ry the top edge of its row.
struct GlyphRun
{
    int8_t dx;
    int8_t dy;
    int8_t width;
    int8_t height;
};

const int GLYPH_COUNT = 8;
const int GLYPH_RUN_LIMIT = 5;

struct ArrowGlyph
{
    int row;      // the direction button the glyph stands above
    int runCount; // runs used in runs[]
    GlyphRun runs[GLYPH_RUN_LIMIT];
};

// Large window: straight arrows are 7 wide and 4 deep, diagonal ones right-angled triangles of
// 5 with the right angle toward the direction. Painted in this order.
// clang-format off
static const ArrowGlyph LARGE_ARROWS[GLYPH_COUNT] = {
    {ID_PAN_LEFT, 4, {{-3,-6,1,1}, {-2,-7,1,3}, {-1,-8,1,5}, {0,-9,1,7}}},
    {ID_PAN_RIGHT, 4, {{0,-6,1,1}, {-1,-7,1,3}, {-2,-8,1,5}, {-3,-9,1,7}}},
    {ID_TILT_UP, 4, {{0,-6,1,1}, {-1,-5,3,1}, {-2,-4,5,1}, {-3,-3,7,1}}},
    {ID_TILT_DOWN, 4, {{0,-3,1,1}, {-1,-4,3,1}, {-2,-5,5,1}, {-3,-6,7,1}}},
    {ID_UP_LEFT, 5, {{-3,-7,5,1}, {-3,-6,4,1}, {-3,-5,3,1}, {-3,-4,2,1}, {-3,-3,1,1}}},
    {ID_UP_RIGHT, 5, {{-3,-7,5,1}, {-2,-6,4,1}, {-1,-5,3,1}, {0,-4,2,1}, {1,-3,1,1}}},
    {ID_DOWN_LEFT, 5, {{-3,-7,1,1}, {-3,-6,2,1}, {-3,-5,3,1}, {-3,-4,4,1}, {-3,-3,5,1}}},
    {ID_DOWN_RIGHT, 5, {{-3,-3,5,1}, {-2,-4,4,1}, {-1,-5,3,1}, {0,-6,2,1}, {1,-7,1,1}}},
};

// Small window: 5 wide and 3 deep, diagonals of 4.
static const ArrowGlyph SMALL_ARROWS[GLYPH_COUNT] = {
    {ID_PAN_LEFT, 3, {{-2,-5,1,1}, {-1,-6,1,3}, {0,-7,1,5}}},
    {ID_PAN_RIGHT, 3, {{0,-5,1,1}, {-1,-6,1,3}, {-2,-7,1,5}}},
    {ID_TILT_UP, 3, {{0,-5,1,1}, {-1,-4,3,1}, {-2,-3,5,1}}},
    {ID_TILT_DOWN, 3, {{0,-3,1,1}, {-1,-4,3,1}, {-2,-5,5,1}}},
    {ID_UP_LEFT, 4, {{-2,-6,4,1}, {-2,-5,3,1}, {-2,-4,2,1}, {-2,-3,1,1}}},
    {ID_UP_RIGHT, 4, {{-2,-6,4,1}, {-1,-5,3,1}, {0,-4,2,1}, {1,-3,1,1}}},
    {ID_DOWN_LEFT, 4, {{-2,-6,1,1}, {-2,-5,2,1}, {-2,-4,3,1}, {-2,-3,4,1}}},
    {ID_DOWN_RIGHT, 4, {{-2,-3,4,1}, {-1,-4,3,1}, {0,-5,2,1}, {1,-6,1,1}}},
};
// clang-format on

const UINT LABEL_TEXT_FORMAT = DT_SINGLELINE | DT_VCENTER | DT_CENTER;

// --- Colours of the mode in force ---

// Panel edge, OPERATE plate, CAMERA frame and mesh dots.
static HGDIOBJ PlateBrush()
{
    return GetStockObject(highColorDisplay ? GRAY_BRUSH : LTGRAY_BRUSH);
}

static int GlyphStockBrush()
{
    return highColorDisplay ? LTGRAY_BRUSH : WHITE_BRUSH;
}

// The normal label colour is the glyph brush's colour; labelDark rows are black.
static COLORREF LabelTextColor(const LayoutRow* row)
{
    return row->labelDark ? RGB(0, 0, 0) : StockBrushColor(GlyphStockBrush());
}

// --- Small helpers ---

static const LayoutRow* Row(int index)
{
    return &panelMetrics.layout[index];
}

static int LargePanelInForce()
{
    return panelMetrics.layout == largePanelLayout;
}

static void Fill(HDC dc, int x, int y, int width, int height)
{
    PatBlt(dc, x, y, width, height, PATCOPY);
}

static void FillRectangle(HDC dc, const RECT* rect)
{
    Fill(dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
}

static RECT MakeRect(int left, int top, int right, int bottom)
{
    RECT rect = {left, top, right, bottom};
    return rect;
}

static LabelSpacing MeasureLabelSpacing(HDC dc)
{
    LabelSpacing spacing = {0, 0};
    TEXTMETRICA metrics;
    HGDIOBJ previousFont = SelectObject(dc, panelMetrics.labelFont);
    if (GetTextMetricsA(dc, &metrics))
    {
        spacing.line = metrics.tmHeight + metrics.tmExternalLeading;
        spacing.margin = (metrics.tmMaxCharWidth + metrics.tmExternalLeading) / 2;
    }
    if (previousFont)
        SelectObject(dc, previousFont);
    return spacing;
}

// --- The building blocks ---

int TileBitmap(HWND window, HDC dc, const RECT* rect, const char* name)
{
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
    // As a DIB section: the pixels are copied as they are, and only the part that is drawn is
    // converted to the screen's format (a device bitmap would convert all of it every paint).
    HBITMAP bitmap = (HBITMAP)LoadImageA(instance, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    BITMAP size;
    if (!bitmap || !GetObjectA(bitmap, sizeof size, &size) || size.bmWidth <= 0 ||
        size.bmHeight <= 0)
    {
        if (bitmap)
            DeleteObject(bitmap);
        return 0;
    }
    HDC memory = CreateCompatibleDC(dc);
    if (!memory)
    {
        DeleteObject(bitmap);
        return 0;
    }
    HGDIOBJ previousBitmap = SelectObject(memory, bitmap);
    if (!previousBitmap)
    {
        DeleteDC(memory);
        DeleteObject(bitmap);
        return 0;
    }
    // Every tile starts at the bitmap's top-left pixel; the last ones are cut.
    for (int y = 0; y < rect->bottom; y += size.bmHeight)
    {
        int height = rect->bottom - y < size.bmHeight ? rect->bottom - y : size.bmHeight;
        for (int x = 0; x < rect->right; x += size.bmWidth)
        {
            int width = rect->right - x < size.bmWidth ? rect->right - x : size.bmWidth;
            StretchBlt(dc, x, y, width, height, memory, 0, 0, width, height, SRCCOPY);
        }
    }
    SelectObject(memory, previousBitmap);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return 1;
}

void DrawThickFrame(HDC dc, const RECT* rect)
{
    int width = rect->right - rect->left;
    int height = rect->bottom - rect->top;
    Fill(dc, rect->left, rect->top, width, 2);
    Fill(dc, rect->left, rect->bottom - 2, width, 2);
    Fill(dc, rect->left, rect->top, 2, height);
    Fill(dc, rect->right - 2, rect->top, 2, height);
}

void DrawCornerDots(HDC dc, const RECT* rect)
{
    Fill(dc, rect->left, rect->top, 1, 1);
    Fill(dc, rect->right - 1, rect->top, 1, 1);
    Fill(dc, rect->left, rect->bottom - 1, 1, 1);
    Fill(dc, rect->right - 1, rect->bottom - 1, 1, 1);
}

// Grey rows and columns over plate-coloured rows leave a plate dot where both are odd.
void DrawMeshBand(HDC dc, const RECT* rect)
{
    int width = rect->right - rect->left;
    int height = rect->bottom - rect->top;
    HBRUSH grey = CreateSolidBrush(PanelGrey());
    HGDIOBJ previousBrush = SelectObject(dc, grey);
    for (int i = 0; i < height; i += 2)
        Fill(dc, rect->left, rect->top + i, width, 1);
    SelectObject(dc, PlateBrush());
    for (int i = 1; i < height; i += 2)
        Fill(dc, rect->left, rect->top + i, width, 1);
    SelectObject(dc, grey);
    for (int j = 0; j < width; j += 2)
        Fill(dc, rect->left + j, rect->top, 1, height);
    SelectObject(dc, previousBrush);
    DeleteObject(grey);
}

static void DrawLabelText(HDC dc, const char* text, RECT rect)
{
    DrawTextA(dc, text, -1, &rect, LABEL_TEXT_FORMAT);
}

// The label line directly above the control, on a grey patch when the row asks for one.
static void DrawLabelLine(HDC dc, const LayoutRow* row)
{
    SIZE text;
    if (!GetTextExtentPoint32A(dc, row->label, lstrlenA(row->label), &text))
        return;
    int left = row->x + (panelMetrics.buttonWidth - text.cx) / 2;
    if (!row->labelBoxed)
    {
        DrawLabelText(dc, row->label, MakeRect(left, row->y - text.cy, left + text.cx, row->y));
        return;
    }
    HBRUSH grey = CreateSolidBrush(PanelGrey());
    HGDIOBJ previousBrush = SelectObject(dc, grey);
    Fill(dc, left, row->y - text.cy - 1, text.cx + 1, text.cy - 1);
    SelectObject(dc, previousBrush);
    DeleteObject(grey);
    DrawLabelText(dc, row->label, MakeRect(left, row->y - text.cy - 2, left + text.cx, row->y - 2));
}

// The group heading, one line above the label line whether or not the label is boxed.
static void DrawHeadingLine(HDC dc, const LayoutRow* row)
{
    SIZE text;
    if (!GetTextExtentPoint32A(dc, row->heading, lstrlenA(row->heading), &text))
        return;
    int left = row->x + panelMetrics.buttonWidth / 2 - text.cx / 2;
    DrawLabelText(dc, row->heading,
                  MakeRect(left, row->y - 2 * text.cy - 1, left + text.cx, row->y - text.cy - 1));
}

void DrawRowLabels(HDC dc, const LayoutRow* row)
{
    HGDIOBJ previousFont = SelectObject(dc, panelMetrics.labelFont);
    SetBkMode(dc, TRANSPARENT);
    COLORREF previousColor = SetTextColor(dc, LabelTextColor(row));
    if (row->label)
        DrawLabelLine(dc, row);
    if (row->heading)
        DrawHeadingLine(dc, row);
    SetTextColor(dc, previousColor);
    SetBkMode(dc, OPAQUE);
    if (previousFont)
        SelectObject(dc, previousFont);
}

// --- The steps of a paint ---

// Raised one-pixel border: black right and bottom, plate-coloured top and left. Leaves the
// plate brush selected.
static void DrawPanelBorder(HDC dc, const RECT* client)
{
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Fill(dc, client->right - 1, 0, 1, client->bottom);
    Fill(dc, 0, client->bottom - 1, client->right, 1);
    SelectObject(dc, PlateBrush());
    Fill(dc, 0, 0, client->right, 1);
    Fill(dc, 0, 0, 1, client->bottom);
}

// The light plate behind OPERATE (heading only): two text lines high, wider in the small
// window.
static void DrawOperatePlate(HDC dc, LabelSpacing spacing, PaintBrushes brushes)
{
    const LayoutRow* operate = Row(ID_OPERATE);
    int extra = LargePanelInForce() ? 1 : 3;
    int left = operate->x - spacing.margin - extra;
    RECT plate = MakeRect(left, operate->y - 2 * spacing.line - 2,
                          left + 2 * spacing.margin + 2 * extra + panelMetrics.buttonWidth,
                          operate->y + panelMetrics.buttonHeight + 2);
    SelectObject(dc, PlateBrush());
    FillRectangle(dc, &plate);
    SelectObject(dc, brushes.grey);
    DrawCornerDots(dc, &plate);
}

static void DrawZoomMeshBand(HDC dc, LabelSpacing spacing)
{
    const LayoutRow* wide = Row(ID_ZOOM_WIDE);
    const LayoutRow* tele = Row(ID_ZOOM_TELE);
    RECT band = MakeRect(wide->x - spacing.margin, wide->y - spacing.line - 4,
                         tele->x + panelMetrics.buttonWidth + spacing.margin + 1,
                         wide->y + panelMetrics.buttonHeight + 3);
    DrawMeshBand(dc, &band);
}

// The rectangle around a group of buttons with one label line above its top row.
static RECT GroupRect(LabelSpacing spacing, int leftRow, int topRow, int rightRow, int bottomRow)
{
    return MakeRect(Row(leftRow)->x - spacing.margin, Row(topRow)->y - spacing.line - 1,
                    Row(rightRow)->x + panelMetrics.buttonWidth + spacing.margin,
                    Row(bottomRow)->y + panelMetrics.buttonHeight + 3);
}

// A 2-pixel frame with grey dots cutting its outer corners and dots of its own colour filling
// the inner ones.
static void DrawSoftFrame(HDC dc, RECT frame, HGDIOBJ frameBrush, HBRUSH grey)
{
    SelectObject(dc, frameBrush);
    DrawThickFrame(dc, &frame);
    SelectObject(dc, grey);
    DrawCornerDots(dc, &frame);
    SelectObject(dc, frameBrush);
    InflateRect(&frame, -2, -2);
    DrawCornerDots(dc, &frame);
}

static void DrawPadPlate(HDC dc, LabelSpacing spacing, PaintBrushes brushes)
{
    RECT pad = GroupRect(spacing, ID_PAN_LEFT, ID_TILT_UP, ID_PAN_RIGHT, ID_TILT_DOWN);
    SelectObject(dc, brushes.blue);
    FillRectangle(dc, &pad);
    SelectObject(dc, brushes.grey);
    DrawCornerDots(dc, &pad);
}

static void DrawArrowGlyphs(HDC dc)
{
    const ArrowGlyph* glyphs = LargePanelInForce() ? LARGE_ARROWS : SMALL_ARROWS;
    SelectObject(dc, GetStockObject(GlyphStockBrush()));
    for (int g = 0; g < GLYPH_COUNT; ++g)
    {
        const LayoutRow* row = Row(glyphs[g].row);
        int cx = row->x + panelMetrics.buttonWidth / 2;
        for (int r = 0; r < glyphs[g].runCount; ++r)
        {
            const GlyphRun* run = &glyphs[g].runs[r];
            Fill(dc, cx + run->dx, row->y + run->dy, run->width, run->height);
        }
    }
}

// The "ZOOM" caption first, then the rows of the buttons.
static void DrawAllRowLabels(HDC dc)
{
    DrawRowLabels(dc, Row(ZOOM_LABEL_ROW));
    for (int i = 0; i < PANEL_BUTTON_COUNT; ++i)
        DrawRowLabels(dc, Row(i));
}

int PaintPanel(HWND window, HDC dc)
{
    PaintBrushes brushes;
    brushes.blue = CreateSolidBrush(PanelBlue());
    brushes.grey = CreateSolidBrush(PanelGrey());
    LabelSpacing spacing = MeasureLabelSpacing(dc);

    RECT client;
    GetClientRect(window, &client);
    TileBitmap(window, dc, &client, highColorDisplay ? MARBLE_BITMAP : MARBLE16_BITMAP);

    HGDIOBJ previousBrush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
    DrawPanelBorder(dc, &client);
    DrawOperatePlate(dc, spacing, brushes);
    DrawZoomMeshBand(dc, spacing);
    DrawSoftFrame(dc, GroupRect(spacing, ID_FOCUS_AUTO, ID_FOCUS_AUTO, ID_FOCUS_FAR, ID_FOCUS_FAR),
                  brushes.blue, brushes.grey);
    DrawPadPlate(dc, spacing, brushes);
    DrawArrowGlyphs(dc);
    DrawSoftFrame(dc, GroupRect(spacing, ID_CAMERA_1, ID_CAMERA_1, ID_CAMERA_4, ID_CAMERA_4),
                  PlateBrush(), brushes.grey);
    DrawAllRowLabels(dc);

    // Our brushes are selected out before they are deleted, in reverse order of creation.
    SelectObject(dc, previousBrush ? previousBrush : GetStockObject(WHITE_BRUSH));
    DeleteObject(brushes.grey);
    DeleteObject(brushes.blue);
    return 1;
}
