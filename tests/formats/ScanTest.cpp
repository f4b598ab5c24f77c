// The scan's rules on bytes: every kind and depth found at its exact offset and length,
// nothing found in random bytes or in items with one field broken, the same answer however
// the bytes are handed over, and the nesting rule.

#include "formats/CdImage.h"
#include "formats/Scan.h"
#include "tests/formats/ScanSamples.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace
{

using scansample::Bytes;
using scansample::CRandom;

struct Found
{
    std::uint64_t nOffset;
    ScanItem item;
};

std::vector<Found> ScanAll(const Bytes& b, unsigned kinds = SCAN_ALL_KINDS)
{
    std::vector<Found> finds;
    ScanBytes(b.data(), b.size(), kinds, ScanLimits{}, [&](std::uint64_t nOffset, const ScanItem& item) {
        finds.push_back({nOffset, item});
    });
    return finds;
}

// The finds that are not nested, as the scan reports them without --nested.
std::vector<Found> TopLevel(const std::vector<Found>& finds)
{
    std::vector<Found> top;
    CScanNesting nesting;
    for (const Found& f : finds)
        if (!nesting.Add(f.nOffset, f.item.nLength))
            top.push_back(f);
    return top;
}

std::string Describe(const ScanItem& it)
{
    return std::string(ScanKindName(it.kind)) + " " + std::to_string(it.nLength) + " " + std::to_string(it.nWidth) +
           "x" + std::to_string(it.nHeight) + " " + std::to_string(it.nDepth) + " " + std::to_string(it.nCluts);
}

}  // namespace

TEST(Scan, FindsEveryKindAndDepthAlone)
{
    for (const scansample::Planted& p : scansample::EveryKindAndDepth())
    {
        const std::vector<Found> finds = TopLevel(ScanAll(p.bytes));
        ASSERT_EQ(finds.size(), 1u) << p.strName;
        EXPECT_EQ(finds[0].nOffset, 0u) << p.strName;
        EXPECT_EQ(Describe(finds[0].item), Describe(p.item)) << p.strName;
    }
}

TEST(Scan, FindsEveryItemPlantedInRandomBytesAndNothingElse)
{
    for (std::uint64_t nSeed = 1; nSeed <= 6; ++nSeed)
    {
        CRandom r(nSeed);
        const std::vector<scansample::Planted> items = scansample::EveryKindAndDepth(nSeed * 100);
        Bytes b;
        std::map<std::uint64_t, std::string> expected;
        for (std::size_t i = 0; i < items.size(); ++i)
        {
            // Random bytes between, none at all now and then: items back to back.
            const Bytes gap = r.Make(r.Below(3) == 0 ? 0 : r.Below(5000));
            b.insert(b.end(), gap.begin(), gap.end());
            expected[b.size()] = Describe(items[i].item);
            b.insert(b.end(), items[i].bytes.begin(), items[i].bytes.end());
        }
        // The last one ends with the file.
        const std::map<std::uint64_t, std::string> planted = expected;
        std::map<std::uint64_t, std::string> got;
        for (const Found& f : TopLevel(ScanAll(b)))
            got[f.nOffset] = Describe(f.item);
        EXPECT_EQ(got, planted) << "seed " << nSeed;
    }
}

TEST(Scan, FindsNothingInRandomBytes)
{
    CRandom r(42);
    const Bytes b = r.Make(std::size_t{8} << 20);
    EXPECT_TRUE(ScanAll(b).empty());
}

