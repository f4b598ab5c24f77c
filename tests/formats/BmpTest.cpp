#include "tests/formats/SampleFiles.h"
#include "tests/formats/TestStreams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace
{
auto BmpState(const CBmpData& b)
{
    const BmpFileHeader& f = b.m_fileHeader;
    const BmpInfoHeader& i = b.m_infoHeader;
    return std::make_tuple(f.bfType, f.bfSize, f.bfReserved1, f.bfReserved2, f.bfOffBits, i.biSize, i.biWidth,
                           i.biHeight, i.biPlanes, i.biBitCount, i.biCompression, i.biSizeImage, i.biXPelsPerMeter,
                           i.biYPelsPerMeter, i.biClrUsed, i.biClrImportant, b.m_pBits.get(), b.m_nBitsSize);
}

std::vector<std::uint8_t> Row(const CBmpData& b, int r)
{
    const auto w = static_cast<std::size_t>(b.m_infoHeader.biWidth);
    return {b.m_pBits.get() + static_cast<std::size_t>(r) * w, b.m_pBits.get() + static_cast<std::size_t>(r + 1) * w};
}

std::vector<std::uint8_t> ExpectedRow(int w, int r)
{
    std::vector<std::uint8_t> row;
    for (int x = 0; x < w; ++x)
        row.push_back(SamplePixel(static_cast<std::uint64_t>(x), static_cast<std::uint64_t>(r)));
    return row;
}

struct BmpReader
{
    RgbPalette pal{};
    CBmpData bmp;
    BmpReader() { bmp.m_pPalette = &pal; }
    int Read(const std::vector<std::uint8_t>& bytes, bool bPixels = true)
    {
        CMemStream s(bytes);
        return bmp.ReadBmp(s, bPixels);
    }
    std::vector<std::uint8_t> Write()
    {
        CMemStream s;
        EXPECT_EQ(bmp.WriteBmp(s), FMT_OK);
        return s.TakeData();
    }
};
}  // namespace

TEST(Bmp, ReadsColoursAndTurnsRowsTopDown)
{
    const auto file = MakeSampleBmp(8, 4);
    BmpReader r;
    ASSERT_EQ(r.Read(file), FMT_OK);
    const RgbPalette want = SamplePalette();
    EXPECT_EQ(0, std::memcmp(r.pal.rgb, want.rgb, 768));
    // File colour table is blue, green, red, 0.
    EXPECT_EQ(file[54 + 4 * 5 + 0], want.rgb[3 * 5 + 2]);
    EXPECT_EQ(file[54 + 4 * 5 + 2], want.rgb[3 * 5 + 0]);
    EXPECT_EQ(file[54 + 4 * 5 + 3], 0);
    // The first row in memory is the last row stored in the file.
    EXPECT_EQ(Row(r.bmp, 0), std::vector<std::uint8_t>(file.begin() + 1078 + 3 * 8, file.begin() + 1078 + 4 * 8));
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(Row(r.bmp, y), ExpectedRow(8, y));
    EXPECT_EQ(r.bmp.m_nBitsSize, 32u);
}

TEST(Bmp, WritesByteExactLayout)
{
    RgbPalette pal{};
    pal.rgb[3 * 1 + 0] = 0x11;  // entry 1: r, g, b
    pal.rgb[3 * 1 + 1] = 0x22;
    pal.rgb[3 * 1 + 2] = 0x33;
    CBmpData b;
    b.m_pPalette = &pal;
    b.m_fileHeader = {BMP_TYPE, 1078 + 8, 0x0102, 0x0304, 1078};
    b.m_infoHeader = {40, 4, 2, 1, 8, 0, 0x55, 7, -7, 300, 9};
    b.m_pBits = std::make_unique<std::uint8_t[]>(8);
    for (int i = 0; i < 8; ++i)
        b.m_pBits[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
    b.m_nBitsSize = 8;
    CRecordingStream s;
    ASSERT_EQ(b.WriteBmp(s), FMT_OK);
    const auto& out = s.m_mem.Data();
    ASSERT_EQ(out.size(), 1086u);
    const std::uint8_t head[] = {'B', 'M', 0x3E, 0x04, 0, 0, 0x02, 0x01, 0x04, 0x03, 0x36, 0x04, 0, 0,
                                 40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0,
                                 0, 0, 0, 0, 0x55, 0, 0, 0, 7, 0, 0, 0, 0xF9, 0xFF, 0xFF, 0xFF,
                                 0x2C, 0x01, 0, 0, 9, 0, 0, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 54), std::vector<std::uint8_t>(std::begin(head), std::end(head)));
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 58, out.begin() + 62), (std::vector<std::uint8_t>{0x33, 0x22, 0x11, 0}));
    for (std::size_t i = 3; i < 1024; i += 4)
        EXPECT_EQ(out[54 + i], 0);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 1078, out.end()), (std::vector<std::uint8_t>{5, 6, 7, 8, 1, 2, 3, 4}));
    EXPECT_EQ(s.m_writes, (std::vector<std::uint32_t>{14, 40, 1024, 8}));
}

