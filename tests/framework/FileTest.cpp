// Files and the document's open and safe save, on real files in a scratch folder.
#include "framework/Afx.h"
#include "resources/resource.h"
#include "tests/framework/SaveDocs.h"
#include "tests/framework/ScratchFiles.h"
#include "tests/support/OrdinaryUser.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
// --- CFile ----------------------------------------------------------------------------------

TEST(File, MissingFileThrowsWithPathAndCause)
{
    ScratchDir dir;
    const std::string path = dir / "missing.bmp";
    try
    {
        CFile file(path.c_str(), CFile::modeRead);
        FAIL() << "no exception";
    }
    catch (const CFileException& e)
    {
        EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
        EXPECT_EQ(e.m_lOsError, ENOENT);
        EXPECT_STREQ(e.GetCauseText(), "No such file or directory");
        EXPECT_STREQ(e.GetErrorMessage(), (path + ": No such file or directory").c_str());
    }
    CFile file;
    CFileException fe;
    EXPECT_FALSE(file.Open(path.c_str(), CFile::modeRead, &fe));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(fe.m_lOsError, ENOENT);
}

TEST(File, DirectoriesAndPipesAreNotFiles)
{
    ScratchDir dir;
    CFileException fe;
    CFile file;
    EXPECT_FALSE(file.Open(dir.Path().c_str(), CFile::modeRead, &fe));
    EXPECT_STREQ(fe.GetCauseText(), "Is a directory");
    EXPECT_FALSE(file.Open(dir.Path().c_str(), CFile::modeCreate | CFile::modeWrite, &fe));
    EXPECT_STREQ(fe.GetCauseText(), "Is a directory");

    // Opening a pipe must neither hang nor succeed.
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(file.Open(fifo.c_str(), CFile::modeRead, &fe));
    EXPECT_EQ(fe.m_cause, CFileException::invalidFile);
}

TEST(File, ReadOnlyTargetCannotBeCreated)
{
    ScratchDir dir;
    AsOrdinaryUser({dir.Path()}, [&] {
        const std::string path = dir / "locked.tim";
        WriteFile(path, "old");
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        CFile file;
        CFileException fe;
        EXPECT_FALSE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite, &fe));
        EXPECT_STREQ(fe.GetCauseText(), "Permission denied");
        EXPECT_EQ(ReadFile(path), "old");
    });
}

TEST(File, ReadsDeliverWhatIsThereAndSeeksMove)
{
    ScratchDir dir;
    const std::string path = dir / "ten";
    WriteFile(path, "0123456789");
    CFile file(path.c_str(), CFile::modeRead);
    EXPECT_EQ(file.GetLength(), 10u);
    char buf[32] = {};
    EXPECT_EQ(file.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(file.GetPosition(), 4u);
    EXPECT_EQ(file.Read(buf, 32), 6u);  // short only at the end
    EXPECT_EQ(std::string(buf, 6), "456789");
    EXPECT_EQ(file.Read(buf, 32), 0u);
    EXPECT_EQ(file.Seek(2, CFile::begin), 2u);
    EXPECT_EQ(file.Seek(3, CFile::current), 5u);
    EXPECT_EQ(file.Read(buf, 1), 1u);
    EXPECT_EQ(buf[0], '5');
    EXPECT_THROW(file.Seek(-1, CFile::begin), CFileException);
    EXPECT_EQ(file.GetPosition(), 6u);
    EXPECT_THROW(file.Write("x", 1), CFileException);  // opened for reading
}

TEST(File, WritesAndClosesThenReadsBack)
{
    ScratchDir dir;
    const std::string path = dir / "out";
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        file.Write("abc", 3);
        file.Write("", 0);
        EXPECT_EQ(file.GetPosition(), 3u);
        EXPECT_EQ(file.GetLength(), 3u);
        file.Close();
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(ReadFile(path), "abc");
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);  // truncates
    }
    EXPECT_EQ(ReadFile(path), "");
}

// --- documents ----------------------------------------------------------------------------

