// What a save keeps and what it leaves: the target's owner, mode, attributes and other names
// stay; a file that cannot be replaced is written in place, one save at a time, and put back
// when that fails; a dangling link gets its file, but no link another user planted in a
// shared folder is followed; temporaries of dead saves are swept, those in use, other users'
// files and every file a save does not make are not.
#include "framework/Afx.h"
#include "tests/framework/SaveDocs.h"
#include "framework/SafeSaveIo.h"
#include "tests/framework/ScratchFiles.h"
#include "tests/support/OrdinaryUser.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace
{

struct stat Stat(const std::string& path)
{
    struct stat st = {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::string Attribute(const std::string& path, const char* pszName)
{
    std::string value(4096, '\0');
    const ssize_t n = ::getxattr(path.c_str(), pszName, value.data(), value.size());
    return n < 0 ? std::string("<") + std::strerror(errno) + ">" : value.substr(0, static_cast<std::size_t>(n));
}

// An access ACL as the kernel stores it: owner rw, nobody r, group r, mask r, others none.
std::string SampleAcl()
{
    std::string acl;
    auto put16 = [&](unsigned n) { acl += static_cast<char>(n & 0xFF), acl += static_cast<char>(n >> 8); };
    auto put32 = [&](std::uint32_t n) { put16(n & 0xFFFF), put16(n >> 16); };
    put32(2);
    const std::uint32_t kAny = 0xFFFFFFFF;
    for (auto [tag, perm, id] : {std::tuple<unsigned, unsigned, std::uint32_t>{0x01, 6, kAny}, {0x02, 4, kNobody},
                                 {0x04, 4, kAny}, {0x10, 4, kAny}, {0x20, 0, kAny}})
    {
        put16(tag);
        put16(perm);
        put32(id);
    }
    return acl;
}

std::set<std::string> Hidden(const ScratchDir& dir)
{
    std::set<std::string> names;
    for (const std::string& name : dir.Entries())
        if (name[0] == '.')
            names.insert(name);
    return names;
}

class SafeSave : public ::testing::Test
{
protected:
    bool Save(const std::string& path) { return m_doc.OnSaveDocument(path.c_str()); }

    CRecordingApp m_app;
    ScratchDir m_dir;
    CTextDoc m_doc;
};

TEST_F(SafeSave, TheFileKeepsItsOwnerModeAndAttributes)
{
    const std::string target = m_dir / "kept.bmp";
    WriteFile(target, "OLD");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    if (IsRoot())
    {
        ASSERT_EQ(::chown(target.c_str(), kNobody, kNoGroup), 0);
    }
    const bool bUser = ::setxattr(target.c_str(), "user.origin", "scanner", 7, 0) == 0;
    const std::string acl = SampleAcl();
    const bool bAcl = ::setxattr(target.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;

    ASSERT_TRUE(Save(target));
    EXPECT_EQ(ReadFile(target), "NEW");
    const struct stat st = Stat(target);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (IsRoot())
    {
        EXPECT_EQ(st.st_uid, kNobody);
        EXPECT_EQ(st.st_gid, kNoGroup);
    }
    if (bUser)
    {
        EXPECT_EQ(Attribute(target, "user.origin"), "scanner");
    }
    if (bAcl)
    {
        EXPECT_EQ(Attribute(target, "system.posix_acl_access"), acl);
    }
    EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"kept.bmp"}));
    EXPECT_TRUE(m_app.m_messages.empty());
    if (!bUser || !bAcl)
        GTEST_SKIP() << "this file system takes no " << (bUser ? "ACLs" : "user attributes")
                     << "; the rest was checked";
}

TEST_F(SafeSave, AFileWithOtherNamesIsWrittenInPlace)
{
    const std::string target = m_dir / "one.tim";
    const std::string other = m_dir / "other.tim";
    WriteFile(target, "OLD CONTENT, LONGER THAN THE NEW");
    ASSERT_EQ(::link(target.c_str(), other.c_str()), 0);
    const ino_t ino = Stat(target).st_ino;
    ASSERT_TRUE(Save(target));
    EXPECT_EQ(ReadFile(target), "NEW");
    EXPECT_EQ(ReadFile(other), "NEW");
    EXPECT_EQ(Stat(target).st_ino, ino);
    EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"one.tim", "other.tim"}));
}

