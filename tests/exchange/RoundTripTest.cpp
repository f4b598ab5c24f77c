// File -> PNG -> file gives back every byte, for each CLUT row of a TIM; and a PNG
// from elsewhere (no private chunk) gives exactly what the formats' writers write.

#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/Tim.h"
#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace
{
using exsample::Bytes;
using exsample::TimShape;

// Pieces put together one by one: gcc 12 misreads some one-line sums of strings.
std::string Join(std::initializer_list<std::string> parts)
{
    std::string s;
    for (const std::string& p : parts)
        s.append(p);
    return s;
}

struct TimCase
{
    const char* pszName;
    TimShape shape;
    std::uint32_t nRows;  // CLUT rows to export in turn (16 and 24 bits: 1, the option is unused)
};

class TimRoundTrip : public testing::TestWithParam<TimCase>
{
};

TEST_P(TimRoundTrip, EveryRowGivesBackTheFile)
{
    const TimCase& c = GetParam();
    const Bytes tim = exsample::MakeTim(c.shape);
    for (std::uint32_t r = 0; r < c.nRows; ++r)
    {
        ExportOptions opt;
        opt.nClut = r;
        const Bytes back = exsample::Import(exsample::Export(tim, opt), exsample::ImportAs(DATA_TIM));
        EXPECT_EQ(back, tim) << "CLUT row " << r;
    }
}

TimShape Shape(int nBpp, std::uint16_t nClutW, std::uint16_t nClutH)
{
    TimShape s;
    s.nBpp = nBpp;
    s.nClutWidth = nClutW;
    s.nClutHeight = nClutH;
    s.bClut = nClutW != 0;
    return s;
}

TimShape WithPlace(TimShape s, std::uint16_t cx, std::uint16_t cy, std::uint16_t ix, std::uint16_t iy)
{
    s.nClutX = cx;
    s.nClutY = cy;
    s.nImageX = ix;
    s.nImageY = iy;
    return s;
}

TimShape Sized(TimShape s, std::uint16_t nUnits, std::uint16_t nHeight, std::int64_t nColours = -1)
{
    s.nUnits = nUnits;
    s.nHeight = nHeight;
    s.nColours = nColours;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Tims, TimRoundTrip,
    testing::Values(
        TimCase{"bpp4_one_row", Shape(4, 16, 1), 1},
        // As other tools write sprite sheets: many 16-colour rows at odd VRAM places.
        TimCase{"bpp4_sixteen_rows_odd_places", WithPlace(Shape(4, 16, 16), 0x1F3, 0x1E1, 0x140, 7), 16},
        TimCase{"bpp4_clut_256_wide", Shape(4, 256, 1), 16},
        TimCase{"bpp8_one_row", Shape(8, 256, 1), 1},
        TimCase{"bpp8_three_rows", WithPlace(Shape(8, 256, 3), 0, 481, 320, 0), 3},
        TimCase{"bpp8_clut_16_by_16", Shape(8, 16, 16), 1},
        TimCase{"bpp8_only_16_colours", Shape(8, 16, 1), 1},
        TimCase{"bpp8_wide", Sized(Shape(8, 256, 1), 61, 9), 1},
        TimCase{"bpp16_no_clut", Sized(Shape(16, 0, 0), 7, 5), 1},
        // Textures whose colours are in another file.
        TimCase{"bpp4_no_clut", WithPlace(Sized(Shape(4, 0, 0), 5, 6), 0, 0, 640, 256), 1},
        TimCase{"bpp8_no_clut", WithPlace(Sized(Shape(8, 0, 0), 7, 3), 0, 0, 1017, 509), 1},
        TimCase{"bpp16_with_clut", Sized(Shape(16, 256, 2), 3, 2), 1},
        TimCase{"bpp24", Sized(Shape(24, 0, 0), 6, 4), 1},
        TimCase{"bpp4_reserved_and_flag_bits",
                [] {
                    TimShape s = Shape(4, 16, 2);
                    s.nReserved = 0x1234;
                    s.nExtraFlags = 0x100;
                    return s;
                }(),
                2}),
    [](const testing::TestParamInfo<TimCase>& param) { return std::string(param.param.pszName); });

TEST(TimRoundTrip, TheProjectsOwnTimWriterRoundTrips)
{
    const Bytes tim = MakeSampleTim(7, 5);
    EXPECT_EQ(exsample::Import(exsample::Export(tim), exsample::ImportAs(DATA_TIM)), tim);
}

// A whole 16-bit TIM holding every colour value once: widening and narrowing lose nothing.
TEST(TimRoundTrip, EverySixteenBitValueSurvives)
{
    TimShape s = Sized(Shape(16, 0, 0), 256, 256);
    Bytes tim = exsample::MakeTim(s);
    const std::size_t at = tim.size() - 2 * 65536;
    for (std::uint32_t v = 0; v < 65536; ++v)
        PutLe16(&tim[at + 2 * v], static_cast<std::uint16_t>(v));
    EXPECT_EQ(exsample::Import(exsample::Export(tim), exsample::ImportAs(DATA_TIM)), tim);
}

// The PNG's palette may be edited: it becomes the row it showed; the other rows stay.
TEST(TimRoundTrip, AnEditedPaletteReplacesOnlyTheRowShown)
{
    const Bytes tim = exsample::MakeTim(Shape(4, 16, 3));
    ExportOptions opt;
    opt.nClut = 1;
    PngPicture pic = exsample::Decode(exsample::Export(tim, opt));
    pic.palette[5] = PngColor{255, 0, 0, 255};
    std::vector<std::uint8_t> chunk = pic.privateData;
    PngEncodeImage image;
    image.nWidth = pic.nWidth;
    image.nHeight = pic.nHeight;
    image.pPalette = pic.palette.data();
    image.nPalette = 16;
    image.nBitDepth = 4;
    image.bUnpacked = true;
    CBufferRowSource rows(pic.pixels.data(), pic.nWidth);
    PngEncodeOptions enc;
    enc.pszPrivateType = "vlMD";
    enc.pPrivateData = &chunk;
    Bytes png;
    std::string strError;
    ASSERT_TRUE(EncodePng(image, rows, enc, png, strError)) << strError;

    Bytes expected = tim;
    PutLe16(&expected[8 + 12 + 2 * (16 + 5)], 0x001F);
    EXPECT_EQ(exsample::Import(png, exsample::ImportAs(DATA_TIM)), expected);
}

// ---- Textures without a CLUT, and palettes from elsewhere -------------------------------

std::shared_ptr<const std::vector<PngColor>> Colours(std::size_t n, std::uint8_t nSeed)
{
    std::vector<PngColor> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = PngColor{static_cast<std::uint8_t>(i * 3 + nSeed), static_cast<std::uint8_t>(255 - i),
                        static_cast<std::uint8_t>(i ^ nSeed), static_cast<std::uint8_t>(i % 3 == 0 ? 128 : 255)};
    return std::make_shared<const std::vector<PngColor>>(std::move(v));
}

TEST(TimWithoutClut, ExportsInGreysWithANote)
{
    for (const int nBpp : {4, 8})
    {
        SCOPED_TRACE(nBpp);
        const Bytes tim = exsample::MakeTim(Sized(Shape(nBpp, 0, 0), 4, 3));
        Bytes png;
        std::string strError, strNote;
        ASSERT_TRUE(ExportToPng(tim.data(), tim.size(), {}, png, strError, &strNote)) << strError;
        const std::size_t nLevels = nBpp == 4 ? 16 : 256;
        EXPECT_EQ(strNote, Join({nBpp == 4 ? "a 4" : "an 8", "-bit TIM without a CLUT keeps its colours in another file; "
                                 "it is written in ", std::to_string(nLevels),
                                 " greys ('--palette SOURCE[:ROW]' takes the colours from there)."}));
        const PngPicture pic = exsample::Decode(png);
        ASSERT_EQ(pic.palette.size(), nLevels);
        for (std::size_t i = 0; i < nLevels; ++i)
        {
            const auto v = static_cast<std::uint8_t>(i * (256 / nLevels) + (nLevels == 16 ? i : 0));
            EXPECT_EQ(pic.palette[i].r, v) << i;
            EXPECT_EQ(pic.palette[i].g, v) << i;
            EXPECT_EQ(pic.palette[i].b, v) << i;
            EXPECT_EQ(pic.palette[i].a, 255) << i;
        }
        // The indices are the file's: the first pixel's low nibble, or its byte.
        const std::uint8_t nFirst = tim[8 + 12];
        EXPECT_EQ(pic.pixels[0], nBpp == 4 ? nFirst & 0x0F : nFirst);

        // Only row 0 exists, and only as a way of showing it.
        ExportOptions opt;
        opt.nClut = 1;
        EXPECT_FALSE(ExportToPng(tim.data(), tim.size(), opt, png, strError));
        EXPECT_EQ(strError, "CLUT row 1 does not exist: the file has no CLUT.");
    }
    // A file with its own colours gets no note.
    const Bytes own = exsample::MakeTim(Shape(8, 256, 1));
    Bytes png;
    std::string strError, strNote = "old";
    ASSERT_TRUE(ExportToPng(own.data(), own.size(), {}, png, strError, &strNote));
    EXPECT_EQ(strNote, "");
}

TEST(BorrowedPalette, ShowsTheFilesIndicesInTheColoursGiven)
{
    const struct
    {
        const char* pszName;
        Bytes data;
        std::size_t nColours;
    } cases[] = {
        {"tim4 without clut", exsample::MakeTim(Sized(Shape(4, 0, 0), 4, 3)), 16},
        {"tim8 without clut", exsample::MakeTim(Sized(Shape(8, 0, 0), 4, 3)), 256},
        {"tim4 with 3 rows", exsample::MakeTim(Shape(4, 16, 3)), 16},
        {"bmp8", MakeSampleBmp(40, 30), 256},
        {"sheet", MakeSampleBfnt(8, 16, 32, 127), 256},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        const PngPicture own = exsample::Decode(exsample::Export(c.data));
        ExportOptions opt;
        opt.pPalette = Colours(300, 7);  // more than any depth needs: the first 2^bits are taken
        const PngPicture shown = exsample::Decode(exsample::Export(c.data, opt));
        EXPECT_EQ(shown.pixels, own.pixels);
        ASSERT_EQ(shown.palette.size(), c.nColours);
        for (std::size_t i = 0; i < c.nColours; ++i)
        {
            const PngColor& a = shown.palette[i];
            const PngColor& b = (*opt.pPalette)[i];
            EXPECT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a) << i;
        }
        ASSERT_GE(shown.privateData.size(), 4u);
        EXPECT_EQ(shown.privateData[2], 1);  // the chunk says the palette is not the file's

        opt.pPalette = Colours(c.nColours - 1, 7);
        Bytes png = {'o', 'l', 'd'};
        std::string strError;
        EXPECT_FALSE(ExportToPng(c.data.data(), c.data.size(), opt, png, strError));
        EXPECT_EQ(strError, Join({"the palette of --palette has ", std::to_string(c.nColours - 1), " colours; ",
                                  c.nColours == 16 ? "a 4" : "an 8", "-bit picture needs ",
                                  std::to_string(c.nColours), "."}));
        EXPECT_EQ(png, (Bytes{'o', 'l', 'd'}));
    }
    // Pictures whose pixels are colours have no palette to replace.
    const Bytes direct = exsample::MakeTim(Sized(Shape(16, 0, 0), 7, 5));
    ExportOptions opt;
    opt.pPalette = Colours(2, 1);
    EXPECT_EQ(exsample::Export(direct, opt), exsample::Export(direct));
}

