// Every file of the regression corpus, loaded the way the load driver loads it into
// records that already hold an image: the expected code and message, and on a
// refusal not one byte of any record or of the colours changed.

#include "tests/corpus/HostileFiles.h"
#include "tests/corpus/RecordSnapshot.h"
#include "tests/formats/SampleFiles.h"

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
    int kind;
    int nCode;
    int nMessage;
};

// The message the driver shows for each class of failed load; 0 for a load.
int MessageOf(int nFailure)
{
    switch (nFailure)
    {
    case LOAD_OK: return 0;
    case LOAD_UNKNOWN_FORMAT: return IDS_UNKNOWN_FORMAT;
    case LOAD_NOT_256: return IDS_NOT_256_COLOR;
    case LOAD_NOT_256_OR_16: return IDS_NOT_256_OR_16_COLOR;
    default: return IDS_LOAD_ERROR;
    }
}

// Signature, reader and message exactly as the load driver chooses them.
Outcome LoadLikeDriver(const Bytes& file, Records& r)
{
    CMemStream s(file);
    const LoadOutcome load = LoadData(s, DataRecords{r.bmp, r.tim, r.bfnt}, r.palette);
    return {load.nDataType, load.nResult, MessageOf(load.nFailure)};
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
    if (c.kind != DATA_NONE)
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
    EXPECT_TRUE(r.bmp.HasCompleteImage());
    EXPECT_GE(r.tim.m_nPixelsSize, r.tim.PixelByteCount());
    EXPECT_TRUE(r.bfnt.HasCompleteGlyphs());
    CMemStream out;
    EXPECT_EQ(WriteData(DataRecords{r.bmp, r.tim, r.bfnt}, got.kind, out, r.palette), FMT_OK);
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
    case DATA_BMP: (void)r.bmp.ReadBmp(s, false); break;
    case DATA_TIM: (void)r.tim.ReadTim(s, false); break;
    case DATA_BFNT: (void)r.bfnt.ReadBfnt(s, 0); break;
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
    int nPerKind[DATA_KIND_COUNT] = {};
    for (const HostileCase& c : corpus::HostileCases())
    {
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
        ++nPerKind[c.kind];
    }
    for (int n : nPerKind)
        EXPECT_GT(n, 0);
}
}  // namespace
