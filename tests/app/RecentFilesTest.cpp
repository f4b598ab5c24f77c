// The recent-file list in the File menu: the grayed place-holder, entries that survive a
// restart, open by mouse or number key, and leave the list when their file is gone.
#include "tests/app/AppHarness.h"

namespace
{

TEST_F(AppTest, RecentFilePlaceHolderIsGrayedWhileTheListIsEmpty)
{
    m_pFrame->UpdateCommandUI();
    QAction* pHolder = AfxFindAction(m_pWindow, ID_FILE_MRU_FILE1);
    ASSERT_NE(pHolder, nullptr);
    EXPECT_FALSE(pHolder->isEnabled());
    EXPECT_EQ(AfxFindAction(m_pWindow, ID_FILE_NEW), nullptr) << "New has no menu item";
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

}  // namespace