TEST(BorrowedPalette, ImportOfAPreviewKeepsTheFilesOwnColoursOrRefuses)
{
    ExportOptions opt;
    opt.pPalette = Colours(256, 3);
    // A TIM's chunk holds its whole CLUT, or says it has none: back byte for byte.
    for (const Bytes& tim : {exsample::MakeTim(Shape(8, 256, 2)), exsample::MakeTim(Sized(Shape(8, 0, 0), 4, 3)),
                             exsample::MakeTim(Sized(Shape(4, 0, 0), 4, 3))})
        EXPECT_EQ(exsample::Import(exsample::Export(tim, opt), exsample::ImportAs(DATA_TIM)), tim);
    // A BMP or sheet would take the colours given for its own.
    for (const auto& [data, kind] : {std::pair{MakeSampleBmp(40, 30), DATA_BMP}, {MakeSampleBfnt(8, 16, 32, 127), DATA_BFNT}})
    {
        const Bytes png = exsample::Export(data, opt);
        Bytes out;
        std::string strError;
        EXPECT_FALSE(ImportFromPng(png.data(), png.size(), exsample::ImportAs(kind), out, strError));
        EXPECT_EQ(strError, "the PNG shows the picture in colours from elsewhere (export --palette), not its own; "
                            "export it again without --palette to edit it, or give the file new colours with "
                            "'vellumconv palette import'.");
        // As another kind the colours are only colours.
        EXPECT_TRUE(ImportFromPng(png.data(), png.size(), exsample::ImportAs(DATA_TIM, 8), out, strError)) << strError;
    }
}

