#include "tools/vellumconv/ConvBatch.h"

#include "framework/AfxSafeSave.h"
#include "tools/vellumconv/ConvApp.h"
#include "tools/vellumconv/ConvExchange.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <poll.h>
#include <random>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

volatile std::sig_atomic_t g_nSignal = 0;

void OnSignal(int nSignal)
{
    g_nSignal = nSignal;
}

// --- talk between the workers and the batch ---------------------------------------------------

struct FileResult
{
    bool bDone = false;
    bool bOk = false;
    std::string strStatus;
    std::vector<std::string> messages;
    std::vector<AFX_PENDING_SAVE> pending;
};

void PutU32(std::string& out, std::uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((n >> (8 * i)) & 0xFFu);
}

void PutString(std::string& out, const std::string& s)
{
    PutU32(out, static_cast<std::uint32_t>(s.size()));
    out += s;
}

class CReader
{
public:
    CReader(const std::string& data, std::size_t nPos) : m_data(data), m_nPos(nPos) {}
    bool U32(std::uint32_t& n)
    {
        if (m_data.size() - m_nPos < 4)
            return false;
        n = 0;
        for (int i = 0; i < 4; ++i)
            n |= static_cast<std::uint32_t>(static_cast<unsigned char>(m_data[m_nPos + static_cast<std::size_t>(i)]))
                 << (8 * i);
        m_nPos += 4;
        return true;
    }
    bool String(std::string& s)
    {
        std::uint32_t n = 0;
        if (!U32(n) || m_data.size() - m_nPos < n)
            return false;
        s.assign(m_data, m_nPos, n);
        m_nPos += n;
        return true;
    }

private:
    const std::string& m_data;
    std::size_t m_nPos;
};

std::string EncodeResult(std::uint32_t nIndex, const FileResult& r)
{
    std::string body;
    PutU32(body, nIndex);
    PutU32(body, r.bOk ? 1 : 0);
    PutString(body, r.strStatus);
    PutU32(body, static_cast<std::uint32_t>(r.messages.size()));
    for (const std::string& m : r.messages)
        PutString(body, m);
    PutU32(body, static_cast<std::uint32_t>(r.pending.size()));
    for (const AFX_PENDING_SAVE& p : r.pending)
    {
        PutString(body, p.strTemp);
        PutString(body, p.strTarget);
    }
    std::string record;
    PutU32(record, static_cast<std::uint32_t>(body.size()));
    return record + body;
}