TEST(Bmp, UnpaddedAndPaddedRowsReadAndWriteBack)
{
    for (bool bPadded : {false, true})
        for (int w : {250, 251, 253, 256, 1})
        {
            SCOPED_TRACE(testing::Message() << "width " << w << " padded " << bPadded);
            const auto file = MakeSampleBmp(w, 3, bPadded);
            const std::size_t nStride = bPadded ? static_cast<std::size_t>((w + 3) & ~3) : static_cast<std::size_t>(w);
            ASSERT_EQ(file.size(), 1078 + 3 * nStride);
            BmpReader r;
            ASSERT_EQ(r.Read(file), FMT_OK);
            EXPECT_EQ(r.bmp.FileRowLength(), nStride);
            for (int y = 0; y < 3; ++y)
                EXPECT_EQ(Row(r.bmp, y), ExpectedRow(w, y));
            EXPECT_EQ(r.Write(), file);
        }
    // Padding bytes are written as zeros.
    const auto padded = MakeSampleBmp(250, 1, true);
    EXPECT_EQ(padded[1078 + 250], 0);
    EXPECT_EQ(padded[1078 + 251], 0);
}

TEST(Bmp, TopDownFileReadsAsTheSamePicture)
{
    auto file = MakeSampleBmp(5, 3);
    // Reverse the stored rows and make the height negative.
    std::vector<std::uint8_t> flipped(file.begin(), file.begin() + 1078);
    for (int r = 2; r >= 0; --r)
        flipped.insert(flipped.end(), file.begin() + 1078 + r * 5, file.begin() + 1078 + (r + 1) * 5);
    PutLeS32(flipped.data() + 22, -3);
    BmpReader r;
    ASSERT_EQ(r.Read(flipped), FMT_OK);
    EXPECT_EQ(r.bmp.m_infoHeader.biHeight, 3);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(Row(r.bmp, y), ExpectedRow(5, y));
    EXPECT_EQ(r.Write(), file);
    // A record whose height is negative is written top-down, as its header says.
    r.bmp.m_infoHeader.biHeight = -3;
    EXPECT_EQ(r.Write(), flipped);
}

TEST(Bmp, BytesAfterTheImageAreKept)
{
    auto file = MakeSampleBmp(4, 2);
    file.push_back(0xAB);
    file.push_back(0xCD);
    PutLe32(file.data() + 2, static_cast<std::uint32_t>(file.size()));
    BmpReader r;
    ASSERT_EQ(r.Read(file), FMT_OK);
    EXPECT_EQ(r.bmp.m_nBitsSize, 10u);
    EXPECT_EQ(Row(r.bmp, 1), ExpectedRow(4, 1));
    EXPECT_EQ(r.Write(), file);
}

