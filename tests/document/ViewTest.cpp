// The view's layouts, clipping and paint, seen through the surface's shown pixels.

#include "tests/document/DocHarness.h"

#include "tests/formats/SampleFiles.h"

#include <cstring>

namespace
{

constexpr std::uint8_t BG = CVellumView::BACKGROUND_INDEX;

// A paint target that records the one blit and the palette selected into it.
class CRecordingDC : public CDeviceContext
{
public:
    bool BlitFrom(const DibView& src, int xDest, int yDest, int nWidth, int nHeight, int xSrc, int ySrc) override
    {
        ++m_nBlits;
        m_src = src;
        m_rect = {xDest, yDest, nWidth, nHeight, xSrc, ySrc};
        m_hPaletteAtBlit = m_hSelectedPalette;
        return true;
    }
    int m_nBlits = 0;
    DibView m_src;
    struct
    {
        int xDest, yDest, nWidth, nHeight, xSrc, ySrc;
    } m_rect{};
    HPALETTE m_hPaletteAtBlit = nullptr;
};

// Fills a sheet record directly: glyph g, row r (top first), column c as SampleGlyphPixel.
void FillSheet(CBfntData& bfnt, int nWidth, int nHeight, int nFirst, int nLast)
{
    bfnt.m_header = SampleBfntHeader(nWidth, nHeight, nFirst, nLast, BFNT_PALETTE | BFNT_COLORS_256, 0);
    const auto nCount = static_cast<std::size_t>(nLast - nFirst + 1);
    const auto nGlyph = static_cast<std::size_t>(nWidth * nHeight);
    bfnt.m_nGlyphsSize = nCount * nGlyph;
    bfnt.m_pGlyphs = std::make_unique<std::uint8_t[]>(bfnt.m_nGlyphsSize);
    for (std::size_t g = 0; g < nCount; ++g)
        for (int r = 0; r < nHeight; ++r)
            for (int c = 0; c < nWidth; ++c)
                bfnt.m_pGlyphs[g * nGlyph + static_cast<std::size_t>(r * nWidth + c)] = SampleGlyphPixel(g, static_cast<std::uint64_t>(r), static_cast<std::uint64_t>(c));
    bfnt.m_nRowOrder = 0;
}

}  // namespace

class ViewTest : public DocTest
{
protected:
    // Glyph g drawn with its top-left corner at (x0, y0), w x h.
    void ExpectGlyphAt(int g, int x0, int y0, int w, int h)
    {
        const int nWidth = m_pView->m_surface.GetWidth();
        const int nHeight = m_pView->m_surface.GetHeight();
        for (int r = 0; r < h && y0 + r < nHeight; ++r)
            for (int c = 0; c < w && x0 + c < nWidth; ++c)
                ASSERT_EQ(ShownPixel(*m_pView, x0 + c, y0 + r),
                          SampleGlyphPixel(static_cast<std::uint64_t>(g), static_cast<std::uint64_t>(r),
                                           static_cast<std::uint64_t>(c)))
                    << "glyph " << g << " at " << c << "," << r;
    }
    int CountBackground()
    {
        const Bytes pixels = ShownPixels(*m_pView);
        return static_cast<int>(std::count(pixels.begin(), pixels.end(), BG));
    }
};

TEST_F(ViewTest, NothingLoadedShowsTheBackground)
{
    EXPECT_EQ(m_pView->m_surface.GetWidth(), 256);
    EXPECT_EQ(CountBackground(), 256 * 256);
}

TEST_F(ViewTest, WidthRoundsUpToFourAndEmptySizesKeepTheSurface)
{
    struct Case
    {
        int cx, cy, nWidth, nHeight;
    };
    const Case cases[] = {{1, 7, 4, 7}, {2, 7, 4, 7}, {3, 1, 4, 1}, {4, 9, 4, 9}, {257, 20, 260, 20}, {640, 480, 640, 480}};
    for (const Case& c : cases)
    {
        Resize(c.cx, c.cy);
        EXPECT_EQ(m_pView->m_surface.GetWidth(), c.nWidth) << c.cx;
        EXPECT_EQ(m_pView->m_surface.GetHeight(), c.nHeight) << c.cy;
    }
    ASSERT_TRUE(Open(Put("a.bmp", MakeSampleBmp(64, 64))));
    const Bytes pixels = ShownPixels(*m_pView);
    Resize(0, 0);
    Resize(0, 300);
    Resize(300, 0);
    EXPECT_EQ(m_pView->m_surface.GetWidth(), 640);
    EXPECT_EQ(ShownPixels(*m_pView), pixels);
}

