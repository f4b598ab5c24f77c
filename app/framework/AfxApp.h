#pragma once
// The application object, its thread, message boxes and the program's entry.

#include "AfxDoc.h"
#include "AfxWnd.h"

#include <functional>
#include <vector>

class CWinThread : public CCmdTarget
{
    DECLARE_DYNAMIC(CWinThread)
public:
    CWinThread() = default;
    CWnd* m_pMainWnd = nullptr;
    virtual CWnd* GetMainWnd() { return m_pMainWnd; }
    virtual BOOL InitInstance() { return TRUE; }
    // The event loop; returns ExitInstance's result once the main window has closed.
    virtual int Run();
    virtual int ExitInstance() { return 0; }
};

class CWinApp : public CWinThread
{
    DECLARE_DYNAMIC(CWinApp)
public:
    // A null name takes the title from string AFX_IDS_APP_TITLE.
    explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    ~CWinApp() override;

    LPCTSTR m_pszAppName = nullptr;  // the application title
    // How the first frame is shown: SW_HIDE keeps every window hidden (headless use).
    int m_nCmdShow = SW_SHOWNORMAL;

    BOOL InitInstance() override { return TRUE; }
    int Run() override;
    int ExitInstance() override;

    BOOL Enable3dControls() { return TRUE; }
    // Reads the recent-file list (up to nMaxMRU entries) from the profile.
    void LoadStdProfileSettings(UINT nMaxMRU = 4);
    // The profile: an ini file, by default $XDG_CONFIG_HOME/vellum/vellum.conf (or
    // ~/.config/...); read anew on every LoadStdProfileSettings.
    void SetProfilePath(LPCTSTR lpszPath);
    CString GetProfilePath() const;

    // The application takes ownership of the template.
    void AddDocTemplate(CDocTemplate* pTemplate);
    CDocTemplate* GetDocTemplate() const { return m_templates.empty() ? nullptr : m_templates.front(); }
    // Opens a file through the template (as File/Open does after its dialog); null on failure.
    virtual CDocument* OpenDocumentFile(LPCTSTR lpszFileName);

    // Recent files, most recent first, absolute paths.
    virtual void AddToRecentFileList(LPCTSTR lpszPathName);
    int GetRecentFileCount() const { return static_cast<int>(m_recentFiles.size()); }
    CString GetRecentFile(int nIndex) const;
    UINT GetMaxRecentFiles() const { return m_nMaxMRU; }

    // Every message box of the program ends here. The default shows a modal box with one OK
    // button and the application title as caption; a handler set with SetMessageBoxHandler
    // (the converter prints to stderr) takes its place.
    virtual int DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT nIDHelp);
    using MessageBoxHandler = std::function<int(LPCTSTR lpszPrompt, UINT nType, UINT nIDHelp)>;
    void SetMessageBoxHandler(MessageBoxHandler handler) { m_messageBoxHandler = std::move(handler); }

    // Asks for a file name with the platform's dialog (all files, no default extension);
    // FALSE when cancelled.
    virtual BOOL DoPromptFileName(CString& fileName, UINT nIDSTitle, DWORD lFlags,
                                  BOOL bOpenFileDialog, CDocTemplate* pTemplate);

    // Help: the default runs the handler the program set, if any.
    virtual void WinHelp(DWORD_PTR dwData, UINT nCmd = HELP_CONTEXT);
    using HelpHandler = std::function<void(DWORD_PTR dwData, UINT nCmd)>;
    void SetHelpHandler(HelpHandler handler) { m_helpHandler = std::move(handler); }

    // Closes and deletes every document, frame and view (at exit, before Qt goes).
    void CloseAllDocuments(BOOL bEndSession);

    // Command handlers of the map.
    void OnFileNew();
    void OnFileOpen();
    void OnAppExit();
    BOOL OnOpenRecentFile(UINT nID);
    void OnUpdateRecentFileMenu(CCmdUI* pCmdUI);

protected:
    void SaveRecentFiles() const;

    CString m_strAppName;
    CString m_strProfilePath;
    std::vector<CDocTemplate*> m_templates;
    std::vector<CString> m_recentFiles;
    UINT m_nMaxMRU = 0;
    MessageBoxHandler m_messageBoxHandler;
    HelpHandler m_helpHandler;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWinThread* AfxGetThread();
CWnd* AfxGetMainWnd();
LPCTSTR AfxGetAppName();

// Text of the string-table entry, or the application title, through CWinApp::DoMessageBox.
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = static_cast<UINT>(-1));

// The Qt application: created by AfxWinInit (if none exists yet) and destroyed, after every
// document and window, by AfxWinTerm. argc must outlive it (Qt keeps a reference).
BOOL AfxWinInit(int& argc, char** argv);
void AfxWinTerm();
// The whole program: AfxWinInit, InitInstance of the application object, Run, AfxWinTerm.
int AfxWinMain(int argc, char** argv);
