#include "display/GdiObjects.h"

#include "formats/SystemPalette.h"

#include <unordered_map>
#include <unordered_set>

namespace
{

// Never destroyed, so a surface that outlives static destruction can still release itself.
std::unordered_map<HGDIOBJ, GdiObject*>& LiveObjects()
{
    static auto* s_pObjects = new std::unordered_map<HGDIOBJ, GdiObject*>;
    return *s_pObjects;
}

std::unordered_set<CDeviceContext*>& LiveDCs()
{
    static auto* s_pDCs = new std::unordered_set<CDeviceContext*>;
    return *s_pDCs;
}

std::size_t g_nCreatePalette = 0;
std::uint64_t g_nGeneration = 0;

PALETTEENTRY SystemEntry(UINT i)
{
    std::uint8_t rgb[3];
    SystemPaletteEntry(i, rgb);
    return PALETTEENTRY{rgb[0], rgb[1], rgb[2], 0};
}

} // namespace

void GdiRegister(HGDIOBJ hObject, GdiObject* pObject) { LiveObjects().emplace(hObject, pObject); }

GdiObject* GdiLookup(HGDIOBJ hObject)
{
    const auto it = LiveObjects().find(hObject);
    return it == LiveObjects().end() ? nullptr : it->second;
}
void GdiRegisterDC(CDeviceContext* pDC) { LiveDCs().insert(pDC); }
bool GdiIsLiveDC(CDeviceContext* pDC) { return pDC != nullptr && LiveDCs().count(pDC) != 0; }
void GdiUnregisterDC(CDeviceContext* pDC) { LiveDCs().erase(pDC); }
std::uint64_t GdiNextGeneration() { return ++g_nGeneration; }

std::size_t GdiLiveObjectCount() { return LiveObjects().size() + LiveDCs().size(); }
std::size_t GdiCreatePaletteCount() { return g_nCreatePalette; }

HDC GetDC(HWND)
{
    auto* pDC = new CScreenDC;
    GdiRegisterDC(pDC);
    return pDC;
}

int ReleaseDC(HWND, HDC hdc)
{
    auto* pScreen = dynamic_cast<CScreenDC*>(hdc);
    if (pScreen == nullptr || !GdiIsLiveDC(pScreen))
        return 0;
    GdiUnregisterDC(pScreen);
    delete pScreen;
    return 1;
}

UINT GetSystemPaletteEntries(HDC, UINT nStart, UINT nEntries, PALETTEENTRY* pEntries)
{
    if (pEntries == nullptr || nStart >= 256)
        return 0;
    const UINT nCount = nEntries < 256 - nStart ? nEntries : 256 - nStart;
    for (UINT k = 0; k < nCount; ++k)
        pEntries[k] = SystemEntry(nStart + k);
    return nCount;
}

HPALETTE CreatePalette(const LOGPALETTE* pLogPalette)
{
    if (pLogPalette == nullptr || pLogPalette->palNumEntries == 0)
        return nullptr;
    auto* pPalette = new GdiPalette;
    pPalette->nEntries = pLogPalette->palNumEntries < 256 ? pLogPalette->palNumEntries : WORD{256};
    for (WORD i = 0; i < pPalette->nEntries; ++i)
        pPalette->entries[i] = pLogPalette->palPalEntry[i];
    GdiRegister(pPalette, pPalette);
    ++g_nCreatePalette;
    return pPalette;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ hObject)
{
    auto* pDC = dynamic_cast<CWinGDC*>(hdc);
    if (pDC == nullptr || !GdiIsLiveDC(pDC))
        return nullptr;
    GdiBitmap* pBitmap = hObject == static_cast<HGDIOBJ>(&pDC->m_stockBitmap)
                             ? &pDC->m_stockBitmap
                             : dynamic_cast<GdiBitmap*>(GdiLookup(hObject));
    if (pBitmap == nullptr)
        return nullptr;
    if (pBitmap->pSelectedIn != nullptr && pBitmap->pSelectedIn != pDC)
        return nullptr;
    GdiBitmap* pOld = pDC->m_pBitmap;
    pOld->pSelectedIn = nullptr;
    pBitmap->pSelectedIn = pDC;
    pDC->m_pBitmap = pBitmap;
    return static_cast<HGDIOBJ>(pOld);
}

BOOL DeleteObject(HGDIOBJ hObject)
{
    GdiObject* pObject = GdiLookup(hObject);
    if (pObject == nullptr)
        return 0;
    if (auto* pBitmap = dynamic_cast<GdiBitmap*>(pObject);
        pBitmap != nullptr && (pBitmap->bStock || pBitmap->pSelectedIn != nullptr))
        return 0;
    LiveObjects().erase(hObject);
    delete pObject;
    return 1;
}

BOOL DeleteDC(HDC hdc)
{
    auto* pDC = dynamic_cast<CWinGDC*>(hdc);
    if (pDC == nullptr || !GdiIsLiveDC(pDC))
        return 0;
    delete pDC;
    return 1;
}

HPALETTE SelectPalette(HDC hdc, HPALETTE hPalette, BOOL)
{
    if (hdc == nullptr)
        return nullptr;
    HPALETTE hOld = hdc->m_hSelectedPalette;
    hdc->m_hSelectedPalette = hPalette;
    return hOld;
}

UINT RealizePalette(HDC hdc)
{
    if (hdc == nullptr || GdiLookup(hdc->m_hSelectedPalette) == nullptr)
        return 0;
    return hdc->m_hSelectedPalette->nEntries;
}

CWinGDC::CWinGDC() : m_pBitmap(&m_stockBitmap)
{
    m_stockBitmap.bStock = true;
    m_stockBitmap.pSelectedIn = this;
    GdiRegisterDC(this);
}

CWinGDC::~CWinGDC()
{
    // A bitmap still selected at deletion stays alive (as with GDI) but is free again.
    if (m_pBitmap != nullptr)
        m_pBitmap->pSelectedIn = nullptr;
    GdiUnregisterDC(this);
}

bool CWinGDC::BlitFrom(const DibView&, int, int, int, int, int, int)
{
    // Nothing here ever copies into a memory DC.
    return false;
}
