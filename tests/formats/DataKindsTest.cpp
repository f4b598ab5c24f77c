// The table of data kinds: recognition by content as a matrix over valid samples of
// every kind and their short prefixes, the load as the driver runs it (requests and
// seeks), and the conversion matrix. Messages, status texts and the save-path rule are
// tested through the driver.

#include "formats/DataKinds.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
using Bytes = std::vector<std::uint8_t>;

struct Sample
{
    const char* pszName;
    int nKind;
    Bytes bytes;
};

std::vector<Sample> Samples()
{
    Bytes topDown = MakeSampleBmp(6, 4);
    PutLeS32(topDown.data() + 22, -4);
    Bytes noPalette = MakeSampleBfnt16(8, 8, 0, 3, false);
    return {
        {"bmp", DATA_BMP, MakeSampleBmp(32, 20)},
        {"bmp padded", DATA_BMP, MakeSampleBmp(31, 17, true)},
        {"bmp top-down", DATA_BMP, topDown},
        {"bmp empty", DATA_BMP, MakeSampleBmp(8, 0)},
        {"tim", DATA_TIM, MakeSampleTim(16, 20)},
        {"tim empty", DATA_TIM, MakeSampleTim(0, 4)},
        {"bfnt 256", DATA_BFNT, MakeSampleBfnt(8, 8, 0, 39)},
        {"bfnt with extension", DATA_BFNT, MakeSampleBfnt(5, 7, 32, 91, 9)},
        {"bfnt 16", DATA_BFNT, MakeSampleBfnt16(8, 8, 48, 57)},
        {"bfnt 16 without palette", DATA_BFNT, noPalette},
    };
}

// Records that already hold a picture of each kind.
struct Records
{
    RgbPalette pal = SamplePalette();
    CBmpData bmp;
    CTimData tim;
    CBfntData bfnt;
    DataRecords Refs() { return {bmp, tim, bfnt}; }
};

// A stream that notes every read and seek, in order.
class CTracingStream final : public IByteStream
{
public:
    explicit CTracingStream(Bytes data) : m_mem(std::move(data)) {}
    std::uint32_t Read(void* pBuf, std::uint32_t nCount) override
    {
        Note('R', static_cast<std::int64_t>(nCount), "");
        return m_mem.Read(pBuf, nCount);
    }
    void Write(const void* pBuf, std::uint32_t nCount) override { m_mem.Write(pBuf, nCount); }
    std::uint64_t Seek(std::int64_t lOff, int nFrom) override
    {
        Note('S', lOff, nFrom == STREAM_BEGIN ? "" : "+");
        return m_mem.Seek(lOff, nFrom);
    }
    std::uint64_t GetPosition() const override { return m_mem.GetPosition(); }
    std::uint64_t GetLength() const override { return m_mem.GetLength(); }

    CMemStream m_mem;
    std::vector<std::string> m_ops;

private:
    // Appended piece by piece, which keeps gcc 12's -Wrestrict quiet.
    void Note(char chOp, std::int64_t nValue, const char* pszFrom)
    {
        std::string op(1, chOp);
        op += std::to_string(nValue);
        op += pszFrom;
        m_ops.push_back(std::move(op));
    }
};
}  // namespace

TEST(DataKinds, EverySampleIsRecognisedAsItsOwnKindAndNoOther)
{
    for (const Sample& s : Samples())
    {
        SCOPED_TRACE(s.pszName);
        EXPECT_EQ(DetectDataType(s.bytes.data(), s.bytes.size()), s.nKind);
        for (int nKind : {DATA_BFNT, DATA_BMP, DATA_TIM})
            EXPECT_EQ(FindDataKind(nKind)->pfnMatches(s.bytes.data(), s.bytes.size()), nKind == s.nKind) << nKind;

        Records r;
        CMemStream in(s.bytes);
        const LoadOutcome load = LoadData(in, r.Refs(), r.pal);
        EXPECT_EQ(load.nDataType, s.nKind);
        EXPECT_EQ(load.nResult, FMT_OK);
        EXPECT_EQ(load.nFailure, LOAD_OK);
    }
}

