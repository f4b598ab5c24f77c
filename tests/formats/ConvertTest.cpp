#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
RgbPalette g_pal = SamplePalette();
// Where a buffer's address goes so the compiler cannot drop the buffer.
const std::uint8_t* volatile g_pEscape = nullptr;


void LoadBmp(CBmpData& b, int w, int h)
{
    CMemStream s(MakeSampleBmp(w, h));
    b.m_pPalette = &g_pal;
    ASSERT_EQ(b.ReadBmp(s, true), FMT_OK);
}

void LoadTim(CTimData& t, int units, int h)
{
    CMemStream s(MakeSampleTim(units, h));
    t.m_pPalette = &g_pal;
    ASSERT_EQ(t.ReadTim(s, true), FMT_OK);
}

void LoadBfnt(CBfntData& b, int gw, int gh, int first, int last)
{
    CMemStream s(MakeSampleBfnt(gw, gh, first, last));
    b.m_pPalette = &g_pal;
    ASSERT_EQ(b.ReadBfnt256(s), FMT_OK);
}
}  // namespace

TEST(Convert, BmpToTim256x64)
{
    CBmpData bmp;
    LoadBmp(bmp, 256, 64);
    CTimData tim;
    ASSERT_EQ(bmp.BmpToTim(tim), FMT_OK);
    EXPECT_EQ(tim.m_imageWidth, 128);
    EXPECT_EQ(tim.m_imageHeight, 64);
    EXPECT_EQ(tim.m_imageLength, 16396u);
    EXPECT_EQ(tim.m_clutLength, 524u);
    EXPECT_EQ(tim.m_id, 0x10);
    EXPECT_EQ(tim.m_flags, 9u);
    EXPECT_EQ(tim.m_clutWidth, 256);
    EXPECT_EQ(tim.m_clutHeight, 1);
    EXPECT_EQ(tim.m_pPalette, &g_pal);
    ASSERT_EQ(tim.m_nPixelsSize, 16384u);
    EXPECT_EQ(0, std::memcmp(tim.m_pPixels.get(), bmp.m_pBits.get(), 16384));
}

TEST(Convert, OddBmpWidthGetsAPaddingColumnInTim)
{
    CBmpData bmp;
    LoadBmp(bmp, 255, 3);
    CTimData tim;
    ASSERT_EQ(bmp.BmpToTim(tim), FMT_OK);
    EXPECT_EQ(tim.m_imageWidth, 128);
    EXPECT_EQ(tim.m_imageLength, 12u + 256 * 3);
    EXPECT_EQ(tim.m_pPixels[255], 0);
    EXPECT_EQ(tim.m_pPixels[256], SamplePixel(0, 1));
    // The file it writes reads back with the same pixels.
    CMemStream s;
    ASSERT_EQ(tim.WriteTim(s), FMT_OK);
    EXPECT_EQ(s.GetLength(), 544u + 256 * 3);
    s.Seek(0, STREAM_BEGIN);
    CTimData back;
    back.m_pPalette = &g_pal;
    ASSERT_EQ(back.ReadTim(s, true), FMT_OK);
    EXPECT_EQ(back.m_imageLength, tim.m_imageLength);
    EXPECT_EQ(0, std::memcmp(back.m_pPixels.get(), tim.m_pPixels.get(), 256 * 3));
}

TEST(Convert, TimToBmp40x30)
{
    CTimData tim;
    LoadTim(tim, 40, 30);
    CBmpData bmp;
    ASSERT_EQ(tim.TimToBmp(bmp), FMT_OK);
    EXPECT_EQ(bmp.m_infoHeader.biWidth, 80);
    EXPECT_EQ(bmp.m_infoHeader.biHeight, 30);
    EXPECT_EQ(bmp.m_infoHeader.biSizeImage, 2400u);
    EXPECT_EQ(bmp.m_fileHeader.bfSize, 3478u);
    EXPECT_EQ(bmp.m_fileHeader.bfOffBits, 1078u);
    EXPECT_EQ(bmp.m_fileHeader.bfType, 0x4D42);
    EXPECT_EQ(bmp.m_infoHeader.biSize, 40u);
    EXPECT_EQ(bmp.m_infoHeader.biPlanes, 1);
    EXPECT_EQ(bmp.m_infoHeader.biBitCount, 8);
    EXPECT_EQ(0, std::memcmp(bmp.m_pBits.get(), tim.m_pPixels.get(), 2400));
}

