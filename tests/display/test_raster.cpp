#include "display/Raster.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace
{

constexpr std::uint8_t GUARD = 0xA5;
constexpr std::size_t GUARD_BYTES = 64;

// A surface with guard bytes on both sides, so a stray write shows even without sanitizers.
struct TestSurface
{
    TestSurface(int nWidth, int nHeight, int nOrientation)
        : buffer(GUARD_BYTES * 2 + static_cast<std::size_t>(nWidth * nHeight), GUARD)
    {
        std::fill(buffer.begin() + GUARD_BYTES, buffer.end() - GUARD_BYTES, std::uint8_t{0});
        bits = SurfaceBits{nHeight, nWidth, nOrientation, buffer.data() + GUARD_BYTES};
    }

    std::uint8_t& Shown(int x, int y)
    {
        const int nRow = bits.orientation >= 0 ? bits.height - 1 - y : y;
        return bits.bits[nRow * bits.width + x];
    }

    bool GuardsIntact() const
    {
        for (std::size_t i = 0; i < GUARD_BYTES; ++i)
            if (buffer[i] != GUARD || buffer[buffer.size() - 1 - i] != GUARD)
                return false;
        return true;
    }

    std::vector<std::uint8_t> Pixels() const
    {
        return {buffer.begin() + GUARD_BYTES, buffer.end() - GUARD_BYTES};
    }

    std::vector<std::uint8_t> buffer;
    SurfaceBits bits;
};

// Straightforward models written from the definitions, one pixel at a time.
void ModelFill(TestSurface& s, int x0, int y0, int x1, int y1, std::uint8_t c)
{
    for (int y = 0; y < s.bits.height; ++y)
        for (int x = 0; x < s.bits.width; ++x)
            if (x >= x0 && x <= x1 && y >= y0 && y <= y1)
                s.Shown(x, y) = c;
}

void ModelCell(TestSurface& s, const std::uint8_t* cells, int x, int y, int w, int h, int index)
{
    if (w <= 0 || h <= 0)
        return;
    const std::uint8_t* pBlock = cells + static_cast<std::size_t>(index & 0xFFFF) * w * h;
    const int nFirst = s.bits.orientation < 0 ? y : s.bits.height - y - h;
    for (int k = 0; k < h; ++k)
        for (int j = 0; j < w; ++j)
        {
            const int nRow = nFirst + k;
            const int nCol = x + j;
            if (nRow >= 0 && nRow < s.bits.height && nCol >= 0 && nCol < s.bits.width)
                s.bits.bits[nRow * s.bits.width + nCol] = pBlock[k * w + j];
        }
}

void ModelRow(TestSurface& s, int x, int y, int count, std::uint32_t step, const std::uint8_t* src)
{
    if (y < 0 || y >= s.bits.height || x >= s.bits.width)
        return;
    long long n = count;
    if (x < 0)
    {
        n += x;
        src += (static_cast<std::uint64_t>(-static_cast<long long>(x)) * step) >> 16;
        x = 0;
    }
    if (n <= 0)
        return;
    if (x + n > s.bits.width)
        n = s.bits.width - x;
    std::uint16_t acc = 0;
    for (long long k = 0; k < n; ++k)
    {
        s.Shown(x + static_cast<int>(k), y) = *src;
        const std::uint16_t lo = static_cast<std::uint16_t>(step & 0xFFFF);
        const bool bCarry = static_cast<std::uint32_t>(acc) + lo > 0xFFFF;
        acc = static_cast<std::uint16_t>(acc + lo);
        src += (step >> 16) + (bCarry ? 1 : 0);
    }
}

std::vector<std::uint8_t> Ramp(std::size_t n)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return v;
}

class RasterBothOrientations : public ::testing::TestWithParam<int>
{
};

INSTANTIATE_TEST_SUITE_P(Orientation, RasterBothOrientations, ::testing::Values(1, 0, -1));

