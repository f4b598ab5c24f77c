// The conversions between the three records. Pixel values are copied unchanged:
// every record holds colour indices of the surface. A conversion checks its
// source and allocates before it touches the target, so a refusal changes nothing.

#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/Tim.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace
{
constexpr std::uint64_t MAX_U32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t MAX_U16 = std::numeric_limits<std::uint16_t>::max();

// False when a bitmap of this size cannot be described by the BMP header fields.
bool FitsBmp(std::uint64_t nWidth, std::uint64_t nHeight)
{
    const auto nMaxDim = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    return nWidth <= nMaxDim && nHeight <= nMaxDim &&
           BmpPaddedRow(nWidth, 8) * nHeight <= MAX_U32 - BMP_PIXEL_OFFSET;
}

// A converted image is a new file, so its rows are padded to 4 bytes as every reader
// expects; the header's pixel byte count is what tells the writer to pad.
void SetConvertedBmpHeader(CBmpData& bmp, std::uint64_t nWidth, std::uint64_t nHeight)
{
    bmp.m_fileHeader = BmpFileHeader{};
    bmp.m_infoHeader = BmpInfoHeader{};
    SetBmp8BitHeaders(bmp.m_fileHeader, bmp.m_infoHeader, static_cast<std::int32_t>(nWidth),
                      static_cast<std::int32_t>(nHeight), static_cast<std::uint32_t>(BmpPaddedRow(nWidth, 8) * nHeight));
}

// Cuts an image into n x n cells, row-major, each cell's rows top first; the
// parts of edge cells outside the image are 0.
FormatResult CutIntoCells(const std::uint8_t* pSrc, std::uint64_t nSrcSize, std::uint64_t nWidth,
                          std::uint64_t nHeight, std::uint64_t nStride, RgbPalette* pPalette, CBfntData& bfnt,
                          int cellSize)
{
    const std::uint64_t n = static_cast<std::uint16_t>(cellSize);
    if (n == 0 || nWidth == 0 || nHeight == 0 || nWidth > MAX_U16 || nHeight > MAX_U16)
        return FMT_BAD_SOURCE;
    if (!pSrc || nStride < nWidth || nStride * (nHeight - 1) + nWidth > nSrcSize)
        return FMT_BAD_SOURCE;
    const std::uint64_t nAcross = (nWidth + n - 1) / n;
    const std::uint64_t nDown = (nHeight + n - 1) / n;
    const std::uint64_t nCells = nAcross * nDown;
    if (nCells > MAX_U16)
        return FMT_BAD_SOURCE;
    const std::uint64_t nBytes = nCells * n * n;
    PixelBuffer pGlyphs = TryAllocPixels(nBytes);
    if (!pGlyphs)
        return FMT_NO_MEMORY;

    std::uint8_t* pOut = pGlyphs.get();
    for (std::uint64_t cy = 0; cy < nDown; ++cy)
        for (std::uint64_t cx = 0; cx < nAcross; ++cx)
        {
            const std::uint64_t x0 = cx * n;
            const std::uint64_t nInside = std::min(n, nWidth - x0);
            for (std::uint64_t r = 0; r < n; ++r, pOut += n)
            {
                const std::uint64_t y = cy * n + r;
                if (y < nHeight)
                {
                    std::memcpy(pOut, pSrc + y * nStride + x0, static_cast<std::size_t>(nInside));
                    std::memset(pOut + nInside, 0, static_cast<std::size_t>(n - nInside));
                }
                else
                {
                    std::memset(pOut, 0, static_cast<std::size_t>(n));
                }
            }
        }

    bfnt.m_header = NewBfntHeader(static_cast<std::uint16_t>(n), static_cast<std::uint16_t>(n));
    bfnt.m_header.lastCode = static_cast<std::uint16_t>(nCells - 1);
    bfnt.m_pExtension.reset();
    bfnt.m_nExtensionSize = 0;
    bfnt.m_pPalette = pPalette;
    bfnt.m_pGlyphs = std::move(pGlyphs);
    bfnt.m_nGlyphsSize = static_cast<std::size_t>(nBytes);
    bfnt.m_nRowOrder = 0;
    return FMT_OK;
}
}  // namespace

FormatResult CBmpData::BmpToTim(CTimData& tim)
{
    const std::int32_t nWidth = m_infoHeader.biWidth;
    const std::int32_t nHeight = m_infoHeader.biHeight;
    // An image without pixels (a width or a height of 0) is still an image: it becomes a
    // TIM of the same size with no pixel bytes.
    if (nWidth < 0 || nHeight < 0 || static_cast<std::uint64_t>(nHeight) > MAX_U16)
        return FMT_BAD_SOURCE;
    const auto nSrcRow = static_cast<std::uint64_t>(nWidth);
    const auto nRows = static_cast<std::uint64_t>(nHeight);
    if (nSrcRow * nRows > m_nBitsSize || (nSrcRow * nRows != 0 && !m_pBits))
        return FMT_BAD_SOURCE;
    // TIM rows hold whole 16-bit units: an odd width gets one more column, of colour 0.
    const std::uint64_t nUnits = (nSrcRow + 1) / 2;
    const std::uint64_t nRow = 2 * nUnits;
    const std::uint64_t nPixels = nRow * nRows;
    if (nUnits > MAX_U16 || nPixels > MAX_U32 - TIM_BLOCK_HEADER_SIZE)
        return FMT_BAD_SOURCE;
    PixelBuffer pPixels = TryAllocPixels(nPixels);
    if (!pPixels)
        return FMT_NO_MEMORY;
    if (nRow == nSrcRow)
    {
        if (nPixels != 0)
            std::memcpy(pPixels.get(), m_pBits.get(), static_cast<std::size_t>(nPixels));
    }
    else
    {
        for (std::uint64_t r = 0; r < nRows; ++r)
        {
            std::memcpy(pPixels.get() + r * nRow, m_pBits.get() + r * nSrcRow, static_cast<std::size_t>(nSrcRow));
            pPixels[static_cast<std::size_t>(r * nRow + nSrcRow)] = 0;
        }
    }

    tim.m_id = TIM_ID;
    tim.m_version = 0;
    tim.m_reserved = 0;
    tim.m_flags = TIM_MODE_8BIT_CLUT;
    tim.m_clutLength = TIM_CLUT_LENGTH;
    tim.m_clutX = 0;
    tim.m_clutY = 0;
    tim.m_clutWidth = 256;
    tim.m_clutHeight = 1;
    tim.m_imageLength = static_cast<std::uint32_t>(nPixels + TIM_BLOCK_HEADER_SIZE);
    tim.m_imageX = 0;
    tim.m_imageY = 0;
    tim.m_imageWidth = static_cast<std::uint16_t>(nUnits);
    tim.m_imageHeight = static_cast<std::uint16_t>(nRows);
    tim.m_pPalette = m_pPalette;
    tim.m_pPixels = std::move(pPixels);
    tim.m_nPixelsSize = static_cast<std::size_t>(nPixels);
    return FMT_OK;
}

