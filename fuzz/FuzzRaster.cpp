// The raster routines with any arguments on a small surface of either row order: nothing
// is written outside the surface or read outside the source (the sanitizer sees both, as
// each buffer is allocated to its exact size), and every routine draws exactly the pixels
// that a plain pixel-by-pixel rendering of its contract draws, and no others.

#include "display/Raster.h"
#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace
{
struct CInput
{
    const std::uint8_t* p;
    std::size_t n;
    std::uint32_t Take(int nBytes)
    {
        std::uint32_t v = 0;
        for (int i = 0; i < nBytes && n > 0; ++i, ++p, --n)
            v |= std::uint32_t{*p} << (8 * i);
        return v;
    }
    // Mostly near the surface, sometimes anything at all.
    std::int32_t Coord()
    {
        const std::uint32_t nMode = Take(1);
        const auto v = static_cast<std::int32_t>(Take(4));
        return (nMode & 3) != 0 ? v % 100 : v;
    }
};

struct CSurface
{
    std::int32_t w, h, orient;
    std::unique_ptr<std::uint8_t[]> bits;
    SurfaceBits Bits() { return SurfaceBits{h, w, orient, bits.get()}; }
    // Memory row of a shown row, or -1 outside.
    std::int64_t MemRow(std::int64_t y) const { return y < 0 || y >= h ? -1 : orient >= 0 ? h - 1 - y : y; }
    void Set(std::int64_t memRow, std::int64_t x, std::uint8_t v)
    {
        if (memRow >= 0 && memRow < h && x >= 0 && x < w)
            bits[static_cast<std::size_t>(memRow * w + x)] = v;
    }
};

void DrawCellByPixels(CSurface& s, const std::uint8_t* cells, std::size_t nSize, std::int64_t x, std::int64_t y,
                      std::int64_t cw, std::int64_t ch, std::int64_t index)
{
    if (cw <= 0 || ch <= 0)
        return;
    const std::uint64_t nCell = std::uint64_t(cw) * std::uint64_t(ch);
    if (nCell > nSize)
        return;  // also keeps the products below from wrapping
    const std::uint64_t nFirst = std::uint64_t(index & 0xFFFF) * nCell;
    if (nFirst + nCell > nSize)
        return;
    // Cell rows are in memory order: row 0 lands on the cell's first memory row.
    const std::int64_t nBase = s.orient < 0 ? y : s.h - y - ch;
    for (std::int64_t m = 0; m < s.h; ++m)
        for (std::int64_t c = std::max<std::int64_t>(0, -x); c < cw && x + c < s.w; ++c)
            if (m - nBase >= 0 && m - nBase < ch)
                s.Set(m, x + c, cells[nFirst + std::uint64_t((m - nBase) * cw + c)]);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    CInput in{pData, nSize};
    CSurface s{1 + std::int32_t(in.Take(1) % 64), 1 + std::int32_t(in.Take(1) % 48), 0, nullptr};
    s.orient = (in.Take(1) & 1) != 0 ? 1 : -1;
    const std::uint32_t nOp = in.Take(1) % 4;
    const std::int32_t x = in.Coord(), y = in.Coord(), a = in.Coord(), b = in.Coord();
    const std::uint32_t nStepPick = in.Take(1) % 4;
    std::uint32_t nStep = in.Take(4);
    nStep = nStepPick == 0 ? 0x10000u : nStepPick == 1 ? 0x8000u : nStepPick == 2 ? nStep % 0x30000u : nStep;
    const std::int32_t nIndex = static_cast<std::int32_t>(in.Take(4));

    const std::size_t nPixels = std::size_t(s.w) * std::size_t(s.h);
    s.bits = std::make_unique<std::uint8_t[]>(nPixels);
    std::memset(s.bits.get(), 0xEE, nPixels);
    CSurface want{s.w, s.h, s.orient, std::make_unique<std::uint8_t[]>(nPixels)};
    std::memcpy(want.bits.get(), s.bits.get(), nPixels);
    // The rest is the source, in a buffer of exactly its size.
    const std::size_t nSrc = in.n;
    std::unique_ptr<std::uint8_t[]> pSrc(new std::uint8_t[nSrc == 0 ? 1 : nSrc]);
    std::memcpy(pSrc.get(), in.p, nSrc);

    switch (nOp)
    {
    case 0:  // FillRect(x, y, a, b)
        FillRect(s.Bits(), x, y, a, b, 0x5A);
        for (std::int64_t yy = std::max(y, 0); yy <= b && yy < s.h; ++yy)
            for (std::int64_t xx = std::max(x, 0); xx <= a && xx < s.w; ++xx)
                want.Set(want.MemRow(yy), xx, 0x5A);
        break;
    case 1:  // DrawRow(x, y, count a, step)
    {
        DrawRow(s.Bits(), x, y, a, nStep, pSrc.get(), nSrc);
        const std::int64_t nStart = std::max(x, 0);
        // The fraction of a cut at the left edge is dropped.
        const std::uint64_t nSkip = x < 0 ? (std::uint64_t(-std::int64_t{x}) * nStep) >> 16 : 0;
        for (std::int64_t px = nStart; px < std::int64_t{x} + a && px < s.w; ++px)
        {
            const std::uint64_t nAt = nSkip + ((std::uint64_t(px - nStart) * nStep) >> 16);
            if (want.MemRow(y) < 0 || nAt >= nSrc)
                break;
            want.Set(want.MemRow(y), px, pSrc[nAt]);
        }
        break;
    }
    case 2:  // DrawCell(x, y, n = a, index)
        DrawCell(s.Bits(), pSrc.get(), nSrc, x, y, a, nIndex);
        DrawCellByPixels(want, pSrc.get(), nSrc, x, y, a, a, nIndex);
        break;
    default:  // DrawCellRect(x, y, a x b, index)
        DrawCellRect(s.Bits(), pSrc.get(), nSrc, x, y, a, b, nIndex);
        DrawCellByPixels(want, pSrc.get(), nSrc, x, y, a, b, nIndex);
        break;
    }
    FUZZ_CHECK(std::memcmp(s.bits.get(), want.bits.get(), nPixels) == 0);
    return 0;
}
