#include "framework/AfxApp.h"
#include "framework/AfxBars.h"
#include "framework/AfxPlatform.h"
#include "framework/AfxWnd.h"

#include <algorithm>

IMPLEMENT_DYNCREATE(CFrameWnd, CWnd)

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
    ON_WM_CREATE()
    ON_WM_CLOSE()
    ON_COMMAND_EX(ID_VIEW_TOOLBAR, OnBarCheck)
    ON_COMMAND_EX(ID_VIEW_STATUS_BAR, OnBarCheck)
    ON_UPDATE_COMMAND_UI(ID_VIEW_TOOLBAR, OnUpdateControlBarMenu)
    ON_UPDATE_COMMAND_UI(ID_VIEW_STATUS_BAR, OnUpdateControlBarMenu)
END_MESSAGE_MAP()

CFrameWnd::CFrameWnd() = default;

CFrameWnd::~CFrameWnd()
{
    CFrameWnd::DestroyWindow();
    for (CControlBar* pBar : m_listControlBars)
        pBar->m_pDockSite = nullptr;
    m_listControlBars.clear();
    if (CWinApp* pApp = AfxGetApp(); pApp != nullptr && pApp->m_pMainWnd == this)
        pApp->m_pMainWnd = nullptr;
}

BOOL CFrameWnd::DestroyWindow()
{
    // Views first: they leave their documents while the frame still exists.
    std::vector<CView*> views;
    views.swap(m_ownedViews);
    m_pViewActive = nullptr;
    for (CView* pView : views)
        delete pView;
    return CWnd::DestroyWindow();
}

std::unique_ptr<CWndPeer> CFrameWnd::CreatePeer(const CREATESTRUCT& cs)
{
    return AfxGetPlatform().CreateFramePeer(this, cs);
}

CFramePeer* CFrameWnd::FramePeer() const
{
    return static_cast<CFramePeer*>(m_pPeer.get());
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd, CCreateContext* pContext)
{
    if (IsWindow())
        return FALSE;
    m_nIDResource = nIDResource;
    m_strTitle = AfxPromptOf(AfxFindString(nIDResource));

    CREATESTRUCT cs;
    cs.lpCreateParams = pContext;
    cs.x = cs.y = cs.cx = cs.cy = CW_USEDEFAULT;
    cs.style = dwDefaultStyle;
    cs.lpszName = m_strTitle;
    if (!PreCreateWindow(cs))
        return FALSE;

    m_pParentWnd = pParentWnd;
    m_dwStyle = cs.style & ~WS_VISIBLE;
    const bool bSized = cs.cx != CW_USEDEFAULT && cs.cy != CW_USEDEFAULT && cs.cx > 0 && cs.cy > 0;
    const bool bPlaced = cs.x != CW_USEDEFAULT && cs.y != CW_USEDEFAULT;
    m_rcPlacement = CRect(bPlaced ? cs.x : 0, bPlaced ? cs.y : 0, (bPlaced ? cs.x : 0) + (bSized ? cs.cx : 0),
                          (bPlaced ? cs.y : 0) + (bSized ? cs.cy : 0));
    m_menus = AfxLoadMenu(nIDResource);
    std::size_t nAccel = 0;
    const RES_ACCEL* pAccel = AfxFindAccel(nIDResource, &nAccel);
    m_accelerators.assign(pAccel, pAccel + nAccel);

    m_pPeer = CreatePeer(cs);
    if (m_pPeer == nullptr)
        return FALSE;
    SetWindowText(m_strTitle);
    FramePeer()->MenuChanged(AFX_ALL_POPUPS);
    FramePeer()->AcceleratorsChanged();
    FramePeer()->IconChanged();

    if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1)
    {
        CFrameWnd::DestroyWindow();
        return FALSE;
    }
    SetMessageText(AFX_IDS_IDLEMESSAGE);
    UpdateCommandUI();
    return TRUE;
}

int CFrameWnd::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    auto* pContext = lpCreateStruct != nullptr ? static_cast<CCreateContext*>(lpCreateStruct->lpCreateParams)
                                               : nullptr;
    if (!OnCreateClient(lpCreateStruct, pContext))
        return -1;
    return 0;
}

