#include "tools/vellumconv/ConvWorkers.h"

#include "tools/vellumconv/ConvRoute.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <utility>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// A result is one message; the messages and paths in it are short.
constexpr std::size_t kMaxRecord = 256 * 1024;
// One file's outputs at most: its save and what a verb adds.
constexpr std::size_t kMaxSaveFds = 16;

// --- a result on the socket: a length, then the fields, every number 32-bit little-endian ---

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
        // A save in place also sends its target as it was opened and checked, so the parent
        // writes that file and not whatever the name is by then.
        PutU32(body, p.pTargetFd ? 1 : 0);
    }
    std::string record;
    PutU32(record, static_cast<std::uint32_t>(body.size()));
    return record + body;
}

// Reads one result record into results, giving its saves the descriptors that came with it
// (fds, in order); the index of the file, or -1 when the record is malformed.
long DecodeResult(const std::string& record, std::vector<int>& fds, std::vector<ConvFileResult>& results)
{
    std::uint32_t nSize = 0;
    if (!CReader(record, 0).U32(nSize) || record.size() - 4 != nSize)
        return -1;
    CReader in(record, 4);
    std::uint32_t nIndex = 0, nOk = 0, nMessages = 0, nSaves = 0;
    ConvFileResult r;
    if (!in.U32(nIndex) || nIndex >= results.size() || !in.U32(nOk) || !in.String(r.strStatus) || !in.U32(nMessages))
        return -1;
    for (std::uint32_t i = 0; i < nMessages; ++i)
        if (!in.String(r.messages.emplace_back()))
            return -1;
    if (!in.U32(nSaves))
        return -1;
    std::size_t nFd = 0;
    bool bMissing = false;
    for (std::uint32_t i = 0; i < nSaves; ++i)
    {
        AFX_PENDING_SAVE& p = r.saves.emplace_back();
        std::uint32_t nHasTarget = 0;
        if (!in.String(p.strTemp) || !in.String(p.strTarget) || !in.U32(nHasTarget))
            return -1;
        for (std::shared_ptr<const int>* pOwn : {&p.pFd, nHasTarget != 0 ? &p.pTargetFd : nullptr})
        {
            if (pOwn == nullptr)
                continue;
            if (nFd < fds.size())
                *pOwn = AFX_PENDING_SAVE::Own(std::exchange(fds[nFd++], -1));
            else
                bMissing = true;
        }
    }
    r.bOk = nOk != 0;
    // Outputs whose descriptors did not arrive cannot be held until the commit.
    if (r.bOk && bMissing)
    {
        r.bOk = false;
        r.messages.push_back(AfxFileErrorMessage(r.saves.back().strTarget.c_str(), std::strerror(EMFILE), TRUE).Str());
    }
    r.bDone = true;
    results[nIndex] = std::move(r);
    return static_cast<long>(nIndex);
}

// Sends one message with the descriptors fds; false when the parent cannot take it.
bool SendRecord(int fd, const std::string& data, const std::vector<int>& fds)
{
    iovec iov{const_cast<char*>(data.data()), data.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    std::vector<char> control(CMSG_SPACE(sizeof(int) * fds.size()));
    if (!fds.empty())
    {
        msg.msg_control = control.data();
        msg.msg_controllen = control.size();
        cmsghdr* pHeader = CMSG_FIRSTHDR(&msg);
        pHeader->cmsg_level = SOL_SOCKET;
        pHeader->cmsg_type = SCM_RIGHTS;
        pHeader->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
        std::memcpy(CMSG_DATA(pHeader), fds.data(), sizeof(int) * fds.size());
    }
    for (;;)
    {
        const ssize_t n = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        return n == static_cast<ssize_t>(data.size());
    }
}

// One message and its descriptors: its size, 0 at the end, or -1 on a failure.
ssize_t ReceiveRecord(int fd, std::string& data, std::vector<int>& fds)
{
    fds.clear();
    data.resize(kMaxRecord);
    iovec iov{data.data(), data.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxSaveFds)];
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do
        n = ::recvmsg(fd, &msg, MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    for (cmsghdr* p = n >= 0 ? CMSG_FIRSTHDR(&msg) : nullptr; p != nullptr; p = CMSG_NXTHDR(&msg, p))
        if (p->cmsg_level == SOL_SOCKET && p->cmsg_type == SCM_RIGHTS)
        {
            const std::size_t nFds = (p->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < nFds; ++i)
            {
                int nFd;
                std::memcpy(&nFd, CMSG_DATA(p) + i * sizeof(int), sizeof nFd);
                fds.push_back(nFd);
            }
        }
    data.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return n;
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
    const pid_t parent = ::getpid();
    for (std::size_t w = 0; w < nWorkers && !fnStopped(); ++w)
    {
        // Results come as messages, each with the descriptors of its file's outputs.
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0)
            break;
        // The batch's SIGTERM for a worker that has just started must end it, not meet the
        // handler it inherited: the signal waits until the worker's own are in place.
        sigset_t stops, old;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &stops, &old);
        const pid_t pid = ::fork();
        if (pid == 0)
        {
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
            ::sigprocmask(SIG_SETMASK, &old, nullptr);
            // A worker does not outlive the batch: what it was writing is left unlocked,
            // for the next run into the folder to remove.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(4);
            ::close(fds[0]);
            for (const Worker& other : m_workers)
                ::close(other.fd);
            RunWorker(fds[1]);
        }
        ::sigprocmask(SIG_SETMASK, &old, nullptr);
        ::close(fds[1]);
        if (pid < 0)
        {
            ::close(fds[0]);
            break;
        }
        m_workers.push_back(Worker{pid, fds[0]});
    }
    m_nOpen = m_workers.size();
}

void CConvWorkerPool::RunWorker(int fdOut)
{
    int nStatus = 0;
    for (;;)
    {
        const std::uint32_t nIndex = m_pNext->fetch_add(1);
        if (nIndex >= m_jobs.size())
            break;
        ConvFileResult r;
        const ConvBatchJob& job = m_jobs[nIndex];
        r.bOk = ConvertFile(m_verb, job.strIn, job.strOut, r.strStatus, r.messages, m_batch);
        // The outputs of a failed file never reach their targets.
        if (r.bOk)
            r.saves = m_batch.Take();
        else
            m_batch.Discard();
        std::vector<int> fds;
        for (const AFX_PENDING_SAVE& save : r.saves)
        {
            fds.push_back(save.Fd());
            if (save.pTargetFd)
                fds.push_back(*save.pTargetFd);
        }
        // Once sent, the temporaries are the parent's: it holds them open until the commit.
        if (!SendRecord(fdOut, EncodeResult(nIndex, r), fds))
        {
            nStatus = 4;
            break;
        }
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
    std::string record;
    std::vector<int> fds;
    for (std::size_t w = 0; w < polls.size(); ++w)
    {
        Worker& worker = m_workers[w];
        if (worker.fd < 0 || !(polls[w].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t n = ReceiveRecord(worker.fd, record, fds);
        if (n <= 0)
        {
            ::close(worker.fd);
            worker.fd = -1;
            --m_nOpen;
        }
        const long nIndex = n > 0 ? DecodeResult(record, fds, m_results) : -1;
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
        if (nIndex >= 0)
            fnResult(static_cast<std::size_t>(nIndex));
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
