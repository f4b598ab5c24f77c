#include "display/WinGSurface.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <cstdint>
#include <vector>

namespace
{

// A window stand-in: copies what it is sent into a top-down buffer, as the screen shows it.
class CRecordingDC : public CDeviceContext
{
public:
    bool BlitFrom(const DibView& src, int xDest, int yDest, int nWidth, int nHeight, int xSrc,
                  int ySrc) override
    {
        ++m_nBlits;
        m_view = src;
        m_nWidth = nWidth;
        m_nHeight = nHeight;
        m_shown.assign(static_cast<std::size_t>(nWidth * nHeight), 0);
        for (int y = 0; y < nHeight && ySrc + y < src.nHeight; ++y)
        {
            const int nRow = src.nOrientation >= 0 ? src.nHeight - 1 - (ySrc + y) : ySrc + y;
            for (int x = 0; x < nWidth && xSrc + x < src.nWidth; ++x)
                m_shown[static_cast<std::size_t>(y * nWidth + x)] = src.pBits[nRow * src.nWidth + xSrc + x];
        }
        std::copy(src.pColors, src.pColors + 256, m_colors.begin());
        EXPECT_EQ(xDest, 0);
        EXPECT_EQ(yDest, 0);
        return true;
    }

    std::uint8_t Shown(int x, int y) const { return m_shown[static_cast<std::size_t>(y * m_nWidth + x)]; }

    int m_nBlits = 0;
    DibView m_view;
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<std::uint8_t> m_shown;
    std::array<RGBQUAD, 256> m_colors{};
};

std::array<std::uint8_t, 3> SystemColour(int i)
{
    static const std::uint8_t low[10][3] = {{0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},
                                            {0, 0, 128},   {128, 0, 128},   {0, 128, 128},   {192, 192, 192},
                                            {192, 220, 192}, {166, 202, 240}};
    static const std::uint8_t high[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                                             {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                                             {0, 255, 255},   {255, 255, 255}};
    if (i < 10)
        return {low[i][0], low[i][1], low[i][2]};
    if (i >= 246)
        return {high[i - 246][0], high[i - 246][1], high[i - 246][2]};
    if (i < 26)
    {
        const auto g = static_cast<std::uint8_t>(17 * (i - 10));
        return {g, g, g};
    }
    if (i < 242)
    {
        const int c = i - 26;
        return {static_cast<std::uint8_t>(51 * (c / 36)), static_cast<std::uint8_t>(51 * (c / 6 % 6)),
                static_cast<std::uint8_t>(51 * (c % 6))};
    }
    return {0, 0, 0};
}

std::vector<std::uint8_t> Triples(int nCount, int nSeed)
{
    std::vector<std::uint8_t> v(static_cast<std::size_t>(3 * nCount));
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<std::uint8_t>(nSeed + 5 * i);
    return v;
}

class Surface : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WinGGetTestHooks() = WinGTestHooks{};
        m_nLiveBefore = GdiLiveObjectCount();
    }
    void TearDown() override
    {
        m_surface.Destroy();
        WinGGetTestHooks() = WinGTestHooks{};
        EXPECT_EQ(GdiLiveObjectCount(), m_nLiveBefore) << "a DC, bitmap or palette was leaked";
    }

    void ExpectIdentityPalette()
    {
        for (int i = 0; i < 256; ++i)
        {
            const PALETTEENTRY& e = m_surface.m_logPalette.palPalEntry[i];
            const RGBQUAD& q = m_surface.m_bmiColors[i];
            EXPECT_EQ(e.peFlags, (i < 10 || i >= 246) ? 0 : PC_NOCOLLAPSE) << i;
            EXPECT_EQ(e.peRed, q.rgbRed) << i;
            EXPECT_EQ(e.peGreen, q.rgbGreen) << i;
            EXPECT_EQ(e.peBlue, q.rgbBlue) << i;
            EXPECT_EQ(q.rgbReserved, 0) << i;
        }
        EXPECT_EQ(m_surface.m_logPalette.palVersion, 0x300);
        EXPECT_EQ(m_surface.m_logPalette.palNumEntries, 256);
    }

    std::size_t m_nLiveBefore = 0;
    CWinGSurface m_surface;
};

