#include "framework/AfxApp.h"
#include "framework/AfxPlatform.h"
#include "framework/AfxRes.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)
IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
    ON_COMMAND(ID_APP_EXIT, OnAppExit)
    ON_COMMAND_RANGE(ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE4, OnOpenRecentFile)
    ON_UPDATE_COMMAND_UI(ID_FILE_MRU_FILE1, OnUpdateRecentFileMenu)
END_MESSAGE_MAP()

namespace
{
CWinApp* g_pApp = nullptr;
bool g_bQuitPosted = false;
bool g_bRunning = false;  // inside Run's event loop
}  // namespace

void AfxPostQuit()
{
    g_bQuitPosted = true;
    // Outside the loop, quitting would make every later event loop (a modal dialog's, say)
    // return at once; Run looks at the flag instead.
    if (g_bRunning)
        AfxGetPlatform().QuitEventLoop();
}

bool AfxQuitPosted()
{
    return g_bQuitPosted;
}

int CWinThread::Run()
{
    if (AfxQuitPosted())
        return ExitInstance();
    g_bRunning = true;
    AfxGetPlatform().RunEventLoop();
    g_bRunning = false;
    return ExitInstance();
}

CWinApp::CWinApp(LPCTSTR lpszAppName)
{
    if (lpszAppName != nullptr)
        m_strAppName = lpszAppName;
    else if (const char* pszTitle = AfxFindString(AFX_IDS_APP_TITLE))
        m_strAppName = pszTitle;  // the program registered its resources already
    m_pszAppName = m_strAppName;
    g_pApp = this;
    g_bQuitPosted = false;
}

CWinApp::~CWinApp()
{
    CloseAllDocuments(TRUE);
    for (CDocTemplate* pTemplate : m_templates)
        delete pTemplate;
    m_templates.clear();
    if (g_pApp == this)
        g_pApp = nullptr;
}

int CWinApp::Run()
{
    // Without a main window (File/New failed) there is nothing to wait for.
    if (m_pMainWnd == nullptr)
        return ExitInstance();
    return CWinThread::Run();
}

int CWinApp::ExitInstance()
{
    return 0;
}

CString CWinApp::GetProfilePath() const
{
    const char* pszName = AfxGetProfileName();
    if (pszName == nullptr || pszName[0] == '\0')
        return CString();
    CString strBase;
    const char* pszConfig = std::getenv("XDG_CONFIG_HOME");
    if (pszConfig != nullptr && pszConfig[0] == '/')
        strBase = pszConfig;
    else
    {
        const char* pszHome = std::getenv("HOME");
        strBase = CString(pszHome != nullptr ? pszHome : ".") + "/.config";
    }
    return strBase + "/" + pszName + "/" + pszName + ".conf";
}

void CWinApp::LoadStdProfileSettings(UINT nMaxMRU)
{
    m_recentFileList = CRecentFileList(nMaxMRU < 16u ? nMaxMRU : 16u);
    const CString strProfile = GetProfilePath();
    if (m_recentFileList.GetMaxSize() == 0 || strProfile.IsEmpty())
        return;
    m_recentFileList.Assign(AfxGetPlatform().LoadRecentFiles(strProfile, m_recentFileList.GetMaxSize()));
}

void CWinApp::SaveRecentFiles() const
{
    const CString strProfile = GetProfilePath();
    if (!strProfile.IsEmpty())
        AfxGetPlatform().SaveRecentFiles(strProfile, m_recentFileList.GetNames());
}

void CWinApp::AddToRecentFileList(LPCTSTR lpszPathName)
{
    if (m_recentFileList.Add(lpszPathName))
        SaveRecentFiles();
}

void CWinApp::AddDocTemplate(CDocTemplate* pTemplate)
{
    if (pTemplate != nullptr)
        m_templates.push_back(pTemplate);
}

