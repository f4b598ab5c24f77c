#include "AfxPrivate.h"

#include "AfxApp.h"
#include "ResourceTables.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

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
QApplication* g_pQtApp = nullptr;  // the one AfxWinInit made, if it made one
bool g_bQuitPosted = false;
bool g_bRunning = false;  // inside Run's event loop

constexpr const char* PROFILE_MRU_SECTION = "Recent File List";
}  // namespace

void AfxPostQuit()
{
    g_bQuitPosted = true;
    // Outside the loop, exit() would make every later event loop (a modal dialog's, say)
    // return at once; Run looks at the flag instead.
    if (g_bRunning && QCoreApplication::instance() != nullptr)
        QCoreApplication::exit(0);
}

bool AfxQuitPosted()
{
    return g_bQuitPosted;
}

int CWinThread::Run()
{
    if (QCoreApplication::instance() == nullptr || AfxQuitPosted())
        return ExitInstance();
    g_bRunning = true;
    QCoreApplication::exec();
    g_bRunning = false;
    return ExitInstance();
}

CWinApp::CWinApp(LPCTSTR lpszAppName)
{
    // Static construction: the string table is constant data, safe to read here.
    m_strAppName = lpszAppName != nullptr ? CString(lpszAppName) : CString(ResFindString(AFX_IDS_APP_TITLE));
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

void CWinApp::SetProfilePath(LPCTSTR lpszPath)
{
    m_strProfilePath = lpszPath;
}

CString CWinApp::GetProfilePath() const
{
    if (!m_strProfilePath.IsEmpty())
        return m_strProfilePath;
    CString strBase;
    const char* pszConfig = std::getenv("XDG_CONFIG_HOME");
    if (pszConfig != nullptr && pszConfig[0] == '/')
        strBase = pszConfig;
    else
    {
        const char* pszHome = std::getenv("HOME");
        strBase = CString(pszHome != nullptr ? pszHome : ".") + "/.config";
    }
    return strBase + "/vellum/vellum.conf";
}

void CWinApp::LoadStdProfileSettings(UINT nMaxMRU)
{
    m_nMaxMRU = std::min(nMaxMRU, 16u);
    m_recentFiles.clear();
    if (m_nMaxMRU == 0)
        return;
    QSettings settings(AfxQStr(GetProfilePath()), QSettings::IniFormat);
    settings.beginGroup(QLatin1String(PROFILE_MRU_SECTION));
    for (UINT i = 0; i < m_nMaxMRU; ++i)
    {
        const QString path = settings.value(QStringLiteral("File%1").arg(i + 1)).toString();
        if (path.isEmpty())
            continue;
        const CString s = AfxCStr(path);
        if (std::find(m_recentFiles.begin(), m_recentFiles.end(), s) == m_recentFiles.end())
            m_recentFiles.push_back(s);
    }
}

void CWinApp::SaveRecentFiles() const
{
    QSettings settings(AfxQStr(GetProfilePath()), QSettings::IniFormat);
    settings.beginGroup(QLatin1String(PROFILE_MRU_SECTION));
    settings.remove(QString());
    for (std::size_t i = 0; i < m_recentFiles.size(); ++i)
        settings.setValue(QStringLiteral("File%1").arg(i + 1), AfxQStr(m_recentFiles[i]));
    settings.endGroup();
    settings.sync();
}

void CWinApp::AddToRecentFileList(LPCTSTR lpszPathName)
{
    if (m_nMaxMRU == 0 || lpszPathName == nullptr || *lpszPathName == '\0')
        return;
    const CString strPath = AfxCStr(QFileInfo(AfxQStr(lpszPathName)).absoluteFilePath());
    m_recentFiles.erase(std::remove(m_recentFiles.begin(), m_recentFiles.end(), strPath), m_recentFiles.end());
    m_recentFiles.insert(m_recentFiles.begin(), strPath);
    if (m_recentFiles.size() > m_nMaxMRU)
        m_recentFiles.resize(m_nMaxMRU);
    SaveRecentFiles();
}

CString CWinApp::GetRecentFile(int nIndex) const
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_recentFiles.size())
        return CString();
    return m_recentFiles[static_cast<std::size_t>(nIndex)];
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

