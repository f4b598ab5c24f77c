// Saves and opens on failing files and disks, through the framework and the driver: a
// write that fails after N bytes, a full disk, a read-only target, a target that is a
// directory, a source cut short or removed between open and read. Each gives one clear
// message; the file that was there before is intact, no partial or temporary file is
// left, and the next operation succeeds.

#include "tests/document/DocHarness.h"
#include "tests/formats/SampleFiles.h"
#include "tests/support/OrdinaryUser.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace
{
namespace fs = std::filesystem;

std::set<std::string> Names(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

bool Mentions(const std::vector<std::string>& messages, const std::string& strA, const std::string& strB)
{
    return messages.size() == 1 && messages[0].find(strA) != std::string::npos &&
           messages[0].find(strB) != std::string::npos;
}

// Writes past nBytes fail with EFBIG for as long as this lives, like a disk that fills up
// after nBytes; the signal that would end the process is ignored meanwhile.
class CFileSizeLimit
{
public:
    explicit CFileSizeLimit(rlim_t nBytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = m_old;
        lim.rlim_cur = nBytes;
        m_bSet = ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~CFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;
    bool IsSet() const { return m_bSet; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
    bool m_bSet = false;
};

// A small tmpfs of its own at dir, unmounted again at the end.
class CTmpfs
{
public:
    CTmpfs(const fs::path& dir, const char* pszOptions) : m_dir(dir)
    {
        fs::create_directories(dir);
        m_bMounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, pszOptions) == 0;
    }
    ~CTmpfs()
    {
        if (m_bMounted)
            ::umount2(m_dir.c_str(), MNT_DETACH);
    }
    CTmpfs(const CTmpfs&) = delete;
    CTmpfs& operator=(const CTmpfs&) = delete;
    bool IsMounted() const { return m_bMounted; }
    bool MakeReadOnly() const
    {
        return ::mount(nullptr, m_dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    fs::path m_dir;
    bool m_bMounted = false;
};

class FileFault : public DocTest
{
protected:
    // Loads a picture large enough that its pixels take several writes, and saves it
    // once cleanly as each target for reference.
    void LoadBig()
    {
        ASSERT_TRUE(Open(Put("big.bmp", MakeSampleBmp(256, 250))));
        TakeMessages();
    }
};

TEST_F(FileFault, WriteFailingAfterNBytesKeepsTheEarlierFile)
{
    for (const char* pszTarget : {"target.bmp", "target.tim", "target.fnt"})
    {
        SCOPED_TRACE(pszTarget);
        LoadBig();
        ASSERT_TRUE(SaveAs(Path(std::string("reference-") + pszTarget)));
        const Bytes reference = ReadBytes(Path(std::string("reference-") + pszTarget));
        LoadBig();
        const Bytes earlier = MakeSampleBmp(3, 3);
        const fs::path target = Put(pszTarget, earlier);
        const std::set<std::string> names = Names(m_dir);

        for (rlim_t nLimit : {rlim_t{0}, rlim_t{1}, rlim_t{14}, rlim_t{54}, rlim_t{1077}, rlim_t{1078},
                              rlim_t{61440}, rlim_t{reference.size() - 1}})
        {
            SCOPED_TRACE(nLimit);
            // Nothing is printed while the limit holds: a log redirected to a file would lose it.
            bool bLimited = false, bSaved = false;
            {
                CFileSizeLimit limit(nLimit);
                bLimited = limit.IsSet();
                bSaved = bLimited && SaveAs(target);
            }
            ASSERT_TRUE(bLimited);
            EXPECT_FALSE(bSaved);
            EXPECT_TRUE(Mentions(TakeMessages(), target.string(), std::strerror(EFBIG)));
            EXPECT_EQ(ReadBytes(target), earlier);
            EXPECT_EQ(Names(m_dir), names) << "a partial or temporary file was left";
        }
        // The program goes on: the same save now succeeds and writes what a clean save writes.
        ASSERT_TRUE(SaveAs(target));
        EXPECT_EQ(ReadBytes(target), reference);
        EXPECT_TRUE(TakeMessages().empty());
    }
}

TEST_F(FileFault, FullDiskKeepsTheEarlierFile)
{
    const fs::path mnt = Path("small-disk");
    CTmpfs disk(mnt, "size=128k");
    if (!disk.IsMounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << ")";
    LoadBig();
    const Bytes earlier = MakeSampleBmp(8, 8);
    const fs::path target = mnt / "picture.bmp";
    WriteBytes(target, earlier);
    // Fill what is left.
    {
        const int fd = ::open((mnt / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        const std::vector<char> block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0)
        {
        }
        ::close(fd);
    }
    const std::set<std::string> names = Names(mnt);

    EXPECT_FALSE(SaveAs(target));
    EXPECT_TRUE(Mentions(TakeMessages(), target.string(), std::strerror(ENOSPC)));
    EXPECT_EQ(ReadBytes(target), earlier);
    EXPECT_EQ(Names(mnt), names);

    // Room again: the save succeeds and reads back as the picture.
    fs::remove(mnt / "filler");
    ASSERT_TRUE(SaveAs(target));
    EXPECT_TRUE(TakeMessages().empty());
    ASSERT_TRUE(Open(target));
    EXPECT_EQ(m_pFrame->m_strStatus, "size:256x250");
}

TEST_F(FileFault, ReadOnlyTargetIsRefusedAndKept)
{
    LoadBig();
    const Bytes earlier = MakeSampleBmp(8, 8);
    bool bMounted = false;
    if (::geteuid() == 0)
    {
        // Permission bits do not stop root; a read-only file system does.
        const fs::path mnt = Path("ro-disk");
        CTmpfs disk(mnt, "size=256k");
        bMounted = disk.IsMounted();
        if (bMounted)
        {
            const fs::path target = mnt / "picture.bmp";
            WriteBytes(target, earlier);
            ASSERT_TRUE(disk.MakeReadOnly());
            EXPECT_FALSE(SaveAs(target));
            EXPECT_TRUE(Mentions(TakeMessages(), target.string(), std::strerror(EROFS)));
            EXPECT_EQ(ReadBytes(target), earlier);
            EXPECT_FALSE(SaveAs(mnt / "new.tim"));
            EXPECT_TRUE(Mentions(TakeMessages(), "new.tim", std::strerror(EROFS)));
            EXPECT_EQ(Names(mnt), std::set<std::string>{"picture.bmp"});
        }
    }
    // The permission bits, as an ordinary user (nobody, when the tests run as root).
    const fs::path target = Put("picture.bmp", earlier);
    AsOrdinaryUser({m_dir.string(), target.string()}, [&] {
        fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        EXPECT_FALSE(SaveAs(target));
        EXPECT_TRUE(Mentions(TakeMessages(), target.string(), std::strerror(EACCES)));
        EXPECT_EQ(ReadBytes(target), earlier);
        // The program goes on.
        EXPECT_TRUE(SaveAs(Path("elsewhere.bmp")));
        EXPECT_TRUE(TakeMessages().empty());
    });
    EXPECT_TRUE(SaveAs(Path("elsewhere.bmp")));
    EXPECT_TRUE(TakeMessages().empty());
    if (::geteuid() == 0 && !bMounted)
        GTEST_SKIP() << "cannot mount a tmpfs here, so the read-only file system was not tried";
}

TEST_F(FileFault, TargetThatIsADirectoryIsRefusedAndKept)
{
    LoadBig();
    for (const char* pszDir : {"folder", "folder.bmp", "folder.tim"})
    {
        SCOPED_TRACE(pszDir);
        const fs::path dir = Path(pszDir);
        fs::create_directory(dir);
        WriteBytes(dir / "inside", {1, 2, 3});
        const std::set<std::string> names = Names(m_dir);
        EXPECT_FALSE(SaveAs(dir));
        EXPECT_TRUE(Mentions(TakeMessages(), pszDir, std::strerror(EISDIR)));
        EXPECT_TRUE(fs::is_directory(dir));
        EXPECT_EQ(Names(dir), std::set<std::string>{"inside"});
        EXPECT_EQ(Names(m_dir), names);
    }
    EXPECT_TRUE(SaveAs(Path("file.bmp")));
    EXPECT_TRUE(TakeMessages().empty());
}

// The file is opened, then cut short, emptied, removed or replaced before the driver reads
// it. What the open descriptor still reaches decides: a cut file is refused with nothing
// changed, a removed or replaced one still reads as the file that was opened.
TEST_F(FileFault, SourceChangingBetweenOpenAndRead)
{
    const Bytes earlier = MakeSampleTim(20, 10);
    const Bytes source = MakeSampleBmp(64, 64);
    struct Case
    {
        const char* pszName;
        void (*change)(const fs::path&);
        unsigned nMessage;  // 0: loads as the source
    };
    const Case cases[] = {
        {"emptied", [](const fs::path& p) { fs::resize_file(p, 0); }, IDS_UNKNOWN_FORMAT},
        {"cut in the header", [](const fs::path& p) { fs::resize_file(p, 20); }, IDS_LOAD_ERROR},
        {"cut in the colours", [](const fs::path& p) { fs::resize_file(p, 600); }, IDS_LOAD_ERROR},
        {"cut in the pixels", [](const fs::path& p) { fs::resize_file(p, 3000); }, IDS_LOAD_ERROR},
        {"removed", [](const fs::path& p) { fs::remove(p); }, 0},
        {"replaced", [](const fs::path& p) { WriteBytes(p.string() + ".new", {'x'}); fs::rename(p.string() + ".new", p); },
         0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        ASSERT_TRUE(Open(Put("earlier.tim", earlier)));
        TakeMessages();
        const Bytes colours = SurfaceColors(*m_pView);
        const Bytes pixels = ShownPixels(*m_pView);
        const fs::path path = Put("source.bmp", source);

        CFile file(path.c_str(), CFile::modeRead);
        c.change(path);
        CArchive ar(&file, CArchive::load);
        bool bRefused = false;
        try
        {
            m_pDoc->Serialize(ar);
        }
        catch (const CUserException&)
        {
            bRefused = true;
        }
        if (c.nMessage != 0)
        {
            EXPECT_TRUE(bRefused);
            EXPECT_EQ(TakeMessages(), std::vector<std::string>{Msg(c.nMessage)});
            EXPECT_EQ(m_pDoc->m_nDataType, DATA_TIM);
            EXPECT_EQ(SurfaceColors(*m_pView), colours);
            EXPECT_EQ(ShownPixels(*m_pView), pixels);
        }
        else
        {
            EXPECT_FALSE(bRefused);
            EXPECT_TRUE(TakeMessages().empty());
            EXPECT_EQ(m_pDoc->m_nDataType, DATA_BMP);
            EXPECT_EQ(m_pFrame->m_strStatus, "size:64x64");
        }
        // The program goes on.
        EXPECT_TRUE(SaveAs(Path("after.fnt")));
        EXPECT_TRUE(Open(Path("after.fnt")));
        EXPECT_TRUE(TakeMessages().empty());
    }
}

// Opening what cannot be read at all: a missing file, a directory, a device.
TEST_F(FileFault, UnreadableSourcesAreReportedAndChangeNothing)
{
    ASSERT_TRUE(Open(Put("earlier.bmp", MakeSampleBmp(16, 16))));
    TakeMessages();
    const Bytes pixels = ShownPixels(*m_pView);
    fs::create_directory(Path("a-folder"));
    struct Case
    {
        fs::path path;
        int nErrno;
    };
    for (const Case& c : {Case{Path("missing.bmp"), ENOENT}, Case{Path("a-folder"), EISDIR}})
    {
        SCOPED_TRACE(c.path.string());
        EXPECT_FALSE(Open(c.path));
        EXPECT_TRUE(Mentions(TakeMessages(), c.path.filename().string(), std::strerror(c.nErrno)));
        EXPECT_EQ(m_pDoc->m_nDataType, DATA_BMP);
        EXPECT_EQ(ShownPixels(*m_pView), pixels);
    }
    EXPECT_FALSE(Open("/dev/zero"));
    EXPECT_EQ(TakeMessages().size(), 1u);
    EXPECT_EQ(ShownPixels(*m_pView), pixels);
    EXPECT_TRUE(Open(Path("earlier.bmp")));
}
}  // namespace
