// Saves that a batch finishes: nothing reaches a target before the batch commits it, what a
// batch hands on or discards is exactly what it collected, whatever it leaves, even a
// process killed in mid-write, is found again by name and removed, and no link another user
// planted is written through.
#include "framework/Afx.h"
#include "tests/framework/SaveDocs.h"
#include "tests/framework/ScratchFiles.h"
#include "tests/support/OrdinaryUser.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

class SaveBatch : public ::testing::Test
{
protected:
    // A save of text into target, left in batch.
    void Save(const std::string& target, const std::string& text)
    {
        CSafeSaveFile file;
        CFileException fe;
        ASSERT_TRUE(file.Open(target.c_str(), &fe, &m_batch)) << fe.GetErrorMessage().Str();
        file.GetFile().Write(text.data(), static_cast<std::uint32_t>(text.size()));
        file.Commit();
    }
    std::set<std::string> Hidden() const
    {
        std::set<std::string> names;
        for (const std::string& name : m_dir.Entries())
            if (name[0] == '.')
                names.insert(name);
        return names;
    }

    ScratchDir m_dir;
    CSaveBatch m_batch{"test"};
};

TEST_F(SaveBatch, TargetsChangeOnlyWhenTheBatchCommits)
{
    const std::string a = m_dir / "a.bmp";
    const std::string b = m_dir / "b.tim";
    WriteFile(a, "OLD");
    ASSERT_EQ(::chmod(a.c_str(), 0640), 0);
    Save(a, "NEW A");
    CTextDoc doc;
    ASSERT_TRUE(doc.OnSaveDocument(b.c_str(), &m_batch));

    EXPECT_EQ(ReadFile(a), "OLD");
    EXPECT_EQ(m_dir.Entries().count("b.tim"), 0u);
    const std::set<std::string> hidden = Hidden();
    ASSERT_EQ(hidden.size(), 2u);
    for (const std::string& name : hidden)
        EXPECT_NE(name.find("." + m_batch.GetTag() + "."), std::string::npos) << name;

    std::string strError;
    EXPECT_TRUE(m_batch.Sync(strError)) << strError;
    EXPECT_EQ(m_batch.Commit(0), 0);
    EXPECT_EQ(ReadFile(a), "NEW A");
    EXPECT_EQ(ReadFile(b), "NEW");
    struct stat st;
    ASSERT_EQ(::stat(a.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"a.bmp", "b.tim"}));
}

TEST_F(SaveBatch, GroupsCommitApartAndWhatIsTakenOrDiscardedIsGone)
{
    const std::string a = m_dir / "a.fnt";
    const std::string b = m_dir / "b.fnt";
    Save(a, "A");
    Save(b, "B");
    // A worker hands its saves on; the batch that commits gets them back by group.
    std::vector<AFX_PENDING_SAVE> taken = m_batch.Take();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].strTarget, a);
    EXPECT_EQ(taken[1].strTarget, b);
    EXPECT_EQ(m_batch.Commit(0), 0);
    EXPECT_EQ(m_dir.Entries().count("a.fnt"), 0u);  // nothing was left to commit
    m_batch.Add(taken[0], 1);
    m_batch.Add(taken[1], 2);
    EXPECT_EQ(m_batch.Commit(2), 0);
    EXPECT_EQ(ReadFile(b), "B");
    EXPECT_EQ(m_dir.Entries().count("a.fnt"), 0u);
    EXPECT_EQ(m_batch.Commit(1), 0);
    EXPECT_EQ(ReadFile(a), "A");

    // A failed file's saves are discarded: the targets stay as they were.
    Save(a, "AGAIN");
    m_batch.Discard();
    EXPECT_EQ(m_batch.Commit(0), 0);
    EXPECT_EQ(ReadFile(a), "A");
    EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"a.fnt", "b.fnt"}));
}

TEST_F(SaveBatch, ARenameThatFailsIsReportedAndLeavesNoTemporary)
{
    const std::string target = m_dir / "now-a-folder.bmp";
    Save(target, "DATA");
    ASSERT_EQ(::mkdir(target.c_str(), 0755), 0);
    WriteFile(target + "/inside", "x");  // a folder with something in it is never replaced
    EXPECT_NE(m_batch.Commit(0), 0);
    EXPECT_EQ(ReadFile(target + "/inside"), "x");
    EXPECT_TRUE(Hidden().empty());
}

