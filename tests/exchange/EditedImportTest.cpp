// Exports changed in another editor and imported again. Editors drop the private chunk
// (or keep it), write 8-bit indexed PNGs and add palette entries no pixel uses: only the
// entries the pixels use count, and a picture of 16 colours or fewer stays 4-bit.

#include "exchange/Colour15.h"
#include "formats/TimImage.h"
#include "tests/exchange/ExchangeSamples.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
using exsample::Bytes;

// The exported picture as an editor saves it after mirroring it left to right: 8 bits per
// index, the palette with one unused entry added, the chunk dropped or kept.
Bytes MirroredInEditor(const Bytes& png, bool bKeepChunk)
{
    PngPicture pic = exsample::Decode(png);
    for (std::uint32_t y = 0; y < pic.nHeight; ++y)
        std::reverse(pic.pixels.begin() + y * pic.nWidth, pic.pixels.begin() + (y + 1) * pic.nWidth);
    pic.palette.push_back(PngColor{1, 2, 3, 255});
    return exsample::EncodeEdited(pic, bKeepChunk);
}

// Points into tim, which must outlive it.
TimImage Parse(const Bytes& tim)
{
    TimImage t;
    if (ParseTimImage(tim.data(), tim.size(), t) != FMT_OK)
        throw std::runtime_error("not a TIM");
    return t;
}

// A 4-bit TIM of 12 x 3 with three CLUT rows, exported with row 1 as the palette.
struct FourBitExport
{
    Bytes tim;
    Bytes png;
    FourBitExport()
    {
        exsample::TimShape s;
        s.nBpp = 4;
        s.nUnits = 3;
        s.nClutWidth = 16;
        s.nClutHeight = 3;
        tim = exsample::MakeTim(s);
        ExportOptions opt;
        opt.nClut = 1;
        png = exsample::Export(tim, opt);
    }
    // The original's pixel bytes mirrored, as a 4-bit TIM holds them.
    Bytes MirroredPixels() const
    {
        const TimImage t = Parse(tim);
        const std::size_t nRow = static_cast<std::size_t>(t.RowBytes());
        Bytes out(t.pPixels, t.pPixels + nRow * t.imageBlock.height);
        for (std::size_t y = 0; y < t.imageBlock.height; ++y)
        {
            Bytes row(out.begin() + static_cast<std::ptrdiff_t>(y * nRow), out.begin() + static_cast<std::ptrdiff_t>((y + 1) * nRow));
            for (std::size_t i = 0; i < nRow; ++i)
            {
                const std::uint8_t b = row[nRow - 1 - i];
                out[y * nRow + i] = static_cast<std::uint8_t>((b << 4) | (b >> 4));
            }
        }
        return out;
    }
};

TEST(EditedImport, FourBitExportWithoutItsChunkImportsAtFourBits)
{
    const FourBitExport x;
    const Bytes edited = MirroredInEditor(x.png, false);
    const Bytes asked = exsample::Import(edited, exsample::ImportAs(DATA_TIM, 4));
    EXPECT_EQ(exsample::Import(edited, exsample::ImportAs(DATA_TIM)), asked);

    const TimImage t = Parse(asked);
    const TimImage original = Parse(x.tim);
    EXPECT_EQ(t.nBpp, 4);
    EXPECT_EQ(t.header.flags, 8u);
    EXPECT_EQ(t.imageBlock.width, original.imageBlock.width);
    // One CLUT row: the row the PNG showed, without the entry the editor added.
    ASSERT_EQ(t.clut.size(), 16u);
    EXPECT_TRUE(std::equal(t.clut.begin(), t.clut.end(), original.clut.begin() + 16));
    const Bytes want = x.MirroredPixels();
    EXPECT_EQ(Bytes(t.pPixels, t.pPixels + want.size()), want);
}

// An editor that keeps the chunk: every CLUT row comes back, none overwritten by the
// added entry, and the file is the original with its pixels mirrored.
TEST(EditedImport, FourBitExportWithItsChunkKeepsEveryClutRow)
{
    const FourBitExport x;
    const Bytes back = exsample::Import(MirroredInEditor(x.png, true), exsample::ImportAs(DATA_TIM));
    ASSERT_EQ(back.size(), x.tim.size());
    const Bytes want = x.MirroredPixels();
    EXPECT_EQ(Bytes(back.begin(), back.end() - static_cast<std::ptrdiff_t>(want.size())),
              Bytes(x.tim.begin(), x.tim.end() - static_cast<std::ptrdiff_t>(want.size())));
    EXPECT_EQ(Bytes(back.end() - static_cast<std::ptrdiff_t>(want.size()), back.end()), want);
}

