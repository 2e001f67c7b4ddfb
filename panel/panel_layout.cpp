// The two layout tables, the metrics in force, the label font and the light places.
#include "panel/panel_layout.h"

#include <string.h>

// The texts are shared: both tables point at the same strings.
static const char FOCUS[] = "FOCUS";
static const char AUTO[] = "AUTO";
static const char MANUAL[] = "MANUAL";
static const char MANUAL_SHORT[] = "MAN.";
static const char NEAR_TEXT[] = "NEAR";
static const char FAR_TEXT[] = "FAR";
static const char PRESET[] = "PRESET";
static const char OPERATE[] = "OPERATE";
static const char ONE[] = "1";
static const char TWO[] = "2";
static const char THREE[] = "3";
static const char FOUR[] = "4";
static const char FIVE[] = "5";
static const char SIX[] = "6";
static const char WIDE[] = "WIDE";
static const char TELE[] = "TELE";
static const char PAN_REVERSE[] = "L/R";
static const char BRIGHT[] = "BRIGHT";
static const char HOME[] = "HOME";
static const char CAMERA[] = "CAMERA";
static const char ZOOM[] = "ZOOM";

// Rows: x, y, labelBoxed, labelDark, heading, label.
// clang-format off
const PanelLayout largePanelLayout = {
    {15, 26, 0, 0, FOCUS, AUTO},     {15, 58, 0, 0, 0, MANUAL},     {15, 86, 0, 0, 0, NEAR_TEXT},
    {15, 114, 0, 0, 0, FAR_TEXT},    {64, 26, 0, 0, 0, PRESET},     {113, 26, 0, 1, OPERATE, 0},
    {64, 58, 0, 0, 0, ONE},          {64, 86, 0, 0, 0, TWO},        {64, 114, 0, 0, 0, THREE},
    {113, 58, 0, 0, 0, FOUR},        {113, 86, 0, 0, 0, FIVE},      {113, 114, 0, 0, 0, SIX},
    {15, 150, 1, 0, 0, WIDE},        {113, 150, 1, 0, 0, TELE},     {15, 186, 1, 0, 0, PAN_REVERSE},
    {113, 186, 1, 0, 0, BRIGHT},     {15, 246, 0, 0, 0, 0},         {64, 216, 0, 0, 0, 0},
    {64, 246, 0, 0, 0, HOME},        {64, 276, 0, 0, 0, 0},         {113, 246, 0, 0, 0, 0},
    {15, 216, 0, 0, 0, 0},           {15, 276, 0, 0, 0, 0},         {113, 216, 0, 0, 0, 0},
    {113, 276, 0, 0, 0, 0},          {13, 320, 0, 0, CAMERA, ONE},  {47, 320, 0, 0, 0, TWO},
    {81, 320, 0, 0, 0, THREE},       {115, 320, 0, 0, 0, FOUR},     {64, 150, 1, 0, 0, ZOOM},
};

const PanelLayout smallPanelLayout = {
    {12, 24, 0, 0, FOCUS, AUTO},     {12, 44, 0, 0, 0, MANUAL_SHORT}, {12, 64, 0, 0, 0, NEAR_TEXT},
    {12, 84, 0, 0, 0, FAR_TEXT},     {45, 24, 0, 0, 0, PRESET},       {78, 24, 0, 1, OPERATE, 0},
    {45, 44, 0, 0, 0, ONE},          {45, 64, 0, 0, 0, TWO},          {45, 84, 0, 0, 0, THREE},
    {78, 44, 0, 0, 0, FOUR},         {78, 64, 0, 0, 0, FIVE},         {78, 84, 0, 0, 0, SIX},
    {12, 112, 1, 0, 0, WIDE},        {78, 112, 1, 0, 0, TELE},        {12, 138, 1, 0, 0, PAN_REVERSE},
    {78, 138, 1, 0, 0, BRIGHT},      {12, 182, 0, 0, 0, 0},           {45, 160, 0, 0, 0, 0},
    {45, 182, 0, 0, 0, HOME},        {45, 204, 0, 0, 0, 0},           {78, 182, 0, 0, 0, 0},
    {12, 160, 0, 0, 0, 0},           {12, 204, 0, 0, 0, 0},           {78, 160, 0, 0, 0, 0},
    {78, 204, 0, 0, 0, 0},           {10, 236, 0, 0, CAMERA, ONE},    {34, 236, 0, 0, 0, TWO},
    {58, 236, 0, 0, 0, THREE},       {82, 236, 0, 0, 0, FOUR},        {45, 112, 1, 0, 0, ZOOM},
};

// clang-format on

static const PanelMetrics LARGE_METRICS = {31, 15, 160, 350, 10, largePanelLayout, 0};
static const PanelMetrics SMALL_METRICS = {21, 11, 114, 257, 8, smallPanelLayout, 0};

PanelMetrics panelMetrics;
PanelLight panelLights[PANEL_LIGHT_COUNT] = {
    {0, 1, 0, 0}, {0, 1, 0, 0}, {0, 1, 0, 0}, {0, 1, 0, 0}, {0, 1, 0, 0},
};

static HFONT CreateLabelFont(int height)
{
    LOGFONTA font;
    memset(&font, 0, sizeof font);
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    font.lfQuality = PROOF_QUALITY;
    memcpy(font.lfFaceName, LABEL_FONT_FACE, sizeof LABEL_FONT_FACE);
    return CreateFontIndirectA(&font);
}

int LightRow(int lightIndex)
{
    return lightIndex == LIGHT_OPERATE ? ID_OPERATE : ID_CAMERA_1 + lightIndex;
}

// A light is centred on its button.
static void PlaceLights()
{
    for (int i = 0; i < PANEL_LIGHT_COUNT; ++i)
    {
        const LayoutRow* row = &panelMetrics.layout[LightRow(i)];
        panelLights[i].x = row->x + (panelMetrics.buttonWidth - LIGHT_SIZE) / 2;
        panelLights[i].y = row->y + (panelMetrics.buttonHeight - 4) / 2 + 1;
    }
}

int SetupPanelLayout(int largePanel)
{
    if (panelMetrics.labelFont)
        DeleteObject(panelMetrics.labelFont);
    panelMetrics = largePanel ? LARGE_METRICS : SMALL_METRICS;
    panelMetrics.labelFont = CreateLabelFont(panelMetrics.fontHeight);
    PlaceLights();
    return 1;
}
