// A patch in place changes only its ranges: the file keeps its inode, size, other names,
// mode and every other byte, and costs the ranges, not the file. What cannot be patched is
// refused with nothing changed; a patch waits for another of the same file; the journal a
// dead patch left is put back by the next patch or save into the folder and by the sweep,
// and one that does not fit its file changes nothing; a patch killed at any moment leaves
// every range old or every range new once the next run has looked.
#include "framework/Afx.h"
#include "framework/SafeSaveIo.h"
#include "tests/framework/ScratchFiles.h"
#include "tests/support/OrdinaryUser.h"
#include "tests/support/Sanitizers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

// n bytes that differ from those of another seed almost everywhere.
std::string Pattern(std::size_t n, unsigned nSeed)
{
    std::string s(n, '\0');
    std::uint32_t x = 2463534242u + nSeed * 7919u;
    for (char& ch : s)
    {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        ch = static_cast<char>(x);
    }
    return s;
}

// Where two contents first differ, for a failure's message; empty when they are the same.
::testing::AssertionResult Same(const std::string& a, const std::string& b)
{
    if (a == b)
        return ::testing::AssertionSuccess();
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n])
        ++n;
    return ::testing::AssertionFailure() << a.size() << " and " << b.size() << " bytes, first different at " << n;
}

