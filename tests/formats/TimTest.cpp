#include "tests/formats/SampleFiles.h"
#include "tests/formats/TestStreams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

namespace
{
auto TimState(const CTimData& t)
{
    return std::make_tuple(t.m_id, t.m_version, t.m_reserved, t.m_flags, t.m_clutLength, t.m_clutX, t.m_clutY,
                           t.m_clutWidth, t.m_clutHeight, t.m_imageLength, t.m_imageX, t.m_imageY, t.m_imageWidth,
                           t.m_imageHeight, t.m_pPixels.get(), t.m_nPixelsSize);
}

// A TIM file by hand: CLUT of nClutLength bytes (colours from `colours`), then an image block.
std::vector<std::uint8_t> MakeTim(std::uint32_t nClutLength, const std::vector<std::uint16_t>& colours,
                                  std::uint16_t nWidthUnits, std::uint16_t nHeight, const std::vector<std::uint8_t>& pixels)
{
    const std::size_t nImage = 8 + std::size_t{nClutLength};
    std::vector<std::uint8_t> f(nImage + 12 + pixels.size(), 0);
    f[0] = 0x10;
    f[4] = 9;
    PutLe32(f.data() + 8, nClutLength);
    for (std::size_t i = 0; i < colours.size() && 20 + 2 * i + 1 < nImage; ++i)
        PutLe16(f.data() + 20 + 2 * i, colours[i]);
    PutLe32(f.data() + nImage, static_cast<std::uint32_t>(12 + pixels.size()));
    PutLe16(f.data() + nImage + 8, nWidthUnits);
    PutLe16(f.data() + nImage + 10, nHeight);
    std::copy(pixels.begin(), pixels.end(), f.begin() + static_cast<std::ptrdiff_t>(nImage + 12));
    return f;
}

struct TimReader
{
    RgbPalette pal{};
    CTimData tim;
    TimReader() { tim.m_pPalette = &pal; }
    int Read(const std::vector<std::uint8_t>& bytes, bool bPixels = true)
    {
        CMemStream s(bytes);
        return tim.ReadTim(s, bPixels);
    }
    std::vector<std::uint8_t> Write()
    {
        CMemStream s;
        EXPECT_EQ(tim.WriteTim(s), FMT_OK);
        return s.TakeData();
    }
    std::vector<std::uint8_t> Rgb(int i) const { return {pal.rgb + 3 * i, pal.rgb + 3 * i + 3}; }
};
}  // namespace

TEST(Tim, ColoursMoveUpByTenAndBackAtTheBoundaries)
{
    std::vector<std::uint16_t> colours(256, 0);
    colours[0] = 0x7FFF;    // white, 248 each
    colours[1] = 0x8000;    // bit 15 only: black
    colours[2] = 0x001F;    // pure red
    colours[235] = 0x03E0;  // pure green
    colours[245] = 0x7C00;  // pure blue
    colours[246] = 0x0421;  // 8, 8, 8
    colours[255] = 0x0C63;  // 24, 24, 24
    TimReader r;
    ASSERT_EQ(r.Read(MakeTim(524, colours, 1, 1, {0, 250})), FMT_OK);
    const struct
    {
        int nEntry;
        std::vector<std::uint8_t> rgb;
    } expect[] = {{10, {248, 248, 248}}, {11, {0, 0, 0}},   {12, {248, 0, 0}}, {245, {0, 248, 0}},
                  {255, {0, 0, 248}},    {0, {8, 8, 8}},   {9, {24, 24, 24}}};
    for (const auto& e : expect)
        EXPECT_EQ(r.Rgb(e.nEntry), e.rgb) << "entry " << e.nEntry;
    EXPECT_EQ(r.tim.m_pPixels[0], 10);
    EXPECT_EQ(r.tim.m_pPixels[1], 4);  // 250 + 10 wraps

    const auto out = r.Write();
    ASSERT_EQ(out.size(), 546u);
    EXPECT_EQ(GetLe16(out.data() + 20 + 2 * 0), 0x7FFF);
    EXPECT_EQ(GetLe16(out.data() + 20 + 2 * 1), 0x0000);  // bit 15 written as 0
    EXPECT_EQ(GetLe16(out.data() + 20 + 2 * 245), 0x7C00);
    EXPECT_EQ(GetLe16(out.data() + 20 + 2 * 246), 0x0421);
    EXPECT_EQ(GetLe16(out.data() + 20 + 2 * 255), 0x0C63);
    EXPECT_EQ(out[544], 0);
    EXPECT_EQ(out[545], 250);
}

