#include "exchange/BmpFile.h"

#include "formats/ByteOrder.h"

#include <algorithm>
#include <new>

namespace
{
bool Fail(std::string& strError, std::string strMessage)
{
    strError = std::move(strMessage);
    return false;
}

std::string CompressionName(std::uint32_t nCompression)
{
    switch (nCompression)
    {
    case 3: return "bit fields (compression 3)";
    case 4: return "JPEG data inside (compression 4)";
    case 5: return "PNG data inside (compression 5)";
    case 6: return "alpha bit fields (compression 6)";
    default: return "compression " + std::to_string(nCompression);
    }
}

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
            if (!b.decoded.empty() || b.biBitCount == 8)
                v = pRow[x];
            else if (b.biBitCount == 4)
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
bool DecodeRle(const std::uint8_t* p, std::size_t n, BmpImage& b, std::string& strError)
{
    const bool b4 = b.biCompression == BMP_RLE4;
    const std::uint64_t w = b.nWidth, h = b.nHeight;
    std::uint64_t x = 0, y = 0;  // y counts rows from the first one stored
    std::size_t i = 0;
    auto put = [&](std::uint8_t v) {
        if (x < w && y < h)
        {
            const std::uint64_t nRow = b.bTopDown ? y : h - 1 - y;
            b.decoded[static_cast<std::size_t>(nRow * w + x)] = v;
        }
        ++x;
    };
    const std::string strCut = std::string("the BMP's ") + (b4 ? "RLE4" : "RLE8") + " data is cut short.";
    while (i + 2 <= n && y < h)
    {
        const unsigned nCount = p[i], nValue = p[i + 1];
        i += 2;
        if (nCount != 0)
        {
            for (unsigned k = 0; k < nCount && x < w; ++k)
                put(static_cast<std::uint8_t>(b4 ? ((k % 2) == 0 ? nValue >> 4 : nValue & 0x0F) : nValue));
            continue;
        }
        if (nValue == 0)
        {
            x = 0;
            ++y;
        }
        else if (nValue == 1)
        {
            break;
        }
        else if (nValue == 2)
        {
            if (n - i < 2)
                return Fail(strError, strCut);
            x += p[i];
            y += p[i + 1];
            i += 2;
        }
        else
        {
            const std::size_t nBytes = b4 ? (nValue + 1) / 2 : nValue;
            const std::size_t nPadded = (nBytes + 1) & ~std::size_t{1};
            if (n - i < nBytes)
                return Fail(strError, strCut);
            for (unsigned k = 0; k < nValue; ++k)
                put(static_cast<std::uint8_t>(b4 ? ((k % 2) == 0 ? p[i + k / 2] >> 4 : p[i + k / 2] & 0x0F) : p[i + k]));
            i += std::min(nPadded, n - i);
        }
    }
    return true;
}
}  // namespace

