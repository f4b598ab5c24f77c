// The application, template, frame, view, bars, menus, accelerators, dialogs and the paint
// path, hosted on the offscreen platform as the program and the converter host them.
#include "AfxQt.h"
#include "ResourceTables.h"

#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> g_log;

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
IMPLEMENT_DYNCREATE(CAppDoc, CDocument)
BEGIN_MESSAGE_MAP(CAppDoc, CDocument)
    ON_COMMAND(0x8002, OnDocCommand)
END_MESSAGE_MAP()

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
IMPLEMENT_DYNCREATE(CAppView, CView)
BEGIN_MESSAGE_MAP(CAppView, CView)
    ON_WM_SIZE()
    ON_WM_CREATE()
    ON_WM_ERASEBKGND()
    ON_COMMAND(0x8001, OnViewCommand)
    ON_COMMAND(0x8005, OnShared)
END_MESSAGE_MAP()

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
bool CAppFrame::s_bFailCreate = false;
IMPLEMENT_DYNCREATE(CAppFrame, CFrameWnd)
BEGIN_MESSAGE_MAP(CAppFrame, CFrameWnd)
    ON_WM_CREATE()
    ON_COMMAND(ID_HELP_INDEX, CWnd::OnHelpIndex)
    ON_COMMAND(0x8003, OnFrameCommand)
END_MESSAGE_MAP()

class CAppApp : public CWinApp
{
public:
    CString m_strPrompt;  // what the file dialog "returns"; empty: cancelled
    int m_nPrompts = 0;
    int m_nHelp = 0;
    std::vector<std::string> m_messages;

    explicit CAppApp(int nCmdShow)
    {
        m_nCmdShow = nCmdShow;
        SetMessageBoxHandler([this](LPCTSTR text, UINT, UINT) {
            m_messages.push_back(text);
            return IDOK;
        });
        SetHelpHandler([this](DWORD_PTR, UINT nCmd) { m_nHelp += nCmd == HELP_INDEX ? 1 : 100; });
    }
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
BEGIN_MESSAGE_MAP(CAppApp, CWinApp)
    ON_COMMAND(ID_FILE_NEW, CWinApp::OnFileNew)
    ON_COMMAND(ID_FILE_OPEN, CWinApp::OnFileOpen)
    ON_COMMAND(0x8004, OnAppCommand)
    ON_COMMAND(0x8005, OnShared)
END_MESSAGE_MAP()

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

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
    QMainWindow* Window() const { return AfxGetMainWindow(Frame()); }
    std::string File(const std::string& name, const std::string& content)
    {
        const std::string path = m_dir + "/" + name;
        WriteFile(path, content);
        return path;
    }
    QMenu* TopMenu(int n) const { return Window()->menuBar()->actions().at(n)->menu(); }

    std::string m_dir;
    std::unique_ptr<CAppApp> m_app;
};

TEST_F(AppTest, FileNewCreatesOnceAndReusesAfterwards)
{
    Start();
    CAppFrame* pFrame = Frame();
    ASSERT_NE(pFrame, nullptr);
    EXPECT_EQ(AfxGetMainWnd(), pFrame);
    EXPECT_EQ(AfxGetThread()->GetMainWnd(), pFrame);
    CAppView* pView = View();
    CAppDoc* pDoc = Doc();
    ASSERT_NE(pView, nullptr);
    ASSERT_NE(pDoc, nullptr);
    EXPECT_EQ(pView->GetDocument(), pDoc);
    POSITION pos = pDoc->GetFirstViewPosition();
    EXPECT_EQ(pDoc->GetNextView(pos), pView);
    EXPECT_EQ(pos, nullptr);
    EXPECT_STREQ(pDoc->GetTitle(), "Untitled");
    EXPECT_STREQ(pFrame->GetWindowText(), "Untitled - vellum");
    EXPECT_TRUE(pFrame->IsWindowVisible());

    pDoc->m_content = "kept";
    pFrame->SendMessage(WM_COMMAND, ID_FILE_NEW);
    EXPECT_EQ(Frame(), pFrame);
    EXPECT_EQ(View(), pView);
    EXPECT_EQ(Doc(), pDoc);
    EXPECT_EQ(pDoc->m_nNew, 2);
    EXPECT_EQ(pDoc->m_content, "kept");  // DeleteContents is the document's business
}

