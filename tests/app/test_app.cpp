// The desktop program as a person meets it, on Qt's offscreen platform: the menus, the
// shortcuts, the toolbar, the status bar, the frame's size, the about box, the help window,
// the recent-file list and the command line.

#include "app/AboutDlg.h"
#include "app/MainFrm.h"
#include "app/VellumApp.h"
#include "framework/qt/AfxQt.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace
{

const std::string kSamples = VELLUM_SAMPLES_DIR;

QString Q(const char* psz) { return QString::fromUtf8(psz); }

// The program's application with its message boxes collected instead of shown.
class CRecordingApp : public CVellumApp
{
public:
    explicit CRecordingApp(std::vector<std::string>& messages) : m_messages(messages) {}
    int DoMessageBox(LPCTSTR lpszPrompt, UINT, UINT) override
    {
        m_messages.emplace_back(lpszPrompt != nullptr ? lpszPrompt : "");
        return IDOK;
    }

private:
    std::vector<std::string>& m_messages;
};

// One application object per test, on its own profile; message boxes are collected.
class AppTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_profile.isValid());
        StartApp();
    }

    void TearDown() override { StopApp(); }

    void StartApp()
    {
        ::setenv("XDG_CONFIG_HOME", m_profile.path().toUtf8().constData(), 1);
        m_pApp = std::make_unique<CRecordingApp>(m_messages);
        ASSERT_TRUE(m_pApp->InitInstance());
        m_pFrame = dynamic_cast<CMainFrame*>(m_pApp->m_pMainWnd);
        ASSERT_NE(m_pFrame, nullptr);
        m_pWindow = AfxGetMainWindow(m_pFrame);
        ASSERT_NE(m_pWindow, nullptr);
        m_pWindow->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_pWindow));
    }

    void StopApp()
    {
        if (!m_pApp)
            return;
        m_pApp->ExitInstance();
        m_pApp->CloseAllDocuments(TRUE);
        m_pApp.reset();
        m_pFrame = nullptr;
        m_pWindow = nullptr;
    }

    CStatusBar* StatusBar() const
    {
        return dynamic_cast<CStatusBar*>(m_pFrame->GetControlBar(AFX_IDW_STATUS_BAR));
    }
    QString Pane0() const { return Q(StatusBar()->GetPaneText(0)); }

    QMenu* TopMenu(int nIndex) const
    {
        const auto tops = m_pWindow->menuBar()->actions();
        return nIndex < tops.size() ? tops[nIndex]->menu() : nullptr;
    }

    QToolBar* ToolBar() const { return qobject_cast<QToolBar*>(AfxGetWidget(m_pFrame->GetControlBar(AFX_IDW_TOOLBAR))); }

    CDocument* Document() const { return m_pFrame->GetActiveDocument(); }

    // Entry nIndex of the recent-file list as the File menu shows it, after the menu's update.
    QAction* RecentEntry(int nIndex) const
    {
        QMenu* pFile = TopMenu(0);
        emit pFile->aboutToShow();
        int n = 0;
        for (QAction* a : pFile->actions())
            if (a->isVisible() && !a->isSeparator() && a->data().toUInt() >= ID_FILE_MRU_FILE1 &&
                a->data().toUInt() <= ID_FILE_MRU_FILE4 && a->isEnabled())
                if (n++ == nIndex)
                    return a;
        return nullptr;
    }

    void Open(const char* pszName)
    {
        ASSERT_NE(m_pApp->OpenDocumentFile((kSamples + "/" + pszName).c_str()), nullptr) << pszName;
    }

    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(m_pWindow, static_cast<Qt::Key>(key), mods);
        QCoreApplication::processEvents();
    }

    QTemporaryDir m_profile;
    std::unique_ptr<CVellumApp> m_pApp;
    CMainFrame* m_pFrame = nullptr;
    QMainWindow* m_pWindow = nullptr;
    std::vector<std::string> m_messages;
};

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