// Takes the complete records at the front of buf, adding their indices to decoded; false
// when a record is malformed.
bool DecodeResults(std::string& buf, std::vector<FileResult>& results, std::vector<std::size_t>& decoded)
{
    std::size_t nPos = 0;
    for (;;)
    {
        std::uint32_t nSize = 0;
        if (!CReader(buf, nPos).U32(nSize) || buf.size() - nPos - 4 < nSize)
            break;
        const std::string body = buf.substr(nPos + 4, nSize);
        nPos += 4 + nSize;
        CReader in(body, 0);
        std::uint32_t nIndex = 0, nOk = 0, nMessages = 0, nPending = 0;
        FileResult r;
        if (!in.U32(nIndex) || nIndex >= results.size() || !in.U32(nOk) || !in.String(r.strStatus) ||
            !in.U32(nMessages))
            return false;
        for (std::uint32_t i = 0; i < nMessages; ++i)
            if (!in.String(r.messages.emplace_back()))
                return false;
        if (!in.U32(nPending))
            return false;
        for (std::uint32_t i = 0; i < nPending; ++i)
        {
            AFX_PENDING_SAVE& p = r.pending.emplace_back();
            if (!in.String(p.strTemp) || !in.String(p.strTarget))
                return false;
        }
        r.bOk = nOk != 0;
        r.bDone = true;
        if (!results[nIndex].bDone)
            decoded.push_back(nIndex);
        results[nIndex] = std::move(r);
    }
    buf.erase(0, nPos);
    return true;
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t nDone = 0;
    while (nDone < data.size())
    {
        const ssize_t n = ::write(fd, data.data() + nDone, data.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        nDone += static_cast<std::size_t>(n);
    }
    return true;
}

// --- a worker ------------------------------------------------------------------------

[[noreturn]] void RunWorker(int fdOut, std::atomic<std::uint32_t>* pNext, const std::vector<ConvBatchJob>& jobs,
                            const ConvBatchOptions& options, const std::string& strTag)
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::FILE* pNull = std::fopen("/dev/null", "w");
    std::vector<AFX_PENDING_SAVE> pending;
    int nStatus = 0;
    {
        CConvApp app(pNull, pNull);
        int nArgc = 1;
        char szName[] = "vellumconv";
        char* argv[] = {szName, nullptr};
        if (!AfxWinInit(nArgc, argv) || !app.InitInstance())
            ::_exit(3);
        CSafeSaveFile::SetBatch(strTag.c_str(), &pending);
        for (;;)
        {
            const std::uint32_t nIndex = pNext->fetch_add(1);
            if (nIndex >= jobs.size())
                break;
            FileResult r;
            pending.clear();
            const ConvBatchJob& job = jobs[nIndex];
            if (options.verb.kind == EConvVerb::Convert)
                r.bOk = app.ConvertOne(job.strIn, job.strOut, r.strStatus, r.messages);
            else
                r.bOk = RunExchangeFile(options.verb, job.strIn, job.strOut, r.strStatus, r.messages);
            if (r.bOk)
                r.pending = pending;
            else
                for (const AFX_PENDING_SAVE& p : pending)
                    ::unlink(p.strTemp.c_str());
            if (!WriteAll(fdOut, EncodeResult(nIndex, r)))
            {
                nStatus = 4;
                break;
            }
        }
        CSafeSaveFile::SetBatch(nullptr, nullptr);
        AfxWinTerm();
    }
    // The parent's buffers and destructors are not this process's to run.
    ::_exit(nStatus);
}

// --- after the workers ------------------------------------------------------------------

std::string DirOf(const std::string& strPath)
{
    const std::size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? std::string(".") : (nSlash == 0 ? std::string("/") : strPath.substr(0, nSlash));
}

// Removes what the batch's workers left beside the outputs: every name carrying the tag.
void RemoveTemporaries(const std::vector<ConvBatchJob>& jobs, const std::string& strTag)
{
    std::set<std::string> dirs;
    for (const ConvBatchJob& job : jobs)
    {
        std::string strTarget = job.strOut;
        if (char* pszReal = ::realpath(job.strOut.c_str(), nullptr))
        {
            strTarget = pszReal;
            std::free(pszReal);
        }
        dirs.insert(DirOf(strTarget));
    }
    const std::string strMark = "." + strTag + ".";
    for (const std::string& dir : dirs)
    {
        DIR* pDir = ::opendir(dir.c_str());
        if (pDir == nullptr)
            continue;
        while (const dirent* pEntry = ::readdir(pDir))
        {
            const std::string name = pEntry->d_name;
            if (!name.empty() && name[0] == '.' && name.find(strMark) != std::string::npos)
                ::unlinkat(::dirfd(pDir), name.c_str(), 0);
        }
        ::closedir(pDir);
    }
}