TEST(SystemPalette, ReportsTheStaticColoursGreyRampAndCube)
{
    std::array<PALETTEENTRY, 256> entries{};
    HDC hScreen = GetDC(nullptr);
    EXPECT_EQ(GetSystemPaletteEntries(hScreen, 0, 256, entries.data()), 256u);
    EXPECT_EQ(GetSystemPaletteEntries(hScreen, 250, 10, entries.data()), 6u);
    EXPECT_EQ(ReleaseDC(nullptr, hScreen), 1);
    GetSystemPaletteEntries(nullptr, 0, 256, entries.data());
    for (int i = 0; i < 256; ++i)
    {
        const auto want = SystemColour(i);
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].peRed, want[0]) << i;
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].peGreen, want[1]) << i;
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].peBlue, want[2]) << i;
    }
    EXPECT_EQ(entries[25].peRed, 255);   // end of the grey ramp
    EXPECT_EQ(entries[241].peBlue, 255); // end of the cube
}

TEST_F(Surface, EmptyUntilSized)
{
    EXPECT_EQ(m_surface.GetWidth(), 0);
    EXPECT_EQ(m_surface.GetHeight(), 0);
    EXPECT_EQ(m_surface.m_bits.orientation, 1);
    EXPECT_EQ(m_surface.GetPalette(), nullptr);
    m_surface.FillRect(0, 0, 10, 10, 1);
    CRecordingDC dc;
    EXPECT_EQ(m_surface.BlitTo(&dc), 0);
    EXPECT_EQ(dc.m_nBlits, 0);
}

TEST_F(Surface, FirstSizeBuildsTheIdentityPaletteFromTheSystemPalette)
{
    m_surface.SetSize(64, 32);
    ASSERT_NE(m_surface.GetPalette(), nullptr);
    ExpectIdentityPalette();
    std::vector<std::uint8_t> rgb(768);
    m_surface.GetColors(rgb.data(), 0, 256);
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(rgb[static_cast<std::size_t>(3 * i + c)], SystemColour(i)[static_cast<std::size_t>(c)]) << i;

    EXPECT_EQ(m_surface.GetWidth(), 64);
    EXPECT_EQ(m_surface.GetHeight(), 32);
    EXPECT_EQ(m_surface.m_bmiHeader.biWidth, 64);
    EXPECT_EQ(m_surface.m_bmiHeader.biHeight, 32);
    EXPECT_EQ(m_surface.m_bmiHeader.biBitCount, 8);
    EXPECT_EQ(m_surface.m_bmiHeader.biCompression, 0u);
    EXPECT_NE(m_surface.m_bits.bits, nullptr);

    CRecordingDC dc;
    SelectPalette(&dc, m_surface.GetPalette(), 0);
    EXPECT_EQ(RealizePalette(&dc), 256u);
}

TEST_F(Surface, FailedRecommendationFallsBackToBottomUp)
{
    WinGGetTestHooks().bFailRecommend = true;
    m_surface.SetSize(8, 4);
    const BITMAPINFOHEADER& h = m_surface.m_bmiHeader;
    EXPECT_EQ(m_surface.m_bits.orientation, 1);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 0u);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(h.biClrImportant, 0u);
    EXPECT_EQ(h.biHeight, 4);
    EXPECT_EQ(m_surface.GetHeight(), 4);
}

TEST_F(Surface, DrawingAndBlitFollowTheRowOrder)
{
    for (bool bTopDown : {false, true})
    {
        CWinGSurface surface;
        WinGGetTestHooks().bRecommendTopDown = bTopDown;
        surface.SetSize(8, 5);
        EXPECT_EQ(surface.GetHeight(), 5);
        EXPECT_EQ(surface.m_bmiHeader.biHeight, bTopDown ? -5 : 5);
        EXPECT_EQ(surface.m_bits.orientation < 0, bTopDown);

        surface.FillRect(0, 0, 7, 4, 247);
        const std::uint8_t row[3] = {1, 2, 3};
        surface.DrawRow(2, 0, 3, 0x10000, row);   // top line as shown
        CRecordingDC dc;
        EXPECT_NE(surface.BlitTo(&dc), 0);
        ASSERT_EQ(dc.m_nBlits, 1);
        EXPECT_EQ(dc.m_nWidth, 8);
        EXPECT_EQ(dc.m_nHeight, 5);
        EXPECT_EQ(dc.Shown(1, 0), 247);
        EXPECT_EQ(dc.Shown(2, 0), 1);
        EXPECT_EQ(dc.Shown(4, 0), 3);
        EXPECT_EQ(dc.Shown(2, 4), 247);
        surface.Destroy();
    }
}