// ---- BMP ----------------------------------------------------------------------------

Bytes WithHeaderFields(Bytes bmp)
{
    PutLe16(&bmp[6], 0xBEEF);  // bfReserved1
    PutLe32(&bmp[34], 0);      // biSizeImage: 0 is allowed for uncompressed data
    PutLeS32(&bmp[38], 2835);  // biXPelsPerMeter
    PutLeS32(&bmp[42], 3780);  // biYPelsPerMeter
    PutLe32(&bmp[46], 256);    // biClrUsed
    PutLe32(&bmp[50], 17);     // biClrImportant
    return bmp;
}

TEST(BmpRoundTrip, FilesInTheWritersLayoutComeBackByteForByte)
{
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"5x3", MakeSampleBmp(5, 3)},
        {"5x3 padded", MakeSampleBmp(5, 3, true)},
        {"8x2", MakeSampleBmp(8, 2)},
        {"1x1", MakeSampleBmp(1, 1)},
        {"17x9 padded", MakeSampleBmp(17, 9, true)},
        {"header fields", WithHeaderFields(MakeSampleBmp(6, 4, true))},
    };
    for (const auto& [pszName, bmp] : cases)
        EXPECT_EQ(exsample::Import(exsample::Export(bmp), exsample::ImportAs(DATA_BMP)), bmp) << pszName;
}

