#include "tests/framework/AppFixture.h"

IMPLEMENT_DYNCREATE(CAppDoc, CDocument)
BEGIN_MESSAGE_MAP(CAppDoc, CDocument)
    ON_COMMAND(0x8002, OnDocCommand)
END_MESSAGE_MAP()

IMPLEMENT_DYNCREATE(CAppView, CView)
BEGIN_MESSAGE_MAP(CAppView, CView)
    ON_WM_SIZE()
    ON_WM_CREATE()
    ON_WM_ERASEBKGND()
    ON_COMMAND(0x8001, OnViewCommand)
    ON_COMMAND(0x8005, OnShared)
END_MESSAGE_MAP()

bool CAppFrame::s_bFailCreate = false;
IMPLEMENT_DYNCREATE(CAppFrame, CFrameWnd)
BEGIN_MESSAGE_MAP(CAppFrame, CFrameWnd)
    ON_WM_CREATE()
    ON_COMMAND(ID_HELP_INDEX, CWnd::OnHelpIndex)
    ON_COMMAND(0x8003, OnFrameCommand)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CAppApp, CWinApp)
    ON_COMMAND(ID_FILE_NEW, CWinApp::OnFileNew)
    ON_COMMAND(ID_FILE_OPEN, CWinApp::OnFileOpen)
    ON_COMMAND(0x8004, OnAppCommand)
    ON_COMMAND(0x8005, OnShared)
END_MESSAGE_MAP()