TEST_P(RasterBothOrientations, RandomCallsMatchThePixelModel)
{
    std::mt19937 rng(1234u + static_cast<unsigned>(GetParam() + 1));
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const std::uint32_t steps[] = {0, 1, 0x8000, 0xFFFF, 0x10000, 0x10001, 0x12345, 0x18000, 0x20000, 0x30000};

    for (int nTrial = 0; nTrial < 3000; ++nTrial)
    {
        TestSurface fast(4 * pick(1, 9), pick(1, 13), GetParam());
        TestSurface model(fast.bits.width, fast.bits.height, GetParam());
        const int W = fast.bits.width;
        const int H = fast.bits.height;
        const int kind = nTrial % 3;
        if (kind == 0)
        {
            const int x0 = pick(-8, W + 8), y0 = pick(-8, H + 8), x1 = pick(-8, W + 8), y1 = pick(-8, H + 8);
            FillRect(fast.bits, x0, y0, x1, y1, 9);
            ModelFill(model, x0, y0, x1, y1, 9);
        }
        else if (kind == 1)
        {
            const int n = nTrial % 5 == 1 ? (pick(0, 1) ? 16 : 32) : pick(0, 11), index = pick(0, 3);
            const int x = pick(-n - 2, W + 2), y = pick(-n - 2, H + 2);
            const auto cells = Ramp(static_cast<std::size_t>((index + 1) * n * n));
            DrawCell(fast.bits, cells.data(), x, y, n, index);
            ModelCell(model, cells.data(), x, y, n, n, index);
        }
        else
        {
            const std::uint32_t step = steps[pick(0, 9)];
            const int x = pick(-20, W + 2), y = pick(-2, H + 1), count = pick(-3, W + 20);
            const auto src = Ramp(static_cast<std::size_t>(200));
            DrawRow(fast.bits, x, y, count, step, src.data());
            ModelRow(model, x, y, count, step, src.data());
        }
        ASSERT_TRUE(fast.GuardsIntact()) << "trial " << nTrial;
        ASSERT_EQ(fast.Pixels(), model.Pixels()) << "trial " << nTrial << " kind " << kind;
    }
}

TEST(FillRect, WholeSurfaceAndCornersOnBothOrientations)
{
    for (int nOrientation : {1, -1})
    {
        TestSurface s(16, 8, nOrientation);
        FillRect(s.bits, 0, 0, 15, 7, 5);
        for (auto b : s.Pixels())
            ASSERT_EQ(b, 5);

        TestSurface t(16, 8, nOrientation);
        FillRect(t.bits, -3, -3, 2, 2, 7);
        int nSet = 0;
        for (auto b : t.Pixels())
            nSet += b == 7;
        EXPECT_EQ(nSet, 9);
        // Bottom-up: the shown top-left square is bytes 0..2 of the last three memory rows.
        const int nRow = nOrientation >= 0 ? 5 : 0;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(t.bits.bits[(nRow + r) * 16 + c], 7);
    }
}

TEST(FillRect, EmptyOrOutsideRectanglesWriteNothing)
{
    struct Case
    {
        int x0, y0, x1, y1;
    };
    const Case cases[] = {
        {5, 0, 4, 0},         {0, 8, 15, 13},   {0, -5, 15, -1}, {16, 0, 20, 7},
        {-9, 0, -1, 7},       {0, 3, 15, 2},    {INT_MAX, 0, INT_MAX, 7},
        {INT_MIN, INT_MIN, INT_MIN, INT_MIN},
    };
    for (const Case& c : cases)
    {
        TestSurface s(16, 8, 1);
        FillRect(s.bits, c.x0, c.y0, c.x1, c.y1, 3);
        for (auto b : s.Pixels())
            ASSERT_EQ(b, 0) << c.x0 << "," << c.y0 << "," << c.x1 << "," << c.y1;
        ASSERT_TRUE(s.GuardsIntact());
    }
}

TEST(FillRect, ExtremeCoordinatesFillTheWholeSurface)
{
    TestSurface s(12, 5, -1);
    FillRect(s.bits, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 4);
    for (auto b : s.Pixels())
        ASSERT_EQ(b, 4);
    EXPECT_TRUE(s.GuardsIntact());
}

TEST(FillRect, EveryWidthAndAlignmentFillsExactlyItsColumns)
{
    // Covers the narrow strips, the 4-byte lead-in, the 32-byte blocks and the tails.
    for (int x0 = 0; x0 < 8; ++x0)
        for (int nCols = 1; nCols <= 72; ++nCols)
        {
            TestSurface s(80, 3, 1);
            FillRect(s.bits, x0, 0, x0 + nCols - 1, 2, 1);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 80; ++x)
                    ASSERT_EQ(s.Shown(x, y), (x >= x0 && x < x0 + nCols) ? 1 : 0)
                        << "x0 " << x0 << " cols " << nCols << " at " << x;
        }
}