// A file shorter than the signature is classed by the bytes it has: "BFNT" needs four,
// "BM" two, 0x10 one; what is named but cut short is a load error.
TEST(DataKinds, ShortFilesAreClassedByTheBytesTheyHave)
{
    struct Case
    {
        Bytes sig;
        int nKind;
    };
    const Case cases[] = {
        {{'B', 'F', 'N', 'T', 0x1A, 0x87}, DATA_BFNT},
        {{'B', 'F', 'N', 'T'}, DATA_BFNT},
        {{'B', 'M', 0, 0, 0, 0}, DATA_BMP},
        {{'B', 'M'}, DATA_BMP},
        {{0x10, 0, 0, 0, 9, 0}, DATA_TIM},
        {{0x10}, DATA_TIM},
        {{'B', 'F', 'N'}, DATA_NONE},
        {{'B', 'F'}, DATA_NONE},
        {{'B', 'f', 'n', 't', 0, 0}, DATA_NONE},  // case matters
        {{'B'}, DATA_NONE},
        {{'M', 'B', 0, 0, 0, 0}, DATA_NONE},
        {{0x11, 0, 0, 0, 0, 0}, DATA_NONE},
        {{}, DATA_NONE},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.sig.begin(), c.sig.end()));
        EXPECT_EQ(DetectDataType(c.sig.data(), c.sig.size()), c.nKind);
        Records r;
        CMemStream in(c.sig);
        const LoadOutcome load = LoadData(in, r.Refs(), r.pal);
        EXPECT_EQ(load.nDataType, c.nKind);
        EXPECT_EQ(load.nFailure, c.nKind == DATA_NONE ? LOAD_UNKNOWN_FORMAT : LOAD_ERROR);
    }
    EXPECT_EQ(DetectDataType(nullptr, 6), DATA_NONE);

    // Every prefix of every sample up to the signature's length.
    for (const Sample& s : Samples())
        for (std::size_t n = 0; n <= DATA_SIGNATURE_SIZE; ++n)
        {
            const std::size_t nNeed = s.nKind == DATA_BFNT ? 4 : s.nKind == DATA_BMP ? 2 : 1;
            EXPECT_EQ(DetectDataType(s.bytes.data(), n), n >= nNeed ? s.nKind : DATA_NONE) << s.pszName << " " << n;
        }
}

// The reads the driver has always made, in its order: six signature bytes, back to the
// start, then the reader; a 16-colour sheet is read again from the start.
TEST(DataKinds, LoadReadsTheSignatureThenRunsTheKindsReaders)
{
    struct Case
    {
        const char* pszName;
        Bytes file;
        std::vector<std::string> ops;  // the first requests
    };
    const Case cases[] = {
        {"bmp", MakeSampleBmp(4, 2), {"R6", "S0", "R14", "R40", "R1024", "R8"}},
        {"tim", MakeSampleTim(2, 2), {"R6", "S0", "R8", "R12", "R512", "R12", "R8"}},
        {"bfnt 256", MakeSampleBfnt(4, 4, 0, 1), {"R6", "S0", "R32", "R768", "R32"}},
        {"bfnt 16", MakeSampleBfnt16(4, 4, 0, 1), {"R6", "S0", "R32", "S0", "R32", "R48", "R16"}},
        {"unknown", {'x', 'y'}, {"R6", "S0"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        Records r;
        CTracingStream in(c.file);
        (void)LoadData(in, r.Refs(), r.pal);
        EXPECT_EQ(in.m_ops, c.ops);
    }
}

// Each kind converts into each other kind; sheets become images of their cells and
// images sheets of 16 x 16 cells; a sheet reaches TIM through the BMP record.
TEST(DataKinds, ConversionMatrix)
{
    const int kinds[] = {DATA_BFNT, DATA_BMP, DATA_TIM};
    for (int nFrom : kinds)
    {
        const DataKind* pFrom = FindDataKind(nFrom);
        ASSERT_NE(pFrom, nullptr);
        EXPECT_EQ(pFrom->pfnConvertTo[DATA_NONE], nullptr);
        for (int nTo : kinds)
            EXPECT_EQ(pFrom->pfnConvertTo[nTo] == nullptr, nFrom == nTo) << nFrom << "->" << nTo;
    }

    Records r;
    CMemStream sheet(MakeSampleBfnt(16, 16, 0, 31));
    ASSERT_EQ(LoadData(sheet, r.Refs(), r.pal).nFailure, LOAD_OK);
    ASSERT_EQ(ConvertData(r.Refs(), DATA_BFNT, DATA_TIM), FMT_OK);
    EXPECT_EQ(r.bmp.m_infoHeader.biWidth, 256);  // the intermediate image stays
    EXPECT_EQ(r.bmp.m_infoHeader.biHeight, 32);
    EXPECT_EQ(r.tim.m_imageWidth, 128);
    EXPECT_EQ(r.tim.m_imageHeight, 32);
    ASSERT_EQ(ConvertData(r.Refs(), DATA_TIM, DATA_BFNT), FMT_OK);
    EXPECT_EQ(r.bfnt.m_header.glyphWidth, DATA_SHEET_CELL_SIZE);
    EXPECT_EQ(r.bfnt.m_header.lastCode, 31);

    // Nothing to do from a kind to itself or from no kind at all.
    const std::uint8_t* pBits = r.bmp.m_pBits.get();
    EXPECT_EQ(ConvertData(r.Refs(), DATA_BMP, DATA_BMP), FMT_OK);
    EXPECT_EQ(ConvertData(r.Refs(), DATA_NONE, DATA_BMP), FMT_OK);
    EXPECT_EQ(r.bmp.m_pBits.get(), pBits);
    CMemStream out;
    EXPECT_EQ(WriteData(r.Refs(), DATA_NONE, out, r.pal), FMT_BAD_RECORD);
    EXPECT_EQ(out.GetLength(), 0u);
}
