#include "framework/AfxRes.h"

#include <algorithm>

namespace
{
const AFX_RESOURCES* g_pResources = nullptr;

template <class Entry>
const Entry* FindEntry(const Entry* pEntries, std::size_t nEntries, unsigned nID)
{
    if (pEntries == nullptr)
        return nullptr;
    const Entry* pEnd = pEntries + nEntries;
    const Entry* p = std::find_if(pEntries, pEnd, [nID](const Entry& e) { return e.nID == nID; });
    return p != pEnd ? p : nullptr;
}
}  // namespace

void AfxRegisterResources(const AFX_RESOURCES* pResources)
{
    g_pResources = pResources;
}

const char* AfxFindString(unsigned nID)
{
    if (g_pResources == nullptr || g_pResources->pStrings == nullptr)
        return nullptr;
    const RES_STRING_ENTRY* pBegin = g_pResources->pStrings;
    const RES_STRING_ENTRY* pEnd = pBegin + g_pResources->nStrings;
    const RES_STRING_ENTRY* p = std::lower_bound(
        pBegin, pEnd, nID, [](const RES_STRING_ENTRY& s, unsigned id) { return s.nID < id; });
    return (p != pEnd && p->nID == nID) ? p->pszText : nullptr;
}

const RES_MENUITEM* AfxFindMenu(unsigned nID, std::size_t* pCount)
{
    const RES_MENU_ENTRY* p = g_pResources != nullptr ? FindEntry(g_pResources->pMenus, g_pResources->nMenus, nID) : nullptr;
    if (pCount != nullptr)
        *pCount = p != nullptr ? p->nItems : 0;
    return p != nullptr ? p->pItems : nullptr;
}

const RES_ACCEL* AfxFindAccel(unsigned nID, std::size_t* pCount)
{
    const RES_ACCEL_ENTRY* p = g_pResources != nullptr ? FindEntry(g_pResources->pAccels, g_pResources->nAccels, nID) : nullptr;
    if (pCount != nullptr)
        *pCount = p != nullptr ? p->nAccel : 0;
    return p != nullptr ? p->pAccel : nullptr;
}

const RES_DIALOG* AfxFindDialog(unsigned nID)
{
    const RES_DIALOG_ENTRY* p = g_pResources != nullptr ? FindEntry(g_pResources->pDialogs, g_pResources->nDialogs, nID) : nullptr;
    return p != nullptr ? p->pDialog : nullptr;
}

RES_DATA AfxFindBitmap(unsigned nID)
{
    const RES_DATA_ENTRY* p = g_pResources != nullptr ? FindEntry(g_pResources->pBitmaps, g_pResources->nBitmaps, nID) : nullptr;
    return p != nullptr ? p->data : RES_DATA{};
}

RES_DATA AfxFindIcon(unsigned nID)
{
    const RES_DATA_ENTRY* p = g_pResources != nullptr ? FindEntry(g_pResources->pIcons, g_pResources->nIcons, nID) : nullptr;
    return p != nullptr ? p->data : RES_DATA{};
}

RES_DATA AfxGetHelpPage()
{
    return g_pResources != nullptr ? g_pResources->helpPage : RES_DATA{};
}

const char* AfxGetProfileName()
{
    return g_pResources != nullptr ? g_pResources->pszProfileName : nullptr;
}

const char* AfxGetHelpWindowName()
{
    return g_pResources != nullptr ? g_pResources->pszHelpWindowName : nullptr;
}

const RES_VERSIONINFO* AfxFindVersion(unsigned nID)
{
    const RES_VERSION_ENTRY* p = g_pResources != nullptr ? FindEntry(g_pResources->pVersions, g_pResources->nVersions, nID) : nullptr;
    return p != nullptr ? p->pVersion : nullptr;
}
