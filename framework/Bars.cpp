#include "framework/AfxBars.h"
#include "framework/AfxPlatform.h"
#include "framework/AfxRes.h"

#include <algorithm>

IMPLEMENT_DYNAMIC(CControlBar, CWnd)
IMPLEMENT_DYNAMIC(CToolBar, CControlBar)
IMPLEMENT_DYNAMIC(CStatusBar, CControlBar)

namespace
{
// The bar styles share a DWORD with the window styles, in its low half.
constexpr DWORD CBRS_ALL = 0xFFFFu;

// A toolbar button's command UI: the handler's answer lands in the button.
class CToolCmdUI : public CCmdUI
{
public:
    CToolCmdUI(CToolButton& button, UINT nIndex) : m_button(button)
    {
        m_nID = button.nID;
        m_nIndex = nIndex;
    }
    void Enable(BOOL bOn = TRUE) override
    {
        CCmdUI::Enable(bOn);
        m_button.bEnabled = bOn != FALSE;
    }
    void SetCheck(int nCheck = 1) override
    {
        CCmdUI::SetCheck(nCheck);
        m_button.nCheck = nCheck != 0 ? 1 : 0;
    }

private:
    CToolButton& m_button;
};
}  // namespace

CControlBar::CControlBar() = default;

CControlBar::~CControlBar()
{
    if (m_pDockSite != nullptr)
    {
        auto& list = m_pDockSite->m_listControlBars;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        m_pDockSite = nullptr;
    }
}

BOOL CControlBar::CreateBar(CWnd* pParentWnd, DWORD dwStyle, UINT nID)
{
    auto* pFrame = dynamic_cast<CFrameWnd*>(pParentWnd);
    if (pFrame == nullptr || !pFrame->IsWindow() || IsWindow())
        return FALSE;
    m_dwBarStyle = dwStyle & CBRS_ALL;
    m_pDockSite = pFrame;
    if (!Create(nullptr, nullptr, dwStyle & ~CBRS_ALL, CRect(0, 0, 0, 0), pParentWnd, nID))
    {
        m_pDockSite = nullptr;
        return FALSE;
    }
    pFrame->m_listControlBars.push_back(this);
    return TRUE;
}

void CControlBar::SetBarStyle(DWORD dwStyle)
{
    m_dwBarStyle = dwStyle & CBRS_ALL;
}

void CControlBar::EnableDocking(DWORD dwDockStyle)
{
    m_dwDockStyle = dwDockStyle & CBRS_ALIGN_ANY;
    DockingChanged();
}

// ---------------------------------------------------------------------------------------

CToolBar::CToolBar() = default;
CToolBar::~CToolBar() = default;

BOOL CToolBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID)
{
    return CreateBar(pParentWnd, dwStyle, nID);
}

std::unique_ptr<CWndPeer> CToolBar::CreatePeer(const CREATESTRUCT& cs)
{
    return AfxGetPlatform().CreateToolBarPeer(this, cs);
}

CToolBarPeer* CToolBar::ToolBarPeer() const
{
    return static_cast<CToolBarPeer*>(m_pPeer.get());
}

BOOL CToolBar::LoadBitmap(UINT nIDResource)
{
    // Only a bitmap file will do: the images are cut from it.
    const RES_DATA data = AfxFindBitmap(nIDResource);
    if (data.pData == nullptr || data.nSize < 2 || data.pData[0] != 'B' || data.pData[1] != 'M')
        return FALSE;
    m_nIDBitmap = nIDResource;
    if (IsWindow())
        ToolBarPeer()->ButtonsChanged();
    return TRUE;
}

BOOL CToolBar::SetButtons(const UINT* lpIDArray, int nIDCount)
{
    if (!IsWindow() || nIDCount < 0 || (nIDCount > 0 && lpIDArray == nullptr))
        return FALSE;
    m_buttons.clear();
    int nImage = 0;
    for (int i = 0; i < nIDCount; ++i)
    {
        CToolButton button;
        button.nID = lpIDArray[i];
        if (button.nID != ID_SEPARATOR)
            button.iImage = nImage++;
        m_buttons.push_back(button);
    }
    ToolBarPeer()->ButtonsChanged();
    return TRUE;
}

UINT CToolBar::GetItemID(int nIndex) const
{
    return nIndex >= 0 && static_cast<std::size_t>(nIndex) < m_buttons.size()
               ? m_buttons[static_cast<std::size_t>(nIndex)].nID
               : 0;
}

void CToolBar::UpdateButtons(CCmdTarget* pTarget)
{
    for (std::size_t i = 0; i < m_buttons.size(); ++i)
    {
        if (m_buttons[i].nID == ID_SEPARATOR)
            continue;
        CToolCmdUI cmdUI(m_buttons[i], static_cast<UINT>(i));
        cmdUI.DoUpdate(pTarget, TRUE);
    }
    if (IsWindow())
        ToolBarPeer()->ButtonStatesChanged();
}

void CToolBar::DockingChanged()
{
    if (IsWindow())
        ToolBarPeer()->DockingChanged();
}

// ---------------------------------------------------------------------------------------

CStatusBar::CStatusBar() = default;
CStatusBar::~CStatusBar() = default;

BOOL CStatusBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID)
{
    return CreateBar(pParentWnd, dwStyle, nID);
}

std::unique_ptr<CWndPeer> CStatusBar::CreatePeer(const CREATESTRUCT& cs)
{
    return AfxGetPlatform().CreateStatusBarPeer(this, cs);
}

CStatusBarPeer* CStatusBar::StatusBarPeer() const
{
    return static_cast<CStatusBarPeer*>(m_pPeer.get());
}

BOOL CStatusBar::SetIndicators(const UINT* lpIDArray, int nIDCount)
{
    if (!IsWindow() || nIDCount < 0 || (nIDCount > 0 && lpIDArray == nullptr))
        return FALSE;
    m_panes.clear();
    for (int i = 0; i < nIDCount; ++i)
    {
        CStatusPane pane;
        pane.nID = lpIDArray[i];
        if (pane.nID != ID_SEPARATOR)
            pane.strText = AfxFindString(pane.nID);
        m_panes.push_back(pane);
    }
    if (!m_panes.empty() && m_panes[0].nID == ID_SEPARATOR)
        m_panes[0].strText = m_strText;
    StatusBarPeer()->PanesChanged();
    return TRUE;
}

UINT CStatusBar::GetItemID(int nIndex) const
{
    return nIndex >= 0 && static_cast<std::size_t>(nIndex) < m_panes.size()
               ? m_panes[static_cast<std::size_t>(nIndex)].nID
               : 0;
}

BOOL CStatusBar::SetPaneText(int nIndex, LPCTSTR lpszNewText, BOOL)
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_panes.size())
        return FALSE;
    m_panes[static_cast<std::size_t>(nIndex)].strText = lpszNewText;
    if (nIndex == 0)
        m_strText = lpszNewText;
    if (IsWindow())
        StatusBarPeer()->PaneTextChanged(nIndex);
    return TRUE;
}

CString CStatusBar::GetPaneText(int nIndex) const
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_panes.size())
        return CString();
    return m_panes[static_cast<std::size_t>(nIndex)].strText;
}

void CStatusBar::SetWindowText(LPCTSTR lpszString)
{
    m_strText = lpszString;
    if (!m_panes.empty())
        SetPaneText(0, lpszString);
}

void CStatusBar::GetWindowText(CString& rString) const
{
    rString = m_strText;
}
