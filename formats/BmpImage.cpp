#include "formats/BmpImage.h"

#include "formats/ByteOrder.h"
#include "formats/detail/RleWalk.h"

#include <algorithm>
#include <new>

namespace
{
// Highest index the rows use; only needed when the colour table is shorter than the depth allows.
unsigned MaxIndex(const BmpImage& b)
{
    unsigned nMax = 0;
    for (std::uint32_t y = 0; y < b.nHeight; ++y)
    {
        const std::uint8_t* pRow = b.decoded.empty() ? b.pTopRow + static_cast<std::ptrdiff_t>(y) * b.nStride
                                                     : b.decoded.data() + std::size_t{y} * b.nWidth;
        for (std::uint32_t x = 0; x < b.nWidth; ++x)
        {
            unsigned v = 0;
            if (!b.decoded.empty() || b.info.biBitCount == 8)
                v = pRow[x];
            else if (b.info.biBitCount == 4)
                v = (pRow[x / 2] >> ((x % 2) != 0 ? 0 : 4)) & 0x0F;
            else
                v = (pRow[x / 8] >> (7 - x % 8)) & 1;
            nMax = std::max(nMax, v);
        }
    }
    return nMax;
}

// RLE8 and RLE4 into a top-down buffer. Pixels a code does not reach stay index 0.
FormatResult DecodeRle(const std::uint8_t* p, std::size_t n, BmpImage& b)
{
    const bool b4 = b.info.biCompression == BMP_RLE4;
    const std::uint64_t w = b.nWidth, h = b.nHeight;
    auto put = [&](std::uint64_t x, std::uint64_t y, std::uint8_t v) {
        const std::uint64_t nRow = b.bTopDown ? y : h - 1 - y;
        b.decoded[static_cast<std::size_t>(nRow * w + x)] = v;
    };
    auto byteAt = [&](std::uint64_t k, unsigned& v) {
        if (k >= n)
            return false;
        v = p[k];
        return true;
    };
    auto run = [&](std::uint64_t x, std::uint64_t y, unsigned nCount, unsigned nValue) {
        for (unsigned k = 0; k < nCount; ++k)
            put(x + k, y, static_cast<std::uint8_t>(b4 ? ((k % 2) == 0 ? nValue >> 4 : nValue & 0x0F) : nValue));
    };
    auto literal = [&](std::uint64_t x, std::uint64_t y, std::uint64_t nAt, unsigned nPixels) {
        const std::uint8_t* q = p + nAt;
        for (unsigned k = 0; k < nPixels; ++k)
            put(x + k, y, static_cast<std::uint8_t>(b4 ? ((k % 2) == 0 ? q[k / 2] >> 4 : q[k / 2] & 0x0F) : q[k]));
    };
    std::uint64_t i = 0;
    switch (WalkRle(byteAt, n, i, w, h, b4, run, literal))
    {
    case ERleWalk::Done: return FMT_OK;
    case ERleWalk::PastRow: return FMT_BMP_RLE_PAST_ROW;
    default: return FMT_BMP_RLE_CUT;
    }
}

constexpr std::uint32_t BMP_BITFIELDS = 3;
constexpr std::uint64_t BMP_CORE_TABLE = BMP_FILE_HEADER_SIZE + 12;  // where an OS/2 1.x table starts

// OS/2 2.x headers give compressions 3 and 4 other meanings (Huffman, RLE24), read by nobody.
bool IsOs2(const BmpInfoHeader& ih)
{
    return ih.biSize == 12 || ih.biSize == 16 || ih.biSize == 64;
}

// Bit fields follow a 40-byte header; larger ones hold them.
std::uint64_t HeadersEnd(const BmpInfoHeader& ih)
{
    const bool bMasksAfter = ih.biSize == BMP_INFO_HEADER_SIZE && ih.biCompression == BMP_BITFIELDS;
    return BMP_FILE_HEADER_SIZE + std::uint64_t{ih.biSize} + (bMasksAfter ? 12 : 0);
}

// An OS/2 1.x table has no count: it fills what lies before the pixels, 2^bits at most.
std::uint64_t TableEntries(const BmpFileHeader& fh, const BmpInfoHeader& ih)
{
    if (ih.biBitCount > 8)
        return 0;
    const std::uint64_t nMax = std::uint64_t{1} << ih.biBitCount;
    if (ih.biSize != 12)
        return ih.biClrUsed != 0 ? std::min<std::uint64_t>(ih.biClrUsed, nMax) : nMax;
    if (fh.bfOffBits >= BMP_CORE_TABLE + 3 && fh.bfOffBits < BMP_CORE_TABLE + 3 * nMax)
        return (fh.bfOffBits - BMP_CORE_TABLE) / 3;
    return nMax;
}

std::uint64_t EntrySize(const BmpInfoHeader& ih)
{
    return ih.biSize == 12 ? 3 : 4;
}

// The checks of the info header's fields that need no more of the file.
FormatResult CheckFields(const BmpInfoHeader& info)
{
    const unsigned nBits = info.biBitCount;
    const std::uint32_t nCompression = info.biCompression;
    if (nCompression > BMP_BITFIELDS || (nCompression == BMP_BITFIELDS && IsOs2(info)))
        return FMT_BMP_COMPRESSION;
    const bool bDepth = nBits == 1 || nBits == 4 || nBits == 8 || nBits == 24 ||
                        (info.biSize != 12 && (nBits == 16 || nBits == 32));
    if (!bDepth)
        return FMT_BMP_DEPTH;
    if ((nCompression == BMP_RLE8 && nBits != 8) || (nCompression == BMP_RLE4 && nBits != 4))
        return FMT_BMP_RLE_DEPTH;
    if (nCompression == BMP_BITFIELDS && nBits != 16 && nBits != 32)
        return FMT_BMP_BITFIELDS_DEPTH;
    if (info.biWidth < 0)
        return FMT_BMP_NEGATIVE_WIDTH;
    if (nBits <= 8 && info.biClrUsed > (1u << nBits))
        return FMT_BMP_COLOURS;
    return FMT_OK;
}

// The colour table, or the masks of a 16- or 32-bit picture.
FormatResult ReadColours(const std::uint8_t* pData, std::size_t nSize, BmpImage& out)
{
    const BmpInfoHeader& info = out.info;
    const std::uint64_t nHeaders = HeadersEnd(info);
    if (nHeaders > nSize)
        return FMT_BMP_TABLE_CUT;
    if (info.biBitCount == 16 || info.biBitCount == 32)
    {
        static constexpr std::uint32_t MASKS_16[4] = {0x7C00, 0x03E0, 0x001F, 0};
        static constexpr std::uint32_t MASKS_32[4] = {0xFF0000, 0xFF00, 0xFF, 0};
        const std::uint32_t* pDefault = info.biBitCount == 16 ? MASKS_16 : MASKS_32;
        std::copy(pDefault, pDefault + 4, out.masks);
        if (info.biCompression == BMP_BITFIELDS)
        {
            const std::uint8_t* p = pData + BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE;
            for (unsigned c = 0; c < (info.biSize >= 56 ? 4u : 3u); ++c)
                out.masks[c] = GetLe32(p + 4 * c);
        }
        return FMT_OK;
    }
    const std::uint64_t nEntries = TableEntries(out.file, info);
    if (nEntries * EntrySize(info) > nSize - nHeaders)
        return FMT_BMP_TABLE_CUT;
    const std::uint8_t* p = pData + nHeaders;
    if (info.biSize == 12)
        for (std::size_t i = 0; i < nEntries; ++i)
            for (std::size_t c = 0; c < 3; ++c)
                out.palette.rgb[3 * i + c] = p[3 * i + 2 - c];
    else
        ParseBmpColorTable(p, static_cast<std::size_t>(nEntries), out.palette);
    out.nColors = static_cast<std::uint32_t>(nEntries);
    out.nTable = out.nColors;
    return FMT_OK;
}

// Uncompressed rows where they lie.
FormatResult LayRows(const std::uint8_t* pPixels, std::uint64_t nLeft, std::uint64_t nOffBits, BmpImage& out)
{
    const std::uint64_t nWidth = out.nWidth, nHeight = out.nHeight;
    const unsigned nBits = out.info.biBitCount;
    std::uint64_t nStride = BmpPaddedRow(nWidth, nBits);
    // The project's earlier files have 8-bit rows unpadded; bfSize says which it is.
    const std::uint64_t nFileSize = out.file.bfSize;
    const std::uint64_t nDataSize = nFileSize - std::min<std::uint64_t>(nOffBits, nFileSize);
    if (nBits == 8 && nStride != nWidth && nDataSize == nWidth * nHeight && nStride * nHeight != nDataSize)
    {
        nStride = nWidth;
        out.bPadded = false;
    }
    if (nStride * nHeight > nLeft)
        return FMT_BMP_PIXELS_CUT;
    out.nStride = out.bTopDown ? static_cast<std::ptrdiff_t>(nStride) : -static_cast<std::ptrdiff_t>(nStride);
    out.pTopRow = pPixels + (out.bTopDown ? 0 : (nHeight - 1) * nStride);
    return FMT_OK;
}

std::uint32_t PixelAt(const std::uint8_t* pRow, std::uint32_t x, unsigned nBits)
{
    return nBits == 16 ? GetLe16(pRow + 2 * std::size_t{x}) : GetLe32(pRow + 4 * std::size_t{x});
}

// Whether any pixel has alpha bits set.
bool AlphaUsed(const BmpImage& b)
{
    for (std::uint32_t y = 0; y < b.nHeight; ++y)
    {
        const std::uint8_t* pRow = b.pTopRow + static_cast<std::ptrdiff_t>(y) * b.nStride;
        for (std::uint32_t x = 0; x < b.nWidth; ++x)
            if ((PixelAt(pRow, x, b.info.biBitCount) & b.masks[3]) != 0)
                return true;
    }
    return false;
}

// A masked field as 8 bits, as ImageMagick widens one: to 16 bits with its top bits
// repeated (5- and 6-bit fields fill a byte first), then cut to 8. So 5 and 6 bits
// reach 255, and other widths below 8 are shifted up: 4 bits give 0 to 240.
std::uint8_t Channel(std::uint32_t nPixel, std::uint32_t nMask)
{
    if (nMask == 0)
        return 0;
    unsigned nShift = 0, nBits = 0;
    while (((nMask >> nShift) & 1) == 0)
        ++nShift;
    while (nShift + nBits < 32 && (nMask >> (nShift + nBits)) != 0)
        ++nBits;
    const std::uint32_t v = (nPixel & nMask) >> nShift;
    std::uint32_t nWide = nBits >= 16 ? v >> (nBits - 16) : v << (16 - nBits);
    if (nBits == 5)
        nWide |= (nWide & 0xE000) >> 5;
    else if (nBits == 6)
        nWide |= (nWide & 0xC000) >> 6;
    if (nBits <= 8)
        nWide |= (nWide & 0xFF00) >> 8;
    return static_cast<std::uint8_t>(nWide / 257);
}

FormatResult DecodeRlePicture(const std::uint8_t* pPixels, std::uint64_t nLeft, std::uint64_t nOffBits,
                              std::uint64_t nFileSize, const BmpImageLimits& limits, BmpImage& out)
{
    const std::uint64_t nPixels = std::uint64_t{out.nWidth} * out.nHeight;
    if (const FormatResult nResult = CheckBmpRleSize(out.nWidth, out.nHeight, nOffBits, nFileSize, limits);
        nResult != FMT_OK)
        return nResult;
    try
    {
        out.decoded.assign(static_cast<std::size_t>(nPixels), 0);
    }
    catch (const std::bad_alloc&)
    {
        return FMT_NO_MEMORY;
    }
    const FormatResult nResult = DecodeRle(pPixels, static_cast<std::size_t>(nLeft), out);
    if (nResult != FMT_OK)
        out.decoded.clear();
    return nResult;
}
}  // namespace