// One sync for each file system the outputs are on.
bool SyncFileSystems(const std::vector<const AFX_PENDING_SAVE*>& pending, std::string& strError)
{
    std::set<dev_t> synced;
    for (const AFX_PENDING_SAVE* p : pending)
    {
        const int fd = ::open(DirOf(p->strTemp).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0)
        {
            strError = std::strerror(errno);
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        if (synced.insert(st.st_dev).second && ::syncfs(fd) != 0)
        {
            strError = std::strerror(errno);
            ::close(fd);
            return false;
        }
        ::close(fd);
    }
    return true;
}

class CProgress
{
public:
    CProgress(std::FILE* pErr, std::size_t nTotal)
        : m_pErr(pErr), m_nTotal(nTotal), m_bShow(::isatty(::fileno(pErr)) != 0),
          m_start(std::chrono::steady_clock::now())
    {
    }
    void Update(std::size_t nDone, bool bForce = false)
    {
        if (!m_bShow)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (!bForce && now - m_last < std::chrono::milliseconds(100))
            return;
        m_last = now;
        const double dSeconds = std::chrono::duration<double>(now - m_start).count();
        std::fprintf(m_pErr, "\r\033[Kvellumconv: %zu of %zu files, %.0f files/s", nDone, m_nTotal,
                     dSeconds > 0 ? static_cast<double>(nDone) / dSeconds : 0.0);
        std::fflush(m_pErr);
        m_bShown = true;
    }
    // Makes room for an ordinary line.
    void Clear()
    {
        if (m_bShown)
        {
            std::fputs("\r\033[K", m_pErr);
            std::fflush(m_pErr);
            m_bShown = false;
        }
    }

private:
    std::FILE* m_pErr;
    std::size_t m_nTotal;
    bool m_bShow;
    bool m_bShown = false;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_last{};
};

std::string JoinMessages(const std::vector<std::string>& messages)
{
    std::string s;
    for (const std::string& m : messages)
        s += (s.empty() ? "" : "; ") + m;
    return s.empty() ? std::string("cannot convert the file.") : s;
}

std::string MakeTag()
{
    std::random_device rd;
    char buf[32];
    std::snprintf(buf, sizeof buf, "vellum-%ld-%08x", static_cast<long>(::getpid()), static_cast<unsigned>(rd()));
    return buf;
}

}  // namespace

