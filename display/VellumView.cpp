// Layout and paint. Every drawing call is bounded by the size of the buffer the record
// really holds, so a header that promises more than the buffer has draws less, never
// reads past it.

#include "VellumView.h"

#include "VellumDoc.h"

#include <algorithm>

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
    switch (pDoc != nullptr ? pDoc->m_nDataType : DATA_NONE)
    {
    case DATA_BFNT: RenderBfnt(); break;
    case DATA_BMP: RenderBmp(); break;
    case DATA_TIM: RenderTim(); break;
    default: break;
    }
}

void CVellumView::RenderBfnt()
{
    // DrawCell wants cell rows in the surface's memory order.
    if (m_surface.m_bits.orientation >= 0)
        m_bfntData.SetBfntRowOrder(1);

    const BfntHeader& h = m_bfntData.m_header;
    const std::int32_t nWidth = h.glyphWidth;
    const std::int32_t nHeight = h.glyphHeight;
    const std::int32_t nLast = std::int32_t{h.lastCode} - std::int32_t{h.firstCode};
    const std::uint8_t* pGlyphs = m_bfntData.m_pGlyphs.get();
    const std::size_t nSize = pGlyphs != nullptr ? m_bfntData.m_nGlyphsSize : 0;
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

void CVellumView::RenderBmp()
{
    const std::int32_t nWidth = m_bmpData.m_infoHeader.biWidth;
    if (nWidth <= 0 || !m_bmpData.m_pBits)
        return;
    const std::int32_t nRows = std::min(m_bmpData.m_infoHeader.biHeight, m_surface.GetHeight());
    const std::uint8_t* pBits = m_bmpData.m_pBits.get();
    const std::size_t nSize = m_bmpData.m_nBitsSize;
    const auto nRowBytes = static_cast<std::size_t>(nWidth);
    std::size_t nOffset = 0;
    for (std::int32_t r = 0; r < nRows && nOffset < nSize; ++r, nOffset += nRowBytes)
        m_surface.DrawRow(0, r, nWidth, 0x10000, pBits + nOffset, nSize - nOffset);
}

void CVellumView::RenderTim()
{
    // The width field counts 16-bit units of two pixels each.
    const std::int32_t nWidth = 2 * std::int32_t{m_timData.m_imageWidth};
    if (nWidth == 0 || !m_timData.m_pPixels)
        return;
    const std::int32_t nRows = std::min(std::int32_t{m_timData.m_imageHeight}, m_surface.GetHeight());
    const std::uint8_t* pPixels = m_timData.m_pPixels.get();
    const std::size_t nSize = m_timData.m_nPixelsSize;
    const auto nRowBytes = static_cast<std::size_t>(nWidth);
    std::size_t nOffset = 0;
    for (std::int32_t r = 0; r < nRows && nOffset < nSize; ++r, nOffset += nRowBytes)
        m_surface.DrawRow(0, r, nWidth, 0x10000, pPixels + nOffset, nSize - nOffset);
}
