#include "formats/Scan.h"

#include "formats/BfntImage.h"
#include "formats/BmpImage.h"
#include "formats/ByteOrder.h"
#include "formats/TimImage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>

namespace
{

// A check in progress: the bytes it has, whether they are all there are, and how far it has
// looked (it reads no byte it has not first asked Lacks for).
struct Bytes
{
    const std::uint8_t* p;
    std::uint64_t nAvail;
    bool bAll;
    mutable std::uint64_t nLooked = 0;
};

ScanCheck No(std::uint64_t nReach = 0)
{
    ScanCheck c;
    c.nReach = nReach;
    return c;
}

// Nothing when n bytes are there; otherwise the answer to give: Need n, or No at the end.
std::optional<ScanCheck> Lacks(const Bytes& b, std::uint64_t n)
{
    if (n <= b.nAvail)
    {
        b.nLooked = std::max(b.nLooked, n);
        return std::nullopt;
    }
    if (b.bAll)
        return No();
    ScanCheck c;
    c.verdict = ScanVerdict::Need;
    c.nNeed = n;
    return c;
}

ScanCheck Found(const ScanItem& item, std::uint64_t nReach)
{
    ScanCheck c;
    c.verdict = ScanVerdict::Yes;
    c.item = item;
    c.nReach = nReach;
    return c;
}

// A block's rectangle, in 16-bit units, inside the frame buffer and not empty.
bool InFrameBuffer(const TimBlockHeader& h)
{
    return h.width != 0 && h.height != 0 && std::uint32_t{h.x} + h.width <= TIM_FRAME_BUFFER_WIDTH &&
           std::uint32_t{h.y} + h.height <= TIM_FRAME_BUFFER_HEIGHT;
}

// A TIM block whose length is exactly its header and its rectangle's 16-bit units.
bool ExactBlock(const TimBlockHeader& h)
{
    return InFrameBuffer(h) && h.length == TIM_BLOCK_HEADER_SIZE + 2 * std::uint64_t{h.width} * h.height;
}

ScanCheck CheckTim(const Bytes& b)
{
    if (auto c = Lacks(b, TIM_FILE_HEADER_SIZE))
        return *c;
    TimFileHeader file;
    ParseTimFileHeader(b.p, file);
    // Version and the reserved bytes 0; the flags hold a pixel mode of 4, 8, 16 or 24 bits and
    // the CLUT bit, nothing else. Every depth may come without a CLUT: 4- and 8-bit textures
    // often keep their colours in another file, and get the same checks as 16-bit ones.
    const std::uint32_t nMode = file.flags & TIM_FLAG_MODE_MASK;
    if (file.version != 0 || file.reserved != 0 || (file.flags & ~std::uint32_t{TIM_FLAG_MODE_MASK | TIM_FLAG_CLUT}) != 0 ||
        TimModeBpp(nMode) == 0)
        return No();
    std::uint64_t nPos = TIM_FILE_HEADER_SIZE;
    if ((file.flags & TIM_FLAG_CLUT) != 0)
    {
        if (auto c = Lacks(b, nPos + TIM_BLOCK_HEADER_SIZE))
            return *c;
        TimBlockHeader clut;
        ParseTimBlockHeader(b.p + nPos, clut);
        if (!ExactBlock(clut))
            return No();
        nPos += clut.length;
    }
    if (auto c = Lacks(b, nPos + TIM_BLOCK_HEADER_SIZE))
        return *c;
    TimBlockHeader image;
    ParseTimBlockHeader(b.p + nPos, image);
    if (!ExactBlock(image))
        return No();
    const std::uint64_t nLength = nPos + image.length;
    if (auto c = Lacks(b, nLength))
        return *c;
    TimImage tim;
    if (ParseTimImage(b.p, static_cast<std::size_t>(nLength), tim) != FMT_OK)
        return No(nLength);
    ScanItem item;
    item.kind = SCAN_TIM;
    item.nLength = nLength;
    item.nWidth = tim.nPixelWidth;
    item.nHeight = tim.imageBlock.height;
    item.nDepth = static_cast<std::uint32_t>(tim.nBpp);
    item.nCluts = tim.PaletteCount();
    return Found(item, nLength);
}

// RLE codes that describe the picture exactly: every run inside a row and inside the picture,
// every absolute run whole, and the end-of-bitmap code as the data's last two bytes.
bool ExactRle(const std::uint8_t* p, std::uint64_t n, bool b4, std::uint64_t nWidth, std::uint64_t nHeight)
{
    std::uint64_t x = 0, y = 0, i = 0;
    while (n - i >= 2)
    {
        const unsigned nCount = p[i], nValue = p[i + 1];
        i += 2;
        if (nCount != 0)
        {
            x += nCount;
            if (y >= nHeight || x > nWidth)
                return false;
            continue;
        }
        if (nValue == 0)  // end of line
        {
            x = 0;
            if (++y > nHeight)
                return false;
        }
        else if (nValue == 1)  // end of bitmap
        {
            return i == n;
        }
        else if (nValue == 2)  // delta
        {
            if (n - i < 2)
                return false;
            x += p[i];
            y += p[i + 1];
            i += 2;
            if (x > nWidth || y > nHeight)
                return false;
        }
        else  // absolute run of nValue pixels, padded to a whole 16-bit word
        {
            const std::uint64_t nBytes = b4 ? (nValue + 1u) / 2 : nValue;
            const std::uint64_t nPadded = (nBytes + 1) & ~std::uint64_t{1};
            x += nValue;
            if (n - i < nPadded || y >= nHeight || x > nWidth)
                return false;
            i += nPadded;
        }
    }
    return false;
}

// Holds the caller's lock, if any, for a check that reads a whole picture.
class CHeavyCheck
{
public:
    explicit CHeavyCheck(std::mutex* pLock) : m_pLock(pLock)
    {
        if (m_pLock != nullptr)
            m_pLock->lock();
    }
    ~CHeavyCheck()
    {
        if (m_pLock != nullptr)
            m_pLock->unlock();
    }
    CHeavyCheck(const CHeavyCheck&) = delete;
    CHeavyCheck& operator=(const CHeavyCheck&) = delete;

private:
    std::mutex* m_pLock;
};

constexpr std::uint32_t BMP_V5_HEADER_SIZE = 124;
constexpr std::uint32_t BMP_V5_PROFILE_SIZE_AT = 116;  // in the info header
constexpr std::uint32_t BMP_V5_RESERVED_AT = 120;
// Sides the scan accepts; the PNG export takes no larger.
constexpr std::uint64_t BMP_SCAN_MAX_SIDE = std::uint64_t{1} << 24;

// Each table entry is blue, green, red and a fourth byte the format reserves. Writers put 0
// there, some 0xFF in every entry (an opaque alpha); Pillow writes its 1-bit and greyscale
// tables as four equal bytes, (255, 255, 255, 255) for white. 0 and 0xFF mixed in colours
// come from no writer, and taking them would let 2^n times as many random n-entry tables
// through instead of twice as many.
bool TableReservedHolds(const std::uint8_t* pTable, std::uint64_t nEntries)
{
    bool bZeroOrGrey = true, bOpaque = true;
    for (std::uint64_t i = 0; i < nEntries && (bZeroOrGrey || bOpaque); ++i)
    {
        const std::uint8_t* pEntry = pTable + 4 * i;
        const std::uint8_t v = pEntry[3];
        bOpaque = bOpaque && v == 0xFF;
        bZeroOrGrey = bZeroOrGrey && (v == 0 || (pEntry[0] == v && pEntry[1] == v && pEntry[2] == v));
    }
    return bZeroOrGrey || bOpaque;
}

ScanCheck CheckBmp(const Bytes& b, const ScanLimits& limits)
{
    if (auto c = Lacks(b, BMP_FILE_HEADER_SIZE + 4))
        return *c;
    BmpFileHeader file;
    ParseBmpFileHeader(b.p, file);
    const std::uint32_t nInfoSize = GetLe32(b.p + BMP_FILE_HEADER_SIZE);
    if (file.bfType != BMP_TYPE || file.bfReserved1 != 0 || file.bfReserved2 != 0 ||
        (nInfoSize != BMP_INFO_HEADER_SIZE && nInfoSize != 108 && nInfoSize != BMP_V5_HEADER_SIZE))
        return No();
    const std::uint64_t nTableAt = BMP_FILE_HEADER_SIZE + std::uint64_t{nInfoSize};
    if (auto c = Lacks(b, nTableAt))
        return *c;
    BmpInfoHeader info;
    ParseBmpInfoHeader(b.p + BMP_FILE_HEADER_SIZE, info);
    // A version 5 header with an embedded colour profile keeps it after the pixels; such files
    // are not taken, and the header's reserved field is 0.
    if (nInfoSize == BMP_V5_HEADER_SIZE && (GetLe32(b.p + BMP_FILE_HEADER_SIZE + BMP_V5_PROFILE_SIZE_AT) != 0 ||
                                            GetLe32(b.p + BMP_FILE_HEADER_SIZE + BMP_V5_RESERVED_AT) != 0))
        return No();

    const std::uint32_t nBits = info.biBitCount;
    const bool bRle = info.biCompression != BMP_RGB;
    if (info.biPlanes != 1 || (nBits != 1 && nBits != 4 && nBits != 8 && nBits != 24) ||
        (info.biCompression != BMP_RGB && !(info.biCompression == BMP_RLE8 && nBits == 8) &&
         !(info.biCompression == BMP_RLE4 && nBits == 4)))
        return No();
    // Top-down rows exist only uncompressed.
    if (info.biWidth <= 0 || info.biHeight == 0 || (info.biHeight < 0 && bRle))
        return No();
    const std::uint64_t nWidth = static_cast<std::uint64_t>(info.biWidth);
    const std::uint64_t nHeight = info.biHeight < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(std::int64_t{info.biHeight})
                                                    : static_cast<std::uint64_t>(info.biHeight);
    if (nWidth > BMP_SCAN_MAX_SIDE || nHeight > BMP_SCAN_MAX_SIDE)
        return No();

    // The colour table: biClrUsed entries, or all the depth allows; a 24-bit file has one only
    // when biClrUsed says so. biClrImportant counts among them; the table follows the header
    // and the pixels follow the table, with no gap.
    const std::uint64_t nMaxEntries = nBits <= 8 ? std::uint64_t{1} << nBits : 256;
    if (info.biClrUsed > nMaxEntries)
        return No();
    const std::uint64_t nEntries = info.biClrUsed != 0 ? info.biClrUsed : (nBits <= 8 ? nMaxEntries : 0);
    if (info.biClrImportant > nEntries || file.bfOffBits != nTableAt + 4 * nEntries)
        return No();

    // The pixel data: bfSize ends it exactly, and biSizeImage is its length (0 is allowed
    // uncompressed). Rows are padded to 4 bytes; 8-bit rows of exactly biWidth bytes, as the
    // project's own writer stores them, are taken too.
    if (file.bfSize < file.bfOffBits)
        return No();
    const std::uint64_t nData = file.bfSize - std::uint64_t{file.bfOffBits};
    if (!bRle)
    {
        const std::uint64_t nPadded = (nWidth * nBits + 31) / 32 * 4 * nHeight;
        if (nData != nPadded && !(nBits == 8 && nData == nWidth * nHeight))
            return No();
        if (info.biSizeImage != 0 && info.biSizeImage != nData)
            return No();
    }
    else if (nData == 0 || info.biSizeImage != nData)
        return No();

    if (auto c = Lacks(b, file.bfOffBits))
        return *c;
    if (!TableReservedHolds(b.p + nTableAt, nEntries))
        return No(file.bfOffBits);

    const std::uint64_t nLength = file.bfSize;
    if (auto c = Lacks(b, nLength))
        return *c;
    // RLE is decoded, and a short table has every pixel's index checked against it.
    const bool bHeavy = bRle || (nBits <= 8 && nEntries < nMaxEntries);
    if (bHeavy && (nData > limits.nMaxPixelBytes || (bRle && nWidth * nHeight > limits.nMaxDecodedPixels)))
        return No(file.bfOffBits);
    if (bRle && !ExactRle(b.p + file.bfOffBits, nData, nBits == 4, nWidth, nHeight))
        return No(nLength);

    BmpImage bmp;
    {
        std::optional<CHeavyCheck> lock;
        if (bHeavy)
            lock.emplace(limits.pHeavyLock);
        const BmpImageLimits parseLimits{static_cast<std::uint32_t>(BMP_SCAN_MAX_SIDE), limits.nMaxDecodedPixels};
        if (ParseBmpImage(b.p, static_cast<std::size_t>(nLength), parseLimits, bmp) != FMT_OK)
            return No(nLength);
    }
    // Every pixel's index has a colour in the table.
    if (nBits <= 8 && bmp.nColors != nEntries)
        return No(nLength);
    ScanItem item;
    item.kind = SCAN_BMP;
    item.nLength = nLength;
    item.nWidth = bmp.nWidth;
    item.nHeight = bmp.nHeight;
    item.nDepth = nBits;
    item.nCluts = nBits <= 8 ? 1 : 0;
    return Found(item, bHeavy ? nLength : file.bfOffBits);
}

ScanCheck CheckBfnt(const Bytes& b)
{
    if (auto c = Lacks(b, BFNT_HEADER_SIZE))
        return *c;
    if (std::memcmp(b.p, BFNT_MAGIC, sizeof BFNT_MAGIC) != 0)
        return No();
    BfntHeader h;
    ParseBfntHeader(b.p, h);
    // A colour type the format defines (no other bit set besides the palette flag), a code
    // range that is not reversed, cells of at least one pixel.
    const unsigned nType = h.format & BFNT_COLOR_MASK;
    if ((nType != BFNT_COLORS_256 && nType != BFNT_COLORS_16) || h.lastCode < h.firstCode || h.glyphWidth == 0 ||
        h.glyphHeight == 0)
        return No();
    const bool b16 = nType == BFNT_COLORS_16;
    const std::uint64_t nPalette =
        (h.format & BFNT_PALETTE) == 0 ? 0 : std::uint64_t{b16 ? BFNT_PALETTE_16_SIZE : BFNT_PALETTE_256_SIZE};
    // The format's own length: header, extension, palette, then the pixels (two a byte in a
    // 16-colour sheet, an odd last one dropped), and nothing after them.
    const std::uint64_t nPixels = BfntGlyphBytes(h);
    const std::uint64_t nHead = BFNT_HEADER_SIZE + std::uint64_t{h.extensionLength} + nPalette;
    const std::uint64_t nLength = nHead + (b16 ? nPixels / 2 : nPixels);
    if (auto c = Lacks(b, nLength))
        return *c;
    BfntImage bfnt;
    if (ParseBfntImage(b.p, static_cast<std::size_t>(nLength), bfnt) != FMT_OK)
        return No(nHead);
    ScanItem item;
    item.kind = SCAN_BFNT;
    item.nLength = nLength;
    item.nWidth = h.glyphWidth;
    item.nHeight = h.glyphHeight;
    item.nDepth = b16 ? 4 : 8;
    item.nCluts = nPalette != 0 ? 1 : 0;
    return Found(item, nHead);
}

}  // namespace

