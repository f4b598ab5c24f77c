#include "framework/AfxSafeSave.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// The file a save of strPath replaces: the one a link points to, not the link. Links among
// the folders need nothing: the temporary beside the name lands in the same folder as the
// name itself.
std::string ResolveTarget(const std::string& strPath)
{
    struct stat lst;
    if (::lstat(strPath.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode))
        if (char* pszReal = ::realpath(strPath.c_str(), nullptr))
        {
            std::string strReal = pszReal;
            std::free(pszReal);
            return strReal;
        }
    return strPath;
}

// Where the temporaries of a target go, with its slash; "./" for a bare name.
std::string FolderOf(const std::string& strTarget)
{
    const std::size_t slash = strTarget.rfind('/');
    return slash == std::string::npos ? std::string("./") : strTarget.substr(0, slash + 1);
}

// The temporary's name with six X for mkstemp: ".NAME.XXXXXX", in a batch ".NAME.TAG.XXXXXX",
// or when that is too long a name, ".vellum-save.[TAG.]XXXXXX".
std::string TemporaryTemplate(const std::string& strName, const std::string& strTag)
{
    const std::string tag = strTag.empty() ? std::string() : strTag + ".";
    if (strName.size() + tag.size() + 8 > NAME_MAX)
        return ".vellum-save." + tag + "XXXXXX";
    return "." + strName + "." + tag + "XXXXXX";
}

// Whether strName is what TemporaryTemplate makes in the batch strTag.
bool IsBatchTemporary(const std::string& strName, const std::string& strTag)
{
    const std::string mark = "." + strTag + ".";
    return strName.size() >= mark.size() + 7 && strName[0] == '.' &&
           strName.compare(strName.size() - 6 - mark.size(), mark.size(), mark) == 0;
}

// As mkstemp, but with the mode asked for: the template's last six characters become a
// name no file has yet, created exclusively. The descriptor, or -1 with errno set.
int CreateUnique(std::string& tmpl, mode_t mode)
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937_64 s_random{std::random_device{}()};
    const std::size_t nAt = tmpl.size() - 6;
    for (int nTry = 0; nTry < 100; ++nTry)
    {
        std::uint64_t bits = s_random();
        for (std::size_t i = 0; i < 6; ++i, bits >>= 6)
            tmpl[nAt + i] = kChars[bits % (sizeof kChars - 1)];
        const int fd = ::open(tmpl.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}
}  // namespace

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
    std::string tmpl = dir + TemporaryTemplate(name, m_pBatch != nullptr ? m_pBatch->GetTag() : std::string());

    // A new file gets its mode from the umask as the kernel creates it; one that replaces a
    // file starts private and then takes that file's mode.
    const int fd = CreateUnique(tmpl, bExists ? 0600 : 0666);
    if (fd < 0)
        return fail(CFileException::FromErrno(errno, m_strPath));
    m_strTemp = tmpl;
    m_strTarget = target;
    if (bExists)
        ::fchmod(fd, st.st_mode & 07777);
    m_file.Attach(fd, m_strPath);
    return TRUE;
}

void CSafeSaveFile::Commit()
{
    if (m_strTemp.empty() || !m_file.IsOpen())
        throw CFileException::FromErrno(EBADF, m_strPath);
    if (m_pBatch != nullptr)
    {
        m_file.Close();
        m_pBatch->Add(AFX_PENDING_SAVE{m_strTemp, m_strTarget});
        m_strTemp.clear();
        return;
    }
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

void CSafeSaveFile::RemoveBatchTemporaries(const std::vector<std::string>& targets, const std::string& strTag)
{
    std::set<std::string> folders;
    for (const std::string& target : targets)
        folders.insert(FolderOf(ResolveTarget(target)));
    for (const std::string& folder : folders)
    {
        DIR* pDir = ::opendir(folder.c_str());
        if (pDir == nullptr)
            continue;
        while (const dirent* pEntry = ::readdir(pDir))
            if (IsBatchTemporary(pEntry->d_name, strTag))
                ::unlinkat(::dirfd(pDir), pEntry->d_name, 0);
        ::closedir(pDir);
    }
}