TEST(FillRect, NothingOnASurfaceWithoutPixels)
{
    // No pixel pointer: nothing to see, so these pass by not touching memory (the sanitizer
    // build would report the write).
    const SurfaceBits empty{};
    FillRect(empty, 0, 0, 10, 10, 1);
    const SurfaceBits noBits{4, 4, 1, nullptr};
    FillRect(noBits, 0, 0, 3, 3, 1);
    // A pointer but no rows or no columns: the bytes around it stay as they were.
    for (const auto& [nWidth, nHeight] : {std::pair{0, 4}, std::pair{4, 0}, std::pair{0, 0}})
        for (int nOrientation : {1, -1})
        {
            TestSurface s(nWidth, nHeight, nOrientation);
            FillRect(s.bits, 0, 0, 10, 10, 1);
            FillRect(s.bits, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 2);
            EXPECT_TRUE(s.GuardsIntact()) << nWidth << "x" << nHeight << " orientation " << nOrientation;
        }
}

TEST(DrawCell, BottomUpLowerEdgeDrawsTheUpperHalf)
{
    const int n = 8;
    TestSurface s(16, 10, 1);
    const auto cells = Ramp(n * n);
    DrawCell(s.bits, cells.data(), 0, 10 - n / 2, n, 0);
    // Source rows n/2..n-1 land in memory rows 0..n/2-1.
    for (int k = n / 2; k < n; ++k)
        for (int j = 0; j < n; ++j)
            EXPECT_EQ(s.bits.bits[(k - n / 2) * 16 + j], cells[static_cast<std::size_t>(k * n + j)]);
    for (int r = n / 2; r < 10; ++r)
        EXPECT_EQ(s.bits.bits[r * 16], 0);
}

TEST(DrawCell, LeftAndRightCuts)
{
    struct Case
    {
        int x;
        int nFirstColumn;   // surface column of the first byte written
        int nSkip;          // source bytes skipped per row
        int nCols;          // columns written
    };
    const Case cases[] = {{-2, 0, 2, 6}, {-6, 0, 6, 2}, {-8, 0, 0, 0}, {13, 13, 0, 3}, {16, 0, 0, 0}};
    const auto cells = Ramp(64);
    for (const Case& c : cases)
    {
        TestSurface s(16, 8, -1);
        DrawCell(s.bits, cells.data(), c.x, 0, 8, 0);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
            {
                const bool bIn = x >= c.nFirstColumn && x < c.nFirstColumn + c.nCols;
                const std::uint8_t want = bIn ? cells[static_cast<std::size_t>(y * 8 + c.nSkip + x - c.nFirstColumn)] : 0;
                ASSERT_EQ(s.Shown(x, y), want) << "x " << c.x;
            }
    }
}

TEST(DrawCell, OutsideOrEmptyCellsWriteNothing)
{
    const auto cells = Ramp(256);
    for (int nOrientation : {1, -1})
    {
        TestSurface s(16, 8, nOrientation);
        DrawCell(s.bits, cells.data(), 0, 8, 4, 0);    // y = H
        DrawCell(s.bits, cells.data(), 16, 0, 4, 0);   // x = W
        DrawCell(s.bits, cells.data(), 0, 0, 0, 3);    // n = 0
        DrawCell(s.bits, cells.data(), 0, 0, -4, 0);
        DrawCell(s.bits, cells.data(), 0, -4, 4, 0);
        DrawCell(s.bits, cells.data(), INT_MIN, INT_MIN, 4, 0);
        DrawCell(s.bits, cells.data(), INT_MAX, INT_MAX, 4, 0);
        for (auto b : s.Pixels())
            ASSERT_EQ(b, 0);
        ASSERT_TRUE(s.GuardsIntact());
    }
}

TEST(DrawCell, OddSizeInsideCopiesEveryByteAndIndexWraps)
{
    TestSurface s(16, 8, -1);
    const auto cells = Ramp(36 * 2);
    DrawCell(s.bits, cells.data(), 3, 1, 6, 65536 + 1);   // index 65537 is cell 1
    for (int k = 0; k < 6; ++k)
        for (int j = 0; j < 6; ++j)
            ASSERT_EQ(s.Shown(3 + j, 1 + k), cells[static_cast<std::size_t>(36 + k * 6 + j)]);
}

TEST(DrawCell, BoundedFormDrawsOnlyCellsInsideTheBuffer)
{
    const auto cells = Ramp(3 * 16);   // three 4 x 4 cells
    TestSurface s(8, 8, -1);
    DrawCell(s.bits, cells.data(), cells.size(), 0, 0, 4, 2);
    EXPECT_EQ(s.Shown(3, 3), cells[47]);
    TestSurface t(8, 8, -1);
    DrawCell(t.bits, cells.data(), cells.size() - 1, 0, 0, 4, 2);
    DrawCell(t.bits, cells.data(), cells.size(), 0, 0, 4, 3);
    DrawCell(t.bits, cells.data(), cells.size(), 0, 0, INT_MAX, 65535);
    for (auto b : t.Pixels())
        ASSERT_EQ(b, 0);
}

