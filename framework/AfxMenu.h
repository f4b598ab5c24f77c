#pragma once
// Menus as state: the frame's menu bar built from a menu resource, each item with its
// command, text and flags, and the command UI that update handlers change items through.
// A backend mirrors the state into its own menus.

#include "framework/AfxCore.h"
#include "framework/AfxRes.h"
#include "framework/AfxString.h"

#include <cstdint>
#include <vector>

struct CMenuItem
{
    UINT nID = 0;            // command id; 0 for separators
    CString strText;         // as in the resource: "&Open...\tCtrl+O"
    BOOL bSeparator = FALSE;
    BOOL bEnabled = TRUE;
    BOOL bGrayed = FALSE;    // grayed in the resource: stays so unless a handler enables it
    int nCheck = -1;         // -1: not checkable; else 0 or 1
    BOOL bVisible = TRUE;
    BOOL bRecentFile = FALSE;  // an entry of the recent-file list, not from the resource
    std::uint64_t nKey = 0;  // stays the same while the item exists, for mirrors
};

class CMenuPopup
{
public:
    CString m_strTitle;
    std::vector<CMenuItem> m_items;

    // Index of the first item with the command, or -1.
    int FindItem(UINT nID) const;
    void InsertItem(std::size_t nBefore, CMenuItem item);
};

// The pop-ups of menu resource nID, in order; empty when there is none.
std::vector<CMenuPopup> AfxLoadMenu(UINT nID);

// The command UI of a menu item: the handler's answer lands in the item.
class CMenuCmdUI : public CCmdUI
{
public:
    CMenuCmdUI(CMenuPopup* pMenu, UINT nIndex);
    void Enable(BOOL bOn = TRUE) override;
    void SetCheck(int nCheck = 1) override;
    void SetText(LPCTSTR lpszText) override;

private:
    CMenuItem& Item() const;
};