// Every reader takes rows padded to 4 bytes; a converted image is a new file, so it gets
// them, with zero padding. Widths that are a multiple of 4 need none.
TEST(Convert, ConversionsIntoBmpPadRowsToFourBytes)
{
    struct Case
    {
        const char* pszName;
        int nGlyphWidth;  // 0: a TIM of nUnits x 3
        int nUnits;
        std::uint32_t nWidth;
    };
    const Case cases[] = {{"tim 2", 0, 1, 2},   {"tim 6", 0, 3, 6},           {"tim 8", 0, 4, 8},
                          {"tim 1002", 0, 501, 1002}, {"cells of 3", 3, 0, 255}, {"cells of 11", 11, 0, 253},
                          {"cells of 129", 129, 0, 129}, {"cells of 8", 8, 0, 256}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        CBmpData bmp;
        if (c.nGlyphWidth == 0)
        {
            CTimData tim;
            LoadTim(tim, c.nUnits, 3);
            ASSERT_EQ(tim.TimToBmp(bmp), FMT_OK);
        }
        else
        {
            CBfntData bfnt;
            LoadBfnt(bfnt, c.nGlyphWidth, 2, 0, 300);
            ASSERT_EQ(bfnt.BfntToBmp(bmp), FMT_OK);
        }
        ASSERT_EQ(static_cast<std::uint32_t>(bmp.m_infoHeader.biWidth), c.nWidth);
        const auto nHeight = static_cast<std::uint32_t>(bmp.m_infoHeader.biHeight);
        const std::uint32_t nStride = (c.nWidth + 3) / 4 * 4;
        EXPECT_EQ(bmp.m_infoHeader.biSizeImage, nStride * nHeight);
        EXPECT_EQ(bmp.m_fileHeader.bfSize, 1078 + nStride * nHeight);
        EXPECT_EQ(bmp.FileRowLength(), nStride);

        CMemStream file;
        ASSERT_EQ(bmp.WriteBmp(file), FMT_OK);
        const std::vector<std::uint8_t>& bytes = file.Data();
        ASSERT_EQ(bytes.size(), 1078 + nStride * nHeight);
        for (std::uint32_t y = 0; y < nHeight; ++y)
        {
            const std::uint8_t* pRow = bytes.data() + 1078 + (nHeight - 1 - y) * nStride;
            ASSERT_EQ(0, std::memcmp(pRow, bmp.m_pBits.get() + std::size_t{y} * c.nWidth, c.nWidth)) << "row " << y;
            for (std::uint32_t x = c.nWidth; x < nStride; ++x)
                ASSERT_EQ(pRow[x], 0) << "row " << y << " pad " << x;
        }
        CBmpData back;
        back.m_pPalette = &g_pal;
        file.Seek(0, STREAM_BEGIN);
        ASSERT_EQ(back.ReadBmp(file, true), FMT_OK);
        EXPECT_EQ(back.FileRowLength(), nStride);
        ASSERT_EQ(back.m_nBitsSize, bmp.m_nBitsSize);
        EXPECT_EQ(0, std::memcmp(back.m_pBits.get(), bmp.m_pBits.get(), bmp.m_nBitsSize));
    }
}

