// The PNG layer: the chunk sequence the converter's --render needs (the one Qt's
// writer gives), and decoding of every colour type and depth from PNGs built here
// by hand, chunk by chunk, without libpng.

#include "tests/exchange/ExchangeSamples.h"
#include "tests/exchange/HandMadePng.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using exsample::Bytes;

using handpng::AddChunk;
using handpng::Chunk;
using handpng::Chunks;

Bytes HandMadePng(std::uint32_t w, std::uint32_t h, int nDepth, int nType, const Bytes& rawRows,
                  const std::vector<Chunk>& beforeIdat = {})
{
    return handpng::Make(w, h, nDepth, nType, rawRows, beforeIdat);
}

TEST(PngEncode, RenderLayoutIsIhdrPltePhysIdatIendWithUnfilteredRows)
{
    const std::uint32_t w = 300, h = 200;
    Bytes pixels(std::size_t{w} * h);
    std::uint32_t nState = 12345;
    for (std::uint8_t& v : pixels)  // noise compresses poorly: several IDATs
    {
        nState = nState * 1103515245u + 12345u;
        v = static_cast<std::uint8_t>(nState >> 16);
    }
    std::vector<PngColor> palette(256);
    for (unsigned i = 0; i < 256; ++i)
        palette[i] = PngColor{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7, 255};
    PngEncodeImage image;
    image.nWidth = w;
    image.nHeight = h;
    image.pPalette = palette.data();
    image.nPalette = 256;
    PngEncodeOptions opt;
    opt.bPhys = true;
    opt.nPhysX = opt.nPhysY = 3780;
    CBufferRowSource rows(pixels.data(), w);
    Bytes png;
    std::string strError;
    ASSERT_TRUE(EncodePng(image, rows, opt, png, strError)) << strError;

    const std::vector<Chunk> chunks = Chunks(png);
    ASSERT_GE(chunks.size(), 6u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[0].data[8], 8);  // bit depth
    EXPECT_EQ(chunks[0].data[9], 3);  // colour type: palette
    EXPECT_EQ(chunks[1].type, "PLTE");
    EXPECT_EQ(chunks[1].data.size(), 768u);
    EXPECT_EQ(chunks[2].type, "pHYs");
    EXPECT_EQ(chunks[2].data, (Bytes{0, 0, 0x0E, 0xC4, 0, 0, 0x0E, 0xC4, 1}));
    EXPECT_EQ(chunks.back().type, "IEND");
    Bytes z;
    for (std::size_t i = 3; i + 1 < chunks.size(); ++i)
    {
        ASSERT_EQ(chunks[i].type, "IDAT");
        if (i + 2 < chunks.size())
        {
            EXPECT_EQ(chunks[i].data.size(), 8192u) << "IDAT " << i;
        }
        z.insert(z.end(), chunks[i].data.begin(), chunks[i].data.end());
    }
    EXPECT_GT(chunks.size(), 6u) << "the picture should need more than one IDAT";
    ASSERT_GE(z.size(), 2u);
    EXPECT_EQ(z[0], 0x78);
    EXPECT_EQ(z[1], 0x9C);
    uLongf nRaw = (w + 1) * h;
    Bytes raw(nRaw);
    ASSERT_EQ(uncompress(raw.data(), &nRaw, z.data(), static_cast<uLong>(z.size())), Z_OK);
    ASSERT_EQ(nRaw, (w + 1) * h);
    for (std::uint32_t y = 0; y < h; ++y)
        ASSERT_EQ(raw[y * (w + 1)], 0) << "row " << y << " is filtered";
}

TEST(PngEncode, AlphaGoesIntoTrnsUpToTheLastTranslucentEntry)
{
    const std::vector<PngColor> palette = {{1, 2, 3, 0}, {4, 5, 6, 128}, {7, 8, 9, 255}, {1, 1, 1, 255}};
    const Bytes png = exsample::EncodeForeign(2, 2, Bytes{0, 1, 2, 3}, palette, 2);
    const std::vector<Chunk> chunks = Chunks(png);
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks[2].type, "tRNS");
    EXPECT_EQ(chunks[2].data, (Bytes{0, 128}));
    const PngPicture pic = exsample::Decode(png);
    ASSERT_TRUE(pic.bIndexed);
    EXPECT_EQ(pic.pixels, (Bytes{0, 1, 2, 3}));
    ASSERT_EQ(pic.palette.size(), 4u);
    EXPECT_EQ(pic.palette[0].a, 0);
    EXPECT_EQ(pic.palette[1].a, 128);
    EXPECT_EQ(pic.palette[3].a, 255);
}

