#include "tests/formats/SampleFiles.h"
#include "tests/formats/TestStreams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace
{
auto BfntState(const CBfntData& b)
{
    return std::make_tuple(std::vector<std::uint8_t>(reinterpret_cast<const std::uint8_t*>(b.m_header.magic),
                                                     reinterpret_cast<const std::uint8_t*>(b.m_header.magic) + 4),
                           b.m_header.format, b.m_header.glyphWidth, b.m_header.glyphHeight, b.m_header.firstCode,
                           b.m_header.lastCode, b.m_header.extensionLength, b.m_pExtension.get(), b.m_nExtensionSize,
                           b.m_pGlyphs.get(), b.m_nGlyphsSize, b.m_nRowOrder);
}

struct BfntReader
{
    RgbPalette pal{};
    CBfntData bfnt;
    BfntReader() { bfnt.m_pPalette = &pal; }
    int Read256(const std::vector<std::uint8_t>& bytes)
    {
        CMemStream s(bytes);
        return bfnt.ReadBfnt256(s);
    }
    int Read(const std::vector<std::uint8_t>& bytes, int readPixels = 1)
    {
        CMemStream s(bytes);
        return bfnt.ReadBfnt(s, readPixels);
    }
    std::vector<std::uint8_t> Write()
    {
        CMemStream s;
        EXPECT_EQ(bfnt.WriteBfnt(s), FMT_OK);
        return s.TakeData();
    }
    std::vector<std::uint8_t> Glyphs() const { return {bfnt.m_pGlyphs.get(), bfnt.m_pGlyphs.get() + bfnt.m_nGlyphsSize}; }
};
}  // namespace

TEST(Bfnt, MagicIsComparedExactlyAndByteFourIgnored)
{
    const auto good = MakeSampleBfnt(4, 4, 0, 1);
    for (std::size_t i = 0; i < 4; ++i)
    {
        auto bad = good;
        bad[i] ^= 0x20;
        BfntReader r;
        EXPECT_EQ(r.Read256(bad), FMT_BFNT_MAGIC);
        EXPECT_EQ(r.Read(bad), FMT_BFNT_MAGIC);
    }
    auto odd = good;
    odd[4] = 0x00;
    BfntReader r;
    EXPECT_EQ(r.Read256(odd), FMT_OK);
}

TEST(Bfnt, SixteenColourSheetGoesThroughReadBfnt)
{
    const auto file = MakeSampleBfnt16(4, 2, 65, 66);
    BfntReader r;
    CMemStream s(file);
    EXPECT_EQ(r.bfnt.ReadBfnt256(s), FMT_BFNT_NOT_256);
    EXPECT_EQ(s.GetPosition(), 32u);  // only the header was read
    EXPECT_EQ(r.bfnt.m_pGlyphs, nullptr);
    s.Seek(0, STREAM_BEGIN);
    ASSERT_EQ(r.bfnt.ReadBfnt(s, 1), FMT_OK);
    EXPECT_EQ(r.bfnt.m_header.format, 0x87);
    ASSERT_EQ(r.bfnt.m_nGlyphsSize, 16u);
    for (std::size_t k = 0; k < 16; ++k)
        EXPECT_EQ(r.bfnt.m_pGlyphs[k], 10 + k % 16);
    // Palette: black but for entries 10 to 25; file triple is blue, red, green.
    for (int i = 0; i < 256; ++i)
    {
        const bool bSheet = i >= 10 && i <= 25;
        const int v = i - 10;
        EXPECT_EQ(r.pal.rgb[3 * i + 0], bSheet ? v * 16 : 0) << i;
        EXPECT_EQ(r.pal.rgb[3 * i + 1], bSheet ? (v * 24) & 0xFF : 0) << i;
        EXPECT_EQ(r.pal.rgb[3 * i + 2], bSheet ? v * 8 : 0) << i;
    }
}

TEST(Bfnt, SixteenColourNibblesAndPaletteFlag)
{
    for (bool bPalette : {true, false})
    {
        auto file = MakeSampleBfnt16(2, 1, 0, 0, bPalette);
        file.back() = 0xA3;
        BfntReader r;
        std::memset(r.pal.rgb, 0x33, 768);
        ASSERT_EQ(r.Read(file), FMT_OK);
        EXPECT_EQ(r.Glyphs(), (std::vector<std::uint8_t>{20, 13}));
        EXPECT_EQ(r.bfnt.m_header.format, bPalette ? 0x87 : 0x07);
        EXPECT_EQ(r.pal.rgb[0], bPalette ? 0 : 0x33);  // no palette: the caller's colours stay
    }
}

