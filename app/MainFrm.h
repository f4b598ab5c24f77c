#pragma once
// The main frame: menu, toolbar, status bar and the one view.

#include "framework/Afx.h"

class CMainFrame : public CFrameWnd
{
    DECLARE_DYNCREATE(CMainFrame)
public:
    CMainFrame();
    ~CMainFrame() override;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    // Shows the load driver's text in the first status pane until the framework next writes it.
    void SetStatusText(LPCTSTR text) override;

    int OnCreate(LPCREATESTRUCT lpCreateStruct) override;

protected:
    // The status bar comes first although the toolbar is created first.
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;

    DECLARE_MESSAGE_MAP()
};

// The frame's client area at start-up: the glyph layout strip's width, and a height that
// leaves the view a useful area below the toolbar and above the status bar.
enum : int
{
    FRAME_CLIENT_WIDTH = 256,
    FRAME_CLIENT_HEIGHT = 330,
};