TEST(Tim, ColourComponentsLoseTheirLowThreeBits)
{
    RgbPalette pal{};
    pal.rgb[3 * 10 + 0] = 255;
    pal.rgb[3 * 10 + 1] = 128;
    pal.rgb[3 * 10 + 2] = 7;
    CTimData t;
    t.m_id = 0x10;
    t.m_flags = 9;
    t.m_pPalette = &pal;
    CMemStream s;
    ASSERT_EQ(t.WriteTim(s), FMT_OK);
    EXPECT_EQ(GetLe16(s.Data().data() + 20), 31 | (16 << 5));
    TimReader r;
    ASSERT_EQ(r.Read(s.Data()), FMT_OK);
    EXPECT_EQ(r.Rgb(10), (std::vector<std::uint8_t>{248, 128, 0}));
}

TEST(Tim, WritesByteExactLayoutWithA524ByteClut)
{
    const auto file = MakeSampleTim(3, 2);
    ASSERT_EQ(file.size(), 544u + 12);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 20),
              (std::vector<std::uint8_t>{0x10, 0, 0, 0, 9, 0, 0, 0, 0x0C, 0x02, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 532, file.begin() + 544),
              (std::vector<std::uint8_t>{24, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0}));
    EXPECT_EQ(file[544], SamplePixel(0, 0) - 10);
    EXPECT_EQ(file[544 + 6 + 5], SamplePixel(5, 1) - 10);

    TimReader r;
    ASSERT_EQ(r.Read(file), FMT_OK);
    EXPECT_EQ(r.Write(), file);
}

TEST(Tim, ShortAndLongCluts)
{
    std::vector<std::uint16_t> colours(512);
    for (std::size_t i = 0; i < colours.size(); ++i)
        colours[i] = static_cast<std::uint16_t>(i < 256 ? 0x001F : 0x7C00);
    TimReader r;
    std::memset(r.pal.rgb, 0x77, 768);
    // 16 colours: the other 240 entries are black, the image header follows the 44 bytes.
    ASSERT_EQ(r.Read(MakeTim(44, colours, 1, 1, {1, 2})), FMT_OK);
    EXPECT_EQ(r.Rgb(25), (std::vector<std::uint8_t>{248, 0, 0}));
    EXPECT_EQ(r.Rgb(26), (std::vector<std::uint8_t>{0, 0, 0}));
    EXPECT_EQ(r.Rgb(9), (std::vector<std::uint8_t>{0, 0, 0}));
    EXPECT_EQ(r.tim.m_pPixels[1], 12);
    EXPECT_EQ(r.tim.m_clutLength, 44u);
    // Written back with 512 colour bytes, the length it writes says 524.
    const auto out = r.Write();
    EXPECT_EQ(GetLe32(out.data() + 8), 524u);
    TimReader back;
    ASSERT_EQ(back.Read(out), FMT_OK);
    EXPECT_EQ(back.tim.m_pPixels[1], 12);

    // Two tables: the first is used, the second passed over.
    ASSERT_EQ(r.Read(MakeTim(1036, colours, 1, 1, {3, 4})), FMT_OK);
    EXPECT_EQ(r.Rgb(255), (std::vector<std::uint8_t>{248, 0, 0}));
    EXPECT_EQ(r.tim.m_pPixels[0], 13);
}

