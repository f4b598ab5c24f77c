// Every reader on damaged copies of valid samples: each byte flipped, zeroed or
// set to 0xFF, and every truncation. Nothing may crash or read out of bounds
// (the sanitizer build watches), and whatever a reader accepts must convert,
// write and read back.

#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

namespace
{
template <class TRecord, class FnRead>
void ExpectReadsBack(TRecord& rec, FnRead read, const char* what)
{
    CMemStream out;
    int n = FMT_OK;
    if constexpr (std::is_same_v<TRecord, CBmpData>)
        n = rec.WriteBmp(out);
    else if constexpr (std::is_same_v<TRecord, CTimData>)
        n = rec.WriteTim(out);
    else
        n = rec.WriteBfnt(out);
    ASSERT_EQ(n, FMT_OK) << what;
    TRecord again;
    RgbPalette pal{};
    again.m_pPalette = &pal;
    out.Seek(0, STREAM_BEGIN);
    ASSERT_EQ(read(again, out), FMT_OK) << what;
}

int ReadBmpAll(CBmpData& r, IByteStream& s) { return r.ReadBmp(s, true); }
int ReadTimAll(CTimData& r, IByteStream& s) { return r.ReadTim(s, true); }
int ReadBfntAll(CBfntData& r, IByteStream& s) { return r.ReadBfnt256(s); }

void Exercise(const std::vector<std::uint8_t>& bytes)
{
    RgbPalette pal{};
    CBmpData bmp;
    CTimData tim;
    CBfntData bfnt;
    bmp.m_pPalette = tim.m_pPalette = bfnt.m_pPalette = &pal;
    CBmpData bmpOut;
    CTimData timOut;
    CBfntData bfntOut;
    bmpOut.m_pPalette = timOut.m_pPalette = bfntOut.m_pPalette = &pal;

    {
        CMemStream s(bytes);
        (void)bmp.ReadBmp(s, false);
    }
    CMemStream s1(bytes);
    if (bmp.ReadBmp(s1, true) == FMT_OK)
    {
        ExpectReadsBack(bmp, ReadBmpAll, "bmp");
        if (bmp.BmpToTim(timOut) == FMT_OK)
            ExpectReadsBack(timOut, ReadTimAll, "bmp->tim");
        if (bmp.BmpToBfnt(bfntOut, 16) == FMT_OK)
            ExpectReadsBack(bfntOut, ReadBfntAll, "bmp->bfnt");
    }
    CMemStream s2(bytes);
    if (tim.ReadTim(s2, true) == FMT_OK)
    {
        ExpectReadsBack(tim, ReadTimAll, "tim");
        if (tim.TimToBmp(bmpOut) == FMT_OK)
            ExpectReadsBack(bmpOut, ReadBmpAll, "tim->bmp");
        if (tim.TimToBfnt(bfntOut, 16) == FMT_OK)
            ExpectReadsBack(bfntOut, ReadBfntAll, "tim->bfnt");
    }
    CMemStream s3(bytes);
    int n = bfnt.ReadBfnt256(s3);
    if (n == FMT_BFNT_NOT_256)
    {
        CMemStream s4(bytes);
        n = bfnt.ReadBfnt(s4, 1);
    }
    if (n == FMT_OK)
    {
        bfnt.SetBfntRowOrder(1);
        ExpectReadsBack(bfnt, ReadBfntAll, "bfnt");
        if (bfnt.BfntToBmp(bmpOut) == FMT_OK)
        {
            ExpectReadsBack(bmpOut, ReadBmpAll, "bfnt->bmp");
            if (bmpOut.BmpToTim(timOut) == FMT_OK)
                ExpectReadsBack(timOut, ReadTimAll, "bfnt->bmp->tim");
        }
    }
}
}  // namespace

TEST(Mutation, DamagedSamplesNeverCrashAndAcceptedOnesRoundTrip)
{
    const std::vector<std::vector<std::uint8_t>> samples = {
        MakeSampleBmp(6, 5), MakeSampleBmp(5, 3, true), MakeSampleTim(3, 4),
        MakeSampleBfnt(3, 3, 0, 4, 2), MakeSampleBfnt16(3, 3, 0, 4), MakeSampleBfnt16(2, 2, 0, 1, false),
    };
    for (const auto& sample : samples)
    {
        for (std::size_t nLen = 0; nLen < sample.size(); ++nLen)
            Exercise(std::vector<std::uint8_t>(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(nLen)));
        for (std::size_t i = 0; i < sample.size(); ++i)
            for (std::uint8_t nValue : {std::uint8_t(sample[i] ^ 0xFF), std::uint8_t(0), std::uint8_t(0xFF), std::uint8_t(sample[i] ^ 0x80)})
            {
                auto bytes = sample;
                bytes[i] = nValue;
                Exercise(bytes);
                if (HasFatalFailure())
                    return;
            }
    }
}
