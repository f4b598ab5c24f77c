#include "framework/AfxApp.h"
#include "framework/AfxMenu.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

CString CRecentFileList::operator[](int nIndex) const
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_arrNames.size())
        return CString();
    return m_arrNames[static_cast<std::size_t>(nIndex)];
}

void CRecentFileList::Assign(const std::vector<CString>& names)
{
    m_arrNames.clear();
    for (const CString& name : names)
    {
        if (m_arrNames.size() >= m_nMaxSize)
            break;
        if (!name.IsEmpty() && std::find(m_arrNames.begin(), m_arrNames.end(), name) == m_arrNames.end())
            m_arrNames.push_back(name);
    }
}

bool CRecentFileList::Add(LPCTSTR lpszPathName)
{
    if (m_nMaxSize == 0 || lpszPathName == nullptr || *lpszPathName == '\0')
        return false;
    const CString strPath = AfxFullPath(lpszPathName);
    m_arrNames.erase(std::remove(m_arrNames.begin(), m_arrNames.end(), strPath), m_arrNames.end());
    m_arrNames.insert(m_arrNames.begin(), strPath);
    if (m_arrNames.size() > m_nMaxSize)
        m_arrNames.resize(m_nMaxSize);
    return true;
}

void CRecentFileList::Remove(int nIndex)
{
    if (nIndex >= 0 && static_cast<std::size_t>(nIndex) < m_arrNames.size())
        m_arrNames.erase(m_arrNames.begin() + nIndex);
}

CString CRecentFileList::GetMenuText(int nIndex) const
{
    const std::string path = (*this)[nIndex].Str();
    // The home folder as "~", as file managers show it.
    const char* pszHome = std::getenv("HOME");
    const std::string_view home = pszHome != nullptr ? pszHome : "";
    std::string_view shown = path;
    std::string text;
    text.append("&").append(std::to_string(nIndex + 1)).append(" ");
    if (!home.empty() && home != "/" && path.size() > home.size() && shown.substr(0, home.size()) == home &&
        path[home.size()] == '/')
    {
        text.append("~");
        shown.remove_prefix(home.size());
    }
    for (char ch : shown)
    {
        if (ch == '&')
            text += '&';  // a literal "&", not a mnemonic
        text += ch;
    }
    return CString(std::move(text));
}

void CRecentFileList::UpdateMenu(CCmdUI* pCmdUI) const
{
    CMenuPopup* pMenu = pCmdUI->m_pMenu;
    if (pMenu == nullptr)
    {
        pCmdUI->Enable(!m_arrNames.empty());
        return;
    }
    pCmdUI->m_bEnableChanged = TRUE;  // the place-holder's state is set here
    // The place-holder carries the first entry's command too: find the resource's item.
    auto& items = pMenu->m_items;
    const auto it = std::find_if(items.begin(), items.end(), [pCmdUI](const CMenuItem& item) {
        return !item.bSeparator && !item.bRecentFile && item.nID == pCmdUI->m_nID;
    });
    if (it == items.end())
        return;
    const auto nHolder = static_cast<std::size_t>(it - items.begin());
    CMenuItem& holder = *it;
    // The grayed place-holder shows while the list is empty.
    holder.bVisible = m_arrNames.empty();
    holder.bEnabled = FALSE;

    // The entries stand right before the place-holder. Those already there keep their items
    // (and so their keys): a mirror must not rebuild what did not change, least of all while
    // the menu is opening.
    std::size_t nFirst = nHolder;
    while (nFirst > 0 && items[nFirst - 1].bRecentFile)
        --nFirst;
    const std::size_t nHave = nHolder - nFirst;
    const std::size_t nWant = m_arrNames.size();
    if (nHave > nWant)
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(nFirst + nWant),
                    items.begin() + static_cast<std::ptrdiff_t>(nFirst + nHave));
    for (std::size_t i = 0; i < nWant; ++i)
    {
        CString strText = GetMenuText(static_cast<int>(i));
        if (i < nHave)
        {
            items[nFirst + i].strText = std::move(strText);
            continue;
        }
        CMenuItem entry;
        entry.nID = static_cast<UINT>(ID_FILE_MRU_FILE1 + i);
        entry.strText = std::move(strText);
        entry.bRecentFile = TRUE;
        pMenu->InsertItem(nFirst + i, std::move(entry));
    }
}
