// What a save keeps and what it leaves: the target's owner, mode, attributes and other names
// stay; a file that cannot be replaced is written in place and put back when that fails; a
// dangling link gets its file; temporaries of dead saves are swept, those in use and every
// file a save does not make are not.
#include "framework/Afx.h"
#include "tests/framework/SaveDocs.h"
#include "tests/framework/ScratchFiles.h"
#include "tests/support/OrdinaryUser.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/mount.h>
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

}  // namespace
