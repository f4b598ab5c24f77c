#include "framework/headless/AfxHeadless.h"

#include "framework/AfxBars.h"
#include "framework/AfxDialog.h"

#include <cstdio>

namespace
{
// A dialog has nobody to answer it: it ends as if dismissed.
class CHeadlessDialogPeer : public CDialogPeer
{
public:
    using CDialogPeer::CDialogPeer;
    void RunModal() override { GetOwner()->SendMessage(WM_COMMAND, IDCANCEL); }
};
}  // namespace

BOOL CHeadlessPlatform::Init(int&, char**)
{
    m_bQuit = false;
    return TRUE;
}

void CHeadlessPlatform::Term()
{
    m_posted.clear();
}

std::unique_ptr<CWndPeer> CHeadlessPlatform::CreateWindowPeer(CWnd* pWnd, const CREATESTRUCT&)
{
    return std::make_unique<CWndPeer>(pWnd);
}

std::unique_ptr<CFramePeer> CHeadlessPlatform::CreateFramePeer(CFrameWnd* pFrame, const CREATESTRUCT&)
{
    return std::make_unique<CFramePeer>(pFrame);
}

std::unique_ptr<CToolBarPeer> CHeadlessPlatform::CreateToolBarPeer(CToolBar* pBar, const CREATESTRUCT&)
{
    return std::make_unique<CToolBarPeer>(pBar);
}

std::unique_ptr<CStatusBarPeer> CHeadlessPlatform::CreateStatusBarPeer(CStatusBar* pBar, const CREATESTRUCT&)
{
    return std::make_unique<CStatusBarPeer>(pBar);
}

std::unique_ptr<CDialogPeer> CHeadlessPlatform::CreateDialogPeer(CDialog* pDialog, const RES_DIALOG&)
{
    return std::make_unique<CHeadlessDialogPeer>(pDialog);
}

int CHeadlessPlatform::MessageBox(CWnd*, LPCTSTR lpszText, LPCTSTR lpszCaption, UINT)
{
    std::fprintf(stderr, "%s: %s\n", lpszCaption != nullptr ? lpszCaption : "", lpszText != nullptr ? lpszText : "");
    return IDOK;
}

BOOL CHeadlessPlatform::PromptFileName(CWnd*, CString&, BOOL)
{
    return FALSE;
}

void CHeadlessPlatform::ShowHelp(CWnd*, UINT) {}

int CHeadlessPlatform::RunEventLoop()
{
    // What was posted runs now, in order; then there is nothing left to wait for.
    m_bQuit = false;
    while (!m_bQuit && !m_posted.empty())
    {
        std::function<void()> fnTask = std::move(m_posted.front());
        m_posted.pop_front();
        fnTask();
    }
    m_bQuit = false;
    return 0;
}

void CHeadlessPlatform::QuitEventLoop()
{
    m_bQuit = true;
}

BOOL CHeadlessPlatform::Post(std::function<void()> fnTask)
{
    m_posted.push_back(std::move(fnTask));
    return TRUE;
}

std::vector<CString> CHeadlessPlatform::LoadRecentFiles(const CString& strProfile, UINT nMax)
{
    std::vector<CString> files = m_profiles[strProfile];
    if (files.size() > nMax)
        files.resize(nMax);
    return files;
}

void CHeadlessPlatform::SaveRecentFiles(const CString& strProfile, const std::vector<CString>& files)
{
    m_profiles[strProfile] = files;
}

int CHeadlessPlatform::GetSystemMetrics(int nIndex)
{
    // As a one-line menu bar would measure; frames have no decoration.
    return nIndex == SM_CYMENU ? 19 : 0;
}

IAfxPlatform& AfxDefaultPlatform()
{
    static CHeadlessPlatform s_platform;
    return s_platform;
}