BOOL CFrameWnd::OnCreateClient(LPCREATESTRUCT, CCreateContext* pContext)
{
    if (pContext != nullptr && pContext->m_pNewViewClass != nullptr)
        return CreateView(pContext, AFX_IDW_PANE_FIRST) != nullptr;
    return TRUE;
}

CWnd* CFrameWnd::CreateView(CCreateContext* pContext, UINT nID)
{
    if (pContext == nullptr || pContext->m_pNewViewClass == nullptr)
        return nullptr;
    CObject* pObject = pContext->m_pNewViewClass->CreateObject();
    auto* pWnd = dynamic_cast<CWnd*>(pObject);
    if (pWnd == nullptr)
    {
        delete pObject;
        return nullptr;
    }
    if (!pWnd->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(0, 0, 0, 0), this, nID, pContext))
    {
        delete pWnd;
        return nullptr;
    }
    if (auto* pView = dynamic_cast<CView*>(pWnd))
    {
        m_ownedViews.push_back(pView);
        if (m_pViewActive == nullptr)
            m_pViewActive = pView;
    }
    if (nID == AFX_IDW_PANE_FIRST)
        FramePeer()->ClientViewChanged(pWnd);
    return pWnd;
}

void CFrameWnd::SetActiveView(CView* pViewNew, BOOL)
{
    m_pViewActive = pViewNew;
    if (pViewNew != nullptr && pViewNew->GetPeer() != nullptr)
        pViewNew->GetPeer()->SetFocus();
}

CDocument* CFrameWnd::GetActiveDocument()
{
    return m_pViewActive != nullptr ? m_pViewActive->GetDocument() : nullptr;
}

void CFrameWnd::EnableDocking(DWORD dwDockStyle)
{
    m_dwDockStyle = dwDockStyle & CBRS_ALIGN_ANY;
    if (IsWindow())
        FramePeer()->DockingChanged();
    for (CControlBar* pBar : m_listControlBars)
        pBar->DockingChanged();
}

void CFrameWnd::DockControlBar(CControlBar* pBar, UINT nDockBarID, LPCRECT)
{
    if (IsWindow() && pBar != nullptr && pBar->IsWindow())
        FramePeer()->DockControlBar(pBar, nDockBarID);
}

void CFrameWnd::ShowControlBar(CControlBar* pBar, BOOL bShow, BOOL)
{
    if (pBar != nullptr)
        pBar->ShowWindow(bShow ? SW_SHOW : SW_HIDE);
    UpdateCommandUI();
}

CControlBar* CFrameWnd::GetControlBar(UINT nID) const
{
    for (CControlBar* pBar : m_listControlBars)
        if (pBar->GetDlgCtrlID() == nID)
            return pBar;
    return nullptr;
}

void CFrameWnd::SetStatusText(LPCTSTR lpszText)
{
    SetMessageText(lpszText);
}

void CFrameWnd::SetMessageText(LPCTSTR lpszText)
{
    if (CControlBar* pBar = GetControlBar(AFX_IDW_STATUS_BAR))
        pBar->SetWindowText(lpszText);
}

void CFrameWnd::SetMessageText(UINT nID)
{
    CString strMessage;
    if (nID == AFX_IDS_IDLEMESSAGE)
        strMessage.LoadString(nID);
    else
        GetMessageString(nID, strMessage);
    SetMessageText(strMessage);
}

void CFrameWnd::GetMessageString(UINT nID, CString& rMessage) const
{
    rMessage = AfxPromptOf(AfxFindString(nID));
}

void CFrameWnd::ActivateFrame(int nCmdShow)
{
    if (nCmdShow == -1)
        nCmdShow = SW_SHOW;
    ShowWindow(nCmdShow);
    if (nCmdShow != SW_HIDE && IsWindow())
        FramePeer()->Activate();
}