// ---- BFNT ---------------------------------------------------------------------------

Bytes WithoutPalette(Bytes b, std::ptrdiff_t nExtension = 0)
{
    b[5] = BFNT_COLORS_256;
    const auto at = b.begin() + BFNT_HEADER_SIZE + nExtension;
    b.erase(at, at + BFNT_PALETTE_256_SIZE);
    return b;
}

TEST(BfntRoundTrip, SheetsComeBackByteForByteAtAnyColumnCount)
{
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"ascii 8x16", MakeSampleBfnt(8, 16, 32, 127)},
        {"extension", MakeSampleBfnt(16, 16, 0, 255, 40)},
        {"odd cells", MakeSampleBfnt(5, 7, 48, 57)},
        {"one glyph", MakeSampleBfnt(1, 1, 0, 0)},
        {"no palette", WithoutPalette(MakeSampleBfnt(6, 8, 65, 90))},
        {"no palette, extension", WithoutPalette(MakeSampleBfnt(4, 4, 300, 310, 3), 3)},
    };
    for (std::uint32_t nColumns : {16u, 7u, 1u})
        for (const auto& [pszName, bfnt] : cases)
        {
            ExportOptions opt;
            opt.nColumns = nColumns;
            EXPECT_EQ(exsample::Import(exsample::Export(bfnt, opt), exsample::ImportAs(DATA_BFNT)), bfnt)
                << pszName << ", " << nColumns << " columns";
        }
}

