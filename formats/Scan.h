#pragma once
// Finding pictures inside other files (disc images, archives, memory dumps): where a TIM, BMP
// or BFNT could start in a run of bytes, and whether one really starts there. A find is an item
// that the readers of every depth parse completely and whose fields all agree with each other
// and with its length; the rules are written out beside each check in Scan.cpp and in the
// README. Pure: it sees bytes, never a file.

#include <cstddef>
#include <cstdint>
#include <mutex>

enum : unsigned
{
    SCAN_TIM = 1,
    SCAN_BMP = 2,
    SCAN_BFNT = 4,
    SCAN_ALL_KINDS = SCAN_TIM | SCAN_BMP | SCAN_BFNT,
};

// The TIM frame buffer, in 16-bit units: every block's rectangle lies inside it.
enum : std::uint32_t
{
    TIM_FRAME_BUFFER_WIDTH = 1024,
    TIM_FRAME_BUFFER_HEIGHT = 512,
};

struct ScanItem
{
    unsigned kind = 0;             // SCAN_TIM, SCAN_BMP or SCAN_BFNT
    std::uint64_t nLength = 0;     // the item's own bytes
    std::uint32_t nWidth = 0;      // the picture's pixels; a sheet's cell
    std::uint32_t nHeight = 0;
    std::uint32_t nDepth = 0;      // bits per pixel
    std::uint32_t nCluts = 0;      // CLUT rows of an indexed TIM, 1 for a BMP table or a sheet's palette block, else 0
};

// "tim", "bmp" or "bfnt".
const char* ScanKindName(unsigned kind);
// The extension of an extracted item, with its dot: ".tim", ".bmp", ".fnt".
const char* ScanKindExtension(unsigned kind);

enum class ScanVerdict
{
    No,    // no item starts here
    Need,  // the check needs nNeed bytes from the candidate to decide
    Yes,   // an item of item.nLength bytes starts here
};

struct ScanCheck
{
    ScanVerdict verdict = ScanVerdict::No;
    std::uint64_t nNeed = 0;
    // How far past the candidate the check may have read, so that a caller reading through a
    // mapping can let go of those pages again.
    std::uint64_t nReach = 0;
    ScanItem item;
};

// Bitmaps whose check reads every pixel (RLE, which is decoded, and a colour table shorter
// than the depth allows, whose indices are checked against it) take memory in proportion to
// their size; above these they are not reported. The lock, when given, is held around such a
// check, so that threads scanning side by side run one at a time.
struct ScanLimits
{
    std::uint64_t nMaxPixelBytes = std::uint64_t{16} << 20;  // pixel data read whole
    std::uint64_t nMaxDecodedPixels = std::uint64_t{16} << 20;
    std::mutex* pHeavyLock = nullptr;
};

// A first look at a candidate: false when its first bytes already rule out every item (TIM:
// version and reserved bytes 0, a pixel mode and the CLUT bit, nothing else in the flags; BMP: reserved
// fields 0; BFNT: "BFNT" and a colour type). With fewer than 10 bytes it answers true and
// leaves the decision to CheckScanCandidate, which applies these rules too.
inline bool ScanSignatureHolds(const std::uint8_t* p, std::size_t nAvail)
{
    if (nAvail < 10)
        return true;
    if (p[0] == 0x10)
    {
        const unsigned nFlags = p[4];
        const bool bMode = (nFlags & 0xF0) == 0 && (nFlags & 7) <= 3;
        return (p[2] | p[3] | p[5] | p[6] | p[7]) == 0 && bMode;
    }
    if (p[1] == 'M')
        return (p[6] | p[7] | p[8] | p[9]) == 0;
    return p[2] == 'N' && p[3] == 'T' && ((p[5] & 0x7F) == 3 || (p[5] & 0x7F) == 7);
}

// The first position q in [p, pEnd - 1) where one of the kinds' two-byte signatures starts
// (0x10 0x00, "BM", "BF") and whose first look (ScanSignatureHolds, with the bytes up to
// pLimit) holds; pEnd - 1 when there is none, or p when p >= pEnd - 1. Reads at most up to
// pLimit (pEnd <= pLimit), a word at a time.
const std::uint8_t* FindScanCandidate(const std::uint8_t* p, const std::uint8_t* pEnd, const std::uint8_t* pLimit);

// Whether an item of the kinds asked for starts at p, given nAvail bytes from p; bAll says
// that no more follow (the end of the stream). When the check needs bytes it was not given,
// it answers Need with their count; given them (or all there are) it answers again. The
// answer depends only on the bytes from p to the end of the stream, never on how many were
// handed over at once.
ScanCheck CheckScanCandidate(const std::uint8_t* p, std::size_t nAvail, bool bAll, unsigned kinds,
                             const ScanLimits& limits);

// Finds in stream order. A find is nested when it starts inside the bytes of an earlier find
// that is not nested itself: the pixels of a large picture may hold things that parse, and
// they should not hide the item that follows the picture.
class CScanNesting
{
public:
    // True when the find at nStart of nLength bytes is nested.
    bool Add(std::uint64_t nStart, std::uint64_t nLength)
    {
        if (nStart < m_nEnd)
            return true;
        m_nEnd = nStart + nLength;
        return false;
    }

private:
    std::uint64_t m_nEnd = 0;
};

// Every item of the kinds that starts in the nSize bytes at p and ends inside them, in offset
// order, nested ones too; onFind(offset, item) for each.
template <typename OnFind>
void ScanBytes(const std::uint8_t* p, std::size_t nSize, unsigned kinds, const ScanLimits& limits, OnFind&& onFind)
{
    const std::uint8_t* const pEnd = p + nSize;
    for (const std::uint8_t* q = p; nSize > 1 && q < pEnd - 1; ++q)
    {
        q = FindScanCandidate(q, pEnd, pEnd);
        if (q >= pEnd - 1)
            break;
        const ScanCheck check = CheckScanCandidate(q, static_cast<std::size_t>(pEnd - q), true, kinds, limits);
        if (check.verdict == ScanVerdict::Yes)
            onFind(static_cast<std::uint64_t>(q - p), check.item);
    }
}
