#include "framework/AfxSafeSave.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::string FolderOf(const std::string& strPath)
{
    const std::size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? std::string(".") : (nSlash == 0 ? std::string("/") : strPath.substr(0, nSlash));
}
}  // namespace

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

void CSaveBatch::Discard()
{
    for (const auto& [nGroup, group] : m_groups)
        for (const AFX_PENDING_SAVE& save : group)
            ::unlink(save.strTemp.c_str());
    m_groups.clear();
}

bool CSaveBatch::Sync(std::string& strError) const
{
    std::set<dev_t> synced;
    for (const auto& [nGroup, group] : m_groups)
        for (const AFX_PENDING_SAVE& save : group)
        {
            const int fd = ::open(FolderOf(save.strTemp).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            struct stat st;
            if (fd < 0 || ::fstat(fd, &st) != 0 || (synced.insert(st.st_dev).second && ::syncfs(fd) != 0))
            {
                strError = std::strerror(errno);
                if (fd >= 0)
                    ::close(fd);
                return false;
            }
            ::close(fd);
        }
    return true;
}

int CSaveBatch::Commit(std::size_t nGroup)
{
    const auto it = m_groups.find(nGroup);
    if (it == m_groups.end())
        return 0;
    int nError = 0;
    for (const AFX_PENDING_SAVE& save : it->second)
        if (::rename(save.strTemp.c_str(), save.strTarget.c_str()) != 0)
        {
            if (nError == 0)
                nError = errno;
            ::unlink(save.strTemp.c_str());
        }
    m_groups.erase(it);
    return nError;
}

void CSaveBatch::RemoveLeftovers(const std::vector<std::string>& targets)
{
    Discard();
    CSafeSaveFile::RemoveBatchTemporaries(targets, m_strTag);
}