TEST(BfntRoundTrip, CellsSitWhereTheirCodesSay)
{
    ExportOptions opt;
    opt.nColumns = 10;
    const PngPicture pic = exsample::Decode(exsample::Export(MakeSampleBfnt(3, 2, 25, 31), opt));
    ASSERT_EQ(pic.nWidth, 30u);
    ASSERT_EQ(pic.nHeight, 8u);  // codes 0..39 in 4 rows of cells
    for (std::uint32_t y = 0; y < pic.nHeight; ++y)
        for (std::uint32_t x = 0; x < pic.nWidth; ++x)
        {
            const std::uint32_t nCode = y / 2 * 10 + x / 3;
            const std::uint8_t want = nCode >= 25 && nCode <= 31 ? SampleGlyphPixel(nCode - 25, y % 2, x % 3) : 0;
            ASSERT_EQ(pic.pixels[y * pic.nWidth + x], want) << x << "," << y;
        }
}

Bytes WithExtension(Bytes b, std::uint16_t nLength)
{
    PutLe16(&b[28], nLength);
    for (std::uint16_t i = 0; i < nLength; ++i)
        b.insert(b.begin() + BFNT_HEADER_SIZE + i, static_cast<std::uint8_t>(i * 5 + 1));
    return b;
}

TEST(BfntRoundTrip, SixteenColourSheetsComeBackByteForByte)
{
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"8x8 with palette", MakeSampleBfnt16(8, 8, 48, 90)},
        {"4x2 without palette", MakeSampleBfnt16(4, 2, 0, 6, false)},
        {"extension", WithExtension(MakeSampleBfnt16(5, 4, 3, 40), 24)},
    };
    for (const auto& [pszName, bfnt] : cases)
        for (std::uint32_t nColumns : {16u, 7u, 1u})
        {
            ExportOptions opt;
            opt.nColumns = nColumns;
            EXPECT_EQ(exsample::Import(exsample::Export(bfnt, opt), exsample::ImportAs(DATA_BFNT)), bfnt)
                << pszName << ", " << nColumns << " columns";
        }

    // An odd pixel count ends in half a byte, whose other half is written as 0.
    Bytes odd = MakeSampleBfnt16(3, 3, 0, 4);
    const Bytes back = exsample::Import(exsample::Export(odd), exsample::ImportAs(DATA_BFNT));
    odd.back() &= 0xF0;
    EXPECT_EQ(back, odd);
}

// A 16-colour sheet whose picture an editor gave a 17th colour comes back as a
// 256-colour sheet whose values are the PNG's indices: the nibbles, and 16.
TEST(BfntRoundTrip, SixteenColourSheetBecomesItsValuesAt256Colours)
{
    const Bytes bfnt16 = MakeSampleBfnt16(3, 3, 0, 4);
    PngPicture pic = exsample::Decode(exsample::Export(bfnt16));
    pic.palette.push_back(PngColor{7, 7, 7, 255});
    pic.pixels[1] = 16;  // glyph 0, row 0, column 1
    const Bytes back = exsample::Import(exsample::EncodeEdited(pic, true), exsample::ImportAs(DATA_BFNT));
    EXPECT_EQ(back[5], BFNT_PALETTE | BFNT_COLORS_256);
    RgbPalette palette{};
    CBfntData rec;
    rec.m_pPalette = &palette;
    CMemStream in(back);
    ASSERT_EQ(rec.ReadBfnt256(in), FMT_OK);
    ASSERT_EQ(rec.m_nGlyphsSize, 45u);
    for (std::size_t k = 0; k < 45; ++k)
        EXPECT_EQ(rec.m_pGlyphs[k], k == 1 ? 16 : k % 16) << k;
    EXPECT_EQ(palette.rgb[3 * 1 + 0], 16);  // the file's colour 1: (b, r, g) = (8, 16, 24)
    EXPECT_EQ(palette.rgb[3 * 1 + 2], 8);
    EXPECT_EQ(palette.rgb[3 * 16 + 0], 7);
}

// ---- PNGs from elsewhere: the writers' defaults ----------------------------------------