// A large file whole, in one read.
std::string ReadLarge(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string data(in ? static_cast<std::size_t>(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    return data;
}

struct stat Stat(const std::string& path)
{
    struct stat st = {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::set<std::string> Hidden(const std::string& dir)
{
    std::set<std::string> names;
    for (const std::string& name : ScratchDir::Entries(dir))
        if (name[0] == '.')
            names.insert(name);
    return names;
}

// The message of Open's refusal of path, or "opened".
std::string OpenRefusal(const std::string& path)
{
    CSafePatchFile patch;
    CFileException e;
    if (patch.Open(path.c_str(), &e))
        return "opened";
    EXPECT_FALSE(patch.IsOpen());
    return e.GetErrorMessage().Str();
}

// The cause Write gives for the range, or "collected".
std::string WriteRefusal(CSafePatchFile& patch, std::uint64_t nOffset, std::size_t n)
{
    try
    {
        patch.Write(nOffset, std::string(n, 'w').data(), n);
        return "collected";
    }
    catch (const CFileException& e)
    {
        EXPECT_EQ(e.m_lOsError, EINVAL);
        return e.GetCauseText().Str();
    }
}

// One range of a patch: where, and its old and new bytes.
struct RANGE
{
    std::uint64_t nOffset;
    std::string strNew;
};

// file with each range's bytes put in.
std::string Patched(std::string file, const std::vector<RANGE>& ranges)
{
    for (const RANGE& r : ranges)
        file.replace(r.nOffset, r.strNew.size(), r.strNew);
    return file;
}

void Patch(const std::string& path, const std::vector<RANGE>& ranges)
{
    CSafePatchFile patch;
    CFileException e;
    ASSERT_TRUE(patch.Open(path.c_str(), &e)) << e.GetErrorMessage().Str();
    for (const RANGE& r : ranges)
        patch.Write(r.nOffset, r.strNew.data(), r.strNew.size());
    patch.Commit();
    EXPECT_FALSE(patch.IsOpen());
}

// A journal of ranges as a patch writes it beside the file strName (st) in dir: records of
// [offset][length][old bytes] from byte 512 on, after a header of the magic, the file's
// device, inode, the records' length, the file's size, and its name. nLength and nFileSize
// replace the true ones when not -1. Its name.
std::string PlantJournal(const std::string& dir, const std::string& strName, const struct stat& st,
                         const std::string& strRecords, std::uint64_t nLength = ~0ull, std::uint64_t nFileSize = ~0ull)
{
    std::string header(512, '\0');
    auto put64 = [&](std::size_t nAt, std::uint64_t n) { std::memcpy(&header[nAt], &n, 8); };
    std::memcpy(&header[0], "AFXJRNL2", 8);
    put64(8, st.st_dev);
    put64(16, st.st_ino);
    put64(24, nLength != ~0ull ? nLength : strRecords.size());
    put64(32, nFileSize != ~0ull ? nFileSize : static_cast<std::uint64_t>(st.st_size));
    const auto nName = static_cast<std::uint32_t>(strName.size());
    std::memcpy(&header[40], &nName, 4);
    std::memcpy(&header[44], strName.data(), nName);
    std::string name = "." + strName + ".afxsave-journal-XXXXXXXXXX";
    afx_save::FillTemporaryName(name);
    WriteFile(dir + "/" + name, header + strRecords);
    return name;
}

// One record of a journal.
std::string Record(std::uint64_t nOffset, const std::string& strOld, std::uint64_t nLength = ~0ull)
{
    std::string s(16, '\0');
    const std::uint64_t n = nLength != ~0ull ? nLength : strOld.size();
    std::memcpy(&s[0], &nOffset, 8);
    std::memcpy(&s[8], &n, 8);
    return s + strOld;
}

// The bytes a process wrote and read through its calls so far, from the kernel's count: -1s
// where it keeps none.
std::pair<long long, long long> BytesMoved()
{
    std::ifstream in("/proc/self/io");
    long long nRead = -1, nWritten = -1;
    std::string key;
    long long n = 0;
    while (in >> key >> n)
    {
        if (key == "rchar:")
            nRead = n;
        else if (key == "wchar:")
            nWritten = n;
    }
    return {nRead, nWritten};
}

class SafePatch : public ::testing::Test
{
protected:
    std::string Path(const std::string& name) const { return m_dir / name; }

    ScratchDir m_dir;
};

TEST_F(SafePatch, OnlyTheRangesChange)
{
    const std::string target = Path("disc.bin");
    const std::string old = Pattern(1 << 20, 1);
    WriteFile(target, old);
    ASSERT_EQ(::link(target.c_str(), Path("other.bin").c_str()), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    if (IsRoot())
    {
        ASSERT_EQ(::chown(target.c_str(), kNobody, kNoGroup), 0);
    }
    const struct stat before = Stat(target);
    // Spread out, given out of order, one at the very start, one ending at the very end, two
    // that touch.
    const std::vector<RANGE> ranges = {{700000, Pattern(40000, 2)}, {0, "HEAD"},
                                       {(1 << 20) - 5, "TAIL!"},     {300000, Pattern(3, 3)},
                                       {300003, Pattern(5, 4)}};
    CSafePatchFile patch;
    CFileException e;
    ASSERT_TRUE(patch.Open(target.c_str(), &e)) << e.GetErrorMessage().Str();
    EXPECT_TRUE(patch.IsOpen());
    EXPECT_EQ(patch.GetLength(), old.size());
    for (const RANGE& r : ranges)
        patch.Write(r.nOffset, r.strNew.data(), r.strNew.size());
    // Nothing is written before the commit; a read sees the file as it is.
    std::string head(8, '\0');
    EXPECT_EQ(patch.Read(head.data(), head.size(), 0), 8u);
    EXPECT_EQ(head, old.substr(0, 8));
    EXPECT_EQ(patch.Read(head.data(), head.size(), old.size() - 3), 3u);
    EXPECT_EQ(head.substr(0, 3), old.substr(old.size() - 3));
    EXPECT_EQ(patch.Read(head.data(), head.size(), old.size() + 100), 0u);
    EXPECT_TRUE(Same(ReadFile(target), old));
    patch.Commit();
    EXPECT_FALSE(patch.IsOpen());

    const std::string expected = Patched(old, ranges);
    EXPECT_TRUE(Same(ReadFile(target), expected));
    EXPECT_TRUE(Same(ReadFile(Path("other.bin")), expected));
    const struct stat after = Stat(target);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(m_dir.Entries(), (std::set<std::string>{"disc.bin", "other.bin"}));

    // Nothing collected: nothing written, and the file is released.
    ASSERT_TRUE(patch.Open(target.c_str(), &e));
    patch.Commit();
    EXPECT_TRUE(Same(ReadFile(target), expected));
    EXPECT_THROW(patch.Commit(), CFileException);
    EXPECT_THROW(patch.Write(0, "x", 1), CFileException);
}

TEST_F(SafePatch, APatchCostsItsRangesNotTheFile)
{
    // 256 MiB, sparse so that it costs nothing to make; three textures of 40 KiB put in.
    const std::string target = Path("large.bin");
    const std::uint64_t nSize = 256ull << 20;
    {
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(nSize)), 0);
        ::close(fd);
    }
    const std::size_t nRange = 40 << 10;
    CSafePatchFile patch;
    ASSERT_TRUE(patch.Open(target.c_str(), nullptr));
    for (std::uint64_t nAt : {std::uint64_t{1} << 20, std::uint64_t{100} << 20, nSize - nRange})
        patch.Write(nAt, Pattern(nRange, static_cast<unsigned>(nAt)).data(), nRange);
    const auto [nRead0, nWritten0] = BytesMoved();
    if (nRead0 < 0)
        GTEST_SKIP() << "the kernel counts no bytes moved (/proc/self/io)";
    patch.Commit();
    const auto [nRead1, nWritten1] = BytesMoved();
    // The old bytes read once; the journal (its header and three records) and the new bytes
    // written once. The sweep lists the folder, which moves no bytes through reads.
    const long long nJournal = 512 + 3 * (16 + static_cast<long long>(nRange));
    EXPECT_LE(nRead1 - nRead0, 3 * static_cast<long long>(nRange) + 4096);
#if defined(VELLUM_UNDER_ASAN)
    // The sanitizer's runtime writes a little of its own, which the process's count takes in.
    EXPECT_GE(nWritten1 - nWritten0, nJournal + 3 * static_cast<long long>(nRange));
    EXPECT_LE(nWritten1 - nWritten0, nJournal + 3 * static_cast<long long>(nRange) + 4096);
#else
    EXPECT_EQ(nWritten1 - nWritten0, nJournal + 3 * static_cast<long long>(nRange));
#endif
    std::printf("cost: a patch of 3 x 40 KiB into 256 MiB read %lld bytes and wrote %lld\n", nRead1 - nRead0,
                nWritten1 - nWritten0);
    std::string back(nRange, '\0');
    CSafePatchFile check;
    ASSERT_TRUE(check.Open(target.c_str(), nullptr));
    EXPECT_EQ(check.Read(back.data(), nRange, 100ull << 20), nRange);
    EXPECT_EQ(back, Pattern(nRange, static_cast<unsigned>(100ull << 20)));
    EXPECT_EQ(static_cast<std::uint64_t>(Stat(target).st_size), nSize);
    EXPECT_TRUE(Hidden(m_dir.Path()).empty());
}

TEST_F(SafePatch, WhatCannotBePatchedIsRefusedWithNothingChanged)
{
    ASSERT_EQ(::mkdir(Path("folder").c_str(), 0755), 0);
    EXPECT_EQ(OpenRefusal(Path("folder")), Path("folder") + ": Is a directory");
    EXPECT_EQ(OpenRefusal(Path("folder/")), Path("folder/") + ": Is a directory");
    EXPECT_EQ(OpenRefusal(Path("missing.bin")), Path("missing.bin") + ": No such file or directory");
    EXPECT_EQ(OpenRefusal(""), ": No such file or directory");
    // A FIFO nobody writes is refused at once, not waited on.
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
    const auto tStart = Clock::now();
    EXPECT_EQ(OpenRefusal(Path("fifo")), Path("fifo") + ": Not a regular file");
    EXPECT_LT(Clock::now() - tStart, std::chrono::seconds(2));
    EXPECT_EQ(OpenRefusal("/dev/null"), "/dev/null: Not a regular file");
    ASSERT_EQ(::symlink("loop", Path("loop").c_str()), 0);
    EXPECT_EQ(OpenRefusal(Path("loop")), Path("loop") + ": Too many levels of symbolic links");

    // A file this user may not write.
    const std::string locked = Path("locked.bin");
    WriteFile(locked, "LOCKED");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    AsOrdinaryUser({m_dir.Path(), locked}, [&] {
        EXPECT_EQ(OpenRefusal(locked), locked + ": Permission denied");
    });
    EXPECT_EQ(ReadFile(locked), "LOCKED");

    // Ranges outside the file, or over one collected before, are refused; the rest is kept.
    const std::string target = Path("disc.bin");
    const std::string old = Pattern(1000, 5);
    WriteFile(target, old);
    CSafePatchFile patch;
    ASSERT_TRUE(patch.Open(target.c_str(), nullptr));
    EXPECT_EQ(WriteRefusal(patch, 996, 5), "5 bytes at offset 996 do not fit in the file, which has 1000");
    EXPECT_EQ(WriteRefusal(patch, 1001, 0), "0 bytes at offset 1001 do not fit in the file, which has 1000");
    EXPECT_EQ(WriteRefusal(patch, ~0ull - 1, 4),
              "4 bytes at offset 18446744073709551614 do not fit in the file, which has 1000");
    EXPECT_EQ(WriteRefusal(patch, 100, 50), "collected");
    EXPECT_EQ(WriteRefusal(patch, 149, 10), "bytes 149 to 158 overlap bytes 100 to 149, patched before");
    EXPECT_EQ(WriteRefusal(patch, 90, 11), "bytes 90 to 100 overlap bytes 100 to 149, patched before");
    EXPECT_EQ(WriteRefusal(patch, 90, 100), "bytes 90 to 189 overlap bytes 100 to 149, patched before");
    EXPECT_EQ(WriteRefusal(patch, 120, 5), "bytes 120 to 124 overlap bytes 100 to 149, patched before");
    EXPECT_EQ(WriteRefusal(patch, 150, 850), "collected");
    EXPECT_EQ(WriteRefusal(patch, 90, 10), "collected");
    EXPECT_EQ(WriteRefusal(patch, 1000, 0), "collected");
    patch.Commit();
    std::string expected = old;
    expected.replace(90, 910, std::string(910, 'w'));
    EXPECT_TRUE(Same(ReadFile(target), expected));
    EXPECT_TRUE(Hidden(m_dir.Path()).empty());
}

TEST_F(SafePatch, ALinkAnotherUserPlantedInASharedFolderIsNotFollowed)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to patch where another user planted a link";
    const std::string shared = SharedFolder(m_dir);
    const std::string victim = Path("victim.cfg");
    WriteFile(victim, "VICTIM");
    AsOrdinaryUser({}, [&] { ASSERT_EQ(::symlink(victim.c_str(), (shared + "/disc.bin").c_str()), 0); });
    EXPECT_EQ(OpenRefusal(shared + "/disc.bin"),
              shared + "/disc.bin: " + shared + "/disc.bin is a link owned by nobody in a shared folder; not followed");
    EXPECT_EQ(ReadFile(victim), "VICTIM");
    // Root's own link there is followed, as the kernel would.
    ASSERT_EQ(::symlink(victim.c_str(), (shared + "/mine.bin").c_str()), 0);
    Patch(shared + "/mine.bin", {{0, "V"}});
    EXPECT_EQ(ReadFile(victim), "VICTIM");
    EXPECT_EQ(ScratchDir::Entries(shared), (std::set<std::string>{"disc.bin", "mine.bin"}));
}

TEST_F(SafePatch, AFileInAFolderThatTakesNoNewFileIsPatchedWithoutAJournal)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to give a file in root's folder to another user";
    // Nobody's file in root's folder, which nobody may write: the old bytes are kept outside
    // it, and nothing is left in it.
    const std::string folder = Path("closed");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    const std::string target = folder + "/disc.bin";
    const std::string old = Pattern(100000, 8);
    WriteFile(target, old);
    AsOrdinaryUser({target}, [&] { Patch(target, {{5, "NEW"}, {90000, Pattern(5000, 9)}}); });
    EXPECT_TRUE(Same(ReadFile(target), Patched(old, {{5, "NEW"}, {90000, Pattern(5000, 9)}})));
    EXPECT_EQ(ScratchDir::Entries(folder), std::set<std::string>{"disc.bin"});
}

TEST_F(SafePatch, APatchWaitsForAnotherOfTheSameFile)
{
    const std::string target = Path("disc.bin");
    WriteFile(target, std::string(100, 'o'));
    // The second starts before the first opens the file: a child must not share the open
    // file, and so the lock, of its parent.
    int go[2], opened[2];
    ASSERT_EQ(::pipe(go), 0);
    ASSERT_EQ(::pipe(opened), 0);
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        ::close(go[1]);
        ::close(opened[0]);
        char chGo;
        if (::read(go[0], &chGo, 1) != 1)
            ::_exit(4);
        CSafePatchFile second;
        if (!second.Open(target.c_str(), nullptr))
            ::_exit(1);
        // The first patch is whole by now.
        char seen[5];
        const bool bSeen = second.Read(seen, 5, 10) == 5 && std::memcmp(seen, "FIRST", 5) == 0;
        if (::write(opened[1], "o", 1) != 1)
            ::_exit(2);
        second.Write(50, "SECOND", 6);
        second.Commit();
        ::_exit(bSeen ? 0 : 3);
    }
    ::close(go[0]);
    CSafePatchFile first;
    ASSERT_TRUE(first.Open(target.c_str(), nullptr));
    first.Write(10, "FIRST", 5);
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    ::close(go[1]);
    ::close(opened[1]);
    pollfd p = {opened[0], POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 200), 0) << "the second patch did not wait";
    first.Commit();
    char ch = 0;
    EXPECT_EQ(::read(opened[0], &ch, 1), 1);
    ::close(opened[0]);
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
    std::string expected(100, 'o');
    expected.replace(10, 5, "FIRST").replace(50, 6, "SECOND");
    EXPECT_TRUE(Same(ReadFile(target), expected));
    EXPECT_TRUE(Hidden(m_dir.Path()).empty());
}

