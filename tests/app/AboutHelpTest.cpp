// The about box and the help window: what they show, where they stand, how they open and close.
#include "tests/app/AppHarness.h"

namespace
{

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

}  // namespace
