#pragma once
// Stand-ins for the offscreen-bitmap library: an 8-bit DIB selected into a memory DC,
// its colour table, and the unscaled copy to another DC.

#include "display/WinGdi.h"

#include <cstdint>

// Fills a header with the preferred 8-bit format; biHeight is 1 (bottom-up) or -1
// (top-down). Non-zero on success.
BOOL WinGRecommendDIBFormat(BITMAPINFOHEADER* pFormat);

HDC WinGCreateDC();

// pHeader must be followed directly by its 256-entry colour table. Rows are padded to
// 4 bytes; the pixel pointer goes to *ppBits. Null (and *ppBits null) on failure,
// including sizes of 65536 or more in either direction.
HBITMAP WinGCreateBitmap(HDC hdc, const BITMAPINFOHEADER* pHeader, void** ppBits);

// Sets entries nStart onwards of the colour table of the bitmap selected into hdc;
// returns how many were set.
UINT WinGSetDIBColorTable(HDC hdc, UINT nStart, UINT nEntries, const RGBQUAD* pColors);

BOOL WinGBitBlt(HDC hdcDest, int xDest, int yDest, int nWidth, int nHeight, HDC hdcSrc, int xSrc,
                int ySrc);

// Tells the blit that the pixels of the bitmap selected into hdc may have changed, so a
// window that caches its converted copy takes a fresh one.
void WinGNoteBitsChanged(HDC hdc);

// The bitmap selected into a WinG DC as a blit sees it; false when there is none.
bool WinGGetDibView(HDC hdc, DibView* pView);

// Test hooks and counters; all false/zero in normal use.
struct WinGTestHooks
{
    bool bFailRecommend = false;
    bool bRecommendTopDown = false;
    bool bFailCreateDC = false;
    bool bFailCreateBitmap = false;

    int nCreateBitmapCalls = 0;
    int nSetColorTableCalls = 0;
    UINT nLastColorTableStart = 0;
    UINT nLastColorTableCount = 0;
};
WinGTestHooks& WinGGetTestHooks();