TEST(Scan, FindsNothingInRandomBytesSeededWithSignatures)
{
    // Every signature with the header bytes that follow it most often in real files, the
    // rest random: the other fields decide.
    const Bytes heads[] = {
        {0x10, 0, 0, 0, 0x09, 0, 0, 0}, {0x10, 0, 0, 0, 0x08, 0, 0, 0}, {0x10, 0, 0, 0, 0x02, 0, 0, 0},
        {0x10, 0, 0, 0, 0x03, 0, 0, 0}, {0x10, 0, 0, 0, 0x00, 0, 0, 0}, {0x10, 0, 0, 0, 0x01, 0, 0, 0}, {'B', 'M'},                    {'B', 'M', 0x36, 0x04, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0, 40, 0, 0, 0},
        {'B', 'F', 'N', 'T', 0x1A, 0x87}, {'B', 'F', 'N', 'T', 0x1A, 0x03},
    };
    CRandom r(7);
    Bytes b = r.Make(std::size_t{4} << 20);
    for (std::size_t at = 0; at + 64 < b.size(); at += 37 + r.Below(64))
    {
        const Bytes& h = heads[r.Below(std::size(heads))];
        std::copy(h.begin(), h.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    }
    EXPECT_TRUE(ScanAll(b).empty());
}

namespace
{

// One field of an item broken, as a decoy: its name and how.
struct Decoy
{
    std::string strName;
    Bytes bytes;
};

Bytes With(Bytes b, std::size_t at, std::initializer_list<std::uint8_t> values)
{
    for (std::uint8_t v : values)
        b.at(at++) = v;
    return b;
}

Bytes Le32(Bytes b, std::size_t at, std::uint32_t v)
{
    PutLe32(&b.at(at), v);
    return b;
}

Bytes Le16(Bytes b, std::size_t at, std::uint16_t v)
{
    PutLe16(&b.at(at), v);
    return b;
}

std::vector<Decoy> Decoys()
{
    using namespace scansample;
    std::vector<Decoy> d;
    const Bytes tim8 = MakeTim({8, 8, 6, true, 256, 1, 0, 480, 320, 0, 1});  // CLUT block at 8, image block at 532
    const Bytes tim16 = MakeTim({16, 9, 4, false, 0, 0, 0, 0, 64, 64, 1});
    d.push_back({"tim version", With(tim8, 1, {1})});
    d.push_back({"tim reserved", With(tim8, 2, {0, 1})});
    d.push_back({"tim flags bit 4", With(tim8, 4, {0x19})});
    d.push_back({"tim flags high byte", With(tim8, 7, {0x80})});
    d.push_back({"tim mixed mode", With(tim8, 4, {0x0C})});
    // Without the CLUT bit the CLUT block (524 bytes, 256 x 1 at 0,480) reads as an image
    // block: the first 532 bytes are a texture without a CLUT. Off by one unit, none is.
    d.push_back({"tim 8 bits without CLUT, block length", Le32(With(tim8, 4, {0x01}), 8, 526)});
    const Bytes tim4Bare = MakeTim({4, 5, 6, false, 0, 0, 0, 0, 640, 256, 1});
    d.push_back({"tim 4 bits without CLUT, block length", Le32(tim4Bare, 8, 12 + 60 + 2)});
    d.push_back({"tim 4 bits without CLUT, past the frame buffer", Le16(tim4Bare, 12, 1020)});
    d.push_back({"tim 4 bits without CLUT, width 0", Le16(tim4Bare, 16, 0)});
    d.push_back({"tim 4 bits without CLUT, flags bit 5", With(tim4Bare, 4, {0x20})});
    d.push_back({"tim 4 bits without CLUT, cut", Bytes(tim4Bare.begin(), tim4Bare.end() - 1)});
    d.push_back({"tim CLUT length short", Le32(tim8, 8, 522)});
    d.push_back({"tim CLUT length long", Le32(tim8, 8, 526)});
    d.push_back({"tim CLUT past the frame buffer", Le16(tim8, 12, 769)});
    d.push_back({"tim CLUT below the frame buffer", Le16(tim8, 14, 512)});
    d.push_back({"tim CLUT width 0", Le16(tim8, 16, 0)});
    d.push_back({"tim image length", Le32(tim8, 532, 12 + 96 + 2)});
    d.push_back({"tim image past the frame buffer", Le16(tim8, 536, 1017)});
    d.push_back({"tim image below the frame buffer", Le16(tim8, 538, 507)});
    d.push_back({"tim image height 0", Le16(tim8, 542, 0)});
    d.push_back({"tim cut", Bytes(tim8.begin(), tim8.end() - 1)});
    d.push_back({"tim16 image length", Le32(tim16, 8, 12 + 72 - 2)});
    d.push_back({"tim24 of no pixel", MakeTim({24, 1, 4, false, 0, 0, 0, 0, 0, 0, 1})});

    const Bytes bmp8 = MakeBmp({8, 13, 5, 0, 40, 0, false, 1});
    const Bytes bmp4 = MakeBmp({4, 9, 3, 0, 40, 5, false, 1});
    const Bytes rle8 = MakeBmp({8, 30, 6, 1, 40, 0, false, 1});
    d.push_back({"bmp reserved 1", With(bmp8, 6, {1})});
    d.push_back({"bmp reserved 2", With(bmp8, 9, {1})});
    d.push_back({"bmp header size", With(bmp8, 14, {64})});
    d.push_back({"bmp planes", With(bmp8, 26, {2})});
    d.push_back({"bmp 16 bits", With(bmp8, 28, {16})});
    d.push_back({"bmp bit fields", With(bmp8, 30, {3})});
    d.push_back({"bmp RLE4 at 8 bits", With(bmp8, 30, {2})});
    d.push_back({"bmp width 0", Le32(bmp8, 18, 0)});
    d.push_back({"bmp negative width", Le32(bmp8, 18, 0xFFFFFFF3u)});
    d.push_back({"bmp file size", Le32(bmp8, 2, static_cast<std::uint32_t>(bmp8.size() + 1))});
    d.push_back({"bmp pixel offset", Le32(bmp8, 10, 1078 + 4)});
    d.push_back({"bmp image size", Le32(bmp8, 34, 17)});
    d.push_back({"bmp colours used", Le32(bmp8, 46, 257)});
    d.push_back({"bmp colours important", Le32(bmp8, 50, 257)});
    d.push_back({"bmp table reserved byte", With(bmp8, 54 + 4 * 77 + 3, {1})});
    d.push_back({"bmp cut", Bytes(bmp8.begin(), bmp8.end() - 1)});
    // The first pixel of a 4-bit picture with a 5-colour table takes index 15.
    Bytes badIndex = bmp4;
    badIndex[14 + 40 + 4 * 5] = 0xF0;
    d.push_back({"bmp index past a short table", badIndex});
    d.push_back({"bmp RLE without end of bitmap", With(rle8, rle8.size() - 1, {0})});
    d.push_back({"bmp RLE top-down", Le32(rle8, 22, 0xFFFFFFFAu)});
    Bytes longRun = rle8;
    longRun[1078] = 0;  // the first code becomes an absolute run over the row's end
    longRun[1079] = 255;
    d.push_back({"bmp RLE run past the row", longRun});
    Bytes v5 = MakeBmp({8, 5, 5, 0, 124, 0, false, 1});
    d.push_back({"bmp v5 with a profile", Le32(v5, 14 + 116, 100)});

    const Bytes bfnt = MakeBfnt({false, 8, 12, 32, 40, true, 0, 1});
    d.push_back({"bfnt colour type", With(bfnt, 5, {0x85})});
    d.push_back({"bfnt codes reversed", Le16(bfnt, 14, 31)});
    d.push_back({"bfnt cell width 0", Le16(bfnt, 8, 0)});
    d.push_back({"bfnt cut", Bytes(bfnt.begin(), bfnt.end() - 1)});
    d.push_back({"bfnt extension past the end", Le16(bfnt, 28, 4000)});
    return d;
}

}  // namespace

TEST(Scan, FindsNoDecoy)
{
    CRandom r(11);
    for (const Decoy& decoy : Decoys())
    {
        // At the end of random bytes, so that nothing follows a cut item.
        Bytes b = r.Make(100);
        b.insert(b.end(), decoy.bytes.begin(), decoy.bytes.end());
        const std::vector<Found> finds = ScanAll(b);
        EXPECT_TRUE(finds.empty()) << decoy.strName << ": " << (finds.empty() ? "" : Describe(finds[0].item));
    }
}

TEST(Scan, KindsNotAskedForAreNotFound)
{
    for (const scansample::Planted& p : scansample::EveryKindAndDepth())
    {
        EXPECT_TRUE(TopLevel(ScanAll(p.bytes, SCAN_ALL_KINDS & ~p.item.kind)).empty()) << p.strName;
        EXPECT_EQ(TopLevel(ScanAll(p.bytes, p.item.kind)).size(), 1u) << p.strName;
    }
}

// A caller that has only some of the bytes (a CD image's window) hands over what the check
// asks for; the answer is the same as with all of them at once.
TEST(Scan, AnswersTheSameHoweverTheBytesAreHandedOver)
{
    CRandom r(5);
    std::vector<Bytes> inputs;
    for (const scansample::Planted& p : scansample::EveryKindAndDepth())
        inputs.push_back(p.bytes);
    for (const Decoy& decoy : Decoys())
        inputs.push_back(decoy.bytes);
    for (Bytes b : inputs)
    {
        const Bytes tail = r.Make(r.Below(40));
        b.insert(b.end(), tail.begin(), tail.end());
        const ScanCheck whole = CheckScanCandidate(b.data(), b.size(), true, SCAN_ALL_KINDS, ScanLimits{});
        ScanCheck part = CheckScanCandidate(b.data(), 2, false, SCAN_ALL_KINDS, ScanLimits{});
        while (part.verdict == ScanVerdict::Need)
        {
            ASSERT_GT(part.nNeed, 2u);
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(part.nNeed, b.size()));
            part = CheckScanCandidate(b.data(), n, n == b.size(), SCAN_ALL_KINDS, ScanLimits{});
        }
        EXPECT_EQ(part.verdict, whole.verdict);
        EXPECT_EQ(Describe(part.item), Describe(whole.item));
        EXPECT_TRUE(ScanSignatureHolds(b.data(), b.size()) || whole.verdict == ScanVerdict::No);
    }
}

