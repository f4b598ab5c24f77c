// Each format's layout as the readers of every depth and the 8-bit records share it: the
// header fields at their offsets, the readers of every depth (what they accept, what a
// refusal leaves for the message), the TIM and sheet writers of every depth, the sheet
// writer without a palette block and the save-path rule.

#include "formats/BfntImage.h"
#include "formats/BmpImage.h"
#include "formats/DataKinds.h"
#include "formats/TimImage.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
using Bytes = std::vector<std::uint8_t>;

Bytes Counting(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return b;
}

// A TIM by hand: the flags, an optional CLUT of nColours colours, and units x height pixels.
Bytes HandTim(std::uint32_t nFlags, std::uint32_t nColours, std::uint16_t nUnits, std::uint16_t nHeight)
{
    Bytes b(8, 0);
    b[0] = 0x10;
    PutLe16(&b[2], 0xBEEF);
    PutLe32(&b[4], nFlags);
    if ((nFlags & 8) != 0)
    {
        const std::size_t at = b.size();
        b.resize(at + 12 + 2 * nColours);
        PutLe32(&b[at], 12 + 2 * nColours);
        PutLe16(&b[at + 4], 7);
        PutLe16(&b[at + 6], 9);
        PutLe16(&b[at + 8], 16);
        PutLe16(&b[at + 10], static_cast<std::uint16_t>(nColours / 16));
        for (std::uint32_t i = 0; i < nColours; ++i)
            PutLe16(&b[at + 12 + 2 * i], static_cast<std::uint16_t>(i * 2654435761u >> 7));
    }
    const std::size_t nPixels = 2 * std::size_t{nUnits} * nHeight;
    const std::size_t at = b.size();
    b.resize(at + 12 + nPixels);
    PutLe32(&b[at], static_cast<std::uint32_t>(12 + nPixels));
    PutLe16(&b[at + 4], 3);
    PutLe16(&b[at + 6], 5);
    PutLe16(&b[at + 8], nUnits);
    PutLe16(&b[at + 10], nHeight);
    for (std::size_t k = 0; k < nPixels; ++k)
        b[at + 12 + k] = static_cast<std::uint8_t>(k * 13 + 1);
    return b;
}

// A 4-bit BMP of 8 x 2 whose colour table has nClrUsed entries and whose pixels use 0..nTop.
Bytes HandBmp4(std::uint32_t nClrUsed, std::uint8_t nTop)
{
    const std::uint32_t nOff = 14 + 40 + 4 * nClrUsed;
    Bytes b(nOff + 2 * 4, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLe32(&b[2], static_cast<std::uint32_t>(b.size()));
    PutLe32(&b[10], nOff);
    PutLe32(&b[14], 40);
    PutLeS32(&b[18], 8);
    PutLeS32(&b[22], 2);
    PutLe16(&b[28], 4);
    PutLe32(&b[46], nClrUsed);
    for (std::uint32_t i = 0; i < 4 * nClrUsed; ++i)
        b[54 + i] = 0xC0;
    b[nOff] = static_cast<std::uint8_t>(nTop << 4);
    return b;
}
}  // namespace

