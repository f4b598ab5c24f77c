#include "FileIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
bool FailErrno(std::string& strError, const char* pszWhat, const std::string& strPath, int nErrno)
{
    strError = std::string(pszWhat) + " \"" + strPath + "\": " + std::strerror(nErrno) + ".";
    return false;
}

// The descriptor is closed on every path out.
class CFd
{
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};
}  // namespace

bool ReadWholeFile(const std::string& strPath, std::vector<std::uint8_t>& data, std::string& strError)
{
    CFd fd(::open(strPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        return FailErrno(strError, "Cannot open", strPath, errno);
    struct stat st{};
    if (::fstat(fd.Get(), &st) != 0)
        return FailErrno(strError, "Cannot open", strPath, errno);
    if (!S_ISREG(st.st_mode))
        return FailErrno(strError, "Cannot open", strPath, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
    std::size_t nDone = 0;
    while (nDone < bytes.size())
    {
        const ssize_t n = ::read(fd.Get(), bytes.data() + nDone, bytes.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return FailErrno(strError, "Cannot read", strPath, errno);
        if (n == 0)
            break;
        nDone += static_cast<std::size_t>(n);
    }
    bytes.resize(nDone);
    data.swap(bytes);
    return true;
}

bool WriteFileAtomically(const std::string& strPath, const std::vector<std::uint8_t>& data, std::string& strError)
{
    std::string strTemp = strPath + ".XXXXXX";
    CFd fd(::mkstemp(strTemp.data()));
    if (fd.Get() < 0)
        return FailErrno(strError, "Cannot save", strPath, errno);
    auto failAndRemove = [&](int nErrno) {
        ::unlink(strTemp.c_str());
        return FailErrno(strError, "Cannot save", strPath, nErrno);
    };
    // An existing target keeps its permissions; a new one gets the usual 0666 less the umask.
    struct stat st{};
    mode_t nMode = 0;
    if (::stat(strPath.c_str(), &st) == 0)
    {
        if (S_ISDIR(st.st_mode))
            return failAndRemove(EISDIR);
        nMode = st.st_mode & 07777;
    }
    else
    {
        const mode_t nMask = ::umask(0);
        ::umask(nMask);
        nMode = 0666 & ~nMask;
    }
    if (::fchmod(fd.Get(), nMode) != 0)
        return failAndRemove(errno);
    std::size_t nDone = 0;
    while (nDone < data.size())
    {
        const ssize_t n = ::write(fd.Get(), data.data() + nDone, data.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return failAndRemove(n < 0 ? errno : EIO);
        nDone += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.Get()) != 0)
        return failAndRemove(errno);
    if (::close(fd.Release()) != 0)
        return failAndRemove(errno);
    if (::rename(strTemp.c_str(), strPath.c_str()) != 0)
        return failAndRemove(errno);
    return true;
}