struct Foreign
{
    std::uint32_t w = 32, h = 48;
    Bytes indices;
    std::vector<PngColor> palette;
    Foreign()
    {
        for (std::uint32_t i = 0; i < w * h; ++i)
            indices.push_back(static_cast<std::uint8_t>((i * 7 + i / w) % 200));
        for (unsigned i = 0; i < 200; ++i)
            palette.push_back(PngColor{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 3),
                                       static_cast<std::uint8_t>(255 - i), 255});
    }
    Bytes Png() const { return exsample::EncodeForeign(w, h, indices, palette); }
    RgbPalette Rgb(std::size_t nShift) const
    {
        RgbPalette p{};
        for (std::size_t i = 0; i < palette.size(); ++i)
        {
            std::uint8_t* q = p.rgb + 3 * ((i + nShift) % 256);
            q[0] = palette[i].r;
            q[1] = palette[i].g;
            q[2] = palette[i].b;
        }
        return p;
    }
    void FillBmp(CBmpData& bmp, RgbPalette& pal) const
    {
        pal = Rgb(0);
        bmp.m_fileHeader = {BMP_TYPE, BMP_PIXEL_OFFSET + w * h, 0, 0, BMP_PIXEL_OFFSET};
        bmp.m_infoHeader = {BMP_INFO_HEADER_SIZE, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), 1, 8, 0,
                            w * h, 0, 0, 0, 0};
        bmp.m_pBits = std::make_unique<std::uint8_t[]>(w * h);
        std::memcpy(bmp.m_pBits.get(), indices.data(), w * h);
        bmp.m_nBitsSize = w * h;
        bmp.m_pPalette = &pal;
    }
};

TEST(ForeignPng, BmpGetsTheConvertersHeader)
{
    const Foreign f;
    CBmpData bmp;
    RgbPalette pal;
    f.FillBmp(bmp, pal);
    CMemStream expected;
    ASSERT_EQ(bmp.WriteBmp(expected), FMT_OK);
    EXPECT_EQ(exsample::Import(f.Png(), exsample::ImportAs(DATA_BMP)), expected.Data());
}

// Every reader expects rows padded to 4 bytes; only a source that had them unpadded goes
// back unpadded (above). A chunk from a BMP of another depth describes no 8-bit layout.
TEST(ForeignPng, BmpRowsArePaddedToFourBytes)
{
    std::vector<std::pair<std::string, Bytes>> pngs;
    for (std::uint32_t w : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 1001u})
    {
        Bytes indices(std::size_t{w} * 3);
        for (std::size_t i = 0; i < indices.size(); ++i)
            indices[i] = static_cast<std::uint8_t>(i * 7 % 5 + 1);
        pngs.emplace_back("width " + std::to_string(w),
                          exsample::EncodeForeign(w, 3, indices, std::vector<PngColor>(6, PngColor{1, 2, 3, 255})));
    }
    exsample::BmpShape bits24;
    bits24.nBits = 24;
    pngs.emplace_back("24-bit source", exsample::Export(exsample::MakeBmp(bits24)));
    exsample::BmpShape bits4;
    bits4.nBits = 4;
    pngs.emplace_back("4-bit source", exsample::Export(exsample::MakeBmp(bits4)));
    for (const auto& [strName, png] : pngs)
    {
        SCOPED_TRACE(strName);
        const PngPicture pic = exsample::Decode(png);
        const Bytes bmp = exsample::Import(png, exsample::ImportAs(DATA_BMP));
        const std::uint32_t w = pic.nWidth, h = pic.nHeight;
        const std::uint32_t nStride = (w + 3) / 4 * 4;
        ASSERT_EQ(bmp.size(), 1078 + nStride * h);
        EXPECT_EQ(GetLe32(&bmp[2]), bmp.size());
        EXPECT_EQ(GetLe32(&bmp[34]), nStride * h);
        for (std::uint32_t y = 0; y < h; ++y)
        {
            const std::uint8_t* pRow = &bmp[1078 + (h - 1 - y) * nStride];
            if (pic.bIndexed)
            {
                EXPECT_EQ(Bytes(pRow, pRow + w), Bytes(&pic.pixels[y * w], &pic.pixels[y * w] + w)) << "row " << y;
            }
            EXPECT_EQ(Bytes(pRow + w, pRow + nStride), Bytes(nStride - w, 0)) << "row " << y;
        }
    }
}

