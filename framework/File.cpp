#include "framework/AfxFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CUserException, CException)
IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CFile, CObject)

CString CException::GetErrorMessage() const
{
    return CString("Unexpected error.");
}

void AfxThrowUserException()
{
    throw CUserException();
}

CFileException::CFileException(int cause, int lOsError, LPCTSTR lpszFileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszFileName)
{
}

int CFileException::OsErrorToException(int nErrno)
{
    switch (nErrno)
    {
    case 0: return none;
    case ENOENT: return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return badPath;
    case EMFILE:
    case ENFILE: return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return accessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return diskFull;
    case EINVAL: return badSeek;
    case EIO: return hardIO;
    default: return genericException;
    }
}

CFileException CFileException::FromErrno(int nErrno, LPCTSTR lpszFileName)
{
    return CFileException(OsErrorToException(nErrno), nErrno, lpszFileName);
}

CFileException CFileException::NotRegular(unsigned nMode, LPCTSTR lpszFileName)
{
    CFileException e(invalidFile, 0, lpszFileName);
    e.m_nFileType = nMode & S_IFMT;
    return e;
}

namespace
{
CString g_strRegularFileReader;

const char* FileTypeText(unsigned nType)
{
    switch (nType)
    {
    case S_IFIFO: return "a FIFO";
    case S_IFSOCK: return "a socket";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFDIR: return "a directory";
    default: return "not a regular file";
    }
}
}  // namespace

void AfxSetRegularFileReader(LPCTSTR lpszName)
{
    g_strRegularFileReader = lpszName != nullptr ? lpszName : "";
}

CString CFileException::GetCauseText() const
{
    if (!m_strCause.IsEmpty())
        return m_strCause;
    if (m_lOsError != 0)
        return CString(std::strerror(m_lOsError));
    switch (m_cause)
    {
    case none: return CString("No error");
    case fileNotFound: return CString("No such file or directory");
    case accessDenied: return CString("Permission denied");
    case invalidFile:
        if (m_nFileType == 0)
            return CString("Not a regular file");
        return CString(FileTypeText(m_nFileType)) +
               (g_strRegularFileReader.IsEmpty() ? CString("; only regular files are read")
                                                 : "; " + g_strRegularFileReader + " reads regular files");
    case diskFull: return CString("No space left on device");
    case badSeek: return CString("Invalid seek");
    case endOfFile: return CString("Unexpected end of file");
    case hardIO: return CString("Input/output error");
    default: return CString("Unknown error");
    }
}

CString CFileException::GetErrorMessage() const
{
    return m_strFileName + ": " + GetCauseText();
}

// ---------------------------------------------------------------------------------------

CFile::CFile() = default;

CFile::CFile(LPCTSTR lpszFileName, UINT nOpenFlags)
{
    Open(lpszFileName, nOpenFlags, nullptr);
}

CFile::~CFile()
{
    Abort();
}