TEST_F(AppTest, HeadlessHostingShowsNothing)
{
    Start(SW_HIDE);
    EXPECT_FALSE(Frame()->IsWindowVisible());
    View()->SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(256, 256));
    ASSERT_FALSE(View()->m_sizes.empty());
    EXPECT_EQ(View()->m_sizes.back(), std::make_pair(256, 256));
    m_app->OnFileNew();
    EXPECT_FALSE(Frame()->IsWindowVisible());
    Frame()->SendMessage(WM_COMMAND, ID_APP_EXIT);
    EXPECT_EQ(m_app->Run(), 0);  // nothing to wait for once the frame has closed
}

TEST_F(AppTest, RunReturnsWhenTheMainFrameCloses)
{
    Start();
    ASSERT_TRUE(Frame()->PostMessage(WM_COMMAND, ID_APP_EXIT));
    EXPECT_EQ(m_app->Run(), 0);
    EXPECT_FALSE(Frame()->IsWindowVisible());
}

TEST_F(AppTest, CommandsRouteViewDocumentFrameApplication)
{
    Start();
    struct Case
    {
        UINT nID;
        const char* handler;
    };
    for (const Case& c : {Case{0x8001, "view"}, Case{0x8002, "doc"}, Case{0x8003, "frame"},
                          Case{0x8004, "app"}, Case{0x8005, "view shared"}})
    {
        g_log.clear();
        EXPECT_EQ(Frame()->SendMessage(WM_COMMAND, c.nID), 1);
        ASSERT_EQ(g_log.size(), 1u) << c.handler;
        EXPECT_EQ(g_log[0], c.handler);
    }
    g_log.clear();
    EXPECT_EQ(Frame()->SendMessage(WM_COMMAND, ID_EDIT_COPY), 0);
    EXPECT_EQ(Frame()->SendMessage(WM_COMMAND, ID_NEXT_PANE), 0);
    EXPECT_TRUE(g_log.empty());
    EXPECT_TRUE(m_app->m_messages.empty());

    Frame()->SendMessage(WM_COMMAND, ID_HELP_INDEX);
    EXPECT_EQ(m_app->m_nHelp, 1);
}

TEST_F(AppTest, OpenAndSaveThroughTheCommands)
{
    Start();
    const std::string in = File("in.bmp", "BM-data");
    m_app->m_strPrompt = in.c_str();
    Frame()->SendMessage(WM_COMMAND, ID_FILE_OPEN);
    EXPECT_EQ(Doc()->m_content, "BM-data");
    EXPECT_STREQ(Doc()->GetPathName(), in.c_str());
    EXPECT_STREQ(Doc()->GetTitle(), "in.bmp");
    EXPECT_STREQ(Frame()->GetWindowText(), "in.bmp - vellum");

    const std::string out = m_dir + "/out.tim";
    m_app->m_strPrompt = out.c_str();
    Frame()->SendMessage(WM_COMMAND, ID_FILE_SAVE_AS);
    EXPECT_EQ(ReadFile(out), "BM-data");
    EXPECT_STREQ(Doc()->GetPathName(), out.c_str());
    EXPECT_EQ(m_app->GetRecentFileCount(), 2);
    EXPECT_STREQ(m_app->GetRecentFile(0), out.c_str());
    EXPECT_STREQ(m_app->GetRecentFile(1), in.c_str());

    // File/Save writes to the document's path without asking.
    Doc()->m_content = "changed";
    const int nPrompts = m_app->m_nPrompts;
    Frame()->SendMessage(WM_COMMAND, ID_FILE_SAVE);
    EXPECT_EQ(m_app->m_nPrompts, nPrompts);
    EXPECT_EQ(ReadFile(out), "changed");

    // A cancelled dialog does nothing.
    m_app->m_strPrompt.Empty();
    Frame()->SendMessage(WM_COMMAND, ID_FILE_SAVE_AS);
    Frame()->SendMessage(WM_COMMAND, ID_FILE_OPEN);
    EXPECT_STREQ(Doc()->GetPathName(), out.c_str());
    EXPECT_TRUE(m_app->m_messages.empty());
}