TEST(FormatLayouts, HeaderFieldsSitAtTheirOffsetsAndStoreBack)
{
    const Bytes bytes = Counting(64);

    BmpFileHeader fh{};
    BmpInfoHeader ih{};
    ParseBmpFileHeader(bytes.data(), fh);
    ParseBmpInfoHeader(bytes.data() + 14, ih);
    EXPECT_EQ(fh.bfSize, GetLe32(&bytes[2]));
    EXPECT_EQ(fh.bfOffBits, GetLe32(&bytes[10]));
    EXPECT_EQ(ih.biWidth, GetLeS32(&bytes[18]));
    EXPECT_EQ(ih.biHeight, GetLeS32(&bytes[22]));
    EXPECT_EQ(ih.biBitCount, GetLe16(&bytes[28]));
    EXPECT_EQ(ih.biCompression, GetLe32(&bytes[30]));
    EXPECT_EQ(ih.biClrUsed, GetLe32(&bytes[46]));
    Bytes stored(54, 0);
    StoreBmpFileHeader(stored.data(), fh);
    StoreBmpInfoHeader(stored.data() + 14, ih);
    EXPECT_EQ(stored, Bytes(bytes.begin(), bytes.begin() + 54));

    BfntHeader bh{};
    ParseBfntHeader(bytes.data(), bh);
    EXPECT_EQ(bh.format, bytes[5]);
    EXPECT_EQ(bh.glyphWidth, GetLe16(&bytes[8]));
    EXPECT_EQ(bh.glyphHeight, GetLe16(&bytes[10]));
    EXPECT_EQ(bh.firstCode, GetLe16(&bytes[12]));
    EXPECT_EQ(bh.lastCode, GetLe16(&bytes[14]));
    EXPECT_EQ(bh.extensionLength, GetLe16(&bytes[28]));
    Bytes sheet(32, 0);
    StoreBfntHeader(sheet.data(), bh);
    EXPECT_EQ(sheet, Bytes(bytes.begin(), bytes.begin() + 32));

    TimFileHeader th{};
    TimBlockHeader block{};
    ParseTimFileHeader(bytes.data(), th);
    ParseTimBlockHeader(bytes.data() + 8, block);
    EXPECT_EQ(th.flags, GetLe32(&bytes[4]));
    EXPECT_EQ(block.length, GetLe32(&bytes[8]));
    EXPECT_EQ(block.width, GetLe16(&bytes[16]));
    EXPECT_EQ(block.height, GetLe16(&bytes[18]));
    CMemStream tim;
    WriteTimFileHeader(tim, th);
    WriteTimBlockHeader(tim, block);
    EXPECT_EQ(tim.Data(), Bytes(bytes.begin(), bytes.begin() + 20));
}

TEST(TimImage, ReadsEveryDepthAndWritesTheSameBytes)
{
    struct Case
    {
        std::uint32_t nFlags;
        std::uint32_t nColours;
        int nBpp;
        std::uint32_t nPixelWidth;  // of 3 units
        std::uint32_t nPalettes;
    };
    const Case cases[] = {
        {0x08, 32, 4, 12, 2},        // two CLUT rows of 16
        {0x09 | 0x100, 300, 8, 6, 2}, // a last partial row; a flag bit the format does not name
        {0x02, 0, 16, 3, 0},
        {0x0A, 16, 16, 3, 0},        // a CLUT the pixels do not use
        {0x03, 0, 24, 2, 0},
    };
    for (const Case& c : cases)
    {
        const Bytes file = HandTim(c.nFlags, c.nColours, 3, 2);
        TimImage tim;
        ASSERT_EQ(ParseTimImage(file.data(), file.size(), tim), FMT_OK) << c.nFlags;
        EXPECT_EQ(tim.nBpp, c.nBpp);
        EXPECT_EQ(tim.nPixelWidth, c.nPixelWidth);
        EXPECT_EQ(tim.PaletteCount(), c.nPalettes);
        EXPECT_EQ(tim.clut.size(), c.nColours);
        EXPECT_EQ(tim.header.reserved, 0xBEEF);
        EXPECT_EQ(tim.pPixels, file.data() + file.size() - 12);
        CMemStream out;
        ASSERT_EQ(WriteTimImage(out, tim), FMT_OK);
        EXPECT_EQ(out.Data(), file) << c.nFlags;
    }
}

