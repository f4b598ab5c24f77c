#pragma once
// Stand-ins for the graphics calls the surface and the painter make. Bitmaps and
// palettes are plain heap objects; the window's device context is whatever
// CDeviceContext the framework layer hands in.

#include "framework/AfxTypes.h"

#include <cstddef>
#include <cstdint>

struct GdiBitmap;
struct GdiWindow;
using HGDIOBJ = void*;  // any bitmap or palette handle, as handed out
using HBITMAP = GdiBitmap*;
using HWND = GdiWindow*;

struct BITMAPINFOHEADER
{
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;          // > 0: bottom-up rows; < 0: top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct PALETTEENTRY
{
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};

struct LOGPALETTE
{
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[256];
};

enum : BYTE
{
    PC_RESERVED = 0x01,
    PC_EXPLICIT = 0x02,
    PC_NOCOLLAPSE = 0x04,
};

// The screen's DC when hWnd is null (the only use here); release it with ReleaseDC.
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hdc);

// Copies entries of the fixed system palette this platform reports; returns how many.
UINT GetSystemPaletteEntries(HDC hdc, UINT nStart, UINT nEntries, PALETTEENTRY* pEntries);

HPALETTE CreatePalette(const LOGPALETTE* pLogPalette);
// Selects a bitmap into a WinG DC; returns the bitmap it replaces, or null on failure.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ hObject);
// Fails (FALSE) for a bitmap that is still selected, a DC's own bitmap, or an unknown handle.
BOOL DeleteObject(HGDIOBJ hObject);
BOOL DeleteDC(HDC hdc);
HPALETTE SelectPalette(HDC hdc, HPALETTE hPalette, BOOL bForceBackground);
// Returns the number of entries of the selected palette; realisation maps every index to
// the system entry of the same index, so nothing else happens.
UINT RealizePalette(HDC hdc);

// For tests: live bitmaps, palettes and DCs made here, and palettes created so far.
std::size_t GdiLiveObjectCount();
std::size_t GdiCreatePaletteCount();
