#include "tools/vellumconv/ConvWorkers.h"

#include "tools/vellumconv/ConvApp.h"
#include "tools/vellumconv/ConvRoute.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// --- a result on the pipe: a length, then the fields, every number 32-bit little-endian ---

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

std::string EncodeResult(std::uint32_t nIndex, const ConvFileResult& r)
{
    std::string body;
    PutU32(body, nIndex);
    PutU32(body, r.bOk ? 1 : 0);
    PutString(body, r.strStatus);
    PutU32(body, static_cast<std::uint32_t>(r.messages.size()));
    for (const std::string& m : r.messages)
        PutString(body, m);
    PutU32(body, static_cast<std::uint32_t>(r.saves.size()));
    for (const AFX_PENDING_SAVE& p : r.saves)
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
bool DecodeResults(std::string& buf, std::vector<ConvFileResult>& results, std::vector<std::size_t>& decoded)
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
        std::uint32_t nIndex = 0, nOk = 0, nMessages = 0, nSaves = 0;
        ConvFileResult r;
        if (!in.U32(nIndex) || nIndex >= results.size() || !in.U32(nOk) || !in.String(r.strStatus) ||
            !in.U32(nMessages))
            return false;
        for (std::uint32_t i = 0; i < nMessages; ++i)
            if (!in.String(r.messages.emplace_back()))
                return false;
        if (!in.U32(nSaves))
            return false;
        for (std::uint32_t i = 0; i < nSaves; ++i)
        {
            AFX_PENDING_SAVE& p = r.saves.emplace_back();
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

}  // namespace

CConvWorkerPool::CConvWorkerPool(const std::vector<ConvBatchJob>& jobs, const ConvVerb& verb, CSaveBatch& batch)
    : m_jobs(jobs), m_verb(verb), m_batch(batch), m_results(jobs.size())
{
}

CConvWorkerPool::~CConvWorkerPool()
{
    Stop(true);
    if (m_pNext != nullptr)
        ::munmap(m_pNext, sizeof(std::atomic<std::uint32_t>));
}

bool CConvWorkerPool::Prepare(std::string& strError)
{
    void* pShared = ::mmap(nullptr, sizeof(std::atomic<std::uint32_t>), PROT_READ | PROT_WRITE,
                           MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (pShared == MAP_FAILED)
    {
        strError = std::strerror(errno);
        return false;
    }
    m_pNext = new (pShared) std::atomic<std::uint32_t>(0);
    return true;
}

void CConvWorkerPool::Start(std::size_t nWorkers, const std::function<bool()>& fnStopped)
{
    for (std::size_t w = 0; w < nWorkers && !fnStopped(); ++w)
    {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            break;
        const pid_t pid = ::fork();
        if (pid == 0)
        {
            ::close(pipeFds[0]);
            for (const Worker& other : m_workers)
                ::close(other.fd);
            RunWorker(pipeFds[1]);
        }
        ::close(pipeFds[1]);
        if (pid < 0)
        {
            ::close(pipeFds[0]);
            break;
        }
        m_workers.push_back(Worker{pid, pipeFds[0], {}});
    }
    m_nOpen = m_workers.size();
}

void CConvWorkerPool::RunWorker(int fdOut)
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::FILE* pNull = std::fopen("/dev/null", "w");
    int nStatus = 0;
    {
        CConvApp app(pNull, pNull);
        int nArgc = 1;
        char szName[] = "vellumconv";
        char* argv[] = {szName, nullptr};
        if (!AfxWinInit(nArgc, argv) || !app.InitInstance())
            ::_exit(3);
        for (;;)
        {
            const std::uint32_t nIndex = m_pNext->fetch_add(1);
            if (nIndex >= m_jobs.size())
                break;
            ConvFileResult r;
            const ConvBatchJob& job = m_jobs[nIndex];
            r.bOk = ConvertFile(app, m_verb, job.strIn, job.strOut, r.strStatus, r.messages, m_batch);
            // The outputs of a failed file never reach their targets.
            if (r.bOk)
                r.saves = m_batch.Take();
            else
                m_batch.Discard();
            if (!WriteAll(fdOut, EncodeResult(nIndex, r)))
            {
                nStatus = 4;
                break;
            }
        }
        AfxWinTerm();
    }
    // The parent's buffers and destructors are not this process's to run.
    ::_exit(nStatus);
}

void CConvWorkerPool::Poll(const std::function<void(std::size_t)>& fnResult)
{
    std::vector<pollfd> polls;
    for (const Worker& worker : m_workers)
        polls.push_back(pollfd{worker.fd, POLLIN, 0});
    if (::poll(polls.data(), polls.size(), 100) < 0 && errno != EINTR)
    {
        // Nothing more can be heard; the files still out end as stopped.
        m_nOpen = 0;
        return;
    }
    for (std::size_t w = 0; w < polls.size(); ++w)
    {
        Worker& worker = m_workers[w];
        if (worker.fd < 0 || !(polls[w].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buf[65536];
        const ssize_t n = ::read(worker.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
        {
            ::close(worker.fd);
            worker.fd = -1;
            --m_nOpen;
            continue;
        }
        worker.buffer.append(buf, static_cast<std::size_t>(n));
        std::vector<std::size_t> decoded;
        if (!DecodeResults(worker.buffer, m_results, decoded))
            worker.buffer.clear();
        for (std::size_t i : decoded)
            fnResult(i);
    }
}

void CConvWorkerPool::Stop(bool bKill)
{
    if (bKill)
        for (const Worker& worker : m_workers)
            ::kill(worker.pid, SIGTERM);
    for (const Worker& worker : m_workers)
        while (::waitpid(worker.pid, nullptr, 0) < 0 && errno == EINTR)
        {
        }
    for (const Worker& worker : m_workers)
        if (worker.fd >= 0)
            ::close(worker.fd);
    m_workers.clear();
    m_nOpen = 0;
}