TEST_F(SaveBatch, LeftoversAreFoundByNameEvenFromAKilledProcess)
{
    ASSERT_EQ(::mkdir((m_dir / "real").c_str(), 0755), 0);
    const std::string linked = m_dir / "real/linked.tim";
    WriteFile(linked, "OLD");
    ASSERT_EQ(::symlink(linked.c_str(), (m_dir / "link.tim").c_str()), 0);
    const std::string longName = m_dir / (std::string(250, 'n') + ".bmp");
    const std::vector<std::string> targets = {m_dir / "a.bmp", m_dir / "link.tim", longName};

    // A worker that dies in mid-write tells nobody what it made.
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        for (const std::string& target : targets)
        {
            auto* pFile = new CSafeSaveFile;  // never destroyed: the process dies first
            if (!pFile->Open(target.c_str(), nullptr, &m_batch))
                ::_exit(1);
            pFile->GetFile().Write("half", 4);
        }
        ::_exit(0);
    }
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    Save(m_dir / "b.bmp", "collected");
    // Temporaries of single saves and of other batches are not this batch's to remove.
    CSaveBatch other("other");
    CSafeSaveFile single;
    CSafeSaveFile theirs;
    ASSERT_TRUE(single.Open((m_dir / "c.bmp").c_str(), nullptr));
    ASSERT_TRUE(theirs.Open((m_dir / "d.bmp").c_str(), nullptr, &other));
    EXPECT_EQ(Hidden().size(), 5u);
    EXPECT_EQ(ScratchDir::Entries(m_dir.Path() + "/real").size(), 2u);

    m_batch.RemoveLeftovers(targets);
    EXPECT_EQ(Hidden().size(), 2u);
    EXPECT_EQ(ScratchDir::Entries(m_dir.Path() + "/real"), (std::set<std::string>{"linked.tim"}));
    EXPECT_EQ(ReadFile(linked), "OLD");
    EXPECT_EQ(m_batch.Commit(0), 0);
    EXPECT_EQ(m_dir.Entries().count("b.bmp"), 0u);
}

TEST_F(SaveBatch, ALinkAnotherUserPlantedInASharedFolderIsNotFollowed)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to save where another user planted a link";
    const std::string shared = m_dir / "shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    const std::string victim = m_dir / "victim.cfg";
    WriteFile(victim, "VICTIM");
    AsOrdinaryUser({}, [&] { ASSERT_EQ(::symlink(victim.c_str(), (shared + "/pic.tim@0.tim").c_str()), 0); });

    CSafeSaveFile file;
    CFileException fe;
    EXPECT_FALSE(file.Open((shared + "/pic.tim@0.tim").c_str(), &fe, &m_batch));
    EXPECT_EQ(AfxFileErrorMessage((shared + "/pic.tim@0.tim").c_str(), fe.GetCauseText(), TRUE).Str(),
              "Cannot save \"" + shared + "/pic.tim@0.tim\": " + shared +
                  "/pic.tim@0.tim is a link owned by nobody in a shared folder; not followed.");
    Save(shared + "/pic.tim@1.tim", "ONE");
    std::string strError;
    EXPECT_TRUE(m_batch.Sync(strError)) << strError;
    EXPECT_EQ(m_batch.Commit(0), 0);
    EXPECT_EQ(ReadFile(victim), "VICTIM");
    EXPECT_EQ(ReadFile(shared + "/pic.tim@1.tim"), "ONE");
    EXPECT_EQ(ScratchDir::Entries(shared), (std::set<std::string>{"pic.tim@0.tim", "pic.tim@1.tim"}));
}

TEST_F(SaveBatch, ASaveInPlaceHandedOnWithoutItsTargetFollowsNoLink)
{
    // A worker passes on only the new bytes; the process that commits opens the target
    // again, and a link found in its place is not written through.
    const std::string target = m_dir / "linked.tim";
    const std::string victim = m_dir / "victim.cfg";
    WriteFile(target, "OLD");
    WriteFile(victim, "VICTIM");
    ASSERT_EQ(::link(target.c_str(), (m_dir / "second.tim").c_str()), 0);
    Save(target, "NEW");
    std::vector<AFX_PENDING_SAVE> taken = m_batch.Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_TRUE(taken[0].strTemp.empty());
    taken[0].pTargetFd.reset();
    m_batch.Add(taken[0], 1);
    EXPECT_EQ(m_batch.Held(), 1u);
    EXPECT_EQ(m_batch.Commit(1), 0);
    EXPECT_EQ(ReadFile(m_dir / "second.tim"), "NEW");

    Save(target, "AGAIN");
    taken = m_batch.Take();
    ASSERT_EQ(taken.size(), 1u);
    taken[0].pTargetFd.reset();
    m_batch.Add(taken[0], 2);
    ASSERT_EQ(::unlink(target.c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), target.c_str()), 0);
    EXPECT_EQ(m_batch.Commit(2), ELOOP);
    EXPECT_EQ(ReadFile(victim), "VICTIM");
    EXPECT_EQ(ReadFile(m_dir / "second.tim"), "NEW");
    EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"linked.tim", "second.tim", "victim.cfg"}));
}

}  // namespace
