#include "display/Raster.h"

#include <cstring>
#include <limits>

namespace
{

bool IsDrawable(const SurfaceBits& target)
{
    return target.height > 0 && target.width > 0 && target.bits != nullptr;
}

template <std::size_t N>
void CopyRows(std::uint8_t* pDst, std::int64_t nDstStride, const std::uint8_t* pSrc, std::int64_t nSrcStride,
              std::int64_t nRows)
{
    for (std::int64_t r = 0; r < nRows; ++r, pDst += nDstStride, pSrc += nSrcStride)
        std::memcpy(pDst, pSrc, N);
}

// Cell rectangle copy shared by DrawCell and DrawCellRect. All arithmetic is 64-bit
// so no combination of arguments can wrap into a false "inside" answer.
void CopyCell(const SurfaceBits& target, const std::uint8_t* cells, std::uint64_t nCellsSize,
              std::int32_t x, std::int32_t y, std::int32_t cellWidth, std::int32_t cellHeight,
              std::int32_t index)
{
    if (!IsDrawable(target) || cells == nullptr || cellWidth <= 0 || cellHeight <= 0)
        return;

    const std::uint64_t nCellBytes =
        static_cast<std::uint64_t>(cellWidth) * static_cast<std::uint64_t>(cellHeight);
    const std::uint64_t nIndex = static_cast<std::uint32_t>(index) & 0xFFFFu;
    std::uint64_t nOffset = 0;
    std::uint64_t nEnd = 0;
    if (__builtin_mul_overflow(nIndex, nCellBytes, &nOffset) ||
        __builtin_add_overflow(nOffset, nCellBytes, &nEnd) || nEnd > nCellsSize)
        return;

    const std::int64_t H = target.height;
    const std::int64_t W = target.width;

    std::int64_t nFirst = target.orientation < 0 ? std::int64_t{y} : H - y - cellHeight;
    std::int64_t nRows = cellHeight;
    std::int64_t nSkipRows = 0;
    if (nFirst >= H)
        return;
    if (nFirst < 0)
    {
        nSkipRows = -nFirst;
        nRows += nFirst;
        nFirst = 0;
        if (nRows <= 0)
            return;
    }
    if (nFirst + nRows > H)
        nRows = H - nFirst;

    if (x >= W)
        return;
    std::int64_t nStart = x;
    std::int64_t nCols = cellWidth;
    std::int64_t nSkipCols = 0;
    if (x < 0)
    {
        nSkipCols = -std::int64_t{x};
        nCols += x;
        nStart = 0;
        if (nCols <= 0)
            return;
    }
    if (nStart + nCols > W)
        nCols = W - nStart;

    const std::uint8_t* pSrc = cells + nOffset + static_cast<std::uint64_t>(nSkipRows * cellWidth + nSkipCols);
    std::uint8_t* pDst = target.bits + (nFirst * W + nStart);
    // Common glyph widths get a fixed-size copy the compiler turns into single moves.
    switch (nCols)
    {
    case 8: CopyRows<8>(pDst, W, pSrc, cellWidth, nRows); break;
    case 16: CopyRows<16>(pDst, W, pSrc, cellWidth, nRows); break;
    case 32: CopyRows<32>(pDst, W, pSrc, cellWidth, nRows); break;
    default:
        for (std::int64_t r = 0; r < nRows; ++r)
        {
            std::memcpy(pDst, pSrc, static_cast<std::size_t>(nCols));
            pSrc += cellWidth;
            pDst += W;
        }
    }
}

void CopyRow(const SurfaceBits& target, std::int32_t x, std::int32_t y, std::int32_t count,
             std::uint32_t step, const std::uint8_t* src, std::uint64_t nSrcSize)
{
    if (!IsDrawable(target) || src == nullptr)
        return;
    const std::int64_t H = target.height;
    const std::int64_t W = target.width;
    if (y < 0 || y >= H)
        return;
    const std::int64_t nMemRow = target.orientation >= 0 ? H - 1 - y : std::int64_t{y};

    if (x >= W)
        return;
    std::int64_t nCount = count;
    std::int64_t nStart = x;
    std::uint64_t nSkip = 0;
    if (x < 0)
    {
        nCount += x;
        // The fraction of the cut is dropped: stepping restarts from a fraction of 0.
        nSkip = (static_cast<std::uint64_t>(-std::int64_t{x}) * step) >> 16;
        nStart = 0;
    }
    if (nCount <= 0)
        return;
    if (nStart + nCount > W)
        nCount = W - nStart;

    if (nSkip >= nSrcSize)
        return;
    const std::uint64_t nLeft = nSrcSize - nSkip;
    // Pixel k reads byte floor(k * step / 65536), so k stays inside while k * step < nLeft * 65536.
    if (nLeft < (std::uint64_t{1} << 47))
    {
        const std::uint64_t nFit =
            step == 0 ? std::numeric_limits<std::uint64_t>::max() : ((nLeft << 16) + step - 1) / step;
        if (nFit < static_cast<std::uint64_t>(nCount))
            nCount = static_cast<std::int64_t>(nFit);
    }
    if (nCount <= 0)
        return;

    const std::uint8_t* pSrc = src + nSkip;
    std::uint8_t* pDst = target.bits + (nMemRow * W + nStart);
    const auto n = static_cast<std::size_t>(nCount);
    if (step == 0x10000u)
    {
        std::memcpy(pDst, pSrc, n);
        return;
    }
    if (step == 0x8000u)
    {
        // Each source byte twice: a shape the compiler vectorises.
        const std::size_t nPairs = n / 2;
        for (std::size_t i = 0; i < nPairs; ++i)
        {
            pDst[2 * i] = pSrc[i];
            pDst[2 * i + 1] = pSrc[i];
        }
        if (n % 2 != 0)
            pDst[n - 1] = pSrc[nPairs];
        return;
    }
    // A 64-bit position gives the same byte as the 16-bit fraction with its carry.
    std::uint64_t nPos = 0;
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4)
    {
        pDst[k] = pSrc[nPos >> 16];
        pDst[k + 1] = pSrc[(nPos + step) >> 16];
        pDst[k + 2] = pSrc[(nPos + 2 * std::uint64_t{step}) >> 16];
        pDst[k + 3] = pSrc[(nPos + 3 * std::uint64_t{step}) >> 16];
        nPos += 4 * std::uint64_t{step};
    }
    for (; k < n; ++k, nPos += step)
        pDst[k] = pSrc[nPos >> 16];
}

} // namespace

