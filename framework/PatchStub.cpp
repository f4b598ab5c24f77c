#include "framework/AfxSafeSave.h"

#include <fcntl.h>
#include <unistd.h>

CSafePatchFile::~CSafePatchFile() { Abort(); }
BOOL CSafePatchFile::Open(LPCTSTR p, CFileException* pError)
{
    m_strPath = p;
    m_fd = ::open(p, O_RDWR | O_CLOEXEC);
    if (m_fd < 0)
    {
        if (pError) *pError = CFileException::FromErrno(errno, m_strPath);
        return FALSE;
    }
    m_nLength = static_cast<std::uint64_t>(::lseek(m_fd, 0, SEEK_END));
    return TRUE;
}
std::size_t CSafePatchFile::Read(void* p, std::size_t n, std::uint64_t nOffset) const
{
    const ssize_t k = ::pread(m_fd, p, n, static_cast<off_t>(nOffset));
    if (k < 0) throw CFileException::FromErrno(errno, m_strPath);
    return static_cast<std::size_t>(k);
}
void CSafePatchFile::Write(std::uint64_t nOffset, const void* p, std::size_t n)
{
    auto q = static_cast<const unsigned char*>(p);
    m_writes.emplace_back(nOffset, std::vector<unsigned char>(q, q + n));
}
void CSafePatchFile::Commit()
{
    for (auto& w : m_writes)
        if (::pwrite(m_fd, w.second.data(), w.second.size(), static_cast<off_t>(w.first)) < 0)
            throw CFileException::FromErrno(errno, m_strPath);
    ::fdatasync(m_fd);
    Abort();
}
void CSafePatchFile::Abort()
{
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_writes.clear();
}