// A file as a patch killed in mid-write leaves it: some ranges new, its journal beside it.
class DeadPatch : public SafePatch
{
protected:
    void SetUp() override
    {
        WriteFile(m_target, m_old);
        ASSERT_EQ(::link(m_target.c_str(), Path("other.bin").c_str()), 0);
        m_st = Stat(m_target);
        m_records = Record(100, m_old.substr(100, 10)) + Record(5000, m_old.substr(5000, 300)) +
                    Record(9990, m_old.substr(9990, 10));
        // The first two written, the last not yet.
        std::string torn = Patched(m_old, {{100, std::string(10, 'n')}, {5000, std::string(300, 'n')}});
        std::fstream(m_target, std::ios::in | std::ios::out | std::ios::binary) << torn;
        ASSERT_TRUE(Same(ReadFile(m_target), torn));
    }
    void ExpectPutBack()
    {
        EXPECT_TRUE(Same(ReadFile(m_target), m_old));
        EXPECT_TRUE(Same(ReadFile(Path("other.bin")), m_old));
        EXPECT_EQ(Stat(m_target).st_ino, m_st.st_ino);
        EXPECT_TRUE(Hidden(m_dir.Path()).empty()) << *Hidden(m_dir.Path()).begin();
    }

    std::string m_target = Path("disc.bin");
    std::string m_old = Pattern(10000, 6);
    struct stat m_st = {};
    std::string m_records;
};