TEST_F(Surface, SameSizeCreatesNothingAndKeepsThePixels)
{
    m_surface.SetSize(16, 8);
    m_surface.FillRect(0, 0, 15, 7, 9);
    const int nCreated = WinGGetTestHooks().nCreateBitmapCalls;
    std::uint8_t* pBits = m_surface.m_bits.bits;
    m_surface.SetSize(16, 8);
    EXPECT_EQ(WinGGetTestHooks().nCreateBitmapCalls, nCreated);
    EXPECT_EQ(m_surface.m_bits.bits, pBits);
    EXPECT_EQ(pBits[0], 9);

    m_surface.SetSize(16, 9);
    EXPECT_EQ(WinGGetTestHooks().nCreateBitmapCalls, nCreated + 1);
    m_surface.SetSize(20, 9);
    EXPECT_EQ(WinGGetTestHooks().nCreateBitmapCalls, nCreated + 2);
    EXPECT_EQ(m_surface.GetWidth(), 20);
    EXPECT_EQ(m_surface.GetHeight(), 9);
}

TEST_F(Surface, ResizeKeepsTheColourTableAndOrientation)
{
    WinGGetTestHooks().bRecommendTopDown = true;
    m_surface.SetSize(8, 8);
    const auto rgb = Triples(236, 3);
    m_surface.SetColors(rgb.data(), 10, 236);
    WinGGetTestHooks().bRecommendTopDown = false;
    m_surface.SetSize(12, 6);
    EXPECT_LT(m_surface.m_bits.orientation, 0);
    EXPECT_EQ(m_surface.m_bmiHeader.biHeight, -6);
    CRecordingDC dc;
    m_surface.BlitTo(&dc);
    for (int i = 0; i < 256; ++i)
    {
        EXPECT_EQ(dc.m_colors[static_cast<std::size_t>(i)].rgbRed, m_surface.m_bmiColors[i].rgbRed) << i;
        EXPECT_EQ(dc.m_colors[static_cast<std::size_t>(i)].rgbBlue, m_surface.m_bmiColors[i].rgbBlue) << i;
    }
    EXPECT_EQ(dc.m_colors[10].rgbRed, rgb[0]);
    EXPECT_EQ(dc.m_colors[10].rgbBlue, rgb[2]);
}

TEST_F(Surface, SetColorsRanges)
{
    m_surface.SetSize(8, 8);
    struct Case
    {
        int nFirst, nCount;
        int nChangedFirst, nChangedEnd;      // entries expected to change
        int nTableCalls;                     // colour-table updates sent to WinG
    };
    const Case cases[] = {
        {10, 236, 10, 246, 1},
        {250, 10, 250, 256, 1},
        {10, 0, 0, 0, 0},
        {-2, 5, 0, 3, 1},
        {300, 4, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        std::vector<std::uint8_t> before(768), after(768);
        m_surface.GetColors(before.data(), 0, 256);
        // Exactly the triples the range may read, so the sanitizers catch any over-read.
        const auto rgb = Triples(c.nCount, 77 + c.nFirst);
        const WinGTestHooks hooks = WinGGetTestHooks();
        const std::size_t nPalettes = GdiCreatePaletteCount();
        m_surface.SetColors(rgb.empty() ? nullptr : rgb.data(), c.nFirst, c.nCount);
        m_surface.GetColors(after.data(), 0, 256);
        for (int i = 0; i < 256; ++i)
            for (int k = 0; k < 3; ++k)
            {
                const std::size_t at = static_cast<std::size_t>(3 * i + k);
                const bool bChanged = i >= c.nChangedFirst && i < c.nChangedEnd;
                EXPECT_EQ(after[at], bChanged ? rgb[static_cast<std::size_t>(3 * (i - c.nFirst) + k)] : before[at])
                    << "first " << c.nFirst << " entry " << i;
            }
        for (int i = c.nChangedFirst; i < c.nChangedEnd; ++i)
            EXPECT_EQ(m_surface.m_logPalette.palPalEntry[i].peFlags, PC_NOCOLLAPSE);
        EXPECT_EQ(GdiCreatePaletteCount(), nPalettes + 1) << "the palette object is replaced every time";
        EXPECT_EQ(WinGGetTestHooks().nSetColorTableCalls, hooks.nSetColorTableCalls + c.nTableCalls);
        if (c.nTableCalls != 0)
        {
            EXPECT_EQ(WinGGetTestHooks().nLastColorTableStart, static_cast<UINT>(c.nChangedFirst));
            EXPECT_EQ(WinGGetTestHooks().nLastColorTableCount, static_cast<UINT>(c.nChangedEnd - c.nChangedFirst));
        }
    }
}

TEST_F(Surface, LoadColoursKeepTheStaticOnes)
{
    m_surface.SetSize(8, 8);
    const auto p = Triples(256, 11);
    m_surface.SetColors(p.data() + 30, 10, 236);
    std::vector<std::uint8_t> rgb(768);
    m_surface.GetColors(rgb.data(), 0, 256);
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k)
        {
            const std::size_t at = static_cast<std::size_t>(3 * i + k);
            const std::uint8_t want = (i >= 10 && i < 246) ? p[at] : SystemColour(i)[static_cast<std::size_t>(k)];
            EXPECT_EQ(rgb[at], want) << i;
        }
    ExpectIdentityPalette();
}