TEST(Bmp, PixelDataMovesInPiecesOf61440)
{
    const auto file = MakeSampleBmp(300, 300);  // 90000 pixel bytes
    RgbPalette pal{};
    CBmpData b;
    b.m_pPalette = &pal;
    CRecordingStream in(file);
    ASSERT_EQ(b.ReadBmp(in, true), FMT_OK);
    EXPECT_EQ(in.m_reads, (std::vector<std::uint32_t>{14, 40, 1024, 61440, 28560}));
    for (int y : {0, 150, 204, 205, 299})
        EXPECT_EQ(Row(b, y), ExpectedRow(300, y));
    CRecordingStream out;
    ASSERT_EQ(b.WriteBmp(out), FMT_OK);
    EXPECT_EQ(out.m_writes, (std::vector<std::uint32_t>{14, 40, 1024, 61440, 28560}));
    EXPECT_EQ(out.m_mem.Data(), file);
}

TEST(Bmp, WholeRowPiecesAndTopDownFilesReadIntoPlace)
{
    // 1024-byte rows: the pieces hold 60 and 10 whole rows.
    const auto file = MakeSampleBmp(1024, 70);
    CRecordingStream in(file);
    RgbPalette pal{};
    CBmpData b;
    b.m_pPalette = &pal;
    ASSERT_EQ(b.ReadBmp(in, true), FMT_OK);
    EXPECT_EQ(in.m_reads, (std::vector<std::uint32_t>{14, 40, 1024, 61440, 10240}));
    for (int y = 0; y < 70; ++y)
        ASSERT_EQ(Row(b, y), ExpectedRow(1024, y)) << y;

    // A top-down file of 300-byte rows, pieces ending inside rows.
    std::vector<std::uint8_t> topDown(file.begin(), file.begin() + 1078);
    const auto image = SampleImage(300, 210);
    topDown.insert(topDown.end(), image.begin(), image.end());
    PutLe32(topDown.data() + 2, static_cast<std::uint32_t>(topDown.size()));
    PutLeS32(topDown.data() + 18, 300);
    PutLeS32(topDown.data() + 22, -210);
    BmpReader r;
    ASSERT_EQ(r.Read(topDown), FMT_OK);
    EXPECT_EQ(0, std::memcmp(r.bmp.m_pBits.get(), image.data(), image.size()));
}

TEST(Bmp, ReadPixelsFalseFillsHeadersAndColoursOnly)
{
    BmpReader r;
    ASSERT_EQ(r.Read(MakeSampleBmp(4, 4)), FMT_OK);
    const std::uint8_t* pOld = r.bmp.m_pBits.get();
    auto file = MakeSampleBmp(6, 2);
    PutLe32(file.data() + 10, 54);  // a wrong offset does not matter without pixels
    ASSERT_EQ(r.Read(file, false), FMT_OK);
    EXPECT_EQ(r.bmp.m_infoHeader.biWidth, 6);
    EXPECT_EQ(r.bmp.m_pBits.get(), pOld);
    const RgbPalette want = SamplePalette();
    EXPECT_EQ(0, std::memcmp(r.pal.rgb, want.rgb, 768));
}