TEST_F(AppTest, SaveAfterFileNewAsksForAName)
{
    Start();
    Doc()->m_content = "x";
    m_app->m_strPrompt = (m_dir + "/named.fnt").c_str();
    Frame()->SendMessage(WM_COMMAND, ID_FILE_SAVE);
    EXPECT_EQ(m_app->m_nPrompts, 1);
    EXPECT_EQ(ReadFile(m_dir + "/named.fnt"), "x");
}

TEST_F(AppTest, FailedOpenChangesNothing)
{
    Start();
    const std::string good = File("good.tim", "TIM");
    ASSERT_NE(m_app->OpenDocumentFile(good.c_str()), nullptr);
    const std::string missing = m_dir + "/missing.bmp";
    const std::string rejected = File("rejected.bmp", "reject");

    EXPECT_EQ(m_app->OpenDocumentFile(missing.c_str()), nullptr);
    EXPECT_EQ(m_app->OpenDocumentFile(rejected.c_str()), nullptr);
    ASSERT_EQ(m_app->m_messages.size(), 2u);
    EXPECT_EQ(m_app->m_messages[0], "Cannot open \"" + missing + "\": No such file or directory.");
    EXPECT_EQ(m_app->m_messages[1], "load error.");  // the document's own, and nothing more
    EXPECT_STREQ(Doc()->GetPathName(), good.c_str());
    EXPECT_STREQ(Doc()->GetTitle(), "good.tim");
    EXPECT_STREQ(Frame()->GetWindowText(), "good.tim - vellum");
    EXPECT_EQ(m_app->GetRecentFileCount(), 1);
    EXPECT_EQ(Doc()->m_content, "TIM");
}

TEST_F(AppTest, FailedSaveKeepsPathAndList)
{
    Start();
    const std::string target = File("keep.bmp", "OLD");
    m_app->m_strPrompt = target.c_str();
    Frame()->SendMessage(WM_COMMAND, ID_FILE_SAVE_AS);  // nothing loaded: the document refuses
    EXPECT_EQ(ReadFile(target), "OLD");
    ASSERT_EQ(m_app->m_messages.size(), 1u);
    EXPECT_EQ(m_app->m_messages[0], "\"no file loaded.\"");
    EXPECT_TRUE(Doc()->GetPathName().IsEmpty());
    EXPECT_EQ(m_app->GetRecentFileCount(), 0);
}

TEST_F(AppTest, RecentFilesPersistAcrossANewApplicationObject)
{
    Start();
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i)
    {
        paths.push_back(File("f" + std::to_string(i) + ".bmp", "data"));
        ASSERT_NE(m_app->OpenDocumentFile(paths.back().c_str()), nullptr);
    }
    ASSERT_NE(m_app->OpenDocumentFile(paths[2].c_str()), nullptr);  // moves to the head
    const std::vector<std::string> expected = {paths[2], paths[4], paths[3], paths[1]};
    m_app.reset();

    Start();
    ASSERT_EQ(m_app->GetRecentFileCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_STREQ(m_app->GetRecentFile(i), expected[static_cast<std::size_t>(i)].c_str());
    EXPECT_TRUE(Doc()->GetPathName().IsEmpty());  // nothing is reopened at start

    // The second entry opens that file.
    Frame()->SendMessage(WM_COMMAND, ID_FILE_MRU_FILE2);
    EXPECT_STREQ(Doc()->GetPathName(), paths[4].c_str());
    EXPECT_STREQ(m_app->GetRecentFile(0), paths[4].c_str());
}