// The writer's block is one row of 256 colours; its header says so unless the one read
// already described 256 colours. The position is kept either way.
TEST(Tim, WrittenClutHeaderDescribesTheBlockWritten)
{
    const struct
    {
        std::uint32_t nLength;
        std::uint16_t nWidth, nHeight;
        std::uint16_t nWantWidth, nWantHeight;
    } cases[] = {
        {2060, 256, 4, 256, 1},  // four rows: only the first is written
        {524, 16, 16, 16, 16},   // 256 colours as 16 rows of 16
        {524, 128, 2, 128, 2},
        {44, 16, 1, 256, 1},     // 16 colours read, 256 written
        {524, 256, 1, 256, 1},
        {524, 0, 0, 256, 1},
        {524, 512, 0, 256, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.nWidth) + "x" + std::to_string(c.nHeight));
        auto file = MakeTim(c.nLength, std::vector<std::uint16_t>(1024, 0x1234), 1, 1, {5, 6});
        PutLe16(file.data() + 12, 320);  // CLUT x
        PutLe16(file.data() + 14, 480);  // CLUT y
        PutLe16(file.data() + 16, c.nWidth);
        PutLe16(file.data() + 18, c.nHeight);
        TimReader r;
        ASSERT_EQ(r.Read(file), FMT_OK);
        const auto out = r.Write();
        ASSERT_EQ(out.size(), 8u + 524 + 12 + 2);
        EXPECT_EQ(GetLe32(out.data() + 8), 524u);
        EXPECT_EQ(GetLe16(out.data() + 12), 320);
        EXPECT_EQ(GetLe16(out.data() + 14), 480);
        EXPECT_EQ(GetLe16(out.data() + 16), c.nWantWidth);
        EXPECT_EQ(GetLe16(out.data() + 18), c.nWantHeight);
    }
}

TEST(Tim, PixelsMoveInOneRequestEachWay)
{
    const auto file = MakeSampleTim(200, 200);  // 80000 pixel bytes
    RgbPalette pal{};
    CTimData t;
    t.m_pPalette = &pal;
    CRecordingStream in(file);
    ASSERT_EQ(t.ReadTim(in, true), FMT_OK);
    EXPECT_EQ(in.m_reads, (std::vector<std::uint32_t>{8, 12, 512, 12, 80000}));
    EXPECT_EQ(t.m_pPixels[80000 - 1], SamplePixel(399, 199));
    CRecordingStream out;
    ASSERT_EQ(t.WriteTim(out), FMT_OK);
    EXPECT_EQ(out.m_writes, (std::vector<std::uint32_t>{8, 12, 512, 12, 80000}));
    EXPECT_EQ(out.m_mem.Data(), file);
}

TEST(Tim, ReadPixelsFalseKeepsImageHeaderAndPixels)
{
    TimReader r;
    ASSERT_EQ(r.Read(MakeSampleTim(2, 2)), FMT_OK);
    const std::uint8_t* pOld = r.tim.m_pPixels.get();
    ASSERT_EQ(r.Read(MakeSampleTim(5, 7), false), FMT_OK);
    EXPECT_EQ(r.tim.m_imageWidth, 2);
    EXPECT_EQ(r.tim.m_pPixels.get(), pOld);
}