bool ParseBmp(const std::uint8_t* pData, std::size_t nSize, BmpImage& out, std::string& strError)
{
    const char* const pszCut = "the BMP file is cut short.";
    if (nSize < 2 || pData[0] != 'B' || pData[1] != 'M')
        return Fail(strError, "not a BMP file.");
    if (nSize < 18)
        return Fail(strError, pszCut);
    BmpImage b;
    b.bfReserved1 = GetLe16(pData + 6);
    b.bfReserved2 = GetLe16(pData + 8);
    b.bfOffBits = GetLe32(pData + 10);
    b.biSize = GetLe32(pData + 14);
    if (b.biSize != 40 && b.biSize != 108 && b.biSize != 124)
        return Fail(strError, "BMP with a " + std::to_string(b.biSize) + "-byte info header" +
                                  (b.biSize == 12 ? " (OS/2)" : "") + " is not supported.");
    if (nSize - 14 < b.biSize)
        return Fail(strError, pszCut);
    const std::uint8_t* pInfo = pData + 14;
    const std::int64_t lWidth = GetLeS32(pInfo + 4);
    const std::int64_t lHeight = GetLeS32(pInfo + 8);
    b.biBitCount = GetLe16(pInfo + 14);
    b.biCompression = GetLe32(pInfo + 16);
    b.biSizeImage = GetLe32(pInfo + 20);
    b.biXPelsPerMeter = GetLeS32(pInfo + 24);
    b.biYPelsPerMeter = GetLeS32(pInfo + 28);
    b.biClrUsed = GetLe32(pInfo + 32);
    b.biClrImportant = GetLe32(pInfo + 36);

    if (b.biCompression > BMP_RLE4)
        return Fail(strError, "BMP with " + CompressionName(b.biCompression) + " is not supported.");
    const unsigned nBits = b.biBitCount;
    if (nBits != 1 && nBits != 4 && nBits != 8 && nBits != 24)
        return Fail(strError, "BMP with " + std::to_string(nBits) + " bits per pixel is not supported.");
    if ((b.biCompression == BMP_RLE8 && nBits != 8) || (b.biCompression == BMP_RLE4 && nBits != 4))
        return Fail(strError, std::string("BMP with ") + (b.biCompression == BMP_RLE8 ? "RLE8" : "RLE4") +
                                  " compression and " + std::to_string(nBits) + " bits per pixel is not valid.");
    if (lWidth < 0)
        return Fail(strError, "the BMP's width is negative.");
    b.bTopDown = lHeight < 0;
    const std::uint64_t nWidth = static_cast<std::uint64_t>(lWidth);
    const std::uint64_t nHeight = static_cast<std::uint64_t>(lHeight < 0 ? -lHeight : lHeight);
    if (nWidth == 0 || nHeight == 0)
        return Fail(strError, "the BMP holds no pixels (" + std::to_string(nWidth) + " x " + std::to_string(nHeight) + ").");
    if (nWidth > PNG_MAX_SIDE || nHeight > PNG_MAX_SIDE)
        return Fail(strError, "the BMP is too large: " + std::to_string(nWidth) + " x " + std::to_string(nHeight) + " pixels.");
    b.nWidth = static_cast<std::uint32_t>(nWidth);
    b.nHeight = static_cast<std::uint32_t>(nHeight);

    if (nBits <= 8)
    {
        const std::uint64_t nMax = std::uint64_t{1} << nBits;
        const std::uint64_t nEntries = b.biClrUsed != 0 && b.biClrUsed < nMax ? b.biClrUsed : nMax;
        const std::uint64_t nTable = 14 + std::uint64_t{b.biSize};
        if (4 * nEntries > nSize - nTable)
            return Fail(strError, "the BMP's colour table is cut short.");
        b.palette.resize(static_cast<std::size_t>(nEntries));
        for (std::size_t k = 0; k < b.palette.size(); ++k)
        {
            const std::uint8_t* q = pData + nTable + 4 * k;
            b.palette[k] = PngColor{q[2], q[1], q[0], 0xFF};
        }
    }
    if (b.bfOffBits > nSize)
        return Fail(strError, "the BMP's pixel data is cut short.");
    const std::uint8_t* pPixels = pData + b.bfOffBits;
    const std::uint64_t nLeft = nSize - b.bfOffBits;

    if (b.biCompression == BMP_RGB)
    {
        const std::uint64_t nRowBits = nWidth * nBits;
        std::uint64_t nStride = (nRowBits + 31) / 32 * 4;
        // The project's own writer stores 8-bit rows unpadded; bfSize says which it is.
        const std::uint64_t nDataSize = std::uint64_t{GetLe32(pData + 2)} - std::min<std::uint64_t>(b.bfOffBits, GetLe32(pData + 2));
        if (nBits == 8 && nStride != nWidth && nDataSize == nWidth * nHeight && nStride * nHeight != nDataSize)
        {
            nStride = nWidth;
            b.bPadded = false;
        }
        if (nStride * nHeight > nLeft)
            return Fail(strError, "the BMP's pixel data is cut short.");
        b.nStride = b.bTopDown ? static_cast<std::ptrdiff_t>(nStride) : -static_cast<std::ptrdiff_t>(nStride);
        b.pTopRow = pPixels + (b.bTopDown ? 0 : (nHeight - 1) * nStride);
    }
    else
    {
        // Every two bytes of RLE data fill at most one row, or 255 pixels where a row is
        // shorter; a picture larger than that would be mostly what no code reached.
        const std::uint64_t nPixels = nWidth * nHeight;
        if (nPixels > (nLeft / 2 + 1) * std::max<std::uint64_t>(nWidth, 255) || nPixels > PNG_MAX_DECODED_BYTES)
            return Fail(strError, "the BMP's RLE data is too short for " + std::to_string(nWidth) + " x " +
                                      std::to_string(nHeight) + " pixels.");
        try
        {
            b.decoded.assign(static_cast<std::size_t>(nPixels), 0);
        }
        catch (const std::bad_alloc&)
        {
            return Fail(strError, "not enough memory.");
        }
        if (!DecodeRle(pPixels, static_cast<std::size_t>(nLeft), b, strError))
            return false;
    }

    if (nBits <= 8 && b.palette.size() < (std::size_t{1} << nBits))
    {
        const unsigned nMax = MaxIndex(b);
        if (nMax >= b.palette.size())
            b.palette.resize(nMax + 1, PngColor{0, 0, 0, 0xFF});
    }
    out = std::move(b);
    return true;
}