// Cells fill a strip 256 pixels wide from the left; a cell that starts left of 256 is drawn
// whole, and the next row begins one cell height down.
TEST_F(ViewTest, SquareCellsLayOutOnTheStrip)
{
    struct Placed
    {
        int g, x, y;
    };
    struct Case
    {
        int n, nFirst, nLast, cx, cy;
        std::vector<Placed> placed;
        int nDrawn;  // pixels not left as background
    };
    const Case cases[] = {
        {16, 0, 255, 300, 300, {{0, 0, 0}, {15, 240, 0}, {16, 0, 16}, {255, 240, 240}}, 256 * 256},
        {8, 32, 127, 256, 256, {{0, 0, 0}, {31, 248, 0}, {32, 0, 8}, {95, 248, 16}}, 96 * 64},
        {24, 0, 12, 300, 100, {{10, 240, 0}, {11, 0, 24}, {12, 24, 24}}, 13 * 24 * 24},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.n) + "x" + std::to_string(c.n));
        Resize(c.cx, c.cy);
        ASSERT_TRUE(Open(Put("sheet.fnt", MakeSampleBfnt(c.n, c.n, c.nFirst, c.nLast))));
        for (const Placed& p : c.placed)
            ExpectGlyphAt(p.g, p.x, p.y, c.n, c.n);
        EXPECT_EQ(CountBackground(), c.cx * c.cy - c.nDrawn);
    }
}

TEST_F(ViewTest, NonSquareCellsAreDrawnGlyphByGlyph)
{
    struct Case
    {
        int w, h;
    };
    for (const Case c : {Case{8, 12}, Case{12, 8}, Case{40, 3}, Case{3, 40}})
    {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        ASSERT_TRUE(Open(Put("ns.fnt", MakeSampleBfnt(c.w, c.h, 0, 40))));
        const int nPerRow = (256 + c.w - 1) / c.w;
        for (int g = 0; g <= 40; ++g)
            ExpectGlyphAt(g, (g % nPerRow) * c.w, (g / nPerRow) * c.h, c.w, c.h);
        const int nRows = (41 + nPerRow - 1) / nPerRow;
        if (nRows * c.h < 256)
        {
            EXPECT_EQ(ShownPixel(*m_pView, 0, nRows * c.h), BG);
        }
    }
}

TEST_F(ViewTest, TopDownSurfaceDrawsTheSameLayout)
{
    // A fresh view whose surface is created top-down.
    TearDown();
    WinGGetTestHooks().bRecommendTopDown = true;
    SetUp();
    WinGGetTestHooks().bRecommendTopDown = false;
    ASSERT_LT(m_pView->m_surface.m_bits.orientation, 0);
    ASSERT_TRUE(Open(Put("s.fnt", MakeSampleBfnt(16, 16, 0, 20))));
    EXPECT_EQ(m_pView->m_bfntData.m_nRowOrder, 0);
    ExpectGlyphAt(0, 0, 0, 16, 16);
    ExpectGlyphAt(17, 16, 16, 16, 16);
    ASSERT_TRUE(Open(Put("i.bmp", MakeSampleBmp(20, 10))));
    EXPECT_EQ(ShownPixel(*m_pView, 3, 0), SamplePixel(3, 0));
    EXPECT_EQ(ShownPixel(*m_pView, 19, 9), SamplePixel(19, 9));
}

TEST_F(ViewTest, SheetSavedAsSheetShowsTheRightWayUpAfterAResize)
{
    ASSERT_TRUE(Open(Put("s.fnt", MakeSampleBfnt(16, 16, 0, 20))));
    EXPECT_EQ(m_pView->m_bfntData.m_nRowOrder, 1);
    ASSERT_TRUE(SaveAs(Path("t.fnt")));
    EXPECT_EQ(m_pView->m_bfntData.m_nRowOrder, 0);
    Resize(260, 256);
    ExpectGlyphAt(0, 0, 0, 16, 16);
    ExpectGlyphAt(20, 64, 16, 16, 16);
}