TEST(Convert, BfntToBmpLaysOutWholeCells)
{
    CBfntData bfnt;
    LoadBfnt(bfnt, 8, 16, 32, 127);
    CBmpData bmp;
    ASSERT_EQ(bfnt.BfntToBmp(bmp), FMT_OK);
    EXPECT_EQ(bmp.m_infoHeader.biWidth, 256);
    EXPECT_EQ(bmp.m_infoHeader.biHeight, 48);
    EXPECT_EQ(bmp.m_infoHeader.biSizeImage, 12288u);
    EXPECT_EQ(bmp.m_fileHeader.bfSize, 13366u);
    // Code 64 is glyph 32: image row 16, column 0.
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 8; ++c)
            ASSERT_EQ(bmp.m_pBits[static_cast<std::size_t>((16 + r) * 256 + c)], SampleGlyphPixel(32, static_cast<std::uint64_t>(r), static_cast<std::uint64_t>(c)));

    CBfntData twelve;
    LoadBfnt(twelve, 12, 12, 0, 99);
    {
        // Dirty memory of the image's size left behind, for the conversion's buffer to
        // reuse: any pixel it does not write shows.
        std::vector<std::uint8_t> dirty(252 * 60, 0xAA);
        g_pEscape = dirty.data();
    }
    ASSERT_EQ(twelve.BfntToBmp(bmp), FMT_OK);
    EXPECT_EQ(bmp.m_infoHeader.biWidth, 252);
    EXPECT_EQ(bmp.m_infoHeader.biHeight, 60);
    // Last row of cells holds 16 glyphs (84..99); the rest of it is colour 0.
    EXPECT_EQ(bmp.m_pBits[static_cast<std::size_t>(48 * 252 + 15 * 12)], SampleGlyphPixel(99, 0, 0));
    for (std::size_t y = 48; y < 60; ++y)
        for (std::size_t x = 16 * 12; x < 252; ++x)
            ASSERT_EQ(bmp.m_pBits[y * 252 + x], 0) << x << "," << y;
}

TEST(Convert, BfntToBmpPutsTheSheetBackInRowOrderZero)
{
    CBfntData bfnt;
    LoadBfnt(bfnt, 4, 2, 0, 2);
    bfnt.SetBfntRowOrder(1);
    CBmpData bmp;
    ASSERT_EQ(bfnt.BfntToBmp(bmp), FMT_OK);
    EXPECT_EQ(bfnt.m_nRowOrder, 0);
    EXPECT_EQ(bmp.m_pBits[0], SampleGlyphPixel(0, 0, 0));
    EXPECT_EQ(bmp.m_pBits[256], SampleGlyphPixel(0, 1, 0));
}

TEST(Convert, TimToBfntPadsEdgeCellsWithZero)
{
    CTimData tim;
    LoadTim(tim, 10, 20);
    CBfntData bfnt;
    ASSERT_EQ(tim.TimToBfnt(bfnt, 16), FMT_OK);
    EXPECT_EQ(bfnt.m_header.lastCode, 3);
    ASSERT_EQ(bfnt.m_nGlyphsSize, 4u * 256);
    const std::uint8_t* pCell1 = bfnt.m_pGlyphs.get() + 256;
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            ASSERT_EQ(pCell1[r * 16 + c], c < 4 ? SamplePixel(static_cast<std::uint64_t>(16 + c), static_cast<std::uint64_t>(r)) : 0);
    for (int cell = 2; cell < 4; ++cell)
        for (int k = 4 * 16; k < 256; ++k)
            ASSERT_EQ(bfnt.m_pGlyphs[static_cast<std::size_t>(cell * 256 + k)], 0);
    const std::uint8_t head[] = {0x42, 0x46, 0x4E, 0x54, 0x1A, 0x87, 0x16, 0x00, 16, 0, 16, 0, 0, 0, 3, 0};
    CMemStream s;
    ASSERT_EQ(bfnt.WriteBfnt(s), FMT_OK);
    EXPECT_EQ(0, std::memcmp(s.Data().data(), head, 16));
    for (std::size_t i = 16; i < 32; ++i)
        EXPECT_EQ(s.Data()[i], 0);
}

