#include "app/MainFrm.h"

#include "resources/resource.h"

#include <iterator>

namespace
{

const UINT buttons[] = {
    ID_FILE_OPEN,
    ID_FILE_SAVE_AS,
    ID_SEPARATOR,
    ID_HELP_INDEX,
};

const UINT indicators[] = {
    ID_SEPARATOR,
    ID_INDICATOR_KANA,
    ID_INDICATOR_CAPS,
    ID_INDICATOR_NUM,
    ID_INDICATOR_SCRL,
};

}  // namespace

IMPLEMENT_DYNCREATE(CMainFrame, CFrameWnd)

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
    ON_WM_CREATE()
    ON_COMMAND(ID_HELP_INDEX, CFrameWnd::OnHelpIndex)
END_MESSAGE_MAP()

CMainFrame::CMainFrame() = default;

CMainFrame::~CMainFrame() = default;

int CMainFrame::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    if (CFrameWnd::OnCreate(lpCreateStruct) == -1)
        return -1;
    if (!m_wndToolBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_TOP, AFX_IDW_TOOLBAR))
        return -1;
    if (!m_wndToolBar.LoadBitmap(IDR_MAINFRAME))
        return -1;
    if (!m_wndToolBar.SetButtons(buttons, static_cast<int>(std::size(buttons))))
        return -1;
    if (!m_wndStatusBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR))
        return -1;
    if (!m_wndStatusBar.SetIndicators(indicators, static_cast<int>(std::size(indicators))))
        return -1;

    m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableDocking(CBRS_ALIGN_ANY);
    DockControlBar(&m_wndToolBar);
    m_wndToolBar.SetBarStyle(m_wndToolBar.GetBarStyle() | CBRS_TOOLTIPS | CBRS_FLYBY);
    return 0;
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCT& cs)
{
    // Only the size is ours; position and style stay as the framework chose them.
    CFrameWnd::PreCreateWindow(cs);
    cs.cx = 2 * GetSystemMetrics(SM_CXFRAME) + FRAME_CLIENT_WIDTH;
    cs.cy = 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYMENU) +
            GetSystemMetrics(SM_CYCAPTION) + FRAME_CLIENT_HEIGHT;
    return TRUE;
}

void CMainFrame::SetStatusText(LPCTSTR text)
{
    m_wndStatusBar.SetWindowText(text);
}
