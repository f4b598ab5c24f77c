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

// RLE8 and RLE4 into a top-down buffer. Pixels a code does not reach stay index 0;
// pixels past the end of a row are dropped; a missing end-of-bitmap ends the picture.
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
        for (unsigned k = 0; k < nCount && x + k < w; ++k)
            put(x + k, y, static_cast<std::uint8_t>(b4 ? ((k % 2) == 0 ? nValue >> 4 : nValue & 0x0F) : nValue));
    };
    auto literal = [&](std::uint64_t x, std::uint64_t y, std::uint64_t nAt, unsigned nPixels) {
        const std::uint8_t* q = p + nAt;
        for (unsigned k = 0; k < nPixels && x + k < w; ++k)
            put(x + k, y, static_cast<std::uint8_t>(b4 ? ((k % 2) == 0 ? q[k / 2] >> 4 : q[k / 2] & 0x0F) : q[k]));
    };
    std::uint64_t i = 0;
    return WalkRle(byteAt, n, i, w, h, b4, run, literal) ? FMT_OK : FMT_BMP_RLE_CUT;
}
}  // namespace

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
    out.info.biSize = GetLe32(pData + BMP_FILE_HEADER_SIZE);
    const std::uint32_t nInfoSize = out.info.biSize;
    if (nInfoSize != BMP_INFO_HEADER_SIZE && nInfoSize != 108 && nInfoSize != 124)
        return FMT_BMP_HEADER_SIZE;
    if (nSize - BMP_FILE_HEADER_SIZE < nInfoSize)
        return FMT_BMP_TRUNCATED;
    ParseBmpInfoHeader(pData + BMP_FILE_HEADER_SIZE, out.info);
    const BmpInfoHeader& info = out.info;

    if (info.biCompression > BMP_RLE4)
        return FMT_BMP_COMPRESSION;
    const unsigned nBits = info.biBitCount;
    if (nBits != 1 && nBits != 4 && nBits != 8 && nBits != 24)
        return FMT_BMP_DEPTH;
    if ((info.biCompression == BMP_RLE8 && nBits != 8) || (info.biCompression == BMP_RLE4 && nBits != 4))
        return FMT_BMP_RLE_DEPTH;
    const std::int64_t lWidth = info.biWidth;
    const std::int64_t lHeight = info.biHeight;
    if (lWidth < 0)
        return FMT_BMP_NEGATIVE_WIDTH;
    out.bTopDown = lHeight < 0;
    const std::uint64_t nWidth = static_cast<std::uint64_t>(lWidth);
    const std::uint64_t nHeight = static_cast<std::uint64_t>(lHeight < 0 ? -lHeight : lHeight);
    out.nWidth = static_cast<std::uint32_t>(nWidth);
    out.nHeight = static_cast<std::uint32_t>(nHeight);
    if (nWidth == 0 || nHeight == 0)
        return FMT_BMP_EMPTY;
    if (nWidth > limits.nMaxSide || nHeight > limits.nMaxSide)
        return FMT_BMP_TOO_LARGE;

    if (nBits <= 8)
    {
        const std::uint64_t nMax = std::uint64_t{1} << nBits;
        const std::uint64_t nEntries = info.biClrUsed != 0 && info.biClrUsed < nMax ? info.biClrUsed : nMax;
        const std::uint64_t nTable = BMP_FILE_HEADER_SIZE + std::uint64_t{nInfoSize};
        if (4 * nEntries > nSize - nTable)
            return FMT_BMP_TABLE_CUT;
        ParseBmpColorTable(pData + nTable, static_cast<std::size_t>(nEntries), out.palette);
        out.nColors = static_cast<std::uint32_t>(nEntries);
    }
    const std::uint32_t nOffBits = out.file.bfOffBits;
    if (nOffBits > nSize)
        return FMT_BMP_PIXELS_CUT;
    const std::uint8_t* pPixels = pData + nOffBits;
    const std::uint64_t nLeft = nSize - nOffBits;

    if (info.biCompression == BMP_RGB)
    {
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
    }
    else
    {
        const std::uint64_t nPixels = nWidth * nHeight;
        if (const FormatResult nResult =
                CheckBmpRleSize(nWidth, nHeight, nOffBits, std::max<std::uint64_t>(limits.nFileSize, nSize), limits);
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
        if (const FormatResult nResult = DecodeRle(pPixels, static_cast<std::size_t>(nLeft), out); nResult != FMT_OK)
        {
            out.decoded.clear();
            return nResult;
        }
    }

    if (nBits <= 8 && out.nColors < (1u << nBits))
    {
        const unsigned nMax = MaxIndex(out);
        if (nMax >= out.nColors)
            out.nColors = nMax + 1;  // the entries past the table stay black
    }
    return FMT_OK;
}
