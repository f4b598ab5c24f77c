#include "framework/AfxSafeSave.h"
#include "framework/SafeSaveIo.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <set>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace afx_save
{
namespace
{
constexpr char kMark[] = "afxsave-";
constexpr std::size_t kMarkSize = sizeof kMark - 1;
constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

bool IsNameChar(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
}

int WriteAllAt(int fd, const char* p, std::size_t nCount, off_t nAt)
{
    while (nCount > 0)
    {
        const ssize_t n = Retry([&] { return ::pwrite(fd, p, nCount, nAt); });
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOSPC;
        p += n;
        nCount -= static_cast<std::size_t>(n);
        nAt += n;
    }
    return 0;
}

// The whole of fd from its start; false with errno set when a read fails.
bool ReadAll(int fd, std::vector<char>& data)
{
    data.clear();
    char buf[65536];
    for (off_t nAt = 0;;)
    {
        const ssize_t n = Retry([&] { return ::pread(fd, buf, sizeof buf, nAt); });
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        data.insert(data.end(), buf, buf + n);
        nAt += n;
    }
}

// Copies fdFrom over fd from the start, cuts fd to that length and syncs it: 0 or an errno.
int Overwrite(int fd, int fdFrom)
{
    char buf[65536];
    off_t nAt = 0;
    for (;;)
    {
        const ssize_t n = Retry([&] { return ::pread(fdFrom, buf, sizeof buf, nAt); });
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        if (const int nError = WriteAllAt(fd, buf, static_cast<std::size_t>(n), nAt))
            return nError;
        nAt += n;
    }
    if (Retry([&] { return ::ftruncate(fd, nAt); }) != 0 || Retry([&] { return ::fdatasync(fd); }) != 0)
        return errno;
    return 0;
}
}  // namespace

void CloseFd(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

std::string FolderOf(const std::string& strPath)
{
    const std::size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? std::string("./") : strPath.substr(0, nSlash + 1);
}

bool IsTemporaryName(const std::string& strName)
{
    if (strName.size() < 1 + kMarkSize + 6 || strName[0] != '.')
        return false;
    const std::size_t nAt = strName.size() - 6 - kMarkSize;
    return strName[nAt - 1] == '.' && strName.compare(nAt, kMarkSize, kMark) == 0 &&
           std::all_of(strName.end() - 6, strName.end(), IsNameChar);
}

void RemoveDeadTemporaries(const std::string& strFolder)
{
    const int fdDir = Retry([&] { return ::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fdDir < 0)
        return;
    std::vector<std::string> names;
    const int fdList = ::dup(fdDir);
    if (DIR* pDir = fdList >= 0 ? ::fdopendir(fdList) : nullptr)
    {
        while (const dirent* pEntry = ::readdir(pDir))
            if (IsTemporaryName(pEntry->d_name))
                names.emplace_back(pEntry->d_name);
        ::closedir(pDir);
    }
    else
        CloseFd(fdList);
    for (const std::string& name : names)
    {
        const int fd =
            Retry([&] { return ::openat(fdDir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
        if (fd < 0)
            continue;
        // Its owner holds the lock for as long as it lives; a lock we can take means the
        // owner is gone. The name must still be this file when it goes.
        struct stat st, now;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(fdDir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == st.st_dev &&
            now.st_ino == st.st_ino)
            Retry([&] { return ::unlinkat(fdDir, name.c_str(), 0); });
        CloseFd(fd);
    }
    CloseFd(fdDir);
}

int WriteInPlace(const std::string& strTarget, int fdNew)
{
    const int fd = Retry([&] { return ::open(strTarget.c_str(), O_RDWR | O_CLOEXEC); });
    if (fd < 0)
        return errno;
    std::vector<char> old;
    if (!ReadAll(fd, old))
    {
        const int nError = errno;
        CloseFd(fd);
        return nError;
    }
    const int nError = Overwrite(fd, fdNew);
    // Every name of the file goes back to the old content.
    if (nError != 0 && WriteAllAt(fd, old.data(), old.size(), 0) == 0 &&
        Retry([&] { return ::ftruncate(fd, static_cast<off_t>(old.size())); }) == 0)
        Retry([&] { return ::fdatasync(fd); });
    CloseFd(fd);
    return nError;
}

}  // namespace afx_save

using namespace afx_save;

namespace
{
// The file a save of strPath writes: the end of a chain of symbolic links, which need not
// exist yet (a dangling link gets its file; the link stays). Links among the folders need
// nothing: the temporary beside the name lands in the same folder as the name itself.
std::string ResolveTarget(const std::string& strPath)
{
    std::string path = strPath;
    for (int nHop = 0; nHop < 40; ++nHop)
    {
        struct stat lst;
        if (::lstat(path.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode))
            return path;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size())
            return path;
        link.resize(static_cast<std::size_t>(n));
        path = link[0] == '/' ? link : FolderOf(path) + link;
    }
    return path;  // a loop of links: the checks that follow report it
}

// The temporary's name with six X: ".NAME.afxsave-XXXXXX", in a batch
// ".NAME.TAG.afxsave-XXXXXX", or when that is too long a name, ".[TAG.]afxsave-XXXXXX".
std::string TemporaryTemplate(const std::string& strName, const std::string& strTag)
{
    const std::string tail = (strTag.empty() ? std::string() : strTag + ".") + kMark + "XXXXXX";
    if (strName.size() + tail.size() + 2 > NAME_MAX)
        return "." + tail;
    return "." + strName + "." + tail;
}

// Creates the temporary named by tmpl, its last six characters made unique, with the mode
// asked for, and locks it. The descriptor, or -1 with errno set.
int CreateTemporary(std::string& tmpl, mode_t mode)
{
    static std::mt19937_64 s_random{std::random_device{}()};
    const std::size_t nAt = tmpl.size() - 6;
    for (int nTry = 0; nTry < 100; ++nTry)
    {
        std::uint64_t bits = s_random();
        for (std::size_t i = 0; i < 6; ++i, bits >>= 6)
            tmpl[nAt + i] = kNameChars[bits % (sizeof kNameChars - 1)];
        const int fd = Retry([&] { return ::open(tmpl.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode); });
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return -1;
        // Until the lock is ours, another save may take the new file for a dead run's and
        // remove it; then it is made again. A file system without locks has no such sweeps.
        struct stat st;
        if (Retry([&] { return ::flock(fd, LOCK_EX); }) != 0 || (::fstat(fd, &st) == 0 && st.st_nlink > 0))
            return fd;
        CloseFd(fd);
    }
    errno = EEXIST;
    return -1;
}

// The names of the extended attributes of a path or, with an empty path, of fd.
bool ListAttributes(const std::string& strPath, int fd, std::vector<std::string>& names)
{
    names.clear();
    std::vector<char> buf;
    for (;;)
    {
        const ssize_t nSize = strPath.empty() ? ::flistxattr(fd, nullptr, 0) : ::listxattr(strPath.c_str(), nullptr, 0);
        if (nSize <= 0)
            return nSize == 0 || errno == ENOTSUP;
        buf.resize(static_cast<std::size_t>(nSize));
        const ssize_t n = strPath.empty() ? ::flistxattr(fd, buf.data(), buf.size())
                                          : ::listxattr(strPath.c_str(), buf.data(), buf.size());
        if (n < 0 && errno == ERANGE)
            continue;
        if (n < 0)
            return false;
        for (std::size_t i = 0; i < static_cast<std::size_t>(n);)
        {
            const std::string name(buf.data() + i);
            i += name.size() + 1;
            if (!name.empty())
                names.push_back(name);
        }
        return true;
    }
}

// Gives the temporary fd the extended attributes of strTarget (ACLs, security labels, user
// attributes) and no others.
bool CopyAttributes(const std::string& strTarget, int fd)
{
    std::vector<std::string> theirs, mine;
    if (!ListAttributes(strTarget, -1, theirs))
        return false;
    std::vector<char> value;
    for (const std::string& name : theirs)
    {
        ssize_t n = ::getxattr(strTarget.c_str(), name.c_str(), nullptr, 0);
        if (n >= 0)
        {
            value.resize(static_cast<std::size_t>(n));
            n = ::getxattr(strTarget.c_str(), name.c_str(), value.data(), value.size());
        }
        if (n < 0)
            return false;
        if (Retry([&] { return ::fsetxattr(fd, name.c_str(), value.data(), static_cast<std::size_t>(n), 0); }) != 0)
            return false;
    }
    if (!ListAttributes(std::string(), fd, mine))
        return false;
    for (const std::string& name : mine)
        if (std::find(theirs.begin(), theirs.end(), name) == theirs.end() &&
            Retry([&] { return ::fremovexattr(fd, name.c_str()); }) != 0)
            return false;
    return true;
}

// Makes the temporary fd what the target st was: owner, group, mode, attributes. False when
// it cannot take one of them.
bool TakeOver(int fd, const std::string& strTarget, const struct stat& st)
{
    struct stat mine;
    if (::fstat(fd, &mine) != 0)
        return false;
    // Owner first: a change of owner clears the set-id bits that the mode then sets.
    if ((mine.st_uid != st.st_uid || mine.st_gid != st.st_gid) &&
        Retry([&] { return ::fchown(fd, st.st_uid, st.st_gid); }) != 0)
        return false;
    if (Retry([&] { return ::fchmod(fd, st.st_mode & 07777); }) != 0)
        return false;
    return CopyAttributes(strTarget, fd);
}
}  // namespace

std::shared_ptr<const int> AFX_PENDING_SAVE::Own(int fd)
{
    return std::shared_ptr<const int>(new int(fd), [](const int* p) {
        CloseFd(*p);
        delete p;
    });
}

CSafeSaveFile::~CSafeSaveFile()
{
    Abort();
}

BOOL CSafeSaveFile::Open(LPCTSTR lpszPathName, CFileException* pError, CSaveBatch* pBatch)
{
    Abort();
    m_strPath = lpszPathName;
    m_pBatch = pBatch;
    auto fail = [&](const CFileException& e) {
        if (pError != nullptr)
            *pError = e;
        return FALSE;
    };
    if (m_strPath.IsEmpty())
        return fail(CFileException::FromErrno(ENOENT, m_strPath));

    const std::string target = ResolveTarget(m_strPath.Str());
    struct stat st;
    const bool bExists = ::stat(target.c_str(), &st) == 0;
    if (bExists)
    {
        if (S_ISDIR(st.st_mode))
            return fail(CFileException::FromErrno(EISDIR, m_strPath));
        if (!S_ISREG(st.st_mode))
            return fail(CFileException(CFileException::invalidFile, 0, m_strPath));
        // Renaming would replace a write-protected file; refuse as writing in place would.
        if (::access(target.c_str(), W_OK) != 0)
            return fail(CFileException::FromErrno(errno, m_strPath));
    }
    else if (errno != ENOENT)
        return fail(CFileException::FromErrno(errno, m_strPath));

    const std::string dir = FolderOf(target);
    const std::string name = target.substr(target.rfind('/') + 1);
    if (name.empty())
        return fail(CFileException::FromErrno(EISDIR, m_strPath));
    m_strTarget = target;
    // A new file in place of this one would leave its other names with the old content.
    if (bExists && st.st_nlink > 1)
        return OpenInPlace(pError);

    std::string tmpl = dir + TemporaryTemplate(name, m_pBatch != nullptr ? m_pBatch->GetTag() : std::string());
    // A new file gets its mode from the umask as the kernel creates it; one that replaces a
    // file starts private and then takes that file's mode.
    const int fd = CreateTemporary(tmpl, bExists ? 0600 : 0666);
    if (fd < 0)
    {
        // A folder that takes no new file may still hold a file this user may write.
        if (bExists && (errno == EACCES || errno == EPERM))
            return OpenInPlace(pError);
        return fail(CFileException::FromErrno(errno, m_strPath));
    }
    if (bExists && !TakeOver(fd, target, st))
    {
        Retry([&] { return ::unlink(tmpl.c_str()); });
        CloseFd(fd);
        return OpenInPlace(pError);
    }
    m_strTemp = tmpl;
    m_file.Attach(fd, m_strPath);
    return TRUE;
}

BOOL CSafeSaveFile::OpenInPlace(CFileException* pError)
{
    // The target must take writes and give its old bytes back; the new ones wait in memory
    // until the commit.
    const int fdTarget = Retry([&] { return ::open(m_strTarget.c_str(), O_RDWR | O_CLOEXEC); });
    const int fd = fdTarget < 0 ? -1 : ::memfd_create("afxsave", MFD_CLOEXEC);
    if (fd < 0)
    {
        const int nError = errno;
        CloseFd(fdTarget);
        if (pError != nullptr)
            *pError = CFileException::FromErrno(nError, m_strPath);
        return FALSE;
    }
    CloseFd(fdTarget);
    m_bInPlace = true;
    m_file.Attach(fd, m_strPath);
    return TRUE;
}

void CSafeSaveFile::Commit()
{
    if ((m_strTemp.empty() && !m_bInPlace) || !m_file.IsOpen())
        throw CFileException::FromErrno(EBADF, m_strPath);
    if (m_pBatch != nullptr)
    {
        // The batch keeps the temporary open, and so locked, until it renames it.
        const int fdKeep = ::fcntl(m_file.GetHandle(), F_DUPFD_CLOEXEC, 0);
        if (fdKeep < 0)
            throw CFileException::FromErrno(errno, m_strPath);
        AFX_PENDING_SAVE save{m_strTemp, m_strTarget, AFX_PENDING_SAVE::Own(fdKeep)};
        m_file.Close();
        m_pBatch->Add(std::move(save));
        m_strTemp.clear();
        m_bInPlace = false;
        return;
    }
    if (m_bInPlace)
    {
        const int nError = WriteInPlace(m_strTarget, m_file.GetHandle());
        m_file.Abort();
        m_bInPlace = false;
        if (nError != 0)
            throw CFileException::FromErrno(nError, m_strPath);
    }
    else
    {
        // The data must be on disk before the rename makes it the file; otherwise a crash
        // just after the save could leave an empty file where the old one was.
        if (Retry([&] { return ::fdatasync(m_file.GetHandle()); }) != 0)
            throw CFileException::FromErrno(errno, m_strPath);
        // The lock stays until the rename.
        const int fdLock = ::fcntl(m_file.GetHandle(), F_DUPFD_CLOEXEC, 0);
        try
        {
            m_file.Close();
        }
        catch (...)
        {
            CloseFd(fdLock);
            throw;
        }
        const int nRenamed = Retry([&] { return ::rename(m_strTemp.c_str(), m_strTarget.c_str()); });
        const int nError = errno;
        CloseFd(fdLock);
        if (nRenamed != 0)
            throw CFileException::FromErrno(nError, m_strPath);
        m_strTemp.clear();
    }
    afx_save::RemoveDeadTemporaries(FolderOf(m_strTarget));
}

void CSafeSaveFile::Abort()
{
    // Removed while still locked, so no sweep of the folder meets it half gone.
    if (!m_strTemp.empty())
    {
        Retry([&] { return ::unlink(m_strTemp.c_str()); });
        m_strTemp.clear();
    }
    m_file.Abort();
    m_bInPlace = false;
}

void CSafeSaveFile::RemoveDeadTemporaries(const std::vector<std::string>& targets)
{
    std::set<std::string> folders;
    for (const std::string& target : targets)
        folders.insert(FolderOf(ResolveTarget(target)));
    for (const std::string& folder : folders)
        afx_save::RemoveDeadTemporaries(folder);
}
