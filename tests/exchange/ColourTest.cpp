// The colour and transparency rules at their edges: widening to 8 bits, alpha from
// 0x0000 and the semi-transparency bit, narrowing back, and the window's fallback colours.

#include "exchange/Colour15.h"
#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include "formats/SystemPalette.h"

namespace
{
using exsample::Bytes;

struct WidenCase
{
    std::uint16_t nValue;
    PngColor want;
};

TEST(TimColour, WidensEachComponentAndDerivesAlpha)
{
    const WidenCase cases[] = {
        {0x0000, {0, 0, 0, 0}},           // the transparent value
        {0x8000, {0, 0, 0, 128}},         // black with the semi-transparency bit
        {0x7FFF, {255, 255, 255, 255}},   // 31 widens to 255
        {0xFFFF, {255, 255, 255, 128}},
        {0x001F, {255, 0, 0, 255}},       // red is the low five bits
        {0x03E0, {0, 255, 0, 255}},
        {0x7C00, {0, 0, 255, 255}},
        {0x0001, {8, 0, 0, 255}},         // 1 -> 8: a dark colour, not transparent
        {0x0010, {132, 0, 0, 255}},       // 16 -> 128 | 4
        {0x8421, {8, 8, 8, 128}},
    };
    for (const WidenCase& c : cases)
    {
        const PngColor got = WidenTimColor(c.nValue);
        EXPECT_EQ((Bytes{got.r, got.g, got.b, got.a}), (Bytes{c.want.r, c.want.g, c.want.b, c.want.a}))
            << std::hex << c.nValue;
    }
}

TEST(TimColour, NarrowsByShiftingAndMapsAlphaBack)
{
    const WidenCase cases[] = {
        {0x7FFF, {255, 255, 255, 255}},
        {0x0000, {7, 7, 7, 255}},       // below one step: opaque black is the transparent value
        {0x0000, {200, 100, 50, 0}},    // alpha 0 is 0x0000 whatever the colour
        {0x8001, {8, 0, 0, 1}},         // any alpha short of opaque sets the bit
        {0x801F, {255, 0, 0, 254}},
        {0x8000, {0, 0, 0, 128}},
        {0x0421, {15, 15, 15, 255}},
    };
    for (const WidenCase& c : cases)
        EXPECT_EQ(NarrowTimColor(c.want), c.nValue)
            << int{c.want.r} << "," << int{c.want.g} << "," << int{c.want.b} << "," << int{c.want.a};
    for (std::uint32_t v = 0; v < 65536; ++v)
        ASSERT_EQ(NarrowTimColor(WidenTimColor(static_cast<std::uint16_t>(v))), v);
}

TEST(TimColour, IndexedExportCarriesAlphaInTrns)
{
    exsample::TimShape s;
    s.nBpp = 4;
    s.nClutWidth = 16;
    const PngPicture pic = exsample::Decode(exsample::Export(exsample::MakeTim(s)));
    ASSERT_TRUE(pic.bIndexed);
    ASSERT_EQ(pic.palette.size(), 16u);
    EXPECT_EQ(pic.palette[0].a, 0);    // 0x0000
    EXPECT_EQ(pic.palette[1].a, 128);  // 0x8000
    EXPECT_EQ(pic.palette[2].a, 255);  // 0x7FFF
    EXPECT_EQ(pic.palette[3].a, 128);  // 0xFFFF
}

TEST(TimColour, FourBitPixelsTakeTheLowNibbleFirstAndKeepTheirValues)
{
    exsample::TimShape s;
    s.nBpp = 4;
    s.nClutWidth = 16;
    s.nUnits = 1;
    s.nHeight = 1;
    Bytes tim = exsample::MakeTim(s);
    tim[tim.size() - 2] = 0x21;
    tim[tim.size() - 1] = 0xF3;
    const PngPicture pic = exsample::Decode(exsample::Export(tim));
    EXPECT_EQ(pic.pixels, (Bytes{1, 2, 3, 15}));
}

TEST(TimColour, ImportNarrowsRgbaPixels)
{
    const Bytes rgba = {255, 255, 255, 255, 7, 7, 7, 255, 200, 100, 50, 0, 8, 0, 0, 1, 255, 0, 0, 254, 0, 0, 0, 128};
    const Bytes tim = exsample::Import(exsample::EncodeForeign(6, 1, rgba, {}), exsample::ImportAs(DATA_TIM, 16));
    ASSERT_EQ(tim.size(), 8u + 12 + 12);
    const std::uint16_t want[] = {0x7FFF, 0x0000, 0x0000, 0x8001, 0x801F, 0x8000};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(GetLe16(&tim[20 + 2 * i]), want[i]) << i;
}

// nColours RGB colours, each in 32 alphas: 32 pixels wide, nColours rows, pixel k of colour
// k mod nColours and alpha k / nColours x 8.
Bytes RgbInAlphas(std::uint32_t nColours)
{
    Bytes rgba;
    for (std::uint32_t k = 0; k < 32 * nColours; ++k)
    {
        const std::uint32_t c = k % nColours;
        rgba.insert(rgba.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8), 77,
                                 static_cast<std::uint8_t>(k / nColours * 8)});
    }
    return exsample::EncodeForeign(32, nColours, rgba, {});
}

