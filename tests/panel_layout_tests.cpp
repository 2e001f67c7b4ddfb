// The panel's layout tables, metrics, label font and light places, in both sizes.
#include <gtest/gtest.h>

#include <string.h>

#include "panel/panel_colors.h"
#include "panel/panel_layout.h"
#include "tests/dib_canvas.h"

static void UseLargePanel(int large)
{
    ASSERT_EQ(1, SetupPanelLayout(large));
}

TEST(PanelLayout, MetricsAndLightPlacesOfBothSizes)
{
    struct Case
    {
        int large;
        int buttonWidth, buttonHeight, panelWidth, panelHeight, fontHeight;
        POINT lights[PANEL_LIGHT_COUNT]; // camera 1..4, then OPERATE
    } cases[] = {
        {1, 31, 15, 160, 350, 10, {{27, 326}, {61, 326}, {95, 326}, {129, 326}, {127, 32}}},
        {0, 21, 11, 114, 257, 8, {{19, 240}, {43, 240}, {67, 240}, {91, 240}, {87, 28}}},
    };
    for (const Case& c : cases)
    {
        UseLargePanel(c.large);
        EXPECT_EQ(c.buttonWidth, panelMetrics.buttonWidth) << "large " << c.large;
        EXPECT_EQ(c.buttonHeight, panelMetrics.buttonHeight);
        EXPECT_EQ(c.panelWidth, panelMetrics.panelWidth);
        EXPECT_EQ(c.panelHeight, panelMetrics.panelHeight);
        EXPECT_EQ(c.fontHeight, panelMetrics.fontHeight);
        EXPECT_EQ(c.large ? largePanelLayout : smallPanelLayout, panelMetrics.layout);
        for (int i = 0; i < PANEL_LIGHT_COUNT; ++i)
        {
            EXPECT_EQ(c.lights[i].x, panelLights[i].x) << "light " << i;
            EXPECT_EQ(c.lights[i].y, panelLights[i].y) << "light " << i;
        }
        LOGFONTA font;
        ASSERT_EQ((int)sizeof font, GetObjectA(panelMetrics.labelFont, sizeof font, &font));
        EXPECT_EQ(c.fontHeight, font.lfHeight);
        EXPECT_EQ(400, font.lfWeight);
        EXPECT_EQ(PROOF_QUALITY, font.lfQuality);
        EXPECT_STREQ("Small Fonts", font.lfFaceName);
    }
}

// The grid as the operator sees it: three columns, the 3 x 3 direction pad around HOME, the
// camera buttons in a row, and ZOOM between WIDE and TELE.
TEST(PanelLayout, BothTablesHaveTheSameArrangement)
{
    struct Size
    {
        const LayoutRow* rows;
        int columns[3];
        int lines[9];
        int cameraX, cameraY, cameraStep;
    } sizes[] = {
        {largePanelLayout, {15, 64, 113}, {26, 58, 86, 114, 150, 186, 216, 246, 276}, 13, 320, 34},
        {smallPanelLayout, {12, 45, 78}, {24, 44, 64, 84, 112, 138, 160, 182, 204}, 10, 236, 24},
    };
    // Column of every button row (0 left, 1 middle, 2 right) and its line in the grid.
    const int column[PANEL_BUTTON_COUNT] = {0, 0, 0, 0, 1, 2, 1, 1, 1, 2, 2, 2, 0,
                                            2, 0, 2, 0, 1, 1, 1, 2, 0, 0, 2, 2};
    const int line[PANEL_BUTTON_COUNT] = {0, 1, 2, 3, 0, 0, 1, 2, 3, 1, 2, 3, 4,
                                          4, 5, 5, 7, 6, 7, 8, 7, 6, 8, 6, 8};
    for (const Size& size : sizes)
    {
        const LayoutRow* rows = size.rows;
        for (int id = 0; id < ID_CAMERA_1; ++id)
        {
            EXPECT_EQ(size.columns[column[id]], rows[id].x) << "row " << id;
            EXPECT_EQ(size.lines[line[id]], rows[id].y) << "row " << id;
        }
        for (int id = ID_CAMERA_1; id <= ID_CAMERA_4; ++id)
        {
            EXPECT_EQ(size.cameraX + (id - ID_CAMERA_1) * size.cameraStep, rows[id].x);
            EXPECT_EQ(size.cameraY, rows[id].y);
        }
        EXPECT_EQ(size.columns[1], rows[ZOOM_LABEL_ROW].x);
        EXPECT_EQ(rows[ID_ZOOM_WIDE].y, rows[ZOOM_LABEL_ROW].y);
    }
}

