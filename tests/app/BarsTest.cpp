// The toolbar and the status bar: the buttons with their tips and prompts, the panes, and the
// status text after loads, failed loads and menus.
#include "tests/app/AppHarness.h"

namespace
{

TEST_F(AppTest, ToolbarHasOpenSaveAsGapHelpWithTipsAndPrompts)
{
    QToolBar* pToolBar = ToolBar();
    ASSERT_NE(pToolBar, nullptr);
    EXPECT_EQ(m_pWindow->toolBarArea(pToolBar), Qt::TopToolBarArea);
    EXPECT_TRUE(pToolBar->isMovable());
    EXPECT_TRUE(pToolBar->isFloatable());
    EXPECT_EQ(pToolBar->allowedAreas(), Qt::AllToolBarAreas);

    struct ButtonCase
    {
        UINT nID;  // 0: gap
        const char* pszTip;
        const char* pszPrompt;
    };
    const ButtonCase kButtons[] = {
        {ID_FILE_OPEN, "ファイルを開く", "既存のﾌｧｲﾙを開く"},
        {ID_FILE_SAVE_AS, "名前をつけて保存", "作業中のﾌｧｲﾙに名前をつけて保存"},
        {0, nullptr, nullptr},
        {ID_HELP_INDEX, "HELP", "Read me/ How to use/ Document"},
    };
    const auto actions = pToolBar->actions();
    ASSERT_EQ(actions.size(), 4);
    for (int i = 0; i < 4; ++i)
    {
        const ButtonCase& b = kButtons[i];
        QAction* a = actions[i];
        if (b.nID == 0)
        {
            EXPECT_TRUE(a->isSeparator());
            continue;
        }
        EXPECT_EQ(a->data().toUInt(), b.nID);
        EXPECT_EQ(a->toolTip(), Q(b.pszTip)) << i;
        EXPECT_FALSE(a->icon().isNull()) << i;

        // Resting the pointer on the button puts its prompt in the first pane.
        QWidget* pButton = pToolBar->widgetForAction(a);
        ASSERT_NE(pButton, nullptr);
        QTest::mouseMove(pButton);
        QCoreApplication::processEvents();
        EXPECT_EQ(Pane0(), Q(b.pszPrompt)) << i;
        QTest::mouseMove(m_pWindow, QPoint(1, m_pWindow->height() / 2));
        QCoreApplication::processEvents();
    }
}

TEST_F(AppTest, StatusBarHasMessagePaneAndFourIndicators)
{
    CStatusBar* pBar = StatusBar();
    ASSERT_NE(pBar, nullptr);
    const UINT kIds[] = {ID_SEPARATOR, ID_INDICATOR_KANA, ID_INDICATOR_CAPS, ID_INDICATOR_NUM,
                         ID_INDICATOR_SCRL};
    const char* kTexts[] = {"ﾚﾃﾞｨ", "ｶﾅ", "CAP", "NUM", "SCRL"};
    for (int i = 0; i < 5; ++i)
    {
        EXPECT_EQ(pBar->GetItemID(i), kIds[i]) << i;
        EXPECT_EQ(Q(pBar->GetPaneText(i)), Q(kTexts[i])) << i;
    }
}

TEST_F(AppTest, StatusTextAfterLoadsAndIdleTextAfterAMenuCloses)
{
    struct LoadCase
    {
        const char* pszName;
        const char* pszStatus;
    };
    const LoadCase kLoads[] = {
        {"picture.bmp", "size:128x96"},
        {"picture.tim", "size:96x64"},
        {"font256.fnt", "size:16x16  no:32-90"},
        {"font16.fnt", "size:8x8  no:48-90"},
    };
    for (const auto& l : kLoads)
    {
        Open(l.pszName);
        EXPECT_EQ(Pane0(), Q(l.pszStatus)) << l.pszName;
    }
    EXPECT_TRUE(m_messages.empty());

    QMenu* pFile = TopMenu(0);
    ASSERT_NE(pFile, nullptr);
    pFile->popup(m_pWindow->mapToGlobal(QPoint(0, 0)));
    QCoreApplication::processEvents();
    pFile->setActiveAction(pFile->actions().first());
    QCoreApplication::processEvents();
    EXPECT_EQ(Pane0(), Q("既存のﾌｧｲﾙを開く")) << "menu prompt";
    pFile->hide();
    QCoreApplication::processEvents();
    EXPECT_EQ(Pane0(), Q("ﾚﾃﾞｨ"));
}

TEST_F(AppTest, FailedLoadShowsItsMessageAndKeepsTheStatus)
{
    Open("picture.bmp");
    QTemporaryDir dir;
    const QString bad = dir.path() + "/bad.bin";
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("XYZ123456");
    }
    m_pApp->OpenDocumentFile(bad.toUtf8().constData());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "unknown data format.");
    EXPECT_EQ(Pane0(), Q("size:128x96"));
}

}  // namespace
