#pragma once
// The objects behind the GDI and WinG handles; shared by WinGdi.cpp and WinG.cpp only.

#include "display/WinGdi.h"

#include <cstdint>
#include <memory>

struct GdiObject
{
    virtual ~GdiObject() = default;
};

class CWinGDC;

struct GdiBitmap : GdiObject
{
    BITMAPINFOHEADER header{};
    RGBQUAD colors[256]{};
    std::unique_ptr<std::uint8_t[]> pPixels;
    int nStride = 0;
    std::uint64_t nGeneration = 0;
    CWinGDC* pSelectedIn = nullptr;
    bool bStock = false;
};

struct GdiPalette : GdiObject
{
    WORD nEntries = 0;
    PALETTEENTRY entries[256]{};
};

// A memory DC holding one selected bitmap; starts with its own 1 x 1 stock bitmap.
class CWinGDC : public CDeviceContext
{
public:
    CWinGDC();
    ~CWinGDC() override;
    bool BlitFrom(const DibView& src, int xDest, int yDest, int nWidth, int nHeight, int xSrc,
                  int ySrc) override;

    GdiBitmap m_stockBitmap;
    GdiBitmap* m_pBitmap;
};

// The screen: it only answers palette questions.
class CScreenDC : public CDeviceContext
{
public:
    bool BlitFrom(const DibView&, int, int, int, int, int, int) override { return false; }
};

// Registry of what the stand-ins handed out, so stale or foreign handles are refused.
// Handles are the objects' own (most derived) addresses.
void GdiRegister(HGDIOBJ hObject, GdiObject* pObject);
GdiObject* GdiLookup(HGDIOBJ hObject);
void GdiRegisterDC(CDeviceContext* pDC);
bool GdiIsLiveDC(CDeviceContext* pDC);
void GdiUnregisterDC(CDeviceContext* pDC);
std::uint64_t GdiNextGeneration();