bool ReadBmpInfoHeader(const std::uint8_t* p, std::size_t nSize, BmpInfoHeader& h)
{
    h = BmpInfoHeader{};
    if (nSize < 4)
        return false;
    h.biSize = GetLe32(p);
    switch (h.biSize)
    {
    case 12:
    case 16:
        if (nSize < h.biSize)
            return false;
        h.biWidth = h.biSize == 12 ? GetLe16(p + 4) : GetLeS32(p + 4);
        h.biHeight = h.biSize == 12 ? GetLe16(p + 6) : GetLeS32(p + 8);
        h.biPlanes = GetLe16(p + (h.biSize == 12 ? 8 : 12));
        h.biBitCount = GetLe16(p + (h.biSize == 12 ? 10 : 14));
        return true;
    case BMP_INFO_HEADER_SIZE:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        if (nSize < h.biSize)
            return false;
        ParseBmpInfoHeader(p, h);
        return true;
    default: return false;
    }
}

std::uint64_t BmpPixelStart(const BmpFileHeader& fh, const BmpInfoHeader& ih)
{
    const std::uint64_t nTableEnd = HeadersEnd(ih) + TableEntries(fh, ih) * EntrySize(ih);
    return std::max<std::uint64_t>(fh.bfOffBits, nTableEnd);
}