TEST(Tim, RejectedFilesLeaveRecordAndPaletteAlone)
{
    const auto good = MakeSampleTim(4, 4);
    auto with = [&](auto fn) {
        auto b = good;
        fn(b);
        return b;
    };
    const struct
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int nResult;
    } cases[] = {
        {"id", with([](auto& b) { b[0] = 0x11; }), FMT_TIM_ID},
        {"empty", {}, FMT_TIM_ID},
        {"version 1", with([](auto& b) { b[1] = 1; }), FMT_TIM_VERSION},
        {"version checked before flags", with([](auto& b) { b[1] = 1; b[4] = 8; }), FMT_TIM_VERSION},
        {"4-bit flags", with([](auto& b) { b[4] = 8; }), FMT_TIM_NOT_8BIT},
        {"CLUT length below 12", with([](auto& b) { PutLe32(b.data() + 8, 11); }), FMT_TIM_TRUNCATED},
        {"CLUT longer than file", with([](auto& b) { PutLe32(b.data() + 8, 100000); }), FMT_TIM_TRUNCATED},
        {"header cut", std::vector<std::uint8_t>(good.begin(), good.begin() + 6), FMT_TIM_TRUNCATED},
        {"CLUT cut", std::vector<std::uint8_t>(good.begin(), good.begin() + 300), FMT_TIM_TRUNCATED},
        {"image header cut", std::vector<std::uint8_t>(good.begin(), good.begin() + 540), FMT_TIM_TRUNCATED},
        {"pixels cut", std::vector<std::uint8_t>(good.begin(), good.end() - 1), FMT_TIM_TRUNCATED},
        {"huge image, tiny file", with([](auto& b) { PutLe32(b.data() + 540, 0xFFFFFFFF); }), FMT_TIM_TRUNCATED},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        TimReader r;
        ASSERT_EQ(r.Read(MakeSampleTim(1, 1)), FMT_OK);
        std::memset(r.pal.rgb, 0x5A, 768);
        const auto before = TimState(r.tim);
        EXPECT_EQ(r.Read(c.bytes), c.nResult);
        EXPECT_EQ(TimState(r.tim), before);
        EXPECT_EQ(r.pal.rgb[0], 0x5A);
        EXPECT_EQ(r.pal.rgb[767], 0x5A);
    }
}

TEST(Tim, ThrowingStreamLeavesRecordAlone)
{
    const auto file = MakeSampleTim(100, 10);
    TimReader r;
    ASSERT_EQ(r.Read(MakeSampleTim(1, 1)), FMT_OK);
    const auto before = TimState(r.tim);
    for (std::uint64_t nFail : {0u, 10u, 400u, 540u, 1000u})
    {
        CFaultyStream s(file, nFail);
        EXPECT_THROW((void)r.tim.ReadTim(s, true), std::runtime_error);
        EXPECT_EQ(TimState(r.tim), before);
    }
    ASSERT_EQ(r.Read(file), FMT_OK);
    // The writer shifts the pixels in place while it writes; a failed write must put them back.
    auto pixels = [&] { return std::vector<std::uint8_t>(r.tim.m_pPixels.get(), r.tim.m_pPixels.get() + r.tim.m_nPixelsSize); };
    const auto loaded = pixels();
    for (std::uint64_t nFail : {0u, 10u, 540u, 1000u})
    {
        CFaultyStream s({}, nFail);
        EXPECT_THROW((void)r.tim.WriteTim(s), std::runtime_error);
        EXPECT_EQ(pixels(), loaded);
    }
    CMemStream out;
    ASSERT_EQ(r.tim.WriteTim(out), FMT_OK);
    EXPECT_EQ(pixels(), loaded);
}

TEST(Tim, WriterRefusesAPixelBufferSmallerThanItsHeader)
{
    TimReader r;
    ASSERT_EQ(r.Read(MakeSampleTim(4, 4)), FMT_OK);
    r.tim.m_imageHeight = 5;
    CMemStream s;
    EXPECT_EQ(r.tim.WriteTim(s), FMT_BAD_RECORD);
    EXPECT_EQ(s.GetLength(), 0u);
}

TEST(Tim, ShiftMatchesAByteLoopAtEverySplit)
{
    for (std::size_t n : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 200u, 1000u})
    {
        std::vector<std::uint8_t> v(n), want(n);
        for (std::size_t i = 0; i < n; ++i)
        {
            v[i] = static_cast<std::uint8_t>(i * 37);
            want[i] = static_cast<std::uint8_t>(v[i] + 10);
        }
        std::vector<std::uint8_t> copy(n);
        ShiftPixelsTo(copy.data(), v.data(), n, 10);
        EXPECT_EQ(copy, want) << n;
        ShiftPixels(v.data(), n, 10);
        EXPECT_EQ(v, want) << n;
    }
}