TEST(TimImage, RefusalKeepsTheFieldsItsMessageNames)
{
    Bytes version = HandTim(0x09, 256, 1, 1);
    version[1] = 2;
    TimImage tim;
    EXPECT_EQ(ParseTimImage(version.data(), version.size(), tim), FMT_TIM_VERSION);
    EXPECT_EQ(tim.header.version, 2);
    EXPECT_EQ(tim.pPixels, nullptr);

    const Bytes mixed = HandTim(0x0C, 16, 1, 1);
    EXPECT_EQ(ParseTimImage(mixed.data(), mixed.size(), tim), FMT_TIM_MODE);
    EXPECT_EQ(tim.header.flags & TIM_FLAG_MODE_MASK, 4u);

    Bytes shortClut = HandTim(0x08, 16, 1, 1);
    PutLe32(&shortClut[8], 10);
    EXPECT_EQ(ParseTimImage(shortClut.data(), shortClut.size(), tim), FMT_TIM_CLUT_LENGTH);
    EXPECT_EQ(tim.clutBlock.length, 10u);

    // Indexed textures without a CLUT are read: their colours live in another file.
    for (const std::uint32_t nFlags : {0x00u, 0x01u})
    {
        const Bytes noClut = HandTim(nFlags, 0, 1, 1);
        ASSERT_EQ(ParseTimImage(noClut.data(), noClut.size(), tim), FMT_OK) << nFlags;
        EXPECT_EQ(tim.nBpp, nFlags == 0 ? 4 : 8);
        EXPECT_FALSE(tim.HasClut());
        EXPECT_TRUE(tim.clut.empty());
        EXPECT_EQ(tim.PaletteCount(), 0u);
        EXPECT_EQ(tim.nPixelWidth, nFlags == 0 ? 4u : 2u);
    }

    // 24 bits in one unit is two thirds of a pixel: none.
    const Bytes empty = HandTim(0x03, 0, 1, 4);
    EXPECT_EQ(ParseTimImage(empty.data(), empty.size(), tim), FMT_TIM_EMPTY);
    EXPECT_EQ(tim.nPixelWidth, 0u);
    EXPECT_EQ(tim.imageBlock.height, 4u);

    const Bytes cut = HandTim(0x09, 256, 2, 2);
    EXPECT_EQ(ParseTimImage(cut.data(), cut.size() - 1, tim), FMT_TIM_IMAGE_CUT);
    EXPECT_EQ(ParseTimImage(cut.data(), 7, tim), FMT_TIM_TRUNCATED);
    EXPECT_EQ(ParseTimImage(cut.data(), 100, tim), FMT_TIM_CLUT_CUT);
}

TEST(TimImage, WriterRefusesALengthOver32BitsBeforeWriting)
{
    TimImage tim;
    tim.header.flags = TIM_MODE_16BIT;
    tim.imageBlock.width = 0xFFFF;
    tim.imageBlock.height = 0xFFFF;
    CMemStream out;
    EXPECT_EQ(WriteTimImage(out, tim), FMT_TIM_TOO_LARGE);
    EXPECT_TRUE(out.Data().empty());
}

TEST(BmpImage, ShortColourTableIsWidenedWithBlackToTheHighestIndex)
{
    const Bytes file = HandBmp4(2, 5);
    BmpImage bmp;
    ASSERT_EQ(ParseBmpImage(file.data(), file.size(), {1u << 24, 1u << 28}, bmp), FMT_OK);
    EXPECT_EQ(bmp.nColors, 6u);
    EXPECT_EQ(bmp.palette.rgb[3], 0xC0);
    for (int i = 6; i < 18; ++i)
        EXPECT_EQ(bmp.palette.rgb[i], 0) << i;

    // No index past the table: the table stays as long as the file says.
    const Bytes fits = HandBmp4(8, 5);
    ASSERT_EQ(ParseBmpImage(fits.data(), fits.size(), {1u << 24, 1u << 28}, bmp), FMT_OK);
    EXPECT_EQ(bmp.nColors, 8u);
}