void BmpColourRow(const BmpImage& b, std::uint32_t y, std::uint8_t* pOut)
{
    const std::uint8_t* pRow = b.pTopRow + static_cast<std::ptrdiff_t>(y) * b.nStride;
    const unsigned nBits = b.info.biBitCount;
    for (std::uint32_t x = 0; x < b.nWidth; ++x)
    {
        if (nBits == 24)
        {
            const std::uint8_t* pIn = pRow + 3 * std::size_t{x};
            *pOut++ = pIn[2];
            *pOut++ = pIn[1];
            *pOut++ = pIn[0];
            continue;
        }
        const std::uint32_t nPixel = PixelAt(pRow, x, nBits);
        for (unsigned c = 0; c < 3; ++c)
            *pOut++ = Channel(nPixel, b.masks[c]);
        if (b.bAlpha)
            *pOut++ = Channel(nPixel, b.masks[3]);
    }
}

FormatResult CheckBmpRleSize(std::uint64_t nWidth, std::uint64_t nHeight, std::uint64_t nOffBits, std::uint64_t nFileSize,
                             const BmpImageLimits& limits)
{
    // Every two bytes of RLE data fill at most one row, or 255 pixels where a row is
    // shorter; a picture larger than that would be mostly what no code reached.
    const std::uint64_t nPixels = nWidth * nHeight;
    const std::uint64_t nLeft = nFileSize - std::min(nOffBits, nFileSize);
    if (nPixels > (nLeft / 2 + 1) * std::max<std::uint64_t>(nWidth, 255) || nPixels > limits.nMaxDecodedPixels)
        return FMT_BMP_RLE_TOO_SHORT;
    // Checked before the picture is allocated: memory follows the file.
    const std::uint64_t nRatio = limits.nMaxPixelsPerByte;
    if (nRatio != 0 && nPixels > nRatio * std::min<std::uint64_t>(nFileSize, UINT64_MAX / nRatio))
        return FMT_BMP_RLE_TOO_LARGE;
    return FMT_OK;
}