TEST(Bmp, RejectedFilesLeaveRecordAndPaletteAlone)
{
    const auto good = MakeSampleBmp(8, 4);
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int nResult;
    };
    auto with = [&](auto fn) {
        auto b = good;
        fn(b);
        return b;
    };
    const std::vector<Case> cases = {
        {"not BM", with([](auto& b) { b[1] = 'X'; }), FMT_BMP_TYPE},
        {"one byte", {'B'}, FMT_BMP_TYPE},
        {"24-bit", with([](auto& b) { PutLe16(b.data() + 28, 24); }), FMT_BMP_NOT_8BIT},
        {"16-entry table", with([](auto& b) { PutLe32(b.data() + 10, 54 + 64); }), FMT_BMP_OFFSET},
        {"file header cut", std::vector<std::uint8_t>(good.begin(), good.begin() + 10), FMT_BMP_TRUNCATED},
        {"info header cut", std::vector<std::uint8_t>(good.begin(), good.begin() + 40), FMT_BMP_TRUNCATED},
        {"colour table cut", std::vector<std::uint8_t>(good.begin(), good.begin() + 600), FMT_BMP_TRUNCATED},
        {"pixels cut", std::vector<std::uint8_t>(good.begin(), good.end() - 1), FMT_BMP_TRUNCATED},
        {"bfSize below bfOffBits", with([](auto& b) { PutLe32(b.data() + 2, 1000); }), FMT_BMP_TRUNCATED},
        {"image larger than data", with([](auto& b) { PutLeS32(b.data() + 22, 5); }), FMT_BMP_TRUNCATED},
        {"huge image, tiny file", with([](auto& b) {
             PutLeS32(b.data() + 18, 0x7FFFFFFF);
             PutLeS32(b.data() + 22, 0x7FFFFFFF);
             PutLe32(b.data() + 2, 0xFFFFFFFF);
         }), FMT_BMP_TRUNCATED},
        {"negative width", with([](auto& b) { PutLeS32(b.data() + 18, -8); }), FMT_BMP_TRUNCATED},
        {"most negative height", with([](auto& b) { PutLeS32(b.data() + 22, INT32_MIN); }), FMT_BMP_TRUNCATED},
        {"RLE8 compressed", with([](auto& b) { PutLe32(b.data() + 30, 1); }), FMT_BMP_COMPRESSED},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        BmpReader r;
        ASSERT_EQ(r.Read(MakeSampleBmp(3, 3)), FMT_OK);
        std::memset(r.pal.rgb, 0x5A, 768);
        const auto before = BmpState(r.bmp);
        EXPECT_EQ(r.Read(c.bytes), c.nResult);
        EXPECT_EQ(BmpState(r.bmp), before);
        EXPECT_EQ(r.pal.rgb[100], 0x5A);
        EXPECT_EQ(r.pal.rgb[767], 0x5A);
    }
}

TEST(Bmp, ShortDeliveryIsRejected)
{
    const auto file = MakeSampleBmp(8, 8);
    std::vector<std::uint8_t> cut(file.begin(), file.end() - 10);
    CShortReadStream s(cut, file.size());  // length claims the whole file
    RgbPalette pal{};
    CBmpData b;
    b.m_pPalette = &pal;
    EXPECT_EQ(b.ReadBmp(s, true), FMT_BMP_TRUNCATED);
    EXPECT_EQ(b.m_pBits, nullptr);
    EXPECT_EQ(b.m_infoHeader.biWidth, 0);
}

TEST(Bmp, ThrowingStreamLeavesRecordAlone)
{
    const auto file = MakeSampleBmp(300, 300);
    BmpReader r;
    ASSERT_EQ(r.Read(MakeSampleBmp(2, 2)), FMT_OK);
    const auto before = BmpState(r.bmp);
    for (std::uint64_t nFail : {0u, 20u, 60u, 1100u, 70000u})
    {
        CFaultyStream s(file, nFail);
        EXPECT_THROW((void)r.bmp.ReadBmp(s, true), std::runtime_error);
        EXPECT_EQ(BmpState(r.bmp), before);
    }
    // Writers free their scratch when Write throws (the sanitizer build checks for leaks).
    ASSERT_EQ(r.Read(file), FMT_OK);
    for (std::uint64_t nFail : {0u, 20u, 1100u, 70000u})
    {
        CFaultyStream s({}, nFail);
        EXPECT_THROW((void)r.bmp.WriteBmp(s), std::runtime_error);
    }
}

TEST(Bmp, WriterRefusesRecordsItCannotWrite)
{
    BmpReader r;
    ASSERT_EQ(r.Read(MakeSampleBmp(8, 4)), FMT_OK);
    auto expectRefused = [&](const char* name) {
        SCOPED_TRACE(name);
        CMemStream s;
        EXPECT_EQ(r.bmp.WriteBmp(s), FMT_BAD_RECORD);
        EXPECT_EQ(s.GetLength(), 0u);
    };
    r.bmp.m_infoHeader.biHeight = 5;  // more rows than the buffer holds
    r.bmp.m_fileHeader.bfSize += 8;
    expectRefused("header larger than buffer");
    r.bmp.m_infoHeader.biHeight = 4;
    r.bmp.m_fileHeader.bfSize = 10;
    expectRefused("bfSize below bfOffBits");
    r.bmp.m_fileHeader.bfSize = 1078 + 32;
    r.bmp.m_pPalette = nullptr;
    expectRefused("no palette");
}
