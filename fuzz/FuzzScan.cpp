// The scan on any bytes: no find is reported that its reader of every depth does not take
// whole; each find, handed over alone, is the same find; a caller that hands the bytes over
// bit by bit, as the CD-image scan does, gets the same answer at every position; and the
// first look at a candidate never rules out an item.
#include "formats/BfntImage.h"
#include "formats/BmpImage.h"
#include "formats/Scan.h"
#include "formats/TimImage.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>

namespace
{
bool SameItem(const ScanItem& a, const ScanItem& b)
{
    return a.kind == b.kind && a.nLength == b.nLength && a.nWidth == b.nWidth && a.nHeight == b.nHeight &&
           a.nDepth == b.nDepth && a.nCluts == b.nCluts;
}

// As a caller with a window of the bytes asks: a few first, then what the check needs.
ScanCheck CheckInSteps(const std::uint8_t* p, std::size_t n, const ScanLimits& limits)
{
    std::size_t nGiven = n < 2 ? n : 2;
    ScanCheck check = CheckScanCandidate(p, nGiven, nGiven == n, SCAN_ALL_KINDS, limits);
    while (check.verdict == ScanVerdict::Need)
    {
        FUZZ_CHECK(check.nNeed > nGiven);
        nGiven = check.nNeed < n ? static_cast<std::size_t>(check.nNeed) : n;
        check = CheckScanCandidate(p, nGiven, nGiven == n, SCAN_ALL_KINDS, limits);
    }
    return check;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    // Small limits, so that the bitmaps checked pixel by pixel stay quick.
    ScanLimits limits;
    limits.nMaxPixelBytes = 1 << 20;
    limits.nMaxDecodedPixels = 1 << 20;
    ScanBytes(pData, nSize, SCAN_ALL_KINDS, limits, [&](std::uint64_t nOffset, const ScanItem& item) {
        FUZZ_CHECK(item.nLength <= nSize - nOffset);
        const std::uint8_t* p = pData + nOffset;
        const auto n = static_cast<std::size_t>(item.nLength);
        FormatResult nResult = FMT_BAD_RECORD;
        if (item.kind == SCAN_TIM)
        {
            TimImage tim;
            nResult = ParseTimImage(p, n, tim);
        }
        else if (item.kind == SCAN_BMP)
        {
            BmpImage bmp;
            nResult = ParseBmpImage(p, n, BmpImageLimits{1u << 24, limits.nMaxDecodedPixels}, bmp);
        }
        else
        {
            BfntImage bfnt;
            nResult = ParseBfntImage(p, n, bfnt);
        }
        FUZZ_CHECK(nResult == FMT_OK);
        const ScanCheck alone = CheckScanCandidate(p, n, true, SCAN_ALL_KINDS, limits);
        FUZZ_CHECK(alone.verdict == ScanVerdict::Yes && SameItem(alone.item, item));
        FUZZ_CHECK(alone.nReach <= item.nLength);
    });

    // Every two-byte signature answers the same in steps as at once.
    const std::uint8_t* const pEnd = pData + nSize;
    for (const std::uint8_t* q = pData; nSize > 1 && q < pEnd - 1; ++q)
    {
        if (!((q[0] == 0x10 && q[1] == 0) || (q[0] == 'B' && (q[1] == 'M' || q[1] == 'F'))))
            continue;
        const auto n = static_cast<std::size_t>(pEnd - q);
        const ScanCheck whole = CheckScanCandidate(q, n, true, SCAN_ALL_KINDS, limits);
        FUZZ_CHECK(whole.verdict != ScanVerdict::Need && whole.nReach <= n);
        const ScanCheck steps = CheckInSteps(q, n, limits);
        FUZZ_CHECK(steps.verdict == whole.verdict && SameItem(steps.item, whole.item));
        // The first look rules out nothing the full check would take.
        FUZZ_CHECK(ScanSignatureHolds(q, n) || whole.verdict == ScanVerdict::No);
    }
    return 0;
}