TEST(ForeignPng, EightBitTimIsWhatTheTimWriterWrites)
{
    const Foreign f;
    CBmpData bmp;
    RgbPalette pal;
    f.FillBmp(bmp, pal);
    // In memory the formats hold colours and pixels 10 places up.
    RgbPalette shifted = f.Rgb(PAL_FIRST_IMAGE_COLOR);
    ShiftPixels(bmp.m_pBits.get(), bmp.m_nBitsSize, PAL_FIRST_IMAGE_COLOR);
    CTimData tim;
    ASSERT_EQ(bmp.BmpToTim(tim), FMT_OK);
    tim.m_pPalette = &shifted;
    CMemStream expected;
    ASSERT_EQ(tim.WriteTim(expected), FMT_OK);
    EXPECT_EQ(exsample::Import(f.Png(), exsample::ImportAs(DATA_TIM)), expected.Data());
}

TEST(ForeignPng, BfntIsTheSixteenBySixteenSheetOfTheBfntWriter)
{
    const Foreign f;
    CBmpData bmp;
    RgbPalette pal;
    f.FillBmp(bmp, pal);
    CBfntData bfnt;
    ASSERT_EQ(bmp.BmpToBfnt(bfnt, 16), FMT_OK);
    bfnt.m_pPalette = &pal;
    CMemStream expected;
    ASSERT_EQ(bfnt.WriteBfnt(expected), FMT_OK);
    EXPECT_EQ(exsample::Import(f.Png(), exsample::ImportAs(DATA_BFNT)), expected.Data());
}

TEST(ForeignPng, OtherDepthsGetPlainHeaders)
{
    // 4 bits: flags 8, a 16-colour CLUT of one row; 16 bits: flags 2 and no CLUT.
    const std::vector<PngColor> pal16(16, PngColor{255, 255, 255, 255});
    const Bytes four = exsample::Import(exsample::EncodeForeign(8, 2, Bytes(16, 3), pal16, 4),
                                        exsample::ImportAs(DATA_TIM, 4));
    ASSERT_EQ(four.size(), 8u + 44 + 12 + 8);
    EXPECT_EQ(GetLe32(&four[4]), 8u);
    EXPECT_EQ(GetLe32(&four[8]), 44u);
    EXPECT_EQ(GetLe16(&four[16]), 16u);
    EXPECT_EQ(GetLe16(&four[18]), 1u);
    EXPECT_EQ(GetLe16(&four[20]), 0x7FFF);
    EXPECT_EQ(GetLe16(&four[52 + 8]), 2u);  // units
    EXPECT_EQ(four[64], 0x33);

    const Bytes sixteen = exsample::Import(exsample::EncodeForeign(3, 1, Bytes(12, 255), {}),
                                           exsample::ImportAs(DATA_TIM));
    ASSERT_EQ(sixteen.size(), 8u + 12 + 6);
    EXPECT_EQ(GetLe32(&sixteen[4]), 2u);
    EXPECT_EQ(GetLe32(&sixteen[8]), 18u);
    EXPECT_EQ(GetLe16(&sixteen[20]), 0x7FFF);
}

// A truecolour PNG with few colours gets a palette in the order they first appear.
TEST(ForeignPng, TruecolourWithFewColoursGetsThemInOrderOfAppearance)
{
    const Bytes rgba = {9, 9, 9, 255, 1, 2, 3, 255, 9, 9, 9, 255, 4, 5, 6, 255};
    const Bytes bmp = exsample::Import(exsample::EncodeForeign(4, 1, rgba, {}), exsample::ImportAs(DATA_BMP));
    ASSERT_EQ(bmp.size(), 1078u + 4);
    EXPECT_EQ((Bytes{bmp[54], bmp[55], bmp[56], bmp[58], bmp[59], bmp[60]}), (Bytes{9, 9, 9, 3, 2, 1}));
    EXPECT_EQ((Bytes(bmp.end() - 4, bmp.end())), (Bytes{0, 1, 0, 2}));
}
}  // namespace
