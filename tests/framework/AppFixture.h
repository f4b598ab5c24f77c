#pragma once
// A document, view, frame and application written the way the program writes its own, for
// the framework's tests on either backend. The definitions of their runtime classes and
// message maps are in AppFixture.cpp.

#include "framework/Afx.h"
#include "resources/ResourceTables.h"
#include "resources/resource.h"
#include "tests/framework/ScratchFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

inline std::vector<std::string> g_log;

class CAppDoc : public CDocument
{
    DECLARE_DYNCREATE(CAppDoc)
public:
    std::string m_content;
    int m_nNew = 0;
    BOOL OnNewDocument() override
    {
        ++m_nNew;
        return CDocument::OnNewDocument();
    }
    void Serialize(CArchive& ar) override
    {
        CFile* pFile = ar.GetFile();
        if (ar.IsLoading())
        {
            std::string data(static_cast<std::size_t>(pFile->GetLength()), '\0');
            data.resize(pFile->Read(data.data(), static_cast<std::uint32_t>(data.size())));
            if (data == "reject")
            {
                AfxMessageBox(IDS_LOAD_ERROR);
                AfxThrowUserException();
            }
            m_content = data;
            return;
        }
        if (m_content.empty())
        {
            AfxMessageBox(IDS_NO_FILE_LOADED);
            AfxThrowUserException();
        }
        pFile->Write(m_content.data(), static_cast<std::uint32_t>(m_content.size()));
    }
    void OnDocCommand() { g_log.push_back("doc"); }
    DECLARE_MESSAGE_MAP()
};

class CAppView : public CView
{
    DECLARE_DYNCREATE(CAppView)
public:
    DibView m_dib;
    std::vector<std::pair<int, int>> m_sizes;
    int m_nErase = 0;
    int m_nDraw = 0;
    void OnDraw(CDC* pDC) override
    {
        ++m_nDraw;
        if (m_dib.pBits != nullptr)
            pDC->m_hDC->BlitFrom(m_dib, 0, 0, m_dib.nWidth, m_dib.nHeight, 0, 0);
    }
    void OnSize(UINT nType, int cx, int cy) override
    {
        CView::OnSize(nType, cx, cy);
        m_sizes.emplace_back(cx, cy);
    }
    int OnCreate(LPCREATESTRUCT lpcs) override { return CView::OnCreate(lpcs) == -1 ? -1 : 0; }
    BOOL OnEraseBkgnd(CDC*) override
    {
        ++m_nErase;
        return TRUE;
    }
    void OnViewCommand() { g_log.push_back("view"); }
    void OnShared() { g_log.push_back("view shared"); }
    DECLARE_MESSAGE_MAP()
};

const UINT kButtons[] = {ID_FILE_OPEN, ID_FILE_SAVE_AS, ID_SEPARATOR, ID_HELP_INDEX};
const UINT kIndicators[] = {ID_SEPARATOR, ID_INDICATOR_KANA, ID_INDICATOR_CAPS, ID_INDICATOR_NUM,
                            ID_INDICATOR_SCRL};

// Written the way the program's main frame is.
class CAppFrame : public CFrameWnd
{
    DECLARE_DYNCREATE(CAppFrame)
public:
    static bool s_bFailCreate;
    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override
    {
        CFrameWnd::PreCreateWindow(cs);
        cs.cx = 2 * GetSystemMetrics(SM_CXFRAME) + 256;
        cs.cy = 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYMENU) +
                GetSystemMetrics(SM_CYCAPTION) + 330;
        return TRUE;
    }
    int OnCreate(LPCREATESTRUCT lpCreateStruct) override
    {
        if (CFrameWnd::OnCreate(lpCreateStruct) == -1 || s_bFailCreate)
            return -1;
        if (!m_wndToolBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_TOP, AFX_IDW_TOOLBAR) ||
            !m_wndToolBar.LoadBitmap(IDR_MAINFRAME) || !m_wndToolBar.SetButtons(kButtons, 4))
            return -1;
        if (!m_wndStatusBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR) ||
            !m_wndStatusBar.SetIndicators(kIndicators, 5))
            return -1;
        m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
        EnableDocking(CBRS_ALIGN_ANY);
        DockControlBar(&m_wndToolBar);
        m_wndToolBar.SetBarStyle(m_wndToolBar.GetBarStyle() | CBRS_TOOLTIPS | CBRS_FLYBY);
        return 0;
    }
    void OnFrameCommand() { g_log.push_back("frame"); }
    DECLARE_MESSAGE_MAP()
};

class CAppApp : public CWinApp
{
public:
    CString m_strPrompt;  // what the file dialog "returns"; empty: cancelled
    int m_nPrompts = 0;
    int m_nHelp = 0;
    std::vector<std::string> m_messages;

    explicit CAppApp(int nCmdShow) { m_nCmdShow = nCmdShow; }
    int DoMessageBox(LPCTSTR lpszPrompt, UINT, UINT) override
    {
        m_messages.emplace_back(lpszPrompt != nullptr ? lpszPrompt : "");
        return IDOK;
    }
    void WinHelp(DWORD_PTR, UINT nCmd) override { m_nHelp += nCmd == HELP_INDEX ? 1 : 100; }
    BOOL InitInstance() override
    {
        Enable3dControls();
        LoadStdProfileSettings(4);
        AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CAppDoc), RUNTIME_CLASS(CAppFrame),
                                              RUNTIME_CLASS(CAppView)));
        OnFileNew();
        return TRUE;
    }
    BOOL DoPromptFileName(CString& fileName, UINT, DWORD, BOOL, CDocTemplate*) override
    {
        ++m_nPrompts;
        if (m_strPrompt.IsEmpty())
            return FALSE;
        fileName = m_strPrompt;
        return TRUE;
    }
    void OnAppCommand() { g_log.push_back("app"); }
    void OnShared() { g_log.push_back("app shared"); }
    DECLARE_MESSAGE_MAP()
};

class AppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/vellum-app-test.XXXXXX";
        m_dir = ::mkdtemp(tmpl);
        ::setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
        g_log.clear();
    }
    void TearDown() override
    {
        m_app.reset();
        CAppFrame::s_bFailCreate = false;
        if (std::system(("rm -rf '" + m_dir + "'").c_str()) != 0)
            ADD_FAILURE() << "could not remove " << m_dir;
    }
    void Start(int nCmdShow = SW_SHOWNORMAL)
    {
        m_app = std::make_unique<CAppApp>(nCmdShow);
        ASSERT_TRUE(m_app->InitInstance());
    }
    CAppFrame* Frame() const { return static_cast<CAppFrame*>(m_app->m_pMainWnd); }
    CAppView* View() const { return static_cast<CAppView*>(Frame()->GetActiveView()); }
    CAppDoc* Doc() const { return static_cast<CAppDoc*>(Frame()->GetActiveDocument()); }
    std::string File(const std::string& name, const std::string& content)
    {
        const std::string path = m_dir + "/" + name;
        WriteFile(path, content);
        return path;
    }

    std::string m_dir;
    std::unique_ptr<CAppApp> m_app;
};