TEST_F(ViewTest, ImagesAreClippedAndShowMoreWhenEnlarged)
{
    Resize(40, 20);
    ASSERT_TRUE(Open(Put("big.tim", MakeSampleTim(50, 60))));
    EXPECT_EQ(ShownPixel(*m_pView, 39, 19), SamplePixel(39, 19));
    Resize(200, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(ShownPixel(*m_pView, x, y), x < 100 && y < 60 ? SamplePixel(static_cast<std::uint64_t>(x), static_cast<std::uint64_t>(y)) : BG)
                << x << "," << y;
}

TEST_F(ViewTest, LoadingAnotherKindReplacesThePicture)
{
    ASSERT_TRUE(Open(Put("big.bmp", MakeSampleBmp(256, 256))));
    EXPECT_EQ(CountBackground(), 0);
    ASSERT_TRUE(Open(Put("small.tim", MakeSampleTim(4, 4))));
    EXPECT_EQ(CountBackground(), 256 * 256 - 8 * 4);
}

TEST_F(ViewTest, TopDownBmpIsShownTopRowFirst)
{
    Bytes file = MakeSampleBmp(16, 8);
    // The same pixels stored top row first, as a negative height says.
    const Bytes image = SampleImage(16, 8);
    PutLe32(file.data() + 22, static_cast<std::uint32_t>(-8));
    std::memcpy(file.data() + 1078, image.data(), image.size());
    ASSERT_TRUE(Open(Put("td.bmp", file)));
    // The reader keeps such images in the usual bottom-up header form.
    EXPECT_EQ(m_pFrame->m_strStatus, "size:16x8");
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(ShownPixel(*m_pView, x, y), SamplePixel(static_cast<std::uint64_t>(x), static_cast<std::uint64_t>(y)));
}

// Records whose headers promise more than their buffers hold draw what the buffer has and
// nothing beyond it; empty ranges draw nothing. The sanitizer build checks the reads.
TEST_F(ViewTest, MismatchedRecordsNeverReadPastTheirBuffers)
{
    m_pDoc->m_nDataType = DATA_BFNT;
    FillSheet(m_pView->m_bfntData, 16, 16, 0, 3);
    m_pView->m_bfntData.m_header.lastCode = 200;  // 197 glyphs more than the buffer has
    m_pView->RenderData();
    EXPECT_EQ(CountBackground(), 256 * 256 - 4 * 256);

    FillSheet(m_pView->m_bfntData, 16, 16, 10, 12);
    m_pView->m_bfntData.m_header.lastCode = 9;  // below firstCode
    m_pView->RenderData();
    EXPECT_EQ(CountBackground(), 256 * 256);

    FillSheet(m_pView->m_bfntData, 16, 8, 0, 3);
    m_pView->m_bfntData.m_header.glyphHeight = 64;  // taller cells than stored
    m_pView->RenderData();
    EXPECT_EQ(CountBackground(), 256 * 256);

    m_pDoc->m_nDataType = DATA_BMP;
    const Bytes image = SampleImage(32, 32);
    CBmpData& bmp = m_pView->m_bmpData;
    bmp.m_infoHeader.biWidth = 32;
    bmp.m_infoHeader.biHeight = 32;
    bmp.m_nBitsSize = 32 * 10 + 5;  // ten whole rows and a bit
    bmp.m_pBits = std::make_unique<std::uint8_t[]>(bmp.m_nBitsSize);
    std::memcpy(bmp.m_pBits.get(), image.data(), bmp.m_nBitsSize);
    m_pView->RenderData();
    EXPECT_EQ(ShownPixel(*m_pView, 31, 9), SamplePixel(31, 9));
    EXPECT_EQ(ShownPixel(*m_pView, 4, 10), SamplePixel(4, 10));
    EXPECT_EQ(ShownPixel(*m_pView, 5, 10), BG);
    for (const std::int32_t nHeight : {0, std::numeric_limits<std::int32_t>::min()})
    {
        bmp.m_infoHeader.biHeight = nHeight;
        m_pView->RenderData();
        EXPECT_EQ(CountBackground(), 256 * 256) << nHeight;
    }
    bmp.m_infoHeader.biHeight = 32;
    bmp.m_infoHeader.biWidth = std::numeric_limits<std::int32_t>::max();
    m_pView->RenderData();
    bmp.m_pBits.reset();
    m_pView->RenderData();
    EXPECT_EQ(CountBackground(), 256 * 256);

    m_pDoc->m_nDataType = DATA_TIM;
    CTimData& tim = m_pView->m_timData;
    tim.m_imageWidth = 0xFFFF;
    tim.m_imageHeight = 0xFFFF;
    tim.m_nPixelsSize = 1000;
    tim.m_pPixels = std::make_unique<std::uint8_t[]>(tim.m_nPixelsSize);
    std::memset(tim.m_pPixels.get(), 42, tim.m_nPixelsSize);
    m_pView->RenderData();
    EXPECT_EQ(ShownPixel(*m_pView, 255, 0), 42);
    EXPECT_EQ(ShownPixel(*m_pView, 0, 1), BG);
}

TEST_F(ViewTest, PaintSelectsThePaletteAndBlitsTheWholeSurfaceOnce)
{
    ASSERT_TRUE(Open(Put("a.bmp", MakeSampleBmp(30, 30))));
    CRecordingDC target;
    CDC dc;
    dc.m_hDC = &target;
    m_pView->OnDraw(&dc);
    EXPECT_EQ(target.m_nBlits, 1);
    EXPECT_EQ(target.m_hPaletteAtBlit, m_pView->m_surface.GetPalette());
    EXPECT_EQ(target.m_hSelectedPalette, m_pView->m_surface.GetPalette());
    EXPECT_EQ(target.m_rect.xDest, 0);
    EXPECT_EQ(target.m_rect.yDest, 0);
    EXPECT_EQ(target.m_rect.nWidth, 256);
    EXPECT_EQ(target.m_rect.nHeight, 256);
    EXPECT_EQ(target.m_src.pBits, m_pView->m_surface.m_bits.bits);

    // Erasing is refused so the blit alone covers the window.
    EXPECT_TRUE(m_pView->OnEraseBkgnd(&dc));
}