TEST(BmpImage, LimitsAndCutRunsRefuseWithNoPixels)
{
    const Bytes file = HandBmp4(16, 1);
    BmpImage bmp;
    EXPECT_EQ(ParseBmpImage(file.data(), file.size(), {7, 1u << 28}, bmp), FMT_BMP_TOO_LARGE);
    EXPECT_EQ(bmp.nWidth, 8u);
    EXPECT_EQ(bmp.nHeight, 2u);

    // An RLE8 absolute run of 6 bytes with only 3 present.
    Bytes rle = MakeSampleBmp(8, 2);
    rle.resize(BMP_PIXEL_OFFSET);
    rle.insert(rle.end(), {0, 6, 1, 2, 3});
    PutLe32(&rle[2], static_cast<std::uint32_t>(rle.size()));
    PutLe32(&rle[30], BMP_RLE8);
    EXPECT_EQ(ParseBmpImage(rle.data(), rle.size(), {1u << 24, 1u << 28}, bmp), FMT_BMP_RLE_CUT);
    EXPECT_TRUE(bmp.decoded.empty());
    EXPECT_EQ(ParseBmpImage(rle.data(), rle.size(), {1u << 24, 15}, bmp), FMT_BMP_RLE_TOO_SHORT);
}

// A blank RLE8 picture of W x 16 pixels: 15 ends of lines and the end, 1,110 bytes in all.
Bytes BlankRle8(std::int32_t nWidth)
{
    Bytes rle = MakeSampleBmp(8, 2);
    rle.resize(BMP_PIXEL_OFFSET);
    for (int i = 0; i < 15; ++i)
        rle.insert(rle.end(), {0, 0});
    rle.insert(rle.end(), {0, 1});
    PutLe32(&rle[2], static_cast<std::uint32_t>(rle.size()));
    PutLeS32(&rle[18], nWidth);
    PutLeS32(&rle[22], 16);
    PutLe32(&rle[30], BMP_RLE8);
    return rle;
}

TEST(BmpImage, RlePicturesDecodeToAtMostTheirRatioOfTheFile)
{
    // 1024 x 1,110 bytes = 1,136,640 pixels = 71,040 x 16.
    const BmpImageLimits limits{1u << 24, 1u << 28, BMP_RLE_MAX_PIXELS_PER_BYTE, 0};
    BmpImage bmp;
    const Bytes fits = BlankRle8(71040);
    ASSERT_EQ(fits.size(), 1110u);
    EXPECT_EQ(ParseBmpImage(fits.data(), fits.size(), limits, bmp), FMT_OK);
    EXPECT_EQ(bmp.decoded.size(), 71040u * 16);
    const Bytes over = BlankRle8(71041);
    EXPECT_EQ(ParseBmpImage(over.data(), over.size(), limits, bmp), FMT_BMP_RLE_TOO_LARGE);
    EXPECT_TRUE(bmp.decoded.empty());
    // The file is what counts, when only its item's bytes are given.
    BmpImageLimits larger = limits;
    larger.nFileSize = 2 * over.size();
    EXPECT_EQ(ParseBmpImage(over.data(), over.size(), larger, bmp), FMT_OK);
    // Without the ratio, as the scan reads, the picture is decoded.
    EXPECT_EQ(ParseBmpImage(over.data(), over.size(), {1u << 24, 1u << 28, 0, 0}, bmp), FMT_OK);
}

TEST(BfntImage, SixteenColoursMissingTheByteOfAnOddLastPixel)
{
    // 3 x 3 cells, one glyph: 9 pixels in 4 bytes and the high nibble of a fifth.
    Bytes file = MakeSampleBfnt16(3, 3, 0, 0, false);
    ASSERT_EQ(file.size(), BFNT_HEADER_SIZE + 5);
    BfntImage f;
    ASSERT_EQ(ParseBfntImage(file.data(), file.size(), f), FMT_OK);
    EXPECT_EQ(f.nGlyphBytes, 5u);
    EXPECT_EQ(f.Pixel(0, 2, 2), 8);
    file.pop_back();
    ASSERT_EQ(ParseBfntImage(file.data(), file.size(), f), FMT_OK);
    EXPECT_EQ(f.nGlyphBytes, 4u);
    EXPECT_EQ(f.Pixel(0, 2, 1), 7);
    EXPECT_EQ(f.Pixel(0, 2, 2), 0);

    Bytes backwards = MakeSampleBfnt(2, 2, 5, 6);
    PutLe16(&backwards[14], 4);
    EXPECT_EQ(ParseBfntImage(backwards.data(), backwards.size(), f), FMT_BFNT_CODES);
    EXPECT_EQ(f.header.lastCode, 4);
    EXPECT_EQ(f.header.firstCode, 5);
}

