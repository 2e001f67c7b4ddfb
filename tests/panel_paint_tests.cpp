// The panel painter: plates, frames, glyphs, mesh band and labels where the table and the
// measured font put them, in both sizes and both colour modes; GDI hygiene; marble tiling.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdint.h>

#include "panel/panel_colors.h"
#include "panel/panel_painter.h"
#include "tests/dib_canvas.h"

static const COLORREF BACKGROUND = RGB(1, 2, 3); // a colour the painter never uses
static const COLORREF BLACK = RGB(0, 0, 0);

struct Scene // one painted panel and the figures the checks need
{
    DibCanvas canvas;
    HWND window;
    int large, line, margin; // line and margin: L and m, measured as the painter does
    COLORREF plate, glyph, grey, blue;
    int textCount;
    RECT texts[2 * PANEL_ROW_COUNT]; // labels and headings, which may cover anything else
    COLORREF textColors[2 * PANEL_ROW_COUNT];
};

// Where a row's label (with its grey patch, if boxed) or heading is drawn.
static RECT TextRect(HDC dc, const LayoutRow& row, bool heading)
{
    SIZE t = {0, 0};
    HGDIOBJ font = SelectObject(dc, panelMetrics.labelFont);
    const char* text = heading ? row.heading : row.label;
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &t);
    SelectObject(dc, font);
    int bw = panelMetrics.buttonWidth, lift = row.labelBoxed ? 2 : 0;
    if (heading)
        return {row.x + bw / 2 - t.cx / 2, row.y - 2 * t.cy - 1, row.x + bw / 2 - t.cx / 2 + t.cx,
                row.y - t.cy - 1};
    int left = row.x + (bw - t.cx) / 2;
    return {left, row.y - t.cy - lift, left + t.cx + lift / 2, row.y - lift};
}

static void OpenScene(Scene* s, int large, int highColor, int width = 0, int height = 0)
{
    highColorDisplay = highColor;
    SetupPanelLayout(large);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "PaintTestPanel";
    RegisterClassA(&wc); // fails harmlessly from the second scene on
    s->window = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, panelMetrics.panelWidth,
                                panelMetrics.panelHeight, 0, 0, GetModuleHandleA(0), 0);
    ASSERT_TRUE(s->window != 0);
    ASSERT_TRUE(CreateDibCanvas(&s->canvas, width ? width : panelMetrics.panelWidth,
                                height ? height : panelMetrics.panelHeight, BACKGROUND));
    TEXTMETRICA tm;
    HGDIOBJ font = SelectObject(s->canvas.dc, panelMetrics.labelFont);
    GetTextMetricsA(s->canvas.dc, &tm);
    SelectObject(s->canvas.dc, font);
    s->large = large;
    s->line = tm.tmHeight + tm.tmExternalLeading;
    s->margin = (tm.tmMaxCharWidth + tm.tmExternalLeading) / 2;
    s->plate = StockBrushColor(highColor ? GRAY_BRUSH : LTGRAY_BRUSH);
    s->glyph = StockBrushColor(highColor ? LTGRAY_BRUSH : WHITE_BRUSH);
    s->grey = highColor ? RGB(81, 81, 81) : StockBrushColor(GRAY_BRUSH);
    s->blue = highColor ? RGB(40, 83, 108) : PanelBlue();
    s->textCount = 0;
    for (int i = 0; i < PANEL_ROW_COUNT; ++i)
        for (int heading = 0; heading < 2; ++heading)
            if (heading ? panelMetrics.layout[i].heading : panelMetrics.layout[i].label)
            {
                s->texts[s->textCount] = TextRect(s->canvas.dc, panelMetrics.layout[i], heading);
                s->textColors[s->textCount++] = panelMetrics.layout[i].labelDark ? BLACK : s->glyph;
            }
}

static void CloseScene(Scene* s)
{
    DestroyWindow(s->window);
    DestroyDibCanvas(&s->canvas);
}

// Pixels of the rectangle that have the colour, or the colour of a text drawn over them.
static int CountPainted(const Scene* s, RECT r, COLORREF colour, bool textMayCover = true)
{
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
        {
            COLORREF pixel = CanvasPixel(&s->canvas, x, y);
            bool covered = false;
            for (int i = 0; i < s->textCount && textMayCover && !covered; ++i)
                covered = pixel == s->textColors[i] && PtInRect(&s->texts[i], {x, y});
            n += pixel == colour || covered;
        }
    return n;
}

