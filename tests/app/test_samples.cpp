// The shipped samples: each one is read by its own reader at the size it promises, and is
// recognised as its own format by its first bytes.

#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/DataKinds.h"
#include "formats/MemStream.h"
#include "formats/RgbPalette.h"
#include "formats/Tim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace
{

CMemStream LoadSample(const char* pszName)
{
    std::ifstream file(std::string(VELLUM_SAMPLES_DIR) + "/" + pszName, std::ios::binary);
    EXPECT_TRUE(file.good()) << pszName;
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return CMemStream(std::move(data));
}

TEST(Samples, EachIsRecognisedAsItsFormatByItsFirstBytes)
{
    const std::pair<const char*, int> kCases[] = {
        {"picture.bmp", DATA_BMP}, {"picture.tim", DATA_TIM}, {"font256.fnt", DATA_BFNT}, {"font16.fnt", DATA_BFNT}};
    for (const auto& [pszName, nKind] : kCases)
    {
        CMemStream file = LoadSample(pszName);
        const std::vector<std::uint8_t>& data = file.Data();
        EXPECT_EQ(DetectDataType(data.data(), std::min(data.size(), DATA_SIGNATURE_SIZE)), nKind) << pszName;
        // The program's own load, which reads the signature from the file, takes it as that kind.
        RgbPalette pal{};
        CBmpData bmp;
        CTimData tim;
        CBfntData bfnt;
        const LoadOutcome load = LoadData(file, DataRecords{bmp, tim, bfnt}, pal);
        EXPECT_EQ(load.nDataType, nKind) << pszName;
        EXPECT_EQ(load.nFailure, LOAD_OK) << pszName;
    }
}

TEST(Samples, BmpReadsAt128x96)
{
    CMemStream file = LoadSample("picture.bmp");
    RgbPalette pal{};
    CBmpData bmp;
    bmp.m_pPalette = &pal;
    ASSERT_EQ(bmp.ReadBmp(file, true), 0);
    EXPECT_EQ(bmp.m_infoHeader.biWidth, 128);
    EXPECT_EQ(bmp.m_infoHeader.biHeight, 96);
    EXPECT_TRUE(bmp.HasCompleteImage());
}

TEST(Samples, TimReadsAt96x64)
{
    CMemStream file = LoadSample("picture.tim");
    RgbPalette pal{};
    CTimData tim;
    tim.m_pPalette = &pal;
    ASSERT_EQ(tim.ReadTim(file, true), 0);
    EXPECT_EQ(2 * tim.m_imageWidth, 96);
    EXPECT_EQ(tim.m_imageHeight, 64);
    // Pixels land on image colours only.
    for (std::size_t i = 0; i < tim.PixelByteCount(); ++i)
        ASSERT_TRUE(tim.m_pPixels[i] >= PAL_FIRST_IMAGE_COLOR && tim.m_pPixels[i] < PAL_FIRST_IMAGE_COLOR + PAL_IMAGE_COLORS)
            << i;
}

TEST(Samples, FontSheets)
{
    struct Case
    {
        const char* pszName;
        int nFirstRead;  // result of ReadBfnt256
        int nCell, nFirst, nLast;
    };
    const Case kCases[] = {
        {"font256.fnt", 0, 16, 32, 90},
        {"font16.fnt", 5, 8, 48, 90},
    };
    for (const auto& c : kCases)
    {
        CMemStream file = LoadSample(c.pszName);
        RgbPalette pal{};
        CBfntData bfnt;
        bfnt.m_pPalette = &pal;
        ASSERT_EQ(bfnt.ReadBfnt256(file), c.nFirstRead) << c.pszName;
        if (c.nFirstRead != 0)
        {
            file.Seek(0, STREAM_BEGIN);
            ASSERT_EQ(bfnt.ReadBfnt(file, 1), 0) << c.pszName;
        }
        EXPECT_EQ(bfnt.m_header.glyphWidth, c.nCell) << c.pszName;
        EXPECT_EQ(bfnt.m_header.glyphHeight, c.nCell) << c.pszName;
        EXPECT_EQ(bfnt.m_header.firstCode, c.nFirst) << c.pszName;
        EXPECT_EQ(bfnt.m_header.lastCode, c.nLast) << c.pszName;
        EXPECT_TRUE(bfnt.HasCompleteGlyphs()) << c.pszName;
    }
}

}  // namespace