TEST_F(SafeSave, AFileItsSaverMayNotOwnIsWrittenInPlace)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to give the file an owner other than its saver";
    // Root's file, which nobody may write through the group, in a folder nobody may write.
    const std::string folder = m_dir / "shared";
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    const std::string target = folder + "/team.fnt";
    WriteFile(target, "OLD");
    ASSERT_EQ(::chown(target.c_str(), 0, kNoGroup), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0664), 0);
    const ino_t ino = Stat(target).st_ino;
    AsOrdinaryUser({m_dir.Path()}, [&] {
        EXPECT_TRUE(Save(target));
        EXPECT_TRUE(m_app.m_messages.empty());
    });
    EXPECT_EQ(ReadFile(target), "NEW");
    const struct stat st = Stat(target);
    EXPECT_EQ(st.st_ino, ino);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(ScratchDir::Entries(folder), (std::set<std::string>{"team.fnt"}));
}

TEST_F(SafeSave, AFailedWriteInPlacePutsTheOldBytesBack)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to mount a small file system that fills up";
    const std::string disk = m_dir / "disk";
    ASSERT_EQ(::mkdir(disk.c_str(), 0755), 0);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << ")";
    const std::string target = disk + "/linked.bmp";
    const std::string old(3000, 'o');
    WriteFile(target, old);
    ASSERT_EQ(::link(target.c_str(), (disk + "/second.bmp").c_str()), 0);
    {
        const int fd = ::open((disk + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
        const std::string block(4096, 'x');
        while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0)
        {
        }
        ::close(fd);
    }
    m_doc.m_text.assign(100000, 'n');
    EXPECT_FALSE(Save(target));
    ASSERT_EQ(m_app.m_messages.size(), 1u);
    EXPECT_EQ(m_app.m_messages[0], "Cannot save \"" + target + "\": No space left on device.");
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(ReadFile(disk + "/second.bmp"), old);
    EXPECT_EQ(ScratchDir::Entries(disk), (std::set<std::string>{"filler", "linked.bmp", "second.bmp"}));
    ::umount2(disk.c_str(), MNT_DETACH);
}

TEST_F(SafeSave, ADanglingLinkGetsItsFileAndStaysALink)
{
    ASSERT_EQ(::mkdir((m_dir / "made").c_str(), 0755), 0);
    const std::string link = m_dir / "link.bmp";
    ASSERT_EQ(::symlink("made/new.bmp", link.c_str()), 0);
    ASSERT_TRUE(Save(link));
    EXPECT_TRUE(S_ISLNK(Stat(link).st_mode));
    EXPECT_EQ(ReadFile(m_dir / "made/new.bmp"), "NEW");
    EXPECT_EQ(ScratchDir::Entries(m_dir / "made"), (std::set<std::string>{"new.bmp"}));

    // A link into a folder that is not there: nothing is made.
    const std::string nowhere = m_dir / "nowhere.bmp";
    ASSERT_EQ(::symlink("missing/new.bmp", nowhere.c_str()), 0);
    EXPECT_FALSE(Save(nowhere));
    ASSERT_EQ(m_app.m_messages.size(), 1u);
    EXPECT_EQ(m_app.m_messages[0], "Cannot save \"" + nowhere + "\": No such file or directory.");
    EXPECT_TRUE(S_ISLNK(Stat(nowhere).st_mode));
}