static void ExpectFilled(const Scene* s, RECT r, COLORREF colour, const char* what)
{
    EXPECT_EQ((r.right - r.left) * (r.bottom - r.top), CountPainted(s, r, colour))
        << what << " (" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

static void ExpectCorners(const Scene* s, RECT r, COLORREF colour, const char* what)
{
    for (POINT p : {POINT{r.left, r.top},
                    {r.right - 1, r.top},
                    {r.left, r.bottom - 1},
                    {r.right - 1, r.bottom - 1}})
        ExpectFilled(s, {p.x, p.y, p.x + 1, p.y + 1}, colour, what);
}

// 2 pixels thick in its colour, grey outer corners, its own colour in the inner ones.
static void ExpectSoftFrame(const Scene* s, RECT r, COLORREF colour, const char* what)
{
    ExpectFilled(s, {r.left + 1, r.top, r.right - 1, r.top + 2}, colour, what);
    ExpectFilled(s, {r.left + 1, r.bottom - 2, r.right - 1, r.bottom}, colour, what);
    ExpectFilled(s, {r.left, r.top + 1, r.left + 2, r.bottom - 1}, colour, what);
    ExpectFilled(s, {r.right - 2, r.top + 1, r.right, r.bottom - 1}, colour, what);
    ExpectCorners(s, r, s->grey, what);
    ExpectCorners(s, {r.left + 2, r.top + 2, r.right - 2, r.bottom - 2}, colour, what);
}

// Glyph runs as generators: run k starts at (cx + x0 + k*sx, ry + y0 + k*sy) and is
// len0 + k*dlen long, across or down; sizes[0] large, sizes[1] small.
struct GlyphCase
{
    int row, sx, sy, dlen, across;
    struct
    {
        int x0, y0, len0, runs;
    } sizes[2];
};
static const GlyphCase GLYPHS[] = {
    {16, 1, -1, 2, 0, {{-3, -6, 1, 4}, {-2, -5, 1, 3}}},  // left
    {20, -1, -1, 2, 0, {{0, -6, 1, 4}, {0, -5, 1, 3}}},   // right
    {17, -1, 1, 2, 1, {{0, -6, 1, 4}, {0, -5, 1, 3}}},    // up
    {19, -1, -1, 2, 1, {{0, -3, 1, 4}, {0, -3, 1, 3}}},   // down
    {21, 0, 1, -1, 1, {{-3, -7, 5, 5}, {-2, -6, 4, 4}}},  // up-left
    {23, 1, 1, -1, 1, {{-3, -7, 5, 5}, {-2, -6, 4, 4}}},  // up-right
    {22, 0, 1, 1, 1, {{-3, -7, 1, 5}, {-2, -6, 1, 4}}},   // down-left
    {24, 1, -1, -1, 1, {{-3, -3, 5, 5}, {-2, -3, 4, 4}}}, // down-right
};

// Glyph colour on every run pixel, something else on the 9 x 9 around the glyph.
static void ExpectGlyphs(const Scene* s)
{
    for (const GlyphCase& c : GLYPHS)
    {
        const LayoutRow& row = panelMetrics.layout[c.row];
        int cx = row.x + panelMetrics.buttonWidth / 2, size = s->large ? 0 : 1;
        bool glyph[9][9] = {}; // from (cx - 4, ry - 10)
        for (int k = 0; k < c.sizes[size].runs; ++k)
            for (int i = 0; i < c.sizes[size].len0 + k * c.dlen; ++i)
                glyph[10 + c.sizes[size].y0 + k * c.sy + (c.across ? 0 : i)]
                     [4 + c.sizes[size].x0 + k * c.sx + (c.across ? i : 0)] = true;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x)
                EXPECT_EQ(glyph[y][x],
                          CanvasPixel(&s->canvas, cx - 4 + x, row.y - 10 + y) == s->glyph)
                    << "row " << c.row << " at " << cx - 4 + x << "," << row.y - 10 + y;
    }
}