TEST(Scan, BitmapsLargerThanTheLimitsAreNotRead)
{
    const Bytes rle = scansample::MakeBmp({8, 300, 200, 1, 40, 0, false, 3});
    ScanLimits limits;
    EXPECT_EQ(CheckScanCandidate(rle.data(), rle.size(), true, SCAN_BMP, limits).verdict, ScanVerdict::Yes);
    limits.nMaxDecodedPixels = 300 * 200 - 1;
    EXPECT_EQ(CheckScanCandidate(rle.data(), rle.size(), true, SCAN_BMP, limits).verdict, ScanVerdict::No);
    limits = ScanLimits{};
    limits.nMaxPixelBytes = rle.size() - 1078 - 1;
    EXPECT_EQ(CheckScanCandidate(rle.data(), rle.size(), true, SCAN_BMP, limits).verdict, ScanVerdict::No);
}

TEST(Scan, CandidatesAreEveryTwoByteSignatureWhoseFirstLookHolds)
{
    CRandom r(9);
    for (int nTrial = 0; nTrial < 400; ++nTrial)
    {
        // Few distinct byte values, so that signatures and headers that pass the first look
        // are frequent and fall on every position, at every distance from the end.
        Bytes b(1 + r.Below(600));
        static const std::uint8_t kValues[] = {0x10, 0x00, 0x00, 0x00, 0x08, 'B', 'M', 'F', 'N', 'T', 0x87};
        for (std::uint8_t& v : b)
            v = kValues[r.Below(std::size(kValues))];
        const std::size_t nEnd = r.Below(b.size() + 1);  // candidates before nEnd - 1, reading up to the whole
        std::vector<std::size_t> naive, fast;
        for (std::size_t i = 0; i + 1 < nEnd; ++i)
            if (((b[i] == 0x10 && b[i + 1] == 0) || (b[i] == 'B' && (b[i + 1] == 'M' || b[i + 1] == 'F'))) &&
                ScanSignatureHolds(&b[i], b.size() - i))
                naive.push_back(i);
        const std::uint8_t* const pEnd = b.data() + nEnd;
        for (const std::uint8_t* q = b.data();; ++q)
        {
            q = FindScanCandidate(q, pEnd, b.data() + b.size());
            if (pEnd - q < 2)
                break;
            fast.push_back(static_cast<std::size_t>(q - b.data()));
        }
        ASSERT_EQ(fast, naive) << "trial " << nTrial;
    }
}

