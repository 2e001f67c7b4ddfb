// Resources: the two marble bitmaps and the icon linked into the executable load under their
// names with the sizes and depths the panel and the window class expect, and the marble reads
// as dark stone (light labels stay legible on it) with smooth veins rather than flat or noise.
#include <gtest/gtest.h>

#include <windows.h>
#include <math.h>

#include <vector>

struct MarbleCase
{
    const char* name;
    int width;
    int height;
    int bits;
    double minMean; // average luminance, 0..255
    double maxMean;
};

static const MarbleCase MARBLES[] = {
    {"MARBLEBMP", 315, 595, 24, 30.0, 90.0},
    // Dithered onto black and the greys, a little darker than the 24-bit marble on purpose.
    {"MARBLE16BMP", 300, 600, 4, 15.0, 70.0},
};

// The texture is judged on the averages of 8 x 8 blocks, which also smooths out the dither.
static const int BLOCK = 8;

struct TextureFigures
{
    double mean;   // average luminance
    double spread; // standard deviation of the block averages: 0 for a flat colour
    double step;   // mean difference between side-by-side blocks: near the spread for noise
};

static double Luminance(BYTE r, BYTE g, BYTE b)
{
    return 0.299 * r + 0.587 * g + 0.114 * b;
}

// Luminance of every pixel of a bottom-up 24- or 4-bit DIB section, top row first.
static std::vector<double> ReadLuminance(HBITMAP bitmap, const DIBSECTION& dib)
{
    RGBQUAD palette[16] = {};
    if (dib.dsBmih.biBitCount == 4)
    {
        HDC dc = CreateCompatibleDC(NULL);
        HGDIOBJ previous = SelectObject(dc, bitmap);
        GetDIBColorTable(dc, 0, 16, palette);
        SelectObject(dc, previous);
        DeleteDC(dc);
    }
    const int width = dib.dsBm.bmWidth, height = dib.dsBm.bmHeight;
    const BYTE* bits = (const BYTE*)dib.dsBm.bmBits;
    std::vector<double> out;
    for (int y = 0; y < height; ++y)
    {
        const BYTE* row = bits + (size_t)(height - 1 - y) * dib.dsBm.bmWidthBytes;
        for (int x = 0; x < width; ++x)
        {
            if (dib.dsBmih.biBitCount == 24)
            {
                out.push_back(Luminance(row[3 * x + 2], row[3 * x + 1], row[3 * x]));
            }
            else
            {
                const RGBQUAD& c = palette[(x % 2 ? row[x / 2] : row[x / 2] >> 4) & 15];
                out.push_back(Luminance(c.rgbRed, c.rgbGreen, c.rgbBlue));
            }
        }
    }
    return out;
}

static TextureFigures MeasureTexture(const std::vector<double>& lum, int width, int height)
{
    const int cols = width / BLOCK, rows = height / BLOCK;
    std::vector<double> blocks(cols * rows, 0.0);
    double total = 0.0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            total += lum[y * width + x];
            if (x / BLOCK < cols && y / BLOCK < rows)
                blocks[(y / BLOCK) * cols + x / BLOCK] += lum[y * width + x] / (BLOCK * BLOCK);
        }
    double blockMean = 0.0;
    for (double b : blocks)
        blockMean += b / blocks.size();
    double variance = 0.0, steps = 0.0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
        {
            const double b = blocks[r * cols + c];
            variance += (b - blockMean) * (b - blockMean) / blocks.size();
            if (c + 1 < cols)
                steps += fabs(blocks[r * cols + c + 1] - b) / (rows * (cols - 1));
        }
    TextureFigures figures = {total / (width * height), sqrt(variance), steps};
    return figures;
}