TEST_F(AppTest, RecentFilePlaceHolderIsGrayedWhileTheListIsEmpty)
{
    m_pFrame->UpdateCommandUI();
    QAction* pHolder = AfxFindAction(m_pWindow, ID_FILE_MRU_FILE1);
    ASSERT_NE(pHolder, nullptr);
    EXPECT_FALSE(pHolder->isEnabled());
    EXPECT_EQ(AfxFindAction(m_pWindow, ID_FILE_NEW), nullptr) << "New has no menu item";
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

TEST_F(AppTest, ClientAreaIs256By330BelowTheMenuBar)
{
    EXPECT_EQ(m_pWindow->width(), 256);
    EXPECT_EQ(m_pWindow->height() - m_pWindow->menuBar()->height(), 330);
    // The view gets what the bars leave.
    CView* pView = m_pFrame->GetActiveView();
    ASSERT_NE(pView, nullptr);
    CRect rc;
    pView->GetClientRect(&rc);
    EXPECT_EQ(rc.Width(), 256);
    EXPECT_GT(rc.Height(), 200);
    EXPECT_LT(rc.Height(), 330);
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

TEST_F(AppTest, AboutBoxShowsIconNameVersionAndClosesOnEscape)
{
    QString title, version;
    bool bIcon = false, bDefaultOk = false, bClosedByEscape = false;
    QTimer::singleShot(0, [&] {
        auto* pDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (pDialog == nullptr)
            return;
        title = pDialog->windowTitle();
        for (QLabel* pLabel : pDialog->findChildren<QLabel*>())
        {
            if (pLabel->text() == Q("vellum Version 0.5"))
                version = pLabel->text();
            if (!pLabel->pixmap().isNull())
                bIcon = true;
        }
        for (QPushButton* pButton : pDialog->findChildren<QPushButton*>())
            if (pButton->text() == Q("OK") && pButton->isDefault())
                bDefaultOk = true;
        QTest::keyClick(pDialog, Qt::Key_Escape);
        bClosedByEscape = !pDialog->isVisible();
        if (!bClosedByEscape)
            pDialog->reject();
    });
    AfxFindAction(TopMenu(2), ID_APP_ABOUT)->trigger();
    EXPECT_EQ(title, Q("バージョン情報(vellum)"));
    EXPECT_EQ(version, Q("vellum Version 0.5"));
    EXPECT_TRUE(bIcon);
    EXPECT_TRUE(bDefaultOk);
    EXPECT_TRUE(bClosedByEscape);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(AppTest, HelpOpensFromMenuF1AndToolbar)
{
    auto helpWindow = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("vellumHelp") && w->isVisible())
                return qobject_cast<QTextBrowser*>(w);
        return static_cast<QTextBrowser*>(nullptr);
    };
    auto closeHelp = [&] {
        if (QTextBrowser* w = helpWindow())
        {
            w->close();
            QCoreApplication::processEvents();
        }
    };

    Key(Qt::Key_F1);
    QTextBrowser* pHelp = helpWindow();
    ASSERT_NE(pHelp, nullptr) << "F1";
    EXPECT_TRUE(pHelp->toPlainText().contains(Q("unknown data format.")));
    EXPECT_TRUE(pHelp->toPlainText().contains(Q(".tim")));
    closeHelp();

    AfxFindAction(m_pWindow->menuBar(), ID_HELP_INDEX)->trigger();
    EXPECT_NE(helpWindow(), nullptr) << "Help/Index";
    closeHelp();

    QToolBar* pToolBar = ToolBar();
    QAction* pHelpButton = pToolBar->actions().at(3);
    QTest::mouseClick(pToolBar->widgetForAction(pHelpButton), Qt::LeftButton);
    EXPECT_NE(helpWindow(), nullptr) << "toolbar";
    closeHelp();
}

TEST_F(AppTest, RecentFilesSurviveARestart)
{
    Open("picture.tim");
    Open("font16.fnt");
    ASSERT_EQ(m_pApp->GetRecentFileCount(), 2);
    StopApp();
    StartApp();

    ASSERT_EQ(m_pApp->GetRecentFileCount(), 2);
    EXPECT_TRUE(Q(m_pApp->GetRecentFile(0)).endsWith(Q("/font16.fnt")));
    EXPECT_TRUE(Q(m_pApp->GetRecentFile(1)).endsWith(Q("/picture.tim")));

    // The File menu lists them in place of the place-holder, and they open.
    QMenu* pFile = TopMenu(0);
    ASSERT_NE(pFile, nullptr);
    emit pFile->aboutToShow();
    QStringList texts;
    for (QAction* a : pFile->actions())
        if (a->isVisible() && !a->isSeparator())
            texts << a->text();
    EXPECT_TRUE(texts.filter(Q("font16.fnt")).size() == 1) << texts.join(", ").toStdString();
    EXPECT_TRUE(texts.filter(Q("picture.tim")).size() == 1) << texts.join(", ").toStdString();
    EXPECT_FALSE(texts.contains(Q("最新のファイル")));

    // The second entry, chosen in the menu itself, opens its file.
    QAction* pEntry = RecentEntry(1);
    ASSERT_NE(pEntry, nullptr);
    pEntry->trigger();
    EXPECT_EQ(Pane0(), Q("size:96x64"));
    EXPECT_TRUE(Q(Document()->GetPathName()).endsWith(Q("/picture.tim")));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(AppTest, RecentFileEntriesOpenByMouseAndByTheirNumberKey)
{
    Open("picture.tim");
    Open("picture.bmp");
    Open("font16.fnt");
    // By mouse: the menu opens, the entry is clicked.
    QMenu* pFile = TopMenu(0);
    pFile->popup(m_pWindow->mapToGlobal(QPoint(0, 0)));
    QTest::qWait(10);
    QAction* pEntry = RecentEntry(2);
    ASSERT_NE(pEntry, nullptr);
    ASSERT_TRUE(pEntry->text().endsWith(Q("picture.tim"))) << pEntry->text().toStdString();
    QTest::mouseClick(pFile, Qt::LeftButton, Qt::NoModifier, pFile->actionGeometry(pEntry).center());
    EXPECT_TRUE(Q(Document()->GetPathName()).endsWith(Q("/picture.tim")));
    EXPECT_EQ(Pane0(), Q("size:96x64"));

    // By key: with the menu open, the entry's number.
    pFile->popup(m_pWindow->mapToGlobal(QPoint(0, 0)));
    QTest::qWait(10);
    ASSERT_NE(RecentEntry(2), nullptr);
    ASSERT_TRUE(RecentEntry(2)->text().endsWith(Q("picture.bmp")));
    QTest::keyClick(pFile, Qt::Key_3);
    EXPECT_TRUE(Q(Document()->GetPathName()).endsWith(Q("/picture.bmp")));
    EXPECT_EQ(Pane0(), Q("size:128x96"));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(AppTest, RecentFileThatIsGoneLeavesTheListOneThatFailsStays)
{
    QTemporaryDir dir;
    const QString gone = dir.path() + "/gone.bmp";
    const QString broken = dir.path() + "/broken.bmp";
    ASSERT_TRUE(QFile::copy(Q((kSamples + "/picture.bmp").c_str()), gone));
    ASSERT_TRUE(QFile::copy(Q((kSamples + "/picture.bmp").c_str()), broken));
    Open("picture.tim");
    ASSERT_NE(m_pApp->OpenDocumentFile(broken.toUtf8().constData()), nullptr);
    ASSERT_NE(m_pApp->OpenDocumentFile(gone.toUtf8().constData()), nullptr);
    ASSERT_EQ(m_pApp->GetRecentFileCount(), 3);
    ASSERT_TRUE(QFile::remove(gone));
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("not a picture");
    }
    RecentEntry(0)->trigger();  // gone
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Cannot open \"" + gone.toStdString() + "\": No such file or directory.");
    ASSERT_EQ(m_pApp->GetRecentFileCount(), 2);
    EXPECT_EQ(Q(m_pApp->GetRecentFile(0)), broken);
    EXPECT_EQ(RecentEntry(2), nullptr);

    RecentEntry(0)->trigger();  // exists but cannot be read
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1], "unknown data format.");
    EXPECT_EQ(m_pApp->GetRecentFileCount(), 2);
    EXPECT_EQ(Q(m_pApp->GetRecentFile(0)), broken);

    // The list on disk agrees after a restart.
    StopApp();
    StartApp();
    EXPECT_EQ(m_pApp->GetRecentFileCount(), 2);
}

