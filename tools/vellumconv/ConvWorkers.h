#pragma once
// The worker processes of a batch. They are processes, not threads: the framework keeps
// global state, so workers do not share a process. Each takes the next file from a counter
// they share, converts it as if it were the only one, saving into the batch, and sends its
// result back on a socket of its own, with its outputs' temporaries still open.

#include "framework/AfxSafeSave.h"
#include "tools/vellumconv/ConvPlan.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// What became of one file.
struct ConvFileResult
{
    bool bDone = false;  // a worker finished it; else the worker died on it or was stopped
    bool bOk = false;
    std::string strStatus;
    std::vector<std::string> messages;
    std::vector<AFX_PENDING_SAVE> saves;  // its outputs, complete, open and waiting to be put in place
};

class CConvWorkerPool
{
public:
    // Every worker saves into batch; the pool keeps references to all three.
    CConvWorkerPool(const std::vector<ConvBatchJob>& jobs, const ConvVerb& verb, CSaveBatch& batch);
    ~CConvWorkerPool();
    CConvWorkerPool(const CConvWorkerPool&) = delete;
    CConvWorkerPool& operator=(const CConvWorkerPool&) = delete;

    // Makes the counter the workers share. False, with the cause, when it cannot.
    bool Prepare(std::string& strError);
    // Starts up to nWorkers workers: fewer when sockets or processes run out, or once
    // fnStopped says the batch is stopping.
    void Start(std::size_t nWorkers, const std::function<bool()>& fnStopped);
    // Whether a worker may still send results.
    bool Running() const { return m_nOpen > 0; }
    // Waits up to 100 ms and takes the results that arrived, telling fnResult the index of
    // each file that got one.
    void Poll(const std::function<void(std::size_t)>& fnResult);
    // Waits for every worker to end; with bKill, ends them first (SIGTERM).
    void Stop(bool bKill);

    // One for each job, in the order of the jobs.
    std::vector<ConvFileResult>& Results() { return m_results; }
    bool Started() const { return !m_workers.empty(); }

private:
    struct Worker
    {
        pid_t pid;
        int fd;  // the parent's end of its socket; -1 once it is closed
    };

    [[noreturn]] void RunWorker(int fdOut);

    const std::vector<ConvBatchJob>& m_jobs;
    const ConvVerb& m_verb;
    CSaveBatch& m_batch;
    std::atomic<std::uint32_t>* m_pNext = nullptr;  // in memory shared with the workers
    std::vector<Worker> m_workers;
    std::size_t m_nOpen = 0;
    std::vector<ConvFileResult> m_results;
};
