#pragma once
// Control bars: the toolbar and the status bar of a frame.

#include "AfxWnd.h"

#include <vector>

class CControlBar : public CWnd
{
    DECLARE_DYNAMIC(CControlBar)
public:
    CControlBar();
    ~CControlBar() override;

    DWORD GetBarStyle() const { return m_dwStyle; }
    // CBRS_TOOLTIPS shows the tooltips, CBRS_FLYBY the prompts while the pointer rests.
    virtual void SetBarStyle(DWORD dwStyle);
    // The sides (CBRS_ALIGN_*) the bar may dock on; 0 keeps it fixed where it is.
    void EnableDocking(DWORD dwDockStyle);
    DWORD GetDockStyle() const { return m_dwDockStyle; }
    CFrameWnd* GetDockingFrame() const { return m_pDockSite; }
    int GetCount() const;

protected:
    // Registers the bar with its frame (which then shows, hides and routes for it).
    BOOL CreateBar(CWnd* pParentWnd, DWORD dwStyle, UINT nID);

    CFrameWnd* m_pDockSite = nullptr;
    DWORD m_dwDockStyle = 0;
    int m_nCount = 0;
    friend class CFrameWnd;
};

class CToolBar : public CControlBar
{
    DECLARE_DYNAMIC(CToolBar)
public:
    CToolBar();
    ~CToolBar() override;

    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_TOP,
                UINT nID = AFX_IDW_TOOLBAR);
    // The button images: a bitmap resource of 16x15 images side by side; light grey
    // (192, 192, 192) shows as the bar's face.
    BOOL LoadBitmap(UINT nIDResource);
    // One button per id, taking the images in order; ID_SEPARATOR makes a gap.
    BOOL SetButtons(const UINT* lpIDArray, int nIDCount);
    UINT GetItemID(int nIndex) const;
    void SetBarStyle(DWORD dwStyle) override;

protected:
    void CreateWidget(const CREATESTRUCT& cs) override;

    std::vector<UINT> m_ids;
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
    // (greyed while the state they indicate is off or unknown).
    BOOL SetIndicators(const UINT* lpIDArray, int nIDCount);
    UINT GetItemID(int nIndex) const;
    BOOL SetPaneText(int nIndex, LPCTSTR lpszNewText, BOOL bUpdate = TRUE);
    CString GetPaneText(int nIndex) const;
    // The window text is the text of pane 0.
    void SetWindowText(LPCTSTR lpszString) override;
    void GetWindowText(CString& rString) const override;

protected:
    void CreateWidget(const CREATESTRUCT& cs) override;

    std::vector<UINT> m_ids;
    std::vector<CString> m_texts;
};