static void ExpectPanel(const Scene* s)
{
    const LayoutRow* R = panelMetrics.layout;
    int L = s->line, m = s->margin, bw = panelMetrics.buttonWidth, bh = panelMetrics.buttonHeight;
    int cw = panelMetrics.panelWidth, ch = panelMetrics.panelHeight, wider = s->large ? 1 : 3;
    RECT operate = {R[5].x - m - wider, R[5].y - 2 * L - 2, R[5].x + m + wider + bw,
                    R[5].y + bh + 2};
    ExpectFilled(s, {1, 0, operate.left, 1}, s->plate, "top edge"); // the plate may reach it
    ExpectFilled(s, {operate.right, 0, cw - 1, 1}, s->plate, "top edge");
    ExpectFilled(s, {0, 0, 1, ch}, s->plate, "left edge");
    ExpectFilled(s, {cw - 1, 1, cw, ch}, BLACK, "right edge");
    ExpectFilled(s, {1, ch - 1, cw, ch}, BLACK, "bottom edge");
    ExpectCorners(s, operate, s->grey, "OPERATE plate");
    ExpectFilled(s, {operate.left + 1, operate.top, operate.right - 1, operate.bottom}, s->plate,
                 "OPERATE plate");
    ExpectFilled(s, {operate.left, operate.top + 1, operate.right, operate.bottom - 1}, s->plate,
                 "OPERATE plate");
    RECT focus = {R[0].x - m, R[0].y - L - 1, R[3].x + bw + m, R[3].y + bh + 3};
    ExpectSoftFrame(s, focus, s->blue, "FOCUS frame");
    ExpectSoftFrame(s, {R[25].x - m, R[25].y - L - 1, R[28].x + bw + m, R[28].y + bh + 3}, s->plate,
                    "CAMERA frame");
    RECT pad = {R[16].x - m, R[17].y - L - 1, R[20].x + bw + m, R[19].y + bh + 3};
    ExpectCorners(s, pad, s->grey, "pad plate");
    ExpectFilled(s, {pad.left + 1, pad.top, pad.right - 1, pad.top + 3}, s->blue, "pad plate");
    ExpectFilled(s, {pad.left + 1, pad.bottom - 3, pad.right - 1, pad.bottom}, s->blue, "pad");
    ExpectGlyphs(s);

    // Mesh band: grey, plate dots where both offsets are odd; above and below the patches.
    RECT band = {R[12].x - m, R[12].y - L - 4, R[13].x + bw + m + 1, R[12].y + bh + 3};
    for (int y = band.top; y < band.bottom; ++y)
    {
        if (y == band.top + 2)
            y = R[12].y - 2; // skip the rows of the patches
        for (int x = band.left; x < band.right; ++x)
            if (!PtInRect(&focus, {x, y})) // the frame is drawn over the band
            {
                bool dot = (y - band.top) % 2 && (x - band.left) % 2;
                ASSERT_EQ(1, CountPainted(s, {x, y, x + 1, y + 1}, dot ? s->plate : s->grey))
                    << "mesh " << x << "," << y;
            }
    }
    // Text in every text place; a grey patch under each boxed label, one column wider.
    for (int i = 0; i < s->textCount; ++i)
        EXPECT_LT(0, CountPainted(s, s->texts[i], s->textColors[i], false)) << "text " << i;
    for (int i = 0; i < PANEL_ROW_COUNT; ++i)
        if (R[i].labelBoxed)
        {
            RECT patch = TextRect(s->canvas.dc, R[i], false);
            patch.top += 1;
            ExpectFilled(s, patch, s->grey, R[i].label);
        }
}

// DrawRowLabels alone on a bare canvas changes nothing outside the row's text places, and a
// grey patch starts one line below the top of its text.
static void ExpectLabelsStayInPlace(Scene* s)
{
    RECT whole = {0, 0, s->canvas.width, s->canvas.height};
    for (int i = 0; i < PANEL_ROW_COUNT; ++i)
    {
        const LayoutRow& row = panelMetrics.layout[i];
        FillCanvas(&s->canvas, BACKGROUND);
        DrawRowLabels(s->canvas.dc, &row);
        int changed = whole.right * whole.bottom - CountPainted(s, whole, BACKGROUND, false);
        for (int heading = 0; heading < 2; ++heading)
        {
            RECT r = {0, 0, 0, 0}, text = TextRect(s->canvas.dc, row, heading);
            if (heading ? row.heading : row.label)
                IntersectRect(&r, &text, &whole); // a wide heading may start left of the panel
            changed -=
                (r.right - r.left) * (r.bottom - r.top) - CountPainted(s, r, BACKGROUND, false);
            if (!heading && row.labelBoxed)
            {
                EXPECT_EQ(BACKGROUND, CanvasPixel(&s->canvas, r.right - 1, r.top)) << row.label;
            }
        }
        EXPECT_EQ(0, changed) << "row " << i;
    }
}

