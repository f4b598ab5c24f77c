// The main window itself: its client area, scale factors, icon and title, no context menus,
// and a start that ignores the command line.
#include "tests/app/AppHarness.h"

namespace
{

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

TEST_F(AppTest, ScaleFactorsRoundToWholePixels)
{
    EXPECT_EQ(QGuiApplication::highDpiScaleFactorRoundingPolicy(), Qt::HighDpiScaleFactorRoundingPolicy::Round);
}

TEST_F(AppTest, WindowHasTheIconAndTitle)
{
    EXPECT_FALSE(m_pWindow->windowIcon().isNull());
    EXPECT_TRUE(m_pWindow->windowTitle().endsWith(Q("vellum")));
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

TEST_F(AppTest, FileNamedOnTheCommandLineIsNotOpened)
{
    // main() put a sample's path on this process's command line.
    ASSERT_TRUE(QCoreApplication::arguments().size() >= 2);
    EXPECT_TRUE(Document()->GetPathName().IsEmpty());
    EXPECT_EQ(Pane0(), Q("ﾚﾃﾞｨ"));
    EXPECT_EQ(m_pApp->GetRecentFileCount(), 0);
}

}  // namespace