TEST(Scan, NestedFindsAreThoseInsideAFindThatIsNotNested)
{
    CScanNesting n;
    EXPECT_FALSE(n.Add(0, 1000));   // a large picture
    EXPECT_TRUE(n.Add(10, 50));     // inside it
    EXPECT_TRUE(n.Add(900, 500));   // inside it, running past its end
    EXPECT_FALSE(n.Add(1000, 20));  // right after it: not inside the nested one's bytes
    EXPECT_TRUE(n.Add(1019, 5));
    EXPECT_FALSE(n.Add(1020, 5));
}

TEST(CdImage, RecognisesRawSectorsAndWhereTheirUserDataIs)
{
    const scansample::CdImage cd = scansample::MakeCdImage(Bytes(5000, 0xAB), 3);
    EXPECT_TRUE(IsRawCdImage(cd.image.data(), cd.image.size(), cd.image.size()));
    EXPECT_FALSE(IsRawCdImage(cd.image.data(), cd.image.size(), cd.image.size() - 1));
    Bytes noSync = cd.image;
    noSync[5] = 0;
    EXPECT_FALSE(IsRawCdImage(noSync.data(), noSync.size(), noSync.size()));
    std::size_t nData = 0;
    for (std::size_t at = 0; at < cd.image.size(); at += CD_SECTOR_SIZE)
        if (const std::uint32_t nAt = CdUserDataAt(&cd.image[at]); nAt != 0)
        {
            EXPECT_EQ(at + nAt, cd.userDataAt.at(nData));
            ++nData;
        }
    EXPECT_EQ(nData, cd.userDataAt.size());
}