FormatResult CTimData::TimToBmp(CBmpData& bmp)
{
    const std::uint64_t nWidth = 2 * std::uint64_t{m_imageWidth};
    const std::uint64_t nHeight = m_imageHeight;
    const std::uint64_t nPixels = nWidth * nHeight;
    if (nPixels > m_nPixelsSize || (nPixels != 0 && !m_pPixels) || !FitsBmp(nWidth, nHeight))
        return FMT_BAD_SOURCE;
    PixelBuffer pBits = TryAllocPixels(nPixels);
    if (!pBits)
        return FMT_NO_MEMORY;
    if (nPixels != 0)
        std::memcpy(pBits.get(), m_pPixels.get(), static_cast<std::size_t>(nPixels));

    SetConvertedBmpHeader(bmp, nWidth, nHeight);
    bmp.m_pPalette = m_pPalette;
    bmp.m_pBits = std::move(pBits);
    bmp.m_nBitsSize = static_cast<std::size_t>(nPixels);
    return FMT_OK;
}

FormatResult CBfntData::BfntToBmp(CBmpData& bmp)
{
    const std::uint64_t nGlyphWidth = m_header.glyphWidth;
    const std::uint64_t nGlyphHeight = m_header.glyphHeight;
    const std::uint64_t nCount = GlyphCount();
    // Cells of height 0 lay out as an image of height 0, which converts like any other.
    if (nGlyphWidth < 1 || nGlyphWidth > 256 || nCount == 0 || nCount > MAX_U16 || !HasCompleteGlyphs())
        return FMT_BAD_SOURCE;
    const auto [nPerRow, nWidth, nHeight] = LayOutBfntPicture(nGlyphWidth, nGlyphHeight, nCount);
    if (!FitsBmp(nWidth, nHeight))
        return FMT_BAD_SOURCE;
    PixelBuffer pBits = TryAllocPixels(nWidth * nHeight);
    if (!pBits)
        return FMT_NO_MEMORY;

    SetBfntRowOrder(0);
    const std::uint8_t* pGlyph = m_pGlyphs.get();
    for (std::uint64_t i = 0; i < nCount; ++i)
    {
        const std::uint64_t nTop = i / nPerRow * nGlyphHeight;
        const std::uint64_t nLeft = i % nPerRow * nGlyphWidth;
        for (std::uint64_t r = 0; r < nGlyphHeight; ++r, pGlyph += nGlyphWidth)
            std::memcpy(pBits.get() + (nTop + r) * nWidth + nLeft, pGlyph, static_cast<std::size_t>(nGlyphWidth));
    }
    // The cells of the last row that no glyph fills are colour 0; every other pixel was
    // just written, so the image is not cleared first.
    const std::uint64_t nFilled = nCount % nPerRow * nGlyphWidth;
    if (nFilled != 0)
        for (std::uint64_t y = nHeight - nGlyphHeight; y < nHeight; ++y)
            std::memset(pBits.get() + y * nWidth + nFilled, 0, static_cast<std::size_t>(nWidth - nFilled));

    SetConvertedBmpHeader(bmp, nWidth, nHeight);
    bmp.m_pPalette = m_pPalette;
    bmp.m_pBits = std::move(pBits);
    bmp.m_nBitsSize = static_cast<std::size_t>(nWidth * nHeight);
    return FMT_OK;
}

FormatResult CBmpData::BmpToBfnt(CBfntData& bfnt, int cellSize)
{
    if (m_infoHeader.biWidth < 1 || m_infoHeader.biHeight < 1)
        return FMT_BAD_SOURCE;
    const auto nWidth = static_cast<std::uint64_t>(m_infoHeader.biWidth);
    const auto nHeight = static_cast<std::uint64_t>(m_infoHeader.biHeight);
    return CutIntoCells(m_pBits.get(), m_nBitsSize, nWidth, nHeight, nWidth, m_pPalette, bfnt, cellSize);
}

FormatResult CTimData::TimToBfnt(CBfntData& bfnt, int cellSize)
{
    const std::uint64_t nWidth = 2 * std::uint64_t{m_imageWidth};
    return CutIntoCells(m_pPixels.get(), m_nPixelsSize, nWidth, m_imageHeight, nWidth, m_pPalette, bfnt, cellSize);
}
