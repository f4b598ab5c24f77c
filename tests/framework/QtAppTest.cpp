// What only widgets do: the menu bar, the toolbar's tooltips and prompts, the bars on screen,
// keys and dialogs, on Qt's offscreen platform. The paint path is in QtPaintTest.cpp.
#include "framework/qt/AfxQt.h"
#include "tests/framework/AppFixture.h"

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

#include <functional>

namespace
{

class QtAppTest : public AppTest
{
protected:
    QMainWindow* Window() const { return AfxGetMainWindow(Frame()); }
    QMenu* TopMenu(int n) const { return Window()->menuBar()->actions().at(n)->menu(); }
};

TEST_F(QtAppTest, RecentFilesTakeThePlaceHolderInTheFileMenu)
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

// Opening the File menu updates the recent-file entries. Every item must still run its command
// afterwards, chosen the way a key reaches it (the menu's own key handling, not trigger()), and
// keep its QAction while it exists.
TEST_F(QtAppTest, FileMenuItemsRunAfterTheRecentListChanged)
{
    Start();
    QMainWindow* pWindow = Window();
    pWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(pWindow));
    QMenu* pFile = TopMenu(0);
    QAction* pOpen = AfxFindAction(pFile, ID_FILE_OPEN);
    ASSERT_NE(pOpen, nullptr);

    std::vector<std::string> paths;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"})
        paths.push_back(File(name, name));
    for (std::size_t nOpened = 0; nOpened <= paths.size(); ++nOpened)
    {
        if (nOpened > 0)
        {
            m_app->m_strPrompt = paths[nOpened - 1].c_str();
            QTest::keyClick(pWindow, Qt::Key_O, Qt::ControlModifier);
            ASSERT_EQ(Doc()->m_content, paths[nOpened - 1].substr(m_dir.size() + 1));
        }
        // Twice: the first opening may add an entry, the second must change nothing.
        for (int nTimes = 0; nTimes < 2; ++nTimes)
        {
            const QList<QAction*> before = pFile->actions();
            pFile->popup(QPoint(0, 0));
            ASSERT_TRUE(QTest::qWaitForWindowExposed(pFile));
            if (nTimes == 1)
            {
                EXPECT_EQ(pFile->actions(), before) << "an unchanged list rebuilt the menu";
            }
            EXPECT_EQ(AfxFindAction(pFile, ID_FILE_OPEN), pOpen);
            m_app->m_strPrompt.Empty();
            const int nPrompts = m_app->m_nPrompts;
            QTest::keyClick(pFile, Qt::Key_O);  // the item's mnemonic
            EXPECT_EQ(m_app->m_nPrompts, nPrompts + 1) << "after " << nOpened << " opens";
            EXPECT_FALSE(pFile->isVisible());
        }
    }
    int nEntries = 0;
    for (QAction* a : pFile->actions())
        nEntries += a->isVisible() && a->data().toUInt() >= ID_FILE_MRU_FILE1 &&
                    a->data().toUInt() <= ID_FILE_MRU_FILE4;
    EXPECT_EQ(nEntries, 4);
}

TEST_F(QtAppTest, FrameClientAreaIs256By330BelowTheMenuBar)
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

TEST_F(QtAppTest, MenuBarIsBuiltFromTheTable)
{
    Start();
    QMenuBar* pBar = Window()->menuBar();
    QStringList titles;
    for (QAction* a : pBar->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&View", "&Help"}));

    std::size_t nCount = 0;
    const RES_MENUITEM* pItems = AfxFindMenu(IDR_MAINFRAME, &nCount);
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

TEST_F(QtAppTest, MenuPromptsAndTheIdleTextAfterwards)
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

TEST_F(QtAppTest, ToolbarTooltipsAndFlyByPrompts)
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

TEST_F(QtAppTest, ViewMenuTogglesTheBarsWithCheckMarks)
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

TEST_F(QtAppTest, AcceleratorsRunCommandsAndUnhandledKeysDoNothing)
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

TEST_F(QtAppTest, DialogIsBuiltFromItsTemplateAndEnterReturnsIdok)
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
    const RES_DIALOG* pTemplate = AfxFindDialog(IDD_ABOUTBOX);
    font.setFamily(QString::fromUtf8(pTemplate->pszFont));
    font.setPointSize(pTemplate->nPointSize);
    const QFontMetrics fm(font);
    const int bx = (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
    EXPECT_EQ(size, QSize(217 * bx / 4, 55 * fm.height() / 8));
    EXPECT_EQ(dlg.m_nExchanges, 2);  // in OnInitDialog and in OnOK
    EXPECT_FALSE(dlg.IsWindow());
}

TEST_F(QtAppTest, EscapeClosesADialogWithIdcancel)
{
    Start();
    CAboutProbe dlg;
    EXPECT_EQ(RunModal(dlg, [](QDialog* p) { QTest::keyClick(p, Qt::Key_Escape); }), IDCANCEL);
    CDialog missing(4242);
    EXPECT_EQ(missing.DoModal(), -1);
}
}  // namespace
