// Layout and paint. Every drawing call is bounded by the size of the buffer the record
// really holds, so a header that promises more than the buffer has draws less, never
// reads past it.

#include "document/VellumView.h"

#include "document/VellumDoc.h"

#include <algorithm>
#include <cstdint>
#include <limits>

IMPLEMENT_DYNCREATE(CVellumView, CView)

BEGIN_MESSAGE_MAP(CVellumView, CView)
    ON_WM_SIZE()
    ON_WM_CREATE()
    ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CVellumView::CVellumView() = default;

CVellumView::~CVellumView() = default;

CVellumDoc* CVellumView::GetDocument() const
{
    // The template pairs this view only with CVellumDoc.
    return static_cast<CVellumDoc*>(m_pDocument);
}

int CVellumView::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    if (CView::OnCreate(lpCreateStruct) == -1)
        return -1;
    // The surface waits for the first non-empty size.
    return 0;
}

void CVellumView::OnSize(UINT nType, int cx, int cy)
{
    CView::OnSize(nType, cx, cy);
    // A minimised or empty view keeps its surface and picture.
    if (cx > 0 && cy > 0)
    {
        // Rows of a width divisible by 4 have no padding, which the raster routines assume.
        m_surface.SetSize(static_cast<std::int32_t>((static_cast<unsigned>(cx) + 3u) & ~3u), cy);
        RenderData();
    }
}

BOOL CVellumView::OnEraseBkgnd(CDC*)
{
    // The blit covers the window; erasing first would only flicker.
    return TRUE;
}

void CVellumView::OnDraw(CDC* pDC)
{
    HDC hdc = pDC->GetSafeHdc();
    SelectPalette(hdc, m_surface.GetPalette(), FALSE);
    RealizePalette(hdc);
    m_surface.BlitTo(hdc);
}

void CVellumView::RenderData()
{
    m_surface.FillRect(0, 0, m_surface.GetWidth() - 1, m_surface.GetHeight() - 1,
                       static_cast<std::uint8_t>(BACKGROUND_INDEX));
    const CVellumDoc* pDoc = GetDocument();
    const DataKind* pKind = FindDataKind(pDoc != nullptr ? pDoc->m_nDataType : DATA_NONE);
    if (pKind == nullptr)
        return;
    const DataLayout layout = pKind->pfnLayout(Records());
    if (layout.pSheet != nullptr)
        RenderCells(*layout.pSheet);
    else
        RenderRows(layout.rows);
}

void CVellumView::RenderCells(CBfntData& sheet)
{
    // DrawCell wants cell rows in the surface's memory order.
    if (m_surface.m_bits.orientation >= 0)
        sheet.SetBfntRowOrder(1);

    const BfntHeader& h = sheet.m_header;
    const std::int32_t nWidth = h.glyphWidth;
    const std::int32_t nHeight = h.glyphHeight;
    const std::int32_t nLast = std::int32_t{h.lastCode} - std::int32_t{h.firstCode};
    const std::uint8_t* pGlyphs = sheet.m_pGlyphs.get();
    const std::size_t nSize = pGlyphs != nullptr ? sheet.m_nGlyphsSize : 0;
    const std::int64_t nSurfaceHeight = m_surface.GetHeight();

    std::int32_t x = 0;
    std::int64_t y = 0;
    // Rows only move down, so the loop may stop at the surface's bottom edge.
    for (std::int32_t i = 0; i <= nLast && y < nSurfaceHeight; ++i)
    {
        const auto yCell = static_cast<std::int32_t>(y);
        if (nWidth == nHeight)
            m_surface.DrawCell(pGlyphs, nSize, x, yCell, nWidth, i);
        else
            m_surface.DrawCellRect(pGlyphs, nSize, x, yCell, nWidth, nHeight, i);
        x += nWidth;
        if (x >= LAYOUT_WIDTH)
        {
            x = 0;
            y += nHeight;
        }
    }
}

// Image row r goes to surface row r from the top, one source pixel per surface pixel.
void CVellumView::RenderRows(const ImageRows& image)
{
    if (image.nWidth <= 0 || image.nWidth > std::numeric_limits<std::int32_t>::max() || image.pPixels == nullptr)
        return;
    const std::int64_t nRows = std::min<std::int64_t>(image.nHeight, m_surface.GetHeight());
    const auto nRowBytes = static_cast<std::size_t>(image.nWidth);
    const auto nCount = static_cast<std::int32_t>(image.nWidth);
    std::size_t nOffset = 0;
    for (std::int32_t r = 0; r < nRows && nOffset < image.nSize; ++r, nOffset += nRowBytes)
        m_surface.DrawRow(0, r, nCount, 0x10000, image.pPixels + nOffset, image.nSize - nOffset);
}