TEST(DrawCellRect, NonSquareCellsFollowTheGlyphLayoutOnBothOrientations)
{
    const int w = 6, h = 3;
    const auto cells = Ramp(static_cast<std::size_t>(4 * w * h));   // exactly four cells
    for (int nOrientation : {1, -1})
    {
        TestSurface fast(16, 8, nOrientation);
        TestSurface model(16, 8, nOrientation);
        for (int x : {-7, -2, 0, 11, 15})
            for (int y : {-3, -1, 0, 6, 7})
            {
                DrawCellRect(fast.bits, cells.data(), cells.size(), x, y, w, h, 3);
                ModelCell(model, cells.data(), x, y, w, h, 3);
            }
        EXPECT_EQ(fast.Pixels(), model.Pixels());
        DrawCellRect(fast.bits, cells.data(), cells.size(), 0, 0, w, h, 4);   // past the end
        EXPECT_EQ(fast.Pixels(), model.Pixels());
        EXPECT_TRUE(fast.GuardsIntact());
    }
}

TEST(DrawRow, StepPatterns)
{
    struct Case
    {
        int x, count;
        std::uint32_t step;
        std::vector<int> want;   // source byte per shown column from 0; -1 = untouched
    };
    const Case cases[] = {
        {-3, 10, 0x18000, {4, 5, 7, 8, 10, 11, 13, -1}},
        {0, 4, 0x8000, {0, 0, 1, 1, -1}},
        {0, 4, 0x10000, {0, 1, 2, 3, -1}},
        {1, 3, 0x20000, {-1, 0, 2, 4, -1}},
        {-1, 4, 0x8000, {0, 0, 1, -1}},     // the cut's half pixel is dropped, not carried
        {0, 3, 0, {0, 0, 0, -1}},
    };
    std::vector<std::uint8_t> src(64);
    for (std::size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<std::uint8_t>(100 + i);
    for (const Case& c : cases)
        for (int nOrientation : {1, -1})
        {
            TestSurface s(12, 3, nOrientation);
            DrawRow(s.bits, c.x, 1, c.count, c.step, src.data());
            for (std::size_t k = 0; k < c.want.size(); ++k)
                ASSERT_EQ(s.Shown(static_cast<int>(k), 1), c.want[k] < 0 ? 0 : 100 + c.want[k])
                    << "step " << std::hex << c.step << " x " << std::dec << c.x << " column " << k;
        }
}

TEST(DrawRow, ClipsToTheSurface)
{
    const auto src = Ramp(64);
    TestSurface s(12, 3, 1);
    DrawRow(s.bits, 0, 0, 12 + 10, 0x10000, src.data());
    for (int x = 0; x < 12; ++x)
        EXPECT_EQ(s.Shown(x, 0), src[static_cast<std::size_t>(x)]);
    TestSurface t(12, 3, 1);
    DrawRow(t.bits, 0, -1, 4, 0x10000, src.data());
    DrawRow(t.bits, 0, 3, 4, 0x10000, src.data());
    DrawRow(t.bits, 12, 0, 4, 0x10000, src.data());
    DrawRow(t.bits, -5, 0, 5, 0x10000, src.data());
    DrawRow(t.bits, -1, 0, INT_MIN, 0x10000, src.data());
    DrawRow(t.bits, INT_MIN, 0, INT_MAX, 0x10000, src.data());
    for (auto b : t.Pixels())
        ASSERT_EQ(b, 0);
    EXPECT_TRUE(t.GuardsIntact());
}

TEST(DrawRow, BoundedFormStopsAtTheEndOfTheSource)
{
    for (std::uint32_t step : {0x8000u, 0x10000u, 0x18000u, 0x20000u, 0x12345u})
        for (std::size_t nSize : {0u, 1u, 5u, 9u})
        {
            // Exactly nSize bytes on the heap, so the sanitizers see any over-read.
            std::vector<std::uint8_t> src(nSize);
            for (std::size_t i = 0; i < nSize; ++i)
                src[i] = static_cast<std::uint8_t>(50 + i);
            TestSurface s(32, 2, -1);
            DrawRow(s.bits, -2, 0, 32, step, src.data(), src.size());
            const std::uint64_t nSkip = (2ull * step) >> 16;
            for (int k = 0; k < 32; ++k)
            {
                const std::uint64_t nAt = nSkip + ((static_cast<std::uint64_t>(k) * step) >> 16);
                const int want = k < 30 && nAt < nSize ? 50 + static_cast<int>(nAt) : 0;
                ASSERT_EQ(s.Shown(k, 0), want) << std::hex << step << std::dec << " size " << nSize << " k " << k;
            }
        }
}

} // namespace