TEST_F(SafeSave, ASaveSweepsOnlyTheTemporariesOfDeadSaves)
{
    // A save killed in mid-write leaves its temporary.
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        auto* pFile = new CSafeSaveFile;  // never destroyed: the process dies first
        if (!pFile->Open((m_dir / "dead.bmp").c_str(), nullptr))
            ::_exit(1);
        pFile->GetFile().Write("half", 4);
        ::_exit(0);
    }
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    const std::set<std::string> dead = Hidden(m_dir);
    ASSERT_EQ(dead.size(), 1u);

    // A save still running, a batch's output waiting for its commit, and names a save does
    // not make or that are not files.
    CSafeSaveFile running;
    ASSERT_TRUE(running.Open((m_dir / "running.bmp").c_str(), nullptr));
    CSaveBatch batch("test");
    {
        CSafeSaveFile pending;
        ASSERT_TRUE(pending.Open((m_dir / "pending.bmp").c_str(), nullptr, &batch));
        pending.GetFile().Write("PENDING", 7);
        pending.Commit();
    }
    const std::set<std::string> foreign = {".x.bmp.Ab12Cd", ".x.bmp.afxsave-Ab12C", "x.bmp.afxsave-Ab12Cd",
                                           ".x.bmp.afxsave-Ab12Cd.bak"};
    for (const std::string& name : foreign)
        WriteFile(m_dir / name, "theirs");
    ASSERT_EQ(::mkdir((m_dir / ".folder.afxsave-Ab12Cd").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("x.bmp.afxsave-Ab12Cd", (m_dir / ".link.afxsave-Ab12Cd").c_str()), 0);
    const std::set<std::string> before = m_dir.Entries();

    ASSERT_TRUE(Save(m_dir / "next.bmp"));
    std::set<std::string> expected = before;
    expected.erase(*dead.begin());
    expected.insert("next.bmp");
    EXPECT_EQ(m_dir.Entries(), expected);
    for (const std::string& name : foreign)
        EXPECT_EQ(ReadFile(m_dir / name), "theirs") << name;

    // What was in use goes on as if nothing had happened.
    running.GetFile().Write("RUNNING", 7);
    running.Commit();
    EXPECT_EQ(ReadFile(m_dir / "running.bmp"), "RUNNING");
    std::string strError;
    ASSERT_TRUE(batch.Sync(strError)) << strError;
    EXPECT_EQ(batch.Commit(0), 0);
    EXPECT_EQ(ReadFile(m_dir / "pending.bmp"), "PENDING");
    EXPECT_EQ(Hidden(m_dir).size(), 5u);  // the foreign names and the folder
}

TEST_F(SafeSave, ALinkAnotherUserPlantedInASharedFolderIsNotFollowed)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to save where another user planted a link";
    const std::string shared = SharedFolder(m_dir);
    const std::string victim = m_dir / "victim.cfg";
    WriteFile(victim, "VICTIM");
    AsOrdinaryUser({}, [&] {
        ASSERT_EQ(::symlink(victim.c_str(), (shared + "/out.bmp").c_str()), 0);
        ASSERT_EQ(::symlink((m_dir / "made.cfg").c_str(), (shared + "/dangling.bmp").c_str()), 0);
    });
    // Root's own link that leads to nobody's is refused at nobody's.
    ASSERT_EQ(::symlink("out.bmp", (shared + "/mine.bmp").c_str()), 0);
    const std::set<std::string> before = ScratchDir::Entries(shared);

    const std::string refused = " is a link owned by nobody in a shared folder; not followed.";
    EXPECT_FALSE(Save(shared + "/out.bmp"));
    EXPECT_FALSE(Save(shared + "/dangling.bmp"));
    EXPECT_FALSE(Save(shared + "/mine.bmp"));
    EXPECT_EQ(m_app.m_messages,
              (std::vector<std::string>{"Cannot save \"" + shared + "/out.bmp\": " + shared + "/out.bmp" + refused,
                                        "Cannot save \"" + shared + "/dangling.bmp\": " + shared + "/dangling.bmp" +
                                            refused,
                                        "Cannot save \"" + shared + "/mine.bmp\": " + shared + "/out.bmp" + refused}));
    EXPECT_EQ(ReadFile(victim), "VICTIM");
    EXPECT_EQ(m_dir.Entries().count("made.cfg"), 0u);
    EXPECT_EQ(ScratchDir::Entries(shared), before);

    // The kernel's rule: a link of the saver's, or of the folder's owner, is followed.
    m_app.m_messages.clear();
    ASSERT_EQ(::symlink(victim.c_str(), (shared + "/root.bmp").c_str()), 0);
    EXPECT_TRUE(Save(shared + "/root.bmp"));
    EXPECT_EQ(ReadFile(victim), "NEW");
    const std::string theirs = m_dir / "theirs";
    ASSERT_EQ(::mkdir(theirs.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(theirs.c_str(), 01777), 0);
    AsOrdinaryUser({theirs}, [&] { ASSERT_EQ(::symlink("kept.bmp", (theirs + "/link.bmp").c_str()), 0); });
    EXPECT_TRUE(Save(theirs + "/link.bmp"));
    EXPECT_EQ(ReadFile(theirs + "/kept.bmp"), "NEW");
    EXPECT_TRUE(m_app.m_messages.empty());
}

