#include "AfxSafeSave.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
mode_t CurrentUmask()
{
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
}
}  // namespace

CSafeSaveFile::~CSafeSaveFile()
{
    Abort();
}

BOOL CSafeSaveFile::Open(LPCTSTR lpszPathName, CFileException* pError)
{
    Abort();
    m_strPath = lpszPathName;
    auto fail = [&](const CFileException& e) {
        if (pError != nullptr)
            *pError = e;
        return FALSE;
    };
    if (m_strPath.IsEmpty())
        return fail(CFileException::FromErrno(ENOENT, m_strPath));

    // Replace the file a link points to, not the link.
    std::string target = m_strPath.Str();
    if (char* pszReal = ::realpath(target.c_str(), nullptr))
    {
        target = pszReal;
        std::free(pszReal);
    }
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

    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty())
        return fail(CFileException::FromErrno(EISDIR, m_strPath));
    std::string tmpl = dir + (slash == std::string::npos ? "/." : ".") + name + ".XXXXXX";
    if (name.size() + 8 > NAME_MAX)
        tmpl = dir + (slash == std::string::npos ? "/" : "") + ".vellum-save.XXXXXX";

    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return fail(CFileException::FromErrno(errno, m_strPath));
    m_strTemp = tmpl;
    m_strTarget = target;
    ::fchmod(fd, bExists ? (st.st_mode & 07777) : (0666 & ~CurrentUmask()));
    m_file.Attach(fd, m_strPath);
    return TRUE;
}

void CSafeSaveFile::Commit()
{
    if (m_strTemp.empty() || !m_file.IsOpen())
        throw CFileException::FromErrno(EBADF, m_strPath);
    // The data must be on disk before the rename makes it the file; otherwise a crash
    // just after the save could leave an empty file where the old one was.
    if (::fdatasync(m_file.GetHandle()) != 0)
        throw CFileException::FromErrno(errno, m_strPath);
    m_file.Close();
    if (::rename(m_strTemp.c_str(), m_strTarget.c_str()) != 0)
        throw CFileException::FromErrno(errno, m_strPath);
    m_strTemp.clear();
}

void CSafeSaveFile::Abort()
{
    m_file.Abort();
    if (!m_strTemp.empty())
    {
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
    }
}