TEST_F(Surface, ColoursSetBeforeTheFirstSizeReachTheBitmap)
{
    const auto rgb = Triples(4, 200);
    m_surface.SetColors(rgb.data(), 20, 4);
    const std::size_t nPalettes = GdiCreatePaletteCount();
    m_surface.SetSize(8, 4);
    EXPECT_EQ(GdiCreatePaletteCount(), nPalettes);
    CRecordingDC dc;
    m_surface.BlitTo(&dc);
    EXPECT_EQ(dc.m_colors[20].rgbRed, rgb[0]);
    EXPECT_EQ(dc.m_colors[23].rgbBlue, rgb[11]);
    EXPECT_EQ(dc.m_colors[19].rgbRed, SystemColour(19)[0]);
}

TEST_F(Surface, GetColorsCopiesOnlyTheRangeInsideTheTable)
{
    m_surface.SetSize(8, 8);
    std::vector<std::uint8_t> rgb(30, 0xEE);
    m_surface.GetColors(rgb.data(), 250, 10);
    EXPECT_EQ(rgb[15], SystemColour(255)[0]);
    EXPECT_EQ(rgb[18], 0xEE);
    std::vector<std::uint8_t> none(3, 0xEE);
    m_surface.GetColors(none.data(), 0, 0);
    m_surface.GetColors(none.data(), 5, -3);
    EXPECT_EQ(none[0], 0xEE);
}

TEST_F(Surface, GenerationMovesOnlyWhenPixelsOrColoursMayHaveChanged)
{
    m_surface.SetSize(16, 8);
    CRecordingDC dc;
    auto generation = [&] {
        m_surface.BlitTo(&dc);
        return dc.m_view.nGeneration;
    };
    std::uint64_t g = generation();
    EXPECT_EQ(generation(), g);
    const std::uint8_t cells[16] = {};
    const std::uint8_t row[4] = {};
    const auto rgb = Triples(1, 1);
    const std::function<void()> changes[] = {
        [&] { m_surface.FillRect(0, 0, 1, 1, 3); },
        [&] { m_surface.DrawCell(cells, 0, 0, 4, 0); },
        [&] { m_surface.DrawCell(cells, sizeof cells, 0, 0, 4, 0); },
        [&] { m_surface.DrawCellRect(cells, sizeof cells, 0, 0, 2, 8, 0); },
        [&] { m_surface.DrawRow(0, 0, 4, 0x10000, row); },
        [&] { m_surface.DrawRow(0, 0, 4, 0x10000, row, sizeof row); },
        [&] { m_surface.SetColors(rgb.data(), 40, 1); },
        [&] { m_surface.SetSize(20, 8); },
    };
    for (const auto& change : changes)
    {
        change();
        const std::uint64_t gNext = generation();
        EXPECT_NE(gNext, g);
        g = gNext;
    }
    m_surface.SetSize(20, 8);
    m_surface.SetColors(rgb.data(), 40, 0);
    EXPECT_EQ(generation(), g);
}

TEST_F(Surface, FailedDCCreationLeavesItEmptyAndTheNextSizeRetries)
{
    WinGGetTestHooks().bFailCreateDC = true;
    m_surface.SetSize(16, 8);
    EXPECT_EQ(m_surface.GetWidth(), 0);
    EXPECT_EQ(m_surface.GetHeight(), 0);
    EXPECT_EQ(m_surface.m_bits.bits, nullptr);
    EXPECT_EQ(m_surface.m_hDC, nullptr);
    m_surface.FillRect(0, 0, 15, 7, 1);
    m_surface.DrawRow(0, 0, 4, 0x10000, reinterpret_cast<const std::uint8_t*>("abcd"));
    CRecordingDC dc;
    EXPECT_EQ(m_surface.BlitTo(&dc), 0);
    EXPECT_EQ(dc.m_nBlits, 0);

    WinGGetTestHooks().bFailCreateDC = false;
    m_surface.SetSize(16, 8);
    EXPECT_EQ(m_surface.GetWidth(), 16);
    EXPECT_NE(m_surface.m_bits.bits, nullptr);
    ExpectIdentityPalette();
}