void FillRect(const SurfaceBits& target, std::int32_t x0, std::int32_t y0, std::int32_t x1,
              std::int32_t y1, std::uint8_t colour)
{
    if (!IsDrawable(target))
        return;
    const std::int32_t H = target.height;
    const std::int32_t W = target.width;

    if (y0 > H - 1)
        return;
    if (y0 < 0)
        y0 = 0;
    if (y1 < y0)
        return;
    if (y1 > H - 1)
        y1 = H - 1;

    if (x0 >= W)
        return;
    if (x0 < 0)
        x0 = 0;
    if (x1 < x0)
        return;
    if (x1 > W - 1)
        x1 = W - 1;

    const std::int64_t nFirst = target.orientation >= 0 ? std::int64_t{H} - 1 - y1 : std::int64_t{y0};
    const std::int64_t nRows = std::int64_t{y1} - y0 + 1;
    const auto nCols = static_cast<std::size_t>(std::int64_t{x1} - x0 + 1);
    std::uint8_t* pRow = target.bits + (nFirst * W + x0);
    if (nCols == static_cast<std::size_t>(W))
    {
        std::memset(pRow, colour, nCols * static_cast<std::size_t>(nRows));
        return;
    }
    for (std::int64_t r = 0; r < nRows; ++r, pRow += W)
        std::memset(pRow, colour, nCols);
}

void DrawCell(const SurfaceBits& target, const std::uint8_t* cells, std::int32_t x, std::int32_t y,
              std::int32_t n, std::int32_t index)
{
    CopyCell(target, cells, std::numeric_limits<std::uint64_t>::max(), x, y, n, n, index);
}

void DrawCell(const SurfaceBits& target, const std::uint8_t* cells, std::size_t nCellsSize,
              std::int32_t x, std::int32_t y, std::int32_t n, std::int32_t index)
{
    CopyCell(target, cells, nCellsSize, x, y, n, n, index);
}

void DrawCellRect(const SurfaceBits& target, const std::uint8_t* cells, std::size_t nCellsSize,
                  std::int32_t x, std::int32_t y, std::int32_t cellWidth, std::int32_t cellHeight,
                  std::int32_t index)
{
    CopyCell(target, cells, nCellsSize, x, y, cellWidth, cellHeight, index);
}

void DrawRow(const SurfaceBits& target, std::int32_t x, std::int32_t y, std::int32_t count,
             std::uint32_t step, const std::uint8_t* src)
{
    CopyRow(target, x, y, count, step, src, std::numeric_limits<std::uint64_t>::max());
}

void DrawRow(const SurfaceBits& target, std::int32_t x, std::int32_t y, std::int32_t count,
             std::uint32_t step, const std::uint8_t* src, std::size_t nSrcSize)
{
    CopyRow(target, x, y, count, step, src, nSrcSize);
}
