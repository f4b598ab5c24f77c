// Every source format times every target, as the save driver runs them:
// convert, write, recognise the written bytes, read back, compare pixels and colours.

#include "SampleFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
enum Kind
{
    KIND_BMP,
    KIND_TIM,
    KIND_BFNT,
    KIND_NONE
};

Kind Detect(const std::vector<std::uint8_t>& b)
{
    if (b.size() >= 2 && b[0] == 'B' && b[1] == 'M')
        return KIND_BMP;
    if (!b.empty() && b[0] == 0x10)
        return KIND_TIM;
    if (b.size() >= 4 && std::memcmp(b.data(), "BFNT", 4) == 0)
        return KIND_BFNT;
    return KIND_NONE;
}

struct Records
{
    RgbPalette pal{};
    CBmpData bmp;
    CTimData tim;
    CBfntData bfnt;
    Records() { bmp.m_pPalette = tim.m_pPalette = bfnt.m_pPalette = &pal; }

    int Read(Kind k, const std::vector<std::uint8_t>& bytes)
    {
        CMemStream s(bytes);
        switch (k)
        {
        case KIND_BMP: return bmp.ReadBmp(s, true);
        case KIND_TIM: return tim.ReadTim(s, true);
        default: return bfnt.ReadBfnt256(s);
        }
    }
    // The driver's conversion matrix.
    int Convert(Kind from, Kind to)
    {
        if (from == to)
            return FMT_OK;
        if (to == KIND_BFNT)
            return from == KIND_BMP ? bmp.BmpToBfnt(bfnt, 16) : tim.TimToBfnt(bfnt, 16);
        if (to == KIND_BMP)
            return from == KIND_TIM ? tim.TimToBmp(bmp) : bfnt.BfntToBmp(bmp);
        if (from == KIND_BFNT)
        {
            const int n = bfnt.BfntToBmp(bmp);
            return n != FMT_OK ? n : bmp.BmpToTim(tim);
        }
        return bmp.BmpToTim(tim);
    }
    std::vector<std::uint8_t> Write(Kind k)
    {
        bmp.m_pPalette = tim.m_pPalette = bfnt.m_pPalette = &pal;
        CMemStream s;
        const int n = k == KIND_BMP ? bmp.WriteBmp(s) : k == KIND_TIM ? tim.WriteTim(s) : bfnt.WriteBfnt(s);
        EXPECT_EQ(n, FMT_OK);
        return s.TakeData();
    }
    // The image a record shows, as rows of bytes: sheets are laid out as the BMP conversion does.
    std::vector<std::vector<std::uint8_t>> Image(Kind k)
    {
        std::vector<std::vector<std::uint8_t>> rows;
        if (k == KIND_BFNT)
        {
            CBmpData laid;
            EXPECT_EQ(bfnt.BfntToBmp(laid), FMT_OK);
            return ImageOf(laid.m_pBits.get(), static_cast<std::size_t>(laid.m_infoHeader.biWidth), static_cast<std::size_t>(laid.m_infoHeader.biHeight));
        }
        if (k == KIND_BMP)
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
    Kind kind;
    std::vector<std::uint8_t> bytes;
};
}  // namespace

TEST(RoundTrip, EverySourceToEveryTarget)
{
    const Source sources[] = {
        {"bmp 32x20", KIND_BMP, MakeSampleBmp(32, 20)},
        {"bmp 31x17 padded", KIND_BMP, MakeSampleBmp(31, 17, true)},
        {"tim 16x20", KIND_TIM, MakeSampleTim(16, 20)},
        {"bfnt 8x8 x 40", KIND_BFNT, MakeSampleBfnt(8, 8, 0, 39)},
        {"bfnt 5x7 x 60", KIND_BFNT, MakeSampleBfnt(5, 7, 32, 91)},
    };
    const RgbPalette want = SamplePalette();
    for (const Source& src : sources)
        for (Kind to : {KIND_BMP, KIND_TIM, KIND_BFNT})
        {
            SCOPED_TRACE(testing::Message() << src.name << " -> " << to);
            Records rec;
            ASSERT_EQ(rec.Read(src.kind, src.bytes), FMT_OK);
            const auto srcImage = rec.Image(src.kind);
            ASSERT_EQ(rec.Convert(src.kind, to), FMT_OK);
            const auto written = rec.Write(to);
            ASSERT_EQ(Detect(written), to);

            Records back;
            std::memset(back.pal.rgb, 0x77, 768);
            ASSERT_EQ(back.Read(to, written), FMT_OK);
            EXPECT_EQ(0, std::memcmp(back.pal.rgb, want.rgb, 768));
            EXPECT_EQ(back.Image(to), rec.Image(to));  // the file holds what the record held

            // The source's pixels survive in the target (BFNT targets are cut into 16 x 16 cells).
            if (to == KIND_BFNT && src.kind != KIND_BFNT)
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
