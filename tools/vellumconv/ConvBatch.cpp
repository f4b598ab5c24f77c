#include "tools/vellumconv/ConvBatch.h"

#include "framework/AfxSafeSave.h"
#include "tools/vellumconv/ConvHold.h"
#include "tools/vellumconv/ConvOutput.h"
#include "tools/vellumconv/ConvSignals.h"
#include "tools/vellumconv/ConvText.h"
#include "tools/vellumconv/ConvWorkers.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

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
        // A rate over less than a second says more about the start than about the batch.
        if (dSeconds >= 1.0)
            ConvPrint(m_pErr, "\r\033[Kvellumconv: %zu of %zu files, %.0f files/s", nDone, m_nTotal,
                      static_cast<double>(nDone) / dSeconds);
        else
            ConvPrint(m_pErr, "\r\033[Kvellumconv: %zu of %zu files", nDone, m_nTotal);
        ConvFlush(m_pErr);
        m_bShown = true;
    }
    // The line the progress ends with on a terminal.
    void Summary(std::size_t nConverted, std::size_t nFailed)
    {
        if (!m_bShow)
            return;
        Clear();
        const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        ConvPrint(m_pErr, "vellumconv: %zu converted, %zu failed in %.1f s\n", nConverted, nFailed, dSeconds);
        ConvFlush(m_pErr);
    }
    // Makes room for an ordinary line.
    void Clear()
    {
        if (m_bShown)
        {
            ConvPut(m_pErr, "\r\033[K");
            ConvFlush(m_pErr);
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

// Makes strPath and the folders above it that are missing, as mkdir -p: 0 or the errno.
int MakeFolders(const std::string& strPath)
{
    for (std::size_t nEnd = 0; nEnd != std::string::npos;)
    {
        nEnd = strPath.find('/', nEnd + 1);
        const std::string part = strPath.substr(0, nEnd);
        struct stat st;
        if (::stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        int nMade;
        do
            nMade = ::mkdir(part.c_str(), 0777);
        while (nMade != 0 && errno == EINTR);
        if (nMade != 0 && errno != EEXIST)
            return errno;
    }
    struct stat st;
    if (::stat(strPath.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// One batch from its plan to its report. Its steps return the exit status once the batch
// ends early, or nothing to go on.
class CConvBatchRun
{
public:
    CConvBatchRun(const ConvBatchOptions& options, std::FILE* pOut, std::FILE* pErr)
        : m_options(options), m_pOut(pOut), m_pErr(pErr)
    {
    }
    int Run();

private:
    std::optional<int> Plan();
    // bGoOn becomes false when a signal stopped the batch; what is in place is reported all
    // the same.
    std::optional<int> Convert(bool& bGoOn);
    // Puts the outputs held so far in place, in input order, after one sync per file system;
    // false when a signal stopped it.
    bool CommitHeld(std::vector<ConvFileResult>& results);
    // A line for each file whose outputs are in place, and none for any other.
    int Report();
    // Removes what the batch left, stops catching signals and gives nStatus back, or 128 +
    // the signal when one came, whatever the batch managed to finish.
    int Finish(int nStatus);
    // Tells on stderr that file i failed: one line per message.
    void Fail(std::size_t i, const std::vector<std::string>& messages);

    const ConvBatchOptions& m_options;
    std::FILE* m_pOut;
    std::FILE* m_pErr;
    std::vector<ConvBatchJob> m_jobs;
    CSaveBatch m_batch{"vellum"};
    std::optional<CSignalCatcher> m_signals;
    std::optional<CProgress> m_progress;
    std::vector<ConvFileResult> m_results;
    std::size_t m_nDone = 0;  // files a worker finished
    std::vector<std::size_t> m_held;  // files whose outputs the batch holds, waiting for the commit
    std::size_t m_nHoldLimit = 1;
    bool m_bAnyFailed = false;
};

int CConvBatchRun::Run()
{
    if (std::optional<int> nStatus = Plan())
        return *nStatus;
    bool bGoOn = true;
    if (std::optional<int> nStatus = Convert(bGoOn))
        return *nStatus;
    if (bGoOn)
        CommitHeld(m_results);
    return Report();
}

std::optional<int> CConvBatchRun::Plan()
{
    std::string strError;
    std::vector<std::string> notes;
    if (!PlanConvBatch(m_options, m_jobs, strError, &notes))
    {
        ConvPrint(m_pErr, "vellumconv: %s\nTry 'vellumconv --help'.\n", strError.c_str());
        return 2;
    }
    // A later save into the folder would remove such an output, or write its journal back.
    for (const ConvBatchJob& job : m_jobs)
        if (const std::string strReason = ConvReservedNameReason(job.strOut); !strReason.empty())
        {
            ConvPrint(m_pErr,
                      "vellumconv: '%s' would be saved as '%s', %s; choose another extension\n"
                      "Try 'vellumconv --help'.\n",
                      EscapeControls(job.strIn).c_str(), EscapeControls(job.strOut).c_str(), strReason.c_str());
            return 2;
        }
    for (const std::string& strNote : notes)
        ConvPrint(m_pErr, "vellumconv: %s\n", strNote.c_str());
    if (m_jobs.empty())
        return 0;
    if (!m_options.strOutDir.empty())
        if (const int nError = MakeFolders(m_options.strOutDir))
        {
            ConvPrint(m_pErr, "vellumconv: %s: cannot make the folder: %s.\n",
                      EscapeControls(m_options.strOutDir).c_str(), std::strerror(nError));
            return 1;
        }
    return std::nullopt;
}

std::optional<int> CConvBatchRun::Convert(bool& bGoOn)
{
    const long nProcessors = ::sysconf(_SC_NPROCESSORS_ONLN);
    const std::size_t nJobs = std::min(m_jobs.size(), m_options.nJobs > 0 ? static_cast<std::size_t>(m_options.nJobs)
                                                                           : static_cast<std::size_t>(nProcessors > 0 ? nProcessors : 1));
    // Every output stays open until its commit; a batch with more of them than that commits
    // in rounds, each after a sync of its own.
    m_nHoldLimit = ConvHoldLimit(32 + 2 * nJobs);  // the workers' sockets, and what a save opens
    CConvWorkerPool pool(m_jobs, m_options.verb, m_batch);
    std::string strError;
    if (!pool.Prepare(strError))
    {
        ConvPrint(m_pErr, "vellumconv: cannot start the workers: %s.\n", strError.c_str());
        return 1;
    }
    m_signals.emplace();
    ConvFlush(m_pOut);
    ConvFlush(m_pErr);
    pool.Start(nJobs, [this] { return m_signals->Caught() != 0; });

    m_progress.emplace(m_pErr, m_jobs.size());
    m_bAnyFailed = !pool.Started();
    bool bStopped = false;
    while (pool.Running() && m_signals->Caught() == 0 && !bStopped)
    {
        pool.Poll([&](std::size_t i) {
            ++m_nDone;
            ConvFileResult& r = pool.Results()[i];
            if (!r.bOk)
            {
                Fail(i, r.messages);
                return;
            }
            for (AFX_PENDING_SAVE& save : r.saves)
                m_batch.Add(std::move(save), i);
            r.saves.clear();
            m_held.push_back(i);
        });
        if (m_batch.Held() >= m_nHoldLimit)
            bStopped = !CommitHeld(pool.Results());
        m_progress->Update(m_nDone);
    }
    pool.Stop(m_signals->Caught() != 0);
    m_results = std::move(pool.Results());
    if (m_signals->Caught() != 0 || bStopped)
    {
        bGoOn = false;
        return std::nullopt;
    }

    for (std::size_t i = 0; i < m_results.size(); ++i)
        if (!m_results[i].bDone)
        {
            m_results[i].bDone = true;
            Fail(i, {"the conversion stopped unexpectedly."});
        }
    return std::nullopt;
}

bool CConvBatchRun::CommitHeld(std::vector<ConvFileResult>& results)
{
    std::sort(m_held.begin(), m_held.end());
    // Everything written reaches the disk before anything is put in place.
    std::string strSyncError;
    if (!m_batch.Sync(strSyncError))
    {
        for (std::size_t i : m_held)
        {
            results[i].bOk = false;
            Fail(i, {"cannot write the outputs to disk: " + strSyncError + "."});
        }
        m_batch.Discard();
        m_held.clear();
        return true;
    }
    for (std::size_t i : m_held)
    {
        if (m_signals->Caught() != 0)
            return false;
        if (const int nError = m_batch.Commit(i); nError != 0)
        {
            results[i].bOk = false;
            Fail(i, {AfxFileErrorMessage(m_jobs[i].strOut.c_str(), std::strerror(nError), TRUE).Str()});
        }
        else
            results[i].bInPlace = true;
    }
    m_held.clear();
    return true;
}

int CConvBatchRun::Report()
{
    const bool bStopped = m_signals->Caught() != 0;
    if (!bStopped)
        m_progress->Update(m_nDone, true);
    m_progress->Clear();
    // With -0 the lines end as the names came in.
    const char chEnd = m_options.bNulSeparated ? '\0' : '\n';
    std::size_t nConverted = 0;
    for (std::size_t i = 0; i < m_results.size(); ++i)
        if (m_results[i].bInPlace)
        {
            ++nConverted;
            ConvPrint(m_pOut, "%s\t%s\t%s%c", EscapeControls(m_jobs[i].strIn).c_str(),
                      EscapeControls(m_jobs[i].strOut).c_str(), EscapeControls(m_results[i].strStatus).c_str(), chEnd);
        }
    ConvFlush(m_pOut);
    if (!bStopped)
        m_progress->Summary(nConverted, m_results.size() - nConverted);
    return Finish(m_bAnyFailed ? 1 : 0);
}

int CConvBatchRun::Finish(int nStatus)
{
    std::vector<std::string> targets;
    for (const ConvBatchJob& job : m_jobs)
        targets.push_back(job.strOut);
    m_batch.RemoveLeftovers(targets);
    // Until the lines are out a signal only notes itself: one that ended the run inside a
    // write would lose the lines of files in place.
    ConvFlush(m_pOut);
    const int nSignal = m_signals ? m_signals->Caught() : 0;
    m_signals.reset();
    return nSignal != 0 ? 128 + nSignal : nStatus;
}

void CConvBatchRun::Fail(std::size_t i, const std::vector<std::string>& messages)
{
    m_progress->Clear();
    const std::string strIn = EscapeControls(m_jobs[i].strIn);
    for (const std::string& strMessage : messages)
        ConvPrint(m_pErr, "vellumconv: %s: %s\n", strIn.c_str(), EscapeControls(strMessage).c_str());
    if (messages.empty())
        ConvPrint(m_pErr, "vellumconv: %s: cannot convert the file.\n", strIn.c_str());
    ConvFlush(m_pErr);
    m_bAnyFailed = true;
}

}  // namespace

int RunConvBatch(const ConvBatchOptions& options, std::FILE* pOut, std::FILE* pErr)
{
    return CConvBatchRun(options, pOut, pErr).Run();
}