struct DecodeCase
{
    const char* pszName;
    int nDepth;
    int nType;
    Bytes row;                // one row, filter byte first
    std::vector<Chunk> extra; // before IDAT
    Bytes rgba;               // what the decode must give, 4 bytes a pixel
    bool bIndexed;
};

class PngDecode : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(PngDecode, GivesEightBitSamples)
{
    const DecodeCase& c = GetParam();
    const std::uint32_t w = static_cast<std::uint32_t>(c.rgba.size() / 4);
    const PngPicture pic = exsample::Decode(HandMadePng(w, 1, c.nDepth, c.nType, c.row, c.extra));
    ASSERT_EQ(pic.nWidth, w);
    ASSERT_EQ(pic.nHeight, 1u);
    EXPECT_EQ(pic.bIndexed, c.bIndexed);
    Bytes rgba;
    for (std::uint32_t x = 0; x < w; ++x)
    {
        const PngColor k = pic.bIndexed ? pic.palette.at(pic.pixels[x])
                                        : PngColor{pic.pixels[4 * x], pic.pixels[4 * x + 1], pic.pixels[4 * x + 2],
                                                   pic.pixels[4 * x + 3]};
        rgba.insert(rgba.end(), {k.r, k.g, k.b, k.a});
    }
    EXPECT_EQ(rgba, c.rgba);
}

INSTANTIATE_TEST_SUITE_P(
    EveryColourType, PngDecode,
    testing::Values(
        DecodeCase{"grey1", 1, 0, {0, 0xA0}, {}, {255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255}, false},
        DecodeCase{"grey4", 4, 0, {0, 0xF1}, {}, {255, 255, 255, 255, 17, 17, 17, 255}, false},
        DecodeCase{"grey16", 16, 0, {0, 0x80, 0x00, 0xFF, 0xFF}, {}, {128, 128, 128, 255, 255, 255, 255, 255}, false},
        DecodeCase{"grey-key", 8, 0, {0, 9, 10}, {{"tRNS", {0, 9}}}, {9, 9, 9, 0, 10, 10, 10, 255}, false},
        DecodeCase{"grey-alpha", 8, 4, {0, 50, 60}, {}, {50, 50, 50, 60}, false},
        DecodeCase{"rgb16", 16, 2, {0, 0xFF, 0xFF, 0x00, 0x00, 0x12, 0x34}, {}, {255, 0, 18, 255}, false},
        DecodeCase{"rgb-key", 8, 2, {0, 1, 2, 3, 4, 5, 6}, {{"tRNS", {0, 1, 0, 2, 0, 3}}}, {1, 2, 3, 0, 4, 5, 6, 255},
                   false},
        DecodeCase{"rgba16", 16, 6, {0, 0, 0, 0xFF, 0xFF, 0, 0, 0x80, 0}, {}, {0, 255, 0, 128}, false},
        DecodeCase{"palette2", 2, 3, {0, 0x1B}, {{"PLTE", {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}}, {"tRNS", {7}}},
                   {1, 1, 1, 7, 2, 2, 2, 255, 3, 3, 3, 255, 4, 4, 4, 255}, true}),
    [](const testing::TestParamInfo<DecodeCase>& param) {
        std::string s = param.param.pszName;
        for (char& ch : s)
            if (ch == '-')
                ch = '_';
        return s;
    });

TEST(PngDecode, HandsBackThePrivateChunkEvenAfterThePixels)
{
    Bytes png = HandMadePng(1, 1, 8, 0, {0, 5});
    Bytes tail(png.end() - 12, png.end());  // IEND
    png.resize(png.size() - 12);
    AddChunk(png, "vlMD", {1, 2, 3});
    png.insert(png.end(), tail.begin(), tail.end());
    const PngPicture pic = exsample::Decode(png);
    EXPECT_TRUE(pic.bPrivate);
    EXPECT_EQ(pic.privateData, (Bytes{1, 2, 3}));
}

TEST(PngDecode, RefusesAHeaderItsPixelDataCannotFill)
{
    // 60000 x 60000 grey pixels from 20 bytes of IDAT: refused before any allocation.
    const Bytes png = HandMadePng(60000, 60000, 8, 0, Bytes(3, 0));
    PngPicture pic;
    pic.nWidth = 77;
    std::string strError;
    EXPECT_FALSE(DecodePng(png.data(), png.size(), "vlMD", pic, strError));
    EXPECT_EQ(strError, "the PNG is cut short: its pixel data cannot fill 60000 x 60000 pixels.");
    EXPECT_EQ(pic.nWidth, 77u);
}
}  // namespace
