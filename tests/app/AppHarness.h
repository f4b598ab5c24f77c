#pragma once
// The desktop program as a person meets it, on Qt's offscreen platform: one application object
// per test, with the helpers that reach its menus, bars and window. The tests are grouped by
// what they try: the menus and keys, the bars, the recent files, the about box and help, and
// the window itself.

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

inline const std::string kSamples = VELLUM_SAMPLES_DIR;

inline QString Q(const char* psz) { return QString::fromUtf8(psz); }

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
