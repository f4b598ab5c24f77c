#include "framework/AfxSafeSave.h"
#include "framework/SafeSaveIo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace afx_save;

CSaveBatch::CSaveBatch(const char* pszOwner)
{
    std::random_device rd;
    char szTag[32];
    std::snprintf(szTag, sizeof szTag, "-%ld-%08x", static_cast<long>(::getpid()), static_cast<unsigned>(rd()));
    m_strTag = std::string(pszOwner != nullptr ? pszOwner : "") + szTag;
}

void CSaveBatch::Add(AFX_PENDING_SAVE save, std::size_t nGroup)
{
    m_groups[nGroup].push_back(std::move(save));
}

std::vector<AFX_PENDING_SAVE> CSaveBatch::Take()
{
    std::vector<AFX_PENDING_SAVE> saves;
    for (auto& [nGroup, group] : m_groups)
        for (AFX_PENDING_SAVE& save : group)
            saves.push_back(std::move(save));
    m_groups.clear();
    return saves;
}

namespace
{
// Removes the temporary of save while it is still the file the save holds.
void RemoveTemporary(const AFX_PENDING_SAVE& save)
{
    struct stat st, now;
    if (::fstat(save.Fd(), &st) == 0 && ::lstat(save.strTemp.c_str(), &now) == 0 && st.st_dev == now.st_dev &&
        st.st_ino == now.st_ino)
        Retry([&] { return ::unlink(save.strTemp.c_str()); });
}

// Writes the save in place into its target in the folder fdDir: the target as Open checked
// it or, for a save that came from another process without it, the file the name holds now,
// opened without following a link. 0 or an errno.
int CommitInPlace(int fdDir, const AFX_PENDING_SAVE& save)
{
    const std::string name = NameOf(save.strTarget);
    if (save.pTargetFd)
        return WriteInPlace(fdDir, name, *save.pTargetFd, save.Fd());
    const int fd = Retry([&] { return ::openat(fdDir, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0)
        return errno;
    struct stat st;
    int nError = ::fstat(fd, &st) != 0 ? errno : !S_ISREG(st.st_mode) ? EINVAL : 0;
    if (nError == 0)
        nError = WriteInPlace(fdDir, name, fd, save.Fd());
    CloseFd(fd);
    return nError;
}
}  // namespace

void CSaveBatch::Discard()
{
    // Each goes while its lock is still held.
    for (const auto& [nGroup, group] : m_groups)
        for (const AFX_PENDING_SAVE& save : group)
            if (!save.strTemp.empty())
                RemoveTemporary(save);
    m_groups.clear();
}

std::vector<AFX_PENDING_SAVE> CSaveBatch::Take(std::size_t nGroup)
{
    std::vector<AFX_PENDING_SAVE> saves;
    if (const auto it = m_groups.find(nGroup); it != m_groups.end())
    {
        saves = std::move(it->second);
        m_groups.erase(it);
    }
    return saves;
}

void CSaveBatch::Discard(std::size_t nGroup)
{
    for (const AFX_PENDING_SAVE& save : Take(nGroup))
        if (!save.strTemp.empty())
            RemoveTemporary(save);
}

std::size_t CSaveBatch::Held() const
{
    std::size_t n = 0;
    for (const auto& [nGroup, group] : m_groups)
        for (const AFX_PENDING_SAVE& save : group)
            n += save.pTargetFd ? 2 : 1;
    return n;
}

bool CSaveBatch::Sync(std::string& strError) const
{
    std::set<dev_t> synced;
    for (const auto& [nGroup, group] : m_groups)
        for (const AFX_PENDING_SAVE& save : group)
        {
            // A save in place syncs its target when it is written.
            if (save.strTemp.empty())
                continue;
            struct stat st;
            if (::fstat(save.Fd(), &st) != 0 ||
                (synced.insert(st.st_dev).second && Retry([&] { return ::syncfs(save.Fd()); }) != 0))
            {
                strError = std::strerror(errno);
                return false;
            }
        }
    return true;
}

int CSaveBatch::Commit(std::size_t nGroup)
{
    const auto it = m_groups.find(nGroup);
    if (it == m_groups.end())
        return 0;
    int nError = 0;
    // Every name is taken in its folder, opened once for the saves in a row that share it.
    std::string strFolder;
    int fdDir = -1;
    for (const AFX_PENDING_SAVE& save : it->second)
    {
        const std::string folder = FolderOf(save.strTarget);
        if (fdDir < 0 || folder != strFolder)
        {
            CloseFd(fdDir);
            strFolder = folder;
            fdDir = OpenFolder(folder);
        }
        int nThis = 0;
        if (fdDir < 0)
        {
            nThis = errno;
            if (!save.strTemp.empty())
                RemoveTemporary(save);
        }
        else if (save.strTemp.empty())
            nThis = CommitInPlace(fdDir, save);
        else
            nThis = RenameTemporary(fdDir, NameOf(save.strTemp), save.Fd(), NameOf(save.strTarget));
        if (nError == 0)
            nError = nThis;
    }
    CloseFd(fdDir);
    m_groups.erase(it);
    return nError;
}

void CSaveBatch::RemoveLeftovers(const std::vector<std::string>& targets)
{
    Discard();
    CSafeSaveFile::RemoveDeadTemporaries(targets);
}