// Used indices of 16 and above are packed in the order the pixels first use them.
TEST(EditedImport, HighIndicesArePackedInOrderOfFirstUse)
{
    std::vector<PngColor> palette(256);
    for (std::size_t i = 0; i < palette.size(); ++i)
        palette[i] = WidenTimColor(static_cast<std::uint16_t>(0x8000 | (i * 97)));
    const Bytes png = exsample::EncodeForeign(4, 1, Bytes{200, 3, 200, 17}, palette);
    const Bytes tim = exsample::Import(png, exsample::ImportAs(DATA_TIM));
    const TimImage t = Parse(tim);
    ASSERT_EQ(t.nBpp, 4);
    ASSERT_EQ(t.clut.size(), 16u);
    EXPECT_EQ(t.clut[0], NarrowTimColor(palette[200]));
    EXPECT_EQ(t.clut[1], NarrowTimColor(palette[3]));
    EXPECT_EQ(t.clut[2], NarrowTimColor(palette[17]));
    EXPECT_EQ(t.clut[3], 0);
    EXPECT_EQ(Bytes(t.pPixels, t.pPixels + 2), (Bytes{0x10, 0x20}));  // 0 1 0 2, left pixel low
}

// Without --bpp and without a TIM chunk: 4 bits for an indexed picture of at most 16 used
// colours whose width 4 bits can hold, else 8; any other PNG 16 bits.
TEST(EditedImport, DefaultDepthFollowsTheColoursUsed)
{
    const std::vector<PngColor> palette(256, PngColor{9, 9, 9, 255});
    struct Case
    {
        const char* pszName;
        std::uint32_t nWidth;
        int nUsed;
        std::uint32_t nFlags;
    };
    for (const Case& c : {Case{"16 used", 8, 16, 8}, Case{"1 used", 4, 1, 8}, Case{"17 used", 8, 17, 9},
                          Case{"width 6", 6, 3, 9}})
    {
        SCOPED_TRACE(c.pszName);
        Bytes indices(std::size_t{c.nWidth} * 4);
        for (std::size_t i = 0; i < indices.size(); ++i)
            indices[i] = static_cast<std::uint8_t>(i % static_cast<std::size_t>(c.nUsed) * 15);
        const Bytes tim = exsample::Import(exsample::EncodeForeign(c.nWidth, 4, indices, palette),
                                           exsample::ImportAs(DATA_TIM));
        EXPECT_EQ(GetLe32(&tim[4]), c.nFlags);
    }
    // A truecolour picture keeps its colours exactly: 16 bits, however few it has.
    const Bytes rgba = {9, 9, 9, 255, 1, 2, 3, 255, 9, 9, 9, 255, 4, 5, 6, 255};
    const Bytes tim = exsample::Import(exsample::EncodeForeign(4, 1, rgba, {}), exsample::ImportAs(DATA_TIM));
    EXPECT_EQ(GetLe32(&tim[4]), 2u);
}

// Eight-bit files keep every index as it is, whatever the palette holds.
TEST(EditedImport, EightBitTargetsKeepIndicesAndTheWholePalette)
{
    std::vector<PngColor> palette(40);
    for (std::size_t i = 0; i < palette.size(); ++i)
        palette[i] = PngColor{static_cast<std::uint8_t>(i), 0, 0, 255};
    const Bytes png = exsample::EncodeForeign(4, 1, Bytes{39, 20, 0, 20}, palette);
    const Bytes bmp = exsample::Import(png, exsample::ImportAs(DATA_BMP));
    EXPECT_EQ(Bytes(bmp.end() - 4, bmp.end()), (Bytes{39, 20, 0, 20}));
    EXPECT_EQ(bmp[54 + 4 * 39 + 2], 39);  // red of entry 39
    const Bytes tim = exsample::Import(png, exsample::ImportAs(DATA_TIM, 8));
    const TimImage t = Parse(tim);
    EXPECT_EQ(t.clut[39], NarrowTimColor(palette[39]));
    EXPECT_EQ(Bytes(t.pPixels, t.pPixels + 4), (Bytes{39, 20, 0, 20}));
}
}  // namespace

namespace
{
// A BMP of 3 colours, exported, given more colours in an editor that keeps the chunk: the
// count the chunk carries no longer covers the pixels. The import writes a file export reads,
// every index with its colour; a count that still covers them is kept as it was.
TEST(EditedImport, ABmpsColourCountGrowsWithItsPalette)
{
    exsample::BmpShape s;
    s.nClrUsed = 3;
    const Bytes original = exsample::MakeBmp(s);
    PngPicture pic = exsample::Decode(exsample::Export(original));
    ASSERT_EQ(pic.palette.size(), 3u);
    EXPECT_EQ(GetLe32(&exsample::Import(exsample::EncodeEdited(pic, true), exsample::ImportAs(DATA_BMP))[46]), 3u);

    for (std::uint8_t i = 3; i < 11; ++i)
        pic.palette.push_back(PngColor{i, i, i, 255});
    pic.pixels[0] = 10;
    const Bytes bmp = exsample::Import(exsample::EncodeEdited(pic, true), exsample::ImportAs(DATA_BMP));
    EXPECT_EQ(GetLe32(&bmp[46]), 0u);  // the whole table
    const PngPicture back = exsample::Decode(exsample::Export(bmp));
    EXPECT_EQ(back.pixels, pic.pixels);
    EXPECT_EQ(back.palette[10].r, 10);
}
}  // namespace