TEST(BfntImage, WritesSheetsOfBothDepthsAsTheyWereRead)
{
    const Bytes files[] = {MakeSampleBfnt16(8, 8, 48, 90), MakeSampleBfnt16(4, 2, 0, 6, false),
                           MakeSampleBfnt16(3, 3, 0, 0), MakeSampleBfnt(4, 3, 2, 9, 5), MakeSampleBfnt(3, 2, 0, 4)};
    for (const Bytes& file : files)
    {
        BfntImage f;
        ASSERT_EQ(ParseBfntImage(file.data(), file.size(), f), FMT_OK);
        CMemStream out;
        ASSERT_EQ(WriteBfntImage(out, f), FMT_OK);
        EXPECT_EQ(out.Data(), file);
    }

    // A sheet whose odd last pixel has no byte cannot be written as it is: the writer needs
    // the bytes the header describes, and refuses before anything is written.
    Bytes odd = MakeSampleBfnt16(3, 3, 0, 0, false);
    odd.pop_back();
    BfntImage f;
    ASSERT_EQ(ParseBfntImage(odd.data(), odd.size(), f), FMT_OK);
    CMemStream refused;
    EXPECT_EQ(WriteBfntImage(refused, f), FMT_BAD_RECORD);
    EXPECT_TRUE(refused.Data().empty());
}

TEST(Bfnt, WritingWithoutPaletteLeavesOutTheBlockAndItsBit)
{
    const Bytes file = MakeSampleBfnt(4, 3, 2, 9, 5);
    RgbPalette pal{};
    CBfntData bfnt;
    bfnt.m_pPalette = &pal;
    CMemStream in(file);
    ASSERT_EQ(bfnt.ReadBfnt(in, 1), FMT_OK);
    CMemStream with;
    CMemStream without;
    ASSERT_EQ(bfnt.WriteBfnt(with), FMT_OK);
    ASSERT_EQ(bfnt.WriteBfntWithoutPalette(without), FMT_OK);
    Bytes expected = with.Data();
    const auto at = expected.begin() + BFNT_HEADER_SIZE + 5;
    expected.erase(at, at + BFNT_PALETTE_256_SIZE);
    expected[5] = static_cast<std::uint8_t>(expected[5] & ~BFNT_PALETTE);
    EXPECT_EQ(without.Data(), expected);
    EXPECT_EQ(with.Data(), file);
}

TEST(SaveTypeFromPath, LastFourBytesOfTheViewOnlyAsciiLowered)
{
    const std::string strPath = "pic.BmPx";
    EXPECT_EQ(SaveTypeFromPath(std::string_view(strPath).substr(0, 7)), DATA_BMP);
    EXPECT_EQ(SaveTypeFromPath(strPath), DATA_BFNT);
    EXPECT_EQ(SaveTypeFromPath("dir.tim/x.TIM"), DATA_TIM);
    EXPECT_EQ(SaveTypeFromPath(".bmp"), DATA_BMP);
    EXPECT_EQ(SaveTypeFromPath("bmp"), DATA_BFNT);
    EXPECT_EQ(SaveTypeFromPath(""), DATA_BFNT);
    EXPECT_EQ(SaveTypeFromPath("x.t\xC4m"), DATA_BFNT);  // a byte above ASCII is not a letter here
    EXPECT_EQ(SaveTypeFromPath(std::string_view("a.tim\0", 6)), DATA_BFNT);
}