TEST(Bfnt, SixteenColourSheetWithOddPixelCount)
{
    // 3 x 1 pixels: one and a half packed bytes.
    auto full = MakeSampleBfnt16(3, 1, 0, 0, false);
    full.back() = 0x50;  // MakeSampleBfnt16 rounds up: last byte holds pixel 2 in the high nibble
    full[full.size() - 2] = 0x12;
    BfntReader r;
    ASSERT_EQ(r.Read(full), FMT_OK);
    EXPECT_EQ(r.Glyphs(), (std::vector<std::uint8_t>{11, 12, 15}));
    // A file that stops after the whole bytes: the last pixel is value 0.
    full.pop_back();
    ASSERT_EQ(r.Read(full), FMT_OK);
    EXPECT_EQ(r.Glyphs(), (std::vector<std::uint8_t>{11, 12, 10}));
}

TEST(Bfnt, TripleMappingAndExtensionRoundTrip)
{
    auto file = MakeSampleBfnt(2, 2, 0, 0, 5);
    const std::size_t nPal = 32 + 5;
    file[nPal + 3] = 0x10;
    file[nPal + 4] = 0x20;
    file[nPal + 5] = 0x30;
    BfntReader r;
    ASSERT_EQ(r.Read256(file), FMT_OK);
    EXPECT_EQ(r.pal.rgb[3], 0x20);
    EXPECT_EQ(r.pal.rgb[4], 0x30);
    EXPECT_EQ(r.pal.rgb[5], 0x10);
    ASSERT_NE(r.bfnt.m_pExtension, nullptr);
    EXPECT_EQ(r.bfnt.m_pExtension[4], 4);
    EXPECT_EQ(r.Write(), file);

    BfntReader plain;
    ASSERT_EQ(plain.Read256(MakeSampleBfnt(2, 2, 0, 0)), FMT_OK);
    EXPECT_EQ(plain.bfnt.m_pExtension, nullptr);
    EXPECT_EQ(plain.Write().size(), 32u + 768 + 4);
}

TEST(Bfnt, RowOrderFlipsEachGlyph)
{
    BfntReader r;
    ASSERT_EQ(r.Read256(MakeSampleBfnt(4, 2, 0, 2)), FMT_OK);
    const auto top = r.Glyphs();
    r.bfnt.SetBfntRowOrder(1);
    EXPECT_EQ(r.bfnt.m_nRowOrder, 1);
    auto want = top;
    for (std::size_t g = 0; g < 3; ++g)
        std::swap_ranges(want.begin() + static_cast<std::ptrdiff_t>(g * 8), want.begin() + static_cast<std::ptrdiff_t>(g * 8 + 4),
                         want.begin() + static_cast<std::ptrdiff_t>(g * 8 + 4));
    EXPECT_EQ(r.Glyphs(), want);
    r.bfnt.SetBfntRowOrder(1);
    EXPECT_EQ(r.Glyphs(), want);
    const auto out = r.Write();
    EXPECT_EQ(r.bfnt.m_nRowOrder, 0);
    EXPECT_EQ(r.Glyphs(), top);
    EXPECT_EQ(std::vector<std::uint8_t>(out.end() - 24, out.end()), top);

    // Odd glyph heights keep their middle row.
    BfntReader odd;
    ASSERT_EQ(odd.Read256(MakeSampleBfnt(2, 3, 0, 0)), FMT_OK);
    odd.bfnt.SetBfntRowOrder(1);
    EXPECT_EQ(odd.Glyphs(), (std::vector<std::uint8_t>{SampleGlyphPixel(0, 2, 0), SampleGlyphPixel(0, 2, 1),
                                                       SampleGlyphPixel(0, 1, 0), SampleGlyphPixel(0, 1, 1),
                                                       SampleGlyphPixel(0, 0, 0), SampleGlyphPixel(0, 0, 1)}));
}

