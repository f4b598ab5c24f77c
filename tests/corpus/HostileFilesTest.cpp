// Every file of the regression corpus, loaded the way the load driver loads it into
// records that already hold an image: the expected code and message, and on a
// refusal not one byte of any record or of the colours changed.

#include "HostileFiles.h"
#include "RecordSnapshot.h"
#include "SampleFiles.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <set>
#include <string>

namespace corpus
{
// Test names and failure messages show the case's name, not its raw bytes.
void PrintTo(const HostileCase& c, std::ostream* pOut)
{
    *pOut << c.name;
}
}  // namespace corpus

namespace
{
using corpus::HostileCase;
using corpus::Kind;

struct Records
{
    RgbPalette palette = MarkerPalette();
    CBmpData bmp;
    CTimData tim;
    CBfntData bfnt;

    Records()
    {
        RgbPalette scratch{};
        bmp.m_pPalette = tim.m_pPalette = bfnt.m_pPalette = &scratch;
        CMemStream b(MakeSampleBmp(5, 3)), t(MakeSampleTim(3, 2)), f(MakeSampleBfnt(4, 3, 65, 67, 5));
        EXPECT_EQ(bmp.ReadBmp(b, true), FMT_OK);
        EXPECT_EQ(tim.ReadTim(t, true), FMT_OK);
        EXPECT_EQ(bfnt.ReadBfnt256(f), FMT_OK);
        bmp.m_pPalette = tim.m_pPalette = bfnt.m_pPalette = &palette;
    }

    Bytes State() const
    {
        Bytes s = Snapshot(bmp);
        const Bytes t = Snapshot(tim), f = Snapshot(bfnt);
        s.insert(s.end(), t.begin(), t.end());
        s.insert(s.end(), f.begin(), f.end());
        s.insert(s.end(), palette.rgb, palette.rgb + sizeof palette.rgb);
        return s;
    }
};

struct Outcome
{
    Kind kind;
    int nCode;
    int nMessage;
};

// Signature, reader and message exactly as the load driver chooses them.
Outcome LoadLikeDriver(const Bytes& file, Records& r)
{
    std::uint8_t sig[6] = {};
    CMemStream s(file);
    (void)s.Read(sig, sizeof sig);
    s.Seek(0, STREAM_BEGIN);
    if (std::memcmp(sig, "BFNT", 4) == 0)
    {
        int nCode = r.bfnt.ReadBfnt256(s);
        if (nCode != FMT_BFNT_NOT_256)
            return {corpus::KIND_BFNT, nCode, nCode == FMT_OK ? 0 : IDS_LOAD_ERROR};
        s.Seek(0, STREAM_BEGIN);
        nCode = r.bfnt.ReadBfnt(s, 1);
        return {corpus::KIND_BFNT, nCode, nCode == FMT_OK ? 0 : IDS_NOT_256_OR_16_COLOR};
    }
    if (sig[0] == 'B' && sig[1] == 'M')
    {
        const int nCode = r.bmp.ReadBmp(s, true);
        return {corpus::KIND_BMP, nCode, nCode == FMT_OK ? 0 : nCode == FMT_BMP_NOT_8BIT ? IDS_NOT_256_COLOR : IDS_LOAD_ERROR};
    }
    if (sig[0] == TIM_ID)
    {
        const int nCode = r.tim.ReadTim(s, true);
        return {corpus::KIND_TIM, nCode, nCode == FMT_OK ? 0 : nCode == FMT_TIM_NOT_8BIT ? IDS_NOT_256_COLOR : IDS_LOAD_ERROR};
    }
    return {corpus::KIND_NONE, FMT_OK, IDS_UNKNOWN_FORMAT};
}

class HostileFile : public testing::TestWithParam<HostileCase>
{
};

TEST_P(HostileFile, GivesItsOutcomeAndChangesNothingWhenRefused)
{
    const HostileCase& c = GetParam();
    Records r;
    const Bytes before = r.State();
    const Outcome got = LoadLikeDriver(c.bytes, r);
    EXPECT_EQ(got.kind, c.kind);
    if (c.kind != corpus::KIND_NONE)
    {
        EXPECT_EQ(got.nCode, c.nCode);
    }
    EXPECT_EQ(got.nMessage, c.nMessage);
    if (got.nMessage != 0)
    {
        EXPECT_TRUE(r.State() == before) << "a refused file changed a record or the colours";
        return;
    }
    // An accepted file leaves a record that describes its own buffer and can be saved.
    CMemStream out;
    switch (got.kind)
    {
    case corpus::KIND_BMP:
        EXPECT_TRUE(r.bmp.HasCompleteImage());
        EXPECT_EQ(r.bmp.WriteBmp(out), FMT_OK);
        break;
    case corpus::KIND_TIM:
        EXPECT_GE(r.tim.m_nPixelsSize, r.tim.PixelByteCount());
        EXPECT_EQ(r.tim.WriteTim(out), FMT_OK);
        break;
    default:
        EXPECT_TRUE(r.bfnt.HasCompleteGlyphs());
        EXPECT_EQ(r.bfnt.WriteBfnt(out), FMT_OK);
        break;
    }
}

// The header-only reads (read pixels off) of a refused file change nothing either,
// and of an accepted one leave the pixels alone.
TEST_P(HostileFile, HeaderOnlyReadsKeepThePixels)
{
    const HostileCase& c = GetParam();
    Records r;
    const Records earlier;
    CMemStream s(c.bytes);
    switch (c.kind)
    {
    case corpus::KIND_BMP: (void)r.bmp.ReadBmp(s, false); break;
    case corpus::KIND_TIM: (void)r.tim.ReadTim(s, false); break;
    case corpus::KIND_BFNT: (void)r.bfnt.ReadBfnt(s, 0); break;
    default: return;
    }
    ASSERT_EQ(r.bmp.m_nBitsSize, earlier.bmp.m_nBitsSize);
    EXPECT_EQ(0, std::memcmp(r.bmp.m_pBits.get(), earlier.bmp.m_pBits.get(), r.bmp.m_nBitsSize));
    ASSERT_EQ(r.tim.m_nPixelsSize, earlier.tim.m_nPixelsSize);
    EXPECT_EQ(0, std::memcmp(r.tim.m_pPixels.get(), earlier.tim.m_pPixels.get(), r.tim.m_nPixelsSize));
    EXPECT_EQ(r.tim.m_imageWidth, earlier.tim.m_imageWidth);
    ASSERT_EQ(r.bfnt.m_nGlyphsSize, earlier.bfnt.m_nGlyphsSize);
    EXPECT_EQ(0, std::memcmp(r.bfnt.m_pGlyphs.get(), earlier.bfnt.m_pGlyphs.get(), r.bfnt.m_nGlyphsSize));
}

std::string CaseName(const testing::TestParamInfo<HostileCase>& info)
{
    std::string name = info.param.name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileFile, testing::ValuesIn(corpus::HostileCases()), CaseName);

TEST(HostileCorpus, NamesAreUniqueAndEveryKindIsCovered)
{
    std::set<std::string> names;
    int nPerKind[4] = {};
    for (const HostileCase& c : corpus::HostileCases())
    {
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
        ++nPerKind[c.kind];
    }
    for (int n : nPerKind)
        EXPECT_GT(n, 0);
}
}  // namespace
