#pragma once
// The application object, its thread, the recent-file list, message boxes and the
// program's entry.

#include "framework/AfxDoc.h"
#include "framework/AfxWnd.h"

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

// The recently used files, most recent first, as absolute paths; the File menu shows them
// in place of its place-holder item.
class CRecentFileList
{
public:
    explicit CRecentFileList(UINT nMaxSize = 0) : m_nMaxSize(nMaxSize) {}

    UINT GetMaxSize() const { return m_nMaxSize; }
    int GetSize() const { return static_cast<int>(m_arrNames.size()); }
    const std::vector<CString>& GetNames() const { return m_arrNames; }
    CString operator[](int nIndex) const;

    // Keeps at most the first nMax of names, without duplicates.
    void Assign(const std::vector<CString>& names);
    // Puts the path (made absolute) at the head; false when nothing changed.
    bool Add(LPCTSTR lpszPathName);
    void Remove(int nIndex);

    // The menu text of entry nIndex: "&1 ~/pics/a.bmp", mnemonics in the path escaped.
    CString GetMenuText(int nIndex) const;
    // Puts the entries in place of the place-holder item the command UI stands for
    // (the place-holder shows, grayed, while the list is empty).
    void UpdateMenu(CCmdUI* pCmdUI) const;

private:
    UINT m_nMaxSize;
    std::vector<CString> m_arrNames;
};

class CWinApp : public CWinThread
{
    DECLARE_DYNAMIC(CWinApp)
public:
    // A null name takes the title from string AFX_IDS_APP_TITLE when the framework starts.
    explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    ~CWinApp() override;

    LPCTSTR m_pszAppName = "";  // the application title
    // How the first frame is shown: SW_HIDE keeps every window hidden.
    int m_nCmdShow = SW_SHOWNORMAL;

    BOOL InitInstance() override { return TRUE; }
    int Run() override;
    int ExitInstance() override;

    BOOL Enable3dControls() { return TRUE; }
    // Reads the recent-file list (up to nMaxMRU entries) from the profile.
    void LoadStdProfileSettings(UINT nMaxMRU = 4);
    // The profile: $XDG_CONFIG_HOME/NAME/NAME.conf (or ~/.config/...) for the profile name the
    // program registered with its resources; empty when it registered none.
    CString GetProfilePath() const;

    // The application takes ownership of the template.
    void AddDocTemplate(CDocTemplate* pTemplate);
    CDocTemplate* GetDocTemplate() const { return m_templates.empty() ? nullptr : m_templates.front(); }
    // Opens a file through the template (as File/Open does after its dialog); null on failure.
    virtual CDocument* OpenDocumentFile(LPCTSTR lpszFileName);

    // Recent files, most recent first, absolute paths.
    virtual void AddToRecentFileList(LPCTSTR lpszPathName);
    int GetRecentFileCount() const { return m_recentFileList.GetSize(); }
    CString GetRecentFile(int nIndex) const { return m_recentFileList[nIndex]; }

    // Every message box of the program ends here; the default shows the platform's box with
    // one OK button and the application title as caption.
    virtual int DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT nIDHelp);
    // Asks for a file name with the platform's dialog (all files, no default extension);
    // FALSE when cancelled.
    virtual BOOL DoPromptFileName(CString& fileName, UINT nIDSTitle, DWORD lFlags,
                                  BOOL bOpenFileDialog, CDocTemplate* pTemplate);
    // Help: the platform shows the program's help page.
    virtual void WinHelp(DWORD_PTR dwData, UINT nCmd = HELP_CONTEXT);

    // Closes and deletes every document, frame and view (at exit, before the platform goes).
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
    std::vector<CDocTemplate*> m_templates;
    CRecentFileList m_recentFileList;
    friend BOOL AfxWinInit(int& argc, char** argv);

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWinThread* AfxGetThread();
CWnd* AfxGetMainWnd();

// Text of the string-table entry, or the application title, through CWinApp::DoMessageBox.
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = static_cast<UINT>(-1));

// Ends the event loop (or keeps Run from starting one) once the main frame has closed.
void AfxPostQuit();
bool AfxQuitPosted();

// Starts the platform and takes the application title from the string table where the
// application gave none; AfxWinTerm closes every document and window, then the platform.
BOOL AfxWinInit(int& argc, char** argv);
void AfxWinTerm();
// The whole program: AfxWinInit, InitInstance of the application object, Run, AfxWinTerm.
int AfxWinMain(int argc, char** argv);
