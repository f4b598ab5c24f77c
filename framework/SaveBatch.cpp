#include "framework/AfxSafeSave.h"
#include "framework/SafeSaveIo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
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

void CSaveBatch::Discard()
{
    // Each goes while its lock is still held.
    for (const auto& [nGroup, group] : m_groups)
        for (const AFX_PENDING_SAVE& save : group)
            if (!save.strTemp.empty())
                Retry([&] { return ::unlink(save.strTemp.c_str()); });
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
            Retry([&] { return ::unlink(save.strTemp.c_str()); });
}

std::size_t CSaveBatch::Held() const
{
    std::size_t n = 0;
    for (const auto& [nGroup, group] : m_groups)
        n += group.size();
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
    for (const AFX_PENDING_SAVE& save : it->second)
    {
        int nThis = 0;
        if (save.strTemp.empty())
            nThis = WriteInPlace(save.strTarget, save.Fd());
        else if (Retry([&] { return ::rename(save.strTemp.c_str(), save.strTarget.c_str()); }) != 0)
        {
            nThis = errno;
            Retry([&] { return ::unlink(save.strTemp.c_str()); });
        }
        if (nError == 0)
            nError = nThis;
    }
    m_groups.erase(it);
    return nError;
}

void CSaveBatch::RemoveLeftovers(const std::vector<std::string>& targets)
{
    Discard();
    CSafeSaveFile::RemoveDeadTemporaries(targets);
}