BOOL CFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    Abort();
    m_strFileName = lpszFileName;
    m_nPos = 0;

    auto fail = [&](const CFileException& e) -> BOOL {
        if (pError == nullptr)
            throw e;
        *pError = e;
        return FALSE;
    };
    if (lpszFileName == nullptr || *lpszFileName == '\0')
        return fail(CFileException::FromErrno(ENOENT, lpszFileName));

    const UINT access = nOpenFlags & 3u;
    int flags = O_CLOEXEC;
    if (access == modeRead)
        flags |= O_RDONLY | O_NONBLOCK;  // a FIFO must not hang the open
    else
        flags |= access == modeWrite ? O_WRONLY : O_RDWR;
    if (nOpenFlags & modeCreate)
    {
        flags |= O_CREAT;
        if (!(nOpenFlags & modeNoTruncate))
            flags |= O_TRUNC;
    }

    // Whatever is not a regular file is refused before it is opened: opening a device can
    // have effects of its own, and a socket cannot be opened at all.
    if (access == modeRead)
    {
        struct stat st;
        if (::stat(lpszFileName, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            return fail(CFileException::NotRegular(static_cast<unsigned>(st.st_mode), lpszFileName));
    }

    int fd;
    do
        fd = ::open(lpszFileName, flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail(CFileException::FromErrno(errno, lpszFileName));

    // Only regular files: a directory reads as an error later, a device or a pipe has no
    // length to check sizes against.
    struct stat st;
    if (::fstat(fd, &st) != 0)
    {
        const int err = errno;
        ::close(fd);
        return fail(CFileException::FromErrno(err, lpszFileName));
    }
    if (!S_ISREG(st.st_mode))
    {
        ::close(fd);
        if (S_ISDIR(st.st_mode))
            return fail(CFileException::FromErrno(EISDIR, lpszFileName));
        if (access != modeRead)
            return fail(CFileException(CFileException::invalidFile, 0, lpszFileName));
        return fail(CFileException::NotRegular(static_cast<unsigned>(st.st_mode), lpszFileName));
    }
    // O_NONBLOCK stays: only regular files get here, and their reads ignore it.
    m_fd = fd;
    return TRUE;
}

void CFile::Attach(int fd, LPCTSTR lpszFileName, std::uint64_t nPosition)
{
    Abort();
    m_fd = fd;
    m_strFileName = lpszFileName;
    m_nPos = nPosition;
}

void CFile::Close()
{
    if (m_fd < 0)
        return;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        ThrowErrno(errno);
}

void CFile::Abort()
{
    if (m_fd >= 0)
    {
        ::close(m_fd);
        m_fd = -1;
    }
}

void CFile::ThrowErrno(int nErrno) const
{
    throw CFileException::FromErrno(nErrno, m_strFileName);
}

std::uint32_t CFile::Read(void* pBuf, std::uint32_t nCount)
{
    if (m_fd < 0)
        ThrowErrno(EBADF);
    auto* p = static_cast<unsigned char*>(pBuf);
    std::uint32_t nDone = 0;
    while (nDone < nCount)
    {
        const ssize_t n = ::read(m_fd, p + nDone, nCount - nDone);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            ThrowErrno(errno);
        }
        if (n == 0)
            break;
        nDone += static_cast<std::uint32_t>(n);
    }
    m_nPos += nDone;
    return nDone;
}

void CFile::Write(const void* pBuf, std::uint32_t nCount)
{
    if (m_fd < 0)
        ThrowErrno(EBADF);
    const auto* p = static_cast<const unsigned char*>(pBuf);
    std::uint32_t nDone = 0;
    while (nDone < nCount)
    {
        const ssize_t n = ::write(m_fd, p + nDone, nCount - nDone);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            ThrowErrno(errno);
        }
        if (n == 0)
            ThrowErrno(ENOSPC);
        nDone += static_cast<std::uint32_t>(n);
    }
    m_nPos += nDone;
}

std::uint64_t CFile::Seek(std::int64_t lOff, int nFrom)
{
    if (m_fd < 0)
        ThrowErrno(EBADF);
    int whence;
    switch (nFrom)
    {
    case begin: whence = SEEK_SET; break;
    case current: whence = SEEK_CUR; break;
    case end: whence = SEEK_END; break;
    default: throw CFileException(CFileException::badSeek, EINVAL, m_strFileName);
    }
    const off_t pos = ::lseek(m_fd, static_cast<off_t>(lOff), whence);
    if (pos < 0)
        throw CFileException(CFileException::badSeek, errno, m_strFileName);
    m_nPos = static_cast<std::uint64_t>(pos);
    return m_nPos;
}

std::uint64_t CFile::GetPosition() const
{
    return m_nPos;
}

std::uint64_t CFile::GetLength() const
{
    if (m_fd < 0)
        ThrowErrno(EBADF);
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        ThrowErrno(errno);
    return st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

CArchive::CArchive(CFile* pFile, UINT nMode, int, void*) : m_pFile(pFile), m_nMode(nMode) {}

CString AfxFullPath(LPCTSTR lpszPath)
{
    if (lpszPath == nullptr || *lpszPath == '\0')
        return CString();
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(lpszPath, ec);
    if (ec)
        path = lpszPath;
    return CString(path.lexically_normal().string());
}

CString AfxFileErrorMessage(LPCTSTR lpszPathName, LPCTSTR lpszCause, BOOL bSaving)
{
    return CString::Formatted(bSaving ? "Cannot save \"%s\": %s." : "Cannot open \"%s\": %s.",
                              lpszPathName != nullptr ? lpszPathName : "", lpszCause != nullptr ? lpszCause : "");
}