TEST(Convert, BmpToBfntReplacesADrawnSheet)
{
    CBfntData bfnt;
    {
        CMemStream s(MakeSampleBfnt(4, 4, 0, 0, 9));
        bfnt.m_pPalette = &g_pal;
        ASSERT_EQ(bfnt.ReadBfnt256(s), FMT_OK);
    }
    bfnt.SetBfntRowOrder(1);
    CBmpData bmp;
    LoadBmp(bmp, 16, 16);
    ASSERT_EQ(bmp.BmpToBfnt(bfnt, 16), FMT_OK);
    EXPECT_EQ(bfnt.m_nRowOrder, 0);
    EXPECT_EQ(bfnt.m_header.extensionLength, 0);
    EXPECT_EQ(bfnt.m_pExtension, nullptr);
    EXPECT_EQ(bfnt.m_header.firstCode, 0);
    EXPECT_EQ(bfnt.m_header.lastCode, 0);
    EXPECT_EQ(0, std::memcmp(bfnt.m_pGlyphs.get(), bmp.m_pBits.get(), 256));
    CMemStream s;
    ASSERT_EQ(bfnt.WriteBfnt(s), FMT_OK);
    EXPECT_EQ(s.GetLength(), 32u + 768 + 256);
    EXPECT_EQ(0, std::memcmp(s.Data().data() + 800, bmp.m_pBits.get(), 256));
}

TEST(Convert, OutOfBoundsSourcesAreRefusedAndTargetsKept)
{
    CBmpData bmpTarget;
    LoadBmp(bmpTarget, 2, 2);
    CTimData timTarget;
    LoadTim(timTarget, 1, 1);
    CBfntData bfntTarget;
    LoadBfnt(bfntTarget, 2, 2, 0, 0);
    const std::uint8_t* pBmpBits = bmpTarget.m_pBits.get();
    const std::uint8_t* pTimPixels = timTarget.m_pPixels.get();
    const std::uint8_t* pGlyphs = bfntTarget.m_pGlyphs.get();
    auto unchanged = [&] {
        EXPECT_EQ(bmpTarget.m_pBits.get(), pBmpBits);
        EXPECT_EQ(bmpTarget.m_infoHeader.biWidth, 2);
        EXPECT_EQ(timTarget.m_pPixels.get(), pTimPixels);
        EXPECT_EQ(timTarget.m_imageWidth, 1);
        EXPECT_EQ(bfntTarget.m_pGlyphs.get(), pGlyphs);
        EXPECT_EQ(bfntTarget.m_header.glyphWidth, 2);
    };

    for (int gw : {0, 257})
    {
        CBfntData src;
        LoadBfnt(src, 2, 2, 0, 3);
        src.m_header.glyphWidth = static_cast<std::uint16_t>(gw);
        EXPECT_EQ(src.BfntToBmp(bmpTarget), FMT_BAD_SOURCE) << gw;
    }
    {
        CBfntData src;  // all 65536 codes
        src.m_header.glyphWidth = 1;
        src.m_header.glyphHeight = 1;
        src.m_header.lastCode = 0xFFFF;
        src.m_pGlyphs = std::make_unique<std::uint8_t[]>(65536);
        src.m_nGlyphsSize = 65536;
        EXPECT_EQ(src.BfntToBmp(bmpTarget), FMT_BAD_SOURCE);
        src.m_nGlyphsSize = 100;  // header larger than its buffer
        src.m_header.lastCode = 200;
        EXPECT_EQ(src.BfntToBmp(bmpTarget), FMT_BAD_SOURCE);
    }
    {
        CBmpData src;  // no pixels: a TIM can hold it, a sheet cannot
        EXPECT_EQ(src.BmpToBfnt(bfntTarget, 16), FMT_BAD_SOURCE);
        src.m_infoHeader.biWidth = -2;
        src.m_infoHeader.biHeight = 2;
        EXPECT_EQ(src.BmpToTim(timTarget), FMT_BAD_SOURCE);
        src.m_infoHeader.biWidth = 2;  // a header that promises pixels the record lacks
        EXPECT_EQ(src.BmpToTim(timTarget), FMT_BAD_SOURCE);
    }
    {
        CBmpData src;
        LoadBmp(src, 4, 4);
        EXPECT_EQ(src.BmpToBfnt(bfntTarget, 0x10000), FMT_BAD_SOURCE);  // low 16 bits: 0
        src.m_infoHeader.biHeight = 65536;
        EXPECT_EQ(src.BmpToTim(timTarget), FMT_BAD_SOURCE);
        src.m_infoHeader.biHeight = 5;  // more rows than the buffer holds
        EXPECT_EQ(src.BmpToTim(timTarget), FMT_BAD_SOURCE);
        EXPECT_EQ(src.BmpToBfnt(bfntTarget, 16), FMT_BAD_SOURCE);
        src.m_infoHeader.biHeight = -4;
        EXPECT_EQ(src.BmpToTim(timTarget), FMT_BAD_SOURCE);
    }
    {
        CBmpData src;  // 65536 cells of one pixel are one too many
        LoadBmp(src, 256, 256);
        EXPECT_EQ(src.BmpToBfnt(bfntTarget, 1), FMT_BAD_SOURCE);
    }
    {
        CTimData src;
        EXPECT_EQ(src.TimToBfnt(bfntTarget, 16), FMT_BAD_SOURCE);
        src.m_imageWidth = 3;
        src.m_imageHeight = 3;
        EXPECT_EQ(src.TimToBmp(bmpTarget), FMT_BAD_SOURCE);
        src.m_pPixels = std::make_unique<std::uint8_t[]>(17);
        src.m_nPixelsSize = 17;  // one byte short of 6 x 3
        EXPECT_EQ(src.TimToBmp(bmpTarget), FMT_BAD_SOURCE);
    }
    unchanged();

    // Just inside the bounds: 65535 one-pixel cells.
    CBmpData src;
    LoadBmp(src, 65535, 1);
    EXPECT_EQ(src.BmpToBfnt(bfntTarget, 1), FMT_OK);
    EXPECT_EQ(bfntTarget.m_header.lastCode, 65534);
}