int RunConvBatch(const ConvBatchOptions& options, std::FILE* pOut, std::FILE* pErr)
{
    std::vector<ConvBatchJob> jobs;
    std::string strError;
    if (!PlanConvBatch(options, jobs, strError))
    {
        std::fprintf(pErr, "vellumconv: %s\nTry 'vellumconv --help'.\n", strError.c_str());
        return 2;
    }
    if (jobs.empty())
        return 0;
    if (!options.strOutDir.empty())
    {
        std::error_code ec;
        std::filesystem::create_directories(options.strOutDir, ec);
        if (ec || !std::filesystem::is_directory(options.strOutDir))
        {
            std::fprintf(pErr, "vellumconv: %s: cannot make the folder: %s.\n", options.strOutDir.c_str(),
                         ec ? ec.message().c_str() : "Not a directory");
            return 1;
        }
    }

    const long nProcessors = ::sysconf(_SC_NPROCESSORS_ONLN);
    const std::size_t nJobs = options.nJobs > 0 ? static_cast<std::size_t>(options.nJobs)
                                                : static_cast<std::size_t>(nProcessors > 0 ? nProcessors : 1);
    const std::size_t nWorkers = std::min(nJobs, jobs.size());
    const std::string strTag = MakeTag();

    // The next file to take, shared by the workers.
    void* pShared = ::mmap(nullptr, sizeof(std::atomic<std::uint32_t>), PROT_READ | PROT_WRITE,
                           MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (pShared == MAP_FAILED)
    {
        std::fprintf(pErr, "vellumconv: cannot start the workers: %s.\n", std::strerror(errno));
        return 1;
    }
    auto* pNext = new (pShared) std::atomic<std::uint32_t>(0);

    struct sigaction action = {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt = {}, oldTerm = {};
    ::sigaction(SIGINT, &action, &oldInt);
    ::sigaction(SIGTERM, &action, &oldTerm);

    std::fflush(pOut);
    std::fflush(pErr);
    std::vector<pid_t> workers;
    std::vector<int> fds;
    for (std::size_t w = 0; w < nWorkers && g_nSignal == 0; ++w)
    {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            break;
        const pid_t pid = ::fork();
        if (pid == 0)
        {
            ::close(pipeFds[0]);
            for (int fd : fds)
                ::close(fd);
            RunWorker(pipeFds[1], pNext, jobs, options, strTag);
        }
        ::close(pipeFds[1]);
        if (pid < 0)
        {
            ::close(pipeFds[0]);
            break;
        }
        workers.push_back(pid);
        fds.push_back(pipeFds[0]);
    }

    std::vector<FileResult> results(jobs.size());
    std::vector<std::string> buffers(fds.size());
    CProgress progress(pErr, jobs.size());
    std::size_t nDone = 0;
    bool bAnyFailed = workers.empty();
    auto reportFailure = [&](std::size_t i, const std::string& strMessage) {
        progress.Clear();
        std::fprintf(pErr, "vellumconv: %s: %s\n", jobs[i].strIn.c_str(), strMessage.c_str());
        std::fflush(pErr);
        bAnyFailed = true;
    };

    std::vector<pollfd> polls;
    for (int fd : fds)
        polls.push_back(pollfd{fd, POLLIN, 0});
    std::size_t nOpen = polls.size();
    while (nOpen > 0 && g_nSignal == 0)
    {
        if (::poll(polls.data(), polls.size(), 100) < 0 && errno != EINTR)
            break;
        for (std::size_t w = 0; w < polls.size(); ++w)
        {
            if (polls[w].fd < 0 || !(polls[w].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[65536];
            const ssize_t n = ::read(polls[w].fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
            {
                ::close(polls[w].fd);
                polls[w].fd = -1;
                --nOpen;
                continue;
            }
            buffers[w].append(buf, static_cast<std::size_t>(n));
            std::vector<std::size_t> decoded;
            if (!DecodeResults(buffers[w], results, decoded))
                buffers[w].clear();
            for (std::size_t i : decoded)
            {
                ++nDone;
                if (!results[i].bOk)
                    reportFailure(i, JoinMessages(results[i].messages));
            }
        }
        progress.Update(nDone);
    }

    if (g_nSignal != 0)
    {
        for (pid_t pid : workers)
            ::kill(pid, SIGTERM);
    }
    for (pid_t pid : workers)
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR)
        {
        }
    for (const pollfd& p : polls)
        if (p.fd >= 0)
            ::close(p.fd);
    ::munmap(pShared, sizeof(std::atomic<std::uint32_t>));

    auto finish = [&](int nStatus) {
        RemoveTemporaries(jobs, strTag);
        ::sigaction(SIGINT, &oldInt, nullptr);
        ::sigaction(SIGTERM, &oldTerm, nullptr);
        return nStatus;
    };
    if (g_nSignal != 0)
    {
        progress.Clear();
        return finish(128 + g_nSignal);
    }

    // Files no worker finished: the worker died on them.
    for (std::size_t i = 0; i < results.size(); ++i)
        if (!results[i].bDone)
        {
            results[i].bDone = true;
            reportFailure(i, "the conversion stopped unexpectedly.");
        }

    // Everything written reaches the disk before anything is put in place.
    std::vector<const AFX_PENDING_SAVE*> pending;
    for (const FileResult& r : results)
        if (r.bOk)
            for (const AFX_PENDING_SAVE& p : r.pending)
                pending.push_back(&p);
    std::string strSyncError;
    if (!SyncFileSystems(pending, strSyncError))
    {
        for (std::size_t i = 0; i < results.size(); ++i)
            if (results[i].bOk)
            {
                results[i].bOk = false;
                reportFailure(i, "cannot write the outputs to disk: " + strSyncError + ".");
            }
    }
    for (std::size_t i = 0; i < results.size(); ++i)
    {
        if (!results[i].bOk)
            continue;
        if (g_nSignal != 0)
        {
            progress.Clear();
            return finish(128 + g_nSignal);
        }
        for (const AFX_PENDING_SAVE& p : results[i].pending)
            if (::rename(p.strTemp.c_str(), p.strTarget.c_str()) != 0)
            {
                results[i].bOk = false;
                reportFailure(i, AfxFileErrorMessage(jobs[i].strOut.c_str(), std::strerror(errno), TRUE).Str());
            }
    }
    progress.Update(nDone, true);
    progress.Clear();
    for (std::size_t i = 0; i < results.size(); ++i)
        if (results[i].bOk)
            std::fprintf(pOut, "%s\t%s\t%s\n", jobs[i].strIn.c_str(), jobs[i].strOut.c_str(),
                         results[i].strStatus.c_str());
    std::fflush(pOut);
    return finish(bAnyFailed ? 1 : 0);
}