TEST(PanelLayout, TextsAreSharedAndOnlyTheManualLabelDiffers)
{
    for (int row = 0; row < PANEL_ROW_COUNT; ++row)
    {
        const LayoutRow& large = largePanelLayout[row];
        const LayoutRow& small = smallPanelLayout[row];
        EXPECT_EQ(large.labelBoxed, small.labelBoxed) << "row " << row;
        EXPECT_EQ(large.labelDark, small.labelDark) << "row " << row;
        EXPECT_EQ(large.heading, small.heading) << "row " << row;
        if (row != ID_FOCUS_MANUAL)
        {
            EXPECT_EQ(large.label, small.label) << "row " << row;
        }
    }
    EXPECT_STREQ("MANUAL", largePanelLayout[ID_FOCUS_MANUAL].label);
    EXPECT_STREQ("MAN.", smallPanelLayout[ID_FOCUS_MANUAL].label);
    EXPECT_STREQ("OPERATE", largePanelLayout[ID_OPERATE].heading);
    EXPECT_EQ(nullptr, largePanelLayout[ID_OPERATE].label);
    EXPECT_EQ(1, largePanelLayout[ID_OPERATE].labelDark);
    EXPECT_STREQ("ZOOM", largePanelLayout[ZOOM_LABEL_ROW].label);
    EXPECT_STREQ("CAMERA", largePanelLayout[ID_CAMERA_1].heading);
    const int boxed[] = {ID_ZOOM_WIDE, ID_ZOOM_TELE, ID_PAN_REVERSE, ID_BRIGHT, ZOOM_LABEL_ROW};
    int boxedCount = 0;
    for (int row = 0; row < PANEL_ROW_COUNT; ++row)
        boxedCount += largePanelLayout[row].labelBoxed;
    EXPECT_EQ((int)(sizeof boxed / sizeof boxed[0]), boxedCount);
    for (int row : boxed)
        EXPECT_EQ(1, largePanelLayout[row].labelBoxed) << "row " << row;
}

TEST(PanelLayout, SwitchingSizesKeepsExactlyOneLabelFont)
{
    UseLargePanel(0);
    PanelMetrics small = panelMetrics;
    PanelLight smallLights[PANEL_LIGHT_COUNT];
    memcpy(smallLights, panelLights, sizeof smallLights);
    int slot = GdiSlotProbe();

    UseLargePanel(1);
    EXPECT_EQ(OBJ_FONT, (int)GetObjectType(panelMetrics.labelFont));
    UseLargePanel(0);
    EXPECT_EQ(slot, GdiSlotProbe()) << "a label font was left behind";
    EXPECT_EQ(small.buttonWidth, panelMetrics.buttonWidth);
    EXPECT_EQ(small.panelHeight, panelMetrics.panelHeight);
    EXPECT_EQ(small.layout, panelMetrics.layout);
    EXPECT_EQ(0, memcmp(smallLights, panelLights, sizeof smallLights));
}

// 2-, 16- and 256-colour screens use the 16-colour look; so does nothing else, including a
// 32-bit screen, whose shift count wraps to 0.
TEST(PanelColors, ColourModeFromTheScreenDepth)
{
    struct Case
    {
        int bitsPerPixel, planes, highColor;
    } cases[] = {{1, 1, 0},  {4, 1, 0},  {1, 4, 0},  {8, 1, 0}, {15, 1, 1},
                 {16, 1, 1}, {24, 1, 1}, {32, 1, 1}, {2, 1, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(c.highColor, HighColorForDepth(c.bitsPerPixel, c.planes))
            << c.bitsPerPixel << " bits x " << c.planes << " planes";
    highColorDisplay = 1;
    EXPECT_EQ(RGB(81, 81, 81), PanelGrey());
    EXPECT_EQ(RGB(40, 83, 108), PanelBlue());
    highColorDisplay = 0;
    EXPECT_EQ(StockBrushColor(GRAY_BRUSH), PanelGrey());
    highColorDisplay = 1;
}