// An image with no pixels is still an image: BMP and TIM hold it (a buffer of
// width x height bytes, here none); only the conversions into BFNT need a cell.
TEST(Convert, EmptyImagesConvertBetweenBmpAndTimByteForByte)
{
    // The colour blocks are those of any file written with the same palette.
    const std::vector<std::uint8_t> anyTim = MakeSampleTim(1, 1);
    const std::vector<std::uint8_t> anyBmp = MakeSampleBmp(1, 1);

    CBmpData bmp;
    LoadBmp(bmp, 8, 0);
    CTimData tim;
    ASSERT_EQ(bmp.BmpToTim(tim), FMT_OK);
    CMemStream timFile;
    ASSERT_EQ(tim.WriteTim(timFile), FMT_OK);
    std::vector<std::uint8_t> wantTim = {
        0x10, 0, 0, 0,     // id, version, reserved
        9, 0, 0, 0,        // flags: 8 bits with a CLUT
        0x0C, 0x02, 0, 0,  // CLUT block length 524
        0, 0, 0, 0,        // CLUT x, y
        0x00, 0x01, 1, 0,  // 256 colours, one table
    };
    wantTim.insert(wantTim.end(), anyTim.begin() + 20, anyTim.begin() + 532);
    const std::vector<std::uint8_t> timImage = {
        12, 0, 0, 0,  // image block length: the header alone
        0, 0, 0, 0,   // image x, y
        4, 0,         // width: 4 units of two pixels
        0, 0,         // height 0, and no pixel bytes follow
    };
    wantTim.insert(wantTim.end(), timImage.begin(), timImage.end());
    EXPECT_EQ(timFile.Data(), wantTim);

    CTimData timBack;
    timBack.m_pPalette = &g_pal;
    timFile.Seek(0, STREAM_BEGIN);
    ASSERT_EQ(timBack.ReadTim(timFile, true), FMT_OK);
    EXPECT_EQ(timBack.m_imageWidth, 4);
    EXPECT_EQ(timBack.m_imageHeight, 0);
    EXPECT_EQ(timBack.m_imageLength, 12u);
    EXPECT_EQ(timBack.m_nPixelsSize, 0u);

    LoadTim(tim, 0, 4);
    ASSERT_EQ(tim.TimToBmp(bmp), FMT_OK);
    CMemStream bmpFile;
    ASSERT_EQ(bmp.WriteBmp(bmpFile), FMT_OK);
    std::vector<std::uint8_t> wantBmp = {
        'B', 'M',
        0x36, 0x04, 0, 0,  // bfSize 1078: headers and colours only
        0, 0, 0, 0,        // reserved
        0x36, 0x04, 0, 0,  // bfOffBits 1078
        40, 0, 0, 0,       // biSize
        0, 0, 0, 0,        // biWidth 0
        4, 0, 0, 0,        // biHeight 4
        1, 0, 8, 0,        // planes, bits per pixel
        0, 0, 0, 0,        // no compression
        0, 0, 0, 0,        // biSizeImage 0
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    };
    wantBmp.insert(wantBmp.end(), anyBmp.begin() + 54, anyBmp.begin() + 1078);
    EXPECT_EQ(bmpFile.Data(), wantBmp);

    CBmpData bmpBack;
    bmpBack.m_pPalette = &g_pal;
    bmpFile.Seek(0, STREAM_BEGIN);
    ASSERT_EQ(bmpBack.ReadBmp(bmpFile, true), FMT_OK);
    EXPECT_EQ(bmpBack.m_infoHeader.biWidth, 0);
    EXPECT_EQ(bmpBack.m_infoHeader.biHeight, 4);
    EXPECT_EQ(bmpBack.m_infoHeader.biSizeImage, 0u);
    EXPECT_EQ(bmpBack.m_fileHeader.bfSize, 1078u);
}