CDocument* CWinApp::OpenDocumentFile(LPCTSTR lpszFileName)
{
    if (m_templates.empty() || lpszFileName == nullptr)
        return nullptr;
    return m_templates.front()->OpenDocumentFile(lpszFileName);
}

void CWinApp::CloseAllDocuments(BOOL bEndSession)
{
    for (CDocTemplate* pTemplate : m_templates)
        pTemplate->CloseAllDocuments(bEndSession);
    m_pMainWnd = nullptr;
}

BOOL CWinApp::DoPromptFileName(CString& fileName, UINT, DWORD, BOOL bOpenFileDialog, CDocTemplate*)
{
    return AfxGetPlatform().PromptFileName(m_pMainWnd, fileName, bOpenFileDialog);
}

void CWinApp::WinHelp(DWORD_PTR, UINT nCmd)
{
    AfxGetPlatform().ShowHelp(m_pMainWnd, nCmd);
}

void CWinApp::OnFileNew()
{
    if (!m_templates.empty())
        m_templates.front()->OpenDocumentFile(nullptr);
}

void CWinApp::OnFileOpen()
{
    CString strName;
    if (!DoPromptFileName(strName, 0, 0, TRUE, nullptr))
        return;
    OpenDocumentFile(strName);
}

void CWinApp::OnAppExit()
{
    if (m_pMainWnd != nullptr)
        m_pMainWnd->SendMessage(WM_CLOSE);
}

BOOL CWinApp::OnOpenRecentFile(UINT nID)
{
    const int nIndex = static_cast<int>(nID - ID_FILE_MRU_FILE1);
    if (nIndex < 0 || nIndex >= m_recentFileList.GetSize())
        return FALSE;
    // Copied: a successful open reorders the list.
    const CString strPath = m_recentFileList[nIndex];
    if (OpenDocumentFile(strPath) != nullptr)
        return TRUE;
    // A file that is gone leaves the list (after its message); one that exists but did not
    // open stays, as the trouble may pass.
    struct stat st;
    if (::stat(strPath, &st) != 0 && errno == ENOENT)
    {
        for (int i = 0; i < m_recentFileList.GetSize(); ++i)
            if (m_recentFileList[i] == strPath)
            {
                m_recentFileList.Remove(i);
                SaveRecentFiles();
                break;
            }
    }
    return TRUE;
}

void CWinApp::OnUpdateRecentFileMenu(CCmdUI* pCmdUI)
{
    m_recentFileList.UpdateMenu(pCmdUI);
}

// ---------------------------------------------------------------------------------------

CWinApp* AfxGetApp()
{
    return g_pApp;
}

CWinThread* AfxGetThread()
{
    return g_pApp;
}

CWnd* AfxGetMainWnd()
{
    return g_pApp != nullptr ? g_pApp->GetMainWnd() : nullptr;
}

BOOL AfxWinInit(int& argc, char** argv)
{
    g_bQuitPosted = false;
    if (g_pApp != nullptr && g_pApp->m_strAppName.IsEmpty())
    {
        if (const char* pszTitle = AfxFindString(AFX_IDS_APP_TITLE))
            g_pApp->m_strAppName = pszTitle;
        g_pApp->m_pszAppName = g_pApp->m_strAppName;
    }
    return AfxGetPlatform().Init(argc, argv);
}

void AfxWinTerm()
{
    if (g_pApp != nullptr)
        g_pApp->CloseAllDocuments(TRUE);
    AfxGetPlatform().Term();
}

int AfxWinMain(int argc, char** argv)
{
    static int s_argc = argc;  // a platform may keep a reference to it
    if (!AfxWinInit(s_argc, argv))
        return 1;
    CWinApp* pApp = AfxGetApp();
    int nResult = 1;
    if (pApp != nullptr)
        nResult = pApp->InitInstance() ? pApp->Run() : pApp->ExitInstance();
    AfxWinTerm();
    return nResult;
}