// A BMP or a sheet holds no alpha, so colours that differ only in it are one; a TIM keeps
// alpha as its semi-transparency bit and counts them apart.
TEST(ImportAlpha, CountsForATimOnly)
{
    const Bytes png = RgbInAlphas(32);
    const Bytes bmp = exsample::Import(png, exsample::ImportAs(DATA_BMP));
    ASSERT_EQ(bmp.size(), 1078u + 1024);
    for (std::uint32_t k = 0; k < 1024; ++k)
        ASSERT_LT(bmp[1078 + k], 32) << k;
    for (std::uint32_t i = 0; i < 32; ++i)  // blue, green, red
        EXPECT_EQ((Bytes{bmp[54 + 4 * i], bmp[54 + 4 * i + 1], bmp[54 + 4 * i + 2]}),
                  (Bytes{77, 0, static_cast<std::uint8_t>(i)}));

    const Bytes sheet = exsample::Import(png, exsample::ImportAs(DATA_BFNT));
    ASSERT_EQ(sheet.size(), 32u + 768 + 1024);  // four 16 x 16 cells
    for (std::uint32_t k = 0; k < 1024; ++k)
        ASSERT_LT(sheet[800 + k], 32) << k;
    for (std::uint32_t i = 0; i < 32; ++i)  // blue, red, green
        EXPECT_EQ((Bytes{sheet[32 + 3 * i], sheet[32 + 3 * i + 1], sheet[32 + 3 * i + 2]}),
                  (Bytes{77, static_cast<std::uint8_t>(i), 0}));

    struct Refusal
    {
        Bytes png;
        ImportOptions opt;
        const char* pszMessage;
    };
    const Refusal refusals[] = {
        {png, exsample::ImportAs(DATA_TIM, 8), "the PNG has 1024 colours; an 8-bit file holds at most 256."},
        {RgbInAlphas(300), exsample::ImportAs(DATA_BMP), "the PNG has 300 colours; an 8-bit file holds at most 256."},
        {RgbInAlphas(300), exsample::ImportAs(DATA_BFNT), "the PNG has 300 colours; an 8-bit file holds at most 256."},
    };
    for (const Refusal& r : refusals)
    {
        Bytes out;
        std::string strError;
        EXPECT_FALSE(ImportFromPng(r.png.data(), r.png.size(), r.opt, out, strError));
        EXPECT_EQ(strError, r.pszMessage);
        EXPECT_TRUE(out.empty());
    }
}

// A sheet without a palette block shows in the colours the caller passes, or in the
// colours the window starts with; a 16-colour sheet's value v in colour v + 10.
TEST(WindowColours, SheetWithoutPaletteUsesTheWindowsColours)
{
    RgbPalette window{};
    for (int i = 0; i < 768; ++i)
        window.rgb[i] = static_cast<std::uint8_t>(i * 5);
    ExportOptions opt;
    opt.pDefaultPalette = &window;
    Bytes sheet16 = MakeSampleBfnt16(2, 2, 0, 3, false);
    const PngPicture pic16 = exsample::Decode(exsample::Export(sheet16, opt));
    ASSERT_EQ(pic16.palette.size(), 16u);
    EXPECT_EQ(pic16.palette[0].r, window.rgb[30]);
    EXPECT_EQ(pic16.palette[15].b, window.rgb[3 * 25 + 2]);

    Bytes sheet256 = MakeSampleBfnt(2, 2, 0, 3);
    sheet256[5] = BFNT_COLORS_256;
    sheet256.erase(sheet256.begin() + 32, sheet256.begin() + 32 + 768);
    const PngPicture pic = exsample::Decode(exsample::Export(sheet256));
    const RgbPalette start = SystemPalette();
    ASSERT_EQ(pic.palette.size(), 256u);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ((Bytes{pic.palette[i].r, pic.palette[i].g, pic.palette[i].b}),
                  (Bytes{start.rgb[3 * i], start.rgb[3 * i + 1], start.rgb[3 * i + 2]}));
}

}  // namespace
