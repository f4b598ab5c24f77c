#include "display/WinG.h"

#include "display/GdiObjects.h"

#include <cstring>
#include <new>

namespace
{

CWinGDC* LiveWinGDC(HDC hdc)
{
    auto* pDC = dynamic_cast<CWinGDC*>(hdc);
    return pDC != nullptr && GdiIsLiveDC(pDC) ? pDC : nullptr;
}

} // namespace

WinGTestHooks& WinGGetTestHooks()
{
    static WinGTestHooks s_hooks;
    return s_hooks;
}

BOOL WinGRecommendDIBFormat(BITMAPINFOHEADER* pFormat)
{
    const WinGTestHooks& hooks = WinGGetTestHooks();
    if (pFormat == nullptr || hooks.bFailRecommend)
        return 0;
    *pFormat = BITMAPINFOHEADER{};
    pFormat->biSize = sizeof(BITMAPINFOHEADER);
    pFormat->biWidth = 1;
    pFormat->biHeight = hooks.bRecommendTopDown ? -1 : 1;
    pFormat->biPlanes = 1;
    pFormat->biBitCount = 8;
    return 1;
}

HDC WinGCreateDC()
{
    if (WinGGetTestHooks().bFailCreateDC)
        return nullptr;
    return new (std::nothrow) CWinGDC;
}

HBITMAP WinGCreateBitmap(HDC hdc, const BITMAPINFOHEADER* pHeader, void** ppBits)
{
    WinGTestHooks& hooks = WinGGetTestHooks();
    ++hooks.nCreateBitmapCalls;
    if (ppBits != nullptr)
        *ppBits = nullptr;
    if (LiveWinGDC(hdc) == nullptr || pHeader == nullptr || hooks.bFailCreateBitmap)
        return nullptr;
    const std::int64_t nWidth = pHeader->biWidth;
    const std::int64_t nHeight = pHeader->biHeight < 0 ? -std::int64_t{pHeader->biHeight} : pHeader->biHeight;
    if (pHeader->biBitCount != 8 || pHeader->biCompression != 0 || nWidth <= 0 || nHeight <= 0 ||
        nWidth >= 65536 || nHeight >= 65536)
        return nullptr;

    auto* pBitmap = new (std::nothrow) GdiBitmap;
    if (pBitmap == nullptr)
        return nullptr;
    pBitmap->nStride = static_cast<int>((nWidth + 3) & ~std::int64_t{3});
    const auto nBytes = static_cast<std::size_t>(pBitmap->nStride) * static_cast<std::size_t>(nHeight);
    pBitmap->pPixels.reset(new (std::nothrow) std::uint8_t[nBytes]());
    if (!pBitmap->pPixels)
    {
        delete pBitmap;
        return nullptr;
    }
    pBitmap->header = *pHeader;
    // The table follows the header in the caller's memory, as in a BITMAPINFO.
    std::memcpy(pBitmap->colors, reinterpret_cast<const unsigned char*>(pHeader) + sizeof(BITMAPINFOHEADER),
                sizeof(pBitmap->colors));
    pBitmap->nGeneration = GdiNextGeneration();
    GdiRegister(pBitmap, pBitmap);
    if (ppBits != nullptr)
        *ppBits = pBitmap->pPixels.get();
    return pBitmap;
}

UINT WinGSetDIBColorTable(HDC hdc, UINT nStart, UINT nEntries, const RGBQUAD* pColors)
{
    WinGTestHooks& hooks = WinGGetTestHooks();
    ++hooks.nSetColorTableCalls;
    hooks.nLastColorTableStart = nStart;
    hooks.nLastColorTableCount = nEntries;
    CWinGDC* pDC = LiveWinGDC(hdc);
    if (pDC == nullptr || pColors == nullptr || nStart >= 256 || pDC->m_pBitmap->bStock)
        return 0;
    const UINT nCount = nEntries < 256 - nStart ? nEntries : 256 - nStart;
    GdiBitmap* pBitmap = pDC->m_pBitmap;
    for (UINT k = 0; k < nCount; ++k)
        pBitmap->colors[nStart + k] = pColors[k];
    if (nCount != 0)
        pBitmap->nGeneration = GdiNextGeneration();
    return nCount;
}

bool WinGGetDibView(HDC hdc, DibView* pView)
{
    CWinGDC* pDC = LiveWinGDC(hdc);
    if (pDC == nullptr || pView == nullptr || pDC->m_pBitmap->bStock)
        return false;
    const GdiBitmap* pBitmap = pDC->m_pBitmap;
    pView->pBits = pBitmap->pPixels.get();
    pView->nWidth = pBitmap->nStride;
    pView->nHeight = pBitmap->header.biHeight < 0 ? -pBitmap->header.biHeight : pBitmap->header.biHeight;
    pView->nOrientation = pBitmap->header.biHeight < 0 ? -1 : 1;
    pView->pColors = pBitmap->colors;
    pView->nGeneration = pBitmap->nGeneration;
    return true;
}

BOOL WinGBitBlt(HDC hdcDest, int xDest, int yDest, int nWidth, int nHeight, HDC hdcSrc, int xSrc,
                int ySrc)
{
    DibView view;
    if (hdcDest == nullptr || !WinGGetDibView(hdcSrc, &view))
        return 0;
    return hdcDest->BlitFrom(view, xDest, yDest, nWidth, nHeight, xSrc, ySrc) ? 1 : 0;
}

void WinGNoteBitsChanged(HDC hdc)
{
    if (CWinGDC* pDC = LiveWinGDC(hdc); pDC != nullptr && !pDC->m_pBitmap->bStock)
        pDC->m_pBitmap->nGeneration = GdiNextGeneration();
}
