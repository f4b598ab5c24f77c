#include "framework/AfxMenu.h"

#include <atomic>

namespace
{
std::uint64_t NextKey()
{
    static std::atomic<std::uint64_t> s_nKey{0};
    return ++s_nKey;
}
}  // namespace

int CMenuPopup::FindItem(UINT nID) const
{
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (!m_items[i].bSeparator && m_items[i].nID == nID)
            return static_cast<int>(i);
    return -1;
}

void CMenuPopup::InsertItem(std::size_t nBefore, CMenuItem item)
{
    item.nKey = NextKey();
    if (nBefore > m_items.size())
        nBefore = m_items.size();
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(nBefore), std::move(item));
}

std::vector<CMenuPopup> AfxLoadMenu(UINT nID)
{
    std::vector<CMenuPopup> menus;
    std::size_t nCount = 0;
    const RES_MENUITEM* pItems = AfxFindMenu(nID, &nCount);
    for (std::size_t i = 0; pItems != nullptr && i < nCount; ++i)
    {
        const RES_MENUITEM& res = pItems[i];
        if (res.nLevel == 0)
        {
            menus.emplace_back();
            menus.back().m_strTitle = res.pszText;
            continue;
        }
        if (menus.empty())
            continue;
        CMenuItem item;
        if ((res.nFlags & RES_MF_SEPARATOR) || res.pszText == nullptr)
            item.bSeparator = TRUE;
        else
        {
            item.nID = res.nID;
            item.strText = res.pszText;
            item.bGrayed = (res.nFlags & RES_MF_GRAYED) != 0;
            item.bEnabled = !item.bGrayed;
        }
        menus.back().InsertItem(menus.back().m_items.size(), std::move(item));
    }
    return menus;
}

CMenuCmdUI::CMenuCmdUI(CMenuPopup* pMenu, UINT nIndex)
{
    m_pMenu = pMenu;
    m_nIndex = nIndex;
    m_nID = Item().nID;
}

CMenuItem& CMenuCmdUI::Item() const
{
    return m_pMenu->m_items[m_nIndex];
}

void CMenuCmdUI::Enable(BOOL bOn)
{
    CCmdUI::Enable(bOn);
    Item().bEnabled = bOn != FALSE;
}

void CMenuCmdUI::SetCheck(int nCheck)
{
    CCmdUI::SetCheck(nCheck);
    Item().nCheck = nCheck != 0 ? 1 : 0;
}

void CMenuCmdUI::SetText(LPCTSTR lpszText)
{
    Item().strText = lpszText;
}
