#pragma once
// Control bars as state: the toolbar's buttons and the status bar's panes. A backend shows
// them; tooltips and prompts come from the string table.

#include "framework/AfxWnd.h"

#include <vector>

class CToolBarPeer;
class CStatusBarPeer;

class CControlBar : public CWnd
{
    DECLARE_DYNAMIC(CControlBar)
public:
    CControlBar();
    ~CControlBar() override;

    // The bar's style (CBRS_*): CBRS_TOOLTIPS shows tooltips, CBRS_FLYBY the prompts while
    // the pointer rests on a button, CBRS_ALIGN_* the side it starts on.
    DWORD GetBarStyle() const { return m_dwBarStyle; }
    void SetBarStyle(DWORD dwStyle);
    // The sides (CBRS_ALIGN_*) the bar may dock on; 0 keeps it fixed where it is.
    void EnableDocking(DWORD dwDockStyle);
    DWORD GetDockStyle() const { return m_dwDockStyle; }
    CFrameWnd* GetDockingFrame() const { return m_pDockSite; }

protected:
    // Creates the bar as a child of the frame, which then shows, hides and routes for it.
    BOOL CreateBar(CWnd* pParentWnd, DWORD dwStyle, UINT nID);
    virtual void DockingChanged() {}

    CFrameWnd* m_pDockSite = nullptr;
    DWORD m_dwBarStyle = 0;
    DWORD m_dwDockStyle = 0;
    friend class CFrameWnd;
};

struct CToolButton
{
    UINT nID = 0;       // ID_SEPARATOR for a gap
    int iImage = -1;    // the image of the bitmap, counted from 0; -1 for gaps
    BOOL bEnabled = TRUE;
    int nCheck = -1;    // -1: not checkable
};

class CToolBar : public CControlBar
{
    DECLARE_DYNAMIC(CToolBar)
public:
    CToolBar();
    ~CToolBar() override;

    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_TOP,
                UINT nID = AFX_IDW_TOOLBAR);
    // The button images: bitmap resource nIDResource, 16 x 15 images side by side.
    BOOL LoadBitmap(UINT nIDResource);
    UINT GetBitmapID() const { return m_nIDBitmap; }
    // One button per id, taking the images in order; ID_SEPARATOR makes a gap.
    BOOL SetButtons(const UINT* lpIDArray, int nIDCount);
    UINT GetItemID(int nIndex) const;
    const std::vector<CToolButton>& GetButtons() const { return m_buttons; }
    // Runs the update handlers of the buttons through pTarget's routing.
    void UpdateButtons(CCmdTarget* pTarget);

protected:
    std::unique_ptr<CWndPeer> CreatePeer(const CREATESTRUCT& cs) override;
    void DockingChanged() override;
    CToolBarPeer* ToolBarPeer() const;

    std::vector<CToolButton> m_buttons;
    UINT m_nIDBitmap = 0;
};

struct CStatusPane
{
    UINT nID = 0;       // ID_SEPARATOR for the stretching message pane
    CString strText;
};

class CStatusBar : public CControlBar
{
    DECLARE_DYNAMIC(CStatusBar)
public:
    CStatusBar();
    ~CStatusBar() override;

    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
                UINT nID = AFX_IDW_STATUS_BAR);
    // Pane per id: ID_SEPARATOR is the stretching message pane, other ids show their string
    // (greyed: the platform does not tell the states they indicate).
    BOOL SetIndicators(const UINT* lpIDArray, int nIDCount);
    UINT GetItemID(int nIndex) const;
    BOOL SetPaneText(int nIndex, LPCTSTR lpszNewText, BOOL bUpdate = TRUE);
    CString GetPaneText(int nIndex) const;
    const std::vector<CStatusPane>& GetPanes() const { return m_panes; }
    // The window text is the text of pane 0.
    void SetWindowText(LPCTSTR lpszString) override;
    void GetWindowText(CString& rString) const override;
    using CWnd::GetWindowText;

protected:
    std::unique_ptr<CWndPeer> CreatePeer(const CREATESTRUCT& cs) override;
    CStatusBarPeer* StatusBarPeer() const;

    std::vector<CStatusPane> m_panes;
};