TEST_F(DeadPatch, TheSweepPutsItsOldBytesBack)
{
    PlantJournal(m_dir.Path(), "disc.bin", m_st, m_records);
    CSafeSaveFile::RemoveDeadTemporaries({m_target});
    ExpectPutBack();
}

TEST_F(DeadPatch, TheNextPatchOfTheFilePutsItsOldBytesBackFirst)
{
    PlantJournal(m_dir.Path(), "disc.bin", m_st, m_records);
    CSafePatchFile patch;
    ASSERT_TRUE(patch.Open(m_target.c_str(), nullptr));
    std::string at100(10, '\0');
    ASSERT_EQ(patch.Read(at100.data(), 10, 100), 10u);
    EXPECT_EQ(at100, m_old.substr(100, 10));
    patch.Abort();
    ExpectPutBack();
}

TEST_F(DeadPatch, TheNextSaveIntoTheFolderPutsItsOldBytesBack)
{
    PlantJournal(m_dir.Path(), "disc.bin", m_st, m_records);
    {
        CSafeSaveFile save;
        ASSERT_TRUE(save.Open(Path("else.bmp").c_str(), nullptr));
        save.GetFile().Write("ELSE", 4);
        save.Commit();
    }
    ::unlink(Path("else.bmp").c_str());
    ExpectPutBack();

    // A save of the file itself, in place since it has two names, starts from the old bytes.
    PlantJournal(m_dir.Path(), "disc.bin", m_st, m_records);
    CSafeSaveFile save;
    ASSERT_TRUE(save.Open(m_target.c_str(), nullptr));
    save.GetFile().Write("SAVED", 5);
    save.Commit();
    EXPECT_EQ(ReadFile(Path("other.bin")), "SAVED");
    EXPECT_TRUE(Hidden(m_dir.Path()).empty());
}