TEST(Convert, EmptyImagesKeepTheirSizeAndOnlySheetsRefuseThem)
{
    struct Case
    {
        const char* pszName;
        int nBmpWidth, nBmpHeight;  // of the image the source shows
    };
    for (const Case& c : {Case{"8x0", 8, 0}, Case{"0x4", 0, 4}, Case{"0x0", 0, 0}, Case{"7x0", 7, 0}})
    {
        SCOPED_TRACE(c.pszName);
        CBmpData bmp;
        LoadBmp(bmp, c.nBmpWidth, c.nBmpHeight);
        CTimData tim;
        ASSERT_EQ(bmp.BmpToTim(tim), FMT_OK);
        EXPECT_EQ(tim.m_imageWidth, (c.nBmpWidth + 1) / 2);
        EXPECT_EQ(tim.m_imageHeight, c.nBmpHeight);
        EXPECT_EQ(tim.m_imageLength, 12u);
        CBmpData again;
        ASSERT_EQ(tim.TimToBmp(again), FMT_OK);
        EXPECT_EQ(again.m_infoHeader.biWidth, 2 * tim.m_imageWidth);
        EXPECT_EQ(again.m_infoHeader.biHeight, c.nBmpHeight);
        EXPECT_EQ(again.m_fileHeader.bfSize, 1078u);

        CBfntData bfnt;
        LoadBfnt(bfnt, 2, 2, 0, 0);
        EXPECT_EQ(bmp.BmpToBfnt(bfnt, 16), FMT_BAD_SOURCE);
        EXPECT_EQ(tim.TimToBfnt(bfnt, 16), FMT_BAD_SOURCE);
        EXPECT_EQ(bfnt.m_header.glyphWidth, 2);
    }

    // Cells of height 0 lay out as an image of height 0, which goes on into TIM.
    CBfntData flat;
    LoadBfnt(flat, 8, 0, 32, 127);
    CBmpData bmp;
    ASSERT_EQ(flat.BfntToBmp(bmp), FMT_OK);
    EXPECT_EQ(bmp.m_infoHeader.biWidth, 256);
    EXPECT_EQ(bmp.m_infoHeader.biHeight, 0);
    CTimData tim;
    ASSERT_EQ(bmp.BmpToTim(tim), FMT_OK);
    EXPECT_EQ(tim.m_imageWidth, 128);
    EXPECT_EQ(tim.m_imageHeight, 0);
}
