// Every source format times every target, as the save driver runs them:
// convert, write, recognise the written bytes, read back, compare pixels and colours.

#include "formats/DataKinds.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
struct Records
{
    RgbPalette pal{};
    CBmpData bmp;
    CTimData tim;
    CBfntData bfnt;
    DataRecords Refs() { return {bmp, tim, bfnt}; }

    // As the driver loads: the kind comes from the bytes.
    LoadOutcome Read(const std::vector<std::uint8_t>& bytes)
    {
        CMemStream s(bytes);
        return LoadData(s, Refs(), pal);
    }
    std::vector<std::uint8_t> Write(int nKind)
    {
        CMemStream s;
        EXPECT_EQ(WriteData(Refs(), nKind, s, pal), FMT_OK);
        return s.TakeData();
    }
    // The image a record shows, as rows of bytes: sheets are laid out as the BMP conversion does.
    std::vector<std::vector<std::uint8_t>> Image(int nKind)
    {
        if (nKind == DATA_BFNT)
        {
            CBmpData laid;
            EXPECT_EQ(bfnt.BfntToBmp(laid), FMT_OK);
            return ImageOf(laid.m_pBits.get(), static_cast<std::size_t>(laid.m_infoHeader.biWidth), static_cast<std::size_t>(laid.m_infoHeader.biHeight));
        }
        if (nKind == DATA_BMP)
            return ImageOf(bmp.m_pBits.get(), static_cast<std::size_t>(bmp.m_infoHeader.biWidth), static_cast<std::size_t>(bmp.m_infoHeader.biHeight));
        return ImageOf(tim.m_pPixels.get(), 2u * tim.m_imageWidth, tim.m_imageHeight);
    }
    static std::vector<std::vector<std::uint8_t>> ImageOf(const std::uint8_t* p, std::size_t w, std::size_t h)
    {
        std::vector<std::vector<std::uint8_t>> rows;
        for (std::size_t y = 0; y < h; ++y)
            rows.emplace_back(p + y * w, p + (y + 1) * w);
        return rows;
    }
};

struct Source
{
    const char* name;
    int kind;
    std::vector<std::uint8_t> bytes;
};
}  // namespace

TEST(RoundTrip, EverySourceToEveryTarget)
{
    const Source sources[] = {
        {"bmp 32x20", DATA_BMP, MakeSampleBmp(32, 20)},
        {"bmp 31x17 padded", DATA_BMP, MakeSampleBmp(31, 17, true)},
        {"tim 16x20", DATA_TIM, MakeSampleTim(16, 20)},
        {"bfnt 8x8 x 40", DATA_BFNT, MakeSampleBfnt(8, 8, 0, 39)},
        {"bfnt 5x7 x 60", DATA_BFNT, MakeSampleBfnt(5, 7, 32, 91)},
    };
    const RgbPalette want = SamplePalette();
    for (const Source& src : sources)
        for (int to : {DATA_BMP, DATA_TIM, DATA_BFNT})
        {
            SCOPED_TRACE(testing::Message() << src.name << " -> " << to);
            Records rec;
            const LoadOutcome load = rec.Read(src.bytes);
            ASSERT_EQ(load.nDataType, src.kind);
            ASSERT_EQ(load.nFailure, LOAD_OK);
            const auto srcImage = rec.Image(src.kind);
            ASSERT_EQ(ConvertData(rec.Refs(), src.kind, to), FMT_OK);
            const auto written = rec.Write(to);

            Records back;
            std::memset(back.pal.rgb, 0x77, 768);
            const LoadOutcome again = back.Read(written);
            ASSERT_EQ(again.nDataType, to);  // recognised as what it was written as
            ASSERT_EQ(again.nFailure, LOAD_OK);
            EXPECT_EQ(0, std::memcmp(back.pal.rgb, want.rgb, 768));
            EXPECT_EQ(back.Image(to), rec.Image(to));  // the file holds what the record held

            // The source's pixels survive in the target (BFNT targets are cut into 16 x 16 cells).
            if (to == DATA_BFNT && src.kind != DATA_BFNT)
            {
                const auto& g = back.bfnt;
                const std::size_t nAcross = (srcImage[0].size() + 15) / 16;
                for (std::size_t y = 0; y < srcImage.size(); ++y)
                    for (std::size_t x = 0; x < srcImage[y].size(); ++x)
                    {
                        const std::size_t nCell = (y / 16) * nAcross + x / 16;
                        ASSERT_EQ(g.m_pGlyphs[nCell * 256 + (y % 16) * 16 + x % 16], srcImage[y][x]) << x << "," << y;
                    }
            }
            else
            {
                const auto dstImage = back.Image(to);
                ASSERT_EQ(dstImage.size(), srcImage.size());
                for (std::size_t y = 0; y < srcImage.size(); ++y)
                    ASSERT_EQ(std::vector<std::uint8_t>(dstImage[y].begin(), dstImage[y].begin() + static_cast<std::ptrdiff_t>(srcImage[y].size())), srcImage[y]);
            }
        }
}