TEST(Bfnt, GlyphsMoveInPiecesOf61440)
{
    const auto file = MakeSampleBfnt(16, 16, 0, 299);  // 76800 glyph bytes
    RgbPalette pal{};
    CBfntData b;
    b.m_pPalette = &pal;
    CRecordingStream in(file);
    ASSERT_EQ(b.ReadBfnt256(in), FMT_OK);
    EXPECT_EQ(in.m_reads, (std::vector<std::uint32_t>{32, 768, 61440, 15360}));
    EXPECT_EQ(b.m_pGlyphs[76799], SampleGlyphPixel(299, 15, 15));
    CRecordingStream out;
    ASSERT_EQ(b.WriteBfnt(out), FMT_OK);
    EXPECT_EQ(out.m_writes, (std::vector<std::uint32_t>{32, 768, 61440, 15360}));
    EXPECT_EQ(out.m_mem.Data(), file);
}

TEST(Bfnt, NinetySixGlyphSheetIs13088Bytes)
{
    const auto file = MakeSampleBfnt(8, 16, 32, 127);
    EXPECT_EQ(file.size(), 13088u);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 16),
              (std::vector<std::uint8_t>{'B', 'F', 'N', 'T', 0x1A, 0x87, 22, 0, 8, 0, 16, 0, 32, 0, 127, 0}));
}

TEST(Bfnt, SixteenColourSheetIsSavedAs256Colours)
{
    BfntReader r;
    ASSERT_EQ(r.Read(MakeSampleBfnt16(4, 4, 0, 1)), FMT_OK);
    const auto out = r.Write();
    ASSERT_EQ(out.size(), 32u + 768 + 32);
    EXPECT_EQ(out[5], 0x87);
    EXPECT_EQ(out[32 + 3 * 10 + 0], 0);  // colour 10 is sheet value 0: (b, r, g) = 0
    EXPECT_EQ(out[32 + 3 * 25 + 0], 15 * 8);
    EXPECT_EQ(out[32 + 3 * 25 + 1], 15 * 16);
    EXPECT_EQ(out[32 + 3 * 26 + 1], 0);
    for (std::size_t k = 0; k < 32; ++k)
        EXPECT_EQ(out[800 + k], 10 + k % 16);
}

TEST(Bfnt, SheetWithoutPaletteIsWrittenWithOne)
{
    auto file = MakeSampleBfnt(2, 2, 0, 0);
    // Drop the palette block and clear the flag.
    file.erase(file.begin() + 32, file.begin() + 800);
    file[5] = BFNT_COLORS_256;
    BfntReader r;
    std::memset(r.pal.rgb, 0x44, 768);
    ASSERT_EQ(r.Read256(file), FMT_OK);
    EXPECT_EQ(r.pal.rgb[0], 0x44);
    const auto out = r.Write();
    EXPECT_EQ(out[5], 0x87);
    BfntReader back;
    ASSERT_EQ(back.Read256(out), FMT_OK);
    EXPECT_EQ(back.Glyphs(), r.Glyphs());
    EXPECT_EQ(back.pal.rgb[0], 0x44);
}

TEST(Bfnt, ReadPixelsZeroLeavesGlyphBuffer)
{
    BfntReader r;
    ASSERT_EQ(r.Read256(MakeSampleBfnt(4, 4, 0, 3)), FMT_OK);
    const std::uint8_t* pOld = r.bfnt.m_pGlyphs.get();
    ASSERT_EQ(r.Read(MakeSampleBfnt16(8, 8, 0, 9), 0), FMT_OK);
    EXPECT_EQ(r.bfnt.m_pGlyphs.get(), pOld);
    EXPECT_EQ(r.bfnt.m_header.format, 0x87);
}

