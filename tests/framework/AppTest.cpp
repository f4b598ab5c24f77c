// The application, template, frame, view, bars, menus and dialogs as the framework's core
// keeps them, hosted on the headless backend as the converter hosts them.
#include "tests/framework/AppFixture.h"

#include <algorithm>

namespace
{

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

TEST_F(AppTest, HiddenHostingShowsNothing)
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

TEST_F(AppTest, FrameThatFailsToCreateFailsFileNew)
{
    CAppFrame::s_bFailCreate = true;
    Start();
    EXPECT_EQ(m_app->m_pMainWnd, nullptr);
    ASSERT_EQ(m_app->m_messages.size(), 1u);
    EXPECT_EQ(m_app->Run(), 0);
}

// The File menu as the core holds it: the place-holder stands grayed while the list is empty
// and gives way to the entries once it has some.
TEST_F(AppTest, RecentFilesTakeThePlaceHolderInTheFileMenu)
{
    Start();
    auto fileMenu = [this]() -> const CMenuPopup& { return Frame()->GetMenus().at(0); };
    Frame()->OnInitMenuPopup(0);
    int nHolder = fileMenu().FindItem(ID_FILE_MRU_FILE1);
    ASSERT_GE(nHolder, 0);
    EXPECT_EQ(fileMenu().m_items[static_cast<std::size_t>(nHolder)].strText, CString("最新のファイル"));
    EXPECT_TRUE(fileMenu().m_items[static_cast<std::size_t>(nHolder)].bVisible);
    EXPECT_FALSE(fileMenu().m_items[static_cast<std::size_t>(nHolder)].bEnabled);

    ::setenv("HOME", m_dir.c_str(), 1);
    const std::string a = File("a&b.bmp", "1");
    const std::string b = File("b.bmp", "2");
    ASSERT_NE(m_app->OpenDocumentFile(a.c_str()), nullptr);
    ASSERT_NE(m_app->OpenDocumentFile(b.c_str()), nullptr);
    Frame()->OnInitMenuPopup(0);
    std::vector<std::string> entries;
    std::vector<UINT> ids;
    bool bHolderVisible = true;
    for (const CMenuItem& item : fileMenu().m_items)
    {
        if (item.bRecentFile)
        {
            entries.push_back(item.strText.Str());
            ids.push_back(item.nID);
            EXPECT_TRUE(item.bEnabled);
        }
        else if (!item.bSeparator && item.nID == ID_FILE_MRU_FILE1)
            bHolderVisible = item.bVisible != FALSE;
    }
    EXPECT_FALSE(bHolderVisible);
    EXPECT_EQ(entries, (std::vector<std::string>{"&1 ~/b.bmp", "&2 ~/a&&b.bmp"}));
    EXPECT_EQ(ids, (std::vector<UINT>{ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE2}));
    // Entries sit where the place-holder is, between the separators.
    nHolder = fileMenu().FindItem(ID_FILE_MRU_FILE1);
    EXPECT_TRUE(fileMenu().m_items[static_cast<std::size_t>(nHolder) - 1].bSeparator);

    // An update that changes nothing keeps every item, and a new entry leaves the others be.
    auto keys = [&] {
        std::vector<std::uint64_t> result;
        for (const CMenuItem& item : fileMenu().m_items)
            result.push_back(item.nKey);
        return result;
    };
    const std::vector<std::uint64_t> before = keys();
    Frame()->OnInitMenuPopup(0);
    EXPECT_EQ(keys(), before);
    ASSERT_NE(m_app->OpenDocumentFile(File("c.bmp", "3").c_str()), nullptr);
    Frame()->OnInitMenuPopup(0);
    std::vector<std::uint64_t> after = keys();
    ASSERT_EQ(after.size(), before.size() + 1);
    after.erase(after.begin() + nHolder + 2);  // the new third entry
    EXPECT_EQ(after, before);
}

TEST_F(AppTest, MenusAndBarsAreBuiltFromTheResources)
{
    Start();
    std::size_t nCount = 0;
    const RES_MENUITEM* pItems = AfxFindMenu(IDR_MAINFRAME, &nCount);
    const std::vector<CMenuPopup>& menus = Frame()->GetMenus();
    std::size_t nMenu = 0, nItem = 0;
    for (std::size_t i = 0; i < nCount; ++i)
    {
        if (pItems[i].nLevel == 0)
        {
            nMenu = i == 0 ? 0 : nMenu + 1;
            nItem = 0;
            ASSERT_LT(nMenu, menus.size());
            EXPECT_EQ(menus[nMenu].m_strTitle, CString(pItems[i].pszText));
            continue;
        }
        const CMenuItem& item = menus[nMenu].m_items.at(nItem++);
        EXPECT_EQ(item.bSeparator != FALSE, (pItems[i].nFlags & RES_MF_SEPARATOR) != 0);
        if (!item.bSeparator)
        {
            EXPECT_EQ(item.strText, CString(pItems[i].pszText));
            EXPECT_EQ(item.nID, pItems[i].nID);
        }
    }
    EXPECT_EQ(menus.size(), 3u);
    EXPECT_EQ(Frame()->GetAccelerators().size(), 14u);

    const std::vector<CToolButton>& buttons = Frame()->m_wndToolBar.GetButtons();
    ASSERT_EQ(buttons.size(), 4u);
    EXPECT_EQ(buttons[0].iImage, 0);
    EXPECT_EQ(buttons[1].iImage, 1);
    EXPECT_EQ(buttons[2].nID, UINT{ID_SEPARATOR});
    EXPECT_EQ(buttons[3].iImage, 2);
    EXPECT_EQ(Frame()->m_wndToolBar.GetBarStyle() & (CBRS_TOOLTIPS | CBRS_FLYBY), CBRS_TOOLTIPS | CBRS_FLYBY);
    EXPECT_FALSE(Frame()->m_wndToolBar.LoadBitmap(4242));
}

TEST_F(AppTest, PromptsStatusTextAndTheIdleText)
{
    Start();
    CStatusBar& bar = Frame()->m_wndStatusBar;
    EXPECT_EQ(bar.GetPaneText(0), CString("ﾚﾃﾞｨ"));
    Frame()->SetStatusText("size:320x240");
    EXPECT_EQ(bar.GetPaneText(0), CString("size:320x240"));
    EXPECT_EQ(bar.GetWindowText(), CString("size:320x240"));
    Frame()->SetMessageText(ID_FILE_OPEN);
    EXPECT_EQ(bar.GetPaneText(0), CString("既存のﾌｧｲﾙを開く"));
    Frame()->SetMessageText(AFX_IDS_IDLEMESSAGE);
    EXPECT_EQ(bar.GetPaneText(0), CString("ﾚﾃﾞｨ"));
    EXPECT_EQ(bar.GetPaneText(1), CString("ｶﾅ"));
    EXPECT_EQ(bar.GetPaneText(2), CString("CAP"));
    EXPECT_EQ(bar.GetPaneText(3), CString("NUM"));
    EXPECT_EQ(bar.GetPaneText(4), CString("SCRL"));
    EXPECT_EQ(bar.GetPaneText(5), CString());
}

TEST_F(AppTest, ViewMenuSwitchesTheBarsWithCheckMarks)
{
    Start();
    auto viewItem = [this](UINT nID) -> const CMenuItem& {
        const CMenuPopup& menu = Frame()->GetMenus().at(1);
        return menu.m_items.at(static_cast<std::size_t>(menu.FindItem(nID)));
    };
    EXPECT_EQ(viewItem(ID_VIEW_TOOLBAR).nCheck, 1);
    Frame()->RunCommand(ID_VIEW_TOOLBAR);
    EXPECT_FALSE(Frame()->m_wndToolBar.GetStyle() & WS_VISIBLE);
    EXPECT_FALSE(Frame()->m_wndToolBar.IsWindowVisible());
    EXPECT_EQ(viewItem(ID_VIEW_TOOLBAR).nCheck, 0);
    Frame()->RunCommand(ID_VIEW_STATUS_BAR);
    EXPECT_EQ(viewItem(ID_VIEW_STATUS_BAR).nCheck, 0);
    Frame()->RunCommand(ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(Frame()->m_wndStatusBar.IsWindowVisible());
    EXPECT_EQ(viewItem(ID_VIEW_STATUS_BAR).nCheck, 1);
    // Commands nothing handles leave their items disabled; the place-holder stays grayed.
    const CMenuPopup& file = Frame()->GetMenus().at(0);
    EXPECT_TRUE(file.m_items.at(static_cast<std::size_t>(file.FindItem(ID_FILE_SAVE))).bEnabled);
    EXPECT_FALSE(file.m_items.at(static_cast<std::size_t>(file.FindItem(ID_FILE_MRU_FILE1))).bEnabled);
}

class CProbeDialog : public CDialog
{
public:
    explicit CProbeDialog(UINT nID) : CDialog(nID) {}
    int m_nExchanges = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        ++m_nExchanges;
        CDialog::DoDataExchange(pDX);
    }
};

TEST_F(AppTest, DialogWithNobodyToAnswerEndsCancelled)
{
    Start();
    CProbeDialog dlg(IDD_ABOUTBOX);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.m_nExchanges, 1);  // in OnInitDialog only: cancelling validates nothing
    EXPECT_FALSE(dlg.IsWindow());
    CProbeDialog missing(4242);
    EXPECT_EQ(missing.DoModal(), -1);
}

TEST_F(AppTest, PostedMessagesToAWindowThatWentAreDropped)
{
    Start();
    g_log.clear();
    auto* pView = new CAppView;
    ASSERT_TRUE(pView->Create(nullptr, nullptr, WS_CHILD, CRect(0, 0, 10, 10), Frame(), 1));
    ASSERT_TRUE(pView->PostMessage(WM_COMMAND, 0x8001));
    ASSERT_TRUE(View()->PostMessage(WM_COMMAND, 0x8001));
    delete pView;
    Frame()->PostMessage(WM_COMMAND, ID_APP_EXIT);
    EXPECT_EQ(m_app->Run(), 0);
    EXPECT_EQ(g_log, std::vector<std::string>{"view"});
}

}  // namespace