int CWinApp::DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT nIDHelp)
{
    if (m_messageBoxHandler)
        return m_messageBoxHandler(lpszPrompt, nType, nIDHelp);
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
    {
        std::fprintf(stderr, "%s: %s\n", m_pszAppName, lpszPrompt != nullptr ? lpszPrompt : "");
        return IDOK;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (nType & 0xF0u)
    {
    case MB_ICONSTOP: icon = QMessageBox::Critical; break;
    case MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case MB_ICONEXCLAMATION: icon = QMessageBox::Warning; break;
    case MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    default: break;
    }
    QMessageBox box(icon, AfxQStr(m_pszAppName), AfxQStr(lpszPrompt), QMessageBox::Ok,
                    AfxGetWidget(m_pMainWnd));
    box.exec();
    return IDOK;
}

BOOL CWinApp::DoPromptFileName(CString& fileName, UINT, DWORD, BOOL bOpenFileDialog, CDocTemplate*)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return FALSE;
    QWidget* pParent = AfxGetWidget(m_pMainWnd);
    // All files only, and no extension added to a typed name: the extension chooses the format.
    const QString filter = QStringLiteral("All Files (*)");
    QString result;
    if (bOpenFileDialog)
        result = QFileDialog::getOpenFileName(pParent, QString(), AfxQStr(fileName), filter);
    else
        result = QFileDialog::getSaveFileName(pParent, QString(), AfxQStr(fileName), filter);
    if (result.isEmpty())
        return FALSE;
    fileName = AfxCStr(result);
    return TRUE;
}

void CWinApp::WinHelp(DWORD_PTR dwData, UINT nCmd)
{
    if (m_helpHandler)
        m_helpHandler(dwData, nCmd);
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
    const UINT nIndex = nID - ID_FILE_MRU_FILE1;
    if (nIndex >= m_recentFiles.size())
        return FALSE;
    // Copied: a successful open reorders the list.
    const CString strPath = m_recentFiles[nIndex];
    OpenDocumentFile(strPath);
    return TRUE;
}

void CWinApp::OnUpdateRecentFileMenu(CCmdUI* pCmdUI)
{
    if (auto* pActionUI = dynamic_cast<CQtActionCmdUI*>(pCmdUI))
        pActionUI->SetRecentFiles(m_recentFiles);
    else
        pCmdUI->Enable(!m_recentFiles.empty());
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

LPCTSTR AfxGetAppName()
{
    return g_pApp != nullptr ? g_pApp->m_pszAppName : "";
}

int AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT nIDHelp)
{
    if (g_pApp != nullptr)
        return g_pApp->DoMessageBox(lpszText, nType, nIDHelp);
    std::fprintf(stderr, "%s\n", lpszText != nullptr ? lpszText : "");
    return IDOK;
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp)
{
    CString strText;
    if (!strText.LoadString(nIDPrompt))
        strText.Format("Message %u.", nIDPrompt);
    return AfxMessageBox(strText, nType, nIDHelp == static_cast<UINT>(-1) ? nIDPrompt : nIDHelp);
}

BOOL AfxWinInit(int& argc, char** argv)
{
    g_bQuitPosted = false;
    if (QCoreApplication::instance() != nullptr)
        return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    g_pQtApp = new QApplication(argc, argv);
    // The main frame's WM_CLOSE ends the program, not Qt's last-window rule.
    QApplication::setQuitOnLastWindowClosed(false);
    return TRUE;
}

void AfxWinTerm()
{
    if (g_pApp != nullptr)
        g_pApp->CloseAllDocuments(TRUE);
    delete g_pQtApp;
    g_pQtApp = nullptr;
}

int AfxWinMain(int argc, char** argv)
{
    static int s_argc = argc;  // Qt keeps a reference to it
    if (!AfxWinInit(s_argc, argv))
        return 1;
    CWinApp* pApp = AfxGetApp();
    int nResult = 1;
    if (pApp != nullptr)
        nResult = pApp->InitInstance() ? pApp->Run() : pApp->ExitInstance();
    AfxWinTerm();
    return nResult;
}
