// Readers and writers on streams that fail part way, as a full or failing disk does, and
// on files that shrink while they are read: the failure reaches the caller, the record is
// as it was, and the next try on a good stream gives what a clean run gives.

#include "tests/corpus/RecordSnapshot.h"
#include "tests/formats/SampleFiles.h"
#include "tests/formats/TestStreams.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <stdexcept>
#include <string>

namespace
{
// One kind of record behind a common face: read, write and snapshot.
struct KindOps
{
    std::string name;
    Bytes sample;  // a file large enough that pixels move in several pieces
    std::function<int(IByteStream&)> read;
    std::function<int(IByteStream&)> write;
    std::function<Bytes()> state;
};

struct AllRecords
{
    RgbPalette palette = MarkerPalette();
    CBmpData bmp;
    CTimData tim;
    CBfntData bfnt;
    AllRecords() { bmp.m_pPalette = tim.m_pPalette = bfnt.m_pPalette = &palette; }

    std::vector<KindOps> Kinds()
    {
        auto withPalette = [this](Bytes s) {
            s.insert(s.end(), palette.rgb, palette.rgb + sizeof palette.rgb);
            return s;
        };
        return {
            {"bmp", MakeSampleBmp(256, 250), [this](IByteStream& f) { return bmp.ReadBmp(f, true); },
             [this](IByteStream& f) { return bmp.WriteBmp(f); }, [=, this] { return withPalette(Snapshot(bmp)); }},
            {"tim", MakeSampleTim(128, 256), [this](IByteStream& f) { return tim.ReadTim(f, true); },
             [this](IByteStream& f) { return tim.WriteTim(f); }, [=, this] { return withPalette(Snapshot(tim)); }},
            {"bfnt", MakeSampleBfnt(16, 16, 0, 299, 7), [this](IByteStream& f) { return bfnt.ReadBfnt256(f); },
             [this](IByteStream& f) { return bfnt.WriteBfnt(f); }, [=, this] { return withPalette(Snapshot(bfnt)); }},
            {"bfnt16", MakeSampleBfnt16(8, 8, 32, 127), [this](IByteStream& f) { return bfnt.ReadBfnt(f, 1); },
             [this](IByteStream& f) { return bfnt.WriteBfnt(f); }, [=, this] { return withPalette(Snapshot(bfnt)); }},
        };
    }
};

// Every boundary a request can end on, from the sizes the clean run asked for, one byte
// either side, and a spread of points inside the pieces.
std::set<std::uint64_t> FailurePoints(const std::vector<std::uint32_t>& requests)
{
    std::set<std::uint64_t> points{0, 1};
    std::uint64_t nAt = 0;
    for (std::uint32_t n : requests)
    {
        for (std::uint64_t k = 1; k < n; k += 4093)
            points.insert(nAt + k);
        nAt += n;
        points.insert(nAt - 1);
        points.insert(nAt);
    }
    points.erase(nAt);  // failing after everything has moved is no failure
    return points;
}

TEST(StreamFault, WriteFailingAfterAnyByteCountThrowsAndLeavesTheRecord)
{
    AllRecords r;
    for (KindOps& k : r.Kinds())
    {
        SCOPED_TRACE(k.name);
        CMemStream in(k.sample);
        ASSERT_EQ(k.read(in), FMT_OK);
        CRecordingStream clean;
        ASSERT_EQ(k.write(clean), FMT_OK);
        const Bytes reference = clean.m_mem.Data();
        const Bytes before = k.state();

        for (std::uint64_t nFailAfter : FailurePoints(clean.m_writes))
        {
            CFaultyStream disk({}, nFailAfter);
            EXPECT_THROW((void)k.write(disk), std::runtime_error) << "fail after " << nFailAfter;
            EXPECT_LE(disk.Data().size(), nFailAfter);
            ASSERT_TRUE(k.state() == before) << "a failed write changed the record, after " << nFailAfter;
        }
        CMemStream again;
        ASSERT_EQ(k.write(again), FMT_OK);
        EXPECT_TRUE(again.Data() == reference) << "the write after the failures differs";
    }
}

TEST(StreamFault, ReadFailingAfterAnyByteCountThrowsAndLeavesTheRecord)
{
    AllRecords r;
    for (KindOps& k : r.Kinds())
    {
        SCOPED_TRACE(k.name);
        CRecordingStream clean(k.sample);
        ASSERT_EQ(k.read(clean), FMT_OK);
        const Bytes loaded = k.state();
        // An earlier image that the failed reads must keep.
        CMemStream earlier(k.name == "bmp" ? MakeSampleBmp(3, 2) : k.name == "tim" ? MakeSampleTim(2, 2)
                                                                                   : MakeSampleBfnt(4, 4, 1, 2));
        ASSERT_EQ(k.read(earlier), FMT_OK);
        r.palette = MarkerPalette();
        const Bytes before = k.state();

        for (std::uint64_t nFailAfter : FailurePoints(clean.m_reads))
        {
            CFaultyStream disk(k.sample, nFailAfter);
            EXPECT_THROW((void)k.read(disk), std::runtime_error) << "fail after " << nFailAfter;
            ASSERT_TRUE(k.state() == before) << "a failed read changed the record, after " << nFailAfter;
        }
        CMemStream again(k.sample);
        ASSERT_EQ(k.read(again), FMT_OK);
        EXPECT_TRUE(k.state() == loaded);
    }
}

// The file was cut after it was opened: its length still says more than the reads
// deliver. Every such cut is refused as truncated and changes nothing.
TEST(StreamFault, FileThatShrinksWhileReadIsRefused)
{
    AllRecords r;
    const int nTruncated[] = {FMT_BMP_TRUNCATED, FMT_TIM_TRUNCATED, FMT_BFNT_TRUNCATED, FMT_BFNT_TRUNCATED};
    int i = 0;
    for (KindOps& k : r.Kinds())
    {
        SCOPED_TRACE(k.name);
        CRecordingStream clean(k.sample);
        ASSERT_EQ(k.read(clean), FMT_OK);
        const Bytes before = k.state();
        for (std::uint64_t nCut : FailurePoints(clean.m_reads))
        {
            if (nCut < 8)
                continue;  // too short to pass the signature checks; the corpus covers those
            Bytes cut(k.sample.begin(), k.sample.begin() + static_cast<std::ptrdiff_t>(nCut));
            CShortReadStream shrunk(std::move(cut), k.sample.size());
            EXPECT_EQ(k.read(shrunk), nTruncated[i]) << "cut at " << nCut;
            ASSERT_TRUE(k.state() == before) << "cut at " << nCut;
        }
        ++i;
    }
}
}  // namespace