TEST_F(DeadPatch, ALivePatchsJournalIsLeftToIt)
{
    // The file's lock is held: whoever holds it owns the journal, dead or not.
    CSafePatchFile patch;
    ASSERT_TRUE(patch.Open(m_target.c_str(), nullptr));
    const std::string journal = PlantJournal(m_dir.Path(), "disc.bin", m_st, m_records);
    CSafeSaveFile::RemoveDeadTemporaries({m_target});
    EXPECT_EQ(Hidden(m_dir.Path()), std::set<std::string>{journal});
    EXPECT_FALSE(ReadFile(m_target) == m_old);
    patch.Abort();
    CSafeSaveFile::RemoveDeadTemporaries({m_target});
    ExpectPutBack();
}

TEST_F(DeadPatch, AJournalThatDoesNotFitChangesNothing)
{
    const std::string torn = ReadFile(m_target);
    const std::uint64_t kMax = ~0ull;
    const std::vector<std::pair<const char*, std::string>> records = {
        {"a record past the journal's end", m_records + Record(0, "abc", 4)},
        {"a record's length beyond the journal", Record(0, "abc", kMax - 8)},
        {"a half record", m_records + std::string(9, '\0')},
        {"a range past the file's end", m_records + Record(9995, "0123456789")},
        {"a range beyond any offset", m_records + Record(kMax - 2, "0123")},
        {"an offset past the file's end", m_records + Record(kMax, "")},
    };
    for (const auto& [pszWhat, strRecords] : records)
    {
        SCOPED_TRACE(pszWhat);
        PlantJournal(m_dir.Path(), "disc.bin", m_st, strRecords);
        CSafeSaveFile::RemoveDeadTemporaries({m_target});
        EXPECT_TRUE(Same(ReadFile(m_target), torn));
        EXPECT_TRUE(Hidden(m_dir.Path()).empty());
    }
    // Headers that say more or less than the journal holds, or a size the file does not have.
    for (auto [nLength, nFileSize] : {std::pair<std::uint64_t, std::uint64_t>{m_records.size() + 1, ~0ull},
                                      {m_records.size() - 1, ~0ull},
                                      {kMax - 1, ~0ull},
                                      {~0ull, 5000}})
    {
        SCOPED_TRACE(nLength);
        PlantJournal(m_dir.Path(), "disc.bin", m_st, m_records, nLength, nFileSize);
        CSafePatchFile patch;
        ASSERT_TRUE(patch.Open(m_target.c_str(), nullptr));
        patch.Abort();
        EXPECT_TRUE(Same(ReadFile(m_target), torn));
        CSafeSaveFile::RemoveDeadTemporaries({m_target});
        EXPECT_TRUE(Hidden(m_dir.Path()).empty());
    }
    // The journal of another file, or another user's: theirs to put back.
    const struct stat other = Stat(Path("other.bin"));
    struct stat elsewhere = other;
    elsewhere.st_ino += 1;
    const std::string journal = PlantJournal(m_dir.Path(), "disc.bin", elsewhere, m_records);
    CSafeSaveFile::RemoveDeadTemporaries({m_target});
    EXPECT_TRUE(Same(ReadFile(m_target), torn));
    EXPECT_EQ(Hidden(m_dir.Path()), std::set<std::string>{journal});
}