TEST_F(Surface, FailedBitmapCreationLeavesItEmptyAndTheNextSizeRetries)
{
    // On the first creation, and on a resize of a live surface.
    for (bool bFirst : {true, false})
    {
        CWinGSurface surface;
        if (!bFirst)
        {
            surface.SetSize(8, 8);
            surface.FillRect(0, 0, 7, 7, 5);
        }
        WinGGetTestHooks().bFailCreateBitmap = true;
        surface.SetSize(16, 8);
        EXPECT_EQ(surface.GetWidth(), 0);
        EXPECT_EQ(surface.GetHeight(), 0);
        EXPECT_EQ(surface.m_bits.bits, nullptr);
        surface.FillRect(0, 0, 15, 7, 1);
        CRecordingDC dc;
        EXPECT_EQ(surface.BlitTo(&dc), 0);
        EXPECT_EQ(dc.m_nBlits, 0);

        WinGGetTestHooks().bFailCreateBitmap = false;
        surface.SetSize(16, 8);
        ASSERT_EQ(surface.GetWidth(), 16);
        surface.FillRect(0, 0, 15, 7, 2);
        EXPECT_NE(surface.BlitTo(&dc), 0);
        EXPECT_EQ(dc.Shown(15, 7), 2);
        surface.Destroy();
    }
}

TEST_F(Surface, NonPositiveSizesAreIgnored)
{
    m_surface.SetSize(8, 4);
    m_surface.SetSize(0, 4);
    m_surface.SetSize(8, -4);
    m_surface.SetSize(-8, 4);
    EXPECT_EQ(m_surface.GetWidth(), 8);
    EXPECT_EQ(m_surface.GetHeight(), 4);
    EXPECT_EQ(m_surface.m_bmiHeader.biHeight, 4);
}

TEST_F(Surface, DestroyReleasesEverythingAndLeavesNothingToDrawInto)
{
    m_surface.SetSize(8, 4);
    m_surface.Destroy();
    EXPECT_EQ(GdiLiveObjectCount(), m_nLiveBefore);
    EXPECT_EQ(m_surface.m_hDC, nullptr);
    EXPECT_EQ(m_surface.GetPalette(), nullptr);
    m_surface.FillRect(0, 0, 7, 3, 1);   // must not write into the freed bitmap
    m_surface.Destroy();
}

TEST(Gdi, StaleAndForeignHandlesAreRefused)
{
    const std::size_t nLive = GdiLiveObjectCount();
    LOGPALETTE log{};
    log.palVersion = 0x300;
    log.palNumEntries = 256;
    HPALETTE hPalette = CreatePalette(&log);
    EXPECT_EQ(DeleteObject(hPalette), 1);
    EXPECT_EQ(DeleteObject(hPalette), 0);
    EXPECT_EQ(DeleteObject(nullptr), 0);

    HDC hdc = WinGCreateDC();
    std::vector<std::uint8_t> block(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* pHeader = reinterpret_cast<BITMAPINFOHEADER*>(block.data());
    ASSERT_NE(WinGRecommendDIBFormat(pHeader), 0);
    pHeader->biWidth = 6;   // rows padded to 8 bytes
    pHeader->biHeight = 3;
    void* pBits = nullptr;
    HBITMAP hBitmap = WinGCreateBitmap(hdc, pHeader, &pBits);
    ASSERT_NE(hBitmap, nullptr);
    HGDIOBJ hStock = SelectObject(hdc, hBitmap);
    EXPECT_EQ(DeleteObject(hBitmap), 0) << "a selected bitmap stays";
    EXPECT_EQ(DeleteObject(hStock), 0) << "the DC's own bitmap stays";
    DibView view;
    ASSERT_TRUE(WinGGetDibView(hdc, &view));
    EXPECT_EQ(view.nWidth, 8);
    EXPECT_EQ(SelectObject(hdc, hStock), hBitmap);
    EXPECT_EQ(DeleteObject(hBitmap), 1);
    EXPECT_EQ(DeleteDC(hdc), 1);

    CRecordingDC dc;
    EXPECT_EQ(DeleteDC(&dc), 0);
    EXPECT_EQ(WinGBitBlt(&dc, 0, 0, 1, 1, nullptr, 0, 0), 0);
    EXPECT_EQ(GdiLiveObjectCount(), nLive);
}

} // namespace