TEST_F(SafeSave, ALinkSwappedInBeforeAWriteInPlaceIsNotWrittenThrough)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to save into another user's file";
    // Nobody's file with two names, in the shared folder, that root saves; between the check
    // and the write, nobody puts a link to root's file in its place.
    const std::string shared = SharedFolder(m_dir);
    const std::string victim = m_dir / "victim.cfg";
    WriteFile(victim, "VICTIM");
    const std::string target = shared + "/linked.tim";
    AsOrdinaryUser({}, [&] {
        WriteFile(target, "OLD");
        ASSERT_EQ(::link(target.c_str(), (shared + "/second.tim").c_str()), 0);
    });
    CSafeSaveFile file;
    CFileException fe;
    ASSERT_TRUE(file.Open(target.c_str(), &fe)) << fe.GetErrorMessage().Str();
    file.GetFile().Write("NEW", 3);
    AsOrdinaryUser({}, [&] {
        ASSERT_EQ(::unlink(target.c_str()), 0);
        ASSERT_EQ(::symlink(victim.c_str(), target.c_str()), 0);
    });
    file.Commit();
    EXPECT_EQ(ReadFile(victim), "VICTIM");
    EXPECT_EQ(ReadFile(shared + "/second.tim"), "NEW");  // the file that was checked
    EXPECT_TRUE(S_ISLNK(Stat(target).st_mode));
    EXPECT_EQ(ScratchDir::Entries(shared), (std::set<std::string>{"linked.tim", "second.tim"}));
}

TEST_F(SafeSave, TwoSavesInPlaceAtOnceGiveOneWholeResult)
{
    // Large enough that each takes many writes, so that unlocked they would overlap.
    const std::string target = m_dir / "one.tim";
    const std::string other = m_dir / "other.tim";
    const std::string a(1 << 20, 'a');
    const std::string b((1 << 20) + 4096, 'b');
    int nMixed = 0;
    for (int nRound = 0; nRound < 100 && !HasFailure(); ++nRound)
    {
        WriteFile(target, std::string(3 << 20, 'o'));
        ::unlink(other.c_str());
        ASSERT_EQ(::link(target.c_str(), other.c_str()), 0);
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        pid_t pids[2];
        for (int i = 0; i < 2; ++i)
        {
            pids[i] = ::fork();
            if (pids[i] == 0)
            {
                ::close(go[1]);
                char ch;
                if (::read(go[0], &ch, 1) != 0)
                    ::_exit(2);
                CTextDoc doc;
                doc.m_text = i == 0 ? a : b;
                ::_exit(doc.OnSaveDocument(target.c_str()) ? 0 : 1);
            }
        }
        ::close(go[0]);
        ::close(go[1]);  // both start now
        for (pid_t pid : pids)
        {
            int nStatus = 0;
            ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
            EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
        }
        const std::string result = ReadFile(target);
        if (result != a && result != b)
            ++nMixed;
        EXPECT_EQ(ReadFile(other), result);
        EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"one.tim", "other.tim"}));
    }
    EXPECT_EQ(nMixed, 0) << "of 100 rounds";
}

#if !defined(__SANITIZE_ADDRESS__)
TEST_F(SafeSave, ASmallSaveIntoALargeFileWithOtherNamesNeedsLittleMemory)
{
    // 96 MiB of old bytes, which go to the journal a piece at a time.
    const std::string target = m_dir / "large.tim";
    {
        const std::string block(1 << 20, 'o');
        std::ofstream out(target, std::ios::binary);
        for (int i = 0; i < 96; ++i)
            out << block;
    }
    ASSERT_EQ(::link(target.c_str(), (m_dir / "other.tim").c_str()), 0);
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        CTextDoc doc;
        ::_exit(doc.OnSaveDocument(target.c_str()) ? 0 : 1);
    }
    int nStatus = 0;
    struct rusage usage = {};
    ASSERT_EQ(::wait4(pid, &nStatus, 0, &usage), pid);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    EXPECT_EQ(ReadFile(m_dir / "other.tim"), "NEW");
    const long nPeakMiB = usage.ru_maxrss / 1024;
    EXPECT_LT(nPeakMiB, 32) << "MiB at the peak";
    std::printf("memory: a save in place over 96 MiB peaked at %ld MiB\n", nPeakMiB);
    EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"large.tim", "other.tim"}));
}
#endif