TEST(ResourceTests, MarbleBitmapsHaveTheirSizeDepthAndADarkVeinedTexture)
{
    for (const MarbleCase& m : MARBLES)
    {
        SCOPED_TRACE(m.name);
        HBITMAP bitmap = (HBITMAP)LoadImageA(GetModuleHandleA(NULL), m.name, IMAGE_BITMAP, 0, 0,
                                             LR_CREATEDIBSECTION);
        ASSERT_TRUE(bitmap != NULL);
        // The panel loads it as a device bitmap; that must work too.
        HBITMAP plain = LoadBitmapA(GetModuleHandleA(NULL), m.name);
        EXPECT_TRUE(plain != NULL);
        DeleteObject(plain);

        DIBSECTION dib;
        ASSERT_EQ((int)sizeof dib, GetObjectA(bitmap, sizeof dib, &dib));
        EXPECT_EQ(m.width, dib.dsBm.bmWidth);
        EXPECT_EQ(m.height, dib.dsBm.bmHeight);
        EXPECT_EQ(m.bits, dib.dsBmih.biBitCount);
        if (dib.dsBm.bmWidth == m.width && dib.dsBm.bmHeight == m.height &&
            dib.dsBmih.biBitCount == m.bits)
        {
            const TextureFigures t = MeasureTexture(ReadLuminance(bitmap, dib), m.width, m.height);
            EXPECT_GE(t.mean, m.minMean);
            EXPECT_LE(t.mean, m.maxMean);
            EXPECT_GT(t.spread, 8.0) << "flat: no clouds or veins";
            EXPECT_LT(t.step, 0.6 * t.spread) << "noise: neighbouring areas do not agree";
        }
        DeleteObject(bitmap);
    }
}

// The pixels of a size x size bitmap read as 32-bit, top row first, 0x00RRGGBB.
static std::vector<DWORD> ReadPixels(HBITMAP bitmap, int size)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(size * size, 0x123456);
    HDC dc = CreateCompatibleDC(NULL);
    GetDIBits(dc, bitmap, 0, size, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteDC(dc);
    return pixels;
}

#pragma pack(push, 2)
struct IconGroupEntry
{
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct IconGroup
{
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

TEST(ResourceTests, IconIsOne32PixelSixteenColourImageWithATransparentBackground)
{
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC found = FindResourceA(module, "HLRICON", (LPCSTR)RT_GROUP_ICON);
    ASSERT_TRUE(found != NULL);
    const IconGroup* group = (const IconGroup*)LockResource(LoadResource(module, found));
    ASSERT_TRUE(group != NULL);
    ASSERT_EQ(1, group->count);
    EXPECT_EQ(32, group->entries[0].width);
    EXPECT_EQ(32, group->entries[0].height);
    EXPECT_EQ(16, group->entries[0].colourCount);
    EXPECT_EQ(4, group->entries[0].bitCount);

    HICON icon = LoadIconA(module, "HLRICON");
    ASSERT_TRUE(icon != NULL);
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour;
    ASSERT_TRUE(GetObjectA(info.hbmColor, sizeof colour, &colour));
    EXPECT_EQ(32, colour.bmWidth);
    EXPECT_EQ(32, colour.bmHeight);

    // Mask white where the desktop shows through; the colour image must be black there, or the
    // background would come out inverted.
    const std::vector<DWORD> mask = ReadPixels(info.hbmMask, 32);
    const std::vector<DWORD> image = ReadPixels(info.hbmColor, 32);
    int opaque = 0;
    for (int i = 0; i < 32 * 32; ++i)
    {
        const bool clear = (mask[i] & 0xFFFFFF) == 0xFFFFFF;
        opaque += clear ? 0 : 1;
        if (clear)
        {
            EXPECT_EQ(0u, image[i] & 0xFFFFFF) << "pixel " << i % 32 << "," << i / 32;
        }
    }
    EXPECT_EQ(0xFFFFFFu, mask[0] & 0xFFFFFF) << "the top-left corner is background";
    EXPECT_GT(opaque, 32 * 32 * 3 / 10);
    EXPECT_LT(opaque, 32 * 32 * 8 / 10);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}
