#include "AfxPrivate.h"

#include "AfxApp.h"
#include "AfxBars.h"
#include "ResourceTables.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenuBar>
#include <QToolBar>

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

void CFrameWnd::CreateWidget(const CREATESTRUCT& cs)
{
    auto* pWindow = new CQtFrame(this);
    m_pPriv->Attach(pWindow);
    pWindow->setWindowTitle(AfxQStr(cs.lpszName));
    // Toolbars may float; a floating toolbar is a tool window of the frame.
    pWindow->setDockOptions(QMainWindow::AnimatedDocks);
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd,
                          CCreateContext* pContext)
{
    if (IsWindow())
        return FALSE;
    m_nIDResource = nIDResource;
    m_strTitle = AfxPromptOf(ResFindString(nIDResource));

    CREATESTRUCT cs;
    cs.lpCreateParams = pContext;
    cs.x = cs.y = cs.cx = cs.cy = CW_USEDEFAULT;
    cs.style = dwDefaultStyle;
    cs.lpszName = m_strTitle;
    if (!PreCreateWindow(cs))
        return FALSE;

    m_pParentWnd = pParentWnd;
    m_dwStyle = cs.style;
    CreateWidget(cs);
    auto* pWindow = static_cast<QMainWindow*>(AfxGetWidget(this));
    SetWindowText(m_strTitle);

    AfxBuildMenuBar(this, pWindow, nIDResource);
    AfxInstallAccelerators(this, m_pPriv.get(), nIDResource);
    if (const char* pszIcon = ResIconPath(nIDResource); pszIcon != nullptr && *pszIcon != '\0')
        pWindow->setWindowIcon(QIcon(QString::fromUtf8(pszIcon)));
    if (cs.cx != CW_USEDEFAULT && cs.cy != CW_USEDEFAULT && cs.cx > 0 && cs.cy > 0)
        pWindow->resize(cs.cx, cs.cy);
    if (cs.x != CW_USEDEFAULT && cs.y != CW_USEDEFAULT)
        pWindow->move(cs.x, cs.y);

    if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1)
    {
        CFrameWnd::DestroyWindow();
        return FALSE;
    }
    SetMessageText(AFX_IDS_IDLEMESSAGE);
    UpdateCommandUI();
    return TRUE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT&)
{
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
        static_cast<QMainWindow*>(AfxGetWidget(this))->setCentralWidget(AfxGetWidget(pWnd));
    return pWnd;
}

void CFrameWnd::SetActiveView(CView* pViewNew, BOOL)
{
    m_pViewActive = pViewNew;
    if (QWidget* w = AfxGetWidget(pViewNew))
        w->setFocus();
}

CDocument* CFrameWnd::GetActiveDocument()
{
    return m_pViewActive != nullptr ? m_pViewActive->GetDocument() : nullptr;
}

void CFrameWnd::EnableDocking(DWORD dwDockStyle)
{
    m_dwDockStyle = dwDockStyle & CBRS_ALIGN_ANY;
    for (CControlBar* pBar : m_listControlBars)
        pBar->EnableDocking(pBar->GetDockStyle());
}

static Qt::ToolBarArea AreaFromDockBarId(UINT nDockBarID, DWORD dwBarStyle)
{
    switch (nDockBarID)
    {
    case AFX_IDW_DOCKBAR_LEFT: return Qt::LeftToolBarArea;
    case AFX_IDW_DOCKBAR_RIGHT: return Qt::RightToolBarArea;
    case AFX_IDW_DOCKBAR_BOTTOM: return Qt::BottomToolBarArea;
    case AFX_IDW_DOCKBAR_TOP: return Qt::TopToolBarArea;
    default: break;
    }
    if (dwBarStyle & CBRS_ALIGN_TOP)
        return Qt::TopToolBarArea;
    if (dwBarStyle & CBRS_ALIGN_BOTTOM)
        return Qt::BottomToolBarArea;
    if (dwBarStyle & CBRS_ALIGN_LEFT)
        return Qt::LeftToolBarArea;
    if (dwBarStyle & CBRS_ALIGN_RIGHT)
        return Qt::RightToolBarArea;
    return Qt::TopToolBarArea;
}

void CFrameWnd::DockControlBar(CControlBar* pBar, UINT nDockBarID, LPCRECT)
{
    auto* pWindow = static_cast<QMainWindow*>(AfxGetWidget(this));
    auto* pToolBar = qobject_cast<QToolBar*>(AfxGetWidget(pBar));
    if (pWindow == nullptr || pToolBar == nullptr)
        return;
    const bool bVisible = !pToolBar->isHidden();
    pWindow->addToolBar(AreaFromDockBarId(nDockBarID, pBar->GetBarStyle()), pToolBar);
    pToolBar->setVisible(bVisible);
}

void CFrameWnd::ShowControlBar(CControlBar* pBar, BOOL bShow, BOOL)
{
    if (QWidget* w = AfxGetWidget(pBar))
        w->setVisible(bShow != FALSE);
    UpdateCommandUI();
}

CControlBar* CFrameWnd::GetControlBar(UINT nID) const
{
    for (CControlBar* pBar : m_listControlBars)
        if (pBar->GetDlgCtrlID() == nID)
            return pBar;
    return nullptr;
}

void CFrameWnd::RecalcLayout(BOOL)
{
    // Qt's main-window layout places the bars and the view.
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
    rMessage = AfxPromptOf(ResFindString(nID));
}

void CFrameWnd::ActivateFrame(int nCmdShow)
{
    if (nCmdShow == -1)
        nCmdShow = SW_SHOW;
    ShowWindow(nCmdShow);
    if (nCmdShow != SW_HIDE)
        if (QWidget* w = AfxGetWidget(this))
        {
            w->raise();
            w->activateWindow();
        }
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

void CFrameWnd::UpdateCommandUI()
{
    AfxUpdateFrameCommandUI(this);
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
    const QWidget* w = AfxGetWidget(pBar);
    ShowControlBar(pBar, w != nullptr && w->isHidden(), FALSE);
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
    const QWidget* w = AfxGetWidget(pBar);
    pCmdUI->SetCheck(w != nullptr && !w->isHidden() ? 1 : 0);
}