enum class SaveMode
{
    Write,          // writes m_data
    FailMidWrite,   // writes part, then the disk is full
    UserAbort,      // tells the user itself, then aborts quietly
    BadAlloc,       // runs out of memory
};

class CScratchDoc : public CDocument
{
public:
    std::string m_data = "NEW CONTENT";
    std::string m_loaded;
    SaveMode m_mode = SaveMode::Write;
    void Serialize(CArchive& ar) override
    {
        CFile* pFile = ar.GetFile();
        if (ar.IsLoading())
        {
            char buf[64];
            const std::uint32_t n = pFile->Read(buf, sizeof buf);
            if (std::string(buf, n) == "reject")
            {
                AfxMessageBox("load error.");
                AfxThrowUserException();
            }
            m_loaded.assign(buf, n);
            return;
        }
        switch (m_mode)
        {
        case SaveMode::Write:
            pFile->Write(m_data.data(), static_cast<std::uint32_t>(m_data.size()));
            break;
        case SaveMode::FailMidWrite:
            pFile->Write("partial", 7);
            throw CFileException::FromErrno(ENOSPC, pFile->GetFilePath());
        case SaveMode::UserAbort:
            AfxMessageBox("\"no file loaded.\"");
            AfxThrowUserException();
        case SaveMode::BadAlloc:
            pFile->Write("partial", 7);
            throw std::bad_alloc();
        }
    }
};

class DocumentFiles : public ::testing::Test
{
protected:
    CRecordingApp m_app;
    std::vector<std::string>& m_messages = m_app.m_messages;
    ScratchDir m_dir;
    CScratchDoc m_doc;
};

TEST_F(DocumentFiles, SuccessfulSaveReplacesTheTargetAndKeepsItsMode)
{
    const std::string target = m_dir / "picture.bmp";
    WriteFile(target, "OLD");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    EXPECT_TRUE(m_doc.OnSaveDocument(target.c_str()));
    EXPECT_EQ(ReadFile(target), "NEW CONTENT");
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"picture.bmp"}));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(DocumentFiles, NewFileGetsTheUsualModeAndNoTemporaryRemains)
{
    const std::string target = m_dir / "new.tim";
    const mode_t old = ::umask(022);
    EXPECT_TRUE(m_doc.OnSaveDocument(target.c_str()));
    ::umask(old);
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"new.tim"}));
}

struct FailedSaveCase
{
    const char* name;
    SaveMode mode;
    const char* expectedMessage;  // null: no message from the framework
};

class FailedSave : public DocumentFiles, public ::testing::WithParamInterface<FailedSaveCase>
{
};

