#include "framework/AfxSafeSave.h"
#include "framework/SafeSaveIo.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <iterator>
#include <limits>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace afx_save;

namespace
{
constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

// "bytes FIRST to LAST" of a range inside a file, for a message.
std::string ByteRange(std::uint64_t nOffset, std::uint64_t n)
{
    return "bytes " + std::to_string(nOffset) + " to " + std::to_string(nOffset + n - 1);
}
}  // namespace

CSafePatchFile::~CSafePatchFile()
{
    Abort();
}

BOOL CSafePatchFile::Open(LPCTSTR lpszPathName, CFileException* pError)
{
    Abort();
    m_strPath = lpszPathName;
    auto fail = [&](const CFileException& e) {
        Abort();
        if (pError != nullptr)
            *pError = e;
        return FALSE;
    };
    std::string target;
    CFileException eFolder;
    if (!OpenTargetFolder(m_strPath, target, m_strName, m_fdDir, eFolder))
        return fail(eFolder);

    struct stat st;
    for (int nTry = 0; m_fdTarget < 0; ++nTry)
    {
        if (nTry == 100)
            return fail(Refusal(EAGAIN, m_strPath.Str() + std::string(" is replaced over and over; not patched"),
                                m_strPath));
        if (::fstatat(m_fdDir, m_strName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(CFileException::FromErrno(errno, m_strPath));
        CFileException e;
        if (!CheckTarget(m_fdDir, m_strName, st, m_strPath, e))
            return fail(e);
        const int fd = OpenChecked(m_fdDir, m_strName, st, m_strPath, e);
        if (fd < 0)
            return fail(e);
        // A save or patch of the file in progress finishes first. A save that renamed a new
        // file over it meanwhile leaves this one nameless: the new one is patched instead. A
        // file system without locks still gets the journal.
        Retry([&] { return ::flock(fd, LOCK_EX); });
        struct stat now;
        if (::fstat(fd, &st) == 0 && st.st_nlink > 0 &&
            ::fstatat(m_fdDir, m_strName.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == st.st_dev &&
            now.st_ino == st.st_ino)
            m_fdTarget = fd;
        else
            CloseFd(fd);
    }
    // A dead save's or patch's journal of this file goes back before anything is read: its
    // bytes are the file's last whole ones.
    if (const int nError = RecoverJournalsOf(m_fdDir, m_fdTarget, st))
        return fail(CFileException::FromErrno(nError, m_strPath));
    if (::fstat(m_fdTarget, &st) != 0)
        return fail(CFileException::FromErrno(errno, m_strPath));
    m_nLength = static_cast<std::uint64_t>(st.st_size);
    return TRUE;
}

std::size_t CSafePatchFile::Read(void* p, std::size_t n, std::uint64_t nOffset) const
{
    if (!IsOpen())
        throw CFileException::FromErrno(EBADF, m_strPath);
    if (nOffset > kMaxOffset)
        return 0;
    if (n > kMaxOffset - nOffset)
        n = static_cast<std::size_t>(kMaxOffset - nOffset);
    auto* pBytes = static_cast<char*>(p);
    std::size_t nDone = 0;
    while (nDone < n)
    {
        const ssize_t nRead = Retry(
            [&] { return ::pread(m_fdTarget, pBytes + nDone, n - nDone, static_cast<off_t>(nOffset + nDone)); });
        if (nRead < 0)
            throw CFileException::FromErrno(errno, m_strPath);
        if (nRead == 0)
            break;
        nDone += static_cast<std::size_t>(nRead);
    }
    return nDone;
}

void CSafePatchFile::Write(std::uint64_t nOffset, const void* p, std::size_t n)
{
    if (!IsOpen())
        throw CFileException::FromErrno(EBADF, m_strPath);
    if (nOffset > m_nLength || n > m_nLength - nOffset)
        throw Refusal(EINVAL,
                      std::to_string(n) + " bytes at offset " + std::to_string(nOffset) +
                          " do not fit in the file, which has " + std::to_string(m_nLength),
                      m_strPath);
    if (n == 0)
        return;
    // The first range from nOffset on must start past the new one, the one before must end
    // before it.
    const auto next = m_ranges.lower_bound(nOffset);
    auto clash = m_ranges.end();
    if (next != m_ranges.end() && next->first - nOffset < n)
        clash = next;
    else if (next != m_ranges.begin() && std::prev(next)->first + std::prev(next)->second.size() > nOffset)
        clash = std::prev(next);
    if (clash != m_ranges.end())
        throw Refusal(EINVAL,
                      ByteRange(nOffset, n) + " overlap " + ByteRange(clash->first, clash->second.size()) +
                          ", patched before",
                      m_strPath);
    const auto* pBytes = static_cast<const char*>(p);
    m_ranges.emplace_hint(next, nOffset, std::vector<char>(pBytes, pBytes + n));
}

void CSafePatchFile::Commit()
{
    if (!IsOpen())
        throw CFileException::FromErrno(EBADF, m_strPath);
    const int nError = m_ranges.empty() ? 0 : PatchInPlace(m_fdDir, m_strName, m_fdTarget, m_ranges);
    m_ranges.clear();
    CloseFd(std::exchange(m_fdTarget, -1));  // and with it the lock
    if (nError == 0)
        afx_save::RemoveDeadTemporaries(m_fdDir);
    CloseFd(std::exchange(m_fdDir, -1));
    if (nError == EINVAL)
        throw Refusal(EINVAL, m_strPath.Str() + std::string(" was cut short while it was open; not patched"),
                      m_strPath);
    if (nError != 0)
        throw CFileException::FromErrno(nError, m_strPath);
}

void CSafePatchFile::Abort()
{
    m_ranges.clear();
    CloseFd(std::exchange(m_fdTarget, -1));
    CloseFd(std::exchange(m_fdDir, -1));
}
