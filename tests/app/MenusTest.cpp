// The menu bar and the keys: the resource menus in order, the View items, and the shortcuts
// that run a command or nothing.
#include "tests/app/AppHarness.h"

namespace
{

struct ItemCase
{
    const char* pszText;  // null: separator
    UINT nID;
};

TEST_F(AppTest, MenuBarHasTheResourceMenusInOrder)
{
    const auto tops = m_pWindow->menuBar()->actions();
    ASSERT_EQ(tops.size(), 3);
    EXPECT_EQ(tops[0]->text(), Q("&File"));
    EXPECT_EQ(tops[1]->text(), Q("&View"));
    EXPECT_EQ(tops[2]->text(), Q("&Help"));

    const std::vector<std::vector<ItemCase>> kMenus = {
        {{"開く(&O)...\tCtrl+O", ID_FILE_OPEN},
         {"上書き保存(&S)\tCtrl+S", ID_FILE_SAVE},
         {"名前を付けて保存(&A)...", ID_FILE_SAVE_AS},
         {nullptr, 0},
         {"最新のファイル", ID_FILE_MRU_FILE1},
         {nullptr, 0},
         {"アプリケーションの終了(&X)", ID_APP_EXIT}},
        {{"&ToolBar", ID_VIEW_TOOLBAR}, {"&StatusBar", ID_VIEW_STATUS_BAR}},
        {{"&Index", ID_HELP_INDEX}, {"&About...", ID_APP_ABOUT}},
    };
    for (int m = 0; m < 3; ++m)
    {
        QMenu* pMenu = TopMenu(m);
        ASSERT_NE(pMenu, nullptr);
        const auto items = pMenu->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(kMenus[static_cast<std::size_t>(m)].size())) << m;
        for (int i = 0; i < items.size(); ++i)
        {
            const ItemCase& e = kMenus[static_cast<std::size_t>(m)][static_cast<std::size_t>(i)];
            if (e.pszText == nullptr)
            {
                EXPECT_TRUE(items[i]->isSeparator()) << m << "/" << i;
                continue;
            }
            EXPECT_EQ(items[i]->text(), Q(e.pszText)) << m << "/" << i;
            EXPECT_EQ(items[i]->data().toUInt(), e.nID) << m << "/" << i;
        }
    }
}

TEST_F(AppTest, ViewItemsSwitchTheBars)
{
    QToolBar* pToolBar = ToolBar();
    QWidget* pStatus = AfxGetWidget(StatusBar());
    ASSERT_NE(pToolBar, nullptr);
    ASSERT_NE(pStatus, nullptr);
    EXPECT_TRUE(pToolBar->isVisible());
    EXPECT_TRUE(pStatus->isVisible());

    // As a person does it: the View menu's own items.
    QAction* pToolItem = AfxFindAction(TopMenu(1), ID_VIEW_TOOLBAR);
    QAction* pStatusItem = AfxFindAction(TopMenu(1), ID_VIEW_STATUS_BAR);
    ASSERT_NE(pToolItem, nullptr);
    ASSERT_NE(pStatusItem, nullptr);
    pToolItem->trigger();
    pStatusItem->trigger();
    EXPECT_FALSE(pToolBar->isVisible());
    EXPECT_FALSE(pStatus->isVisible());
    emit TopMenu(1)->aboutToShow();
    EXPECT_FALSE(pToolItem->isChecked());
    EXPECT_FALSE(pStatusItem->isChecked());

    pToolItem->trigger();
    pStatusItem->trigger();
    EXPECT_TRUE(pToolBar->isVisible());
    EXPECT_TRUE(pStatus->isVisible());
    emit TopMenu(1)->aboutToShow();
    EXPECT_TRUE(pToolItem->isChecked());
    EXPECT_TRUE(pStatusItem->isChecked());
}

TEST_F(AppTest, CtrlNRunsFileNewOnTheSameDocument)
{
    Open("picture.bmp");
    CDocument* pDoc = Document();
    ASSERT_NE(pDoc, nullptr);
    EXPECT_FALSE(pDoc->GetPathName().IsEmpty());

    Key(Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Document(), pDoc) << "File/New reuses the document";
    EXPECT_TRUE(pDoc->GetPathName().IsEmpty());
    EXPECT_EQ(Q(pDoc->GetTitle()), Q("Untitled"));
}

TEST_F(AppTest, EditAndPaneShortcutsDoNothing)
{
    Open("picture.bmp");
    const QString status = Pane0();
    const CString path = Document()->GetPathName();
    struct KeyCase
    {
        int key;
        Qt::KeyboardModifiers mods;
    };
    const KeyCase kKeys[] = {
        {Qt::Key_C, Qt::ControlModifier},     {Qt::Key_Insert, Qt::ControlModifier},
        {Qt::Key_V, Qt::ControlModifier},     {Qt::Key_Insert, Qt::ShiftModifier},
        {Qt::Key_X, Qt::ControlModifier},     {Qt::Key_Delete, Qt::ShiftModifier},
        {Qt::Key_Z, Qt::ControlModifier},     {Qt::Key_Backspace, Qt::AltModifier},
        {Qt::Key_F6, Qt::NoModifier},         {Qt::Key_F6, Qt::ShiftModifier},
    };
    for (const auto& k : kKeys)
    {
        Key(k.key, k.mods);
        EXPECT_EQ(Pane0(), status) << k.key;
        EXPECT_EQ(Document()->GetPathName(), path) << k.key;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << k.key;
        EXPECT_TRUE(m_pWindow->isVisible()) << k.key;
    }
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(AppTest, CtrlOAsksForAFile)
{
    bool bSawDialog = false;
    QTimer::singleShot(0, [&] {
        if (auto* pDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
        {
            bSawDialog = qobject_cast<QFileDialog*>(pDialog) != nullptr;
            pDialog->reject();
        }
    });
    Key(Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(bSawDialog);
    EXPECT_TRUE(Document()->GetPathName().IsEmpty()) << "a cancelled dialog opens nothing";
}

}  // namespace