TEST_P(FailedSave, LeavesTheTargetUntouchedAndNoTemporary)
{
    const FailedSaveCase& c = GetParam();
    const std::string target = m_dir / "font.fnt";
    WriteFile(target, "PREVIOUS");
    m_doc.m_mode = c.mode;
    EXPECT_FALSE(m_doc.OnSaveDocument(target.c_str()));
    EXPECT_EQ(ReadFile(target), "PREVIOUS");
    EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"font.fnt"}));
    if (c.mode == SaveMode::UserAbort)
    {
        ASSERT_EQ(m_messages.size(), 1u);  // the document's own, nothing more
        EXPECT_EQ(m_messages[0], "\"no file loaded.\"");
    }
    else
    {
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0], "Cannot save \"" + target + "\": " + c.expectedMessage + ".");
    }

    // And a target that did not exist is not created.
    m_messages.clear();
    const std::string fresh = m_dir / "fresh.bmp";
    EXPECT_FALSE(m_doc.OnSaveDocument(fresh.c_str()));
    EXPECT_EQ(::access(fresh.c_str(), F_OK), -1);
    EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"font.fnt"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedSave,
                         ::testing::Values(FailedSaveCase{"DiskFull", SaveMode::FailMidWrite, "No space left on device"},
                                           FailedSaveCase{"UserAbort", SaveMode::UserAbort, nullptr},
                                           FailedSaveCase{"OutOfMemory", SaveMode::BadAlloc, "Cannot allocate memory"}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(DocumentFiles, DirectoryMissingFolderAndReadOnlyTargetsFailCleanly)
{
    EXPECT_FALSE(m_doc.OnSaveDocument(m_dir.Path().c_str()));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages.back(), "Cannot save \"" + m_dir.Path() + "\": Is a directory.");

    const std::string inMissing = m_dir / "no/such/folder.bmp";
    EXPECT_FALSE(m_doc.OnSaveDocument(inMissing.c_str()));
    EXPECT_EQ(m_messages.back(), "Cannot save \"" + inMissing + "\": No such file or directory.");

    AsOrdinaryUser({m_dir.Path()}, [&] {
        const std::string locked = m_dir / "locked.bmp";
        WriteFile(locked, "KEEP");
        ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
        EXPECT_FALSE(m_doc.OnSaveDocument(locked.c_str()));
        EXPECT_EQ(m_messages.back(), "Cannot save \"" + locked + "\": Permission denied.");
        EXPECT_EQ(ReadFile(locked), "KEEP");

        // A folder that cannot take the temporary: a file in it that may be written is
        // written in place, one that may not stays as it is.
        const std::string sub = m_dir / "sub";
        ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
        const std::string inSub = sub + "/file.bmp";
        const std::string lockedInSub = sub + "/locked.bmp";
        WriteFile(inSub, "KEEP");
        WriteFile(lockedInSub, "KEEP");
        ASSERT_EQ(::chmod(lockedInSub.c_str(), 0444), 0);
        ASSERT_EQ(::chmod(sub.c_str(), 0555), 0);
        EXPECT_TRUE(m_doc.OnSaveDocument(inSub.c_str()));
        EXPECT_EQ(ReadFile(inSub), "NEW CONTENT");
        EXPECT_FALSE(m_doc.OnSaveDocument(lockedInSub.c_str()));
        EXPECT_EQ(m_messages.back(), "Cannot save \"" + lockedInSub + "\": Permission denied.");
        EXPECT_EQ(ReadFile(lockedInSub), "KEEP");
        EXPECT_EQ(m_messages.size(), 4u);
        EXPECT_EQ(ScratchDir::Entries(sub), (std::set<std::string>{"file.bmp", "locked.bmp"}));
    });
}

TEST_F(DocumentFiles, SavingThroughALinkReplacesTheLinkedFile)
{
    const std::string real = m_dir / "real.bmp";
    const std::string link = m_dir / "link.bmp";
    WriteFile(real, "OLD");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    EXPECT_TRUE(m_doc.OnSaveDocument(link.c_str()));
    EXPECT_EQ(ReadFile(real), "NEW CONTENT");
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(DocumentFiles, OpenReportsUnreadableFilesAndQuietUserAborts)
{
    const std::string missing = m_dir / "gone.tim";
    EXPECT_FALSE(m_doc.OnOpenDocument(missing.c_str()));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Cannot open \"" + missing + "\": No such file or directory.");

    const std::string rejected = m_dir / "rejected.bmp";
    WriteFile(rejected, "reject");
    EXPECT_FALSE(m_doc.OnOpenDocument(rejected.c_str()));
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1], "load error.");

    const std::string good = m_dir / "good.bmp";
    WriteFile(good, "BM....");
    EXPECT_TRUE(m_doc.OnOpenDocument(good.c_str()));
    EXPECT_EQ(m_doc.m_loaded, "BM....");
    EXPECT_EQ(m_messages.size(), 2u);
}

TEST_F(DocumentFiles, MessagesByIdComeFromTheStringTable)
{
    AfxMessageBox(IDS_NO_FILE_LOADED);
    AfxMessageBox(0x7FFE);
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[0], "\"no file loaded.\"");
    EXPECT_EQ(m_messages[1], "Message 32766.");
    EXPECT_STREQ(AfxGetApp()->m_pszAppName, "vellum");
}
}  // namespace