TEST(Bfnt, RejectedFilesLeaveRecordAndPaletteAlone)
{
    const auto good = MakeSampleBfnt(4, 4, 10, 20, 3);
    auto with = [&](auto fn) {
        auto b = good;
        fn(b);
        return b;
    };
    const struct
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int n256;
        int nAny;
    } cases[] = {
        {"magic", with([](auto& b) { b[3] = 'X'; }), FMT_BFNT_MAGIC, FMT_BFNT_MAGIC},
        {"three bytes", {'B', 'F', 'N'}, FMT_BFNT_MAGIC, FMT_BFNT_MAGIC},
        {"type 5", with([](auto& b) { b[5] = 0x85; }), FMT_BFNT_NOT_256, FMT_BFNT_TYPE},
        {"header cut", std::vector<std::uint8_t>(good.begin(), good.begin() + 20), FMT_BFNT_TRUNCATED, FMT_BFNT_TRUNCATED},
        {"lastCode below firstCode", with([](auto& b) { PutLe16(b.data() + 14, 9); }), FMT_BFNT_TRUNCATED, FMT_BFNT_TRUNCATED},
        {"extension cut", std::vector<std::uint8_t>(good.begin(), good.begin() + 34), FMT_BFNT_TRUNCATED, FMT_BFNT_TRUNCATED},
        {"palette cut", std::vector<std::uint8_t>(good.begin(), good.begin() + 500), FMT_BFNT_TRUNCATED, FMT_BFNT_TRUNCATED},
        {"glyphs cut", std::vector<std::uint8_t>(good.begin(), good.end() - 1), FMT_BFNT_TRUNCATED, FMT_BFNT_TRUNCATED},
        {"huge sheet, tiny file", with([](auto& b) {
             PutLe16(b.data() + 8, 0xFFFF);
             PutLe16(b.data() + 10, 0xFFFF);
             PutLe16(b.data() + 12, 0);
             PutLe16(b.data() + 14, 0xFFFF);
         }), FMT_BFNT_TRUNCATED, FMT_BFNT_TRUNCATED},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        BfntReader r;
        ASSERT_EQ(r.Read256(MakeSampleBfnt(2, 2, 0, 1, 2)), FMT_OK);
        r.bfnt.SetBfntRowOrder(1);
        std::memset(r.pal.rgb, 0x5A, 768);
        const auto before = BfntState(r.bfnt);
        EXPECT_EQ(r.Read256(c.bytes), c.n256);
        EXPECT_EQ(BfntState(r.bfnt), before);
        EXPECT_EQ(r.Read(c.bytes), c.nAny);
        EXPECT_EQ(BfntState(r.bfnt), before);
        EXPECT_EQ(r.pal.rgb[0], 0x5A);
    }
    // A 16-colour file cut short in its packed pixels.
    auto cut = MakeSampleBfnt16(4, 4, 0, 3);
    cut.resize(cut.size() - 1);
    BfntReader r;
    EXPECT_EQ(r.Read(cut), FMT_BFNT_TRUNCATED);
    EXPECT_EQ(r.bfnt.m_pGlyphs, nullptr);
}

TEST(Bfnt, ThrowingStreamLeavesRecordAlone)
{
    const auto file = MakeSampleBfnt(16, 16, 0, 299, 7);
    BfntReader r;
    ASSERT_EQ(r.Read256(MakeSampleBfnt(2, 2, 0, 0)), FMT_OK);
    const auto before = BfntState(r.bfnt);
    for (std::uint64_t nFail : {0u, 35u, 500u, 70000u})
    {
        CFaultyStream s(file, nFail);
        EXPECT_THROW((void)r.bfnt.ReadBfnt256(s), std::runtime_error);
        EXPECT_EQ(BfntState(r.bfnt), before);
    }
}

TEST(Bfnt, AllCodesOfZeroWidthGlyphsStayCheap)
{
    // 65536 glyphs of 0 x 65535 pixels: no bytes, and no work per row either.
    std::vector<std::uint8_t> file(32, 0);
    std::memcpy(file.data(), "BFNT", 4);
    file[5] = BFNT_COLORS_256;
    PutLe16(file.data() + 10, 0xFFFF);
    PutLe16(file.data() + 14, 0xFFFF);
    BfntReader r;
    ASSERT_EQ(r.Read256(file), FMT_OK);
    EXPECT_EQ(r.bfnt.GlyphCount(), 65536u);
    EXPECT_EQ(r.bfnt.GlyphByteCount(), 0u);
    r.bfnt.SetBfntRowOrder(1);
    EXPECT_EQ(r.bfnt.m_nRowOrder, 1);
}

TEST(Bfnt, WriterRefusesIncompleteRecords)
{
    BfntReader r;
    ASSERT_EQ(r.Read256(MakeSampleBfnt(4, 4, 0, 3)), FMT_OK);
    r.bfnt.m_header.lastCode = 4;
    CMemStream s;
    EXPECT_EQ(r.bfnt.WriteBfnt(s), FMT_BAD_RECORD);
    r.bfnt.m_header.lastCode = 3;
    r.bfnt.m_header.extensionLength = 2;
    EXPECT_EQ(r.bfnt.WriteBfnt(s), FMT_BAD_RECORD);
    EXPECT_EQ(s.GetLength(), 0u);
}