TEST_F(SafeSave, TheSweepRemovesOnlyWhatTheSaverMade)
{
    // Names like a save's that a user picked, and an output that a user named so: a save's
    // sweep (its own included) leaves them.
    const std::vector<std::string> lookalikes = {".notes.afxsave-README", ".x.bmp.afxsave-Ab12Cd",
                                                 ".x.afxsave-journal-Ab12Cd", ".notes.afxsave-READMEREAD"};
    for (const std::string& name : lookalikes)
    {
        WriteFile(m_dir / name, "theirs");
        EXPECT_FALSE(afx_save::IsTemporaryName(name)) << name;
    }
    ASSERT_TRUE(Save(m_dir / ".keep.afxsave-ABCDEF"));
    ASSERT_TRUE(Save(m_dir / "next.bmp"));
    for (const std::string& name : lookalikes)
        EXPECT_EQ(ReadFile(m_dir / name), "theirs") << name;
    EXPECT_EQ(ReadFile(m_dir / ".keep.afxsave-ABCDEF"), "NEW");

    // A name a save makes, on a file of another user's, which no lock holds: theirs, not
    // the saver's to remove (nor would their save remove the saver's).
    if (!IsRoot())
        return;
    const std::string shared = SharedFolder(m_dir);
    std::string theirs = ".out.bmp.afxsave-XXXXXXXXXX";
    afx_save::FillTemporaryName(theirs);
    ASSERT_TRUE(afx_save::IsTemporaryName(theirs));
    AsOrdinaryUser({}, [&] {
        WriteFile(shared + "/" + theirs, "theirs");
        WriteFile(shared + "/.old.bmp.afxsave-Ab12Cd", "theirs");
    });
    ASSERT_TRUE(Save(shared + "/mine.bmp"));
    EXPECT_EQ(ReadFile(shared + "/" + theirs), "theirs");
    EXPECT_EQ(ReadFile(shared + "/.old.bmp.afxsave-Ab12Cd"), "theirs");
    EXPECT_TRUE(m_app.m_messages.empty());
}

TEST_F(SafeSave, EveryNameASaveMakesIsKnownForOne)
{
    // Temporaries, a batch's, journals, and the short forms of names too long to carry.
    CSaveBatch batch("test");
    const std::string longName(250, 'n');
    CSafeSaveFile saves[4];
    ASSERT_TRUE(saves[0].Open((m_dir / "plain.bmp").c_str(), nullptr));
    ASSERT_TRUE(saves[1].Open((m_dir / "plain.bmp").c_str(), nullptr, &batch));
    ASSERT_TRUE(saves[2].Open((m_dir / longName).c_str(), nullptr));
    ASSERT_TRUE(saves[3].Open((m_dir / longName).c_str(), nullptr, &batch));
    std::set<std::string> made = Hidden(m_dir);
    EXPECT_EQ(made.size(), 4u);
    for (const std::string& name : made)
        EXPECT_TRUE(afx_save::IsTemporaryName(name)) << name;
    std::string journal = ".plain.bmp.afxsave-journal-XXXXXXXXXX";
    afx_save::FillTemporaryName(journal);
    EXPECT_TRUE(afx_save::IsTemporaryName(journal));
    EXPECT_TRUE(afx_save::IsJournalName(journal));
    // One character changed anywhere is no longer one.
    for (std::size_t i = 1; i < journal.size(); ++i)
    {
        std::string changed = journal;
        changed[i] = changed[i] == 'Q' ? 'R' : 'Q';
        EXPECT_FALSE(afx_save::IsTemporaryName(changed)) << changed;
    }
}

}  // namespace