const char* ScanKindName(unsigned kind)
{
    return kind == SCAN_TIM ? "tim" : (kind == SCAN_BMP ? "bmp" : "bfnt");
}

const char* ScanKindExtension(unsigned kind)
{
    return kind == SCAN_TIM ? ".tim" : (kind == SCAN_BMP ? ".bmp" : ".fnt");
}

namespace
{
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
constexpr std::uint64_t kOnes = 0x0101010101010101ull;

// The top bit of each byte of x that is 0, and no other bit.
std::uint64_t ZeroBytes(std::uint64_t x)
{
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

std::uint64_t Load64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The top bit of byte k for each k in 0..7 where p[k], p[k + 1] is a signature; reads p[0..8].
std::uint64_t SignatureBits(const std::uint8_t* p)
{
    const std::uint64_t a = Load64(p), n = Load64(p + 1);
    return (ZeroBytes(a ^ (kOnes * 0x10)) & ZeroBytes(n)) |
           (ZeroBytes(a ^ (kOnes * 'B')) & (ZeroBytes(n ^ (kOnes * 'M')) | ZeroBytes(n ^ (kOnes * 'F'))));
}
}  // namespace

const std::uint8_t* FindScanCandidate(const std::uint8_t* p, const std::uint8_t* pEnd, const std::uint8_t* pLimit)
{
    if (pEnd - p < 2)
        return p;
    const std::uint8_t* const pLast = pEnd - 1;
    // The first signature among the eight pairs of the word at q whose first look holds.
    auto inWord = [pLimit](const std::uint8_t* q) -> const std::uint8_t* {
        for (std::uint64_t bits = SignatureBits(q); bits != 0; bits &= bits - 1)
        {
            const std::uint8_t* pAt = q + std::countr_zero(bits) / 8;
            if (ScanSignatureHolds(pAt, static_cast<std::size_t>(pLimit - pAt)))
                return pAt;
        }
        return nullptr;
    };
    // Words of eight pairs at a time (little-endian: the first byte is the lowest) for the
    // first block's length, since the next candidate is often near the last one; then blocks
    // whose every pair is tested at once, which the compiler turns into vector compares: most
    // blocks hold no signature at all, and in one that does the words find it.
    constexpr std::ptrdiff_t kBlock = 128;
    if constexpr (std::endian::native == std::endian::little)
        for (int k = 0; k < kBlock / 8 && pLast - p >= 8; ++k, p += 8)
            if (const std::uint8_t* pAt = inWord(p))
                return pAt;
    while (pLast - p >= kBlock)
    {
        // A little more than the signatures (0x10 or 'B', then 0, 'M' or 'F'): fewer compares,
        // and the words tell the few others apart.
        unsigned char any = 0;
        for (std::ptrdiff_t j = 0; j < kBlock; ++j)
        {
            const unsigned char a = p[j], n = p[j + 1];
            any |= static_cast<unsigned char>(((a == 0x10) | (a == 'B')) & ((n == 0x00) | (n == 'M') | (n == 'F')));
        }
        if (any != 0)
        {
            if constexpr (std::endian::native != std::endian::little)
                break;
            for (std::ptrdiff_t j = 0; j < kBlock; j += 8)
                if (const std::uint8_t* pAt = inWord(p + j))
                    return pAt;
        }
        p += kBlock;
    }
    for (; p < pLast; ++p)
    {
        const unsigned char a = p[0], n = p[1];
        if (((a == 0x10 && n == 0x00) || (a == 'B' && (n == 'M' || n == 'F'))) &&
            ScanSignatureHolds(p, static_cast<std::size_t>(pLimit - p)))
            return p;
    }
    return pLast;
}

ScanCheck CheckScanCandidate(const std::uint8_t* p, std::size_t nAvail, bool bAll, unsigned kinds,
                             const ScanLimits& limits)
{
    const Bytes b{p, nAvail, bAll};
    if (nAvail < 2)
        return bAll ? No() : *Lacks(b, 2);
    ScanCheck check;
    if (p[0] == TIM_ID && p[1] == 0 && (kinds & SCAN_TIM) != 0)
        check = CheckTim(b);
    else if (p[0] == 'B' && p[1] == 'M' && (kinds & SCAN_BMP) != 0)
        check = CheckBmp(b, limits);
    else if (p[0] == 'B' && p[1] == 'F' && (kinds & SCAN_BFNT) != 0)
        check = CheckBfnt(b);
    check.nReach = std::max(check.nReach, b.nLooked);
    return check;
}