TEST_F(AppTest, RecentFilesTakeThePlaceHolderInTheFileMenu)
{
    Start();
    QMenu* pFile = TopMenu(0);
    Frame()->UpdateCommandUI();
    QAction* pHolder = AfxFindAction(Window(), ID_FILE_MRU_FILE1);
    ASSERT_NE(pHolder, nullptr);
    EXPECT_EQ(pHolder->text(), QString::fromUtf8("最新のファイル"));
    EXPECT_TRUE(pHolder->isVisible());
    EXPECT_FALSE(pHolder->isEnabled());

    const std::string a = File("a&b.bmp", "1");
    ASSERT_NE(m_app->OpenDocumentFile(a.c_str()), nullptr);
    Frame()->UpdateCommandUI();
    EXPECT_FALSE(pHolder->isVisible());
    QStringList entries;
    for (QAction* act : pFile->actions())
        if (act->isVisible() && act->data().toUInt() == ID_FILE_MRU_FILE1)
            entries << act->text();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries[0].startsWith(QStringLiteral("&1 "))) << entries[0].toStdString();
    EXPECT_TRUE(entries[0].endsWith(QStringLiteral("a&&b.bmp"))) << entries[0].toStdString();
}

TEST_F(AppTest, FrameClientAreaIs256By330BelowTheMenuBar)
{
    Start();
    QMainWindow* pWindow = Window();
    QApplication::processEvents();
    EXPECT_EQ(pWindow->width(), 256);
    EXPECT_EQ(pWindow->height() - pWindow->menuBar()->height(), 330);
    EXPECT_EQ(pWindow->menuBar()->height(), GetSystemMetrics(SM_CYMENU));
    CRect rc;
    View()->GetClientRect(&rc);
    EXPECT_EQ(rc.Width(), 256);
    EXPECT_GT(rc.Height(), 200);
    ASSERT_FALSE(View()->m_sizes.empty());
    EXPECT_EQ(View()->m_sizes.back(), std::make_pair(rc.Width(), rc.Height()));
}