FormatResult ParseBmpImage(const std::uint8_t* pData, std::size_t nSize, const BmpImageLimits& limits, BmpImage& out)
{
    out = BmpImage{};
    if (nSize < 2 || pData[0] != 'B' || pData[1] != 'M')
        return FMT_BMP_TYPE;
    // Enough for the file header and the info header's size.
    if (nSize < BMP_FILE_HEADER_SIZE + 4)
        return FMT_BMP_TRUNCATED;
    ParseBmpFileHeader(pData, out.file);
    if (!ReadBmpInfoHeader(pData + BMP_FILE_HEADER_SIZE, nSize - BMP_FILE_HEADER_SIZE, out.info))
    {
        const std::uint32_t nInfoSize = out.info.biSize;
        const bool bKnown = nInfoSize == 12 || nInfoSize == 16 || nInfoSize == 40 || nInfoSize == 52 ||
                            nInfoSize == 56 || nInfoSize == 64 || nInfoSize == 108 || nInfoSize == 124;
        return bKnown ? FMT_BMP_TRUNCATED : FMT_BMP_HEADER_SIZE;
    }
    const BmpInfoHeader& info = out.info;
    const std::int64_t lHeight = info.biHeight;
    out.bTopDown = lHeight < 0;
    out.nWidth = static_cast<std::uint32_t>(std::max<std::int32_t>(info.biWidth, 0));
    out.nHeight = static_cast<std::uint32_t>(lHeight < 0 ? -lHeight : lHeight);
    if (const FormatResult nResult = CheckFields(info); nResult != FMT_OK)
        return nResult;
    if (out.nWidth == 0 || out.nHeight == 0)
        return FMT_BMP_EMPTY;
    if (out.nWidth > limits.nMaxSide || out.nHeight > limits.nMaxSide)
        return FMT_BMP_TOO_LARGE;
    if (const FormatResult nResult = ReadColours(pData, nSize, out); nResult != FMT_OK)
        return nResult;

    const std::uint64_t nOffBits = BmpPixelStart(out.file, info);
    if (nOffBits > nSize)
        return FMT_BMP_PIXELS_CUT;
    const std::uint8_t* pPixels = pData + nOffBits;
    const std::uint64_t nLeft = nSize - nOffBits;
    if (info.biCompression == BMP_RGB || info.biCompression == BMP_BITFIELDS)
    {
        if (const FormatResult nResult = LayRows(pPixels, nLeft, nOffBits, out); nResult != FMT_OK)
            return nResult;
        out.bAlpha = out.masks[3] != 0 && AlphaUsed(out);
    }
    else if (const FormatResult nResult = DecodeRlePicture(
                 pPixels, nLeft, nOffBits, std::max<std::uint64_t>(limits.nFileSize, nSize), limits, out);
             nResult != FMT_OK)
        return nResult;

    const unsigned nBits = info.biBitCount;
    if (nBits <= 8 && out.nColors < (1u << nBits))
    {
        const unsigned nMax = MaxIndex(out);
        if (nMax >= out.nColors)
            out.nColors = nMax + 1;  // the entries past the table stay black
    }
    return FMT_OK;
}
