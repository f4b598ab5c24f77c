#pragma once
// The headless backend: no display and no toolkit. Windows are the core's records (size,
// text, visibility) and nothing more; paints draw nothing; message boxes print to stderr
// unless the application's DoMessageBox takes them; file dialogs are cancelled; the event
// loop runs what was posted and returns; the recent-file list stays in memory.

#include "framework/AfxPlatform.h"

#include <deque>
#include <map>

class CHeadlessPlatform : public IAfxPlatform
{
public:
    BOOL Init(int& argc, char** argv) override;
    void Term() override;

    std::unique_ptr<CWndPeer> CreateWindowPeer(CWnd* pWnd, const CREATESTRUCT& cs) override;
    std::unique_ptr<CFramePeer> CreateFramePeer(CFrameWnd* pFrame, const CREATESTRUCT& cs) override;
    std::unique_ptr<CToolBarPeer> CreateToolBarPeer(CToolBar* pBar, const CREATESTRUCT& cs) override;
    std::unique_ptr<CStatusBarPeer> CreateStatusBarPeer(CStatusBar* pBar, const CREATESTRUCT& cs) override;
    std::unique_ptr<CDialogPeer> CreateDialogPeer(CDialog* pDialog, const RES_DIALOG& dlgTemplate) override;

    int MessageBox(CWnd* pOwner, LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType) override;
    BOOL PromptFileName(CWnd* pOwner, CString& rFileName, BOOL bOpenFileDialog) override;
    void ShowHelp(CWnd* pMainWnd, UINT nCmd) override;

    int RunEventLoop() override;
    void QuitEventLoop() override;
    BOOL Post(std::function<void()> fnTask) override;

    std::vector<CString> LoadRecentFiles(const CString& strProfile, UINT nMax) override;
    void SaveRecentFiles(const CString& strProfile, const std::vector<CString>& files) override;

    int GetSystemMetrics(int nIndex) override;

private:
    std::deque<std::function<void()>> m_posted;
    bool m_bQuit = false;
    std::map<CString, std::vector<CString>> m_profiles;  // for this process only
};
