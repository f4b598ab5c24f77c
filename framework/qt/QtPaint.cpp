// The paint path: window DCs, the colour expansion and the cache of the expanded pixels.

#include "framework/qt/AfxPaint.h"
#include "framework/qt/QtPrivate.h"

#include <QPainter>

#include <algorithm>

namespace
{
void ExpandRows(const DibView& src, std::uint32_t* pDest, std::ptrdiff_t nDestStride)
{
    std::uint32_t lut[256];
    for (int i = 0; i < 256; ++i)
    {
        const RGBQUAD& q = src.pColors[i];
        lut[i] = 0xFF000000u | (std::uint32_t{q.rgbRed} << 16) | (std::uint32_t{q.rgbGreen} << 8) |
                 std::uint32_t{q.rgbBlue};
    }
    const std::ptrdiff_t w = src.nWidth;
    const std::ptrdiff_t h = src.nHeight;
    for (std::ptrdiff_t y = 0; y < h; ++y)
    {
        // Bottom-up memory (orientation >= 0) holds the last line shown first.
        const std::uint8_t* s = src.pBits + (src.nOrientation >= 0 ? (h - 1 - y) : y) * w;
        std::uint32_t* d = pDest + y * nDestStride;
        std::ptrdiff_t x = 0;
        for (; x + 4 <= w; x += 4)
        {
            const std::uint32_t a = lut[s[x]];
            const std::uint32_t b = lut[s[x + 1]];
            const std::uint32_t c = lut[s[x + 2]];
            const std::uint32_t e = lut[s[x + 3]];
            d[x] = a;
            d[x + 1] = b;
            d[x + 2] = c;
            d[x + 3] = e;
        }
        for (; x < w; ++x)
            d[x] = lut[s[x]];
    }
}

bool IsDrawable(const DibView& src)
{
    return src.pBits != nullptr && src.pColors != nullptr && src.nWidth > 0 && src.nHeight > 0;
}
}  // namespace

void AfxExpandDib(const DibView& src, std::uint32_t* pDest, std::ptrdiff_t nDestStride)
{
    if (!IsDrawable(src) || pDest == nullptr)
        return;
    ExpandRows(src, pDest, nDestStride);
}

void AfxExpandDibToImage(const DibView& src, QImage& image)
{
    if (!IsDrawable(src))
    {
        image = QImage();
        return;
    }
    if (image.width() != src.nWidth || image.height() != src.nHeight ||
        image.format() != QImage::Format_RGB32)
        image = QImage(src.nWidth, src.nHeight, QImage::Format_RGB32);
    if (image.isNull())
        return;  // out of memory: nothing to show
    ExpandRows(src, reinterpret_cast<std::uint32_t*>(image.bits()),
               static_cast<std::ptrdiff_t>(image.bytesPerLine() / 4));
}

// ---------------------------------------------------------------------------------------

CQtWindowDC::CQtWindowDC(CQtWindowState* pState, QWidget* pWidget) : m_pState(pState), m_pWidget(pWidget)
{
    // A widget can only be painted on during its paint event.
    if (pState != nullptr && pWidget != nullptr && pState->m_bInPaint)
        m_pPainter = new QPainter(pWidget);
}

CQtWindowDC::~CQtWindowDC()
{
    delete m_pPainter;
}

bool CQtWindowDC::BlitFrom(const DibView& src, int xDest, int yDest, int nWidth, int nHeight,
                           int xSrc, int ySrc)
{
    if (m_pPainter == nullptr || !IsDrawable(src))
        return false;

    // Clip to the source, then to the window.
    long long x0 = xSrc, y0 = ySrc, dx = xDest, dy = yDest, w = nWidth, h = nHeight;
    if (x0 < 0) { dx -= x0; w += x0; x0 = 0; }
    if (y0 < 0) { dy -= y0; h += y0; y0 = 0; }
    w = std::min<long long>(w, src.nWidth - x0);
    h = std::min<long long>(h, src.nHeight - y0);
    if (dx < 0) { x0 -= dx; w += dx; dx = 0; }
    if (dy < 0) { y0 -= dy; h += dy; dy = 0; }
    w = std::min<long long>(w, m_pWidget->width() - dx);
    h = std::min<long long>(h, m_pWidget->height() - dy);
    if (w <= 0 || h <= 0)
        return true;

    CQtWindowState& c = *m_pState;
    if (c.m_cache.isNull() || c.m_pCachedBits != src.pBits || c.m_pCachedColors != src.pColors ||
        c.m_nCachedGeneration != src.nGeneration || c.m_nCachedWidth != src.nWidth ||
        c.m_nCachedHeight != src.nHeight || c.m_nCachedOrientation != (src.nOrientation >= 0 ? 1 : -1))
    {
        AfxExpandDibToImage(src, c.m_cache);
        if (c.m_cache.isNull())
            return false;
        ++c.m_nConversions;
        c.m_pCachedBits = src.pBits;
        c.m_pCachedColors = src.pColors;
        c.m_nCachedGeneration = src.nGeneration;
        c.m_nCachedWidth = src.nWidth;
        c.m_nCachedHeight = src.nHeight;
        c.m_nCachedOrientation = src.nOrientation >= 0 ? 1 : -1;
    }
    m_pPainter->drawImage(QPoint(static_cast<int>(dx), static_cast<int>(dy)), c.m_cache,
                          QRect(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(w),
                                static_cast<int>(h)));
    return true;
}

void CQtWindowDC::Erase()
{
    if (m_pPainter != nullptr)
        m_pPainter->fillRect(m_pWidget->rect(), m_pWidget->palette().window());
}

CDeviceContext* AfxQtBeginPaint(CQtWindowState& state)
{
    return new CQtWindowDC(&state, state.m_pWidget.data());
}

void AfxQtEndPaint(CDeviceContext* pDC)
{
    delete pDC;
}

void AfxQtErase(CDeviceContext* pDC)
{
    if (auto* pWindowDC = dynamic_cast<CQtWindowDC*>(pDC))
        pWindowDC->Erase();
}