TEST_F(AppTest, MenuBarIsBuiltFromTheTable)
{
    Start();
    QMenuBar* pBar = Window()->menuBar();
    QStringList titles;
    for (QAction* a : pBar->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&View", "&Help"}));

    std::size_t nCount = 0;
    const RES_MENUITEM* pItems = ResFindMenu(IDR_MAINFRAME, &nCount);
    int nMenu = -1;
    int nItem = 0;
    for (std::size_t i = 0; i < nCount; ++i)
    {
        if (pItems[i].nLevel == 0)
        {
            ++nMenu;
            nItem = 0;
            continue;
        }
        QAction* a = TopMenu(nMenu)->actions().at(nItem++);
        if (pItems[i].nFlags & RES_MF_SEPARATOR)
        {
            EXPECT_TRUE(a->isSeparator());
            continue;
        }
        EXPECT_EQ(a->text(), QString::fromUtf8(pItems[i].pszText));  // "\t" label included
        EXPECT_EQ(a->data().toUInt(), pItems[i].nID);
        EXPECT_TRUE(a->shortcut().isEmpty()) << "keys belong to the accelerator table";
    }
    EXPECT_EQ(nMenu, 2);
}

TEST_F(AppTest, MenuPromptsAndTheIdleTextAfterwards)
{
    Start();
    CStatusBar& bar = Frame()->m_wndStatusBar;
    EXPECT_EQ(bar.GetPaneText(0), CString("ﾚﾃﾞｨ"));
    Frame()->SetStatusText("size:320x240");
    EXPECT_EQ(bar.GetPaneText(0), CString("size:320x240"));

    QMenu* pFile = TopMenu(0);
    pFile->popup(QPoint(0, 0));
    pFile->setActiveAction(AfxFindAction(Window(), ID_FILE_OPEN));
    EXPECT_EQ(bar.GetPaneText(0), CString("既存のﾌｧｲﾙを開く"));
    pFile->hide();
    EXPECT_EQ(bar.GetPaneText(0), CString("ﾚﾃﾞｨ"));

    // Indicator panes show their strings.
    EXPECT_EQ(bar.GetPaneText(1), CString("ｶﾅ"));
    EXPECT_EQ(bar.GetPaneText(2), CString("CAP"));
    EXPECT_EQ(bar.GetPaneText(3), CString("NUM"));
    EXPECT_EQ(bar.GetPaneText(4), CString("SCRL"));
}

TEST_F(AppTest, ToolbarTooltipsAndFlyByPrompts)
{
    Start();
    auto* pToolBar = Window()->findChild<QToolBar*>();
    ASSERT_NE(pToolBar, nullptr);
    const QList<QAction*> actions = pToolBar->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_TRUE(actions[2]->isSeparator());
    struct Expect
    {
        int index;
        UINT nID;
        const char* tip;
        const char* prompt;
    };
    for (const Expect& e : {Expect{0, ID_FILE_OPEN, "ファイルを開く", "既存のﾌｧｲﾙを開く"},
                            Expect{1, ID_FILE_SAVE_AS, "名前をつけて保存", "作業中のﾌｧｲﾙに名前をつけて保存"},
                            Expect{3, ID_HELP_INDEX, "HELP", "Read me/ How to use/ Document"}})
    {
        QAction* a = actions[e.index];
        EXPECT_EQ(a->data().toUInt(), e.nID);
        EXPECT_EQ(a->toolTip(), QString::fromUtf8(e.tip));
        EXPECT_FALSE(a->icon().isNull());
        auto* pButton = qobject_cast<QToolButton*>(pToolBar->widgetForAction(a));
        ASSERT_NE(pButton, nullptr);
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QCoreApplication::sendEvent(pButton, &enter);
        EXPECT_EQ(Frame()->m_wndStatusBar.GetPaneText(0), CString(e.prompt));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(pButton, &leave);
        EXPECT_EQ(Frame()->m_wndStatusBar.GetPaneText(0), CString("ﾚﾃﾞｨ"));
    }
    EXPECT_EQ(pToolBar->allowedAreas(), Qt::AllToolBarAreas);
    EXPECT_TRUE(pToolBar->isMovable());
    EXPECT_TRUE(pToolBar->isFloatable());
    EXPECT_EQ(Window()->toolBarArea(pToolBar), Qt::TopToolBarArea);

    g_log.clear();
    actions[3]->trigger();
    EXPECT_EQ(m_app->m_nHelp, 1);
}

TEST_F(AppTest, ViewMenuTogglesTheBarsWithCheckMarks)
{
    Start();
    QAction* pToolItem = AfxFindAction(TopMenu(1), ID_VIEW_TOOLBAR);
    QAction* pStatusItem = AfxFindAction(TopMenu(1), ID_VIEW_STATUS_BAR);
    ASSERT_NE(pToolItem, nullptr);
    ASSERT_NE(pStatusItem, nullptr);
    EXPECT_TRUE(pToolItem->isChecked());
    Frame()->SendMessage(WM_COMMAND, ID_VIEW_TOOLBAR);
    Frame()->UpdateCommandUI();
    EXPECT_TRUE(Window()->findChild<QToolBar*>()->isHidden());
    EXPECT_FALSE(pToolItem->isChecked());
    pStatusItem->trigger();
    EXPECT_TRUE(Window()->statusBar()->isHidden());
    EXPECT_FALSE(pStatusItem->isChecked());
    pStatusItem->trigger();
    EXPECT_FALSE(Window()->statusBar()->isHidden());
    EXPECT_TRUE(pStatusItem->isChecked());
}

TEST_F(AppTest, AcceleratorsRunCommandsAndUnhandledKeysDoNothing)
{
    Start();
    QMainWindow* pWindow = Window();
    pWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(pWindow));
    const int nNew = Doc()->m_nNew;
    QTest::keyClick(pWindow, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Doc()->m_nNew, nNew + 1);
    QTest::keyClick(pWindow, Qt::Key_F1);
    EXPECT_EQ(m_app->m_nHelp, 1);

    const std::string in = File("k.bmp", "key");
    m_app->m_strPrompt = in.c_str();
    QTest::keyClick(pWindow, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(m_app->m_nPrompts, 1);  // once: the menu item's label is not a second shortcut
    EXPECT_EQ(Doc()->m_content, "key");

    for (auto [key, mods] : {std::pair{Qt::Key_C, Qt::ControlModifier}, std::pair{Qt::Key_Insert, Qt::ShiftModifier},
                             std::pair{Qt::Key_Backspace, Qt::AltModifier}, std::pair{Qt::Key_F6, Qt::NoModifier}})
        QTest::keyClick(pWindow, key, mods);
    EXPECT_TRUE(m_app->m_messages.empty());
    EXPECT_EQ(Doc()->m_content, "key");
}

TEST_F(AppTest, FrameThatFailsToCreateFailsFileNew)
{
    CAppFrame::s_bFailCreate = true;
    Start();
    EXPECT_EQ(m_app->m_pMainWnd, nullptr);
    ASSERT_EQ(m_app->m_messages.size(), 1u);
    EXPECT_EQ(m_app->Run(), 0);
}

// --- paint path ------------------------------------------------------------------------------

struct PaintFixture : AppTest
{
    void SetUpImage(int nOrientation)
    {
        for (int i = 0; i < 256; ++i)
            m_colors[i] = RGBQUAD{0, 0, 0, 0};
        m_colors[1] = RGBQUAD{0, 0, 255, 0};    // red
        m_colors[2] = RGBQUAD{0, 255, 0, 0};    // green
        m_colors[3] = RGBQUAD{255, 0, 0, 0};    // blue
        m_colors[4] = RGBQUAD{10, 20, 30, 0};   // r=30 g=20 b=10
        // Memory rows: {1,2,3} then {4,4,4}.
        const std::uint8_t bits[6] = {1, 2, 3, 4, 4, 4};
        std::copy(bits, bits + 6, m_bits);
        View()->m_dib = DibView{m_bits, 3, 2, nOrientation, m_colors, 1};
    }
    QImage Paint() { return AfxGetWidget(View())->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::uint8_t m_bits[6];
    RGBQUAD m_colors[256];
};

TEST_F(PaintFixture, PixelsAppearInTheirColoursForBothOrientations)
{
    Start();
    struct Case
    {
        int nOrientation;
        int nTopRowFirstPixel;  // index shown at the top-left
    };
    for (const Case& c : {Case{1, 4}, Case{0, 4}, Case{-1, 1}})
    {
        SetUpImage(c.nOrientation);
        const QImage img = Paint();
        const QRgb top = img.pixel(0, 0);
        const QRgb bottom = img.pixel(2, 1);
        if (c.nTopRowFirstPixel == 4)
        {
            EXPECT_EQ(top, qRgb(30, 20, 10));
            EXPECT_EQ(bottom, qRgb(0, 0, 255));
            EXPECT_EQ(img.pixel(0, 1), qRgb(255, 0, 0));
        }
        else
        {
            EXPECT_EQ(top, qRgb(255, 0, 0));
            EXPECT_EQ(img.pixel(1, 0), qRgb(0, 255, 0));
            EXPECT_EQ(bottom, qRgb(30, 20, 10));
        }
    }
}

TEST_F(PaintFixture, UnchangedSourceIsNotConvertedAgain)
{
    Start();
    SetUpImage(-1);
    const std::uint64_t n0 = AfxPaintCacheConversions(View());
    Paint();
    EXPECT_EQ(AfxPaintCacheConversions(View()), n0 + 1);
    Paint();
    Paint();
    EXPECT_EQ(AfxPaintCacheConversions(View()), n0 + 1);

    m_colors[1] = RGBQUAD{0, 0, 128, 0};
    View()->m_dib.nGeneration = 2;  // the surface says it changed
    const QImage img = Paint();
    EXPECT_EQ(AfxPaintCacheConversions(View()), n0 + 2);
    EXPECT_EQ(img.pixel(0, 0), qRgb(128, 0, 0));
    Paint();
    EXPECT_EQ(AfxPaintCacheConversions(View()), n0 + 2);
}

TEST_F(PaintFixture, EraseRunsOnlyWhenAsked)
{
    Start();
    SetUpImage(-1);
    Paint();
    const int nErase = View()->m_nErase;
    const int nDraw = View()->m_nDraw;
    View()->Invalidate(FALSE);
    Paint();
    EXPECT_EQ(View()->m_nErase, nErase);
    View()->Invalidate(TRUE);
    Paint();
    EXPECT_EQ(View()->m_nErase, nErase + 1);
    EXPECT_EQ(View()->m_nDraw, nDraw + 2);
}

TEST(PaintExpansion, MatchesQtsOwnConversion)
{
    const int w = 37, h = 5;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(w * h));
    for (std::size_t i = 0; i < bits.size(); ++i)
        bits[i] = static_cast<std::uint8_t>(i * 7);
    RGBQUAD colors[256];
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i)
    {
        colors[i] = RGBQUAD{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                            static_cast<std::uint8_t>(i * 3), 0};
        table << qRgb(i * 3 & 0xFF, 255 - i, i);
    }
    QImage indexed(bits.data(), w, h, w, QImage::Format_Indexed8);
    indexed.setColorTable(table);
    QImage mine;
    AfxExpandDibToImage(DibView{bits.data(), w, h, -1, colors, 0}, mine);
    EXPECT_EQ(mine, indexed.convertToFormat(QImage::Format_RGB32));
}