void CFrameWnd::InitialUpdateFrame(CDocument* pDoc, BOOL bMakeVisible)
{
    if (m_pViewActive == nullptr && !m_ownedViews.empty())
        SetActiveView(m_ownedViews.front());
    for (CView* pView : m_ownedViews)
        if (pDoc == nullptr || pView->GetDocument() == pDoc)
            pView->OnInitialUpdate();
    if (bMakeVisible)
    {
        CWinApp* pApp = AfxGetApp();
        ActivateFrame(pApp != nullptr ? pApp->m_nCmdShow : -1);
    }
    OnUpdateFrameTitle(TRUE);
    UpdateCommandUI();
}

void CFrameWnd::OnUpdateFrameTitle(BOOL bAddToTitle)
{
    CDocument* pDoc = GetActiveDocument();
    if (bAddToTitle && pDoc != nullptr && !pDoc->GetTitle().IsEmpty())
        SetWindowText(pDoc->GetTitle() + " - " + m_strTitle);
    else
        SetWindowText(m_strTitle);
}

void CFrameWnd::UpdateMenuItems(CMenuPopup& menu)
{
    // By key: an update handler may insert or remove items (the recent-file list does).
    std::vector<std::uint64_t> keys;
    for (const CMenuItem& item : menu.m_items)
        if (!item.bSeparator && !item.bRecentFile)
            keys.push_back(item.nKey);
    for (std::uint64_t nKey : keys)
    {
        const auto it = std::find_if(menu.m_items.begin(), menu.m_items.end(),
                                     [nKey](const CMenuItem& item) { return item.nKey == nKey; });
        if (it == menu.m_items.end())
            continue;
        const BOOL bGrayed = it->bGrayed;
        CMenuCmdUI cmdUI(&menu, static_cast<UINT>(it - menu.m_items.begin()));
        cmdUI.DoUpdate(this, !bGrayed);
    }
}

void CFrameWnd::OnInitMenuPopup(std::size_t nPopup)
{
    if (nPopup >= m_menus.size())
        return;
    UpdateMenuItems(m_menus[nPopup]);
    if (IsWindow())
        FramePeer()->MenuChanged(nPopup);
}

void CFrameWnd::UpdateCommandUI()
{
    for (CMenuPopup& menu : m_menus)
        UpdateMenuItems(menu);
    if (IsWindow())
        FramePeer()->MenuChanged(AFX_ALL_POPUPS);
    for (CControlBar* pBar : m_listControlBars)
        if (auto* pToolBar = dynamic_cast<CToolBar*>(pBar))
            pToolBar->UpdateButtons(this);
}

void CFrameWnd::RunCommand(UINT nID)
{
    SendMessage(WM_COMMAND, nID);
    // The command may have closed the frame's document or the frame itself.
    if (IsWindow())
        UpdateCommandUI();
}

BOOL CFrameWnd::OnCmdMsg(UINT nID, int nCode, void* pExtra)
{
    if (m_pViewActive != nullptr && m_pViewActive->OnCmdMsg(nID, nCode, pExtra))
        return TRUE;
    if (CWnd::OnCmdMsg(nID, nCode, pExtra))
        return TRUE;
    CWinApp* pApp = AfxGetApp();
    return pApp != nullptr && pApp->OnCmdMsg(nID, nCode, pExtra);
}

void CFrameWnd::OnClose()
{
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr && pApp->m_pMainWnd == this)
    {
        // The main frame stays until the application tears down; closing ends the loop.
        ShowWindow(SW_HIDE);
        AfxPostQuit();
        return;
    }
    DestroyWindow();
}

BOOL CFrameWnd::OnBarCheck(UINT nID)
{
    CControlBar* pBar = GetControlBar(nID);
    if (pBar == nullptr)
        return FALSE;
    ShowControlBar(pBar, (pBar->GetStyle() & WS_VISIBLE) == 0, FALSE);
    return TRUE;
}

void CFrameWnd::OnUpdateControlBarMenu(CCmdUI* pCmdUI)
{
    CControlBar* pBar = GetControlBar(pCmdUI->m_nID);
    if (pBar == nullptr)
    {
        pCmdUI->ContinueRouting();
        return;
    }
    pCmdUI->SetCheck((pBar->GetStyle() & WS_VISIBLE) != 0 ? 1 : 0);
}
