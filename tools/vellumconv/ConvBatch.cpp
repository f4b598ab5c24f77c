#include "tools/vellumconv/ConvBatch.h"

#include "framework/AfxSafeSave.h"
#include "tools/vellumconv/ConvText.h"
#include "tools/vellumconv/ConvWorkers.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace
{

volatile std::sig_atomic_t g_nSignal = 0;

void OnSignal(int nSignal)
{
    g_nSignal = nSignal;
}

// While it lives, SIGINT and SIGTERM only note themselves: the batch stops where it can,
// removes its temporaries and exits 128 + the signal.
class CSignalCatcher
{
public:
    CSignalCatcher()
    {
        g_nSignal = 0;
        struct sigaction action = {};
        action.sa_handler = &OnSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_oldInt);
        ::sigaction(SIGTERM, &action, &m_oldTerm);
    }
    ~CSignalCatcher()
    {
        ::sigaction(SIGINT, &m_oldInt, nullptr);
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
    }
    CSignalCatcher(const CSignalCatcher&) = delete;
    CSignalCatcher& operator=(const CSignalCatcher&) = delete;

    int Caught() const { return g_nSignal; }

private:
    struct sigaction m_oldInt = {};
    struct sigaction m_oldTerm = {};
};

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
            std::fprintf(m_pErr, "\r\033[Kvellumconv: %zu of %zu files, %.0f files/s", nDone, m_nTotal,
                         static_cast<double>(nDone) / dSeconds);
        else
            std::fprintf(m_pErr, "\r\033[Kvellumconv: %zu of %zu files", nDone, m_nTotal);
        std::fflush(m_pErr);
        m_bShown = true;
    }
    // The line the progress ends with on a terminal.
    void Summary(std::size_t nConverted, std::size_t nFailed)
    {
        if (!m_bShow)
            return;
        Clear();
        const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        std::fprintf(m_pErr, "vellumconv: %zu converted, %zu failed in %.1f s\n", nConverted, nFailed, dSeconds);
        std::fflush(m_pErr);
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
    std::optional<int> Convert();
    std::optional<int> PutInPlace();
    int Report();
    // Removes what the batch left, stops catching signals and gives nStatus back.
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
    bool m_bAnyFailed = false;
};

int CConvBatchRun::Run()
{
    if (std::optional<int> nStatus = Plan())
        return *nStatus;
    if (std::optional<int> nStatus = Convert())
        return *nStatus;
    if (std::optional<int> nStatus = PutInPlace())
        return *nStatus;
    return Report();
}

std::optional<int> CConvBatchRun::Plan()
{
    std::string strError;
    std::vector<std::string> notes;
    if (!PlanConvBatch(m_options, m_jobs, strError, &notes))
    {
        std::fprintf(m_pErr, "vellumconv: %s\nTry 'vellumconv --help'.\n", strError.c_str());
        return 2;
    }
    for (const std::string& strNote : notes)
        std::fprintf(m_pErr, "vellumconv: %s\n", strNote.c_str());
    if (m_jobs.empty())
        return 0;
    if (!m_options.strOutDir.empty())
    {
        std::error_code ec;
        std::filesystem::create_directories(m_options.strOutDir, ec);
        if (ec || !std::filesystem::is_directory(m_options.strOutDir))
        {
            std::fprintf(m_pErr, "vellumconv: %s: cannot make the folder: %s.\n",
                         EscapeControls(m_options.strOutDir).c_str(), ec ? ec.message().c_str() : "Not a directory");
            return 1;
        }
    }
    return std::nullopt;
}