// One scenario per size and colour mode: the picture, then 250 more paints (1000 in all, an
// even count: GetDC(0) in PanelBlue swaps two free slots under Wine) that must leave no object.
TEST(PanelPaint, PictureInBothSizesAndModesAndNoObjectLeftBehind)
{
    for (int large = 1; large >= 0; --large)
        for (int highColor = 1; highColor >= 0; --highColor)
        {
            SCOPED_TRACE(testing::Message() << "large " << large << " highColor " << highColor);
            Scene s;
            OpenScene(&s, large, highColor);
            HGDIOBJ brush = GetCurrentObject(s.canvas.dc, OBJ_BRUSH);
            HGDIOBJ font = GetCurrentObject(s.canvas.dc, OBJ_FONT);
            EXPECT_EQ(1, PaintPanel(s.window, s.canvas.dc));
            EXPECT_EQ(brush, GetCurrentObject(s.canvas.dc, OBJ_BRUSH));
            EXPECT_EQ(font, GetCurrentObject(s.canvas.dc, OBJ_FONT));
            ExpectPanel(&s);
            int first = GdiSlotProbe(), highest = GdiSlotMark();
            for (int i = 0; i < 250; ++i)
                PaintPanel(s.window, s.canvas.dc);
            EXPECT_EQ(first, GdiSlotProbe());
            EXPECT_EQ(highest, GdiSlotMark());
            ExpectLabelsStayInPlace(&s);
            CloseScene(&s);
        }
}

TEST(PanelPaint, TileBitmapRepeatsFromTheOriginAndRefusesUnknownNames)
{
    struct
    {
        const char* name;
        int width, height;
    } marbles[] = {{MARBLE_BITMAP, 315, 595}, {MARBLE16_BITMAP, 300, 600}};
    for (const auto& marble : marbles)
    {
        Scene s;
        OpenScene(&s, 1, 1, 2 * marble.width + 40, marble.height + 30);
        RECT cut = {5, 5, 2 * marble.width + 20, marble.height + 20}; // left and top unused
        EXPECT_EQ(0, TileBitmap(s.window, s.canvas.dc, &cut, "NOSUCHBITMAP"));
        ExpectFilled(&s, {0, 0, s.canvas.width, s.canvas.height}, BACKGROUND, "no bitmap");
        EXPECT_EQ(1, TileBitmap(s.window, s.canvas.dc, &cut, marble.name)) << marble.name;
        for (int y = 0; y < 20; y += 3)
            for (int x = 0; x < 20; x += 3)
            {
                COLORREF tile = CanvasPixel(&s.canvas, x, y);
                EXPECT_NE(BACKGROUND, tile);
                EXPECT_EQ(tile, CanvasPixel(&s.canvas, x + marble.width, y)) << x << "," << y;
                EXPECT_EQ(tile, CanvasPixel(&s.canvas, x + marble.width, y + marble.height));
            }
        ExpectFilled(&s, {cut.right, 0, s.canvas.width, s.canvas.height}, BACKGROUND, "cut");
        ExpectFilled(&s, {0, cut.bottom, s.canvas.width, s.canvas.height}, BACKGROUND, "cut");
        CloseScene(&s);
    }
}

// The figures as the panel's designer gave them for both sizes (L and m measured): the corner
// dots of the plates and frames, and the large left arrow pixel by pixel.
TEST(PanelPaint, PlatesAndFramesAtTheDesignersRectangles)
{
    struct Case
    {
        int large;
        RECT operate, focus, pad, camera; // before L and m are put in: see Place
    } cases[] = {
        {1, {112, 24, 145, 43}, {15, 25, 46, 132}, {15, 215, 144, 294}, {13, 319, 146, 338}},
        {0, {75, 22, 102, 37}, {12, 23, 33, 98}, {12, 159, 99, 218}, {10, 235, 103, 250}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "large " << c.large);
        Scene s;
        OpenScene(&s, c.large, 1);
        PaintPanel(s.window, s.canvas.dc);
        int L = s.line, m = s.margin;
        auto place = [&](RECT r, int lines) {
            return RECT{r.left - m, r.top - lines * L, r.right + m, r.bottom};
        };
        ExpectCorners(&s, place(c.operate, 2), s.grey, "OPERATE plate");
        ExpectCorners(&s, place(c.focus, 1), s.grey, "FOCUS frame");
        ExpectCorners(&s, place(c.pad, 1), s.grey, "pad plate");
        ExpectCorners(&s, place(c.camera, 1), s.grey, "CAMERA frame");
        if (c.large)
        {
            const POINT run[] = {{27, 240}, {28, 239}, {28, 241}, {29, 238},
                                 {29, 242}, {30, 237}, {30, 243}};
            for (POINT p : run)
                EXPECT_EQ(s.glyph, CanvasPixel(&s.canvas, p.x, p.y)) << p.x << "," << p.y;
            EXPECT_NE(s.glyph, CanvasPixel(&s.canvas, 26, 240));
            EXPECT_NE(s.glyph, CanvasPixel(&s.canvas, 30, 244));
        }
        CloseScene(&s);
    }
}