// --- dialogs ---------------------------------------------------------------------------------

class CAboutProbe : public CDialog
{
public:
    CAboutProbe() : CDialog(IDD_ABOUTBOX) {}
    int m_nExchanges = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        ++m_nExchanges;
        CDialog::DoDataExchange(pDX);
    }
};

// Runs f on the modal dialog once it is up; closes it after a while if f did not.
INT_PTR RunModal(CDialog& dlg, const std::function<void(QDialog*)>& f)
{
    QTimer::singleShot(0, [f] {
        if (auto* p = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            f(p);
    });
    QTimer::singleShot(5000, [] {
        if (auto* p = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            p->QDialog::done(-2);
    });
    return dlg.DoModal();
}

TEST_F(AppTest, DialogIsBuiltFromItsTemplateAndEnterReturnsIdok)
{
    Start();
    CAboutProbe dlg;
    QString title, text, button;
    bool bDefault = false, bIcon = false;
    QSize size;
    const INT_PTR r = RunModal(dlg, [&](QDialog* p) {
        title = p->windowTitle();
        for (QLabel* l : p->findChildren<QLabel*>())
            if (!l->pixmap().isNull())
                bIcon = true;
            else
                text = l->text();
        if (auto* b = p->findChild<QPushButton*>())
        {
            button = b->text();
            bDefault = b->isDefault();
        }
        size = p->size();
        QTest::keyClick(p, Qt::Key_Return);
    });
    EXPECT_EQ(r, IDOK);
    EXPECT_EQ(title, QString::fromUtf8("バージョン情報(vellum)"));
    EXPECT_EQ(text, QStringLiteral("vellum Version 0.5"));
    EXPECT_EQ(button, QStringLiteral("OK"));
    EXPECT_TRUE(bDefault);
    EXPECT_TRUE(bIcon);
    // 217 x 55 dialog units in the dialog font's units.
    QFont font = QApplication::font();
    const RES_DIALOG* pTemplate = ResFindDialog(IDD_ABOUTBOX);
    font.setFamily(QString::fromUtf8(pTemplate->pszFont));
    font.setPointSize(pTemplate->nPointSize);
    const QFontMetrics fm(font);
    const int bx = (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
    EXPECT_EQ(size, QSize(217 * bx / 4, 55 * fm.height() / 8));
    EXPECT_EQ(dlg.m_nExchanges, 2);  // in OnInitDialog and in OnOK
    EXPECT_FALSE(dlg.IsWindow());
}

TEST_F(AppTest, EscapeClosesADialogWithIdcancel)
{
    Start();
    CAboutProbe dlg;
    EXPECT_EQ(RunModal(dlg, [](QDialog* p) { QTest::keyClick(p, Qt::Key_Escape); }), IDCANCEL);
    CDialog missing(4242);
    EXPECT_EQ(missing.DoModal(), -1);
}
}  // namespace