int Rounds()
{
    const char* psz = std::getenv("VELLUM_CRASH_ROUNDS");
#ifdef VELLUM_UNDER_ASAN
    return psz != nullptr ? std::atoi(psz) : 30;
#else
    return psz != nullptr ? std::atoi(psz) : 100;
#endif
}

TEST_F(SafePatch, APatchKilledAtRandomLeavesEveryRangeOldOrNewAfterTheNextRun)
{
    // On a file system in memory where one can be mounted: its syncs cost nothing, so the
    // kills land among the writes rather than in the waits for the disk, which a kill does
    // not change.
    std::string dir = m_dir.Path();
    bool bMounted = false;
    if (IsRoot() && ::mkdir(Path("memory").c_str(), 0755) == 0 &&
        ::mount("tmpfs", Path("memory").c_str(), "tmpfs", 0, "size=32m") == 0)
    {
        dir = Path("memory");
        bMounted = true;
    }
    struct Unmount
    {
        std::string strDir;
        ~Unmount()
        {
            if (!strDir.empty())
                ::umount2(strDir.c_str(), MNT_DETACH);
        }
    } unmount{bMounted ? dir : std::string()};
    auto in = [&](const char* pszName) { return dir + "/" + pszName; };

    // 4 MiB, with eight ranges spread over it, 64 KiB each but for a few bytes at the end.
    const std::string target = in("disc.bin");
    const std::string old = Pattern(4 << 20, 7);
    std::vector<RANGE> ranges;
    for (unsigned i = 0; i < 8; ++i)
        ranges.push_back({i * (512ull << 10) + 4096 * i, Pattern(i == 7 ? 100 : 64 << 10, 10 + i)});
    const std::string expected = Patched(old, ranges);
    std::size_t nRecords = 0;
    for (const RANGE& r : ranges)
        nRecords += 16 + r.strNew.size();

    // The child opens and collects, says so, and commits; the kill lands within the commit.
    auto start = [&] {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        if (pid == 0)
        {
            ::close(ready[0]);
            auto* pPatch = new CSafePatchFile;  // never destroyed: the process dies first
            if (!pPatch->Open(target.c_str(), nullptr))
                ::_exit(1);
            for (const RANGE& r : ranges)
                pPatch->Write(r.nOffset, r.strNew.data(), r.strNew.size());
            if (::write(ready[1], "r", 1) != 1)
                ::_exit(2);
            pPatch->Commit();
            ::_exit(0);
        }
        ::close(ready[1]);
        char ch;
        EXPECT_EQ(::read(ready[0], &ch, 1), 1);
        ::close(ready[0]);
        return pid;
    };
    auto reset = [&] {
        WriteFile(target, old);
        ::unlink(in("other.bin").c_str());
        EXPECT_EQ(::link(target.c_str(), in("other.bin").c_str()), 0);
    };

    // One whole run for how long a commit takes.
    reset();
    pid_t pid = start();
    const auto tStart = Clock::now();
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    const auto run = Clock::now() - tStart;
    ASSERT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    ASSERT_TRUE(Same(ReadLarge(target), expected));

    std::mt19937_64 random(std::random_device{}());
    std::uniform_int_distribution<long> delay(
        0, std::chrono::duration_cast<std::chrono::microseconds>(run).count());
    int nOld = 0, nNew = 0, nJournals = 0, nPutBack = 0;
    const int nRounds = Rounds();
    const auto tLoop = Clock::now();
    std::printf("crash: one commit took %lld us\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(run).count()));
    for (int nRound = 0; nRound < nRounds; ++nRound)
    {
        SCOPED_TRACE(nRound);
        reset();
        pid = start();
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(pid, SIGKILL);
        ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);

        // What the kill left: the file whole, or a journal of the ranges alone beside it.
        const std::set<std::string> left = Hidden(dir);
        const std::string now = ReadLarge(target);
        EXPECT_LE(left.size(), 1u);
        for (const std::string& name : left)
        {
            EXPECT_TRUE(afx_save::IsJournalName(name)) << name;
            EXPECT_LE(Stat(in(name.c_str())).st_size, static_cast<off_t>(512 + nRecords)) << name;
            ++nJournals;
        }
        if (left.empty())
        {
            EXPECT_TRUE(now == old || now == expected) << "torn without a journal";
        }

        // The next run puts it right: a patch of the file, or a save elsewhere in the folder.
        if (nRound % 2 == 0)
        {
            CSafePatchFile patch;
            ASSERT_TRUE(patch.Open(target.c_str(), nullptr));
        }
        else
            CSafeSaveFile::RemoveDeadTemporaries({target});
        const std::string after = ReadLarge(target);
        EXPECT_TRUE(after == old || after == expected) << "torn after the next run";
        EXPECT_TRUE(Same(ReadLarge(in("other.bin")), after));
        EXPECT_EQ(ScratchDir::Entries(dir), (std::set<std::string>{"disc.bin", "other.bin"}));
        (after == old ? nOld : nNew)++;
        if (after != now)
            ++nPutBack;
        if (HasFailure())
            return;
    }
    std::printf("crash: a patch of 8 ranges into 4 MiB: %d kills in %lld ms (old: %d, new: %d; %d journals left, "
                "%d put back), none torn after the next run\n",
                nRounds,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - tLoop).count()),
                nOld, nNew, nJournals, nPutBack);
}

}  // namespace