std::optional<int> CConvBatchRun::Convert()
{
    const long nProcessors = ::sysconf(_SC_NPROCESSORS_ONLN);
    const std::size_t nJobs = m_options.nJobs > 0 ? static_cast<std::size_t>(m_options.nJobs)
                                                  : static_cast<std::size_t>(nProcessors > 0 ? nProcessors : 1);
    CConvWorkerPool pool(m_jobs, m_options.verb, m_batch);
    std::string strError;
    if (!pool.Prepare(strError))
    {
        std::fprintf(m_pErr, "vellumconv: cannot start the workers: %s.\n", strError.c_str());
        return 1;
    }
    m_signals.emplace();
    std::fflush(m_pOut);
    std::fflush(m_pErr);
    pool.Start(std::min(nJobs, m_jobs.size()), [this] { return m_signals->Caught() != 0; });

    m_progress.emplace(m_pErr, m_jobs.size());
    m_bAnyFailed = !pool.Started();
    while (pool.Running() && m_signals->Caught() == 0)
    {
        pool.Poll([&](std::size_t i) {
            ++m_nDone;
            if (!pool.Results()[i].bOk)
                Fail(i, pool.Results()[i].messages);
        });
        m_progress->Update(m_nDone);
    }
    pool.Stop(m_signals->Caught() != 0);
    m_results = std::move(pool.Results());
    if (m_signals->Caught() != 0)
    {
        m_progress->Clear();
        return Finish(128 + m_signals->Caught());
    }

    for (std::size_t i = 0; i < m_results.size(); ++i)
        if (!m_results[i].bDone)
        {
            m_results[i].bDone = true;
            Fail(i, {"the conversion stopped unexpectedly."});
        }
    return std::nullopt;
}

std::optional<int> CConvBatchRun::PutInPlace()
{
    // Everything written reaches the disk before anything is put in place.
    for (std::size_t i = 0; i < m_results.size(); ++i)
        if (m_results[i].bOk)
            for (AFX_PENDING_SAVE& save : m_results[i].saves)
                m_batch.Add(std::move(save), i);
    std::string strSyncError;
    if (!m_batch.Sync(strSyncError))
    {
        for (std::size_t i = 0; i < m_results.size(); ++i)
            if (m_results[i].bOk)
            {
                m_results[i].bOk = false;
                Fail(i, {"cannot write the outputs to disk: " + strSyncError + "."});
            }
    }
    for (std::size_t i = 0; i < m_results.size(); ++i)
    {
        if (!m_results[i].bOk)
            continue;
        if (m_signals->Caught() != 0)
        {
            m_progress->Clear();
            return Finish(128 + m_signals->Caught());
        }
        if (const int nError = m_batch.Commit(i); nError != 0)
        {
            m_results[i].bOk = false;
            Fail(i, {AfxFileErrorMessage(m_jobs[i].strOut.c_str(), std::strerror(nError), TRUE).Str()});
        }
    }
    return std::nullopt;
}

int CConvBatchRun::Report()
{
    m_progress->Update(m_nDone, true);
    m_progress->Clear();
    // With -0 the lines end as the names came in.
    const char chEnd = m_options.bNulSeparated ? '\0' : '\n';
    std::size_t nConverted = 0;
    for (std::size_t i = 0; i < m_results.size(); ++i)
        if (m_results[i].bOk)
        {
            ++nConverted;
            std::fprintf(m_pOut, "%s\t%s\t%s%c", EscapeControls(m_jobs[i].strIn).c_str(),
                         EscapeControls(m_jobs[i].strOut).c_str(), EscapeControls(m_results[i].strStatus).c_str(),
                         chEnd);
        }
    std::fflush(m_pOut);
    m_progress->Summary(nConverted, m_results.size() - nConverted);
    return Finish(m_bAnyFailed ? 1 : 0);
}

int CConvBatchRun::Finish(int nStatus)
{
    std::vector<std::string> targets;
    for (const ConvBatchJob& job : m_jobs)
        targets.push_back(job.strOut);
    m_batch.RemoveLeftovers(targets);
    m_signals.reset();
    return nStatus;
}

void CConvBatchRun::Fail(std::size_t i, const std::vector<std::string>& messages)
{
    m_progress->Clear();
    const std::string strIn = EscapeControls(m_jobs[i].strIn);
    for (const std::string& strMessage : messages)
        std::fprintf(m_pErr, "vellumconv: %s: %s\n", strIn.c_str(), EscapeControls(strMessage).c_str());
    if (messages.empty())
        std::fprintf(m_pErr, "vellumconv: %s: cannot convert the file.\n", strIn.c_str());
    std::fflush(m_pErr);
    m_bAnyFailed = true;
}

}  // namespace

int RunConvBatch(const ConvBatchOptions& options, std::FILE* pOut, std::FILE* pErr)
{
    return CConvBatchRun(options, pOut, pErr).Run();
}