TEST_F(AppTest, AboutBoxStandsAtItsPlaceInTheFramesClientArea)
{
    QPoint place, expected;
    QTimer::singleShot(0, [&] {
        auto* pDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (pDialog == nullptr)
            return;
        // The window's own corner, frame included, as the template's position means it.
        place = pDialog->frameGeometry().topLeft();
        // (34, 22) in the dialog's own units, from the corner below the menu bar.
        const RES_DIALOG* pTemplate = AfxFindDialog(IDD_ABOUTBOX);
        const QFontMetrics fm(pDialog->font());
        const int bx = (fm.horizontalAdvance(Q("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
        const int by = fm.height();
        expected = m_pWindow->mapToGlobal(QPoint(0, m_pWindow->menuBar()->height())) +
                   QPoint(pTemplate->x * bx / 4, pTemplate->y * by / 8);
        pDialog->reject();
    });
    AfxFindAction(TopMenu(2), ID_APP_ABOUT)->trigger();
    EXPECT_EQ(place, expected);
    EXPECT_NE(expected, QPoint(0, 0));
}

TEST_F(AppTest, BarsAndMenuBarOpenNoContextMenu)
{
    for (QWidget* w : {static_cast<QWidget*>(ToolBar()), static_cast<QWidget*>(m_pWindow->menuBar())})
    {
        // A menu would run its own loop: look for it from inside, and close it.
        bool bPopup = false;
        QTimer::singleShot(0, [&] {
            if (QWidget* p = QApplication::activePopupWidget())
            {
                bPopup = true;
                p->close();
            }
        });
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(w, &e);
        QCoreApplication::processEvents();
        EXPECT_FALSE(bPopup) << w->metaObject()->className();
    }
    EXPECT_TRUE(ToolBar()->isVisible());
}

TEST_F(AppTest, ScaleFactorsRoundToWholePixels)
{
    EXPECT_EQ(QGuiApplication::highDpiScaleFactorRoundingPolicy(), Qt::HighDpiScaleFactorRoundingPolicy::Round);
}

TEST_F(AppTest, FileNamedOnTheCommandLineIsNotOpened)
{
    // main() put a sample's path on this process's command line.
    ASSERT_TRUE(QCoreApplication::arguments().size() >= 2);
    EXPECT_TRUE(Document()->GetPathName().IsEmpty());
    EXPECT_EQ(Pane0(), Q("ﾚﾃﾞｨ"));
    EXPECT_EQ(m_pApp->GetRecentFileCount(), 0);
}

TEST_F(AppTest, WindowHasTheIconAndTitle)
{
    EXPECT_FALSE(m_pWindow->windowIcon().isNull());
    EXPECT_TRUE(m_pWindow->windowTitle().endsWith(Q("vellum")));
}

}  // namespace

// The offscreen platform warns about every window operation it cannot do; keep the rest.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& msg)
{
    if (type == QtWarningMsg && msg.startsWith(QLatin1String("This plugin does not support")))
        return;
    qt_message_output(type, context, msg);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietOffscreen);
    ::testing::InitGoogleTest(&argc, argv);
    // A file on the command line, which the program must leave alone.
    std::string strSample = kSamples + "/picture.bmp";
    std::vector<char*> args(argv, argv + argc);
    args.push_back(strSample.data());
    args.push_back(nullptr);
    int nArgs = argc + 1;
    if (!AfxWinInit(nArgs, args.data()))
        return 1;
    const int nResult = RUN_ALL_TESTS();
    AfxWinTerm();
    return nResult;
}
